#include "model/TextDiffArea.h"

#include <windows.h>

#include <oleauto.h>

#include <cstring>
#include <memory>
#include <vector>

#include "model/CompareSettings.h"
#include "model/IgnoreList.h"
#include "model/NamespaceScope.h"
#include "model/NumberNormalization.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"

TextDiffArea paintDiffArea;
TextDiffArea editorDiffArea;

namespace {

template <bool kSkipBlanks, bool kFoldCase>
SliceHash sliceHash(const wchar_t* text, uint32_t count) {
    SliceHash h = {0, 0};
    if (text == nullptr) return h;
    for (uint32_t i = 0; i < count && text[i] != 0; ++i) {
        wchar_t c = kFoldCase ? toUpperChar(text[i]) : text[i];
        if (kSkipBlanks && c <= 0x20) continue;
        h.first = (h.first >> 24) + h.first * 38u + static_cast<uint32_t>(c);
        h.second = h.second * 23u + static_cast<uint32_t>(c);
    }
    return h;
}

bool foldsCase() {
    return compareSettings.mode == 2 || compareSettings.mode == 3;
}

bool unitsEqual(wchar_t a, wchar_t b, bool fold) {
    return fold ? toUpperChar(a) == toUpperChar(b) : a == b;
}

uint16_t clamp16(uint32_t value) {
    return static_cast<uint16_t>(value > 0xFFFF ? 0xFFFF : value);
}

// The value as the element's hashes saw it while loading: a date's bits, the canonical
// form of a number, or the value itself. The value is copied for the parsers, which need
// a terminator that the attribute text has only after its last value.
wchar_t valueCopy[kMaxTextUnits + 1];

uint64_t normalizedValueHash(const wchar_t* value, uint32_t length) {
    if ((OptionSet::NormalizeDate || OptionSet::NormalizeNumber) && length <= kMaxTextUnits) {
        std::memcpy(valueCopy, value, length * sizeof(wchar_t));
        valueCopy[length] = 0;
        if (OptionSet::NormalizeDate && length > 5) {
            DATE date = 0;
            if (SUCCEEDED(VarDateFromStr(valueCopy, LOCALE_USER_DEFAULT,
                                         static_cast<ULONG>(OptionSet::FlagNormalizeDate), &date))) {
                uint64_t bits = 0;
                static_assert(sizeof(date) == sizeof(bits), "a DATE is a double");
                std::memcpy(&bits, &date, sizeof(date));
                return bits;
            }
        }
        wchar_t normalized[kNormalizedNumberUnits];
        if (OptionSet::NormalizeNumber &&
            normalizeNumber(valueCopy, normalized, OptionSet::DecimalPlaces, OptionSet::SignificantFigures))
            return hashTextForMode(normalized, kNormalizedNumberUnits);
    }
    return hashTextForMode(value, length);
}

// Word classes: 0 blank, 1 symbol, 2 word character; the terminator ends the text.
int wordClass(wchar_t c) {
    if (c <= 0x20) return 0;
    return isWordUnit(c) ? 2 : 1;
}

// The order in which offset pairs are tried: for each ring i, (i,k) then (k,i) for k
// below i, then (i,i). At the last ring both positions move on by one instead, so
// only pairs not yet tried are tried.
struct OffsetSearch {
    uint32_t i = 1;
    uint32_t j = 0;
    int phase = 0;

    void reset() {
        i = 1;
        j = 0;
        phase = 0;
    }
    // Returns true when the positions must slide by one.
    bool next(uint32_t& o1, uint32_t& o2) {
        switch (phase) {
            case 0:
                o1 = i;
                o2 = j;
                phase = 1;
                return false;
            case 1:
                o1 = j;
                o2 = i;
                ++j;
                phase = j == i ? 2 : 0;
                return false;
            default:
                j = 0;
                phase = 0;
                if (i < kDiffWindow) {
                    o1 = o2 = i;
                    ++i;
                    return false;
                }
                o1 = o2 = kDiffWindow - 1;
                return true;
        }
    }
};

}  // namespace

uint32_t textLength(const wchar_t* text) {
    return text == nullptr ? 0 : static_cast<uint32_t>(std::wcslen(text));
}

SliceHash hashTextExact(const wchar_t* text, uint32_t count) {
    return sliceHash<false, false>(text, count);
}

SliceHash hashTextNoBlanks(const wchar_t* text, uint32_t count) {
    return sliceHash<true, false>(text, count);
}

SliceHash hashTextNoCase(const wchar_t* text, uint32_t count) {
    return sliceHash<false, true>(text, count);
}

SliceHash hashTextNoCaseNoBlanks(const wchar_t* text, uint32_t count) {
    return sliceHash<true, true>(text, count);
}

uint64_t hashTextForMode(const wchar_t* text, uint32_t count) {
    SliceHash h;
    switch (compareSettings.mode) {
        case 0:
            h = hashTextExact(text, count);
            break;
        case 1:
            h = hashTextNoBlanks(text, count);
            break;
        case 2:
            h = hashTextNoCase(text, count);
            break;
        case 3:
            h = hashTextNoCaseNoBlanks(text, count);
            break;
        default:
            return 0;
    }
    return (static_cast<uint64_t>(h.second) << 32) | h.first;
}

void AttributeEntry::set(const wchar_t* nameStart,
                         uint16_t nameUnits,
                         uint16_t valueUnits,
                         bool ruleAttributes,
                         bool commonAttributes) {
    start = nameStart;
    nameLength = nameUnits;
    valueLength = valueUnits;
    paired = nullptr;
    const uint32_t nameChars = nameUnits >= 2 ? nameUnits - 2u : 0u;
    nameHash = comparedAttributeNameHash(nameStart, static_cast<int>(nameChars));
    valueHash = normalizedValueHash(value(), valueUnits >= 1 ? valueUnits - 1u : 0u);
    // Under "IgnoreNamespaces" the declarations take no part in the comparison.
    const bool ignored =
        (OptionSet::IgnoreNamespaces && isNamespaceDeclaration(nameStart, static_cast<int>(nameChars))) ||
        (commonAttributes && ignoreList.isCommonAttribute(nameHash)) ||
        (ruleAttributes && ignoreList.currentRule != nullptr && ignoreList.currentRule->hasAttributeId(nameHash));
    state = ignored ? kIgnoredUnpaired : kUnpaired;
}

namespace {

// The length of the part of an entry's name that the comparison knows it by: the local
// part under "IgnoreNamespaces" (nameLength also counts "=" and the open mark).
uint32_t comparedNameLength(const AttributeEntry& entry) {
    const uint32_t name = entry.nameLength >= 2 ? entry.nameLength - 2u : 0u;
    if (!OptionSet::IgnoreNamespaces) return name;
    for (uint32_t i = 0; i + 1 < name; ++i) {
        if (entry.start[i] == L':') return name - i - 1;
    }
    return name;
}

}  // namespace

void AttributeEntry::compareWith(AttributeEntry& opposite) {
    const bool same = nameHash == opposite.nameHash && valueHash == opposite.valueHash &&
                      comparedNameLength(*this) == comparedNameLength(opposite);
    state = opposite.state = same ? kEqual : kChanged;
    paired = &opposite;
    opposite.paired = this;
}

void AttributeEntry::addRanges(const wchar_t* attributeText, AttributeList& list) const {
    const uint32_t offset = static_cast<uint32_t>(start - attributeText);
    switch (state) {
        case kChanged:
            list.pushRange(offset + nameLength, valueLength - 1u, kRangeChangedValue);
            break;
        case kUnpaired:
            list.pushRange(offset, static_cast<uint32_t>(nameLength) + valueLength, kRangeDiffers);
            break;
        case kIgnoredUnpaired:
            list.pushRange(offset, static_cast<uint32_t>(nameLength) + valueLength, kRangeIgnored);
            break;
        default:
            break;
    }
}

TextDiffArea::TextDiffArea() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    first.area = this;
    second.area = this;
}

void TextDiffArea::prepare(const XMLTreeItem* element, bool attributesWanted) {
    if (element == nullptr || element->partner == nullptr) {
        first.build(nullptr, false);
        second.build(nullptr, false);
        paired = 0;
        return;
    }
    first.build(element, attributesWanted);
    second.build(element->partner, attributesWanted);
    paired = 1;
}

void AttributeList::build(const XMLTreeItem* from, bool wanted) {
    element = from;
    entryCount = 0;
    rangeCount = 0;
    if (!wanted || from == nullptr || from->attributes == nullptr) return;
    const bool ruleAttributes =
        (from->flags & kNamedAttributesIgnoredFlag) != 0 && ignoreList.ruleFor(*from) != nullptr;
    const bool commonAttributes = (from->flags & kCommonAttributeFlag) != 0;
    const wchar_t* const end = from->attributes + from->attributesLength;
    // An entry spans the name with "=" and the opening mark, then the value with the closing
    // mark; a value cut by the text's bound gives none.
    from->forEachAttribute([&](const wchar_t* name, int nameUnits, const wchar_t* value, int valueUnits) {
        if (entryCount >= kMaxDiffAttributes || value + valueUnits >= end) return false;
        entries[entryCount++].set(name, clamp16(static_cast<uint32_t>(nameUnits) + 2),
                                  clamp16(static_cast<uint32_t>(valueUnits) + 1), ruleAttributes, commonAttributes);
        return true;
    });
}

bool AttributeList::pushRange(uint32_t start, uint32_t length, uint8_t colour) {
    if (rangeCount >= kMaxDiffRanges) return false;
    const uint32_t end = start + length;
    if (rangeCount > 0 && start == area->lastEnd && colour == area->lastColour) {
        uint16_t& last = area->rangeLengths[rangeCount - 1];
        last = clamp16(static_cast<uint32_t>(last) + length);
    } else {
        area->rangeStarts[rangeCount] = clamp16(start);
        area->rangeLengths[rangeCount] = clamp16(length);
        area->rangeColours[rangeCount] = colour;
        ++rangeCount;
    }
    area->lastEnd = clamp16(end);
    area->lastColour = colour;
    return rangeCount < kMaxDiffRanges;
}

uint32_t AttributeList::addUnmatchedTokens(const TokenList& tokens) {
    for (uint32_t k = 0; k < tokens.count && rangeCount < kMaxDiffRanges; ++k) {
        const WordToken& t = tokens.tokens[k];
        if (!t.matched) pushRange(t.start, t.length, kRangeDiffers);
    }
    return rangeCount;
}

uint32_t AttributeList::addUnmarkedRuns(const uint8_t* marks, uint32_t count, uint32_t offset) {
    uint32_t k = 0;
    while (k < count && rangeCount < kMaxDiffRanges) {
        if (marks[k] == 1) {
            ++k;
            continue;
        }
        const uint32_t runStart = k;
        while (k < count && marks[k] != 1)
            ++k;
        pushRange(offset + runStart, k - runStart, kRangeDiffers);
    }
    return rangeCount;
}

uint32_t AttributeList::markAttributeDifferences(AttributeList* opposite) {
    rangeCount = 0;
    if (opposite == nullptr || element == nullptr || opposite->element == nullptr) return 0;
    if ((element->flags & kAttributesIgnoredFlag) != 0) return 0;
    const wchar_t* text = element->attributes;
    uint32_t searchStart = 0;
    for (uint32_t k = 0; k < entryCount; ++k) {
        AttributeEntry& entry = entries[k];
        if (entry.state == AttributeEntry::kUnpaired) {
            for (uint32_t m = searchStart; m < opposite->entryCount; ++m) {
                AttributeEntry& other = opposite->entries[m];
                if (other.state != AttributeEntry::kUnpaired || other.nameHash != entry.nameHash ||
                    comparedNameLength(other) != comparedNameLength(entry))
                    continue;
                entry.compareWith(other);
                if (m == searchStart) ++searchStart;
                break;
            }
        }
        // Pairing goes on when the ranges are full: the states also serve changedAttributesText.
        if (rangeCount >= kMaxDiffRanges) continue;
        if (OptionSet::HighlightChars && entry.state == AttributeEntry::kChanged && entry.paired != nullptr) {
            const uint32_t offset = static_cast<uint32_t>(entry.value() - text);
            const uint32_t units = entry.valueLength - 1u;
            const uint32_t otherUnits = entry.paired->valueLength - 1u;
            // A length of 0 would mean "up to the terminator" to CharDiff, which an
            // attribute value does not have.
            if (units == 0) continue;
            if (otherUnits == 0) {
                pushRange(offset, units, kRangeDiffers);
                continue;
            }
            CharDiff diff(entry.value(), units, entry.paired->value(), otherUnits);
            addUnmarkedRuns(diff.run(), diff.firstLength, offset);
        } else {
            entry.addRanges(text, *this);
        }
    }
    return rangeCount;
}

uint32_t AttributeList::markTextDifferences(AttributeList* opposite) {
    markTextRanges(opposite);
    if (element == nullptr || opposite == nullptr || opposite->element == nullptr ||
        !containsChildMark(element->text, element->textLength))
        return rangeCount;
    if (rangeCount == 0 && element->textDiffers() && (element->flags & kTextIgnoredFlag) == 0)
        markFirstMovedChild(*opposite->element);
    if (rangeCount != 0) showHiddenRanges();
    return rangeCount;
}

void AttributeList::markFirstMovedChild(const XMLTreeItem& other) {
    // The words match alike on both sides (a word and a child that changed places can):
    // the first child that stands after other words than the partner's is marked. Places
    // count words only here, as the word match does: white space is not a child's move.
    std::vector<size_t> theirs;
    forEachChildPlace(other.text, other.textLength, [&](size_t, size_t, size_t words) { theirs.push_back(words); });
    size_t k = 0;
    bool marked = false;
    forEachChildPlace(element->text, element->textLength, [&](size_t at, size_t, size_t words) {
        if (!marked && (k >= theirs.size() || theirs[k] != words)) {
            pushRange(static_cast<uint32_t>(at), 1, kRangeDiffers);
            marked = true;
        }
        ++k;
    });
}

void AttributeList::showHiddenRanges() {
    const wchar_t* const text = element->text;
    const uint32_t length = element->textLength;
    std::unique_ptr<bool[]> hidden(new bool[length]);
    findHiddenUnits(text, length, hidden.get());
    auto shownWord = [&](uint32_t i) { return !hidden[i] && text[i] > 0x20; };
    for (uint32_t r = 0; r < rangeCount; ++r) {
        uint32_t start = area->rangeStarts[r];
        uint32_t end = start + area->rangeLengths[r];
        if (end > length) end = length;
        bool anyShown = false;
        for (uint32_t i = start; i < end && !anyShown; ++i)
            anyShown = !hidden[i];
        if (anyShown) continue;
        // Only a child's place differs here, which the row does not show: the word before it
        // (after it at the start of the text) is marked in its stead. Before it, as the
        // element window compares the runs up to the element's first child.
        uint32_t wordEnd = start;
        while (wordEnd > 0 && !shownWord(wordEnd - 1))
            --wordEnd;
        if (wordEnd > 0) {
            start = wordEnd;
            while (start > 0 && shownWord(start - 1))
                --start;
            end = wordEnd;
        } else {
            start = end;
            while (start < length && !shownWord(start))
                ++start;
            end = start;
            while (end < length && shownWord(end))
                ++end;
        }
        area->rangeStarts[r] = clamp16(start);
        area->rangeLengths[r] = clamp16(end - start);
    }
    // Widened ranges may reach their neighbours: they become one.
    uint32_t kept = 0;
    for (uint32_t r = 0; r < rangeCount; ++r) {
        const uint32_t start = area->rangeStarts[r];
        const uint32_t end = start + area->rangeLengths[r];
        if (kept > 0) {
            const uint32_t lastStart = area->rangeStarts[kept - 1];
            const uint32_t lastEnd = lastStart + area->rangeLengths[kept - 1];
            if (start <= lastEnd && area->rangeColours[r] == area->rangeColours[kept - 1]) {
                if (end > lastEnd) area->rangeLengths[kept - 1] = clamp16(end - lastStart);
                continue;
            }
        }
        area->rangeStarts[kept] = clamp16(start);
        area->rangeLengths[kept] = clamp16(end - start);
        area->rangeColours[kept] = area->rangeColours[r];
        ++kept;
    }
    rangeCount = kept;
}

void AttributeList::markTextRanges(AttributeList* opposite) {
    rangeCount = 0;
    if (opposite == nullptr || element == nullptr || opposite->element == nullptr) return;
    if (!element->textDiffers() || (element->flags & kTextIgnoredFlag) != 0) return;
    const wchar_t* firstText = element->text;
    if (firstText == nullptr || element->textLength == 0) return;
    const XMLTreeItem* other = opposite->element;
    const wchar_t* secondText = (other->flags & kTextIgnoredFlag) != 0 ? nullptr : other->text;
    if (secondText != nullptr && other->textLength == 0) secondText = nullptr;

    if (OptionSet::HighlightChars) {
        CharDiff diff(firstText, element->textLength, secondText, secondText == nullptr ? 0 : other->textLength);
        addUnmarkedRuns(diff.run(), diff.firstLength, 0);
        return;
    }

    auto a = std::make_unique<TokenList>(firstText);
    if (secondText == nullptr) {
        addUnmatchedTokens(*a);
        return;
    }
    auto b = std::make_unique<TokenList>(secondText);
    uint32_t pA = 0;
    uint32_t pB = 0;
    uint32_t oA = 0;
    uint32_t oB = 0;
    OffsetSearch search;
    bool afterMatch = true;
    bool pending = false;
    uint32_t pendingA = 0;
    uint32_t pendingB = 0;
    do {
        if (pB >= b->count) break;
        const uint32_t iA = pA + oA;
        const uint32_t iB = pB + oB;
        const bool hasA = iA < a->count;
        const bool hasB = iB < b->count;
        if (!hasA && !hasB) break;
        if (hasA && hasB && a->tokens[iA].equals(b->tokens[iB])) {
            if (pending && pendingA != iA && pendingB != iB) {
                a->tokens[pendingA].matched = 1;
                b->tokens[pendingB].matched = 1;
            }
            const bool nextDiffers =
                iA + 1 < a->count && iB + 1 < b->count && !a->tokens[iA + 1].equals(b->tokens[iB + 1]);
            if (!afterMatch && nextDiffers) {
                pending = true;
                pendingA = iA;
                pendingB = iB;
            } else {
                a->tokens[iA].matched = 1;
                b->tokens[iB].matched = 1;
                pA = iA + 1;
                pB = iB + 1;
                pending = false;
                oA = oB = 0;
                search.reset();
                afterMatch = true;
                continue;
            }
        }
        afterMatch = false;
        if (search.next(oA, oB)) {
            ++pA;
            ++pB;
        }
    } while (pA < a->count);
    if (pending) {
        a->tokens[pendingA].matched = 1;
        b->tokens[pendingB].matched = 1;
    }
    addUnmatchedTokens(*a);
}

uint32_t AttributeList::changedAttributesText(wchar_t* output, uint32_t capacity, bool withXmlns) const {
    if (output == nullptr || capacity == 0) return 0;
    uint32_t used = 0;
    for (uint32_t k = 0; k < entryCount; ++k) {
        const AttributeEntry& entry = entries[k];
        const uint32_t units = static_cast<uint32_t>(entry.nameLength) + entry.valueLength;
        const bool xmlns = withXmlns && entry.nameLength >= 7 && std::wcsncmp(entry.start, L"xmlns", 5) == 0;
        if (entry.state != AttributeEntry::kChanged && entry.state != AttributeEntry::kUnpaired && !xmlns) continue;
        // The blank, the attribute and the terminator.
        if (used + 1 + units + 1 > capacity) continue;
        output[used++] = L' ';
        std::memcpy(output + used, entry.start, units * sizeof(wchar_t));
        used += units;
    }
    output[used] = 0;
    return used;
}

CharDiff::CharDiff(const wchar_t* firstText, uint32_t firstUnits, const wchar_t* secondText, uint32_t secondUnits)
    : first(firstText),
      firstLength(firstUnits != 0 ? firstUnits : textLength(firstText)),
      second(secondText),
      secondLength(secondUnits != 0 ? secondUnits : textLength(secondText)),
      marks(nullptr),
      position1(0),
      position2(0),
      offset1(0),
      offset2(0) {
    if (first == nullptr) firstLength = 0;
    if (second == nullptr) secondLength = 0;
    if (firstLength != 0) marks = new uint8_t[firstLength]();
}

CharDiff::~CharDiff() {
    delete[] marks;
}

const uint8_t* CharDiff::run() {
    position1 = position2 = 0;
    offset1 = offset2 = 0;
    OffsetSearch search;
    const bool fold = foldsCase();
    while (position1 < firstLength && position2 < secondLength) {
        const uint32_t at1 = position1 + offset1;
        const uint32_t at2 = position2 + offset2;
        const wchar_t a = at1 < firstLength ? first[at1] : 0;
        const wchar_t b = at2 < secondLength ? second[at2] : 0;
        if (a == 0 && b == 0) break;
        if (a != 0 && b != 0 && unitsEqual(a, b, fold) && confirmMatch()) {
            marks[at1] = 1;
            position1 = at1 + 1;
            position2 = at2 + 1;
            offset1 = offset2 = 0;
            search.reset();
            continue;
        }
        if (search.next(offset1, offset2)) {
            ++position1;
            ++position2;
        }
    }
    return marks;
}

bool CharDiff::confirmMatch() const {
    if (offset1 == 0 && offset2 == 0) return true;
    uint32_t n = offset1 > offset2 ? offset1 : offset2;
    if (n > 4) n = 4;
    const bool fold = foldsCase();
    for (uint32_t k = 1; k <= n; ++k) {
        const uint32_t at1 = position1 + offset1 + k;
        const uint32_t at2 = position2 + offset2 + k;
        if (at1 >= firstLength || at2 >= secondLength) return true;
        const wchar_t a = first[at1];
        const wchar_t b = second[at2];
        if (a <= 0x20 && b <= 0x20) return true;
        if (!unitsEqual(a, b, fold)) return false;
    }
    return true;
}

void WordToken::set(const wchar_t* text, uint32_t offset, uint32_t units) {
    start = clamp16(offset);
    length = clamp16(units);
    hash = hashTextForMode(text + offset, units);
    matched = 0;
}

TokenList::TokenList(const wchar_t* text) : count(0) {
    if (text == nullptr) return;
    uint32_t k = 0;
    while (text[k] != 0 && count < kMaxWordTokens) {
        const int cls = wordClass(text[k]);
        if (cls == 0) {
            ++k;
            continue;
        }
        const uint32_t tokenStart = k;
        while (text[k] != 0 && wordClass(text[k]) == cls)
            ++k;
        tokens[count++].set(text, tokenStart, k - tokenStart);
    }
}
