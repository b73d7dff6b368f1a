// The inline difference of one element and its partner: which attributes, characters
// or words of the element's attribute text or text differ, as highlight ranges over
// that text. The painter, the editor colouring and the report writer read them.
#pragma once

#include <cstdint>

struct XMLTreeItem;
struct TextDiffArea;

constexpr uint32_t kMaxDiffAttributes = 400;
constexpr uint32_t kMaxDiffRanges = 400;
constexpr uint32_t kMaxWordTokens = 4096;
// The search for the next matching pair tries offsets up to this far ahead on each
// side before it gives up on one character or word of each text.
constexpr uint32_t kDiffWindow = 64;

// Range colours.
constexpr uint8_t kRangeChangedValue = 1;
constexpr uint8_t kRangeDiffers = 2;
constexpr uint8_t kRangeIgnored = 3;

// UTF-16 units before the terminator; 0 for none.
uint32_t textLength(const wchar_t* text);

struct SliceHash {
    uint32_t first;
    uint32_t second;
};
// Over at most count units, stopping at the terminator; one per comparison mode 0-3.
SliceHash hashTextExact(const wchar_t* text, uint32_t count);
SliceHash hashTextNoBlanks(const wchar_t* text, uint32_t count);
SliceHash hashTextNoCase(const wchar_t* text, uint32_t count);
SliceHash hashTextNoCaseNoBlanks(const wchar_t* text, uint32_t count);
// The slice hash of compareSettings.mode: the first hash low, the second high.
uint64_t hashTextForMode(const wchar_t* text, uint32_t count);

struct AttributeList;

// One attribute of an element's attribute text: name, "=", the open quote, value,
// the close quote.
struct AttributeEntry {
    // States after building (bit 1 present, bit 0 ignored) and after comparison.
    static constexpr uint8_t kEqual = 0;
    static constexpr uint8_t kChanged = 1;
    static constexpr uint8_t kUnpaired = 2;
    static constexpr uint8_t kIgnoredUnpaired = 3;

    uint64_t valueHash;    // of the value after number or date normalisation
    const wchar_t* start;  // the name's first unit, in the element's attribute text
    uint16_t nameLength;   // the name, "=" and the open quote
    uint16_t valueLength;  // the value and the close quote
    int32_t nameHash;
    uint8_t state;
    const AttributeEntry* paired;  // the opposite half's entry it was compared with

    const wchar_t* value() const { return start + nameLength; }
    void set(const wchar_t* nameStart,
             uint16_t nameUnits,
             uint16_t valueUnits,
             bool ruleAttributes,
             bool commonAttributes);
    void compareWith(AttributeEntry& opposite);
    void addRanges(const wchar_t* attributeText, AttributeList& list) const;
};

struct CharDiff;
struct TokenList;

// One half of a TextDiffArea: the attributes of one element and its ranges.
struct AttributeList {
    const XMLTreeItem* element;  // not owned
    TextDiffArea* area;
    AttributeEntry entries[kMaxDiffAttributes];
    uint32_t entryCount;
    uint32_t rangeCount;

    void build(const XMLTreeItem* from, bool wanted);
    // Whether fewer than kMaxDiffRanges ranges are held afterwards; a full list drops the range.
    bool pushRange(uint32_t start, uint32_t length, uint8_t colour);
    uint32_t addUnmatchedTokens(const TokenList& tokens);
    uint32_t addUnmarkedRuns(const uint8_t* marks, uint32_t count, uint32_t offset);
    uint32_t markAttributeDifferences(AttributeList* opposite);
    uint32_t markTextDifferences(AttributeList* opposite);
    void markTextRanges(AttributeList* opposite);
    // A range over units the row leaves out (a child's place alone) widened to a word it shows.
    void showHiddenRanges();
    // With no word or character found apart, the first child whose place differs.
    void markFirstMovedChild(const XMLTreeItem& other);
    // The changed and unpaired attributes (and with withXmlns every "xmlns..." one),
    // each as a blank and its stored text, into output of capacity units including
    // the terminator. An entry that does not fit is left out whole. Returns the length.
    uint32_t changedAttributesText(wchar_t* output, uint32_t capacity, bool withXmlns) const;
};

// The ranges of both halves share one set of arrays: each marking of a half replaces
// what the other half marked, so the ranges of one half are read before the other
// half is marked.
struct TextDiffArea {
    AttributeList first;   // the element's attributes
    AttributeList second;  // the partner's attributes
    uint8_t paired;
    uint8_t lastColour;
    uint16_t lastEnd;
    uint16_t rangeStarts[kMaxDiffRanges];
    uint16_t rangeLengths[kMaxDiffRanges];
    uint8_t rangeColours[kMaxDiffRanges];

    TextDiffArea();
    TextDiffArea(const TextDiffArea&) = delete;
    TextDiffArea& operator=(const TextDiffArea&) = delete;

    // With a partner: the first half from the element, the second from its partner.
    // Without one both halves are emptied, so that no marking reads a freed element.
    void prepare(const XMLTreeItem* element, bool attributesWanted);
};

// The areas of the tree painting and of the editor colouring.
extern TextDiffArea paintDiffArea;
extern TextDiffArea editorDiffArea;

// The characters of the first text that match the second, by a greedy search over
// offset pairs that resynchronises after each difference.
struct CharDiff {
    const wchar_t* first;
    uint32_t firstLength;
    const wchar_t* second;
    uint32_t secondLength;
    uint8_t* marks;  // owned: one per unit of the first text, 1 matched
    uint32_t position1;
    uint32_t position2;
    uint32_t offset1;
    uint32_t offset2;

    // A length of 0 takes the text up to its terminator.
    CharDiff(const wchar_t* firstText, uint32_t firstUnits, const wchar_t* secondText, uint32_t secondUnits);
    ~CharDiff();
    CharDiff(const CharDiff&) = delete;
    CharDiff& operator=(const CharDiff&) = delete;

    const uint8_t* run();
    bool confirmMatch() const;
};

struct WordToken {
    uint64_t hash;
    uint16_t start;  // units from the text's start
    uint16_t length;
    uint8_t matched;

    void set(const wchar_t* text, uint32_t offset, uint32_t units);
    bool equals(const WordToken& other) const { return length == other.length && hash == other.hash; }
};

// The words and symbol runs of a text; blanks separate them.
struct TokenList {
    uint32_t count;
    WordToken tokens[kMaxWordTokens];

    explicit TokenList(const wchar_t* text);
};
