#include "ui/TreeCommands.h"

#include <commctrl.h>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"
#include "ui/FileDialogs.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

namespace {

XMLTreeItem* firstElement(HWND tree) {
    if (tree == nullptr) return nullptr;
    HTREEITEM first = ElementStore::root(tree);
    return first != nullptr ? ElementStore::record(tree, first) : nullptr;
}

}  // namespace

void expandCollapseNodes(int command) {
    XMLTreeItem* element = currentElement != nullptr ? currentElement : firstElement(leftTreeView.tree);
    if (element == nullptr || element->treeView == nullptr) return;
    HWND tree = element->treeView;
    // Each expansion would otherwise lay out and repaint the tree once more.
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    element->expandSubtree(command == IDM_COLLAPSE_NODES ? TVE_COLLAPSE : TVE_EXPAND);
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree, nullptr, TRUE);
}

void relayoutItems() {
    for (HWND tree : {leftTreeView.tree, rightTreeView.tree})
        if (XMLTreeItem* top = firstElement(tree)) top->updateItemHeights();
}

void applyItemHeight() {
    updateItemHeight();
    refreshViews(6);
}

void onExpandNodes(HWND, int command) {
    expandCollapseNodes(command);
}

void onCollapseNodes(HWND, int command) {
    expandCollapseNodes(command);
}
