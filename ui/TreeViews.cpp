#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"

XMLTreeItem* XMLTreeItem::insertTreeItem(XMLTreeItem* record, XMLTreeItem* parent, HWND tree, HTREEITEM insertAfter) {
    if (record == nullptr) return nullptr;
    HTREEITEM parentItem = TVI_ROOT;
    if (parent != nullptr) {
        parentItem = parent->treeItem;
        tree = parent->treeView;
    }
    HTREEITEM item = ElementStore::insert(tree, parentItem, insertAfter, record);
    if (item == nullptr) return record;
    if (parent != nullptr) ++parent->childCount;
    record->treeItem = item;
    record->treeView = tree;
    return record;
}
