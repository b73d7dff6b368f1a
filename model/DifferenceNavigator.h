// The targets of the eight difference steps of one panel (next and previous changed
// element, next and previous deleted or added element, and the same four kept to the
// level of the selected element), and the walks that find them.
#pragma once

struct XMLTreeItem;

// The equality test of a pair (XMLTreeItem::equals), as the painter and the writers see it.
bool pairIsEqual(const XMLTreeItem& element, const XMLTreeItem* other);
// Not ignored and without a partner.
bool isDeletedAdded(const XMLTreeItem& element);
// Not ignored, with a partner that is not equal to it.
bool isChanged(const XMLTreeItem& element);

// One kind of walk: enter an element's children when descend holds; walk on past an
// element when skip holds.
struct NavigationPredicates {
    bool (*descend)(const XMLTreeItem& element);
    bool (*skip)(const XMLTreeItem& element);
};

enum NavigationWalk { kDeletedAddedWalk = 0, kChangedWalk = 1, kAnyDifferenceWalk = 2 };
extern const NavigationPredicates navigationPredicates[3];

// The first element after (before) start in document order that the pair's skip test
// does not pass over. With descend 0 only siblings and ancestors' siblings are visited.
// depth counts the levels below the starting level (never below 0); lastAtLevel receives
// the last element reached at the starting level or above. None at the end (start).
XMLTreeItem* findNextMatching(XMLTreeItem* start,
                              int descend,
                              int* depth,
                              XMLTreeItem** lastAtLevel,
                              const NavigationPredicates& pair);
XMLTreeItem* findPreviousMatching(XMLTreeItem* start,
                                  int descend,
                                  int* depth,
                                  XMLTreeItem** lastAtLevel,
                                  const NavigationPredicates& pair);

// Zero-initialised; none of the references is owned.
struct DifferenceNavigator {
    XMLTreeItem* current = nullptr;
    XMLTreeItem* nextDifference = nullptr;
    XMLTreeItem* nextDeletedAdded = nullptr;
    XMLTreeItem* previousDifference = nullptr;
    XMLTreeItem* previousDeletedAdded = nullptr;
    XMLTreeItem* firstAfter = nullptr;
    XMLTreeItem* firstBefore = nullptr;
    XMLTreeItem* sameLevelNextDifference = nullptr;
    XMLTreeItem* sameLevelNextDeletedAdded = nullptr;
    XMLTreeItem* sameLevelPreviousDifference = nullptr;
    XMLTreeItem* sameLevelPreviousDeletedAdded = nullptr;

    // Recomputes the targets for a newly selected element; 0 when nothing changed (no
    // element, the current one, or one of another tree than the current one).
    int update(XMLTreeItem* element);
    // Drops every reference to a record that is about to be freed.
    void forget(const XMLTreeItem* record);

    // The target of a navigation command (563-566, 572-575; none for any other), and
    // TBSTATE_ENABLED when it has one, else 0 (ui/TreeViews.cpp, where the ids live).
    XMLTreeItem* target(int command) const;
    int buttonState(int command) const;
};
