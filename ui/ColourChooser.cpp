#include "ui/ColourChooser.h"

COLORREF customColours[kCustomColours] = {};

namespace {

ColourChooserHandler chooserHandler;

}  // namespace

void setColourChooserHandler(ColourChooserHandler handler) {
    chooserHandler = std::move(handler);
}

COLORREF chooseColour(HWND owner, COLORREF colour) {
    CHOOSECOLORW record{};
    record.lStructSize = sizeof(record);
    record.hwndOwner = owner;
    record.rgbResult = colour;
    record.lpCustColors = customColours;
    record.Flags = CC_RGBINIT | CC_FULLOPEN;
    const bool chosen = chooserHandler ? chooserHandler(record) : ChooseColorW(&record) != FALSE;
    return chosen ? record.rgbResult : colour;
}
