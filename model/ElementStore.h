// The one module that touches tree-view items. It keeps each tree's element
// structure in compact arrays and answers every walk from them in constant time.
// The tree view is the display: an element gets its item only when it must be seen
// (the root level at once, the children of an element when it expands, the chain
// of ancestors of an element that is selected), with its data, height, button and
// expansion given at once. Collapsing keeps the items made.
//
// Handles: an element made at its insertion has the tree view's handle; any other
// gets a handle of the store's, which stays valid after its item is made (its record
// then holds the item's handle, and walks return that one).
//
// Why: the tree view validates every item handle it is given by a linear search
// over all its items, and lays out and frees them one by one, so every item it does
// not hold is time saved on every message, on loading and on clearing.
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
// TVN_ITEMEXPANDINGW of a tree (the user's click): the children get their items first.
void itemExpanding(HWND tree, HTREEITEM item, UINT action);
bool isExpanded(HWND tree, HTREEITEM item);
bool select(HWND tree, HTREEITEM item, UINT code = TVGN_CARET);
// The item's rectangle in the tree's client area (textOnly: the text part); false
// when the item is not visible.
bool itemRect(HWND tree, HTREEITEM item, bool textOnly, RECT* rect);
// Scrolls the tree so that the item's row is in view; false when the item has no row.
bool ensureVisible(HWND tree, HTREEITEM item);
// Deletes the item with its subtree (TVI_ROOT: every item).
bool remove(HWND tree, HTREEITEM item);
void removeAll(HWND tree);

size_t itemCount(HWND tree);
// The tree view's items that exist, and the display item of an element (null while it has none).
size_t displayItemCount(HWND tree);
HTREEITEM displayItem(HWND tree, HTREEITEM item);

// Time the tree views spent on the store's messages (performance-counter ticks), while enabled.
struct DisplayClock {
    bool enabled = false;
    int64_t ticks = 0;
};
extern DisplayClock displayClock;
// The text that display items made from now on are given (not owned; it must outlive
// them); null: the tree view asks for it (TVN_GETDISPINFOW).
void setPlaceholderText(HWND tree, const wchar_t* text);
// Forgets a tree that is being destroyed.
void detach(HWND tree);

}  // namespace ElementStore
