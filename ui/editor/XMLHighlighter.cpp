#include "ui/editor/XMLHighlighter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/TextDiffArea.h"
#include "model/XMLTreeItem.h"
#include "ui/CommandHandlers.h"
#include "ui/Layout.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorSync.h"

ColouringStats colouringStats;

namespace {

// Scanner states: the low four bits, and two flags.
constexpr uint8_t kScanMarkup = 0;
constexpr uint8_t kScanComment = 1;
constexpr uint8_t kScanInstruction = 2;
constexpr uint8_t kScanCData = 4;
constexpr uint8_t kScanReference = 8;
constexpr uint8_t kContentFlag = 0x10;
constexpr uint8_t kQuotedFlag = 0x20;

// lastChars holds one character, or two as 16-bit halves with the earlier one low.
constexpr int32_t pair(wchar_t first, wchar_t second) {
    return static_cast<int32_t>(first) | (static_cast<int32_t>(second) << 16);
}
constexpr int32_t kLessBang = pair(L'<', L'!');
constexpr int32_t kDashDash = pair(L'-', L'-');
constexpr int32_t kBracketBracket = pair(L']', L']');

// Differences stay in the editor's text until the next comparison.
constexpr uint8_t kStateNoPartner = 2;
constexpr uint8_t kStateChanged = 1;

void selectRange(HWND editor, int32_t start, int32_t end) {
    CHARRANGE range{start, end};
    SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    ++colouringStats.selectionCalls;
}

int32_t textLength(HWND editor) {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<int32_t>(SendMessageW(editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

}  // namespace

void XMLHighlighter::reset() {
    element = previousElement = nullptr;
    compareText = nullptr;
    compareIndex = compareLength = cdataSkip = 0;
    runCount = 0;
    rangeIndex = 0;
    lastMatch = -1;
    blockStart = 0;
    runStart = -1;
    state = previousState = savedState = diffState = comparePhase = inDifference = 0;
    lastChars = 0;
    wholeDepth = 0;
    entityHash = entityPacked = 0;
    inCharReference = false;
    inKeptReference = false;
    mixedElement = nullptr;
    mixedDepth = 0;
    mixedChildren = 0;
    resumePending = false;
    normalColours();
    format = CHARFORMAT2W{};
    format.cbSize = sizeof(format);
}

void XMLHighlighter::normalColours() {
    colours[kContent] = kContentColour;
    colours[kValue] = kValueColour;
    colours[kMarkup] = kMarkupColour;
    colours[kInstruction] = kInstructionColour;
    colours[kComment] = kCommentColour;
    colours[kReference] = kReferenceColour;
    colours[kCDataMarker] = kCDataMarkerColour;
    colours[kBackground] = kNoColour;
}

void XMLHighlighter::applyBaseFormat(bool autoBackground) {
    HWND editor = view == nullptr ? nullptr : view->editor;
    if (editor == nullptr) return;
    CHARFORMAT2W base{};
    base.cbSize = sizeof(base);
    base.dwMask = CFM_FACE | CFM_COLOR | CFM_BOLD | CFM_ITALIC;
    base.crTextColor = kMarkupColour;
    std::wcscpy(base.szFaceName, L"Courier New");
    if (autoBackground) {
        base.dwMask |= CFM_BACKCOLOR;
        base.dwEffects |= CFE_AUTOBACKCOLOR;
    }
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&base));
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&base));
    ++colouringStats.formatCalls;
}

void XMLHighlighter::applyRun(int32_t end, COLORREF colour, COLORREF background, bool bold, bool italic) {
    if (runStart == -1 || runStart >= end) return;
    const int32_t start = runStart;
    runStart = end;
    if (end <= window[0] || start >= window[1]) return;
    format.dwMask = 0;
    format.dwEffects = 0;
    if (colour != kNoColour) {
        format.dwMask |= CFM_COLOR;
        format.crTextColor = colour;
    }
    if (inDifference) {
        format.dwMask |= CFM_BACKCOLOR;
        if (background == kNoColour)
            format.dwEffects |= CFE_AUTOBACKCOLOR;
        else
            format.crBackColor = background;
        differencesShown = true;
    }
    if (bold) {
        format.dwMask |= CFM_BOLD;
        format.dwEffects |= CFE_BOLD;
    }
    if (italic) {
        format.dwMask |= CFM_ITALIC;
        format.dwEffects |= CFE_ITALIC;
    }
    if (format.dwMask == 0) return;
    selectRange(view->editor, start, end);
    SendMessageW(view->editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    ++colouringStats.formatCalls;
}

void XMLHighlighter::flushRun(int32_t p) {
    if ((state & kContentFlag) || (state & 0x0F) == kScanCData)
        applyRun(p, colours[kContent], colours[kBackground]);
    else if (state & kQuotedFlag)
        applyRun(p, colours[kValue], colours[kBackground], true);
    else if ((state & 0x0F) == kScanReference)
        // A difference that begins or ends inside a reference kept as written.
        applyRun(p, colours[kReference], colours[kBackground], true, true);
    else
        runStart = p;
}

void XMLHighlighter::flushPending() {
    switch (state & 0x0F) {
        case kScanComment:
            applyRun(blockStart, colours[kComment], kNoColour, false, true);
            break;
        case kScanInstruction:
            applyRun(blockStart, colours[kInstruction], kNoColour, true);
            break;
        case kScanCData:
            applyRun(blockStart, colours[kContent], colours[kBackground]);
            break;
        case kScanReference:
            applyRun(blockStart, colours[kReference], colours[kBackground], true, true);
            break;
        default:
            // Content or a value running past the window's end is coloured up to it.
            flushRun(blockStart);
            break;
    }
}

void XMLHighlighter::scan(const wchar_t* units, int count) {
    for (int i = 0; i < count; ++i) {
        const wchar_t c = units[i];
        const int32_t p = blockStart + i;
        const uint8_t low = state & 0x0F;
        const bool markup = low == kScanMarkup;
        const bool afterLess = markup && lastChars == L'<';
        switch (c) {
            case L'\n':
                // Text that ends its lines in CR LF counts the pair as one editor position.
                --blockStart;
                lastChars = 0;
                break;
            case L'!':
                lastChars = afterLess ? kLessBang : 0;
                break;
            case L'"':
                if (low != kScanMarkup || (state & kContentFlag)) {
                } else if (state & kQuotedFlag) {
                    applyRun(inDifference ? p + 1 : p, colours[kValue], colours[kBackground], true);
                    state &= ~kQuotedFlag;
                } else if (!inDifference) {
                    state |= kQuotedFlag;
                    runStart = p + 1;
                } else {
                    applyRun(p, colours[kMarkup], colours[kBackground]);
                    state |= kQuotedFlag;
                }
                break;
            case L'&':
                if (markup) {
                    savedState = state;
                    flushRun(p);
                    state = kScanReference;
                } else {
                    lastChars = 0;
                }
                break;
            case L'-':
                if (markup && lastChars == kLessBang)
                    state = kScanComment;
                else if (low == kScanComment)
                    lastChars = (lastChars & 0xFFFF) == L'-' ? kDashDash : L'-';
                else
                    lastChars = 0;
                break;
            case L'/':
                if (afterLess) leaveElement();
                // Inside a value ("http://a/") it is text: the '>' after the value ends no empty element.
                lastChars = (state & kQuotedFlag) ? 0 : L'/';
                break;
            case L';':
                if (low == kScanReference) {
                    applyRun(p + 1, colours[kReference], colours[kBackground], true, true);
                    state = savedState;
                } else {
                    lastChars = 0;
                }
                break;
            case L'<':
                if (markup) {
                    savedState = state;
                    flushRun(p);
                    state = kScanMarkup;
                    lastChars = L'<';
                } else {
                    lastChars = 0;
                }
                break;
            case L'>':
                if (lastChars == L'/' && markup) {
                    leaveElement();
                    state = kContentFlag;
                    runStart = p + 1;
                } else if (lastChars == L'?' && low == kScanInstruction) {
                    applyRun(p + 1, colours[kInstruction], kNoColour, true);
                    state = savedState;
                } else if (lastChars == kDashDash && low == kScanComment) {
                    applyRun(p + 1, colours[kComment], kNoColour, false, true);
                    state = savedState;
                } else if (lastChars == kBracketBracket && low == kScanCData) {
                    applyRun(p - 2, colours[kContent], colours[kBackground]);
                    runStart += 3;
                    state = savedState;
                } else if (markup) {
                    state = kContentFlag;
                    runStart = p + 1;
                }
                break;
            case L'?':
                if (afterLess)
                    state = kScanInstruction;
                else
                    lastChars = low == kScanInstruction ? L'?' : 0;
                break;
            case L'[':
                if (markup && lastChars == kLessBang) {
                    runStart += 3;
                    applyRun(runStart + 5, colours[kCDataMarker], colours[kBackground], true);
                    runStart += 1;
                    state = kScanCData;
                } else {
                    lastChars = 0;
                }
                break;
            case L']':
                if (low == kScanCData)
                    lastChars = (lastChars & 0xFFFF) == L']' ? kBracketBracket : L']';
                else
                    lastChars = 0;
                break;
            default:
                if (afterLess) enterElement();
                lastChars = 0;
                break;
        }
        if (diffState == kStateChanged) markDifferenceChar(i, c);
        if (resumePending && (state & kContentFlag)) resumeMixedText();
        previousState = state;
    }
    blockStart += count;
}

void XMLHighlighter::enterElement() {
    if (mixedElement != nullptr) ++mixedDepth;
    resumePending = false;
    if (inDifference && diffState != kStateNoPartner) normalColours();
    inDifference = 0;
    if (previousElement != nullptr && element != nullptr)
        element = element->next();
    else if (element == nullptr)
        element = rootElement(*view);
    if (element != nullptr && element->isSummary()) element = nullptr;
    previousElement = element;
    comparePhase = 0;
    compareText = nullptr;
    if (element == nullptr) {
        diffState = 0;
        return;
    }
    diffState = filesCompared ? static_cast<uint8_t>(element->differenceState()) : 0;
    if (diffState == kStateNoPartner) {
        if (wholeDepth++ == 0) markWholeElement();
        for (Colour c : {kContent, kValue, kMarkup, kReference, kCDataMarker})
            colours[c] = kNoColour;
        colours[kBackground] = kDifferenceBackground;
        inDifference = 1;
        return;
    }
    if (diffState == kStateChanged) {
        const bool attributes = element->attributesDiffer();
        if (mixedElement == nullptr && element->textDiffers() && (element->flags & kTextIgnoredFlag) == 0 &&
            containsChildMark(element->text, element->textLength)) {
            mixedElement = element;
            mixedDepth = 0;
            mixedChildren = 0;
        }
        if (attributes || element->textDiffers()) {
            compareText = element->nameText();
            compareIndex = 0;
            compareLength = static_cast<uint32_t>(std::wcslen(compareText));
            comparePhase = compareLength != 0 ? 1 : 0;
            lastMatch = -1;
            runCount = 0;
            rangeIndex = 0;
            editorDiffArea.prepare(element, attributes);
        } else {
            diffState = 0;
        }
    }
    normalColours();
    wholeDepth = 0;
}

void XMLHighlighter::leaveElement() {
    if (mixedElement != nullptr) {
        if (mixedDepth == 0) {
            mixedElement = nullptr;
        } else if (--mixedDepth == 0) {
            ++mixedChildren;
            resumePending = true;
        }
    }
    if (wholeDepth > 0 && diffState == kStateNoPartner) {
        if (--wholeDepth == 0) {
            inDifference = 0;
            normalColours();
        }
    }
    if (element != nullptr) previousElement = element->parent();
}

void XMLHighlighter::resumeMixedText() {
    resumePending = false;
    XMLTreeItem* const mixed = mixedElement;
    if (mixed == nullptr) return;
    // After the mark of the child that closed; past the last mark the children follow the text.
    const wchar_t* const text = mixed->text;
    const uint32_t length = mixed->textLength;
    uint32_t at = 0;
    for (uint32_t marks = 0; marks < mixedChildren; ++at) {
        if (at >= length) return;
        if (isChildMark(at == 0 ? 0 : text[at - 1], text[at])) ++marks;
    }
    if (inDifference) endDifference();
    diffState = kStateChanged;
    editorDiffArea.prepare(mixed, false);
    const uint32_t ranges =
        editorDiffArea.paired ? editorDiffArea.first.markTextDifferences(&editorDiffArea.second) : 0;
    rangeIndex = 0;
    while (rangeIndex < ranges &&
           static_cast<uint32_t>(editorDiffArea.rangeStarts[rangeIndex]) + editorDiffArea.rangeLengths[rangeIndex] <=
               at)
        ++rangeIndex;
    runCount = static_cast<int32_t>(ranges - rangeIndex);
    compareText = text;
    compareLength = length;
    compareIndex = at;
    comparePhase = 3;
    cdataSkip = 0;
    lastMatch = -1;
}

void XMLHighlighter::markWholeElement() {
    int32_t start = 0;
    int32_t end = 0;
    if (!elementRange(*view, element, &start, &end) || start >= end) return;
    CHARFORMAT2W whole{};
    whole.cbSize = sizeof(whole);
    whole.dwMask = CFM_COLOR | CFM_BACKCOLOR;
    whole.crTextColor = kDifferenceColour;
    whole.crBackColor = kDifferenceBackground;
    selectRange(view->editor, start, end);
    SendMessageW(view->editor, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&whole));
    ++colouringStats.formatCalls;
    differencesShown = true;
}

void XMLHighlighter::beginDifference() {
    for (Colour c : {kContent, kValue, kMarkup, kReference, kCDataMarker})
        colours[c] = kDifferenceColour;
    colours[kBackground] = kDifferenceBackground;
    inDifference = 1;
}

void XMLHighlighter::endDifference() {
    normalColours();
    inDifference = 0;
}

void XMLHighlighter::markDifferenceChar(int i, wchar_t c) {
    const int32_t p = blockStart + i;
    if (matchChar(p, c)) lastMatch = p;
    if (runCount <= 0 || lastMatch == -1 || rangeIndex >= kMaxDiffRanges) return;
    const uint32_t start = editorDiffArea.rangeStarts[rangeIndex];
    if (!inDifference && compareIndex >= start) {
        flushRun(lastMatch + (start != 0 ? 1 : 0));
        beginDifference();
    }
    if (inDifference && compareIndex >= start + editorDiffArea.rangeLengths[rangeIndex]) {
        flushRun(p + 1);
        ++rangeIndex;
        --runCount;
        endDifference();
    }
}

bool XMLHighlighter::matchChar(int32_t, wchar_t c) {
    if (element == nullptr || comparePhase == 0 || compareText == nullptr) return false;
    // An entity's replacement length may carry the index past the end: reached means at or past.
    if (compareIndex >= compareLength) {
        nextComparePhase();
        return false;
    }
    if (!entityStep(c)) return false;
    // A child's mark stands for markup the editor shows as it is: the text goes on after it.
    while (compareIndex < compareLength &&
           isChildMark(compareIndex > 0 ? compareText[compareIndex - 1] : 0, compareText[compareIndex]))
        ++compareIndex;
    if (compareIndex < compareLength && (c == compareText[compareIndex] || (c == L'&' && inKeptReference))) {
        ++compareIndex;
        return true;
    }
    skipUnmatched(c);
    return false;
}

bool XMLHighlighter::entityStep(wchar_t c) {
    switch ((previousState | state) & 0x0F) {
        case kScanCData:
            if (cdataSkip < 7) {
                ++cdataSkip;
                return false;
            }
            return true;
        case kScanReference:
            if (c == L'&') {
                entityHash = entityPacked = 0;
                inCharReference = false;
                // A reference kept as written stands in the stored text as the editor has it,
                // its "&" as the mark: it is matched unit by unit, so that a difference inside
                // its name is marked as one anywhere else is.
                inKeptReference = compareIndex < compareLength &&
                                  isKeptReferenceMark(compareIndex > 0 ? compareText[compareIndex - 1] : 0,
                                                      compareText[compareIndex]);
                return inKeptReference;
            }
            if (inKeptReference) {
                if (c == L';') inKeptReference = false;
                return true;
            }
            if (c == L'#') {
                inCharReference = true;
            } else if (c == L';') {
                compareIndex += inCharReference
                                    ? 1u
                                    : static_cast<uint32_t>(std::max(
                                          0, EntityTable::lookup(view->entityTable.get(),
                                                                 static_cast<int32_t>(entityHash), entityPacked)));
            } else {
                // Keys wrap as unsigned 32-bit values, like the table's own.
                entityHash = entityHash * 37u + static_cast<uint32_t>(c);
                entityPacked = (entityPacked << 8) | static_cast<uint32_t>(c);
            }
            return false;
        case kScanComment:
        case kScanInstruction:
            return false;
        default:
            return (lastChars & 0xFF) != L'<';
    }
}

void XMLHighlighter::skipUnmatched(wchar_t c) {
    if (comparePhase == 2 && c == L'"' && compareIndex < compareLength &&
        (compareText[compareIndex] == kAttributeOpenQuote || compareText[compareIndex] == kAttributeCloseQuote))
        ++compareIndex;
}

void XMLHighlighter::nextComparePhase() {
    lastMatch = -1;
    rangeIndex = 0;
    runCount = 0;
    if (inDifference) endDifference();
    const uint8_t phase = comparePhase;
    compareIndex = 0;
    if (phase == 1) {
        compareText = element->attributes;
        compareLength = compareText == nullptr ? 0 : element->attributesLength;
        if (compareLength != 0) {
            comparePhase = 2;
            runCount = editorDiffArea.paired
                           ? static_cast<int32_t>(editorDiffArea.first.markAttributeDifferences(&editorDiffArea.second))
                           : 0;
            return;
        }
    }
    if (phase == 1 || phase == 2) {
        compareText = element->text;
        compareLength = compareText == nullptr ? 0 : element->textLength;
        if (compareLength != 0) {
            comparePhase = 3;
            runCount = editorDiffArea.paired
                           ? static_cast<int32_t>(editorDiffArea.first.markTextDifferences(&editorDiffArea.second))
                           : 0;
            cdataSkip = 0;
            return;
        }
    }
    comparePhase = 0;
    compareText = nullptr;
    compareLength = 0;
}

LPARAM beginEditorUpdate(XMLTreeView& panel) {
    panel.highlighter.redrawHeld = (GetWindowLongPtrW(panel.editor, GWL_STYLE) & WS_VISIBLE) != 0;
    if (panel.highlighter.redrawHeld) SendMessageW(panel.editor, WM_SETREDRAW, FALSE, 0);
    return SendMessageW(panel.editor, EM_SETEVENTMASK, 0, 0);
}

void endEditorUpdate(XMLTreeView& panel, LPARAM oldMask) {
    if (panel.highlighter.redrawHeld) {
        SendMessageW(panel.editor, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(panel.editor, nullptr, TRUE);
    }
    panel.highlighter.redrawHeld = false;
    SendMessageW(panel.editor, EM_SETEVENTMASK, 0, oldMask);
    if (!panel.editorModified) SendMessageW(panel.editor, EM_SETMODIFY, FALSE, 0);
}

void colourVisibleLines(XMLTreeView& panel, XMLTreeItem* element) {
    HWND editor = panel.editor;
    XMLHighlighter& h = panel.highlighter;
    if (editor == nullptr || !panel.loaded) return;
    if (element != nullptr && element == panel.editorElement) return;
    if (h.colouringState != kColouringWanted) return;
    h.reset();
    h.colouringState = kJustLoaded;
    ensureLineIndex(panel);
    if (element != nullptr) {
        // Also when first shown: the editor stands at the element it is shown for.
        scrollEditorToElement(panel, element);
        panel.editorElement = element;
    }

    const int lines = static_cast<int>(SendMessageW(editor, EM_GETLINECOUNT, 0, 0));
    panel.colourCache.grow(lines);
    const int first = static_cast<int>(SendMessageW(editor, EM_GETFIRSTVISIBLELINE, 0, 0));
    int last = lines - 1;
    int base;
    if (last - first > kPassLines) {
        last = first + kPassLines;
        base = first;
    } else {
        base = last > kPassLines ? last - kPassLines : first;
    }
    const int startLine = base < 1 ? 0 : base - 1;

    XMLTreeItem* start = nullptr;
    if (!panel.lineIndex.entries.empty() && static_cast<uint32_t>(startLine) < panel.lineIndex.lineCount) {
        start = panel.lineIndex.entry(startLine);
        // The index keeps the last element of a line; the pass starts at the line's first.
        for (XMLTreeItem* before = start == nullptr ? nullptr : start->previous();
             before != nullptr && elementLine(panel, before) == elementLine(panel, start); before = before->previous())
            start = before;
    }
    const int32_t length = textLength(editor);
    int32_t wantedStart = 0;
    int32_t ignoredEnd = 0;
    if (start != nullptr && !elementRange(panel, start, &wantedStart, &ignoredEnd)) start = nullptr;
    if (start == nullptr) wantedStart = 0;
    const int32_t lastIndex = static_cast<int32_t>(SendMessageW(editor, EM_LINEINDEX, std::max(last, 0), 0));
    int32_t wantedEnd = lastIndex + static_cast<int32_t>(SendMessageW(editor, EM_LINELENGTH, lastIndex, 0));
    wantedEnd = std::clamp(std::min(wantedEnd, wantedStart + kPassCharacters), wantedStart, length);

    int32_t os = -1;
    int32_t oe = -1;
    const int cacheStartLine = start != nullptr ? elementLine(panel, start) : 0;
    if (wantedStart >= wantedEnd || !panel.colourCache.clip(cacheStartLine, last, wantedStart, wantedEnd, &os, &oe)) {
        h.colouringState = kColouringWanted;
        return;
    }
    ++colouringStats.passes;
    if (os < oe && oe <= wantedEnd && os >= wantedStart) {
        h.window[0] = os;
        h.window[1] = oe;
    } else {
        h.window[0] = wantedStart;
        h.window[1] = wantedEnd;
    }
    h.blockStart = wantedStart;
    h.element = start;

    CHARRANGE selection{};
    SendMessageW(editor, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const POINT scroll = editorScrollPosition(editor);
    const LPARAM mask = beginEditorUpdate(panel);

    // The range is read as it stands in the editor, a line break one position. Wine's
    // stream-out of a selection takes minutes on lines of 100,000 characters.
    std::vector<wchar_t> units(static_cast<size_t>(wantedEnd - wantedStart) + 1, 0);
    TEXTRANGEW range{{wantedStart, wantedEnd}, units.data()};
    const int count = static_cast<int>(SendMessageW(editor, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range)));
    h.scan(units.data(), std::clamp(count, 0, wantedEnd - wantedStart));
    h.flushPending();

    // Both scroll positions and the user's selection stay as they were.
    SendMessageW(editor, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    ++colouringStats.selectionCalls;
    setEditorScrollPosition(editor, scroll);
    endEditorUpdate(panel, mask);
    h.colouringState = kColoured;
}

void invalidateColouring() {
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        panel->colourCache.reset();
        if (panel->editor == nullptr) continue;
        if (panel->highlighter.differencesShown) {
            const LPARAM mask = beginEditorUpdate(*panel);
            panel->highlighter.applyBaseFormat(true);
            endEditorUpdate(*panel, mask);
            panel->highlighter.differencesShown = false;
        }
        if (panel == currentEditorPanel && (GetWindowLongPtrW(panel->editor, GWL_STYLE) & WS_VISIBLE)) {
            panel->highlighter.colouringState = kColouringWanted;
            PostMessageW(contentPane.window, kColourLinesMessage, 0, reinterpret_cast<LPARAM>(panel->editor));
        }
    }
}
