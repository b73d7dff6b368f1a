// The record of one XML element. It is the data (lParam) of the element's item
// in its panel's tree view; parent, child and sibling links are the tree's, and
// every walk goes through the element store.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <xercesc/sax2/Attributes.hpp>

class HashItem;
struct XMLTreeView;

// The attribute text's quote marks: characters no XML document can contain, shown
// and written as double quotes.
constexpr wchar_t kAttributeOpenQuote = 0xFFFE;
constexpr wchar_t kAttributeCloseQuote = 0xFFFF;
// The "&" of an entity reference kept as written because the DTD that declares the entity
// was not read: a low surrogate. A document's own text holds one only as the second half
// of a character beyond U+FFFF (the parser refuses a lone one), so the mark is the unit
// that does not follow a high surrogate (isKeptReferenceMark). Shown as "&" and written as
// "&" unescaped, so that the reference reads and saves as the document has it.
constexpr wchar_t kKeptReferenceMark = 0xDFFF;
constexpr wchar_t displayQuote(wchar_t c) {
    // The attribute text's quote marks alone: a kept reference's mark is known only with
    // the unit before it (shownUnit).
    return (c == kAttributeOpenQuote || c == kAttributeCloseQuote) ? L'"' : c;
}

// The one rule by which every reader of a record's texts (the painter, the clipboard, Find,
// the element window, the writers, the ignore conditions) tells a kept reference's "&" from
// the document's own characters: the unit is the mark and does not end a character beyond
// U+FFFF (the mark may be a low surrogate, which a document holds only as the second half
// of such a character). before is the unit before c in the same text, 0 at its start.
constexpr bool isKeptReferenceMark(wchar_t before, wchar_t c) {
    return c == kKeptReferenceMark && !(c >= 0xDC00 && c <= 0xDFFF && before >= 0xD800 && before <= 0xDBFF);
}

// A unit of a record's text as the tree shows it and the clipboard and Find take it: the
// attribute text's quote marks as double quotes, a kept reference's mark as its "&".
constexpr wchar_t shownUnit(wchar_t before, wchar_t c) {
    return isKeptReferenceMark(before, c) ? L'&' : displayQuote(c);
}

// Whether count units of text hold a kept reference's mark; before as above, for a piece
// that starts inside a text.
inline bool containsKeptReference(const wchar_t* text, size_t count, wchar_t before = 0) {
    for (size_t i = 0; i < count; before = text[i++]) {
        if (isKeptReferenceMark(before, text[i])) return true;
    }
    return false;
}

// Where a text may be cut when more than limit units of it cannot be kept: the longest
// start of at most limit units that ends neither inside a character beyond U+FFFF nor inside
// a kept reference (the mark, the name and ";" go together or not at all).
inline uint32_t textCutBefore(const wchar_t* text, uint32_t limit) {
    uint32_t cut = limit;
    if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
    // A name holds no ";" and no white space: either ends the look back.
    for (uint32_t i = cut; i > 0; --i) {
        const wchar_t c = text[i - 1];
        if (c == L';' || c <= 0x20) break;
        if (isKeptReferenceMark(i >= 2 ? text[i - 2] : 0, c)) return i - 1;
    }
    return cut;
}

// Count units of text as shown into out, unit for unit: the shown text is as long as the
// stored one, so positions and highlight ranges hold in both.
inline void copyShownUnits(const wchar_t* text, size_t count, wchar_t* out, wchar_t before = 0) {
    for (size_t i = 0; i < count; before = text[i++])
        out[i] = shownUnit(before, text[i]);
}

// Where a child element stood between two runs of an element's text: a low surrogate
// again, told apart from the document's own characters by the kept reference's rule (a
// text holds a low surrogate only right after a high one). Only an element with a run of
// text after a child holds marks: the k-th mark is the place of its k-th child, and the
// children after the last mark follow the whole text, as in every element without marks.
// Beside a mark stands one blank where white space stood in the document, at most one on
// each side; the runs themselves are trimmed, so every blank next to a mark is such a one.
constexpr wchar_t kChildMark = 0xDFFE;
constexpr bool isChildMark(wchar_t before, wchar_t c) {
    return c == kChildMark && !(before >= 0xD800 && before <= 0xDBFF);
}

inline bool containsChildMark(const wchar_t* text, size_t count) {
    if (text == nullptr) return false;
    for (size_t i = 0; i < count; ++i) {
        const wchar_t* at = std::wmemchr(text + i, kChildMark, count - i);
        if (at == nullptr) return false;
        i = static_cast<size_t>(at - text);
        if (isChildMark(i == 0 ? 0 : text[i - 1], text[i])) return true;
    }
    return false;
}

// Whether the unit at i is a blank beside a child mark: right after a mark (inPlace: a
// mark or such a blank came just before) or right before one.
inline bool isPlaceBlank(const wchar_t* text, size_t count, size_t i, bool inPlace) {
    return text[i] == L' ' && (inPlace || (i + 1 < count && isChildMark(text[i], text[i + 1])));
}

// The one reader of the marks for what the row shows: hidden[i] is set for each unit the
// row leaves out, so that the row reads as the runs joined: the marks, and the blanks
// beside them but one blank between two runs (none before the first run).
inline void findHiddenUnits(const wchar_t* text, size_t count, bool* hidden) {
    bool runBefore = false;   // a unit of a run is shown before
    bool inPlace = false;     // after a mark, or on the blank before one
    bool blankShown = false;  // the blank that joins two runs is shown in this place
    for (size_t i = 0; i < count; ++i) {
        const wchar_t before = i == 0 ? 0 : text[i - 1];
        if (isChildMark(before, text[i])) {
            hidden[i] = true;
            inPlace = true;
        } else if (isPlaceBlank(text, count, i, inPlace)) {
            hidden[i] = !runBefore || blankShown;
            blankShown = true;
            inPlace = true;
        } else {
            hidden[i] = false;
            runBefore = true;
            inPlace = false;
            blankShown = false;
        }
    }
}

// Calls visit(at, rowUnits, rowWords) for each child mark of the text, in order: at is the
// mark's index, rowUnits the units of the row before the white space the mark stands in,
// rowWords those of them that are not white space. The places of two texts compare by these.
template <typename Visit>
void forEachChildPlace(const wchar_t* text, size_t count, Visit visit) {
    if (!containsChildMark(text, count)) return;
    std::unique_ptr<bool[]> hidden(new bool[count]);
    findHiddenUnits(text, count, hidden.get());
    size_t shown = 0;
    size_t shownWords = 0;
    size_t placeStart = 0;
    size_t placeStartWords = 0;
    bool inPlace = false;
    for (size_t i = 0; i < count; ++i) {
        const bool mark = isChildMark(i == 0 ? 0 : text[i - 1], text[i]);
        const bool placeBlank = !mark && isPlaceBlank(text, count, i, inPlace);
        if (!mark && !placeBlank) {
            inPlace = false;
            ++shown;
            const wchar_t c = text[i];
            if (!(c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D)) ++shownWords;
            continue;
        }
        if (!inPlace) {
            placeStart = shown;
            placeStartWords = shownWords;
            inPlace = true;
        }
        if (!hidden[i]) ++shown;
        if (mark) visit(i, placeStart, placeStartWords);
    }
}

// The text as the row reads it, the units the row leaves out taken away; kept references'
// marks stay (the hashes and the ignore conditions read them as they always have).
inline std::wstring rowText(const wchar_t* text, size_t count) {
    if (!containsChildMark(text, count)) return std::wstring(text == nullptr ? L"" : text, text == nullptr ? 0 : count);
    std::wstring row;
    row.reserve(count);
    std::unique_ptr<bool[]> hidden(new bool[count]);
    findHiddenUnits(text, count, hidden.get());
    for (size_t i = 0; i < count; ++i) {
        if (!hidden[i]) row += text[i];
    }
    return row;
}

// The text as the tree shows it, for the clipboard and Find: the row's units, shown.
inline std::wstring shownText(const wchar_t* text, size_t count) {
    if (containsChildMark(text, count)) {
        const std::wstring row = rowText(text, count);
        std::wstring shown(row.size(), L'\0');
        if (!row.empty()) copyShownUnits(row.data(), row.size(), &shown[0]);
        return shown;
    }
    std::wstring shown(count, L'\0');
    copyShownUnits(text, count, &shown[0]);
    return shown;
}

// XMLTreeItem::flags: what the element's ignore rule takes out, and the mark of an
// element that has one of the common ignored attributes.
constexpr uint8_t kTextIgnoredFlag = 0x01;
constexpr uint8_t kAttributesIgnoredFlag = 0x02;
constexpr uint8_t kNamedAttributesIgnoredFlag = 0x04;
constexpr uint8_t kCommonAttributeFlag = 0x10;

constexpr uint32_t kMaxTextUnits = 65535;
constexpr uint32_t kAttributeBufferUnits = 131072;
constexpr int kPathTextUnits = 2048;

struct XMLTreeItem {
    HashItem* name;
    int32_t pathHash;
    uint64_t attributeHash[4];
    uint64_t textHash[4];
    uint64_t subtreeTextSignature;
    uint64_t subtreeAttributeSignature;
    uint64_t structureSignature;
    int32_t subtreeTextWeight;
    int32_t subtreeAttributeWeight;
    int32_t line;
    uint32_t childCount;
    uint32_t descendantCount;
    uint32_t childNameCount;
    int32_t* childNameIds;     // in the panel's TextArena
    int32_t* childNameCounts;  // in the panel's TextArena
    wchar_t* attributes;       // in the panel's TextArena
    wchar_t* text;             // in the panel's TextArena
    HTREEITEM treeItem;
    XMLTreeItem* partner;
    uint64_t* keyAttributeHash;  // owned: four per-mode values
    int32_t keySum;
    HWND treeView;
    uint16_t textWeight;
    uint16_t textLength;
    uint16_t attributeWeight;
    uint16_t attributesLength;
    uint16_t column;
    uint16_t lineSpan;
    uint16_t endColumn;
    uint8_t ignoreState;
    uint8_t differenceFlags;
    uint8_t flags;
    uint8_t attributeLines;
    uint8_t textLines;
    uint8_t itemLines;

    // Interns nameText (or uses nameEntry when nameText is null); pathHash from the parent's.
    XMLTreeItem(const wchar_t* nameText, HashItem* nameEntry, HWND tree, int32_t parentPathHash, int lineNumber,
                int columnNumber);
    // A zero-filled record (the scratch record of loading).
    XMLTreeItem();
    ~XMLTreeItem();
    XMLTreeItem(const XMLTreeItem&) = delete;
    XMLTreeItem& operator=(const XMLTreeItem&) = delete;
    // Records come from a pool of blocks carved from large chunks: a load makes them by
    // the hundred thousand, and one heap allocation each costs about a microsecond under Wine.
    static void* operator new(size_t size);
    static void operator delete(void* block);

    static XMLTreeItem* fromHandle(HWND tree, HTREEITEM item);

    int32_t nameId() const;
    const wchar_t* nameText() const;
    bool isSummary() const;

    // With blankFirst, one blank joins the characters to the text the record has already
    // (none when it has none yet). What passes kMaxTextUnits is cut off (textCutBefore);
    // returns false when anything was.
    bool appendText(const wchar_t* characters, uint32_t count, XMLTreeView* panel, bool blankFirst = false);
    // The attribute text holds whole attributes only, at most keepUnits units (and never
    // more than kMaxTextUnits): an attribute that does not fit is left out of the text and
    // of the hashes alike, so that the comparison sees what the tree shows and a saved tag
    // is whole. Its place in list goes to lost, when given.
    void setAttributes(const xercesc::Attributes& list,
                       XMLTreeView* panel,
                       uint32_t keepUnits = kMaxTextUnits,
                       std::vector<XMLSize_t>* lost = nullptr);
    void addAttribute(uint32_t nameHash, const wchar_t* attributeName, const wchar_t* value);
    void finish(int endLine, int endColumnNumber);
    // Calls visit(name, name length, value, value length) with each attribute of the
    // attribute text in order, until it answers false; false then.
    template <typename Visit>
    bool forEachAttribute(Visit visit) const;

    // Tests of the comparison, in the mode and with the switches of compareSettings.
    // Bucket key of the child matcher's indexes.
    uint32_t contentHash() const;
    // The key value of a key child.
    uint32_t keyValueHash() const;
    bool keyAttributeEquals(const XMLTreeItem& other) const;
    // Attributes and text of the element and its subtree.
    bool attributesEqual(const XMLTreeItem& other) const;
    bool textEqual(const XMLTreeItem& other) const;
    // The own attributes or text against the partner's; false without a partner.
    bool attributesDiffer() const;
    bool textDiffers() const;
    // The same name and own content; children are not considered.
    bool sameOwnContent(const XMLTreeItem* other) const;

    // The element's name, or with full its path from the top-level element ("a>b>c");
    // with a suffix, "|" and the suffix. At most kPathTextUnits units. copy 0 gives a
    // shared buffer that the next call overwrites; copy 1 a new[] text the caller frees.
    const wchar_t* pathText(int full, const wchar_t* suffix, int copy) const;

    const wchar_t* positionText() const;
    static const wchar_t* displayText(int code);
    int computeItemLines();
    // Whether the name, the attribute text or the text holds search; with wholeWord only
    // as a whole word (isWordUnit).
    bool contains(const wchar_t* search, int caseFlag, bool wholeWord = false) const;
    void cloneFrom(const XMLTreeItem& source, XMLTreeView* receivingPanel);
    void copyContentFrom(const XMLTreeItem& other, XMLTreeView* panel);
    void addChildName(int32_t id, XMLTreeView* panel);
    int assignChildSlots(XMLTreeItem** children, XMLTreeItem*** slots) const;
    void editorRange(XMLTreeView* panel, int* start, int* end) const;

    // Inserts the record's item under parent (the root level without one), after insertAfter.
    static XMLTreeItem* insertTreeItem(XMLTreeItem* record, XMLTreeItem* parent, HWND tree,
                                       HTREEITEM insertAfter);

    // Walks and subtree operations (model/DifferenceNavigator.cpp, model/TreeOperations.cpp).
    XMLTreeItem* next() const;
    XMLTreeItem* previous() const;
    XMLTreeItem* parent() const;
    void expandSubtree(UINT code);
    void setItemHeight(int lines);
    void updateItemHeights();
    void updatePathHash();
    int renameChildName(int32_t oldId, int32_t newId);
    void mergeFromPartner();
    void clearIgnoreMarks();
    // Frees the records of the element and its descendants; their tree items stay, without records.
    static void deleteSubtree(XMLTreeItem* element);
    // Frees the subtree's records and deletes its items; this record is gone afterwards.
    int removeFromTree();
    void copyChildrenFrom(const XMLTreeItem& source);
    // Frees this subtree's records and puts a copy of source's subtree in its place.
    XMLTreeItem* replaceWith(const XMLTreeItem& source);
    int insertCopyAfter(const XMLTreeItem& source);

    // Comparison: preparation, pairing and the difference state (model/Comparison.cpp, model/ChildMatcher.cpp).
    // Text or attributes that an ignore rule takes out read as 0 in the comparison mode; the
    // record keeps the hashes of loading, so that a later comparison without the rule sees them.
    uint64_t comparedTextHash() const;
    uint32_t comparedTextWeight() const;
    uint64_t comparedAttributeHash() const;
    uint32_t comparedAttributeWeight() const;
    uint8_t prepareSubtree(uint8_t parentState);
    void compareWith(XMLTreeItem* other);
    int equals(const XMLTreeItem* other) const;
    int differenceState() const;
    int iconIndex(int notCompared) const;
    int groupChildren(XMLTreeItem** children, XMLTreeItem*** groupStart) const;

    // The views after a comparison (ui/CompareCommand.cpp): removes the elements that
    // differ (keepSimilar 1) or that are the same (0), each with its partner; top stays.
    void filterView(int keepSimilar, int top);
    // Expands the parents of every element that differs; selects the tree's first item.
    void expandDifferences();

    // XML output (settings/XmlWriter.cpp, settings/ReportWriter.cpp): mode is the save
    // command's number, below 0 only for the selected element, insideEntire 1 below an
    // element of the entire-element list.
    void writeStartTag(HANDLE file) const;
    void writeTagBody(HANDLE file) const;
    // inLine: the element stands in its parent's text (a child mark's place), where a line
    // break after it would be white space that its document does not have there.
    void writeEndTag(HANDLE file, bool inLine = false) const;
    void saveSubtree(HANDLE file, bool inLine = false) const;
    // whole 1: the element and its children as elements of their own; 0: paired with its
    // partner, whose extra children come before the end tag.
    void saveInMode(HANDLE file, int whole, int mode, int below, int insideEntire, bool inLine = false) const;
    void savePair(HANDLE file, int mode, int below, int insideEntire, bool inLine = false) const;
    // On the partner of an element written paired: the children its side lacks.
    void saveUnmatchedChildren(HANDLE file, int mode) const;
    void writeReport(HANDLE file, int withXmlns) const;
    // The partner's changed attributes as a comment; the own ones are left in buffer
    // (kReportBufferUnits); returns their length.
    int writeAttributeDifferences(HANDLE file, wchar_t* buffer, int withXmlns) const;
    void writeValueDifference(HANDLE file) const;
    // The run of the text from at to the next child mark (or the end), then a line break
    // when it is not empty; returns where the run after that mark starts, -1 at the end.
    int writeTextRun(HANDLE file, int at) const;
    int nextTextRun(int at) const;
    void writeUniqueChildren(HANDLE file, const wchar_t* heading) const;
};

int countDisplayLines(const wchar_t* text);
// Turns one step of an element path text ("a>b>c") into a name id and a path hash.
wchar_t* internPathStep(wchar_t* text, int separator, int32_t* nameId, int32_t* pathHash);

// The name entry of summary items: empty text, name id -1.
extern HashItem summaryName;

// Calls visit(name, name length, value, value length) with each attribute of an attribute
// text in the record's form (name, "=", the open mark, value, the close mark, joined by
// blanks; leading blanks allowed), until a visit that answers answers false; false then.
template <typename Visit>
bool forEachAttributeIn(const wchar_t* text, int length, Visit visit) {
    if (text == nullptr) return true;
    for (int at = 0; at < length;) {
        while (at < length && text[at] == L' ')
            ++at;
        int equals = at;
        while (equals + 1 < length && !(text[equals] == L'=' && text[equals + 1] == kAttributeOpenQuote))
            ++equals;
        if (equals + 1 >= length) return true;
        const int value = equals + 2;
        int close = value;
        while (close < length && text[close] != kAttributeCloseQuote)
            ++close;
        if constexpr (std::is_void_v<decltype(visit(text, 0, text, 0))>) {
            visit(text + at, equals - at, text + value, close - value);
        } else if (!visit(text + at, equals - at, text + value, close - value)) {
            return false;
        }
        at = close + 1;
    }
    return true;
}

template <typename Visit>
bool XMLTreeItem::forEachAttribute(Visit visit) const {
    return forEachAttributeIn(attributes, attributes == nullptr ? 0 : static_cast<int>(attributesLength), visit);
}
