#include "model/TreeOperations.h"

#include <utility>
#include <vector>

#include "model/ElementStore.h"
#include "model/NamespaceScope.h"
#include "model/XMLTreeItem.h"
#include "ui/XMLTreeView.h"

namespace {

RecordReleaseHook releaseHook = nullptr;

// The element and its descendants in document order. Items whose record is gone are
// left out, and so are their subtrees.
template <typename Visit>
void forEachInSubtree(XMLTreeItem* top, Visit visit) {
    if (top == nullptr) return;
    HWND tree = top->treeView;
    std::vector<XMLTreeItem*> stack{top};
    std::vector<XMLTreeItem*> children;
    while (!stack.empty()) {
        XMLTreeItem* e = stack.back();
        stack.pop_back();
        visit(e);
        if (tree == nullptr || e->treeItem == nullptr) continue;
        children.clear();
        for (HTREEITEM c = ElementStore::child(tree, e->treeItem); c != nullptr; c = ElementStore::next(tree, c))
            if (XMLTreeItem* k = ElementStore::record(tree, c)) children.push_back(k);
        for (size_t i = children.size(); i-- > 0;)
            stack.push_back(children[i]);
    }
}

std::vector<XMLTreeItem*> childrenOf(const XMLTreeItem& e) {
    std::vector<XMLTreeItem*> out;
    if (e.treeView == nullptr || e.treeItem == nullptr) return out;
    for (HTREEITEM c = ElementStore::child(e.treeView, e.treeItem); c != nullptr; c = ElementStore::next(e.treeView, c))
        if (XMLTreeItem* k = ElementStore::record(e.treeView, c)) out.push_back(k);
    return out;
}

// A copy of source inserted under parent after insertAfter, linked with source as
// partners; null when the tree refused the item.
XMLTreeItem* insertClone(const XMLTreeItem& source, XMLTreeItem* parent, HTREEITEM insertAfter) {
    auto* copy = new XMLTreeItem();
    copy->cloneFrom(source, panelFromTree(parent->treeView));
    XMLTreeItem::insertTreeItem(copy, parent, parent->treeView, insertAfter);
    if (copy->treeItem == nullptr) {
        delete copy;  // also clears source's link to it
        return nullptr;
    }
    copy->updatePathHash();
    return copy;
}

}  // namespace

void setRecordReleaseHook(RecordReleaseHook hook) {
    releaseHook = hook;
}

void XMLTreeItem::expandSubtree(UINT code) {
    HWND tree = treeView;
    if (tree == nullptr || ElementStore::child(tree, treeItem) == nullptr) return;
    const bool expanding = (code & TVE_TOGGLE) == TVE_EXPAND;
    // The tree view lays the whole tree out for each item that expands or collapses while
    // it shows. With the top collapsed first, the items below it are hidden and only take
    // their state; the top is laid out once, when it expands again.
    ElementStore::expand(tree, treeItem, TVE_COLLAPSE);
    forEachInSubtree(this, [this, tree, expanding](XMLTreeItem* e) {
        if (e != this) ElementStore::setExpandedState(tree, e->treeItem, expanding);
    });
    if (expanding) ElementStore::expand(tree, treeItem, TVE_EXPAND);
}

void XMLTreeItem::setItemHeight(int lines) {
    ElementStore::setHeight(treeView, treeItem, lines);
}

void XMLTreeItem::updateItemHeights() {
    forEachInSubtree(this, [](XMLTreeItem* e) { e->setItemHeight(e->computeItemLines()); });
}

XMLTreeItem* XMLTreeItem::parent() const {
    HTREEITEM up = ElementStore::parent(treeView, treeItem);
    return up == nullptr ? nullptr : ElementStore::record(treeView, up);
}

void XMLTreeItem::updatePathHash() {
    const XMLTreeItem* up = parent();
    uint32_t base = up == nullptr ? 0u : static_cast<uint32_t>(up->pathHash) * 17u;
    pathHash = static_cast<int32_t>(base + static_cast<uint32_t>(nameId()));
}

int XMLTreeItem::renameChildName(int32_t oldId, int32_t newId) {
    if (oldId == newId) return 1;
    if (childNameCount == 0 || childNameIds == nullptr || childNameCounts == nullptr) return 0;
    int oldAt = -1;
    int newAt = -1;
    for (uint32_t i = 0; i < childNameCount && (oldAt < 0 || newAt < 0); ++i) {
        if (oldAt < 0 && childNameIds[i] == oldId) oldAt = static_cast<int>(i);
        if (newAt < 0 && childNameIds[i] == newId) newAt = static_cast<int>(i);
    }
    if (oldAt < 0) return 0;
    if (newAt >= 0) {
        ++childNameCounts[newAt];
        if (--childNameCounts[oldAt] <= 0) {
            for (uint32_t i = static_cast<uint32_t>(oldAt) + 1; i < childNameCount; ++i) {
                childNameIds[i - 1] = childNameIds[i];
                childNameCounts[i - 1] = childNameCounts[i];
            }
            --childNameCount;
        }
    } else if (childNameCounts[oldAt] == 1) {
        childNameIds[oldAt] = newId;
    } else {
        --childNameCounts[oldAt];
        addChildName(newId, panelFromTree(treeView));
    }
    return 1;
}

void XMLTreeItem::mergeFromPartner() {
    XMLTreeView* panel = panelFromTree(treeView);
    std::vector<XMLTreeItem*> stack{this};
    while (!stack.empty()) {
        XMLTreeItem* e = stack.back();
        stack.pop_back();
        if (e->partner != nullptr && !e->sameOwnContent(e->partner)) {
            e->copyContentFrom(*e->partner, panel);
            carryAttributeBindings(*e, *e->partner);
        }
        if ((e->differenceFlags & 4) == 0 || e->childCount == 0) continue;
        std::vector<XMLTreeItem*> children = childrenOf(*e);
        for (size_t i = children.size(); i-- > 0;)
            stack.push_back(children[i]);
    }
}

void XMLTreeItem::clearIgnoreMarks() {
    // Only the marks of the ignore commands go: bits 4 to 7 were set while the document
    // loaded (common attribute, condition evaluated and its outcome) and no later step
    // can set them again.
    forEachInSubtree(this, [](XMLTreeItem* e) {
        e->ignoreState = 0;
        e->flags &= 0xF0;
    });
}

void XMLTreeItem::deleteSubtree(XMLTreeItem* element) {
    if (element == nullptr) return;
    std::vector<XMLTreeItem*> records;
    forEachInSubtree(element, [&records](XMLTreeItem* e) { records.push_back(e); });
    // Children before their parents; each item stops pointing at its record before the
    // record goes, so nothing that paints or walks the tree meanwhile reads freed memory.
    for (size_t i = records.size(); i-- > 0;) {
        XMLTreeItem* e = records[i];
        if (e->treeView != nullptr && e->treeItem != nullptr && ElementStore::record(e->treeView, e->treeItem) == e)
            ElementStore::setRecord(e->treeView, e->treeItem, nullptr);
        if (releaseHook != nullptr) releaseHook(e);
        delete e;  // clears its partner's back link and frees its key-attribute block
    }
}

int XMLTreeItem::removeFromTree() {
    HWND tree = treeView;
    HTREEITEM item = treeItem;
    XMLTreeItem* up = parent();
    deleteSubtree(this);  // this record is gone from here on
    if (up != nullptr && up->childCount != 0) --up->childCount;
    return ElementStore::remove(tree, item) ? 1 : 0;
}

void XMLTreeItem::copyChildrenFrom(const XMLTreeItem& source) {
    updatePathHash();
    // Pairs of a copy standing in the tree and the source whose children it still lacks.
    std::vector<std::pair<XMLTreeItem*, const XMLTreeItem*>> pending{{this, &source}};
    while (!pending.empty()) {
        auto [copy, original] = pending.back();
        pending.pop_back();
        for (XMLTreeItem* child : childrenOf(*original)) {
            XMLTreeItem* childCopy = insertClone(*child, copy, TVI_LAST);
            if (childCopy != nullptr) pending.emplace_back(childCopy, child);
        }
    }
}

XMLTreeItem* XMLTreeItem::replaceWith(const XMLTreeItem& source) {
    HWND tree = treeView;
    HTREEITEM item = treeItem;
    deleteSubtree(this);  // this record is gone from here on
    for (HTREEITEM c = ElementStore::child(tree, item); c != nullptr;) {
        HTREEITEM following = ElementStore::next(tree, c);
        ElementStore::remove(tree, c);
        c = following;
    }
    auto* copy = new XMLTreeItem();
    copy->cloneFrom(source, panelFromTree(tree));
    copy->treeView = tree;
    copy->treeItem = item;
    ElementStore::setRecord(tree, item, copy);
    copy->copyChildrenFrom(source);
    carryBindings(*copy, source);
    return copy;
}

int XMLTreeItem::insertCopyAfter(const XMLTreeItem& source) {
    XMLTreeItem* up = parent();
    if (up == nullptr) return 0;
    XMLTreeItem* copy = insertClone(source, up, treeItem);
    if (copy == nullptr) return 0;
    const int32_t id = source.nameId();
    bool counted = false;
    for (uint32_t i = 0; i < up->childNameCount && up->childNameIds != nullptr; ++i) {
        if (up->childNameIds[i] == id) {
            ++up->childNameCounts[i];
            counted = true;
            break;
        }
    }
    if (!counted) up->addChildName(id, panelFromTree(up->treeView));
    copy->copyChildrenFrom(source);
    carryBindings(*copy, source);
    return 1;
}
