// The one painter of the tree items of both trees: element names, attribute text and
// text in framed boxes, coloured by difference and ignore state, with the characters
// that differ from the partner highlighted.
#pragma once

#include <windows.h>

#include <commctrl.h>

struct ItemPainter {
    // Paints one item for CDDS_ITEMPOSTPAINT.
    void drawItem(NMTVCUSTOMDRAW* draw);
};

// Alive from the main window's creation to its WM_DESTROY.
extern ItemPainter* itemPainter;

bool createItemPainter(HWND tree);
void destroyItemPainter();
