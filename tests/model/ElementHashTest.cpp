#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/CompareSettings.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

using ModeFlags = std::array<bool, 4>;
constexpr ModeFlags kAll = {true, true, true, true};
constexpr ModeFlags kNone = {false, false, false, false};

// Hashes are made while a document loads: each test loads real documents, with the
// options, rules and key attribute it sets, all put back afterwards.
class ElementHashTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;

    void SetUp() override {
        OptionSet::NormalizeDate = 0;
        OptionSet::NormalizeNumber = 0;
        OptionSet::DecimalPlaces = -1;
        OptionSet::SignificantFigures = 0;
        OptionSet::XMLAttributeCaseSensitive = 0;
        OptionSet::IgnoreNamespaces = 0;
        ignoreList.clear();
        keyAttributeSpec.clear();
    }
    void TearDown() override {
        ignoreList.clear();
        keyAttributeSpec.clear();
        reloadNeeded = false;
    }

    // The children of a root element r, in order.
    std::vector<XMLTreeItem*> children(const std::string& inner) {
        EXPECT_EQ(loadXml(leftTreeView, "<r>" + inner + "</r>", dir), kLoaded);
        auto records = recordsInOrder(leftTreeView);
        std::vector<XMLTreeItem*> out;
        for (XMLTreeItem* record : records) {
            if (record != records.front() && !record->isSummary()) out.push_back(record);
        }
        return out;
    }

    static ModeFlags sameText(const XMLTreeItem* a, const XMLTreeItem* b) {
        ModeFlags same;
        for (int m = 0; m < 4; ++m)
            same[m] = a->textHash[m] == b->textHash[m];
        return same;
    }
    static ModeFlags sameAttributes(const XMLTreeItem* a, const XMLTreeItem* b) {
        ModeFlags same;
        for (int m = 0; m < 4; ++m)
            same[m] = a->attributeHash[m] == b->attributeHash[m];
        return same;
    }
    static bool sameAttributeHashes(const XMLTreeItem* a, const XMLTreeItem* b) {
        return sameAttributes(a, b) == kAll && a->attributeWeight == b->attributeWeight;
    }
};

std::string xmlOf(const wchar_t* text) {
    return narrow(text);
}

struct ModeCase {
    const wchar_t* first;
    const wchar_t* second;
    ModeFlags same;  // per mode: exact, ignore white space, ignore case, both
};

TEST_F(ElementHashTest, TextAndValueHashesForEachMode) {
    const ModeCase cases[] = {
        {L"a b", L"ab", {false, true, false, true}},
        {L"Ab", L"aB", {false, false, true, true}},
        {L"A b", L"ab", {false, false, false, true}},
        {L"a\tb\n c", L"abc", {false, true, false, true}},
        {L"ab", L"abc", kNone},
        {L"ab", L"ba", kNone},
        {L"x y", L"x y", kAll},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(xmlOf(c.first) + " / " + xmlOf(c.second));
        auto e = children("<e>" + xmlOf(c.first) + "</e><e>" + xmlOf(c.second) + "</e>");
        ASSERT_EQ(e.size(), 2u);
        EXPECT_EQ(sameText(e[0], e[1]), c.same);
        // Weights count the units that are not white space.
        if (c.same[3]) {
            EXPECT_EQ(e[0]->textWeight, e[1]->textWeight);
        }

        // Attribute values hash the same way (tabs and line ends become blanks in values).
        e = children("<e v='" + xmlOf(c.first) + "'/><e v='" + xmlOf(c.second) + "'/>");
        EXPECT_EQ(sameAttributes(e[0], e[1]), c.same);
    }
}

// Regression: a product XOR of name and value hashes makes one-unit names and values
// add nothing, so x="1" and x="2" compared equal.
TEST_F(ElementHashTest, AttributeHashesNeverCancel) {
    const std::pair<const char*, const char*> differing[] = {
        {"x='1'", "x='2'"},      {"x='1'", "y='1'"},
        {"a='b'", "b='a'"},      {"x='1'", ""},
        {"x='1'", "x='1' y=''"}, {"x='12' y='3'", "x='1' y='23'"},
        {"x='1' y='1'", ""},     {"x='1' y='2'", "x='2' y='1'"},
    };
    for (const auto& [first, second] : differing) {
        SCOPED_TRACE(std::string(first) + " / " + second);
        auto e = children(std::string("<e ") + first + "/><e " + second + "/>");
        EXPECT_EQ(sameAttributes(e[0], e[1]), kNone);
    }

    // The sum does not depend on the order, nor (by default) on the case of names.
    const std::pair<const char*, const char*> equal[] = {
        {"a='1' b='2'", "b='2' a='1'"},
        {"ID='7'", "id='7'"},
    };
    for (const auto& [first, second] : equal) {
        SCOPED_TRACE(std::string(first) + " / " + second);
        auto e = children(std::string("<e ") + first + "/><e " + second + "/>");
        EXPECT_TRUE(sameAttributeHashes(e[0], e[1]));
    }
    OptionSet::XMLAttributeCaseSensitive = 1;
    auto e = children("<e ID='7'/><e id='7'/>");
    EXPECT_EQ(sameAttributes(e[0], e[1]), kNone);
}

TEST_F(ElementHashTest, WeightsCountNamesAndValues) {
    auto e = children("<e name='a b'/><e n='' m='xyz'>a b c</e>");
    EXPECT_EQ(e[0]->attributeWeight, 4 + 3 + 2);
    EXPECT_EQ(e[1]->attributeWeight, (1 + 3) + (1 + 3 + 3));
    EXPECT_EQ(e[1]->textWeight, 3);
}

TEST_F(ElementHashTest, CommonIgnoredAttributesChangeOnlyTheText) {
    ignoreList.parseCommonAttributes(L"ts rev");
    auto e = children("<e x='1' ts='5'/><e rev='9' x='1' ts='6'/><e x='1'/><e x='2' ts='5'/>");
    EXPECT_TRUE(sameAttributeHashes(e[0], e[1]));
    EXPECT_TRUE(sameAttributeHashes(e[0], e[2]));
    EXPECT_FALSE(sameAttributeHashes(e[0], e[3]));
    EXPECT_NE(attributesOf(e[0]), attributesOf(e[2]));
    EXPECT_EQ(e[0]->flags & 0x10, 0x10);
    EXPECT_EQ(e[1]->flags & 0x10, 0x10);
    EXPECT_EQ(e[2]->flags & 0x10, 0);
}

TEST_F(ElementHashTest, NamedAttributesOfARuleAreLeftOut) {
    struct Case {
        const wchar_t* rule;
        bool eSame;  // e ts='5' against e ts='6'
    };
    const Case cases[] = {
        {L"e 4 ts", true}, {L"r>e 5 ts other", true}, {L"e 4 other", false}, {L"e 2", false}, {L"x>e 4 ts", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.rule));
        ignoreList.clear();
        ASSERT_TRUE(ignoreList.parseRule(c.rule));
        auto e = children("<e x='1' ts='5'/><e x='1' ts='6'/><f x='1' ts='5'/><f x='1' ts='6'/>");
        EXPECT_EQ(sameAttributeHashes(e[0], e[1]), c.eSame);
        EXPECT_FALSE(sameAttributeHashes(e[2], e[3]));
    }
}

// A rule with named attributes and a condition: the hashes with the names left in are
// kept aside in a scratch record until the end tag shows whether the rule applies.
TEST_F(ElementHashTest, ConditionalNamedAttributesUseTheScratchRecord) {
    struct Case {
        const wchar_t* condition;
        const char* first;
        const char* second;
        const char* plain;  // the first's attributes on an element under no rule
        bool same;
    };
    const Case cases[] = {
        {L"k 0 3 0 yes", "<e k='yes' ts='1'/>", "<e k='yes' ts='2'/>", "<g k='yes' ts='1'/>", true},
        {L"k 0 3 0 yes", "<e ts='1' k='yes'/>", "<e ts='2' k='yes'/>", "<g ts='1' k='yes'/>", true},
        {L"k 0 3 0 yes", "<e k='no' ts='1'/>", "<e k='no' ts='2'/>", "<g k='no' ts='1'/>", false},
        {L"k 1 3 0 yes", "<e k='no' ts='1'/>", "<e k='no' ts='2'/>", "<g k='no' ts='1'/>", true},
        {L"k 0 3 0 yes", "<e ts='1'/>", "<e ts='2'/>", "<g ts='1'/>", false},
        {L"k 0 3 1 yes", "<e ts='1'/>", "<e ts='2'/>", "<g ts='1'/>", true},
        {L"$TEXT$ 0 3 0 skip", "<e ts='1'>skip</e>", "<e ts='2'>skip</e>", "<g ts='1'/>", true},
        {L"$TEXT$ 0 3 0 skip", "<e ts='1'>keep</e>", "<e ts='2'>keep</e>", "<g ts='1'/>", false},
        {L"$TEXT$ 0 3 1 skip", "<e ts='1'><c/></e>", "<e ts='2'><c/></e>", "<g ts='1'/>", true},
        {L"$TEXT$ 0 3 0 skip", "<e ts='1'><c/></e>", "<e ts='2'><c/></e>", "<g ts='1'/>", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.condition) + " " + c.first + " " + c.second);
        ignoreList.clear();
        ASSERT_TRUE(ignoreList.parseRule(L"e 4 ts"));
        ASSERT_TRUE(ignoreList.parseCondition(c.condition));
        auto all = children(std::string(c.first) + c.second + c.plain);
        std::vector<XMLTreeItem*> e;
        XMLTreeItem* plain = nullptr;
        for (XMLTreeItem* r : all) {
            if (narrow(r->nameText()) == "e") e.push_back(r);
            if (narrow(r->nameText()) == "g") plain = r;
            EXPECT_EQ(r->partner, nullptr);
        }
        ASSERT_EQ(e.size(), 2u);
        ASSERT_NE(plain, nullptr);
        EXPECT_EQ(sameAttributeHashes(e[0], e[1]), c.same);
        // Where the rule does not apply, the element keeps every attribute.
        if (!c.same) {
            EXPECT_TRUE(sameAttributeHashes(e[0], plain));
        }
    }
}

TEST_F(ElementHashTest, DatesHashAsTheirValue) {
    // ISO dates read the same in every locale.
    struct Case {
        int flags;  // 0 date and time, 1 time only, 2 date only
        const char* first;
        const char* second;
        bool same;
    };
    const Case cases[] = {
        {0, "2024-01-15", "2024-1-15", true},
        {0, "2024-01-15", "2024-01-15 00:00:00", true},
        {0, "2024-01-15", "2024-01-16", false},
        {0, "2024-01-15 10:30:00", "2024-01-15 11:00:00", false},
        {1, "2024-01-15 10:30:00", "2023-05-01 10:30:00", true},
        {2, "2024-01-15 10:30:00", "2024-01-15 11:00:00", true},
        {2, "2024-01-15", "2024-01-16", false},
    };
    OptionSet::NormalizeDate = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " " << c.first << " / " << c.second);
        OptionSet::FlagNormalizeDate = c.flags;
        auto e = children(std::string("<d>") + c.first + "</d><d>" + c.second + "</d><d v='" + c.first + "'/><d v='" +
                          c.second + "'/>");
        EXPECT_EQ(sameText(e[0], e[1]), c.same ? kAll : kNone);
        EXPECT_EQ(e[0]->textWeight, 10);
        EXPECT_EQ(e[1]->textWeight, 10);
        EXPECT_EQ(sameAttributes(e[2], e[3]), c.same ? kAll : kNone);
        EXPECT_EQ(e[2]->attributeWeight, 6 + 1 + 3);
    }

    // The DATE's own bits, in every mode: days since 30 December 1899.
    OptionSet::FlagNormalizeDate = 0;
    auto e = children("<d>2024-01-15</d><d>1/2/3</d><d>1/2/03</d>");
    const double days = 45306.0;
    uint64_t bits;
    std::memcpy(&bits, &days, sizeof(bits));
    for (int m = 0; m < 4; ++m)
        EXPECT_EQ(e[0]->textHash[m], bits) << m;
    // Five units are never read as a date; six may be.
    EXPECT_EQ(e[1]->textWeight, 5);
    EXPECT_EQ(e[2]->textWeight, 10);

    OptionSet::NormalizeDate = 0;
    e = children("<d>2024-01-15</d><d>2024-1-15</d>");
    EXPECT_EQ(sameText(e[0], e[1]), kNone);
    EXPECT_EQ(e[0]->textWeight, 10);
}

TEST_F(ElementHashTest, NumbersHashInTheirCanonicalForm) {
    struct Case {
        int decimalPlaces;
        int significantFigures;
        const char* first;
        const char* second;
        bool same;
    };
    const Case cases[] = {
        {-1, 0, "1,000.50", "1000.5", true},
        {-1, 0, "1000.5", "1.0005E3", true},
        {-1, 0, "1000.5", "1000.6", false},
        {1, 0, "1.25", "1.29", true},
        {1, 0, "1.25", "1.3", false},
        {-1, 3, "0.0001234", "1.239e-4", true},
        {-1, 0, "1,000 apples", "1000 apples", false},
    };
    OptionSet::NormalizeNumber = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " / " << c.second);
        OptionSet::DecimalPlaces = c.decimalPlaces;
        OptionSet::SignificantFigures = c.significantFigures;
        auto e = children(std::string("<n>") + c.first + "</n><n>" + c.second + "</n><n v='" + c.first + "'/><n v='" +
                          c.second + "'/>");
        EXPECT_EQ(sameText(e[0], e[1]), c.same ? kAll : kNone);
        EXPECT_EQ(sameAttributes(e[2], e[3]), c.same ? kAll : kNone);
        if (c.same) {
            EXPECT_EQ(e[0]->textWeight, e[1]->textWeight);
        }
    }
    // The canonical form's units are what counts.
    OptionSet::DecimalPlaces = -1;
    OptionSet::SignificantFigures = 0;
    auto e = children("<n>1,000.50</n>");
    EXPECT_EQ(e[0]->textWeight, 8);  // 1.0005E3

    OptionSet::NormalizeNumber = 0;
    e = children("<n>1,000.50</n><n>1000.5</n>");
    EXPECT_EQ(sameText(e[0], e[1]), kNone);
}

TEST_F(ElementHashTest, KeyAttributeBlockOnlyOnTheKeyElement) {
    keyAttributeSpec.parse(L"r>e|id");
    auto e = children("<e id='1' x='a'/><e x='b' id='1'/><e id='2'/><e ID='1'/><f id='1'/><g><e id='1'/></g><e/>");
    ASSERT_EQ(e.size(), 8u);
    XMLTreeItem* nested = e[6];
    for (int i : {0, 1, 2, 3})
        EXPECT_NE(e[i]->keyAttributeHash, nullptr) << i;
    EXPECT_EQ(e[4]->keyAttributeHash, nullptr);
    EXPECT_EQ(nested->keyAttributeHash, nullptr);
    EXPECT_EQ(e[7]->keyAttributeHash, nullptr);

    for (int mode = 0; mode < 4; ++mode) {
        SCOPED_TRACE(mode);
        compareSettings.mode = mode;
        EXPECT_TRUE(e[0]->keyAttributeEquals(*e[1]));
        EXPECT_TRUE(e[0]->keyAttributeEquals(*e[3]));
        EXPECT_FALSE(e[0]->keyAttributeEquals(*e[2]));
        EXPECT_FALSE(e[0]->keyAttributeEquals(*e[4]));
        EXPECT_FALSE(e[7]->keyAttributeEquals(*e[7]));
    }

    // The block follows the value's mode hashes too.
    e = children("<e id='A b'/><e id='ab'/>");
    std::array<bool, 4> same;
    for (int m = 0; m < 4; ++m)
        same[m] = e[0]->keyAttributeHash[m] == e[1]->keyAttributeHash[m];
    EXPECT_EQ(same, (ModeFlags{false, false, false, true}));
}

TEST_F(ElementHashTest, CaptureTakesTheComparisonOptions) {
    uint32_t flags = OptionSet::FlagComparsion;
    int32_t attributes = OptionSet::IgnoreAttributes;
    int32_t values = OptionSet::IgnoreValues;
    int32_t unique = OptionSet::UniqueAttributes;
    OptionSet::FlagComparsion = 2;
    OptionSet::IgnoreAttributes = 1;
    OptionSet::IgnoreValues = 0;
    OptionSet::UniqueAttributes = 1;
    captureCompareSettings();
    EXPECT_EQ(compareSettings.mode, 2);
    EXPECT_EQ(compareSettings.ignoreAttributes, 1);
    EXPECT_EQ(compareSettings.ignoreText, 0);
    EXPECT_EQ(compareSettings.uniqueAttributes, 1);
    OptionSet::FlagComparsion = flags;
    OptionSet::IgnoreAttributes = attributes;
    OptionSet::IgnoreValues = values;
    OptionSet::UniqueAttributes = unique;
}

// Which fields each record test reads: one field of the second record is changed and
// every test is asked again, with attributes and text counted or ignored.
enum class Part { kNone, kAttributes, kText };

struct FieldCase {
    const char* change;
    Part part;
    std::function<void(XMLTreeItem&)> apply;
    bool contentHash;   // contentHash stays equal
    bool keyValueHash;  // keyValueHash stays equal while the part counts
    bool equal;         // attributesEqual or textEqual, for the part, still holds
    bool ownDiffers;    // attributesDiffer or textDiffers, for the part, now holds
};

TEST(RecordTests, EachTestReadsItsOwnFields) {
    const int m = 1;
    const FieldCase cases[] = {
        {"nothing", Part::kNone, [](XMLTreeItem&) {}, true, true, true, false},
        {"text hash, high half", Part::kText, [](XMLTreeItem& r) { r.textHash[m] += 1ull << 40; }, true, true, false,
         true},
        {"text hash, low half", Part::kText, [](XMLTreeItem& r) { r.textHash[m] += 1; }, false, false, false, true},
        {"text hash of another mode", Part::kText, [](XMLTreeItem& r) { r.textHash[0] += 1; }, true, true, true, false},
        {"attribute hash, high half", Part::kAttributes, [](XMLTreeItem& r) { r.attributeHash[m] += 1ull << 40; }, true,
         true, false, true},
        {"attribute hash, low half", Part::kAttributes, [](XMLTreeItem& r) { r.attributeHash[m] += 1; }, false, false,
         false, true},
        {"attribute hash of another mode", Part::kAttributes, [](XMLTreeItem& r) { r.attributeHash[3] += 1; }, true,
         true, true, false},
        {"text weight", Part::kText, [](XMLTreeItem& r) { r.textWeight += 1; }, true, true, false, true},
        {"attribute weight", Part::kAttributes, [](XMLTreeItem& r) { r.attributeWeight += 1; }, true, true, false,
         true},
        {"subtree text signature", Part::kText, [](XMLTreeItem& r) { r.subtreeTextSignature += 1; }, false, false,
         false, false},
        {"subtree text signature, high half", Part::kText, [](XMLTreeItem& r) { r.subtreeTextSignature += 1ull << 40; },
         true, true, false, false},
        {"subtree attribute signature", Part::kAttributes, [](XMLTreeItem& r) { r.subtreeAttributeSignature += 1; },
         false, false, false, false},
        {"subtree text weight", Part::kText, [](XMLTreeItem& r) { r.subtreeTextWeight += 1; }, true, true, false,
         false},
        {"subtree attribute weight", Part::kAttributes, [](XMLTreeItem& r) { r.subtreeAttributeWeight += 1; }, true,
         true, false, false},
        {"structure signature", Part::kNone, [](XMLTreeItem& r) { r.structureSignature += 1; }, false, false, true,
         false},
        {"structure signature, high half", Part::kNone, [](XMLTreeItem& r) { r.structureSignature += 1ull << 40; },
         true, true, true, false},
        {"path hash", Part::kNone, [](XMLTreeItem& r) { r.pathHash += 1; }, false, false, true, false},
    };
    CompareSettings saved = compareSettings;
    for (int ignore = 0; ignore < 4; ++ignore) {
        const bool ignoreAttributes = (ignore & 1) != 0;
        const bool ignoreText = (ignore & 2) != 0;
        compareSettings = {m, ignoreAttributes, ignoreText, 0};
        for (const FieldCase& c : cases) {
            SCOPED_TRACE(testing::Message() << c.change << (ignoreAttributes ? ", attributes ignored" : "")
                                            << (ignoreText ? ", text ignored" : ""));
            XMLTreeItem a;
            XMLTreeItem b;
            for (XMLTreeItem* r : {&a, &b}) {
                for (int i = 0; i < 4; ++i) {
                    r->textHash[i] = 0x1111222233334444ull * (i + 1);
                    r->attributeHash[i] = 0x5555666677778888ull * (i + 1);
                }
                r->subtreeTextSignature = 0x0123456789ABCDEFull;
                r->subtreeAttributeSignature = 0x0FEDCBA987654321ull;
                r->structureSignature = 0x1357913579135791ull;
                r->pathHash = 77;
                r->textWeight = 5;
                r->attributeWeight = 6;
                r->subtreeTextWeight = 7;
                r->subtreeAttributeWeight = 8;
            }
            c.apply(b);
            const bool ignored =
                (c.part == Part::kAttributes && ignoreAttributes) || (c.part == Part::kText && ignoreText);
            const bool ownDiffers = c.ownDiffers && !ignored;
            EXPECT_EQ(a.contentHash() == b.contentHash(), c.contentHash);
            EXPECT_EQ(a.keyValueHash() == b.keyValueHash(), c.keyValueHash || ignored);
            EXPECT_EQ(a.attributesEqual(b), c.part != Part::kAttributes || c.equal || ignoreAttributes);
            EXPECT_EQ(a.textEqual(b), c.part != Part::kText || c.equal || ignoreText);
            EXPECT_EQ(a.sameOwnContent(&b), !ownDiffers);
            a.partner = &b;
            EXPECT_EQ(a.attributesDiffer(), c.part == Part::kAttributes && ownDiffers);
            EXPECT_EQ(a.textDiffers(), c.part == Part::kText && ownDiffers);
            a.partner = nullptr;
            EXPECT_FALSE(a.attributesDiffer());
            EXPECT_FALSE(a.textDiffers());
            EXPECT_FALSE(a.sameOwnContent(nullptr));
        }
    }
    compareSettings = saved;
}

TEST(RecordTests, SameOwnContentNeedsTheSameName) {
    TempDir dir;
    TestPanels panels;
    ASSERT_EQ(loadXml(leftTreeView, "<r><a>t</a><b>t</b><a>t<c/></a></r>", dir), kLoaded);
    auto records = recordsInOrder(leftTreeView);
    CompareSettings saved = compareSettings;
    compareSettings = {0, 0, 0, 0};
    EXPECT_FALSE(records[1]->sameOwnContent(records[2]));
    EXPECT_TRUE(records[1]->sameOwnContent(records[3]));  // children are not considered
    compareSettings = saved;
}

}  // namespace
