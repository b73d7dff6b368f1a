// The colouring of a panel's editor by XML syntax and, after a comparison, by
// difference: the visible lines are streamed out of the editor, scanned by a small
// tokenizer that walks the panel's element records in step with the tags it meets,
// and coloured in runs (EM_SETCHARFORMAT on a selection).
#pragma once

#include <windows.h>

#include <richedit.h>

#include <cstdint>

struct XMLTreeItem;
struct XMLTreeView;

// Colours (0x00BBGGRR) of the syntax and of differences.
constexpr COLORREF kMarkupColour = 0x7F2000;
constexpr COLORREF kValueColour = 0x000020;
constexpr COLORREF kContentColour = 0x000000;
constexpr COLORREF kCommentColour = 0x424242;
constexpr COLORREF kInstructionColour = 0x632000;
constexpr COLORREF kReferenceColour = 0x207F20;
constexpr COLORREF kCDataMarkerColour = 0x424220;
constexpr COLORREF kDifferenceColour = 0x000063;
constexpr COLORREF kDifferenceBackground = 0xCFCFFF;
constexpr COLORREF kNoColour = static_cast<COLORREF>(-1);

// colouringState of a panel's editor.
constexpr uint8_t kJustLoaded = 0;
constexpr uint8_t kColoured = 1;
constexpr uint8_t kInputSeen = 2;
constexpr uint8_t kColouringWanted = 3;

// A pass touches at most this many lines below the first visible one and this many characters.
constexpr int kPassLines = 32;
constexpr int32_t kPassCharacters = 6400;

// Counters of the editor messages that cost most under Wine (each EM_SETCHARFORMAT
// re-wraps its line, each position message walks the lines from the start).
struct ColouringStats {
    int64_t passes = 0;
    int64_t formatCalls = 0;
    int64_t selectionCalls = 0;
};
extern ColouringStats colouringStats;

struct XMLHighlighter {
    enum Colour { kContent, kValue, kMarkup, kInstruction, kComment, kReference, kCDataMarker, kBackground };

    XMLTreeView* view = nullptr;
    XMLTreeItem* element = nullptr;          // not owned: the panel's record whose start tag was met last
    XMLTreeItem* previousElement = nullptr;  // set: the next start tag steps element forward
    const wchar_t* compareText = nullptr;    // in the panel's arena
    uint32_t compareIndex = 0;
    uint32_t compareLength = 0;
    uint32_t cdataSkip = 0;
    int32_t runCount = 0;
    uint32_t rangeIndex = 0;
    int32_t lastMatch = -1;  // editor position of the last raw character that matched
    int32_t blockStart = 0;
    int32_t runStart = -1;
    uint8_t state = 0;
    uint8_t previousState = 0;
    uint8_t savedState = 0;
    uint8_t diffState = 0;
    uint8_t comparePhase = 0;
    uint8_t colouringState = kJustLoaded;
    uint8_t inDifference = 0;
    int32_t lastChars = 0;
    int32_t wholeDepth = 0;
    COLORREF colours[8] = {};
    int32_t window[2] = {};
    CHARFORMAT2W format{};
    uint32_t entityHash = 0;
    uint32_t entityPacked = 0;
    bool inCharReference = false;
    // The reference being read is one the element's text keeps as written (its DTD left out).
    bool inKeptReference = false;
    // The editor's text holds difference colours that a new comparison must take away.
    bool differencesShown = false;
    // The changed element whose text holds children's marks, while the pass is inside it: the
    // comparison of its text goes on after each child, from the child's mark.
    XMLTreeItem* mixedElement = nullptr;  // not owned
    int32_t mixedDepth = 0;               // open elements below it
    uint32_t mixedChildren = 0;           // its children closed so far
    bool resumePending = false;           // a child has closed: the text goes on after its end tag
    // beginEditorUpdate turned the editor's redraw off: only a shown editor's is, since
    // turning it on again gives a hidden window WS_VISIBLE and puts it over the shown one.
    bool redrawHeld = false;

    // Back to the state of a new pass (colouringState is left alone).
    void reset();
    void normalColours();
    void scan(const wchar_t* units, int count);
    void flushPending();
    void applyRun(int32_t end, COLORREF colour, COLORREF background, bool bold = false, bool italic = false);
    void flushRun(int32_t p);
    void enterElement();
    void leaveElement();
    void resumeMixedText();
    void markWholeElement();
    void markDifferenceChar(int i, wchar_t c);
    bool matchChar(int32_t p, wchar_t c);
    bool entityStep(wchar_t c);
    void skipUnmatched(wchar_t c);
    void nextComparePhase();
    void beginDifference();
    void endDifference();
    // Face "Courier New", the markup colour, no bold or italic over the whole text;
    // with autoBackground also the automatic background.
    void applyBaseFormat(bool autoBackground = false);
};

// One colouring pass over the visible lines of the panel's editor (only while its
// colouringState is kColouringWanted); with an element, the editor first stands at it.
void colourVisibleLines(XMLTreeView& panel, XMLTreeItem* element);
// Both editors forget what was coloured: after every comparison, and after a load that
// ends the comparison. Difference colours go at once; the shown editor is coloured again.
void invalidateColouring();
// Redraw and notifications off while the program changes the editor; the old event mask.
LPARAM beginEditorUpdate(XMLTreeView& panel);
// Redraw and the mask back; formatting never counts as an edit.
void endEditorUpdate(XMLTreeView& panel, LPARAM oldMask);
