#include "model/DifferenceNavigator.h"

#include <initializer_list>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"

bool pairIsEqual(const XMLTreeItem& element, const XMLTreeItem* other) {
    return element.equals(other) != 0;
}

bool isDeletedAdded(const XMLTreeItem& element) {
    return element.ignoreState == 0 && element.partner == nullptr;
}

bool isChanged(const XMLTreeItem& element) {
    return element.ignoreState == 0 && element.partner != nullptr && !pairIsEqual(element, element.partner);
}

namespace {

bool hasUnmatchedBelow(const XMLTreeItem& e) {
    return (e.differenceFlags & 2) != 0 || isDeletedAdded(e);
}

bool isMatchedOrIgnored(const XMLTreeItem& e) {
    return e.ignoreState != 0 || e.partner != nullptr;
}

bool isUnchanged(const XMLTreeItem& e) {
    return !isChanged(e);
}

bool isDifferent(const XMLTreeItem& e) {
    return e.ignoreState == 0 && !pairIsEqual(e, e.partner);
}

bool isSameOrIgnored(const XMLTreeItem& e) {
    return e.ignoreState != 0 || pairIsEqual(e, e.partner);
}

// An item whose record was already freed is passed over and never entered.
bool skips(const NavigationPredicates& pair, const XMLTreeItem* e) {
    return e == nullptr || pair.skip(*e);
}

bool descends(const NavigationPredicates& pair, const XMLTreeItem* e) {
    return e != nullptr && e->childCount != 0 && pair.descend(*e);
}

}  // namespace

const NavigationPredicates navigationPredicates[3] = {
    {hasUnmatchedBelow, isMatchedOrIgnored},
    {isChanged, isUnchanged},
    {isDifferent, isSameOrIgnored},
};

XMLTreeItem* XMLTreeItem::next() const {
    HWND tree = treeView;
    HTREEITEM item = treeItem;
    HTREEITEM step = childCount != 0 ? ElementStore::child(tree, item) : nullptr;
    while (step == nullptr && item != nullptr) {
        step = ElementStore::next(tree, item);
        if (step == nullptr) item = ElementStore::parent(tree, item);
    }
    return step == nullptr ? nullptr : ElementStore::record(tree, step);
}

XMLTreeItem* XMLTreeItem::previous() const {
    HWND tree = treeView;
    HTREEITEM step = ElementStore::previous(tree, treeItem);
    if (step == nullptr) {
        step = ElementStore::parent(tree, treeItem);
    } else {
        for (HTREEITEM last = ElementStore::lastChild(tree, step); last != nullptr;
             last = ElementStore::lastChild(tree, step))
            step = last;
    }
    return step == nullptr ? nullptr : ElementStore::record(tree, step);
}

XMLTreeItem* findNextMatching(XMLTreeItem* start,
                              int descend,
                              int* depth,
                              XMLTreeItem** lastAtLevel,
                              const NavigationPredicates& pair) {
    if (start == nullptr) return nullptr;
    HWND tree = start->treeView;
    HTREEITEM item = start->treeItem;
    XMLTreeItem* e = start;
    int d = depth == nullptr ? 0 : *depth;
    for (;;) {
        HTREEITEM step = nullptr;
        if (descend && descends(pair, e)) {
            step = ElementStore::child(tree, item);
            if (step != nullptr) ++d;
        }
        if (step == nullptr) step = ElementStore::next(tree, item);
        while (step == nullptr) {
            item = ElementStore::parent(tree, item);
            if (item == nullptr) return nullptr;
            if (d > 0) --d;
            step = ElementStore::next(tree, item);
        }
        item = step;
        e = ElementStore::record(tree, item);
        if (d == 0 && lastAtLevel != nullptr) *lastAtLevel = e;
        if (!skips(pair, e)) break;
    }
    if (depth != nullptr) *depth = d;
    return e;
}

XMLTreeItem* findPreviousMatching(XMLTreeItem* start,
                                  int descend,
                                  int* depth,
                                  XMLTreeItem** lastAtLevel,
                                  const NavigationPredicates& pair) {
    if (start == nullptr) return nullptr;
    HWND tree = start->treeView;
    HTREEITEM item = start->treeItem;
    XMLTreeItem* e = start;
    int d = depth == nullptr ? 0 : *depth;
    for (;;) {
        HTREEITEM step = ElementStore::previous(tree, item);
        if (step != nullptr) {
            item = step;
            e = ElementStore::record(tree, item);
            while (descend && descends(pair, e)) {
                HTREEITEM last = ElementStore::lastChild(tree, item);
                if (last == nullptr) break;
                item = last;
                e = ElementStore::record(tree, item);
                ++d;
            }
        } else {
            item = ElementStore::parent(tree, item);
            if (item == nullptr) return nullptr;
            if (d > 0) --d;
            e = ElementStore::record(tree, item);
        }
        if (d == 0 && lastAtLevel != nullptr) *lastAtLevel = e;
        if (!skips(pair, e)) break;
    }
    if (depth != nullptr) *depth = d;
    return e;
}

namespace {

using Finder = XMLTreeItem* (*)(XMLTreeItem*, int, int*, XMLTreeItem**, const NavigationPredicates&);

// One direction of the update: the plain walk for the two targets, then the walk over
// the starting level and above for the two same-level targets.
void searchDirection(XMLTreeItem* from,
                     Finder find,
                     bool searchDifferences,
                     bool searchDeletedAdded,
                     XMLTreeItem*& difference,
                     XMLTreeItem*& deletedAdded,
                     XMLTreeItem*& firstStop,
                     XMLTreeItem*& sameLevelDifference,
                     XMLTreeItem*& sameLevelDeletedAdded) {
    auto noteSameLevel = [&](XMLTreeItem* e) {
        if (sameLevelDeletedAdded == nullptr && isDeletedAdded(*e))
            sameLevelDeletedAdded = e;
        else if (sameLevelDifference == nullptr && isChanged(*e))
            sameLevelDifference = e;
    };

    int d = 0;
    XMLTreeItem* last = nullptr;
    XMLTreeItem* e = from;
    while ((deletedAdded == nullptr && searchDeletedAdded) || (difference == nullptr && searchDifferences)) {
        int walk = kAnyDifferenceWalk;
        if (deletedAdded != nullptr && sameLevelDeletedAdded != nullptr)
            walk = kChangedWalk;
        else if (difference != nullptr && sameLevelDifference != nullptr)
            walk = kDeletedAddedWalk;
        e = find(e, 1, &d, &last, navigationPredicates[walk]);
        if (e == nullptr) break;
        if (deletedAdded == nullptr && isDeletedAdded(*e))
            deletedAdded = e;
        else if (difference == nullptr && isChanged(*e))
            difference = e;
        if (firstStop == nullptr) firstStop = e;
        if (d == 0) noteSameLevel(e);
    }

    e = last != nullptr ? last : from;
    while (sameLevelDeletedAdded == nullptr || sameLevelDifference == nullptr) {
        int walk = kAnyDifferenceWalk;
        if (sameLevelDeletedAdded != nullptr)
            walk = kChangedWalk;
        else if (sameLevelDifference != nullptr)
            walk = kDeletedAddedWalk;
        e = find(e, 0, nullptr, nullptr, navigationPredicates[walk]);
        if (e == nullptr) break;
        noteSameLevel(e);
    }
}

}  // namespace

int DifferenceNavigator::update(XMLTreeItem* element) {
    XMLTreeItem* old = current;
    if (element == nullptr || element == old) return 0;
    if (old != nullptr && element->treeView != old->treeView) return 0;

    // A kind that neither direction found, and that the element left behind is not
    // either, does not occur in the document: no walk looks for it again.
    const bool searchDifferences =
        old == nullptr || nextDifference != nullptr || previousDifference != nullptr || isChanged(*old);
    const bool searchDeletedAdded =
        old == nullptr || nextDeletedAdded != nullptr || previousDeletedAdded != nullptr || isDeletedAdded(*old);

    // Stepping onto the first stop of a walk keeps the other kind's target in that
    // direction: nothing lay between the old element and the new one.
    DifferenceNavigator kept;
    if (old != nullptr) {
        if (element == firstAfter) {
            if (element == nextDeletedAdded)
                kept.nextDifference = nextDifference;
            else
                kept.nextDeletedAdded = nextDeletedAdded;
        } else if (element == firstBefore) {
            if (element == previousDeletedAdded)
                kept.previousDifference = previousDifference;
            else
                kept.previousDeletedAdded = previousDeletedAdded;
        }
    }
    *this = kept;
    current = element;

    searchDirection(element, findNextMatching, searchDifferences, searchDeletedAdded, nextDifference, nextDeletedAdded,
                    firstAfter, sameLevelNextDifference, sameLevelNextDeletedAdded);
    searchDirection(element, findPreviousMatching, searchDifferences, searchDeletedAdded, previousDifference,
                    previousDeletedAdded, firstBefore, sameLevelPreviousDifference, sameLevelPreviousDeletedAdded);
    return 1;
}

void DifferenceNavigator::forget(const XMLTreeItem* record) {
    if (record == nullptr) return;
    for (XMLTreeItem** field :
         {&current, &nextDifference, &nextDeletedAdded, &previousDifference, &previousDeletedAdded, &firstAfter,
          &firstBefore, &sameLevelNextDifference, &sameLevelNextDeletedAdded, &sameLevelPreviousDifference,
          &sameLevelPreviousDeletedAdded})
        if (*field == record) *field = nullptr;
}
