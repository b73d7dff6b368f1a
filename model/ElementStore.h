// The one module that touches tree-view items. It keeps each tree's element
// structure in compact arrays and answers every walk from them in constant time;
// every insertion, deletion and change is applied to both the arrays and the tree
// view, which stays the display with one item per element.
//
// Why: the tree view validates every item handle it is given by a linear search
// over all its items, so a walk through TVM_ messages costs time in proportion to
// the square of the tree's size.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

struct XMLTreeItem;

namespace ElementStore {

HTREEITEM root(HWND tree);
HTREEITEM child(HWND tree, HTREEITEM item);
HTREEITEM lastChild(HWND tree, HTREEITEM item);
HTREEITEM next(HWND tree, HTREEITEM item);
HTREEITEM previous(HWND tree, HTREEITEM item);
HTREEITEM parent(HWND tree, HTREEITEM item);
HTREEITEM selected(HWND tree);
XMLTreeItem* record(HWND tree, HTREEITEM item);

// Inserts an item with the record as its data under parent (TVI_ROOT or null for the
// root level) after insertAfter (TVI_LAST, TVI_FIRST or a sibling). Null on failure.
HTREEITEM insert(HWND tree, HTREEITEM parent, HTREEITEM insertAfter, XMLTreeItem* data);
void setRecord(HWND tree, HTREEITEM item, XMLTreeItem* data);
// Item height in whole lines of the tree's item height.
void setHeight(HWND tree, HTREEITEM item, int lines);
int height(HWND tree, HTREEITEM item);
bool expand(HWND tree, HTREEITEM item, UINT code);
// Marks an item expanded or collapsed without laying the tree out, for an item hidden
// under a collapsed ancestor (the layout follows when the ancestor is expanded). The
// tree view lays out every item for each expansion of an item that shows.
bool setExpandedState(HWND tree, HTREEITEM item, bool expanded);
bool isExpanded(HWND tree, HTREEITEM item);
bool select(HWND tree, HTREEITEM item, UINT code = TVGN_CARET);
// The item's rectangle in the tree's client area (textOnly: the text part); false
// when the item is not visible.
bool itemRect(HWND tree, HTREEITEM item, bool textOnly, RECT* rect);
// Deletes the item with its subtree (TVI_ROOT: every item).
bool remove(HWND tree, HTREEITEM item);
void removeAll(HWND tree);

size_t itemCount(HWND tree);

// Time the tree views spent on the store's messages (performance-counter ticks), while enabled.
struct DisplayClock {
    bool enabled = false;
    int64_t ticks = 0;
};
extern DisplayClock displayClock;
// Forgets a tree that is being destroyed.
void detach(HWND tree);

}  // namespace ElementStore
