// The Colors page of the Options dialog draws the colours being edited: a swatch of
// the colour chosen in the list, and an example of the tree's boxes in six rows.
#include "settings/ColourSet.h"
#include "ui/ItemPainter.h"
#include "ui/dialogs/OptionsDialog.h"
#include "ui/dialogs/OptionsDialogRes.h"

namespace {

// Inset of the swatch's colour from its frame, and of the samples from the example's edges.
constexpr int kSwatchInset = 4;
constexpr int kExampleMargin = 4;
// The second sample of a row starts this far beyond the first sample's text width.
constexpr int kSecondSampleGap = 10;
constexpr int kSelectedPenWidth = 2;

// A colour of the example: a system colour or a slot of the colour set being edited.
struct ExampleColour {
    bool slot;
    int index;
    COLORREF value() const { return slot ? colourSet.slots[index] : GetSysColor(index); }
};
constexpr ExampleColour sys(int index) {
    return {false, index};
}
constexpr ExampleColour slot(int index) {
    return {true, index};
}

struct ExampleRow {
    const wchar_t* boxText;
    ExampleColour boxBackground;
    ExampleColour boxTextColour;
    const wchar_t* text;
    ExampleColour background;
    ExampleColour textColour;
    bool boldText;
    ExampleColour selectedPen;  // rows of selected elements are framed in this colour
};

const ExampleRow kExampleRows[] = {
    {L"Normal element",
     sys(COLOR_BTNFACE),
     sys(COLOR_WINDOWTEXT),
     L"Normal text",
     sys(COLOR_WINDOW),
     sys(COLOR_WINDOWTEXT),
     false,
     {}},
    {L"Changed element",
     slot(kChangedHeaderSlot),
     slot(kChangedHeaderTextSlot),
     L"attribute=\"Changed\"",
     slot(kChangedRunBackgroundSlot),
     slot(kChangedRunTextSlot),
     true,
     {}},
    {L"Deleted element",
     slot(kUnpairedHeaderSlot),
     slot(kUnpairedHeaderTextSlot),
     L"Text in deleted element",
     sys(COLOR_WINDOW),
     slot(kUnpairedElementTextSlot),
     false,
     {}},
    {L"Selected normal", sys(COLOR_HIGHLIGHT), sys(COLOR_HIGHLIGHTTEXT), L"Normal text", sys(COLOR_WINDOW),
     sys(COLOR_WINDOWTEXT), false, sys(COLOR_HIGHLIGHT)},
    {L"Selected changed", slot(kSelectedChangedHeaderSlot), sys(COLOR_HIGHLIGHTTEXT), L"deleted text",
     slot(kDifferingRunBackgroundSlot), slot(kDifferingRunTextSlot), false, slot(kSelectedChangedHeaderSlot)},
    {L"Selected deleted", slot(kSelectedUnpairedHeaderSlot), sys(COLOR_HIGHLIGHTTEXT), L"Text in deleted element",
     sys(COLOR_WINDOW), slot(kUnpairedElementTextSlot), false, slot(kSelectedUnpairedHeaderSlot)},
};
constexpr int kPlainRows = 3;

void drawSwatch(HWND dialog, const DRAWITEMSTRUCT& item) {
    const LRESULT selected = SendDlgItemMessageW(dialog, IDC_OPT_COLOUR_LIST, CB_GETCURSEL, 0, 0);
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    const int saved = SaveDC(dc);
    SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 2, 2);
    RestoreDC(dc, saved);
    if (selected < 0 || selected >= kColourSlots) return;
    RECT inner{r.left + kSwatchInset, r.top + kSwatchInset, r.right - kSwatchInset, r.bottom - kSwatchInset};
    HBRUSH brush = CreateSolidBrush(colourSet.slots[selected]);
    FillRect(dc, &inner, brush);
    DeleteObject(brush);
}

void drawExample(HWND dialog, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& r = item.rcItem;
    // Without the painter (it is made with the main window) the dialog's own font stands in.
    auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    HFONT boldFont = itemPainter != nullptr && itemPainter->boldFont != nullptr ? itemPainter->boldFont : dialogFont;
    HFONT textFont = itemPainter != nullptr && itemPainter->font != nullptr ? itemPainter->font : dialogFont;
    HPEN greyPen = itemPainter != nullptr && itemPainter->greyPen != nullptr
                       ? itemPainter->greyPen
                       : static_cast<HPEN>(GetStockObject(BLACK_PEN));
    int lineHeight = itemPainter != nullptr ? itemPainter->lineHeight : 0;
    if (lineHeight <= 0) {
        TEXTMETRICW metrics{};
        HGDIOBJ previous = SelectObject(dc, boldFont);
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, previous);
        lineHeight = metrics.tmHeight + 4;
    }

    const int saved = SaveDC(dc);
    SelectObject(dc, GetSysColorBrush(COLOR_WINDOW));
    RoundRect(dc, r.left, r.top, r.right, r.bottom, 2, 2);
    int top = r.top + kExampleMargin;
    int row = 0;
    for (const ExampleRow& example : kExampleRows) {
        HPEN pen = row < kPlainRows ? nullptr : CreatePen(PS_SOLID, kSelectedPenWidth, example.selectedPen.value());
        SelectObject(dc, pen != nullptr ? pen : greyPen);
        const COLORREF boxBackground = example.boxBackground.value();
        const int width = drawColourSample(dc, r.left + kExampleMargin, top, example.boxText, boxBackground,
                                           example.boxTextColour.value(), boxBackground, boldFont);
        drawColourSample(dc, r.left + width + kSecondSampleGap, top, example.text, example.background.value(),
                         example.textColour.value(), kNoFill, example.boldText ? boldFont : textFont);
        SelectObject(dc, greyPen);
        if (pen != nullptr) DeleteObject(pen);
        top += lineHeight + 2;
        ++row;
    }
    RestoreDC(dc, saved);
}

}  // namespace

int drawColourSample(HDC dc,
                     int left,
                     int top,
                     const wchar_t* text,
                     COLORREF background,
                     COLORREF textColour,
                     COLORREF fill,
                     HFONT font) {
    SelectObject(dc, font);
    const int length = lstrlenW(text);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, length, &size);
    HBRUSH brush = fill != kNoFill ? CreateSolidBrush(fill) : nullptr;
    HGDIOBJ previous = brush != nullptr ? SelectObject(dc, brush) : nullptr;
    Rectangle(dc, left, top, left + size.cx + 10, top + size.cy + 4);
    if (brush != nullptr) {
        SelectObject(dc, previous);
        DeleteObject(brush);
    }
    SetBkColor(dc, background);
    SetTextColor(dc, textColour);
    TextOutW(dc, left + 4, top + 2, text, length);
    return size.cx;
}

void drawColourExample(HWND dialog, const DRAWITEMSTRUCT& item) {
    if (item.CtlID == IDC_OPT_SWATCH)
        drawSwatch(dialog, item);
    else if (item.CtlID == IDC_OPT_EXAMPLE)
        drawExample(dialog, item);
}
