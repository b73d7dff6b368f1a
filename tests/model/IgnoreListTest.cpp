#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/IgnoreList.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// The list is process-wide: each test starts and ends with it empty.
class IgnoreListTest : public ::testing::Test {
protected:
    TempDir dir;
    OptionsSnapshot options;

    void SetUp() override {
        ignoreList.clear();
        reloadNeeded = false;
    }
    void TearDown() override {
        ignoreList.clear();
        reloadNeeded = false;
    }

    // Feeds the rows of a list file to the list, as the file reader does.
    void readRows(const std::string& text) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            std::string row = text.substr(start, end - start);
            start = end + 2;
            size_t equals = row.find('=');
            ASSERT_NE(equals, std::string::npos) << row;
            std::string key = row.substr(0, equals);
            std::wstring value = widen(row.substr(equals + 1));
            if (key == "IgnoreElement")
                ignoreList.parseRule(value.c_str());
            else if (key == "Condition")
                ignoreList.parseCondition(value.c_str());
            else if (key == "CommonIgnoredAttributes")
                ignoreList.parseCommonAttributes(value.c_str());
            else
                ADD_FAILURE() << "unknown row " << row;
        }
    }

    // Writes the list's rows with their keywords, as the list-file writer does.
    std::string writeRows() {
        HANDLE file = CreateFileW(dir.file(L"rows.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        for (uint32_t i = 0; i < ignoreList.count; ++i) {
            writeText(file, L"IgnoreElement=", -1);
            if (ignoreList.writeRule(file, i)) {
                writeText(file, L"Condition=", -1);
                ignoreList.writeCondition(file, i);
            }
        }
        if (ignoreList.commonAttributes.attributeCount != 0) {
            writeText(file, L"CommonIgnoredAttributes=", -1);
            ignoreList.writeCommonAttributes(file);
        }
        CloseHandle(file);
        return dir.read(L"rows.txt");
    }

    static std::string pathOf(uint32_t index) { return narrow(ignoreList.rules[index]->path.get()); }
};

int32_t attributeId(const wchar_t* name) {
    return static_cast<int32_t>(hashName(name, OptionSet::XMLAttributeCaseSensitive));
}

// An element of a path, made without a tree: only its name id and path hash matter.
struct PathElement {
    std::vector<std::unique_ptr<XMLTreeItem>> steps;
    explicit PathElement(const std::vector<const wchar_t*>& names) {
        int32_t hash = 0;
        for (const wchar_t* name : names) {
            steps.push_back(std::make_unique<XMLTreeItem>(name, nullptr, nullptr, hash, 1, 1));
            hash = steps.back()->pathHash;
        }
    }
    XMLTreeItem& operator*() const { return *steps.back(); }
};

TEST_F(IgnoreListTest, RowsRoundTripByteForByte) {
    const std::string rows =
        "IgnoreElement=b\r\n"
        "IgnoreElement=a>c 1\r\n"
        "IgnoreElement=a>d 3\r\n"
        "IgnoreElement=a>b>e 4 id  name\r\n"
        "IgnoreElement=f 5 x\ty z \r\n"
        "Condition=$TEXT$ 0 4 0 abc\r\n"
        "IgnoreElement=h 2\r\n"
        "Condition=price 1 3 1 0\r\n"
        "IgnoreElement=g 0\r\n"
        "CommonIgnoredAttributes=ts  rev\r\n";
    readRows(rows);
    ASSERT_EQ(ignoreList.count, 7u);
    // Mode 0 is written without its number.
    EXPECT_EQ(writeRows(), rows.substr(0, rows.find("IgnoreElement=g 0")) + "IgnoreElement=g\r\n" +
                               "CommonIgnoredAttributes=ts  rev\r\n");
}

TEST_F(IgnoreListTest, RowValuesAreNormalisedWhereTheirFormAllows) {
    struct Case {
        std::string rows;
        std::string written;
    };
    const Case cases[] = {
        {"IgnoreElement=  a>\tb   2  \r\n", "IgnoreElement=a>b 2\r\n"},
        {"IgnoreElement=a>b 4\r\n", "IgnoreElement=a>b 4 \r\n"},
        {"IgnoreElement=a>b 4   \r\n", "IgnoreElement=a>b 4 \r\n"},
        {"IgnoreElement=a 005\r\n", "IgnoreElement=a 5 \r\n"},
        {"IgnoreElement=c\r\nCondition=  city   0 3 0 New York\r\n",
         "IgnoreElement=c\r\nCondition=city 0 3 0 NewYork\r\n"},
        {"IgnoreElement=c\r\nCondition=$TEXT$ 1 2 0 -5\r\n", "IgnoreElement=c\r\nCondition=$TEXT$ 1 2 0 -5\r\n"},
        {"IgnoreElement=c\r\nCondition=$text$ 0 3 0 v\r\n", "IgnoreElement=c\r\nCondition=$text$ 0 3 0 v\r\n"},
        {"IgnoreElement=c\r\nCondition=k 2 4 9 " + std::string(31, 'v') + "\r\n",
         "IgnoreElement=c\r\nCondition=k 1 4 1 " + std::string(31, 'v') + "\r\n"},
        // The attribute's whole name is kept: a cut one would match no attribute.
        {"IgnoreElement=c\r\nCondition=" + std::string(60, 'n') + " 0 3 0 v\r\n",
         "IgnoreElement=c\r\nCondition=" + std::string(60, 'n') + " 0 3 0 v\r\n"},
        {"IgnoreElement=c\r\nCondition=" + std::string(259, 'n') + " 0 3 0 v\r\n",
         "IgnoreElement=c\r\nCondition=" + std::string(259, 'n') + " 0 3 0 v\r\n"},
        {"IgnoreElement=c\r\nCondition=" + std::string(260, 'n') + " 0 3 0 v\r\n", "IgnoreElement=c\r\n"},
        {"IgnoreElement=p 4 " + std::string(5000, 'q') + "\r\n",
         "IgnoreElement=p 4 " + std::string(5000, 'q') + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows.substr(0, 80));
        ignoreList.clear();
        readRows(c.rows);
        EXPECT_EQ(writeRows(), c.written);
    }
}

TEST_F(IgnoreListTest, MalformedRowsChangeNothing) {
    readRows("IgnoreElement=b\r\n");
    const std::wstring refused[] = {
        L"", L"   \t ", L"b", L"x>b", L"x>b 1", L"a 6", L"a 9", L"a 12", L"a 256", L"a x", L"a -1",
    };
    for (const std::wstring& value : refused) {
        SCOPED_TRACE(narrow(value));
        EXPECT_FALSE(ignoreList.parseRule(value.c_str()));
        EXPECT_EQ(ignoreList.count, 1u);
        EXPECT_EQ(ignoreList.currentRule, ignoreList.rules[0].get());
    }
    EXPECT_FALSE(ignoreList.parseRule(nullptr));

    // A condition after a refused row goes to the rule before it.
    readRows("IgnoreElement=b 7\r\nCondition=$TEXT$ 0 3 0 v\r\n");
    EXPECT_NE(ignoreList.rules[0]->condition.get(), nullptr);

    // Conditions that cannot be kept as written are refused and set nothing: without a value,
    // cut short, a value longer than the condition holds, a test that is not one of the known.
    ignoreList.clear();
    readRows("IgnoreElement=b\r\n");
    const std::wstring conditions[] = {
        L"$TEXT$ 0 4 0",
        L"$TEXT$ 0 4 0 ",
        L"$TEXT$ 0 4 0 \t  ",
        L"$TEXT$ 0 4",
        L"$TEXT$",
        L"",
        L"   ",
        L"$TEXT$ 0 4 0 " + std::wstring(IgnoreCondition::kValueUnits, L'v'),
        L"k 0 7 0 v",
        L"k 1 9 0 v",
        L"k 0 x 0 v",
        L"k 0 10 0 v",
        L"k 00 3 0 v",
    };
    for (const std::wstring& value : conditions) {
        SCOPED_TRACE(narrow(value));
        EXPECT_FALSE(ignoreList.parseCondition(value.c_str()));
        EXPECT_EQ(ignoreList.rules[0]->condition.get(), nullptr);
    }
    EXPECT_FALSE(ignoreList.parseCondition(nullptr));
    ignoreList.clear();
    EXPECT_FALSE(ignoreList.parseCondition(L"$TEXT$ 0 4 0 abc"));
}

TEST_F(IgnoreListTest, PathRulesAndShortNameRules) {
    // b alone covers every b, so a>b is already present.
    readRows("IgnoreElement=b\r\n");
    EXPECT_FALSE(ignoreList.parseRule(L"a>b"));
    ignoreList.clear();
    // a>b first leaves room for the rule by name.
    readRows("IgnoreElement=a>b\r\nIgnoreElement=b\r\n");
    ASSERT_EQ(ignoreList.count, 2u);
    const IgnoreRule& full = *ignoreList.rules[0];
    const IgnoreRule& byName = *ignoreList.rules[1];
    EXPECT_EQ(byName.pathHash, byName.nameId);
    EXPECT_EQ(full.nameId, byName.nameId);

    PathElement ab({L"a", L"b"});
    PathElement xb({L"x", L"b"});
    PathElement ac({L"a", L"c"});
    EXPECT_EQ(full.pathHash, static_cast<uint32_t>((*ab).pathHash));
    EXPECT_EQ(ignoreList.indexOf(full.nameId, full.pathHash), 0);
    EXPECT_EQ(ignoreList.indexOf(full.nameId, static_cast<uint32_t>((*xb).pathHash)), 1);

    // The current rule answers while it matches, even with an earlier match in the list.
    EXPECT_EQ(ignoreList.ruleFor(*xb), &byName);
    EXPECT_EQ(ignoreList.ruleFor(*ab), &byName);
    EXPECT_EQ(ignoreList.ruleFor(*ac), nullptr);
    EXPECT_EQ(ignoreList.currentRule, nullptr);
    EXPECT_EQ(ignoreList.ruleFor(*ab), &full);
    EXPECT_EQ(ignoreList.currentRule, &full);

    // Adding an element that a rule already covers makes that rule current.
    PathElement yb({L"y", L"b"});
    EXPECT_EQ(ignoreList.addElement(*yb, true), 1);
    EXPECT_EQ(ignoreList.currentRule, &byName);
    EXPECT_EQ(ignoreList.count, 2u);
    int index = ignoreList.addElement(*ac, false);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(pathOf(2), "c");
    EXPECT_EQ(ignoreList.rules[2]->pathHash, ignoreList.rules[2]->nameId);

    ignoreList.removeElement(*ab);
    ASSERT_EQ(ignoreList.count, 2u);
    EXPECT_EQ(pathOf(0), "c");
    EXPECT_EQ(ignoreList.ruleFor(*ab), &byName);
}

TEST_F(IgnoreListTest, RulesFromElementsTakeTheirPathAndMode) {
    TestPanels panels;
    ASSERT_EQ(loadXml(leftTreeView, "<r><a><b/></a></r>", dir), kLoaded);
    auto records = recordsInOrder(leftTreeView);
    XMLTreeItem& b = *records[2];
    b.flags = 0x45;  // mode 5 left by the last rule that applied
    ASSERT_EQ(ignoreList.addElement(b, true), 0);
    EXPECT_EQ(pathOf(0), "r>a>b");
    EXPECT_EQ(ignoreList.rules[0]->mode, 5);
    EXPECT_EQ(ignoreList.rules[0]->pathHash, static_cast<uint32_t>(b.pathHash));
    EXPECT_EQ(writeRows(), "IgnoreElement=r>a>b 5 \r\n");
    // Its row reads back to the same place.
    ignoreList.clear();
    readRows("IgnoreElement=r>a>b\r\n");
    EXPECT_EQ(ignoreList.ruleFor(b), ignoreList.rules[0].get());
    EXPECT_EQ(ignoreList.ruleFor(*records[1]), nullptr);
}

TEST_F(IgnoreListTest, RemovalMovesTheLastRuleIntoTheHole) {
    readRows("IgnoreElement=a\r\nIgnoreElement=b 4 id\r\nIgnoreElement=c 1\r\n");
    reloadNeeded = false;
    ignoreList.removeAt(0);
    ASSERT_EQ(ignoreList.count, 2u);
    EXPECT_EQ(pathOf(0), "c");
    EXPECT_EQ(pathOf(1), "b");
    EXPECT_EQ(ignoreList.currentRule, nullptr);
    EXPECT_FALSE(reloadNeeded);
    ignoreList.removeAt(2);
    EXPECT_EQ(ignoreList.count, 2u);
    // A rule with named attributes shaped the loaded hashes.
    ignoreList.removeAt(1);
    EXPECT_TRUE(reloadNeeded);
    EXPECT_EQ(writeRows(), "IgnoreElement=c 1\r\n");
}

TEST_F(IgnoreListTest, ClearForgetsRulesAndCommonAttributes) {
    readRows("IgnoreElement=a\r\nIgnoreElement=b 2\r\nCommonIgnoredAttributes=ts\r\n");
    EXPECT_TRUE(ignoreList.isCommonAttribute(attributeId(L"ts")));
    ignoreList.clear();
    EXPECT_EQ(ignoreList.count, 0u);
    EXPECT_EQ(ignoreList.currentRule, nullptr);
    EXPECT_FALSE(ignoreList.isCommonAttribute(attributeId(L"ts")));
    EXPECT_EQ(ignoreList.commonAttributes.attributeNames.get(), nullptr);
    PathElement a({L"a"});
    EXPECT_EQ(ignoreList.ruleFor(*a), nullptr);
    EXPECT_EQ(writeRows(), "");
}

TEST_F(IgnoreListTest, ReloadIsNeededOnlyForNamedAttributes) {
    struct Step {
        const char* rows;
        bool reload;
    };
    const Step steps[] = {
        {"IgnoreElement=a 1\r\n", false},          {"IgnoreElement=b 3\r\nCondition=k 0 3 0 v\r\n", false},
        {"IgnoreElement=c 4\r\n", true},           {"IgnoreElement=d 5 x y\r\n", true},
        {"CommonIgnoredAttributes=ts\r\n", false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.rows);
        reloadNeeded = false;
        readRows(s.rows);
        EXPECT_EQ(reloadNeeded, s.reload);
    }
    readRows("IgnoreElement=e\r\n");
    reloadNeeded = false;
    ignoreList.setCurrentMode(3);
    EXPECT_FALSE(reloadNeeded);
    ignoreList.setCurrentMode(9);
    EXPECT_EQ(ignoreList.currentRule->mode, 3);
    ignoreList.setCurrentMode(4);
    EXPECT_TRUE(reloadNeeded);
    EXPECT_EQ(ignoreList.currentRule->mode, 4);
}

TEST_F(IgnoreListTest, AFullListRefusesFurtherRulesWithABox) {
    for (int i = 0; i < 2048; ++i) {
        std::wstring row = L"n" + std::to_wstring(i);
        ASSERT_TRUE(ignoreList.parseRule(row.c_str())) << i;
    }
    EXPECT_EQ(ignoreList.count, 2048u);
    const std::wstring full =
        L"The list of ignored elements is full: it holds at most 2048 rules.\n\nThe rule was not added.";
    {
        // A file of many more rows tells it once.
        BoxScript boxes;
        boxes.expect(full, L"Application Error");
        EXPECT_FALSE(ignoreList.parseRule(L"extra1"));
        EXPECT_FALSE(ignoreList.parseRule(L"extra2"));
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
    EXPECT_EQ(ignoreList.count, 2048u);
    EXPECT_EQ(pathOf(2047), "n2047");
    {
        BoxScript boxes;
        boxes.expect(full, L"Application Error");
        PathElement other({L"other"});
        EXPECT_EQ(ignoreList.addElement(*other, false), -1);
        EXPECT_EQ(ignoreList.currentRule, nullptr);
        PathElement known({L"n7"});
        EXPECT_EQ(ignoreList.addElement(*known, false), 7);
    }
    ignoreList.removeAt(0);
    EXPECT_TRUE(ignoreList.parseRule(L"extra1"));
    BoxScript boxes;
    boxes.expect(full, L"Application Error");
    EXPECT_FALSE(ignoreList.parseRule(L"extra2"));
}

TEST_F(IgnoreListTest, AttributeNamesSplitAtBlanksOnly) {
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> names;
    };
    std::wstring many;
    for (int i = 0; i < 130; ++i)
        many += L"a" + std::to_wstring(i) + L" ";
    const Case cases[] = {
        {L"id  name", {L"id", L"name"}},
        {L"  id", {L"id"}},
        {L"a\tb c", {L"a\tb", L"c"}},
        {L"x \tid", {L"x"}},
        {L"id\t", {L"id"}},
        {L" \t ", {}},
        {L"", {}},
        {many.c_str(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.text).substr(0, 40));
        IgnoreRule rule(1, 1, L"e");
        rule.setAttributeNames(c.text);
        if (c.text == many.c_str()) {
            ASSERT_EQ(rule.attributeCount, 128);
            EXPECT_TRUE(rule.hasAttributeId(attributeId(L"a126")));
            // The last name runs to the end of the text.
            EXPECT_EQ(rule.attributeIds[127], attributeId(L"a127 a128 a129"));
            continue;
        }
        ASSERT_EQ(static_cast<size_t>(rule.attributeCount), c.names.size());
        for (size_t i = 0; i < c.names.size(); ++i)
            EXPECT_EQ(rule.attributeIds[i], attributeId(c.names[i].c_str()));
        if (c.names.empty()) {
            EXPECT_EQ(rule.attributeNames.get(), nullptr);
        } else {
            EXPECT_EQ(narrow(rule.attributeNames.get()), narrow(c.text));
        }
    }
}

TEST_F(IgnoreListTest, CurrentRuleAttributesFollowTheCaseOption) {
    OptionSet::XMLAttributeCaseSensitive = 0;
    readRows("IgnoreElement=e 4 Id ref\r\n");
    wchar_t padded[] = L"  ID \t";
    EXPECT_TRUE(ignoreList.currentHasAttribute(padded));
    EXPECT_EQ(narrow(padded), "ID");
    wchar_t other[] = L"name";
    EXPECT_FALSE(ignoreList.currentHasAttribute(other));

    ignoreList.clear();
    OptionSet::XMLAttributeCaseSensitive = 1;
    readRows("IgnoreElement=e 4 Id ref\r\n");
    wchar_t upper[] = L"ID";
    wchar_t exact[] = L"Id";
    EXPECT_FALSE(ignoreList.currentHasAttribute(upper));
    EXPECT_TRUE(ignoreList.currentHasAttribute(exact));
    ignoreList.currentRule = nullptr;
    EXPECT_FALSE(ignoreList.currentHasAttribute(exact));
}

struct ConditionCase {
    const wchar_t* attribute;
    int negate;
    int test;
    const wchar_t* value;
    const wchar_t* tested;
    uint8_t answer;
};

TEST_F(IgnoreListTest, ConditionTests) {
    OptionSet::XMLAttributeCaseSensitive = 0;
    const ConditionCase cases[] = {
        {nullptr, 0, 0, L"3", L"abc", 0xC0},         {nullptr, 0, 0, L"3", L"abcd", 0x80},
        {nullptr, 0, 0, L"0", nullptr, 0xC0},        {nullptr, 0, 1, L"3", L"ab", 0xC0},
        {nullptr, 0, 1, L"3", L"abc", 0x80},         {nullptr, 0, 2, L"3", L"abcd", 0xC0},
        {nullptr, 0, 2, L"3", L"abc", 0x80},         {nullptr, 0, 2, L"-5", L"", 0xC0},  // a signed count
        {nullptr, 0, 1, L"-5", L"", 0x80},           {nullptr, 0, 0, L"x", L"", 0xC0},   // no digits: 0
        {nullptr, 0, 2, L"1 0", L"123456789", 0x80},                                     // blanks leave 10
        {nullptr, 0, 3, L"abc", L"abc", 0xC0},       {nullptr, 0, 3, L"abc", L"ABC", 0x80},
        {nullptr, 0, 3, L"abc", L"abcd", 0x80},      {nullptr, 0, 4, L"bc", L"abcd", 0xC0},
        {nullptr, 0, 4, L"BC", L"abcd", 0x80},       {nullptr, 0, 5, L"abc", L"aBc", 0xC0},
        {nullptr, 0, 5, L"abc", L"aBcd", 0x80},      {nullptr, 0, 6, L"BC", L"abcd", 0xC0},
        {nullptr, 0, 6, L"x", L"abcd", 0x80},        {nullptr, 0, 7, L"abc", L"abc", 0x80},
        {nullptr, 1, 7, L"abc", L"abc", 0xC0},       {nullptr, 1, 3, L"abc", L"abc", 0x80},
        {nullptr, 1, 4, L"z", L"abc", 0xC0},         {nullptr, 0, 3, L"New York", L"NewYork", 0xC0},
        {L"price", 0, 3, L"0", L"0", 0xC0},          {L"price", 1, 3, L"0", L"0", 0x80},
    };
    for (const ConditionCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.attribute ? narrow(c.attribute) : "$TEXT$") << " not " << c.negate
                                        << " test " << c.test << " " << narrow(c.value) << " on "
                                        << (c.tested ? narrow(c.tested) : "none"));
        IgnoreCondition condition(c.attribute, c.negate, c.test, 0, c.value);
        int32_t hash = c.attribute == nullptr ? 0 : attributeId(c.attribute);
        EXPECT_EQ(condition.attributeHash, hash);
        EXPECT_EQ(condition.evaluate(hash, c.tested), c.answer);
        // Another attribute, or the text for an attribute condition, is no concern of it.
        EXPECT_EQ(condition.evaluate(hash == 0 ? attributeId(L"other") : 0, c.tested), 0);
    }
    IgnoreCondition upper(L"PRICE", 0, 3, 0, L"0");
    EXPECT_EQ(upper.evaluate(attributeId(L"price"), L"0"), 0xC0);
}

TEST_F(IgnoreListTest, SetConditionTellsWhetherAnythingChanged) {
    IgnoreRule rule(1, 1, L"e");
    EXPECT_FALSE(rule.setCondition(L"k", 0, 3, 0, L"v"));
    EXPECT_TRUE(rule.setCondition(L"k", 0, 3, 0, L" v "));
    EXPECT_FALSE(rule.setCondition(L"k", 1, 3, 0, L"v"));
    EXPECT_FALSE(rule.setCondition(L"k", 1, 4, 0, L"v"));
    EXPECT_FALSE(rule.setCondition(L"k", 1, 4, 1, L"v"));
    EXPECT_FALSE(rule.setCondition(L"k", 1, 4, 1, L"V"));
    EXPECT_FALSE(rule.setCondition(nullptr, 1, 4, 1, L"V"));
    EXPECT_TRUE(rule.setCondition(L"", 1, 4, 1, L"V"));
    EXPECT_EQ(rule.condition->attributeHash, 0);
}

// Conditions are evaluated while the document loads: on the attribute they name as it
// is read, on the text at the end tag; a condition never evaluated falls back to
// "ignore if not exist".
TEST_F(IgnoreListTest, ConditionsActAtLoadTime) {
    TestPanels panels;
    OptionSet::XMLAttributeCaseSensitive = 0;
    struct Case {
        const char* condition;
        const char* element;
        uint8_t flags;
        bool applies;
    };
    const std::string sixty(60, 'k');
    const std::string onLongName = sixty + " 0 3 0 x";
    const std::string longNameX = "<e " + sixty + "='x'/>";
    const std::string longNameY = "<e " + sixty + "='y' " + std::string(47, 'k') + "='x'/>";
    const Case cases[] = {
        {onLongName.c_str(), longNameX.c_str(), 0xC0, true},
        {onLongName.c_str(), longNameY.c_str(), 0x80, false},
        {"k 0 3 0 x", "<e k='x'/>", 0xC0, true},
        {"k 0 3 0 x", "<e k='y'/>", 0x80, false},
        {"k 0 3 0 x", "<e j='x'/>", 0x00, false},
        {"k 0 3 1 x", "<e j='x'/>", 0x00, true},
        {"k 1 3 1 x", "<e k='x'/>", 0x80, false},
        {"k 1 3 1 x", "<e k='y'>x</e>", 0xC0, true},
        {"K 0 5 0 X", "<e k='x'/>", 0xC0, true},
        {"$TEXT$ 0 4 0 abc", "<e k='abc'>xabcx</e>", 0xC0, true},
        {"$TEXT$ 0 4 0 abc", "<e>zz</e>", 0x80, false},
        {"$TEXT$ 0 4 1 abc", "<e/>", 0x00, true},
        {"$TEXT$ 0 0 0 2", "<e> a<c/>b </e>", 0xC0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.condition) + " on " + c.element);
        ignoreList.clear();
        readRows(std::string("IgnoreElement=r>e 1\r\nCondition=") + c.condition + "\r\n");
        ASSERT_EQ(loadXml(leftTreeView, std::string("<r>") + c.element + "<f k='x'>abc</f></r>", dir), kLoaded);
        auto records = recordsInOrder(leftTreeView);
        XMLTreeItem* e = records[1];
        EXPECT_EQ(e->flags & 0xC0, c.flags);
        EXPECT_EQ(ignoreList.rules[0]->appliesWith(e->flags), c.applies);
        for (XMLTreeItem* r : records) {
            if (narrow(r->nameText()) == "f") {
                EXPECT_EQ(r->flags, 0);  // f has no rule
            }
        }
        EXPECT_EQ(e->partner, nullptr);
    }
}

// A condition is written as the document reads: "&nbsp;" matches a reference kept as
// written (its DTD left out) in an attribute or the text, by every test that reads the
// characters, while a character beyond U+FFFF whose second half is the mark's unit
// (U+10FFFF) is no "&", also right before a kept reference.
TEST_F(IgnoreListTest, ConditionsReadAKeptReferenceAsWritten) {
    TestPanels panels;
    OptionSet::XMLAttributeCaseSensitive = 0;
    OptionSet::SchemaValidation = 0;
    OptionSet::UseExternalSchema = 0;
    struct Case {
        const char* condition;
        const char* element;
        uint8_t flags;
    };
    const Case cases[] = {
        {"k 0 4 0 &nbsp;", "<e k='a&nbsp;b'/>", 0xC0},
        {"k 0 3 0 a&nbsp;b", "<e k='a&nbsp;b'/>", 0xC0},
        {"k 0 5 0 A&NBSP;B", "<e k='a&nbsp;b'/>", 0xC0},
        {"k 0 4 0 &copy;", "<e k='a&nbsp;b'/>", 0x80},
        {"$TEXT$ 0 4 0 &nbsp;", "<e>x&nbsp;y</e>", 0xC0},
        {"$TEXT$ 0 6 0 X&NBSP;", "<e>x&nbsp;y</e>", 0xC0},
        {"$TEXT$ 1 3 0 x&nbsp;y", "<e>x&nbsp;y</e>", 0x80},
        {"$TEXT$ 0 0 0 8", "<e>x&nbsp;y</e>", 0xC0},
        {"$TEXT$ 0 4 0 &", "<e>x\xF4\x8F\xBF\xBFy</e>", 0x80},
        {"$TEXT$ 0 3 0 x\xF4\x8F\xBF\xBFy", "<e>x\xF4\x8F\xBF\xBFy</e>", 0xC0},
        {"k 0 4 0 &", "<e k='\xF4\x8F\xBF\xBF'/>", 0x80},
        {"$TEXT$ 0 3 0 \xF4\x8F\xBF\xBF&nbsp;", "<e>\xF4\x8F\xBF\xBF&nbsp;</e>", 0xC0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.condition) + " on " + c.element);
        ignoreList.clear();
        readRows(std::string("IgnoreElement=r>e 1\r\nCondition=") + c.condition + "\r\n");
        BoxScript boxes;  // nothing is asked
        ASSERT_EQ(
            loadXml(leftTreeView, std::string("<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r>") + c.element + "</r>", dir),
            kLoaded);
        XMLTreeItem* e = elementNamed(leftTreeView, L"e");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->flags & 0xC0, c.flags);
    }
}

// A condition on the text reads it as the row does: runs around inline elements joined.
TEST_F(IgnoreListTest, ConditionsReadRunsAroundChildrenAsTheRowShowsThem) {
    TestPanels panels;
    const struct {
        const char* condition;
        const char* element;
        uint8_t flags;
    } cases[] = {
        {"$TEXT$ 0 0 0 11", "<e>the <b>module</b> is here</e>", 0xC0},
        {"$TEXT$ 0 4 0 here", "<e>the <b>module</b> is here</e>", 0xC0},
        {"$TEXT$ 0 4 0 module", "<e>the <b>module</b> is here</e>", 0x80},
        {"$TEXT$ 0 3 0 thehere", "<e>the<b>module</b>here</e>", 0xC0},
        {"$TEXT$ 0 4 0 ehe", "<e>the<b>module</b>here</e>", 0xC0},
        {"$TEXT$ 0 0 0 7", "<e><b>module</b>thehere</e>", 0xC0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.condition) + " on " + c.element);
        ignoreList.clear();
        readRows(std::string("IgnoreElement=r>e 1\r\nCondition=") + c.condition + "\r\n");
        ASSERT_EQ(loadXml(leftTreeView, std::string("<r>") + c.element + "</r>", dir), kLoaded);
        XMLTreeItem* e = elementNamed(leftTreeView, L"e");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->flags & 0xC0, c.flags);
    }
}

}  // namespace
