#include "ui/ItemPainter.h"

#include <algorithm>
#include <cwchar>
#include <functional>
#include <iterator>
#include <new>

#include "model/ElementStore.h"
#include "model/KeyLists.h"
#include "model/TextDiffArea.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"
#include "ui/StatusBar.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

ItemPainter* itemPainter = nullptr;

namespace {

// Items taller than this many lines get boxes as wide as the item.
constexpr int kTallItemLines = 24;
constexpr int kTallItemMargin = 32;
// A wrapped token that must be split is cut into pieces of at most this many units.
constexpr int kMaxPieceUnits = 60;
// The wrapped boxes are as wide as this many characters of "FW" (the pair's width halved).
constexpr int kBoxCharacters = 70;

// The display copy of the attribute text being painted: one per process, as painting
// runs on the GUI thread only.
wchar_t attributeDisplay[kAttributeDisplayUnits];

// Which units of the text being painted the row leaves out: found once per item painted,
// as wrapping measures the text piece by piece (hiddenFor is reset by drawItem).
bool hiddenUnits[kMaxTextUnits];
const wchar_t* hiddenFor = nullptr;

// Cuts text into tokens: a run of units above U+0020 with the units at or below it
// that follow. With newLines, a line feed ends its token at once (a hard break) and is
// not part of any token. place(start, fullLength, wordLength, hardBreak, last).
template <typename Place>
void forEachToken(const wchar_t* text, int count, bool newLines, Place place) {
    int start = 0;
    int wordEnd = 0;
    bool inWord = false;        // the token has a unit above U+0020
    bool inSeparators = false;  // ... and separator units after it
    for (int i = 0; i < count; ++i) {
        const wchar_t c = text[i];
        if (newLines && c == L'\n') {
            const int word = inWord ? wordEnd - start : 0;
            place(start, word, word, true, false);
            start = i + 1;
            inWord = inSeparators = false;
        } else if (c > L' ') {
            if (inWord && inSeparators) {
                place(start, i - start, wordEnd - start, false, false);
                start = i;
            }
            inWord = true;
            inSeparators = false;
            wordEnd = i + 1;
        } else {
            inSeparators = inWord;
        }
    }
    if (start < count) place(start, count - start, inWord ? wordEnd - start : 0, false, true);
}

bool isPieceLetter(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
    // Latin-1 symbols and letters alike end a piece; letters of other scripts do not,
    // so that a long word of them is cut only where the line is full.
    return c > 0xFF && IsCharAlphaW(c);
}

// The length of the piece at text: letters up to and including the first other unit.
int pieceLength(const wchar_t* text, int available) {
    const int limit = std::min(available, kMaxPieceUnits);
    int n = 0;
    while (n < limit) {
        if (!isPieceLetter(text[n++])) break;
    }
    return n;
}

// Hebrew, Arabic and the scripts and presentation forms around them; not the
// noncharacters U+FDD0 to U+FDEF amid the presentation forms, which have no direction.
bool isRightToLeft(wchar_t c) {
    if (c >= 0xFDD0 && c <= 0xFDEF) return false;
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF);
}

uint8_t runStyleOfRange(uint8_t colour) {
    return colour < kRunStyles ? colour : static_cast<uint8_t>(kRunDiffers);
}

// The painter's colour that a colour-set slot mirrors.
template <typename Painter>
auto& slotColour(Painter& painter, int slot) {
    switch (slot) {
        case kChangedHeaderSlot:
            return painter.boxBackground[kBoxChanged];
        case kUnpairedHeaderSlot:
            return painter.boxBackground[kBoxUnpaired];
        case kSelectedChangedHeaderSlot:
            return painter.boxBackground[kBoxSelectedChanged];
        case kSelectedUnpairedHeaderSlot:
            return painter.boxBackground[kBoxSelectedUnpaired];
        case kChangedHeaderTextSlot:
            return painter.nameText[kBoxChanged];
        case kUnpairedHeaderTextSlot:
            return painter.nameText[kBoxUnpaired];
        case kChangedRunBackgroundSlot:
            return painter.runBackground[kRunChanged];
        case kDifferingRunBackgroundSlot:
            return painter.runBackground[kRunDiffers];
        case kChangedRunTextSlot:
            return painter.runText[kRunChanged];
        case kDifferingRunTextSlot:
            return painter.runText[kRunDiffers];
        default:
            return painter.runText[kRunUnpaired];
    }
}

}  // namespace

ItemPainter::ItemPainter(HWND tree) {
    setFont(tree);
    setDefaultColours();
    ColourSet stored{};
    captureColourTable(*this, stored);
    loadColours(stored);
    applyColourTable(*this, stored);
    greyPen = CreatePen(PS_SOLID, 1, frameColour());
}

COLORREF frameColour() {
    // Some colour schemes (Wine's default among them) give scroll bars the window's
    // colour, which would hide every frame drawn on the window's background.
    const COLORREF scrollBar = GetSysColor(COLOR_SCROLLBAR);
    return scrollBar != GetSysColor(COLOR_WINDOW) ? scrollBar : GetSysColor(COLOR_BTNSHADOW);
}

void ItemPainter::setFont(HWND tree) {
    font = reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW logFont{};
    GetObjectW(font, sizeof(logFont), &logFont);
    logFont.lfWeight = FW_BOLD;
    if (boldFont != nullptr) DeleteObject(boldFont);
    boldFont = CreateFontIndirectW(&logFont);
    lineHeight = static_cast<int32_t>(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
    HDC treeDc = GetDC(tree);
    HGDIOBJ previous = SelectObject(treeDc, font);
    SIZE size{};
    GetTextExtentPoint32W(treeDc, L"FW", 2, &size);
    SelectObject(treeDc, previous);
    ReleaseDC(tree, treeDc);
    boxWidth = kBoxCharacters * size.cx / 2;
}

namespace {

// Written for the painter and for a scratch set of its colour arrays alike (the
// Options dialog's Default on the Colors page).
template <typename Painter>
void fillDefaultColours(Painter& painter) {
    painter.boxBackground[kBoxSame] = GetSysColor(COLOR_BTNFACE);
    painter.boxBackground[kBoxChanged] = RGB(210, 255, 210);
    painter.boxBackground[kBoxUnpaired] = RGB(255, 210, 210);
    painter.boxBackground[kBoxSelectedSame] = GetSysColor(COLOR_HIGHLIGHT);
    painter.boxBackground[kBoxSelectedChanged] = RGB(0, 127, 0);
    painter.boxBackground[kBoxSelectedUnpaired] = RGB(160, 0, 0);
    painter.boxBackground[kBoxIgnoredOdd] = GetSysColor(COLOR_WINDOW);
    painter.boxBackground[kBoxIgnoredEven] = GetSysColor(COLOR_WINDOW);

    painter.nameText[kBoxSame] = GetSysColor(COLOR_WINDOWTEXT);
    painter.nameText[kBoxChanged] = RGB(0, 66, 0);
    painter.nameText[kBoxUnpaired] = RGB(99, 0, 0);
    painter.nameText[kBoxSelectedSame] = GetSysColor(COLOR_HIGHLIGHTTEXT);
    painter.nameText[kBoxSelectedChanged] = GetSysColor(COLOR_HIGHLIGHTTEXT);
    painter.nameText[kBoxSelectedUnpaired] = GetSysColor(COLOR_HIGHLIGHTTEXT);
    painter.nameText[kBoxIgnoredOdd] = RGB(0, 0, 127);
    painter.nameText[kBoxIgnoredEven] = RGB(66, 66, 66);

    painter.runBackground[kRunPlain] = GetSysColor(COLOR_WINDOW);
    painter.runBackground[kRunChanged] = RGB(230, 255, 230);
    painter.runBackground[kRunDiffers] = RGB(255, 230, 230);
    painter.runBackground[kRunIgnored] = GetSysColor(COLOR_WINDOW);
    painter.runBackground[kRunUnpaired] = GetSysColor(COLOR_WINDOW);

    painter.runText[kRunPlain] = GetSysColor(COLOR_WINDOWTEXT);
    painter.runText[kRunChanged] = RGB(0, 127, 0);
    painter.runText[kRunDiffers] = RGB(200, 0, 0);
    painter.runText[kRunIgnored] = RGB(99, 99, 99);
    painter.runText[kRunUnpaired] = RGB(127, 0, 0);
}

}  // namespace

void ItemPainter::setDefaultColours() {
    fillDefaultColours(*this);
}

void ItemPainter::createBrushes() {
    for (int i = 0; i < kBoxStyles; ++i) {
        if (brushes[i] != nullptr) DeleteObject(brushes[i]);
        if (pens[i] != nullptr) DeleteObject(pens[i]);
        brushes[i] = CreateSolidBrush(boxBackground[i]);
        pens[i] = CreatePen(PS_SOLID, 2, boxBackground[i]);
    }
}

void ItemPainter::deleteObjects() {
    if (boldFont != nullptr) DeleteObject(boldFont);
    if (greyPen != nullptr) DeleteObject(greyPen);
    boldFont = nullptr;
    greyPen = nullptr;
    for (int i = 0; i < kBoxStyles; ++i) {
        if (brushes[i] != nullptr) DeleteObject(brushes[i]);
        if (pens[i] != nullptr) DeleteObject(pens[i]);
        brushes[i] = nullptr;
        pens[i] = nullptr;
    }
    borderPen = nullptr;
}

void ItemPainter::release() {
    ColourSet colours{};
    captureColourTable(*this, colours);
    saveColours(colours);
    deleteObjects();
}

void ItemPainter::drawItem(NMTVCUSTOMDRAW* draw) {
    if (draw == nullptr) return;
    auto* record = reinterpret_cast<XMLTreeItem*>(draw->nmcd.lItemlParam);
    if (record == nullptr) return;
    if (!record->isSummary() && draw->nmcd.rc.bottom == 0) return;
    // Everything selected or set below (fonts, brushes, pens, colours, alignment, the
    // current position) goes back with the saved state: the device context is the
    // tree view's own.
    const int saved = SaveDC(draw->nmcd.hdc);
    if (saved == 0) return;
    dc = draw->nmcd.hdc;
    hiddenFor = nullptr;
    SetBkMode(dc, OPAQUE);
    if (record->isSummary())
        drawSummaryItem(draw);
    else
        drawElementItem(draw);
    RestoreDC(dc, saved);
    // Neither outlives the notification.
    item = nullptr;
    dc = nullptr;
}

void ItemPainter::drawElementItem(NMTVCUSTOMDRAW* draw) {
    HWND tree = draw->nmcd.hdr.hwndFrom;
    item = reinterpret_cast<XMLTreeItem*>(draw->nmcd.lItemlParam);
    XMLTreeView* panel = panelFromTree(tree);
    adjustHeights = OptionSet::DisplayFullMode && (OptionSet::AdjustView || (panel != nullptr && panel->hasTallItems));
    measureOnly = panel != nullptr ? panel->relayoutPending : 0;

    diffState = static_cast<uint8_t>(filesCompared ? item->differenceState() : 0);
    ignoreKind = static_cast<uint8_t>(item->ignoreState == 0 ? 0 : (item->ignoreState & 1) ? 1 : 2);

    const uint8_t attributeMarks = kNamedAttributesIgnoredFlag | kCommonAttributeFlag;
    if (!measureOnly && (diffState == 1 || (item->flags & attributeMarks) != 0))
        paintDiffArea.prepare(item, item->attributesDiffer() || (item->flags & attributeMarks) != 0);
    else
        paintDiffArea.prepare(nullptr, false);

    SelectObject(dc, GetSysColorBrush(COLOR_WINDOW));
    if (item == currentElement || item == currentPartner)
        style = static_cast<uint8_t>(diffState + kBoxSelectedSame);
    else if (ignoreKind != 0)
        style = static_cast<uint8_t>(ignoreKind + kBoxSelectedUnpaired);
    else
        style = diffState;
    borderPen = (draw->nmcd.uItemState & CDIS_FOCUS) ? pens[style] : greyPen;

    RECT rect{};
    if (!ElementStore::itemRect(tree, reinterpret_cast<HTREEITEM>(draw->nmcd.dwItemSpec), true, &rect)) return;
    box = rect;
    FillRect(dc, &box, GetSysColorBrush(COLOR_WINDOW));

    lineCount = item->attributeLines + item->textLines + 1;
    const int32_t normalBoxWidth = boxWidth;
    if (item->itemLines > kTallItemLines) boxWidth = (rect.right - rect.left) - kTallItemMargin;
    if (lineCount != 1)
        drawMultiLineItem();
    else if (!measureOnly)
        drawSingleLineItem();
    boxWidth = normalBoxWidth;

    if (adjustHeights) {
        const int usedLines = item->attributeLines + item->textLines + 1;
        if (usedLines < lineCount) {
            item->setItemHeight(usedLines);
            // Until the main window has laid the tree out again, its items are only
            // measured; without a window to tell, nothing would end that.
            if (!measureOnly && panel != nullptr && mainWindow != nullptr &&
                PostMessageW(mainWindow, kRelayoutTreeMessage, 0, reinterpret_cast<LPARAM>(panel)))
                panel->relayoutPending = 1;
        }
    }
}

void ItemPainter::drawSummaryItem(NMTVCUSTOMDRAW* draw) {
    HWND tree = draw->nmcd.hdr.hwndFrom;
    const auto* record = reinterpret_cast<const XMLTreeItem*>(draw->nmcd.lItemlParam);
    RECT rect{};
    if (!ElementStore::itemRect(tree, reinterpret_cast<HTREEITEM>(draw->nmcd.dwItemSpec), true, &rect)) return;
    // Only the rows that the tree repaints for the item are drawn on: the frame is taller
    // than a one-line item, and what lands outside them is never painted over again, so
    // it stays behind as a stray box when the item moves on.
    const RECT& slot = draw->nmcd.rc;
    if (slot.bottom <= slot.top) return;
    IntersectClipRect(dc, slot.left, slot.top, slot.right, slot.bottom);
    rect.top = slot.top;
    rect.bottom = slot.bottom;
    SelectObject(dc, GetSysColorBrush(COLOR_INFOBK));
    FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
    SelectObject(dc, font);
    SetBkColor(dc, GetSysColor(COLOR_INFOBK));
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));

    wchar_t text[128];
    const int elements = static_cast<int>(record->descendantCount + 1);
    if (OptionSet::ViewMode == IDM_VIEW_NORMAL) {
        std::swprintf(text, std::size(text), L"Total elements %d", elements);
    } else {
        const int shown = static_cast<int>(ElementStore::itemCount(tree)) - 1;
        std::swprintf(text, std::size(text), L"Total elements %d / display %d (%ls)", elements, shown,
                      viewModeText(OptionSet::ViewMode));
    }
    const int length = static_cast<int>(std::wcslen(text));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, length, &size);
    SelectObject(dc, greyPen);
    Rectangle(dc, rect.left - 20, rect.top, rect.left + size.cx + 10, std::min(rect.top + size.cy + 6, slot.bottom));
    TextOutW(dc, rect.left - 10, rect.top + 2, text, length);
}

uint8_t ItemPainter::partStyle(uint8_t ignoredFlag) const {
    if (diffState == 2) return kRunUnpaired;
    if ((item->flags & ignoredFlag) != 0 || ignoreKind != 0) return kRunIgnored;
    return kRunPlain;
}

void ItemPainter::drawSingleLineItem() {
    box.left += 1;
    const int nameWidth = drawNameBox();
    int x = nameWidth + 10;
    if (item->attributes != nullptr && item->attributesLength != 0) {
        style = partStyle(kAttributesIgnoredFlag);
        const int attributeWidth = drawAttributeBox(x);
        x = nameWidth + attributeWidth + 16;
    }
    if (item->text != nullptr && item->textLength != 0) {
        style = partStyle(kTextIgnoredFlag);
        drawTextBox(x);
    }
}

void ItemPainter::drawMultiLineItem() {
    box.left += 1;
    box.bottom = box.top + lineHeight;
    if (measureOnly)
        SelectObject(dc, boldFont);
    else
        drawNameBox();
    box.top = box.bottom;
    if (item->attributes != nullptr && item->attributesLength != 0) {
        box.bottom = box.top + item->attributeLines * lineHeight;
        style = partStyle(kAttributesIgnoredFlag);
        drawAttributeLines();
    }
    box.top = box.bottom;
    if (item->text != nullptr && item->textLength != 0) {
        box.bottom = box.top + item->textLines * lineHeight;
        style = partStyle(kTextIgnoredFlag);
        drawTextLines();
    }
}

int ItemPainter::drawNameBox() {
    SelectObject(dc, boldFont);
    SetBkColor(dc, boxBackground[style]);
    SetTextColor(dc, nameText[style]);
    HGDIOBJ previousBrush = SelectObject(dc, brushes[style]);
    HGDIOBJ previousPen = SelectObject(dc, borderPen);
    const wchar_t* name = item->nameText();
    const int length = name != nullptr ? static_cast<int>(std::wcslen(name)) : 0;
    const int cx = textWidth(name, length);
    Rectangle(dc, box.left, box.top + 1, box.left + cx + 10, box.bottom - 1);
    SelectObject(dc, previousBrush);
    SelectObject(dc, previousPen);
    if (length != 0) TextOutW(dc, box.left + 6, box.top + 2, name, length);
    if (entireElementList.contains(*item)) {
        HPEN underline = CreatePen(PS_SOLID, 1, nameText[style]);
        previousPen = SelectObject(dc, underline);
        Rectangle(dc, box.left + 4, box.bottom - 3, box.left + cx + 8, box.bottom - 2);
        SelectObject(dc, previousPen);
        DeleteObject(underline);
    }
    return cx;
}

int ItemPainter::attributeDisplayCopy() const {
    const int length = std::min<int>(item->attributesLength, kAttributeDisplayUnits - 1);
    copyShownUnits(item->attributes, static_cast<size_t>(length), attributeDisplay);
    attributeDisplay[length] = 0;
    return length;
}

int ItemPainter::attributeRanges() const {
    if (!paintDiffArea.paired) return 0;
    return static_cast<int>(paintDiffArea.first.markAttributeDifferences(&paintDiffArea.second));
}

int ItemPainter::textRanges() const {
    if (!paintDiffArea.paired) return 0;
    return static_cast<int>(paintDiffArea.first.markTextDifferences(&paintDiffArea.second));
}

int ItemPainter::drawAttributeBox(int x) {
    const int length = attributeDisplayCopy();
    const int ranges = attributeRanges();
    const int cx = textWidth(attributeDisplay, length);
    SelectObject(dc, borderPen);
    Rectangle(dc, box.left + x, box.top + 1, box.left + x + cx + 8, box.bottom - 1);
    return drawRuns(attributeDisplay, length, box.left + x + 4, box.top + 2, ranges, true);
}

int ItemPainter::drawTextBox(int x) {
    const int ranges = textRanges();
    SelectObject(dc, font);
    const int width = drawRuns(item->text, item->textLength, box.left + x + 4, box.top + 2, ranges, false);
    SelectObject(dc, borderPen);
    Rectangle(dc, box.left + x, box.top + 1, box.left + x + width + 8, box.bottom - 1);
    drawRuns(item->text, item->textLength, box.left + x + 4, box.top + 2, ranges, true);
    return width;
}

void ItemPainter::drawAttributeLines() {
    linesLeft = item->attributeLines - 1;
    const int length = attributeDisplayCopy();
    const int ranges = attributeRanges();
    SelectObject(dc, borderPen);
    Rectangle(dc, box.left, box.top - 2, box.left + boxWidth + 6, box.bottom - 1);
    fitsByWords = fitsInLines(attributeDisplay, length, item->attributeLines);
    drawWrapped(attributeDisplay, length, box.left + 6, box.top, ranges);
    if (linesLeft > 0 && adjustHeights) item->attributeLines = static_cast<uint8_t>(item->attributeLines - linesLeft);
}

void ItemPainter::drawTextLines() {
    SelectObject(dc, font);
    linesLeft = item->textLines - 1;
    const int ranges = textRanges();
    SelectObject(dc, borderPen);
    Rectangle(dc, box.left, box.top - 2, box.left + boxWidth + 6, box.bottom - 1);
    fitsByWords = fitsInLines(item->text, item->textLength, item->textLines);
    drawWrapped(item->text, item->textLength, box.left + 6, box.top, ranges);
    if (linesLeft > 0 && adjustHeights) item->textLines = static_cast<uint8_t>(item->textLines - linesLeft);
}

namespace {
// The units of a run as shown. The attribute text is drawn from its display copy; a run of
// the record's own text that holds a kept reference's mark is copied with its "&", into
// one buffer, as painting runs on the GUI thread only. A run starts anywhere in the text,
// so the unit before it decides with the run's first unit. The units the row leaves out
// (a child's mark and the blanks beside it) are left out of the copy: they have no width,
// and every position and range still counts in the record's units.
wchar_t shownRun[kMaxTextUnits + 1];

const wchar_t* shownUnits(const XMLTreeItem* item, const wchar_t* text, int length, int* shownLength) {
    *shownLength = length;
    const wchar_t* own = item != nullptr ? item->text : nullptr;
    const std::less<const wchar_t*> precedes;
    if (own == nullptr || precedes(text, own) || !precedes(text, own + item->textLength) ||
        length > static_cast<int>(kMaxTextUnits))
        return text;
    const wchar_t previous = text != own ? text[-1] : 0;
    // A blank at either end of the run hides beside a mark just outside it.
    const wchar_t* around = text != own ? text - 1 : text;
    const wchar_t* aroundEnd = std::min(text + length + 1, own + item->textLength);
    if (containsChildMark(around, static_cast<size_t>(aroundEnd - around))) {
        if (hiddenFor != own) {
            findHiddenUnits(own, item->textLength, hiddenUnits);
            hiddenFor = own;
        }
        const size_t from = static_cast<size_t>(text - own);
        int used = 0;
        for (int i = 0; i < length; ++i) {
            if (hiddenUnits[from + i]) continue;
            shownRun[used++] = shownUnit(from + i == 0 ? 0 : own[from + i - 1], text[i]);
        }
        *shownLength = used;
        return shownRun;
    }
    if (!containsKeptReference(text, static_cast<size_t>(length), previous)) return text;
    copyShownUnits(text, static_cast<size_t>(length), shownRun, previous);
    return shownRun;
}
}  // namespace

int ItemPainter::textWidth(const wchar_t* text, int length) const {
    if (text == nullptr || length <= 0) return 0;
    SIZE size{};
    int shownLength = 0;
    const wchar_t* shown = shownUnits(item, text, length, &shownLength);
    if (shownLength == 0) return 0;
    GetTextExtentPoint32W(dc, shown, shownLength, &size);
    return size.cx;
}

int ItemPainter::drawRun(const wchar_t* text, int length, int x, int y, uint8_t runStyle, bool draw) {
    if (length <= 0) return 0;
    if (!draw) return textWidth(text, length);
    SetBkColor(dc, runBackground[runStyle]);
    SetTextColor(dc, runText[runStyle]);
    return drawMeasured(text, length, x, y, runStyle);
}

// Wine draws a string with glyph advances of its own, wider than the text extent for some
// fonts (Liberation Sans, its stand-in for "MS Shell Dlg", by a pixel or two a word): a run
// drawn alone then covers the separator after it and touches the next, which starts where
// the extent said. Every unit is therefore placed at the advance the extent gives it.
// Right-to-left text is reordered for display, and Wine applies the advances in the
// stored order to the reordered glyphs: such a run is drawn as the platform lays it out.
int ItemPainter::drawMeasured(const wchar_t* text, int length, int x, int y, uint8_t runStyle) {
    if (paintedPieces != nullptr) paintedPieces->push_back(PaintedPiece{text, length, x, y, runStyle});
    if (static_cast<int>(advances.size()) < length) advances.resize(length);
    // The direction is the shown text's: a kept reference's mark is an "&".
    int units = 0;
    const wchar_t* shown = shownUnits(item, text, length, &units);
    if (units == 0) return 0;
    SIZE size{};
    if (std::any_of(shown, shown + units, isRightToLeft) ||
        !GetTextExtentExPointW(dc, shown, units, 0, nullptr, advances.data(), &size)) {
        TextOutW(dc, x, y, shown, units);
        return textWidth(text, length);
    }
    for (int i = units - 1; i > 0; --i)
        advances[i] -= advances[i - 1];
    ExtTextOutW(dc, x, y, 0, nullptr, shown, static_cast<UINT>(units), advances.data());
    return size.cx;
}

int ItemPainter::drawRuns(const wchar_t* text, int length, int x, int y, int ranges, bool draw) {
    int pos = 0;
    int total = 0;
    for (int r = 0; r < ranges; ++r) {
        // Ranges past the shown text (an attribute text longer than its display copy) are
        // cut to it.
        int start = std::max<int>(paintDiffArea.rangeStarts[r], pos);
        const int end = std::min<int>(paintDiffArea.rangeStarts[r] + paintDiffArea.rangeLengths[r], length);
        if (start >= end) continue;
        const int plain = drawRun(text + pos, start - pos, x, y, style, draw);
        const int marked =
            drawRun(text + start, end - start, x + plain, y, runStyleOfRange(paintDiffArea.rangeColours[r]), draw);
        x += plain + marked;
        total += plain + marked;
        pos = end;
    }
    if (draw) {
        SetBkColor(dc, runBackground[style]);
        SetTextColor(dc, runText[style]);
    }
    total += drawRun(text + pos, length - pos, x, y, style, draw);
    return total;
}

void ItemPainter::drawWrapped(const wchar_t* text, int count, int x, int y, int ranges) {
    wrapText = text;
    rangeIndex = 0;
    lastPiece = 0;
    rangeCount = ranges;
    const UINT previousAlign = SetTextAlign(dc, TA_UPDATECP);
    GetTextMetricsW(dc, &metrics);
    lineX = x;
    lineY = y;
    MoveToEx(dc, x, y, nullptr);
    forEachToken(text, count, OptionSet::HandleNewLine != 0,
                 [&](int start, int fullLength, int wordLength, bool hardBreak, bool last) {
                     if (last) lastPiece = 1;
                     placeToken(text + start, fullLength, wordLength, hardBreak);
                 });
    if (previousAlign != GDI_ERROR) SetTextAlign(dc, previousAlign);
}

void ItemPainter::placeToken(const wchar_t* token, int fullLength, int wordLength, bool hardBreak) {
    int room = 0;
    if (!placeWord(token, fullLength, wordLength, &room)) {
        for (int offset = 0; offset < fullLength;) {
            const int n = pieceLength(token + offset, fullLength - offset);
            placePiece(token + offset, n);
            offset += n;
        }
    }
    if (hardBreak && linesLeft > 0) nextLine();
}

// Every pass of the loop either places at least one unit or takes a fresh line, and
// lines run out: a piece wider than the box ends however narrow the box is.
void ItemPainter::placePiece(const wchar_t* piece, int length) {
    while (length > 0) {
        int room = 0;
        if (placeWord(piece, length, length, &room)) return;
        int k = fitChars(piece, length, room);
        if (k == 0 && lineUsed() > 0 && linesLeft > 0) {
            nextLine();
            continue;
        }
        // Not even one unit fits an empty line: it is drawn anyway, past the frame.
        if (k == 0) k = 1;
        putPiece(piece, k, k, textWidth(piece, k), false);
        piece += k;
        length -= k;
    }
}

int ItemPainter::lineUsed() const {
    POINT position{};
    GetCurrentPositionEx(dc, &position);
    return position.x - lineX;
}

void ItemPainter::nextLine() {
    lineY += lineHeight;
    --linesLeft;
    MoveToEx(dc, lineX, lineY, nullptr);
}

bool ItemPainter::placeWord(const wchar_t* token, int length, int drawLength, int* room) {
    const int w = textWidth(token, length);
    const int used = lineUsed();
    const int left = boxWidth - w - used - 6;
    if (linesLeft > 0 && left < 0) {
        const bool wrap =
            fitsByWords || (w < boxWidth - 10 && (lastPiece || used * 1.2 > static_cast<double>(boxWidth)));
        if (!wrap) {
            *room = boxWidth - used - 6;
            return false;
        }
        putPiece(token, length, drawLength, w, true);
        return true;
    }
    putPiece(token, length, drawLength, w, false);
    return true;
}

// The one road of every placed piece, in the measuring pass and the painting pass alike:
// the position moves past all its units, separators included, whatever is painted, so
// that the next word starts where the measure put it.
void ItemPainter::putPiece(const wchar_t* piece, int length, int wordLength, int width, bool onNextLine) {
    if (onNextLine) nextLine();
    POINT start{};
    GetCurrentPositionEx(dc, &start);
    if (!measureOnly) {
        // Separators that would end past the box are stepped over, not painted, so that
        // they do not paint over its frame.
        const bool endsInBox = start.x - lineX + width <= boxWidth - 6;
        drawWrappedRuns(piece, endsInBox ? length : wordLength);
    }
    MoveToEx(dc, start.x + width, start.y, nullptr);
}

int ItemPainter::fitChars(const wchar_t* text, int length, int width) const {
    if (length <= 0 || width <= 0) return 0;
    const int average = metrics.tmAveCharWidth > 0 ? metrics.tmAveCharWidth : 1;
    int n = std::min(width / average, length);
    // Down until it fits, then up while the next unit still fits and the line is not
    // yet nearly full; the two walks never undo each other.
    while (n > 0 && textWidth(text, n) >= width)
        --n;
    while (n < length && textWidth(text, n) < width - metrics.tmMaxCharWidth - 2 && textWidth(text, n + 1) < width)
        ++n;
    return n;
}

void ItemPainter::drawWrappedRuns(const wchar_t* piece, int n) {
    int from = static_cast<int>(piece - wrapText);
    const int end = from + n;
    while (from < end) {
        while (rangeIndex < rangeCount &&
               paintDiffArea.rangeStarts[rangeIndex] + paintDiffArea.rangeLengths[rangeIndex] <= from)
            ++rangeIndex;
        if (rangeIndex >= rangeCount) {
            drawWrappedPiece(from, end, end, style);
            return;
        }
        const int start = paintDiffArea.rangeStarts[rangeIndex];
        from = drawWrappedPiece(from, start, end, style);
        from = drawWrappedPiece(from, start + paintDiffArea.rangeLengths[rangeIndex], end,
                                runStyleOfRange(paintDiffArea.rangeColours[rangeIndex]));
    }
}

int ItemPainter::drawWrappedPiece(int from, int to, int limit, uint8_t runStyle) {
    const int stop = std::min(to, limit);
    if (stop <= from) return from;
    SetBkColor(dc, runBackground[runStyle]);
    SetTextColor(dc, runText[runStyle]);
    // The text is drawn at the current position (TA_UPDATECP), which is then set past it by
    // the measured width, not by what the platform made of it.
    POINT at{};
    GetCurrentPositionEx(dc, &at);
    const int width = drawMeasured(wrapText + from, stop - from, at.x, at.y, runStyle);
    MoveToEx(dc, at.x + width, at.y, nullptr);
    return stop;
}

bool ItemPainter::fitsInLines(const wchar_t* text, int count, int lines) const {
    int used = 0;
    int budget = lines;
    bool fits = true;
    forEachToken(text, count, OptionSet::HandleNewLine != 0, [&](int start, int fullLength, int, bool hardBreak, bool) {
        if (fits) fits = fitsWord(text + start, fullLength, hardBreak, &used, &budget);
    });
    return fits;
}

bool ItemPainter::fitsWord(const wchar_t* token, int length, bool hardBreak, int* used, int* budget) const {
    const int w = textWidth(token, length);
    if (w > boxWidth - 10) return false;
    if (*used + w >= boxWidth - 6) {
        --*budget;
        *used = w;
    } else {
        *used += w;
    }
    if (hardBreak) {
        --*budget;
        *used = 0;
    }
    return *budget > 0;
}

bool createItemPainter(HWND tree) {
    if (itemPainter != nullptr) destroyItemPainter();
    if (tree == nullptr) return false;
    auto* painter = new (std::nothrow) ItemPainter(tree);
    if (painter == nullptr) return false;
    bool complete = painter->boldFont != nullptr && painter->greyPen != nullptr;
    for (int i = 0; i < kBoxStyles; ++i)
        complete = complete && painter->brushes[i] != nullptr && painter->pens[i] != nullptr;
    if (!complete) {
        painter->deleteObjects();
        delete painter;
        return false;
    }
    itemPainter = painter;
    return true;
}

void destroyItemPainter() {
    if (itemPainter == nullptr) return;
    itemPainter->release();
    delete itemPainter;
    itemPainter = nullptr;
}

void captureColourTable(const ItemPainter& painter, ColourSet& colours) {
    for (int slot = 0; slot < kColourSlots; ++slot)
        colours.slots[slot] = slotColour(painter, slot);
}

void applyColourTable(ItemPainter& painter, const ColourSet& colours) {
    for (int slot = 0; slot < kColourSlots; ++slot)
        slotColour(painter, slot) = colours.slots[slot];
    painter.createBrushes();
}

void defaultColourTable(ColourSet& colours) {
    struct {
        COLORREF boxBackground[kBoxStyles];
        COLORREF nameText[kBoxStyles];
        COLORREF runBackground[kRunStyles];
        COLORREF runText[kRunStyles];
    } scratch{};
    fillDefaultColours(scratch);
    for (int slot = 0; slot < kColourSlots; ++slot)
        colours.slots[slot] = slotColour(scratch, slot);
}
