#include "model/TextServices.h"

#include <array>
#include <cstdarg>
#include <cstring>
#include <cwchar>

#include <xercesc/util/XMLChar.hpp>

namespace {

struct CaseRange {
    uint16_t first;
    uint16_t last;
    uint16_t step;
    int16_t delta;
};

// Every unit that the program folds; all others map to themselves. The list is closed on purpose: the case rule
// of names, hashes and searches must not follow the locale or the platform's own tables.
constexpr CaseRange kUpperRanges[] = {
    {0x0061, 0x007A, 1, -32},
    {0x00B5, 0x00B5, 1, 0x039C - 0x00B5},
    {0x00E0, 0x00FE, 1, -32},
    {0x00FF, 0x00FF, 1, 0x0178 - 0x00FF},
    {0x0101, 0x012F, 2, -1},
    {0x0131, 0x0131, 1, 0x0049 - 0x0131},
    {0x0133, 0x0137, 2, -1},
    {0x013A, 0x0148, 2, -1},
    {0x014B, 0x0177, 2, -1},
    {0x017A, 0x017E, 2, -1},
    {0x017F, 0x017F, 1, 0x0053 - 0x017F},
    {0x0183, 0x0185, 2, -1},
    {0x0188, 0x0188, 1, -1},
    {0x018C, 0x018C, 1, -1},
    {0x0192, 0x0192, 1, -1},
    {0x0195, 0x0195, 1, 0x01F6 - 0x0195},
    {0x0199, 0x0199, 1, -1},
    {0x019E, 0x019E, 1, 0x0220 - 0x019E},
    {0x01A1, 0x01A5, 2, -1},
    {0x01A8, 0x01A8, 1, -1},
    {0x01AD, 0x01AD, 1, -1},
    {0x01B0, 0x01B0, 1, -1},
    {0x01B4, 0x01B6, 2, -1},
    {0x01B9, 0x01B9, 1, -1},
    {0x01BD, 0x01BD, 1, -1},
    {0x01BF, 0x01BF, 1, 0x01F7 - 0x01BF},
    {0x01C6, 0x01C6, 1, -2},
    {0x01C9, 0x01C9, 1, -2},
    {0x01CC, 0x01CC, 1, -2},
    {0x01CE, 0x01DC, 2, -1},
    {0x01DD, 0x01DD, 1, 0x018E - 0x01DD},
    {0x01DF, 0x01EF, 2, -1},
    {0x01F3, 0x01F3, 1, -2},
    {0x01F5, 0x01F5, 1, -1},
    {0x01F9, 0x0233, 2, -1},
    {0x03B1, 0x03CB, 1, -32},
    {0x03D9, 0x03EF, 2, -1},
    {0x0430, 0x044F, 1, -32},
    {0x0450, 0x045F, 1, -80},
    {0x0461, 0x04BF, 2, -1},
    {0x04C2, 0x04CE, 2, -1},
    {0x04D1, 0x050F, 2, -1},
    {0x0561, 0x0586, 1, -48},
    {0x1E01, 0x1E99, 2, -1},
    {0x1E9B, 0x1E9B, 1, 0x1E60 - 0x1E9B},
    {0x1E9D, 0x1EF9, 2, -1},
    {0x1F00, 0x1F07, 1, 8},
    {0x1F10, 0x1F15, 1, 8},
    {0x1F20, 0x1F27, 1, 8},
    {0x1F30, 0x1F37, 1, 8},
    {0x1F40, 0x1F45, 1, 8},
    {0x1F51, 0x1F57, 2, 8},
    {0x1F60, 0x1F67, 1, 8},
    {0xFF41, 0xFF5A, 1, -32},
};

constexpr std::array<uint16_t, 65536> buildUpperTable() {
    std::array<uint16_t, 65536> table{};
    for (uint32_t unit = 0; unit < table.size(); ++unit) {
        table[unit] = static_cast<uint16_t>(unit);
    }
    for (const CaseRange& range : kUpperRanges) {
        for (uint32_t unit = range.first; unit <= range.last; unit += range.step) {
            table[unit] = static_cast<uint16_t>(static_cast<int32_t>(unit) + range.delta);
        }
    }
    return table;
}

// Built by the compiler, so folding works already while other static objects are being constructed.
constexpr std::array<uint16_t, 65536> kUpperTable = buildUpperTable();

inline wchar_t fold(wchar_t unit, int caseSensitive) {
    return caseSensitive ? unit : toUpperChar(unit);
}

int textLength(const wchar_t* text) {
    return text ? static_cast<int>(wcslen(text)) : 0;
}

// The last target of appendStrings and the position after its last unit; the GUI thread's only.
wchar_t* appendTarget = nullptr;
int appendPosition = 0;

}  // namespace

int lastCompareExact = 0;

wchar_t toUpperChar(wchar_t unit) {
    return static_cast<wchar_t>(kUpperTable[static_cast<uint16_t>(unit)]);
}

bool textEquals(const wchar_t* a, const wchar_t* b) {
    if (!a) {
        a = L"";
    }
    if (!b) {
        b = L"";
    }
    return wcscmp(a, b) == 0;
}

bool textEqualsNoCase(const wchar_t* a, const wchar_t* b) {
    if (!a) {
        a = L"";
    }
    if (!b) {
        b = L"";
    }
    int exact = 1;
    for (;; ++a, ++b) {
        if (*a != *b) {
            if (toUpperChar(*a) != toUpperChar(*b)) {
                lastCompareExact = 0;
                return false;
            }
            exact = 0;
        }
        if (*a == 0) {
            break;
        }
    }
    lastCompareExact = exact;
    return true;
}

int findSubstring(const wchar_t* text, const wchar_t* pattern, int textLength, int patternLength) {
    if (!text || !pattern || patternLength <= 0 || textLength < patternLength) {
        return -1;
    }
    for (int start = 0; start <= textLength - patternLength; ++start) {
        int matched = 0;
        while (matched < patternLength && text[start + matched] == pattern[matched]) {
            ++matched;
        }
        if (matched == patternLength) {
            return start;
        }
    }
    return -1;
}

int findSubstringNoCase(const wchar_t* text, const wchar_t* pattern, int textLength, int patternLength) {
    if (!text || !pattern || patternLength <= 0 || textLength < patternLength) {
        return -1;
    }
    for (int start = 0; start <= textLength - patternLength; ++start) {
        int matched = 0;
        while (matched < patternLength && toUpperChar(text[start + matched]) == toUpperChar(pattern[matched])) {
            ++matched;
        }
        if (matched == patternLength) {
            return start;
        }
    }
    return -1;
}

int textFind(const wchar_t* text, const wchar_t* pattern) {
    return findSubstring(text, pattern, textLength(text), textLength(pattern));
}

int textFindNoCase(const wchar_t* text, const wchar_t* pattern) {
    return findSubstringNoCase(text, pattern, textLength(text), textLength(pattern));
}

bool isWordUnit(wchar_t c) {
    if (c <= 0x20) return false;
    if (c >= 0x100) return xercesc::XMLChar1_0::isNameChar(static_cast<XMLCh>(c));
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || c == L'_' || (c >= L'a' && c <= L'z') || c == 0xB7 ||
           (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

int findWholeWord(const wchar_t* text, const wchar_t* pattern, bool caseSensitive) {
    const int length = textLength(text);
    const int patternLength = textLength(pattern);
    for (int from = 0; from <= length - patternLength;) {
        const wchar_t* rest = text + from;
        const int found = caseSensitive ? findSubstring(rest, pattern, length - from, patternLength)
                                        : findSubstringNoCase(rest, pattern, length - from, patternLength);
        if (found < 0) return -1;
        const int start = from + found;
        const int end = start + patternLength;
        if ((start == 0 || !isWordUnit(text[start - 1])) && (end == length || !isWordUnit(text[end]))) return start;
        from = start + 1;
    }
    return -1;
}

int copyBounded(wchar_t* target, const wchar_t* source, int n) {
    if (!target) {
        return 0;
    }
    int written = 0;
    if (source) {
        for (; *source != 0 && written < n; ++source) {
            if (*source > 0x20) {
                target[written++] = *source;
            }
        }
    }
    target[written] = 0;
    return written;
}

int trimBlanks(wchar_t*& text) {
    if (!text) {
        return 0;
    }
    while (*text != 0 && *text <= 0x20) {
        ++text;
    }
    int length = 0;
    for (int i = 0; text[i] != 0; ++i) {
        if (text[i] > 0x20) {
            length = i + 1;
        }
    }
    text[length] = 0;
    return length;
}

int detectLineEnd(const wchar_t* units, int count) {
    if (!units) {
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        if (units[i] == L'\n') {
            return 2;
        }
        if (units[i] == L'\r') {
            return (i + 1 < count && units[i + 1] == L'\n') ? 1 : 3;
        }
    }
    return 0;
}

int removeChar(wchar_t* units, int count, wchar_t unit) {
    if (!units) {
        return 0;
    }
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        if (units[i] != unit) {
            units[kept++] = units[i];
        }
    }
    return kept;
}

int appendStrings(wchar_t* target, int capacity, int mode, int count, ...) {
    if (!target || count <= 0 || capacity <= 0) {
        return 0;
    }
    int position = 0;
    if (mode == 2) {
        position = static_cast<int>(wcslen(target));
    } else if (mode != 1 && target == appendTarget && target[0] != 0 &&
               (appendPosition == 0 || target[appendPosition] == 0)) {
        position = appendPosition;
    }
    const int start = position;
    appendTarget = target;
    appendPosition = position;

    va_list texts;
    va_start(texts, count);
    for (int i = 0; i < count; ++i) {
        const wchar_t* text = va_arg(texts, const wchar_t*);
        if (!text) {
            continue;
        }
        for (; *text != 0 && position < capacity; ++text) {
            target[position++] = *text;
            appendPosition = position;
        }
    }
    va_end(texts);

    target[position] = 0;
    return position - start;
}

uint32_t hashName(const wchar_t* text, int caseSensitive) {
    if (!text || text[0] == 0) {
        return 0;
    }
    uint64_t h = fold(text[0], caseSensitive);
    for (const wchar_t* unit = text + 1; *unit != 0; ++unit) {
        h = (h >> 24) + h * 37 + fold(*unit, caseSensitive);
    }
    return static_cast<uint32_t>(h);
}

uint32_t hashNameN(const wchar_t* units, int count, int caseSensitive) {
    if (!units || units[0] == 0 || count <= 0) {
        return 0;
    }
    uint64_t h = fold(units[0], caseSensitive);
    for (int i = 1; i < count; ++i) {
        h = (h >> 24) + h * 37 + fold(units[i], caseSensitive);
    }
    return static_cast<uint32_t>(h);
}

int hashAttributeName(const wchar_t* text, uint16_t* out, int caseSensitive) {
    if (!text || text[0] == 0) {
        if (out) {
            *out = 0;
        }
        return 0;
    }
    uint16_t h = fold(text[0], caseSensitive);
    int length = 1;
    for (; text[length] != 0; ++length) {
        h = static_cast<uint16_t>(h * 19 + fold(text[length], caseSensitive));
    }
    if (out) {
        *out = h;
    }
    return length - 1;
}

int accumulateTextHashes(const wchar_t* text, uint32_t acc[8]) {
    if (!text) {
        return 0;
    }
    uint32_t h[8] = {};
    int nonWhite = 0;
    for (; *text != 0; ++text) {
        const uint32_t c = *text;
        const bool white = isXmlWhiteSpace(*text);
        const uint32_t f = white ? c : toUpperChar(*text);
        h[0] = (h[0] >> 24) + h[0] * 37 + c;
        h[1] = h[1] * 19 + c;
        h[4] = (h[4] >> 24) + h[4] * 37 + f;
        h[5] = h[5] * 19 + f;
        if (!white) {
            ++nonWhite;
            h[2] = (h[2] >> 24) + h[2] * 37 + c;
            h[3] = h[3] * 19 + c;
            h[6] = (h[6] >> 24) + h[6] * 37 + f;
            h[7] = h[7] * 19 + f;
        }
    }
    for (int i = 0; i < 8; ++i) {
        acc[i] += h[i];
    }
    return nonWhite;
}

void trimXmlWhiteSpace(wchar_t* text) {
    size_t start = 0;
    while (text[start] != 0 && isXmlWhiteSpace(text[start]))
        ++start;
    size_t end = start + std::wcslen(text + start);
    while (end > start && isXmlWhiteSpace(text[end - 1]))
        --end;
    std::memmove(text, text + start, (end - start) * sizeof(wchar_t));
    text[end - start] = 0;
}
