#include "ui/ItemPainter.h"

ItemPainter* itemPainter = nullptr;

void ItemPainter::drawItem(NMTVCUSTOMDRAW*) {}

bool createItemPainter(HWND) {
    return true;
}

void destroyItemPainter() {}
