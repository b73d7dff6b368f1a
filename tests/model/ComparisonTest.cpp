#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

struct Counters {
    uint32_t identical;
    uint32_t different;
    uint32_t changed;
    uint32_t ignored;
};

// The options the comparison reads, put back after each test, and the two panels.
class ComparisonTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
    std::vector<XMLTreeItem*> left;
    std::vector<XMLTreeItem*> right;

    void SetUp() override {
        OptionSet::FlagComparsion = 0;
        OptionSet::IgnoreAttributes = 0;
        OptionSet::IgnoreValues = 0;
        OptionSet::UniqueAttributes = 0;
    }

    void TearDown() override {
        applyCompareLevel();
        ignoreList.clear();
        keyElementList = KeyElementList();
        keyAttributeSpec.clear();
    }

    void setOrderAndLevel(int ignoreOrder, int level) {
        OptionSet::IgnoreOrderElements = ignoreOrder;
        OptionSet::CompareLevel = level;
        applyCompareLevel();
    }

    void load(const std::string& leftXml, const std::string& rightXml) {
        ASSERT_EQ(loadXml(leftTreeView, leftXml, dir, L"left.xml"), kLoaded);
        ASSERT_EQ(loadXml(rightTreeView, rightXml, dir, L"right.xml"), kLoaded);
        left = recordsInOrder(leftTreeView);
        right = recordsInOrder(rightTreeView);
    }

    void compare() { compareTrees(left[0], right[0]); }

    Counters counters() const {
        const ComparisonCounters& c = comparisonCounters;
        return {c.identicalCount, c.differentCount, c.changedContentCount, c.ignoredCount};
    }

    // For each left element in document order, the position of its partner among the
    // right elements (-1 none).
    std::vector<int> partners() const {
        std::vector<int> result;
        for (XMLTreeItem* l : left) {
            if (l->isSummary()) continue;
            int found = -1;
            for (size_t j = 0; j < right.size(); ++j) {
                if (l->partner == right[j]) found = static_cast<int>(j);
            }
            result.push_back(found);
            if (found >= 0) {
                EXPECT_EQ(right[static_cast<size_t>(found)]->partner, l) << "partner link is one-way";
            }
        }
        return result;
    }

    static std::vector<int> icons(const std::vector<XMLTreeItem*>& records) {
        std::vector<int> result;
        for (XMLTreeItem* r : records)
            if (!r->isSummary()) result.push_back(r->iconIndex(0));
        return result;
    }
};

void expectCounters(const Counters& actual, const Counters& expected) {
    EXPECT_EQ(actual.identical, expected.identical) << "identical";
    EXPECT_EQ(actual.different, expected.different) << "different";
    EXPECT_EQ(actual.changed, expected.changed) << "changed content";
    EXPECT_EQ(actual.ignored, expected.ignored) << "ignored";
}

struct PairCase {
    const char* what;
    int ignoreOrder;
    int level;
    const char* left;
    const char* right;
    Counters counters;
    std::vector<int> partners;  // per left element: position of the partner on the right, -1 none
    std::vector<int> leftIcons;
    std::vector<int> rightIcons;
    int leftRootFlags;
};

TEST_F(ComparisonTest, DocumentPairsGiveTheirCountersPartnersAndIcons) {
    const char* twoInOrder = "<r><a>1</a><a>2</a></r>";
    const char* twoReversed = "<r><a>2</a><a>1</a></r>";
    const char* groupsLeft = "<r><g><c>1</c><c>2</c><c>3</c></g><g><c>4</c><c>5</c></g></r>";
    const char* groupsRight = "<r><g><c>4</c><c>5</c><c>9</c></g><g><c>1</c><c>2</c><c>3</c><c>8</c></g></r>";
    const PairCase cases[] = {
        {"identical documents",
         1,
         3,
         "<r><a>1</a><b x=\"1\"/></r>",
         "<r><a>1</a><b x=\"1\"/></r>",
         {3, 0, 0, 0},
         {0, 1, 2},
         {0, 6, 6},
         {0, 6, 6},
         1},
        {"childless roots differ by text", 1, 3, "<r>1</r>", "<r>2</r>", {0, 1, 1, 0}, {0}, {7}, {7}, 4},
        {"order kept: k-th with k-th", 0, 3, twoInOrder, twoReversed, {0, 3, 2, 0}, {0, 1, 2}, {2, 7, 7}, {2, 7, 7}, 4},
        {"order ignored: identical found anywhere",
         1,
         0,
         twoInOrder,
         twoReversed,
         {3, 0, 0, 0},
         {0, 2, 1},
         {0, 6, 6},
         {0, 6, 6},
         1},
        {"order kept, fewer on the right",
         0,
         3,
         twoInOrder,
         "<r><a>2</a></r>",
         {0, 2, 1, 0},
         {0, 1, -1},
         {2, 7, 8},
         {2, 7},
         6},
        {"strict level leaves a differing pair apart",
         1,
         0,
         "<r><a>1</a></r>",
         "<r><a>2</a></r>",
         {0, 1, 0, 0},
         {0, -1},
         {2, 8},
         {2, 9},
         2},
        {"last pair is paired at fast level",
         1,
         1,
         "<r><a>1</a></r>",
         "<r><a>2</a></r>",
         {0, 2, 1, 0},
         {0, 1},
         {2, 7},
         {2, 7},
         4},
        {"a leaf against a branch",
         1,
         3,
         "<r><a>1</a></r>",
         "<r><a>1<b/></a></r>",
         {0, 2, 0, 0},
         {0, 1},
         {2, 7},
         {2, 2, 9},
         0},
        {"similarity pairs by the most identical children",
         1,
         2,
         groupsLeft,
         groupsRight,
         {5, 3, 0, 0},
         {0, 5, 6, 7, 8, 1, 2, 3},
         {2, 2, 6, 6, 6, 2, 6, 6},
         {2, 2, 6, 6, 9, 2, 6, 6, 6, 9},
         1},
        {"fast level: too few matched for similarity",
         1,
         1,
         groupsLeft,
         groupsRight,
         {0, 1, 0, 0},
         {0, -1, -1, -1, -1, -1, -1, -1},
         {2, 4, 8, 8, 8, 4, 8, 8},
         {2, 4, 9, 9, 9, 4, 9, 9, 9, 9},
         2},
        {"full level pairs what scores nothing",
         1,
         3,
         "<r><a><b>1</b></a><a><b>2</b></a></r>",
         "<r><a><b>3</b></a><a><b>4</b></a></r>",
         {0, 5, 2, 0},
         {0, 1, 2, 3, 4},
         {2, 2, 7, 2, 7},
         {2, 2, 7, 2, 7},
         4},
    };
    for (const PairCase& c : cases) {
        SCOPED_TRACE(c.what);
        setOrderAndLevel(c.ignoreOrder, c.level);
        load(c.left, c.right);
        compare();
        expectCounters(counters(), c.counters);
        EXPECT_EQ(partners(), c.partners);
        EXPECT_EQ(icons(left), c.leftIcons);
        EXPECT_EQ(icons(right), c.rightIcons);
        EXPECT_EQ(left[0]->differenceFlags, c.leftRootFlags);
    }
}

TEST_F(ComparisonTest, KeyElementsAndTheKeyAttributePairAtStrictLevel) {
    setOrderAndLevel(1, 0);
    const char* itemsLeft = "<r><item><id>1</id><v>a</v></item><item><id>2</id><v>b</v></item></r>";
    const char* itemsRight = "<r><item><id>2</id><v>x</v></item><item><id>1</id><v>y</v></item></r>";
    load(itemsLeft, itemsRight);
    compare();
    EXPECT_EQ(left[1]->partner, nullptr) << "without a key nothing pairs at the strict level";

    ASSERT_TRUE(keyElementList.addPath(L"r>item>id"));
    compare();
    EXPECT_EQ(left[1]->partner, right[4]);
    EXPECT_EQ(left[4]->partner, right[1]);
    EXPECT_EQ(left[2]->partner, right[5]) << "the key children pair as identical";
    EXPECT_EQ(left[3]->partner, nullptr) << "the differing values stay apart at the strict level";
    expectCounters(counters(), {2, 3, 0, 0});

    keyElementList = KeyElementList();
    keyAttributeSpec.parse(L"r>item|k");
    ASSERT_TRUE(keyAttributeSpec.isSet());
    load("<r><item k=\"1\" v=\"a\"/><item k=\"2\" v=\"b\"/></r>",
         "<r><item k=\"2\" v=\"c\"/><item k=\"1\" v=\"d\"/></r>");
    compare();
    EXPECT_EQ(left[1]->partner, right[2]);
    EXPECT_EQ(left[2]->partner, right[1]);
    expectCounters(counters(), {0, 3, 2, 0});

    // Key-only matching: in the key attribute's group nothing pairs after the keys.
    setOrderAndLevel(1, 3);
    load("<r><item k=\"1\"/><item k=\"2\"/></r>", "<r><item k=\"3\"/><item k=\"4\"/></r>");
    compare();
    EXPECT_EQ(left[1]->partner, right[1]);
    OptionSet::UniqueAttributes = 1;
    compare();
    EXPECT_EQ(left[1]->partner, nullptr);
    EXPECT_EQ(left[2]->partner, nullptr);
    expectCounters(counters(), {0, 1, 0, 0});
}

TEST_F(ComparisonTest, IgnoredChildrenAreSkippedAndCounted) {
    for (int order = 0; order <= 1; ++order) {
        SCOPED_TRACE(order);
        setOrderAndLevel(order, 3);
        load("<r><a>1</a><a>2</a></r>", "<r><a>2</a></r>");
        left[1]->ignoreState = 3;
        EXPECT_EQ(left[1]->iconIndex(1), 12);
        compare();
        expectCounters(counters(), {2, 0, 0, 1});
        EXPECT_EQ(left[2]->partner, right[1]);
        EXPECT_EQ(left[1]->partner, nullptr);
        EXPECT_EQ(left[1]->ignoreState, 4);
        EXPECT_EQ(left[1]->iconIndex(0), 13);
        EXPECT_EQ(left[1]->differenceState(), 0);
        EXPECT_EQ(left[0]->descendantCount, 1u);
        EXPECT_EQ(leftTreeView.summaryItem->differenceState(), 0);
    }

    // An entire-element rule hands its state down to the subtree.
    setOrderAndLevel(1, 3);
    load("<r><x><y/><y/></x><a/></r>", "<r><a/></r>");
    ignoreList.addElement(*left[1], false);
    ignoreList.setCurrentMode(0);
    compare();
    expectCounters(counters(), {2, 0, 0, 3});
    EXPECT_EQ(left[2]->ignoreState, 2);
    EXPECT_EQ(left[0]->differenceState(), 0);
}

// A rule that ignores the text makes two texts equal for as long as it stands; the
// hashes of loading stay, so the comparison after the rule is gone sees the texts.
TEST_F(ComparisonTest, AnIgnoredPartStaysInTheRecordForTheNextComparison) {
    setOrderAndLevel(1, 3);
    load("<r><a k=\"1\">one</a></r>", "<r><a k=\"2\">two</a></r>");
    const uint64_t loadedText = left[1]->textHash[0];
    const uint64_t loadedAttributes = left[1]->attributeHash[0];
    ASSERT_NE(loadedText, 0u);

    ignoreList.addElement(*left[1], false);
    ignoreList.setCurrentMode(3);
    compare();
    expectCounters(counters(), {2, 0, 0, 0});
    EXPECT_EQ(left[1]->textHash[0], loadedText);
    EXPECT_EQ(left[1]->attributeHash[0], loadedAttributes);

    ignoreList.addElement(*left[1], false);
    ignoreList.setCurrentMode(1);
    compare();
    expectCounters(counters(), {0, 2, 1, 0});
    EXPECT_EQ(left[1]->iconIndex(0), 7);

    ignoreList.clear();
    compare();
    expectCounters(counters(), {0, 2, 1, 0});
    EXPECT_EQ(left[1]->differenceFlags & 4, 4);
    EXPECT_EQ(left[1]->flags & 0x0F, 0);
}

TEST_F(ComparisonTest, IgnoringAttributesOrTextMakesThoseEqual) {
    setOrderAndLevel(1, 3);
    load("<r><a k=\"1\">x</a></r>", "<r><a k=\"2\">y</a></r>");
    OptionSet::IgnoreAttributes = 1;
    compare();
    expectCounters(counters(), {0, 2, 1, 0});
    OptionSet::IgnoreValues = 1;
    compare();
    expectCounters(counters(), {2, 0, 0, 0});
}

// Words kept apart where text runs meet an inline element are not the same text as words
// that meet; white space at the join is one blank, whatever it was. Only the modes that
// ignore white space take "the module" for "themodule".
TEST_F(ComparisonTest, WordsApartAtAnInlineElementDifferFromWordsThatMeet) {
    const struct {
        const char* what;
        uint32_t flags;  // FlagComparsion
        const char* left;
        const char* right;
        bool textsDiffer;
    } cases[] = {
        {"a blank against none", 0, "<p>the <a/>module</p>", "<p>the<a/>module</p>", true},
        {"a blank against none, case folded", 2, "<p>the <a/>module</p>", "<p>The<a/>Module</p>", true},
        {"a line break against a blank", 0, "<p>the\n  <a/>module</p>", "<p>the <a/> module</p>", false},
        {"white space ignored", 1, "<p>the <a/>module</p>", "<p>the<a/>module</p>", false},
    };
    setOrderAndLevel(1, 3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OptionSet::FlagComparsion = c.flags;
        load(c.left, c.right);
        compare();
        ASSERT_EQ(left[0]->partner, right[0]);
        EXPECT_EQ(left[0]->textDiffers(), c.textsDiffer);
        expectCounters(counters(), c.textsDiffer ? Counters{1, 1, 1, 0} : Counters{2, 0, 0, 0});
    }
}

// Runs of text that stand in other places among an element's children are another text,
// whatever the order option and the mode; the words themselves are read as in any text
// (case, numbers), and white space alone at a child's place is the one blank of the row,
// which the modes that ignore white space leave out as they always have.
TEST_F(ComparisonTest, RunsAroundInlineElementsCompareByTheirPlaces) {
    const struct {
        const char* what;
        int ignoreOrder;
        uint32_t flags;  // FlagComparsion
        int normalizeNumber;
        const char* left;
        const char* right;
        std::vector<bool> textsDiffer;  // per element with text on the left, in document order
    } cases[] = {
        {"a word and a child swapped, order kept",
         0,
         0,
         0,
         "<doc><p>the <b>module</b> is here</p><p>keep <i>this</i> text</p></doc>",
         "<doc><p>the is here <b>module</b></p><p><i>this</i> keep text</p></doc>",
         {true, false, true, false}},
        {"a word and a child swapped, order ignored",
         1,
         0,
         0,
         "<doc><p>the <b>module</b> is here</p><p>keep <i>this</i> text</p></doc>",
         "<doc><p>the is here <b>module</b></p><p><i>this</i> keep text</p></doc>",
         {true, false, true, false}},
        {"a child moved by one word, white space ignored",
         0,
         1,
         0,
         "<r><p>the <b>x</b> module is</p></r>",
         "<r><p>the module <b>x</b> is</p></r>",
         {true, false}},
        {"a child moved by one word, case folded",
         0,
         3,
         0,
         "<r><p>the <b>x</b> module is</p></r>",
         "<r><p>The Module <b>x</b> IS</p></r>",
         {true, false}},
        {"a child moved from the start to the end",
         0,
         0,
         0,
         "<r><p><b>x</b> y z</p></r>",
         "<r><p>y z <b>x</b></p></r>",
         {true, false}},
        {"a child between two runs against two children",
         0,
         0,
         0,
         "<r><p>a <b/> c <b/> d</p></r>",
         "<r><p>a <b/><b/> c d</p></r>",
         {true}},
        {"white space on the other side of a child",
         0,
         0,
         0,
         "<r><p>the <b>x</b>module</p></r>",
         "<r><p>the<b>x</b>\n module</p></r>",
         {false, false}},
        {"white space taken away around a child",
         0,
         0,
         0,
         "<r><p>the <b>x</b> module</p></r>",
         "<r><p>the<b>x</b>module</p></r>",
         {true, false}},
        {"white space taken away, white space ignored",
         0,
         1,
         0,
         "<r><p>the <b>x</b> module</p></r>",
         "<r><p>the<b>x</b>module</p></r>",
         {false, false}},
        {"the same places, case folded",
         0,
         2,
         0,
         "<r><p>The <b>x</b> Module</p></r>",
         "<r><p>the <b>x</b> MODULE</p></r>",
         {false, false}},
        {"the same places, numbers normalised",
         0,
         0,
         1,
         "<r><p>total <b>x</b> 12.50</p></r>",
         "<r><p>total <b>x</b> 12.5</p></r>",
         {true, false}},
        {"a number after a child, normalised",
         0,
         0,
         1,
         "<r><p><b>x</b> 12.50</p></r>",
         "<r><p><b>x</b> 12.5</p></r>",
         {false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setOrderAndLevel(c.ignoreOrder, 3);
        OptionSet::FlagComparsion = c.flags;
        OptionSet::NormalizeNumber = c.normalizeNumber;
        load(c.left, c.right);
        compare();
        std::vector<bool> differ;
        for (XMLTreeItem* l : left) {
            if (l->isSummary() || l->textLength == 0) continue;
            ASSERT_NE(l->partner, nullptr) << narrow(l->nameText());
            differ.push_back(l->textDiffers());
        }
        EXPECT_EQ(differ, c.textsDiffer);
        const bool anyDiffers = std::find(c.textsDiffer.begin(), c.textsDiffer.end(), true) != c.textsDiffer.end();
        EXPECT_EQ(left[0]->equals(right[0]) != 0, !anyDiffers);
        EXPECT_EQ(comparisonCounters.changedContentCount,
                  static_cast<uint32_t>(std::count(c.textsDiffer.begin(), c.textsDiffer.end(), true)));
    }
}

// Similarity scoring reorders the longer group for each candidate in turn; pairing by
// position must use the order of the chosen one.
TEST_F(ComparisonTest, PairingByPositionFollowsTheChosenCandidate) {
    setOrderAndLevel(1, 2);
    load("<r><a><c>1</c><c>2</c><c>3</c><c>4</c></a></r>", "<r><a><c>3</c><c>4</c></a><a><c>1</c></a></r>");
    compare();
    EXPECT_EQ(partners(), (std::vector<int>{0, 1, -1, -1, 2, 3}));
    expectCounters(counters(), {2, 2, 0, 0});
}

TEST_F(ComparisonTest, DeepNestingIsPreparedAndCompared) {
    constexpr int kDepth = 10000;
    std::string xml;
    for (int i = 0; i < kDepth; ++i)
        xml += "<e>";
    xml += "x";
    for (int i = 0; i < kDepth; ++i)
        xml += "</e>";
    setOrderAndLevel(1, 3);
    load(xml, xml);
    compare();
    expectCounters(counters(), {kDepth, 0, 0, 0});
    EXPECT_EQ(left[0]->descendantCount, static_cast<uint32_t>(kDepth - 1));
    EXPECT_EQ(left[kDepth - 1]->partner, right[kDepth - 1]);
}

}  // namespace
