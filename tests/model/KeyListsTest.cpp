#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/KeyLists.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// The lists are process-wide: each test starts and ends with them empty.
class KeyListsTest : public ::testing::Test {
protected:
    TempDir dir;
    OptionsSnapshot options;

    void SetUp() override { reset(); }
    void TearDown() override {
        reset();
    }
    static void reset() {
        keyElementList = KeyElementList();
        entireElementList = EntireElementList();
        keyAttributeSpec.clear();
    }

    std::string written(const std::function<void(HANDLE)>& write) {
        HANDLE file = CreateFileW(dir.file(L"rows.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        write(file);
        CloseHandle(file);
        return dir.read(L"rows.txt");
    }

    // The records of a loaded document, by their path text.
    std::vector<XMLTreeItem*> load(const std::string& xml) {
        EXPECT_EQ(loadXml(leftTreeView, xml, dir), kLoaded);
        auto records = recordsInOrder(leftTreeView);
        if (!records.empty() && records.back()->isSummary()) records.pop_back();
        return records;
    }
};

struct StepIds {
    int32_t nameId = 0;
    int32_t pathHash = 0;
};

// The ids of the last step of a path, as loading gives them.
StepIds idsOf(const std::vector<const wchar_t*>& names) {
    StepIds ids;
    for (const wchar_t* name : names) {
        std::wstring step = name;
        internPathStep(&step[0], -1, &ids.nameId, &ids.pathHash);
    }
    return ids;
}

TEST_F(KeyListsTest, KeyElementRows) {
    struct Case {
        const wchar_t* value;
        bool accepted;
    };
    const Case cases[] = {
        {L"a>b>c", true}, {L" a > b >\tc ", false},  // the same pair once blanks are gone
        {L"a>b>d", true}, {L"c", true},
        {L"x>b>c", true}, {L"", false},
        {L"  \t", false}, {nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value == nullptr ? "null" : narrow(c.value));
        EXPECT_EQ(keyElementList.addPath(c.value), c.accepted);
    }
    ASSERT_EQ(keyElementList.count, 4);
    StepIds c = idsOf({L"a", L"b", L"c"});
    StepIds b = idsOf({L"a", L"b"});
    EXPECT_EQ(keyElementList.find(c.nameId, c.pathHash, b.nameId, b.pathHash), 0);
    // A key child at the top has no element: 0 and 0.
    StepIds top = idsOf({L"c"});
    EXPECT_EQ(keyElementList.find(top.nameId, top.pathHash, 0, 0), 2);
    EXPECT_EQ(written([](HANDLE f) { keyElementList.write(f); }),
              "KeyElement=a>b>c\r\nKeyElement=a>b>d\r\nKeyElement=c\r\nKeyElement=x>b>c\r\n");

    // Twelve pairs at most.
    for (int i = 0; i < 10; ++i)
        keyElementList.addPath((L"p>q" + std::to_wstring(i)).c_str());
    EXPECT_EQ(keyElementList.count, 12);
    EXPECT_FALSE(keyElementList.addPath(L"p>new"));
}

TEST_F(KeyListsTest, KeyElementTogglesAndTests) {
    TestPanels panels;
    auto r = load("<a><b><c/><d/></b><e><c/></e></a>");
    XMLTreeItem& a = *r[0];
    XMLTreeItem& b = *r[1];
    XMLTreeItem& c = *r[2];
    XMLTreeItem& d = *r[3];
    XMLTreeItem& e = *r[4];
    XMLTreeItem& ec = *r[5];

    keyElementList.toggle(c, &b);
    keyElementList.toggle(d, &b);
    keyElementList.toggle(ec, &e);
    ASSERT_EQ(keyElementList.count, 3);
    EXPECT_TRUE(keyElementList.isKeyChild(c));
    EXPECT_FALSE(keyElementList.isKeyChild(b));
    EXPECT_TRUE(keyElementList.isKeyedElement(b));
    EXPECT_TRUE(keyElementList.isKeyedElement(e));
    EXPECT_FALSE(keyElementList.isKeyedElement(a));
    EXPECT_TRUE(keyElementList.isKeyPair(c, b));
    EXPECT_FALSE(keyElementList.isKeyPair(c, e));
    EXPECT_FALSE(keyElementList.isKeyPair(ec, b));

    // Removing the first pair moves the last into its place.
    keyElementList.toggle(c, &b);
    EXPECT_EQ(keyElementList.count, 2);
    EXPECT_FALSE(keyElementList.isKeyChild(c));
    EXPECT_EQ(written([](HANDLE f) { keyElementList.write(f); }), "KeyElement=a>e>c\r\nKeyElement=a>b>d\r\n");

    // A row read back names the same pair as the toggle.
    keyElementList = KeyElementList();
    EXPECT_TRUE(keyElementList.addPath(L"a>b>c"));
    EXPECT_TRUE(keyElementList.isKeyPair(c, b));
    keyElementList.toggle(c, &b);
    EXPECT_EQ(keyElementList.count, 0);
}

TEST_F(KeyListsTest, EntireElementRowsAndToggles) {
    TestPanels panels;
    auto r = load("<a><b/><c/><d/><e/><f/></a>");
    for (const wchar_t* value : {L"a>b", L" a >c"})
        EXPECT_TRUE(entireElementList.addPath(value));
    EXPECT_FALSE(entireElementList.addPath(L"a>b"));
    EXPECT_FALSE(entireElementList.addPath(L" "));
    EXPECT_FALSE(entireElementList.addPath(nullptr));
    EXPECT_TRUE(entireElementList.contains(*r[1]));
    EXPECT_TRUE(entireElementList.contains(*r[2]));
    EXPECT_FALSE(entireElementList.contains(*r[0]));

    // Twice the same toggle leaves the list as it was.
    entireElementList.toggle(*r[3]);
    entireElementList.toggle(*r[3]);
    EXPECT_EQ(entireElementList.count, 2);
    EXPECT_FALSE(entireElementList.contains(*r[3]));

    entireElementList.toggle(*r[3]);
    entireElementList.toggle(*r[4]);
    entireElementList.toggle(*r[5]);  // a fifth is not added
    EXPECT_EQ(entireElementList.count, 4);
    EXPECT_FALSE(entireElementList.contains(*r[5]));
    EXPECT_FALSE(entireElementList.addPath(L"a>f"));

    entireElementList.toggle(*r[1]);
    EXPECT_EQ(written([](HANDLE f) { entireElementList.write(f); }),
              "EntireElement=a>e\r\nEntireElement=a>c\r\nEntireElement=a>d\r\n");
}

TEST_F(KeyListsTest, KeyAttributeRows) {
    TestPanels panels;
    auto r = load("<a><b id='1'/></a>");
    XMLTreeItem& b = *r[1];

    keyAttributeSpec.parse(L"a>b");  // no "|": nothing changes
    EXPECT_FALSE(keyAttributeSpec.isSet());
    keyAttributeSpec.parse(L"a|x>b");
    EXPECT_FALSE(keyAttributeSpec.isSet());
    EXPECT_EQ(written([](HANDLE f) { keyAttributeSpec.write(f); }), "");

    keyAttributeSpec.parse(L" a > b | id ");
    ASSERT_TRUE(keyAttributeSpec.isSet());
    EXPECT_TRUE(keyAttributeSpec.namesElement(b));
    EXPECT_FALSE(keyAttributeSpec.namesElement(*r[0]));
    EXPECT_EQ(narrow(keyAttributeSpec.attributeName.get()), "id");
    EXPECT_EQ(written([](HANDLE f) { keyAttributeSpec.write(f); }), "KeyAttribute=a>b|id\r\n");

    // A later row replaces it; a malformed one leaves it.
    keyAttributeSpec.parse(L"a|ref");
    EXPECT_TRUE(keyAttributeSpec.namesElement(*r[0]));
    keyAttributeSpec.parse(L"a>b");
    EXPECT_TRUE(keyAttributeSpec.namesElement(*r[0]));

    keyAttributeSpec.set(&b, L"  key\t");
    EXPECT_TRUE(keyAttributeSpec.namesElement(b));
    EXPECT_EQ(narrow(keyAttributeSpec.path.get()), "a>b|key");
    EXPECT_EQ(narrow(keyAttributeSpec.attributeName.get()), "key");
    // Without an element only the name changes.
    keyAttributeSpec.set(nullptr, L"other");
    EXPECT_TRUE(keyAttributeSpec.namesElement(b));
    EXPECT_EQ(narrow(keyAttributeSpec.path.get()), "a>b|key");

    keyAttributeSpec.clear();
    EXPECT_FALSE(keyAttributeSpec.isSet());
    EXPECT_FALSE(keyAttributeSpec.namesElement(b));
    EXPECT_EQ(keyAttributeSpec.elementNameId, -1);
    EXPECT_EQ(keyAttributeSpec.path.get(), nullptr);
}

TEST_F(KeyListsTest, KeyAttributeNamesFollowTheCaseOption) {
    struct Case {
        int caseSensitive;
        const wchar_t* stored;
        const wchar_t* tested;
        bool matches;
    };
    const Case cases[] = {
        {0, L"ID", L"id", true},  {0, L"id", L"id", true}, {0, L"id", L"idx", false},
        {1, L"ID", L"id", false}, {1, L"id", L"id", true}, {0, L"id", L" id\t", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.caseSensitive << " " << narrow(c.stored) << " / " << narrow(c.tested));
        OptionSet::XMLAttributeCaseSensitive = c.caseSensitive;
        keyAttributeSpec.parse((std::wstring(L"e|") + c.stored).c_str());
        std::wstring tested = c.tested;
        EXPECT_EQ(keyAttributeSpec.matchesName(&tested[0]), c.matches);
        EXPECT_EQ(keyAttributeSpec.matches(hashName(tested.c_str(), c.caseSensitive), tested.c_str()), c.matches);
    }
}

}  // namespace
