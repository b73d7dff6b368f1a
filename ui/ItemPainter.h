// The one painter of the tree items of both trees: element names, attribute text and
// text in framed boxes, coloured by difference and ignore state, with the characters
// that differ from the partner highlighted. Long attribute texts and texts wrap over
// the lines of a tall item.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "settings/ColourSet.h"

struct XMLTreeItem;

constexpr int kBoxStyles = 8;
constexpr int kRunStyles = 5;
// The display copy of an attribute text holds at most this many units with its NUL;
// a longer attribute text is shown cut.
constexpr int kAttributeDisplayUnits = 16384;

// Box styles: the name box's fill and name colour.
enum BoxStyle : uint8_t {
    kBoxSame = 0,
    kBoxChanged = 1,
    kBoxUnpaired = 2,
    kBoxSelectedSame = 3,
    kBoxSelectedChanged = 4,
    kBoxSelectedUnpaired = 5,
    kBoxIgnoredOdd = 6,
    kBoxIgnoredEven = 7,
};

// Run styles: pieces of attribute text and text. Styles 1 to 3 are the colours of
// the inline difference's ranges.
enum RunStyle : uint8_t {
    kRunPlain = 0,
    kRunChanged = 1,
    kRunDiffers = 2,
    kRunIgnored = 3,
    kRunUnpaired = 4,
};

// A piece of attribute text or text as painted: length units from text, drawn at (x, y)
// in a run style.
struct PaintedPiece {
    const wchar_t* text;
    int length;
    int x;
    int y;
    uint8_t runStyle;
};

struct ItemPainter {
    const wchar_t* wrapText{};  // the text being wrapped: the display copy or the record's text
    int32_t fitsByWords{};      // the box's text fits its lines word by word
    int32_t lastPiece{};        // the last token of the wrapped text is being placed
    int32_t adjustHeights{};    // item heights shrink to the lines really used
    int32_t measureOnly{};      // the panel waits for a relayout: measure, draw no text
    XMLTreeItem* item{};        // not owned
    int32_t lineX{};
    int32_t lineY{};
    HDC dc{};  // the notification's, not owned
    int32_t rangeCount{};
    int32_t rangeIndex{};  // the first range of the wrapped text not yet passed
    int32_t lineCount{};   // lines of the item before painting
    int32_t linesLeft{};   // lines still free for the box being wrapped
    int32_t boxWidth{};
    RECT box{};
    int32_t lineHeight{};
    uint8_t style{};  // the item's box style; while text is drawn, the current run style
    uint8_t ignoreKind{};
    uint8_t diffState{};
    HFONT boldFont{};  // owned
    HFONT font{};      // the tree's, not owned
    COLORREF runBackground[kRunStyles]{};
    COLORREF runText[kRunStyles]{};
    COLORREF boxBackground[kBoxStyles]{};
    COLORREF nameText[kBoxStyles]{};
    HBRUSH brushes[kBoxStyles]{};  // owned
    HPEN pens[kBoxStyles]{};       // owned
    HPEN greyPen{};                // owned
    HPEN borderPen{};              // one of pens or greyPen
    TEXTMETRICW metrics{};
    // While set (by tests), every painted piece of attribute text and text is added to it;
    // not owned.
    std::vector<PaintedPiece>* paintedPieces{};
    std::vector<INT> advances;  // per-unit advances of the run being drawn

    // Defaults, the colours stored in the registry over them, and the GDI objects.
    explicit ItemPainter(HWND tree);
    ItemPainter(const ItemPainter&) = delete;
    ItemPainter& operator=(const ItemPainter&) = delete;

    // The tree's font, its bold copy, the line height and the wrapped boxes' width.
    void setFont(HWND tree);
    void setDefaultColours();
    // Brushes and pens of the box colours, made anew after the colours changed.
    void createBrushes();
    // Writes the colours to the registry and deletes the GDI objects.
    void release();

    // Paints one item for CDDS_ITEMPOSTPAINT. Whatever it selects into the device
    // context is put back before it returns.
    void drawItem(NMTVCUSTOMDRAW* draw);

private:
    friend bool createItemPainter(HWND tree);

    void drawElementItem(NMTVCUSTOMDRAW* draw);
    void drawSummaryItem(NMTVCUSTOMDRAW* draw);
    void drawSingleLineItem();
    void drawMultiLineItem();
    int drawNameBox();
    int drawAttributeBox(int x);
    int drawTextBox(int x);
    void drawAttributeLines();
    void drawTextLines();
    int drawRun(const wchar_t* text, int length, int x, int y, uint8_t runStyle, bool draw);
    int drawRuns(const wchar_t* text, int length, int x, int y, int ranges, bool draw);
    int drawMeasured(const wchar_t* text, int length, int x, int y, uint8_t runStyle);
    void drawWrapped(const wchar_t* text, int count, int x, int y, int ranges);
    void placeToken(const wchar_t* token, int fullLength, int wordLength, bool hardBreak);
    void placePiece(const wchar_t* piece, int length);
    // True when the token was placed; else room is the width left on the line.
    bool placeWord(const wchar_t* token, int length, int drawLength, int* room);
    void putPiece(const wchar_t* piece, int length, int wordLength, int width, bool onNextLine);
    void nextLine();
    int lineUsed() const;
    int fitChars(const wchar_t* text, int length, int width) const;
    void drawWrappedRuns(const wchar_t* piece, int n);
    int drawWrappedPiece(int from, int to, int limit, uint8_t runStyle);
    bool fitsInLines(const wchar_t* text, int count, int lines) const;
    bool fitsWord(const wchar_t* token, int length, bool hardBreak, int* used, int* budget) const;
    int textWidth(const wchar_t* text, int length) const;
    int attributeDisplayCopy() const;
    int attributeRanges() const;
    int textRanges() const;
    uint8_t partStyle(uint8_t ignoredFlag) const;
    void deleteObjects();
};

// Alive from the main window's creation to its WM_DESTROY.
extern ItemPainter* itemPainter;

// Builds the painter with the left tree; false when it could not be made.
bool createItemPainter(HWND tree);
// Releases the painter (its colours go to the registry) and frees it.
void destroyItemPainter();

// The colour of the frames of unfocused items: the scroll bar's colour, unless that is
// the window's own.
COLORREF frameColour();

// The eleven user colours of the painter into a colour set, and back; applying
// rebuilds the painter's brushes and pens.
void captureColourTable(const ItemPainter& painter, ColourSet& colours = colourSet);
void applyColourTable(ItemPainter& painter, const ColourSet& colours = colourSet);
// The painter's default colours of the eleven slots, the painter left alone.
void defaultColourTable(ColourSet& colours);
