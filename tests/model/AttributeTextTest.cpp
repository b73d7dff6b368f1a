#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "model/Comparison.h"
#include "model/DocumentHandlers.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// The names of an element's attributes as its attribute text holds them, each with the
// length of its value: "a(3) b(1) ".
std::string keptAttributes(const XMLTreeItem& element) {
    std::string out;
    const bool whole = element.forEachAttribute([&](const wchar_t* name, int nameLength, const wchar_t*, int length) {
        out += narrow(std::wstring(name, static_cast<size_t>(nameLength))) + "(" + std::to_string(length) + ") ";
        return true;
    });
    EXPECT_TRUE(whole);
    return out;
}

std::string withValues(std::initializer_list<std::pair<const char*, size_t>> attributes) {
    std::string out;
    for (const auto& [name, length] : attributes)
        out += std::string(" ") + name + "=\"" + std::string(length, 'v') + "\"";
    return out;
}

class AttributeTextTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
};

// An element's attribute text (name, "=", the quote marks, the value, a blank between two)
// holds whole attributes only, 65,535 units of them at most.
TEST_F(AttributeTextTest, AStartTagKeepsWholeAttributesUpToTheRecordsLimit) {
    const struct {
        const char* what;
        std::string attributes;
        std::string kept;
        uint32_t length;   // of the attribute text
        const char* lost;  // the attributes the note names, "" when the note is empty
    } cases[] = {
        {"one attribute of exactly 65,535 units", withValues({{"a", 65531}}), "a(65531) ", 65535, ""},
        {"one unit more", withValues({{"a", 65532}}), "", 0, "a"},
        {"two attributes and their blank at exactly the limit", withValues({{"a", 30000}, {"b", 35526}}),
         "a(30000) b(35526) ", 65535, ""},
        {"the second one unit past it, a short one after", withValues({{"a", 30000}, {"b", 35527}, {"c", 1}}),
         "a(30000) c(1) ", 30010, "b"},
        {"several left out", withValues({{"a", 60000}, {"b", 6000}, {"c", 7000}, {"d", 2}}), "a(60000) d(2) ", 60011,
         "b, c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(loadXml(leftTreeView, "<r><e" + c.attributes + "/></r>", dir), kLoaded);
        std::vector<XMLTreeItem*> records = recordsInOrder(leftTreeView);
        ASSERT_GE(records.size(), 2u);
        const XMLTreeItem& e = *records[1];
        EXPECT_EQ(keptAttributes(e), c.kept);
        EXPECT_EQ(e.attributesLength, c.length);
        EXPECT_EQ(e.attributes == nullptr, c.length == 0);
        const std::string note = narrow(countHandlers.lostAttributesNote);
        if (c.lost[0] == 0)
            EXPECT_EQ(note, "");
        else
            EXPECT_NE(note.find(std::string("element e at line 1 lost ") + c.lost), std::string::npos) << note;
    }
}

// The note names the first few elements and attributes and counts the rest.
TEST_F(AttributeTextTest, TheNoteNamesTheElementsAndCountsTheRest) {
    std::string manyNames;
    for (int i = 0; i < 10; ++i)
        manyNames += " n" + std::to_string(i) + "=\"" + std::string(7000, 'v') + "\"";
    std::string xml = "<r>\n<e1" + withValues({{"a", 65531}}) + "/>\n<e2" + manyNames + "/>\n";
    for (int i = 0; i < 4; ++i)
        xml += "<more" + withValues({{"b", 65532}}) + "/>\n";
    xml += "</r>";
    ASSERT_EQ(loadXml(leftTreeView, xml, dir), kLoaded);
    // e1 keeps its one attribute; e2 the first nine of its ten (63,053 units).
    EXPECT_EQ(narrow(countHandlers.lostAttributesNote),
              "Loaded without some attributes too long to keep: element e2 at line 3 "
              "lost n9; element more at line 4 lost b; element more at line 5 lost b; 2 more elements");
}

// The comparison sees the attributes that the tree shows: one left out on both sides is
// no difference, one kept is.
TEST_F(AttributeTextTest, TheComparisonSeesTheAttributesTheTreeShows) {
    OptionSet::FlagComparsion = 0;
    OptionSet::IgnoreAttributes = 0;
    const std::string a = " a=\"" + std::string(40000, 'a') + "\"";
    const struct {
        const char* what;
        std::string right;
        bool differ;
    } cases[] = {
        {"the left-out attribute differs", "<r><e" + a + " b=\"" + std::string(40000, 'B') + "\" c=\"1\"/></r>", false},
        {"the left-out attribute is missing", "<r><e" + a + " c=\"1\"/></r>", false},
        {"a kept attribute differs", "<r><e" + a + " b=\"" + std::string(40000, 'b') + "\" c=\"2\"/></r>", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(loadXml(leftTreeView, "<r><e" + a + " b=\"" + std::string(40000, 'b') + "\" c=\"1\"/></r>", dir,
                          L"left.xml"),
                  kLoaded);
        ASSERT_EQ(loadXml(rightTreeView, c.right, dir, L"right.xml"), kLoaded);
        std::vector<XMLTreeItem*> left = recordsInOrder(leftTreeView);
        std::vector<XMLTreeItem*> right = recordsInOrder(rightTreeView);
        compareTrees(left[0], right[0]);
        ASSERT_EQ(left[1]->partner, right[1]);
        EXPECT_EQ(left[1]->attributesDiffer(), c.differ);
    }
}

}  // namespace
