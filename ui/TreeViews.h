// The two tree views of the panels: their creation and image list, the item text
// and icons they ask for, and the element last selected in either of them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>

struct XMLTreeItem;
struct DifferenceNavigator;

constexpr int kTreeImageCount = 24;

extern HIMAGELIST treeImageList;
// The element last selected by the user in either tree (none for the summary item),
// the partner that AutoSelect chose for it, and its tree.
extern XMLTreeItem* currentElement;
extern XMLTreeItem* currentPartner;
extern HWND currentTree;
// Set while the program itself selects the partner in the other tree.
extern int32_t selectionSyncGuard;
// The navigator of the selected element's panel; none after a navigation reset.
extern DifferenceNavigator* currentNavigator;

// The 24 tree images (bitmaps 535 to 558); false unless all of them are in the list.
bool createTreeImageList();
void destroyTreeImageList();
// Both trees, placed below the rebar; false when either cannot be created.
bool createTreeViews(HWND mainWindow);
// Forgets both trees (the main window is going): their element stores are released.
void releaseTreeViews();

void onGetDispInfo(NMTVDISPINFOW* info);
LRESULT onItemPrePaint(NMTVCUSTOMDRAW* draw);
LRESULT onItemPostPaint(NMTVCUSTOMDRAW* draw);
// Shows the element's "Line %d  Col %d" in the status part of its tree's side.
void showPosition(const XMLTreeItem* record);
void onSelectionChanged(HWND tree, XMLTreeItem* record);
// After the program rebuilt the trees: the current element's navigator, buttons and
// partner selection are set up again; the current element itself stays.
void renewSelection();
// A left-button press at a point of the tree's client area, after the tree handled it: on
// the selected item, that element is the user's choice.
void onTreeClicked(HWND tree, POINT point);
// Zeroes both panels' navigators, forgets the current one and greys the navigation commands.
void resetNavigation();
// The target of a navigation command from the current navigator, or none.
XMLTreeItem* navigationTarget(int command);
// TBSTATE_ENABLED when the current navigator has a target for the command, else 0.
int navigationButtonState(int command);
// The selection, its partner and the panel's navigation targets let go of the tree's
// records (before they are freed).
void forgetTree(HWND tree);

LRESULT CALLBACK treeViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Puts the element alone (start tag, text, end tag; no children) on the clipboard.
void copyElementToClipboard(const XMLTreeItem* element);
