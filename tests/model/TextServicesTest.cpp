#include "model/TextServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct UpperRow {
    uint32_t first;
    uint32_t last;
    uint32_t step;
    uint32_t firstMapped;  // the image of first; the others follow at the same distance
};

// The expected folding, each row given by the image of its first unit.
const UpperRow kUpperRows[] = {
    {0x0061, 0x007A, 1, 0x0041}, {0x00B5, 0x00B5, 1, 0x039C}, {0x00E0, 0x00FE, 1, 0x00C0}, {0x00FF, 0x00FF, 1, 0x0178},
    {0x0101, 0x012F, 2, 0x0100}, {0x0131, 0x0131, 1, 0x0049}, {0x0133, 0x0137, 2, 0x0132}, {0x013A, 0x0148, 2, 0x0139},
    {0x014B, 0x0177, 2, 0x014A}, {0x017A, 0x017E, 2, 0x0179}, {0x017F, 0x017F, 1, 0x0053}, {0x0183, 0x0185, 2, 0x0182},
    {0x0188, 0x0188, 1, 0x0187}, {0x018C, 0x018C, 1, 0x018B}, {0x0192, 0x0192, 1, 0x0191}, {0x0195, 0x0195, 1, 0x01F6},
    {0x0199, 0x0199, 1, 0x0198}, {0x019E, 0x019E, 1, 0x0220}, {0x01A1, 0x01A5, 2, 0x01A0}, {0x01A8, 0x01A8, 1, 0x01A7},
    {0x01AD, 0x01AD, 1, 0x01AC}, {0x01B0, 0x01B0, 1, 0x01AF}, {0x01B4, 0x01B6, 2, 0x01B3}, {0x01B9, 0x01B9, 1, 0x01B8},
    {0x01BD, 0x01BD, 1, 0x01BC}, {0x01BF, 0x01BF, 1, 0x01F7}, {0x01C6, 0x01C6, 1, 0x01C4}, {0x01C9, 0x01C9, 1, 0x01C7},
    {0x01CC, 0x01CC, 1, 0x01CA}, {0x01CE, 0x01DC, 2, 0x01CD}, {0x01DD, 0x01DD, 1, 0x018E}, {0x01DF, 0x01EF, 2, 0x01DE},
    {0x01F3, 0x01F3, 1, 0x01F1}, {0x01F5, 0x01F5, 1, 0x01F4}, {0x01F9, 0x0233, 2, 0x01F8}, {0x03B1, 0x03CB, 1, 0x0391},
    {0x03D9, 0x03EF, 2, 0x03D8}, {0x0430, 0x044F, 1, 0x0410}, {0x0450, 0x045F, 1, 0x0400}, {0x0461, 0x04BF, 2, 0x0460},
    {0x04C2, 0x04CE, 2, 0x04C1}, {0x04D1, 0x050F, 2, 0x04D0}, {0x0561, 0x0586, 1, 0x0531}, {0x1E01, 0x1E99, 2, 0x1E00},
    {0x1E9B, 0x1E9B, 1, 0x1E60}, {0x1E9D, 0x1EF9, 2, 0x1E9C}, {0x1F00, 0x1F07, 1, 0x1F08}, {0x1F10, 0x1F15, 1, 0x1F18},
    {0x1F20, 0x1F27, 1, 0x1F28}, {0x1F30, 0x1F37, 1, 0x1F38}, {0x1F40, 0x1F45, 1, 0x1F48}, {0x1F51, 0x1F57, 2, 0x1F59},
    {0x1F60, 0x1F67, 1, 0x1F68}, {0xFF41, 0xFF5A, 1, 0xFF21},
};

TEST(TextServicesUpper, EveryUnitFollowsTheTable) {
    std::vector<uint32_t> expected(65536);
    for (uint32_t unit = 0; unit < expected.size(); ++unit) {
        expected[unit] = unit;
    }
    for (const UpperRow& row : kUpperRows) {
        for (uint32_t unit = row.first; unit <= row.last; unit += row.step) {
            expected[unit] = row.firstMapped + (unit - row.first);
        }
    }
    int wrong = 0;
    for (uint32_t unit = 0; unit < expected.size() && wrong < 10; ++unit) {
        const uint32_t mapped = static_cast<uint16_t>(toUpperChar(static_cast<wchar_t>(unit)));
        if (mapped != expected[unit]) {
            ADD_FAILURE() << std::hex << "U+" << unit << " maps to U+" << mapped << ", expected U+" << expected[unit];
            ++wrong;
        }
    }
}

TEST(TextServicesUpper, EdgeUnits) {
    struct Case {
        wchar_t unit;
        wchar_t mapped;
    };
    const Case cases[] = {
        // The division sign folds like its neighbours; final sigma folds to the unassigned unit, not to sigma.
        {0x00F7, 0x00D7},
        {0x03C2, 0x03A2},
        // Title-case digraphs, capital sigma, roman numerals and sharp s stay.
        {0x01C5, 0x01C5},
        {0x01C8, 0x01C8},
        {0x01CB, 0x01CB},
        {0x01F2, 0x01F2},
        {0x03A3, 0x03A3},
        {0x2170, 0x2170},
        {0x00DF, 0x00DF},
        // The units just outside each range.
        {0x0130, 0x0130},
        {0x0100, 0x0100},
        {0x0149, 0x0149},
        {0x0138, 0x0138},
        {0x0180, 0x0180},
        {0x01C4, 0x01C4},
        {0x0234, 0x0234},
        {0x03AC, 0x03AC},
        {0x03CC, 0x03CC},
        {0x03F0, 0x03F0},
        {0x0460, 0x0460},
        {0x04C0, 0x04C0},
        {0x04C1, 0x04C1},
        {0x04CF, 0x04CF},
        {0x0510, 0x0510},
        {0x0587, 0x0587},
        {0x1E9A, 0x1E9A},
        {0x1E9C, 0x1E9C},
        {0x1EFB, 0x1EFB},
        {0x1F08, 0x1F08},
        {0x1F16, 0x1F16},
        {0x1F50, 0x1F50},
        {0x1F58, 0x1F58},
        {0x1F70, 0x1F70},
        {0x0040, 0x0040},
        {0x0060, 0x0060},
        {0x007B, 0x007B},
        {0xFF40, 0xFF40},
        {0xFF5B, 0xFF5B},
        {0x0000, 0x0000},
        {0xFFFF, 0xFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<int>(c.mapped), static_cast<int>(toUpperChar(c.unit)))
            << std::hex << "U+" << static_cast<int>(c.unit);
    }
}

TEST(TextServicesCompare, TextEquals) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    };
    const Case cases[] = {
        {L"item", L"item", true}, {L"item", L"Item", false}, {L"item", L"items", false}, {nullptr, L"", true},
        {L"", nullptr, true},     {nullptr, nullptr, true},  {nullptr, L"a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.equal, textEquals(c.a, c.b)) << (c.a ? c.a : L"(null)") << " / " << (c.b ? c.b : L"(null)");
    }
}

TEST(TextServicesCompare, TextEqualsNoCaseAndExactFlag) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
        int exact;
    };
    const Case cases[] = {
        {L"Item", L"Item", true, 1},      {L"Item", L"ITEM", true, 0},
        {L"ITEM", L"item", true, 0},      {L"Item", L"Items", false, 0},
        {L"Items", L"Item", false, 0},    {L"", nullptr, true, 1},
        {nullptr, nullptr, true, 1},      {L"a", nullptr, false, 0},
        {L"\u00DF", L"SS", false, 0},      // one unit never matches two
        {L"\u00FF", L"\u0178", true, 0},   // y with diaeresis folds outside Latin-1
        {L"\u01C5", L"\u01C4", false, 0},  // a title-case unit is not folded
        {L"\u03C2", L"\u03A3", false, 0},  // final sigma is not sigma
        {L"\u03C3", L"\u03A3", true, 0},  {L"\u0435", L"\u0415", true, 0},
        {L"\uFF41", L"\uFF21", true, 0},
    };
    for (const Case& c : cases) {
        lastCompareExact = 1 - c.exact;
        EXPECT_EQ(c.equal, textEqualsNoCase(c.a, c.b)) << (c.a ? c.a : L"(null)") << " / " << (c.b ? c.b : L"(null)");
        EXPECT_EQ(c.exact, lastCompareExact) << (c.a ? c.a : L"(null)") << " / " << (c.b ? c.b : L"(null)");
    }
}

TEST(TextServicesSearch, FindInWholeTexts) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        int exact;
        int folded;
    };
    const Case cases[] = {
        {L"hello world", L"world", 6, 6},
        {L"hello world", L"WORLD", -1, 6},
        {L"Hello", L"hello", -1, 0},
        {L"aaab", L"aab", 1, 1},
        {L"abcabc", L"cab", 2, 2},
        {L"abc", L"abc", 0, 0},
        {L"abc", L"abcd", -1, -1},
        {L"abc", L"", -1, -1},
        {L"", L"", -1, -1},
        {L"", L"a", -1, -1},
        {nullptr, L"a", -1, -1},
        {L"a", nullptr, -1, -1},
        {L"x\u0431y", L"\u0411", -1, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.exact, textFind(c.text, c.pattern)) << (c.text ? c.text : L"(null)");
        EXPECT_EQ(c.folded, textFindNoCase(c.text, c.pattern)) << (c.text ? c.text : L"(null)");
    }
}

TEST(TextServicesSearch, LengthsBoundTheSearch) {
    EXPECT_EQ(-1, findSubstring(L"abcdef", L"def", 5, 3));
    EXPECT_EQ(3, findSubstring(L"abcdef", L"def", 6, 3));
    EXPECT_EQ(3, findSubstring(L"abcdef", L"dxx", 6, 1));
    EXPECT_EQ(-1, findSubstring(L"abcdef", L"a", 6, 0));
    EXPECT_EQ(-1, findSubstringNoCase(L"abcDEF", L"def", 5, 3));
    EXPECT_EQ(3, findSubstringNoCase(L"abcDEF", L"dXX", 6, 1));
    // The text need not be terminated within its length.
    const wchar_t units[] = {L'a', L'b', L'c'};
    EXPECT_EQ(2, findSubstring(units, L"c", 3, 1));
}

// A whole-word hit has no word unit on either side; a later hit counts when an earlier
// one is inside a word.
TEST(TextServicesSearch, FindWholeWords) {
    struct Case {
        const wchar_t* text;
        const wchar_t* pattern;
        int exact;
        int folded;
    };
    const Case cases[] = {
        {L"Midnight Rain", L"Rai", -1, -1},
        {L"Midnight Rain", L"Rain", 9, 9},
        {L"Midnight Rain", L"rain", -1, 9},
        {L"Rain", L"Rain", 0, 0},
        {L"Rainy Rain", L"Rain", 6, 6},
        {L"Rain_x Rain1 (Rain)", L"Rain", 14, 14},
        {L"a.Rain,b", L"Rain", 2, 2},
        {L"x=\"Rain\"", L"Rain", 3, 3},
        {L"Rainé Rain×", L"Rain", 6, 6},
        {L"Rain· Rain÷", L"Rain", 6, 6},
        {L"дождь дождьи", L"дождь", 0, 0},
        {L"дождьи", L"дождь", -1, -1},
        {L"中文 中", L"中", 3, 3},
        {L"a—Rain", L"Rain", 2, 2},
        {L"Rain", L"", -1, -1},
        {nullptr, L"Rain", -1, -1},
        {L"Rain", nullptr, -1, -1},
        // The units around the hit decide, whatever the pattern starts or ends with.
        {L"a Rain b", L" Rain ", -1, -1},
        {L"; Rain .", L" Rain ", 1, 1},
        {L"aa Rain", L"a Rain", -1, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.exact, findWholeWord(c.text, c.pattern, true)) << (c.text ? c.text : L"(null)");
        EXPECT_EQ(c.folded, findWholeWord(c.text, c.pattern, false)) << (c.text ? c.text : L"(null)");
    }
}

constexpr wchar_t kUntouched = 0xEEEE;

TEST(TextServicesCopy, CopyBoundedDropsBlanksAndStopsAtN) {
    struct Case {
        const wchar_t* source;
        int n;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"New York", 20, L"NewYork"},
        {L"New York", 3, L"New"},
        {L"New York", 4, L"NewY"},
        {L"\t a\r\nb\x01\x1F c ", 10, L"abc"},
        {L"abc", 0, L""},
        {L"   ", 5, L""},
        {nullptr, 5, L""},
    };
    for (const Case& c : cases) {
        wchar_t target[32];
        std::fill(std::begin(target), std::end(target), kUntouched);
        const int length = static_cast<int>(wcslen(c.expected));
        EXPECT_EQ(length, copyBounded(target, c.source, c.n)) << c.expected;
        EXPECT_EQ(std::wstring(c.expected), std::wstring(target)) << c.expected;
        // Nothing past the terminator; with a short source not even up to n.
        EXPECT_EQ(kUntouched, target[length + 1]) << c.expected;
    }
}

TEST(TextServicesCopy, TrimBlanksMovesStartAndCutsEnd) {
    struct Case {
        const wchar_t* text;
        const wchar_t* expected;
        int skipped;
    };
    const Case cases[] = {
        {L"  ab c \t\r\n", L"ab c", 2}, {L"abc", L"abc", 0}, {L"\x01x\x1F", L"x", 1},
        {L"\r\n\r\n", L"", 4},          {L"", L"", 0},
    };
    for (const Case& c : cases) {
        std::wstring buffer(c.text);
        wchar_t* start = &buffer[0];
        wchar_t* text = start;
        EXPECT_EQ(static_cast<int>(wcslen(c.expected)), trimBlanks(text)) << c.expected;
        EXPECT_EQ(c.skipped, text - start) << c.expected;
        EXPECT_EQ(std::wstring(c.expected), std::wstring(text)) << c.expected;
    }
    wchar_t* missing = nullptr;
    EXPECT_EQ(0, trimBlanks(missing));
    EXPECT_EQ(nullptr, missing);
}

TEST(TextServicesCopy, DetectLineEndByFirstBreak) {
    struct Case {
        const wchar_t* units;
        int count;  // -1: the whole text
        int kind;
    };
    const Case cases[] = {
        {L"a\r\nb\nc", -1, 1},
        {L"a\nb\r\n", -1, 2},
        // A lone CR decides even when LF follows later.
        {L"a\rb\nc\r\n", -1, 3},
        {L"abc", -1, 0},
        {L"", -1, 0},
        {L"ab\r", -1, 3},
        {L"\n\r", -1, 2},
        // The LF lies outside the buffer.
        {L"a\r\n", 2, 3},
        {L"ab\ncd", 2, 0},
    };
    for (const Case& c : cases) {
        const int count = c.count < 0 ? static_cast<int>(wcslen(c.units)) : c.count;
        EXPECT_EQ(c.kind, detectLineEnd(c.units, count)) << "case with " << count << " units";
    }
    EXPECT_EQ(0, detectLineEnd(nullptr, 4));
}

TEST(TextServicesCopy, RemoveCharClosesGapsWithoutTerminator) {
    struct Case {
        const wchar_t* units;
        int count;
        wchar_t removed;
        const wchar_t* after;  // the whole buffer afterwards
        int newCount;
    };
    const Case cases[] = {
        {L"a\rb\r\r", 5, L'\r', L"abb\r\r", 2}, {L"a-b-", 4, L'-', L"abb-", 2}, {L"abc", 3, L'x', L"abc", 3},
        {L"xxx", 3, L'x', L"xxx", 0},           {L"a-b-", 2, L'-', L"a-b-", 1},
    };
    for (const Case& c : cases) {
        std::wstring buffer(c.units);
        EXPECT_EQ(c.newCount, removeChar(&buffer[0], c.count, c.removed)) << c.after;
        EXPECT_EQ(std::wstring(c.after), buffer);
    }
}

TEST(TextServicesAppend, SingleCalls) {
    struct Case {
        const wchar_t* initial;
        int capacity;
        int mode;
        int count;
        const wchar_t* texts[3];
        const wchar_t* expected;
        int added;
    };
    const Case cases[] = {
        {L"old", 20, 1, 3, {L"ab", L"cd", L"ef"}, L"abcdef", 6},
        {L"old", 20, 1, 3, {nullptr, L"", L"ef"}, L"ef", 2},
        {L"", 5, 1, 2, {L"abc", L"def"}, L"abcde", 5},
        {L"", 3, 1, 1, {L"abc"}, L"abc", 3},
        {L"xy", 20, 2, 2, {L"z", L"w"}, L"xyzw", 2},
        {L"xy", 3, 2, 1, {L"zw"}, L"xyz", 1},
        {L"xyz", 3, 2, 1, {L"w"}, L"xyz", 0},
        {L"", 20, 2, 1, {L"ab"}, L"ab", 2},
        {L"old", 20, 1, 1, {nullptr}, L"", 0},
    };
    for (const Case& c : cases) {
        wchar_t target[32];
        std::fill(std::begin(target), std::end(target), kUntouched);
        wcscpy(target, c.initial);
        EXPECT_EQ(c.added, appendStrings(target, c.capacity, c.mode, c.count, c.texts[0], c.texts[1], c.texts[2]))
            << c.expected;
        EXPECT_EQ(std::wstring(c.expected), std::wstring(target));
        // The terminator may sit at the capacity, never after it.
        EXPECT_EQ(kUntouched, target[c.capacity + 1]) << c.expected;
    }
}

TEST(TextServicesAppend, RefusedCallsWriteNothing) {
    wchar_t target[8] = L"keep";
    EXPECT_EQ(0, appendStrings(nullptr, 8, 1, 1, L"ab"));
    EXPECT_EQ(0, appendStrings(target, 0, 1, 1, L"ab"));
    EXPECT_EQ(0, appendStrings(target, 8, 1, 0, L"ab"));
    EXPECT_EQ(std::wstring(L"keep"), std::wstring(target));
}

TEST(TextServicesAppend, OtherModesContinueOnTheSameTarget) {
    wchar_t target[16];
    appendStrings(target, 15, 1, 1, L"ab");
    EXPECT_EQ(2, appendStrings(target, 15, 0, 1, L"cd"));
    EXPECT_EQ(1, appendStrings(target, 15, 3, 2, nullptr, L"e"));
    EXPECT_EQ(std::wstring(L"abcde"), std::wstring(target));
}

TEST(TextServicesAppend, ContinuationStopsAtCapacity) {
    wchar_t target[8];
    std::fill(std::begin(target), std::end(target), kUntouched);
    appendStrings(target, 4, 1, 1, L"abc");
    EXPECT_EQ(1, appendStrings(target, 4, 0, 1, L"de"));
    EXPECT_EQ(0, appendStrings(target, 4, 0, 1, L"f"));
    EXPECT_EQ(std::wstring(L"abcd"), std::wstring(target));
    EXPECT_EQ(kUntouched, target[5]);
}

TEST(TextServicesAppend, ContinuationRestartsWhenTheTargetChanged) {
    wchar_t first[16];
    wchar_t second[16] = L"zz";
    appendStrings(first, 15, 1, 1, L"ab");
    // Another target: the remembered position is not its own.
    EXPECT_EQ(1, appendStrings(second, 15, 0, 1, L"c"));
    EXPECT_EQ(std::wstring(L"c"), std::wstring(second));

    // The caller wrote past the remembered end, so it no longer holds the terminator.
    appendStrings(first, 15, 1, 1, L"ab");
    wcscat(first, L"X");
    EXPECT_EQ(1, appendStrings(first, 15, 0, 1, L"c"));
    EXPECT_EQ(std::wstring(L"c"), std::wstring(first));

    // The caller emptied the target.
    appendStrings(first, 15, 1, 1, L"ab");
    first[0] = 0;
    EXPECT_EQ(1, appendStrings(first, 15, 0, 1, L"d"));
    EXPECT_EQ(std::wstring(L"d"), std::wstring(first));
}

TEST(TextServicesHash, HashName) {
    struct Case {
        const wchar_t* text;
        int caseSensitive;
        uint32_t hash;
    };
    const Case cases[] = {
        {L"A", 1, 65},
        {L"AB", 1, 2471},
        {L"AB", 0, 2471},
        {L"ab", 0, 2471},
        {L"ab", 1, 3687},
        {L"element", 1, 534497042},
        {L"element", 0, 2049951894},
        {L"Item", 1, 3860319},
        {L"Item", 0, 3815295},
        // Long enough for the bits above 32 to flow back through the shift.
        {L"DocumentElementWithAVeryLongName", 1, 1838718769},
        {L"abcdefghijklmnopqrstuvwxyz", 1, 2517211658u},
        {L"abcdefghijklmnopqrstuvwxyz", 0, 3446674052u},
        {L"", 1, 0},
        {L"", 0, 0},
        {nullptr, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.hash, hashName(c.text, c.caseSensitive)) << (c.text ? c.text : L"(null)") << " " << c.caseSensitive;
    }
}

TEST(TextServicesHash, FoldingCoversEveryUnit) {
    EXPECT_EQ(hashName(L"\u00C9T\u00C9", 1), hashName(L"\u00E9t\u00E9", 0));
    EXPECT_NE(hashName(L"\u00C9T\u00C9", 1), hashName(L"\u00E9t\u00E9", 1));
    EXPECT_NE(hashName(L"\u0411\u0430", 1), hashName(L"\u0431\u0430", 0));
    EXPECT_EQ(hashName(L"\u0411\u0410", 1), hashName(L"\u0431\u0430", 0));
}

TEST(TextServicesHash, HashNameN) {
    struct Case {
        const wchar_t* units;
        int count;
        int caseSensitive;
        uint32_t hash;
    };
    const Case cases[] = {
        {L"ABC", 2, 1, 2471}, {L"abc", 2, 0, 2471}, {L"elementary", 7, 1, 534497042},
        {L"A", 1, 1, 65},     {L"ABC", 0, 1, 0},    {L"", 3, 1, 0},
        {nullptr, 3, 1, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.hash, hashNameN(c.units, c.count, c.caseSensitive)) << (c.units ? c.units : L"(null)");
    }
    // Exactly count units are taken, even past a terminator after the first unit.
    const wchar_t units[] = {L'A', 0, L'B'};
    EXPECT_EQ(89051u, hashNameN(units, 3, 1));
}

TEST(TextServicesHash, HashAttributeName) {
    struct Case {
        const wchar_t* text;
        int caseSensitive;
        uint16_t hash;
        int rest;
    };
    const Case cases[] = {
        {L"A", 1, 65, 0},
        {L"AB", 1, 1301, 1},
        {L"ab", 0, 1301, 1},
        {L"attribute", 1, 16788, 8},
        {L"AttributeNameLong", 1, 29023, 16},  // wraps in 16 bits
        {L"", 1, 0, 0},
        {nullptr, 0, 0, 0},
    };
    for (const Case& c : cases) {
        uint16_t hash = 0xBEEF;
        EXPECT_EQ(c.rest, hashAttributeName(c.text, &hash, c.caseSensitive)) << (c.text ? c.text : L"(null)");
        EXPECT_EQ(c.hash, hash) << (c.text ? c.text : L"(null)");
    }
}

TEST(TextServicesHash, AccumulateTextHashesPerMode) {
    struct Case {
        const wchar_t* text;
        uint32_t added[8];  // h37 and h19 for modes 0 to 3
        int count;
    };
    const Case cases[] = {
        {L"ab", {3687, 1941, 3687, 1941, 2471, 1301, 2471, 1301}, 2},
        {L" ab", {47495, 13493, 3687, 1941, 46279, 12853, 2471, 1301}, 2},
        {L"a\tB\r\n", {182340339, 12726951, 3655, 1909, 122367187, 8556679, 2471, 1301}, 2},
        {L"Hello World, this is long",
         {4291362858u, 1423960352, 1278899480, 2796089768u, 3039285819u, 3969865120u, 3929411990u, 1232318760},
         21},
        {L"", {0, 0, 0, 0, 0, 0, 0, 0}, 0},
        {nullptr, {0, 0, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        const uint32_t start[8] = {1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFF};
        uint32_t acc[8];
        std::copy(std::begin(start), std::end(start), acc);
        EXPECT_EQ(c.count, accumulateTextHashes(c.text, acc)) << (c.text ? c.text : L"(null)");
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(static_cast<uint32_t>(start[i] + c.added[i]), acc[i])
                << (c.text ? c.text : L"(null)") << " value " << i;
        }
    }
}

TEST(TextServicesHash, NonBreakingSpaceIsNotWhite) {
    uint32_t plain[8] = {};
    uint32_t spaced[8] = {};
    EXPECT_EQ(2, accumulateTextHashes(L"ab", plain));
    EXPECT_EQ(3, accumulateTextHashes(L"a\u00A0b", spaced));
    EXPECT_NE(plain[2], spaced[2]);
    EXPECT_NE(plain[6], spaced[6]);
}

}  // namespace
