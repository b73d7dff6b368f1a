#include <gtest/gtest.h>

#include <string>

#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"

namespace {

class ItemLinesTest : public ::testing::Test {
protected:
    OptionsSnapshot options;
};

struct LinesCase {
    int fullMode;
    int newLine;
    int attributes;  // units of attribute text
    std::wstring text;
    int total;      // uncapped result
    int itemLines;  // stored height, at most 25 (0 when left untouched)
};

TEST_F(ItemLinesTest, TotalsFollowAttributeAndTextLengths) {
    const LinesCase cases[] = {
        {1, 0, 65, std::wstring(10, L't'), 4, 4},
        {1, 0, 60, std::wstring(10, L't'), 1, 0},  // 70 units in all: one line
        {0, 0, 65, std::wstring(10, L't'), 1, 0},
        {1, 0, 0, std::wstring(140, L't'), 4, 4},
        {1, 1, 0, std::wstring(141, L't'), 3, 3},
        {1, 1, 0, L"a\nb" + std::wstring(70, L' '), 4, 4},
        {1, 0, 16575, L"", 256, 25},  // 16,575 / 65 + 1 would be 256
        {1, 0, 16576, L"", 256, 25},
        {1, 0, 60000, std::wstring(60000, L't'), 511, 25},
    };
    for (const LinesCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "attributes " << c.attributes << " text " << c.text.size());
        OptionSet::DisplayFullMode = c.fullMode;
        OptionSet::HandleNewLine = c.newLine;
        XMLTreeItem item;
        std::wstring attributes(static_cast<size_t>(c.attributes), L'a');
        std::wstring text = c.text;
        if (c.attributes) {
            item.attributes = attributes.data();
            item.attributesLength = static_cast<uint16_t>(c.attributes);
        }
        if (!text.empty()) {
            item.text = text.data();
            item.textLength = static_cast<uint16_t>(text.size());
        }
        EXPECT_EQ(item.computeItemLines(), c.total);
        EXPECT_EQ(item.itemLines, c.itemLines);
        item.attributes = nullptr;
        item.text = nullptr;
    }
}

TEST(CountDisplayLines, BreaksAtLineFeedsAndEverySeventyUnits) {
    const std::pair<std::wstring, int> cases[] = {
        {L"", 1},
        {L"a\nb", 2},
        {std::wstring(70, L'x'), 1},
        {std::wstring(71, L'x'), 2},
        {std::wstring(141, L'x'), 2},
        {std::wstring(142, L'x'), 3},
        {std::wstring(300, L'\n'), 255},
        {std::wstring(254, L'\n'), 255},
        {std::wstring(253, L'\n'), 254},
    };
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(countDisplayLines(text.c_str()), lines) << text.size();
}

TEST(XMLTreeItemText, PositionAndPlaceholderTexts) {
    XMLTreeItem item;
    item.line = 2;
    item.column = 7;
    EXPECT_STREQ(item.positionText(), L"Line 3  Col 7");
    const wchar_t* placeholder = XMLTreeItem::displayText(0);
    EXPECT_EQ(std::wstring(placeholder), std::wstring(320, L' '));
    EXPECT_EQ(XMLTreeItem::displayText(2), placeholder);
    EXPECT_EQ(XMLTreeItem::fromHandle(nullptr, nullptr), nullptr);
}

TEST(XMLTreeItemText, ContainsSearchesNameAttributesAndText) {
    XMLTreeItem item;
    std::wstring text = L"xabcx";
    std::wstring attributes = std::wstring(L"id=") + kAttributeOpenQuote + L"Key" + kAttributeCloseQuote;
    item.text = text.data();
    item.textLength = static_cast<uint16_t>(text.size());
    item.attributes = attributes.data();
    item.attributesLength = static_cast<uint16_t>(attributes.size());
    EXPECT_TRUE(item.contains(L"ABC", 0));
    EXPECT_FALSE(item.contains(L"ABC", 1));
    EXPECT_TRUE(item.contains(L"abc", 1));
    EXPECT_TRUE(item.contains(L"key", 0));
    EXPECT_FALSE(item.contains(L"key", 1));
    EXPECT_FALSE(item.contains(L"zzz", 0));
    // Searched as shown: the quote marks as double quotes, a kept reference with its "&".
    EXPECT_TRUE(item.contains(L"id=\"Key\"", 1));
    text = std::wstring(L"a") + kKeptReferenceMark + L"nbsp;b";
    item.text = text.data();
    item.textLength = static_cast<uint16_t>(text.size());
    EXPECT_TRUE(item.contains(L"a&nbsp;b", 1));
    EXPECT_TRUE(item.contains(L"&NBSP;", 0));
    EXPECT_FALSE(item.contains(L"a&amp;", 1));
    item.text = nullptr;
    item.attributes = nullptr;
}

// Find takes a text as the tree shows it: a kept reference reads "&nbsp;", while a
// character beyond U+FFFF whose second half is the mark's unit (U+10FFFF) is found as
// itself and never as an "&", also where a kept reference follows it at once.
TEST(XMLTreeItemText, ContainsTellsAKeptReferenceFromTheDocumentsOwnCharacters) {
    const std::wstring mark(1, kKeptReferenceMark);
    const std::wstring beyond = L"\xDBFF\xDFFF";  // U+10FFFF
    const std::wstring quoted =
        std::wstring(L"t=") + kAttributeOpenQuote + L"x" + mark + L"nbsp;y" + kAttributeCloseQuote;
    struct Case {
        std::wstring text;
        std::wstring attributes;
        std::wstring search;
        int caseFlag;
        bool found;
    } cases[] = {
        {L"a" + mark + L"nbsp;b", L"", L"a&nbsp;b", 1, true},
        {L"a" + mark + L"nbsp;b", L"", L"&NBSP;", 0, true},
        {L"a" + mark + L"nbsp;b", L"", L"a&amp;", 1, false},
        {L"", quoted, L"t=\"x&nbsp;y\"", 1, true},
        {mark + L"nbsp;" + beyond, L"", L"&nbsp;" + beyond, 1, true},
        {L"a" + beyond + L"b", L"", L"a" + beyond + L"b", 1, true},
        {L"a" + beyond + L"b", L"", L"&", 0, false},
        {beyond + mark + L"nbsp;", L"", beyond + L"&nbsp;", 1, true},
        {beyond + mark + L"nbsp;", L"", L"&", 0, true},
        {L"", L"t=" + std::wstring(1, kAttributeOpenQuote) + beyond + kAttributeCloseQuote, beyond + L"\"", 1, true},
        {L"", L"t=" + std::wstring(1, kAttributeOpenQuote) + beyond + mark + L"nbsp;" + kAttributeCloseQuote,
         L"=\"" + beyond + L"&nbsp;\"", 0, true},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(narrow(c.text + L" | " + c.attributes + L" : " + c.search));
        XMLTreeItem item;
        item.text = c.text.empty() ? nullptr : &c.text[0];
        item.textLength = static_cast<uint16_t>(c.text.size());
        item.attributes = c.attributes.empty() ? nullptr : &c.attributes[0];
        item.attributesLength = static_cast<uint16_t>(c.attributes.size());
        EXPECT_EQ(item.contains(c.search.c_str(), c.caseFlag), c.found);
        item.text = nullptr;
        item.attributes = nullptr;
    }
}

// Find takes a text with children among its runs as the row shows it: the runs joined
// by one blank where white space stood, the children's places not found as characters.
TEST(XMLTreeItemText, ContainsReadsRunsAroundChildrenAsTheRowShowsThem) {
    const std::wstring mark(1, kChildMark);
    const std::wstring kept(1, kKeptReferenceMark);
    struct Case {
        std::wstring text;
        std::wstring search;
        bool found;
    } cases[] = {
        {L"the " + mark + L"is here", L"the is here", true},
        {L"the " + mark + L" is here", L"the is here", true},
        {L"the " + mark + L" is here", L"the  is", false},
        {L"the" + mark + L"module", L"themodule", true},
        {mark + L" tail", L"tail", true},
        {mark + L" tail", L" tail", false},
        {L"a " + mark + L" " + mark + L" c", L"a c", true},
        {L"a" + kept + L"nbsp;" + mark + L" b", L"a&nbsp; b", true},
        {L"the " + mark + L"is", mark, false},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(narrow(c.search));
        XMLTreeItem item;
        item.text = &c.text[0];
        item.textLength = static_cast<uint16_t>(c.text.size());
        EXPECT_EQ(item.contains(c.search.c_str(), 1), c.found);
        item.text = nullptr;
    }
}

}  // namespace
