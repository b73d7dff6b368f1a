#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/CompareSettings.h"
#include "model/IgnoreList.h"
#include "model/TextDiffArea.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// Each test loads one element per side and makes the two partners itself; options,
// rules and the comparison settings are put back afterwards.
class TextDiffAreaTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    TextDiffArea area;
    OptionsSnapshot options;

    void SetUp() override {
        OptionSet::HighlightChars = 0;
        OptionSet::NormalizeNumber = 0;
        OptionSet::NormalizeDate = 0;
        OptionSet::DecimalPlaces = -1;
        OptionSet::SignificantFigures = 0;
        OptionSet::XMLAttributeCaseSensitive = 0;
        compareSettings = {0, 0, 0, 0};
        ignoreList.clear();
    }
    void TearDown() override {
        ignoreList.clear();
        reloadNeeded = false;
    }

    // Loads one element per side, pairs them and prepares the area.
    XMLTreeItem* pair(const std::string& left, const std::string& right, uint8_t extraFlags = 0) {
        EXPECT_EQ(loadXml(leftTreeView, left, dir, L"left.xml"), kLoaded);
        EXPECT_EQ(loadXml(rightTreeView, right, dir, L"right.xml"), kLoaded);
        XMLTreeItem* element = recordsInOrder(leftTreeView).front();
        XMLTreeItem* partner = recordsInOrder(rightTreeView).front();
        element->partner = partner;
        partner->partner = element;
        element->flags |= extraFlags;
        partner->flags |= extraFlags;
        area.prepare(element, true);
        return element;
    }

    // The text with its ranges drawn in: [changed value], {differs}, <ignored>.
    std::string render(const wchar_t* text, uint32_t length, const AttributeList& half) const {
        std::wstring out;
        std::vector<int> opens(length + 1, -1);
        std::vector<int> closes(length + 1, -1);
        for (uint32_t r = 0; r < half.rangeCount; ++r) {
            uint32_t start = area.rangeStarts[r];
            uint32_t end = start + area.rangeLengths[r];
            EXPECT_LE(end, length) << "range " << r;
            if (end > length) continue;
            opens[start] = area.rangeColours[r];
            closes[end] = area.rangeColours[r];
        }
        static const wchar_t kOpen[] = L"?[{<";
        static const wchar_t kClose[] = L"?]}>";
        for (uint32_t k = 0; k <= length; ++k) {
            if (closes[k] >= 0) out += kClose[closes[k]];
            if (opens[k] >= 0) out += kOpen[opens[k]];
            if (k < length) out += displayQuote(text[k]);
        }
        return narrow(out);
    }
    std::string attributeRanges(const AttributeList& half) const {
        return render(half.element->attributes, half.element->attributesLength, half);
    }
    std::string textRanges(const AttributeList& half) const {
        return render(half.element->text, half.element->textLength, half);
    }
};

struct AttributeCase {
    int chars;  // "HighlightChars"
    int mode;
    const char* left;
    const char* right;
    const char* leftRanges;
    const char* rightRanges;
};

TEST_F(TextDiffAreaTest, AttributesArePairedByNameAndMarked) {
    const AttributeCase cases[] = {
        {0, 0, "<e a='1' b='2'/>", "<e a='1' b='3'/>", "a=\"1\" b=\"[2]\"", "a=\"1\" b=\"[3]\""},
        {1, 0, "<e a='1' b='2'/>", "<e a='1' b='3'/>", "a=\"1\" b=\"{2}\"", "a=\"1\" b=\"{3}\""},
        {0, 0, "<e a='1' c='x'/>", "<e a='2' d='y'/>", "a=\"[1]\" {c=\"x\"}", "a=\"[2]\" {d=\"y\"}"},
        {0, 0, "<e b='2' a='1'/>", "<e a='1' b='2'/>", "b=\"2\" a=\"1\"", "a=\"1\" b=\"2\""},
        {1, 0, "<e v='abcdef'/>", "<e v='abXdef'/>", "v=\"ab{c}def\"", "v=\"ab{X}def\""},
        {1, 0, "<e v='abc'/>", "<e v=''/>", "v=\"{abc}\"", "v=\"\""},
        {1, 0, "<e v='hello world'/>", "<e v='hello brave world'/>", "v=\"hello world\"", "v=\"hello {brave }world\""},
        {1, 2, "<e v='ABC'/>", "<e v='abc'/>", "v=\"ABC\"", "v=\"abc\""},
        {0, 2, "<e v='ABC'/>", "<e v='abd'/>", "v=\"[ABC]\"", "v=\"[abd]\""},
        {1, 0, "<e v='ABC'/>", "<e v='abc'/>", "v=\"{ABC}\"", "v=\"{abc}\""},
        {0, 1, "<e v='a b'/>", "<e v='ab'/>", "v=\"a b\"", "v=\"ab\""},
        {0, 0, "<e ID='1'/>", "<e id='1'/>", "ID=\"1\"", "id=\"1\""},
        {0, 0, "<e ab='1'/>", "<e a='1' b='1'/>", "{ab=\"1\"}", "{a=\"1\"} {b=\"1\"}"},
    };
    for (const AttributeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chars << " " << c.mode << " " << c.left << " / " << c.right);
        OptionSet::HighlightChars = c.chars;
        compareSettings.mode = c.mode;
        pair(c.left, c.right);
        ASSERT_EQ(area.paired, 1);
        area.first.markAttributeDifferences(&area.second);
        EXPECT_EQ(attributeRanges(area.first), c.leftRanges);
        area.second.markAttributeDifferences(&area.first);
        EXPECT_EQ(attributeRanges(area.second), c.rightRanges);
    }
}

TEST_F(TextDiffAreaTest, IgnoredAttributesAreMarkedApart) {
    ignoreList.parseCommonAttributes(L"ts");
    pair("<e a='1' ts='5'/>", "<e a='2' ts='6'/>");
    area.first.markAttributeDifferences(&area.second);
    EXPECT_EQ(attributeRanges(area.first), "a=\"[1]\" <ts=\"5\">");

    // The named attributes of the element's rule, once the rule's mode is on the flags.
    ignoreList.clear();
    ASSERT_TRUE(ignoreList.parseRule(L"e 4 ts"));
    pair("<e ts='5' a='1'/>", "<e a='1'/>", 0x04);
    area.first.markAttributeDifferences(&area.second);
    EXPECT_EQ(attributeRanges(area.first), "<ts=\"5\"> a=\"1\"");
    pair("<e ts='5' a='1'/>", "<e a='1'/>");
    area.first.markAttributeDifferences(&area.second);
    EXPECT_EQ(attributeRanges(area.first), "{ts=\"5\"} a=\"1\"");

    // With the element's attributes ignored nothing is marked.
    pair("<e a='1' x='2'/>", "<e a='2'/>", 0x02);
    EXPECT_EQ(area.first.markAttributeDifferences(&area.second), 0u);
}

TEST_F(TextDiffAreaTest, ValuesEqualAfterNormalisationAreNotChanged) {
    struct Case {
        int number;
        int date;
        const char* left;
        const char* right;
        bool changed;
    };
    const Case cases[] = {
        {1, 0, "<e n='1,000.50'/>", "<e n='1000.5'/>", false},
        {1, 0, "<e n='1.0005E3'/>", "<e n='1000.5'/>", false},
        {0, 0, "<e n='1,000.50'/>", "<e n='1000.5'/>", true},
        {1, 0, "<e n='1000.51'/>", "<e n='1000.5'/>", true},
        {0, 1, "<e d='2024-01-15'/>", "<e d='2024-1-15'/>", false},
        {0, 1, "<e d='2024-01-15'/>", "<e d='2024-01-16'/>", true},
        {1, 1, "<e d='2024-01-15' n='2.50'/>", "<e n='2.5' d='2024-01-15 00:00:00'/>", false},
    };
    OptionSet::FlagNormalizeDate = 0;
    for (int chars = 0; chars < 2; ++chars) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << chars << " " << c.left << " / " << c.right);
            OptionSet::HighlightChars = chars;
            OptionSet::NormalizeNumber = c.number;
            OptionSet::NormalizeDate = c.date;
            pair(c.left, c.right);
            EXPECT_EQ(area.first.markAttributeDifferences(&area.second) != 0, c.changed);
            wchar_t changed[64];
            EXPECT_EQ(area.first.changedAttributesText(changed, 64, false) != 0, c.changed);
        }
    }
    // The element's own text goes by its load-time hashes.
    OptionSet::NormalizeNumber = 1;
    pair("<e>1,000.50</e>", "<e>1000.5</e>");
    EXPECT_EQ(area.first.markTextDifferences(&area.second), 0u);
}

struct TextCase {
    int chars;
    const char* left;
    const char* right;  // null: the partner has no text
    const char* ranges;
};

TEST_F(TextDiffAreaTest, TextDifferencesByCharacterAndByWord) {
    const TextCase cases[] = {
        {1, "abcdef", "abXdef", "ab{c}def"},
        {1, "abcdef", "abdef", "ab{c}def"},
        {1, "abdef", "abcdef", "abdef"},
        {1, "abc", nullptr, "{abc}"},
        {1, "hello world", "hello brave world", "hello world"},
        {0, "price: 10.5 EUR", "price: 10.5 USD", "price: 10.5 {EUR}"},
        {0, "price: 10.5 EUR", "price: 10,5 EUR", "price: 10{.}5 EUR"},
        {0, "the quick brown fox", "the quick red fox", "the quick {brown} fox"},
        {0, "one two three", "one three", "one {two} three"},
        {0, "a b c", nullptr, "{a} {b} {c}"},
        // A word matched out of step is kept pending and confirmed by the next match.
        {0, "a b c d", "a x b y c d", "a b c d"},
        {0, "a b c", "a x b y", "a b {c}"},
        {0, "Grüße Welt", "Grüsse Welt", "{Grüße} Welt"},
        // From U+0100 on, the parser's name characters are word characters.
        {0, "a→b", "a→c", "a→{b}"},
        {0, "a→b", "a=b", "a{→}b"},
        {0, "Ωmega beta", "Ωmeg beta", "{Ωmega} beta"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chars << " " << c.left << " / " << (c.right ? c.right : "(none)"));
        OptionSet::HighlightChars = c.chars;
        std::string right = c.right == nullptr ? "<e/>" : std::string("<e>") + c.right + "</e>";
        pair(std::string("<e>") + c.left + "</e>", right);
        area.first.markTextDifferences(&area.second);
        EXPECT_EQ(textRanges(area.first), c.ranges);
    }
}

TEST_F(TextDiffAreaTest, TextIsNotMarkedWhenEqualOrIgnored) {
    pair("<e>same</e>", "<e>same</e>");
    EXPECT_EQ(area.first.markTextDifferences(&area.second), 0u);
    pair("<e>one</e>", "<e>two</e>", 0x01);
    EXPECT_EQ(area.first.markTextDifferences(&area.second), 0u);
    // The partner's ignored text counts as none: every word differs.
    pair("<e>one two</e>", "<e>one</e>");
    recordsInOrder(rightTreeView).front()->flags |= 0x01;
    area.first.markTextDifferences(&area.second);
    EXPECT_EQ(textRanges(area.first), "{one} {two}");
    // Without a partner the area is not paired and the halves are empty.
    XMLTreeItem* element = recordsInOrder(leftTreeView).front();
    element->partner->partner = nullptr;
    element->partner = nullptr;
    area.prepare(element, true);
    EXPECT_EQ(area.paired, 0);
    EXPECT_EQ(area.first.markTextDifferences(&area.second), 0u);
    EXPECT_EQ(area.first.markAttributeDifferences(&area.second), 0u);
}

TEST_F(TextDiffAreaTest, RangesMergeAndStopAtTheLimit) {
    pair("<e/>", "<e/>");
    AttributeList& half = area.first;
    EXPECT_TRUE(half.pushRange(0, 2, kRangeDiffers));
    EXPECT_TRUE(half.pushRange(2, 3, kRangeDiffers));
    EXPECT_TRUE(half.pushRange(5, 1, kRangeChangedValue));
    ASSERT_EQ(half.rangeCount, 2u);
    EXPECT_EQ(area.rangeLengths[0], 5);
    EXPECT_EQ(area.rangeStarts[1], 5);

    half.rangeCount = 0;
    for (uint32_t k = 0; k < kMaxDiffRanges - 1; ++k)
        EXPECT_TRUE(half.pushRange(2 * k, 1, kRangeDiffers));
    EXPECT_FALSE(half.pushRange(2 * 399, 1, kRangeDiffers));
    EXPECT_FALSE(half.pushRange(2 * 400, 1, kRangeDiffers));
    EXPECT_FALSE(half.pushRange(2 * 400 + 1, 7, kRangeDiffers));
    EXPECT_EQ(half.rangeCount, kMaxDiffRanges);
    EXPECT_EQ(area.rangeStarts[399], 798);
    EXPECT_EQ(area.rangeLengths[399], 1);
    EXPECT_EQ(area.rangeLengths[0], 1);  // the array that follows the starts
    EXPECT_EQ(area.rangeColours[0], kRangeDiffers);

    // A text of 500 differing words gives the first 400 of them.
    std::string words;
    for (int k = 0; k < 500; ++k)
        words += "w ";
    pair("<e>" + words + "</e>", "<e/>");
    EXPECT_EQ(area.first.markTextDifferences(&area.second), kMaxDiffRanges);
    EXPECT_EQ(area.rangeStarts[399], 798);
    EXPECT_EQ(area.rangeLengths[0], 1);
}

TEST_F(TextDiffAreaTest, WordsAndAttributesStopAtTheirLimits) {
    std::wstring text;
    for (int k = 0; k < 5000; ++k)
        text += L"ab ";
    auto tokens = std::make_unique<TokenList>(text.c_str());
    EXPECT_EQ(tokens->count, kMaxWordTokens);
    EXPECT_EQ(tokens->tokens[kMaxWordTokens - 1].start, 3 * (kMaxWordTokens - 1));
    EXPECT_EQ(tokens->tokens[kMaxWordTokens - 1].length, 2);

    std::string many = "<e";
    for (int k = 0; k < 450; ++k)
        many += " a" + std::to_string(k) + "='" + std::to_string(k) + "'";
    pair(many + "/>", "<e/>");
    EXPECT_EQ(area.first.entryCount, kMaxDiffAttributes);
    EXPECT_EQ(area.first.markAttributeDifferences(&area.second), kMaxDiffAttributes);
    const AttributeEntry& last = area.first.entries[kMaxDiffAttributes - 1];
    EXPECT_EQ(narrow(std::wstring(last.start, last.nameLength - 2)), "a399");
}

TEST_F(TextDiffAreaTest, ChangedAttributesTextListsChangedAndUnpaired) {
    pair("<e xmlns='urn:x' a='1' b='2' c='3' xmlns:p='urn:p'/>", "<e xmlns='urn:x' a='1' b='9' d='4'/>");
    area.first.markAttributeDifferences(&area.second);
    wchar_t out[4096];
    auto q = [](const std::string& s) {
        std::string r;
        for (char ch : s)
            r += ch == '\'' ? '"' : ch;
        return r;
    };
    auto shown = [&](uint32_t length) {
        std::wstring w(out, length);
        for (wchar_t& ch : w)
            ch = displayQuote(ch);
        EXPECT_EQ(out[length], 0);
        return narrow(w);
    };
    EXPECT_EQ(shown(area.first.changedAttributesText(out, 4096, false)), q(" b='2' c='3' xmlns:p='urn:p'"));
    EXPECT_EQ(shown(area.first.changedAttributesText(out, 4096, true)),
              q(" xmlns='urn:x' b='2' c='3' xmlns:p='urn:p'"));
    EXPECT_EQ(shown(area.second.changedAttributesText(out, 4096, false)), q(" b='9' d='4'"));
}

TEST_F(TextDiffAreaTest, ChangedAttributesTextNeverPassesItsBuffer) {
    // Entries of 600 units with their blank: the seventh would pass 4,096 units and is
    // left out whole; a short one after it still fits.
    std::string left = "<e";
    std::string right = "<e";
    const std::string value(594, 'v');
    for (int k = 0; k < 8; ++k) {
        left += " a" + std::to_string(k) + "='" + value + "'";
        right += " a" + std::to_string(k) + "='x'";
    }
    pair(left + " z='1'/>", right + " z='2'/>");
    area.first.markAttributeDifferences(&area.second);
    constexpr uint32_t kCapacity = 4096;
    std::vector<wchar_t> out(kCapacity + 64, L'#');
    const uint32_t length = area.first.changedAttributesText(out.data(), kCapacity, false);
    EXPECT_EQ(length, 6u * 600 + 6);
    EXPECT_EQ(out[length], 0);
    EXPECT_EQ(narrow(std::wstring(out.data() + 6 * 600, 3)), " z=");
    for (uint32_t k = length + 1; k < out.size(); ++k)
        ASSERT_EQ(out[k], L'#') << k;

    // A tiny buffer takes what fits and stays terminated.
    wchar_t small[4] = {L'#', L'#', L'#', L'#'};
    EXPECT_EQ(area.first.changedAttributesText(small, 4, false), 0u);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(area.first.changedAttributesText(small, 0, false), 0u);
}

}  // namespace
