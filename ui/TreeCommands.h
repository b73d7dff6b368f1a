// Small commands on the two trees: expanding and collapsing a whole subtree, and
// measuring item heights anew after the display options or the font changed.
#pragma once

#include <windows.h>

// IDM_EXPAND_NODES or IDM_COLLAPSE_NODES on the selected element and all its
// descendants; without a selection, on the whole left tree.
void expandCollapseNodes(int command);
// Every item's height in lines anew, both trees (after "DisplayFullMode" changed).
void relayoutItems();
// Both trees' item height from their font, then both trees repainted.
void applyItemHeight();

void onExpandNodes(HWND window, int command);
void onCollapseNodes(HWND window, int command);
