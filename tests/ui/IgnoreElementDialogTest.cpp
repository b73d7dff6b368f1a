#include "ui/dialogs/IgnoreElementDialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/MessageBox.h"
#include "settings/OptionSet.h"
#include "tests/ui/RuleCommandsFixture.h"
#include "ui/Commands.h"

namespace {

const char* const kLeft = "<r><a id='1' ID='2' name='x'>text</a><b>t</b><c><d id='3'/></c></r>";
const char* const kRight = "<r><a id='1' ID='2' name='y'>text</a><b>u</b><c><d id='4'/></c></r>";

class IgnoreCommandsTest : public RuleCommandsFixture {
protected:
    void SetUp() override {
        RuleCommandsFixture::SetUp();
        loadBoth(kLeft, kRight);
    }

    // Fills the ignore list with rules for other names until it is full.
    static void fillList() {
        for (uint32_t i = ignoreList.count; i < IgnoreList::kMaxRules; ++i)
            ASSERT_TRUE(ignoreList.parseRule((L"n" + std::to_wstring(i)).c_str()));
    }
};

TEST_F(IgnoreCommandsTest, F7AndF9WithoutTheDialogToggleTheMarkByIgnoreState) {
    OptionSet::DisplayConfirmation = 0;
    struct Case {
        int command;
        uint8_t state;
        bool ruleBefore;
        uint8_t stateAfter;
        uint32_t rulesAfter;
        bool childCleared;
    } cases[] = {
        {IDM_IGNORE_PARTICULAR, 0, false, 3, 0, false}, {IDM_IGNORE_PARTICULAR, 1, true, 1, 1, false},
        {IDM_IGNORE_PARTICULAR, 2, true, 2, 1, false},  {IDM_IGNORE_PARTICULAR, 3, false, 0, 0, true},
        {IDM_IGNORE_PARTICULAR, 4, false, 0, 0, true},  {IDM_IGNORE_ELEMENTS, 0, false, 1, 1, false},
        {IDM_IGNORE_ELEMENTS, 1, true, 0, 0, true},     {IDM_IGNORE_ELEMENTS, 2, true, 0, 0, true},
        {IDM_IGNORE_ELEMENTS, 3, false, 3, 0, false},   {IDM_IGNORE_ELEMENTS, 4, false, 4, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.command << " from state " << int(c.state));
        ignoreList.clear();
        XMLTreeItem* element = select(leftTreeView, L"c");
        XMLTreeItem* child = elementNamed(leftTreeView, L"d");
        if (c.ruleBefore) {
            ASSERT_GE(ignoreList.addElement(*element, false), 0);
        }
        element->ignoreState = c.state;
        element->flags = 0x41;  // a loaded condition outcome and a content mark
        child->ignoreState = 4;
        child->flags = 0x81;

        command(c.command);

        EXPECT_EQ(element->ignoreState, c.stateAfter);
        EXPECT_EQ(ignoreList.count, c.rulesAfter);
        EXPECT_EQ(element->flags, c.childCleared ? 0x40 : 0x41);
        EXPECT_EQ(child->ignoreState, c.childCleared ? 0 : 4);
        EXPECT_EQ(child->flags, c.childCleared ? 0x80 : 0x81);
    }
}

TEST_F(IgnoreCommandsTest, F7AddsTheRuleByTheFullNameOptionAndRemovesItAgain) {
    OptionSet::DisplayConfirmation = 0;
    for (int byFullName : {0, 1}) {
        OptionSet::IgnoreElementsByFullName = byFullName;
        XMLTreeItem* d = select(leftTreeView, L"d");
        command(IDM_IGNORE_ELEMENTS);
        ASSERT_EQ(ignoreList.count, 1u);
        EXPECT_EQ(rulePath(0), byFullName ? L"r>c>d" : L"d");
        EXPECT_EQ(ignoreList.rules[0]->pathHash == ignoreList.rules[0]->nameId, byFullName == 0);
        EXPECT_EQ(d->ignoreState, 1);
        command(IDM_IGNORE_ELEMENTS);
        EXPECT_EQ(ignoreList.count, 0u);
        EXPECT_EQ(d->ignoreState, 0);
    }
}

TEST_F(IgnoreCommandsTest, AFullListChangesNoRuleAndLeavesTheElementAsItWas) {
    fillList();
    XMLTreeItem* c = select(leftTreeView, L"c");
    c->flags = 0x42;
    for (int confirm : {0, 1}) {
        SCOPED_TRACE(confirm);
        OptionSet::DisplayConfirmation = confirm;
        BoxScript boxes;
        boxes.expectCaption(L"Application Error");
        ModalScript dialogs;
        if (confirm) {
            dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
                setCheck(dialog, IDC_IGNORE_ELEMENT, true);
                clickButton(dialog, IDC_IGNORE_BY_NAME);
                clickButton(dialog, IDC_IGNORE_CONTENT);
                clickButton(dialog, IDOK);
            });
        }
        command(IDM_IGNORE_ELEMENTS);
        EXPECT_EQ(ignoreList.count, IgnoreList::kMaxRules);
        EXPECT_EQ(c->ignoreState, 0);
        EXPECT_EQ(c->flags, 0x42);
        EXPECT_EQ(rulePath(IgnoreList::kMaxRules - 1), L"n2047");
    }
}

TEST_F(IgnoreCommandsTest, TheDialogForAnElementWithoutARuleStartsUnticked) {
    OptionSet::DisplayConfirmation = 1;
    for (int byFullName : {0, 1}) {
        OptionSet::IgnoreElementsByFullName = byFullName;
        select(leftTreeView, L"c");
        ModalScript dialogs;
        dialogs.expect(IDD_IGNORE_ELEMENT, [byFullName](HWND dialog) {
            wchar_t title[64];
            GetWindowTextW(dialog, title, 64);
            EXPECT_STREQ(title, L"Ignore Element: c");
            EXPECT_FALSE(checked(dialog, IDC_IGNORE_ELEMENT));
            for (int id = IDC_IGNORE_MODE_FIRST; id <= IDC_IGNORE_ONLY_SELECTED; ++id) {
                if (id == IDC_IGNORE_ELEMENT) continue;
                EXPECT_FALSE(enabled(dialog, id)) << id;
                EXPECT_EQ(checked(dialog, id),
                          id == IDC_IGNORE_ENTIRE || id == (byFullName ? IDC_IGNORE_BY_FULL_NAME : IDC_IGNORE_BY_NAME))
                    << id;
            }
            EXPECT_FALSE(enabled(dialog, IDC_CONDITION));
            EXPECT_FALSE(enabled(dialog, IDC_CONDITION_VALUE));
            setCheck(dialog, IDC_IGNORE_ELEMENT, true);
            EXPECT_TRUE(enabled(dialog, IDC_IGNORE_CONTENT));
            EXPECT_TRUE(enabled(dialog, IDC_CONDITION));
            EXPECT_FALSE(enabled(dialog, IDC_CONDITION_VALUE));
            setCheck(dialog, IDC_CONDITION, true);
            EXPECT_TRUE(enabled(dialog, IDC_CONDITION_VALUE));
            EXPECT_FALSE(checked(dialog, IDC_CONDITION_CASE));  // no condition yet: cleared
            clickButton(dialog, IDCANCEL);
        });
        command(IDM_IGNORE_PARTICULAR);
        EXPECT_EQ(ignoreList.count, 0u);
    }
}

// Each way out of the dialog with OK: the list and the element afterwards, the reload
// question, and the dialog showing the same choice when it opens again.
TEST_F(IgnoreCommandsTest, EachOkPathSetsTheRuleAndTheElementAndShowsAgainOnReopening) {
    OptionSet::DisplayConfirmation = 1;
    using Action = std::function<void(HWND)>;
    auto ignoreBy = [](int nameKind, int mode, std::vector<std::wstring> names) -> Action {
        return [=](HWND dialog) {
            setCheck(dialog, IDC_IGNORE_ELEMENT, true);
            clickButton(dialog, nameKind);
            clickButton(dialog, mode);
            for (const std::wstring& name : names)
                selectEntry(dialog, IDC_ELEMENT_ATTRIBUTES, name);
        };
    };
    struct Case {
        const char* name;
        Action action;
        int rules;
        const wchar_t* path;
        int mode;
        const wchar_t* names;  // null: none
        uint8_t state;
        uint8_t lowFlags;
        bool question;
        int nameKindShown;
        int modeShown;
    } cases[] = {
        {"left unticked", [](HWND) {}, 0, nullptr, 0, nullptr, 0, 0, false, 0, 0},
        {"only selected, content", ignoreBy(IDC_IGNORE_ONLY_SELECTED, IDC_IGNORE_CONTENT, {}), 0, nullptr, 0, nullptr,
         0, 0x09, false, IDC_IGNORE_ONLY_SELECTED, IDC_IGNORE_CONTENT},
        {"only selected, entire", ignoreBy(IDC_IGNORE_ONLY_SELECTED, IDC_IGNORE_ENTIRE, {}), 0, nullptr, 0, nullptr, 3,
         0, false, IDC_IGNORE_ONLY_SELECTED, IDC_IGNORE_ENTIRE},
        {"short name, attributes", ignoreBy(IDC_IGNORE_BY_NAME, IDC_IGNORE_ATTRIBUTES, {}), 1, L"a", 2, nullptr, 0, 2,
         false, IDC_IGNORE_BY_NAME, IDC_IGNORE_ATTRIBUTES},
        {"full name, entire", ignoreBy(IDC_IGNORE_BY_FULL_NAME, IDC_IGNORE_ENTIRE, {}), 1, L"r>a", 0, nullptr, 1, 0,
         false, IDC_IGNORE_BY_FULL_NAME, IDC_IGNORE_ENTIRE},
        {"full name, content and attributes", ignoreBy(IDC_IGNORE_BY_FULL_NAME, IDC_IGNORE_CONTENT_ATTRIBUTES, {}), 1,
         L"r>a", 3, nullptr, 0, 3, false, IDC_IGNORE_BY_FULL_NAME, IDC_IGNORE_CONTENT_ATTRIBUTES},
        {"named attributes", ignoreBy(IDC_IGNORE_BY_NAME, IDC_IGNORE_NAMED, {L"id"}), 1, L"a", 4, L"id", 0, 4, true,
         IDC_IGNORE_BY_NAME, IDC_IGNORE_NAMED},
        {"named attributes, none selected", ignoreBy(IDC_IGNORE_BY_NAME, IDC_IGNORE_NAMED, {}), 1, L"a", 4, nullptr, 0,
         4, true, IDC_IGNORE_BY_NAME, IDC_IGNORE_NAMED},
        {"content and named attributes", ignoreBy(IDC_IGNORE_BY_NAME, IDC_IGNORE_CONTENT_NAMED, {L"ID", L"name"}), 1,
         L"a", 5, L"ID name", 0, 5, true, IDC_IGNORE_BY_NAME, IDC_IGNORE_CONTENT_NAMED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ignoreList.clear();
        XMLTreeItem* a = select(leftTreeView, L"a");
        a->ignoreState = 0;
        a->flags &= 0xF0;
        {
            BoxScript boxes;
            if (c.question) boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
            ModalScript dialogs;
            dialogs.expect(IDD_IGNORE_ELEMENT, [&](HWND dialog) {
                c.action(dialog);
                clickButton(dialog, IDOK);
            });
            command(IDM_IGNORE_ELEMENTS);
        }
        ASSERT_EQ(ignoreList.count, static_cast<uint32_t>(c.rules));
        if (c.rules != 0) {
            const IgnoreRule& rule = *ignoreList.rules[0];
            EXPECT_EQ(rulePath(0), c.path);
            EXPECT_EQ(rule.mode, c.mode);
            EXPECT_EQ(rule.pathHash == rule.nameId, std::wstring(c.path) == L"a");
            EXPECT_EQ(std::wstring(rule.attributeNames ? rule.attributeNames.get() : L"<none>"),
                      c.names ? c.names : L"<none>");
        }
        EXPECT_EQ(a->ignoreState, c.state);
        EXPECT_EQ(a->flags & 0x0F, c.lowFlags);
        if (c.nameKindShown == 0) continue;

        ModalScript again;
        again.expect(IDD_IGNORE_ELEMENT, [&](HWND dialog) {
            EXPECT_TRUE(checked(dialog, IDC_IGNORE_ELEMENT));
            EXPECT_TRUE(checked(dialog, c.nameKindShown));
            EXPECT_TRUE(checked(dialog, c.modeShown));
            std::wstring selected;
            for (const std::wstring& s : selectedEntries(dialog, IDC_ELEMENT_ATTRIBUTES))
                selected += (selected.empty() ? L"" : L" ") + s;
            EXPECT_EQ(selected, c.names ? c.names : L"");
            EXPECT_EQ(entries(dialog, IDC_ELEMENT_ATTRIBUTES), (std::vector<std::wstring>{L"id", L"ID", L"name"}));
            clickButton(dialog, IDCANCEL);
        });
        command(IDM_IGNORE_ELEMENTS);
    }
}

TEST_F(IgnoreCommandsTest, EveryConditionTestIsStoredAndShownAgain) {
    OptionSet::DisplayConfirmation = 1;
    struct Case {
        int item;  // 0 the content, 3 the attribute "name"
        int operatorIndex;
        bool withCase;
        bool negate;
        bool ifNotExist;
        int test;
    } cases[] = {
        {0, 0, true, false, false, 0},  {0, 1, false, true, false, 1}, {3, 2, true, false, true, 2},
        {3, 3, true, false, false, 3},  {3, 3, false, true, true, 5},  {0, 4, true, false, false, 4},
        {0, 4, false, false, false, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.operatorIndex << " case " << c.withCase << " item " << c.item);
        ignoreList.clear();
        select(leftTreeView, L"a");
        {
            BoxScript boxes;
            boxes.expect(kReloadQuestion, kReloadCaption, IDNO);  // a new condition reaches the load
            ModalScript dialogs;
            dialogs.expect(IDD_IGNORE_ELEMENT, [&](HWND dialog) {
                setCheck(dialog, IDC_IGNORE_ELEMENT, true);
                clickButton(dialog, IDC_IGNORE_BY_NAME);
                clickButton(dialog, IDC_IGNORE_CONTENT);
                setCheck(dialog, IDC_CONDITION, true);
                EXPECT_EQ(comboText(dialog, IDC_CONDITION_ITEM), L"Content of element");
                chooseCombo(dialog, IDC_CONDITION_ITEM, c.item);
                chooseCombo(dialog, IDC_CONDITION_TEST, c.operatorIndex);
                setCheck(dialog, IDC_CONDITION_CASE, c.withCase);
                setCheck(dialog, IDC_CONDITION_NOT, c.negate);
                setCheck(dialog, IDC_CONDITION_IF_NOT_EXIST, c.ifNotExist);
                SetDlgItemTextW(dialog, IDC_CONDITION_VALUE, L"New York and then far more than thirty-one characters");
                clickButton(dialog, IDOK);
            });
            command(IDM_IGNORE_PARTICULAR);
        }
        ASSERT_EQ(ignoreList.count, 1u);
        const IgnoreCondition* condition = ignoreList.rules[0]->condition.get();
        ASSERT_NE(condition, nullptr);
        EXPECT_EQ(condition->test, c.test);
        EXPECT_EQ(condition->negate, c.negate ? 1 : 0);
        EXPECT_EQ(condition->ifNotExist, c.ifNotExist ? 1 : 0);
        EXPECT_STREQ(condition->attributeName, c.item == 0 ? L"" : L"name");
        EXPECT_STREQ(condition->value, L"NewYorkandthenfarmorethan");  // the edit holds 31 characters

        ModalScript again;
        again.expect(IDD_IGNORE_ELEMENT, [&](HWND dialog) {
            EXPECT_TRUE(checked(dialog, IDC_CONDITION));
            EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_CONDITION_TEST, CB_GETCURSEL, 0, 0), c.operatorIndex);
            if (c.operatorIndex >= 3) {
                EXPECT_EQ(checked(dialog, IDC_CONDITION_CASE), c.withCase);
            }
            EXPECT_EQ(checked(dialog, IDC_CONDITION_NOT), c.negate);
            EXPECT_EQ(checked(dialog, IDC_CONDITION_IF_NOT_EXIST), c.ifNotExist);
            EXPECT_EQ(comboText(dialog, IDC_CONDITION_ITEM), c.item == 0 ? L"Content of element" : L"name");
            EXPECT_EQ(text(dialog, IDC_CONDITION_VALUE), L"NewYorkandthenfarmorethan");
            clickButton(dialog, IDOK);  // unchanged: no question
        });
        command(IDM_IGNORE_PARTICULAR);
        EXPECT_NE(ignoreList.rules[0]->condition, nullptr);
    }
}

TEST_F(IgnoreCommandsTest, CancelAfterAddToCommonAttributesChangesNothing) {
    OptionSet::DisplayConfirmation = 1;
    ASSERT_TRUE(ignoreList.parseCommonAttributes(L"lang"));
    select(leftTreeView, L"a");
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
        EXPECT_EQ(entries(dialog, IDC_COMMON_ATTRIBUTES), std::vector<std::wstring>{L"lang"});
        selectEntry(dialog, IDC_ELEMENT_ATTRIBUTES, L"id");
        selectEntry(dialog, IDC_ELEMENT_ATTRIBUTES, L"ID");
        clickButton(dialog, IDC_ADD_COMMON);
        // "ID" is not "id": both are entries of their own.
        EXPECT_EQ(entries(dialog, IDC_COMMON_ATTRIBUTES), (std::vector<std::wstring>{L"lang", L"id", L"ID"}));
        selectEntry(dialog, IDC_COMMON_ATTRIBUTES, L"lang");
        clickButton(dialog, IDC_REMOVE_COMMON);
        EXPECT_EQ(entries(dialog, IDC_COMMON_ATTRIBUTES), (std::vector<std::wstring>{L"id", L"ID"}));
        clickButton(dialog, IDCANCEL);
    });
    command(IDM_IGNORE_ELEMENTS);  // an unexpected reload question would fail here
    EXPECT_EQ(common(), L"lang");
    EXPECT_FALSE(reloadNeeded);
}

TEST_F(IgnoreCommandsTest, CommonAttributesChangedInTheDialogAskTheReloadQuestion) {
    OptionSet::DisplayConfirmation = 1;
    select(leftTreeView, L"a");
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
        selectEntry(dialog, IDC_ELEMENT_ATTRIBUTES, L"ID");
        selectEntry(dialog, IDC_ELEMENT_ATTRIBUTES, L"id");
        clickButton(dialog, IDC_ADD_COMMON);
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORE_ELEMENTS);
    EXPECT_EQ(common(), L"id ID");
    EXPECT_EQ(ignoreList.count, 0u);
}

// Painting looks rules up while the dialog is up, and each lookup moves the list's
// current rule: the dialog's changes must still land on the element's own rule.
TEST_F(IgnoreCommandsTest, ARuleLookupWhileTheDialogIsUpDoesNotRedirectItsChanges) {
    OptionSet::DisplayConfirmation = 1;
    ASSERT_TRUE(ignoreList.parseRule(L"b"));
    ASSERT_TRUE(ignoreList.parseRule(L"a 1"));
    XMLTreeItem* b = elementNamed(leftTreeView, L"b");
    select(leftTreeView, L"a");
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORE_ELEMENT, [b](HWND dialog) {
        EXPECT_TRUE(checked(dialog, IDC_IGNORE_CONTENT));
        ASSERT_NE(ignoreList.ruleFor(*b), nullptr);
        InvalidateRect(leftTreeView.tree, nullptr, TRUE);
        UpdateWindow(leftTreeView.tree);
        clickButton(dialog, IDC_IGNORE_CONTENT_NAMED);
        selectEntry(dialog, IDC_ELEMENT_ATTRIBUTES, L"name");
        setCheck(dialog, IDC_CONDITION, true);
        SetDlgItemTextW(dialog, IDC_CONDITION_VALUE, L"x");
        ASSERT_NE(ignoreList.ruleFor(*b), nullptr);
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORE_ELEMENTS);
    ASSERT_EQ(ignoreList.count, 2u);
    EXPECT_EQ(rulePath(0), L"b");
    EXPECT_EQ(ignoreList.rules[0]->mode, 0);
    EXPECT_EQ(ignoreList.rules[0]->attributeNames, nullptr);
    EXPECT_EQ(ignoreList.rules[0]->condition, nullptr);
    EXPECT_EQ(rulePath(1), L"a");
    EXPECT_EQ(ignoreList.rules[1]->mode, 5);
    EXPECT_STREQ(ignoreList.rules[1]->attributeNames.get(), L"name");
    EXPECT_NE(ignoreList.rules[1]->condition, nullptr);
}

TEST_F(IgnoreCommandsTest, LongNamesAndManyAttributesAreJoinedWholeWithinTheLimits) {
    OptionSet::DisplayConfirmation = 1;
    const std::wstring longName(300, L'q');
    std::string xml = "<r><" + narrow(longName);
    for (int i = 0; i < 10; ++i)
        xml += " " + std::string(299, 'a' + i) + std::to_string(i % 10) + "='v'";
    xml += "/><many";
    for (int i = 0; i < 200; ++i)
        xml += " m" + std::to_string(i) + "='v'";
    xml += "/></r>";
    loadBoth(xml, "<r/>");

    auto selectAllAndAdd = [](HWND dialog) {
        setCheck(dialog, IDC_IGNORE_ELEMENT, true);
        clickButton(dialog, IDC_IGNORE_BY_NAME);
        clickButton(dialog, IDC_IGNORE_NAMED);
        SendDlgItemMessageW(dialog, IDC_ELEMENT_ATTRIBUTES, LB_SETSEL, TRUE, -1);
        clickButton(dialog, IDC_ADD_COMMON);
        clickButton(dialog, IDOK);
    };
    struct Case {
        const wchar_t* element;
        size_t names;
        size_t nameLength;
    } cases[] = {{longName.c_str(), 6, 300}, {L"many", 128, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.element).substr(0, 10));
        ignoreList.clear();
        select(leftTreeView, c.element);
        BoxScript boxes;
        boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
        ModalScript dialogs;
        dialogs.expect(IDD_IGNORE_ELEMENT, [&](HWND dialog) {
            wchar_t title[512];
            GetWindowTextW(dialog, title, 512);
            EXPECT_EQ(title, L"Ignore Element: " + std::wstring(c.element));
            EXPECT_EQ(entries(dialog, IDC_ELEMENT_ATTRIBUTES).size(), c.names == 6 ? 10u : 200u);
            if (c.nameLength != 0) {  // the list scrolls sideways to the end of its longest name
                RECT client;
                GetClientRect(GetDlgItem(dialog, IDC_ELEMENT_ATTRIBUTES), &client);
                EXPECT_GT(SendDlgItemMessageW(dialog, IDC_ELEMENT_ATTRIBUTES, LB_GETHORIZONTALEXTENT, 0, 0),
                          client.right * 4);
            }
            selectAllAndAdd(dialog);
        });
        command(IDM_IGNORE_ELEMENTS);
        ASSERT_EQ(ignoreList.count, 1u);
        for (const std::wstring& joined : {std::wstring(ignoreList.rules[0]->attributeNames.get()), common()}) {
            EXPECT_LE(joined.size(), kMaxJoinedUnits);
            size_t count = 0;
            for (size_t at = 0; at <= joined.size(); ++count) {
                size_t end = joined.find(L' ', at);
                if (end == std::wstring::npos) end = joined.size();
                if (c.nameLength != 0) {
                    EXPECT_EQ(end - at, c.nameLength);
                }
                at = end + 1;
            }
            EXPECT_EQ(count, c.names);
        }
        EXPECT_EQ(ignoreList.rules[0]->attributeCount, c.names);
    }
}

TEST_F(IgnoreCommandsTest, UntickingTheElementWithARuleRemovesItAndClearsOnlyTheMarks) {
    OptionSet::DisplayConfirmation = 1;
    XMLTreeItem* c = select(leftTreeView, L"c");
    ASSERT_GE(ignoreList.addElement(*c, true), 0);
    ignoreList.setCurrentMode(1);
    ASSERT_TRUE(ignoreList.parseCondition(L"$TEXT$ 0 4 0 x"));
    c->ignoreState = 0;
    c->flags = 0xC1;
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDNO);  // a rule with a condition went
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
        EXPECT_TRUE(checked(dialog, IDC_IGNORE_ELEMENT));
        EXPECT_TRUE(checked(dialog, IDC_IGNORE_BY_FULL_NAME));
        EXPECT_TRUE(checked(dialog, IDC_CONDITION));
        EXPECT_EQ(comboText(dialog, IDC_CONDITION_TEST), L"contains");
        setCheck(dialog, IDC_IGNORE_ELEMENT, false);
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORE_ELEMENTS);
    EXPECT_EQ(ignoreList.count, 0u);
    EXPECT_EQ(c->flags, 0xC0);
}

// A condition is matched by the whole name of its attribute: one on a long name holds
// once the files load again; a name too long for a condition gets a message, and OK
// then applies nothing.
TEST_F(IgnoreCommandsTest, AConditionOnALongAttributeNameHoldsOrIsRefused) {
    OptionSet::DisplayConfirmation = 1;
    const std::string sixty(60, 'k');
    const std::string tooLong(IgnoreCondition::kMaxNameUnits + 1, 'm');
    const std::string left = "<r><e " + sixty + "='x' " + tooLong + "='x'>t</e></r>";
    const std::string right = "<r><e " + sixty + "='y' " + tooLong + "='y'>t</e></r>";
    loadBoth(left, right);
    const std::wstring refusal =
        L"The attribute name is 260 characters long: a condition can test attributes of up to 259 characters.\n"
        L"Choose another attribute or the content of the element.";
    struct Case {
        int item;  // 1 the sixty-unit name, 2 the one too long
        bool refused;
    } cases[] = {{1, false}, {2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        ignoreList.clear();
        select(leftTreeView, L"e");
        {
            BoxScript boxes;
            if (c.refused)
                boxes.expect(refusal, L"Ignore Element");
            else
                boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
            ModalScript dialogs;
            dialogs.expect(IDD_IGNORE_ELEMENT, [&](HWND dialog) {
                setCheck(dialog, IDC_IGNORE_ELEMENT, true);
                clickButton(dialog, IDC_IGNORE_BY_NAME);
                clickButton(dialog, IDC_IGNORE_CONTENT);
                setCheck(dialog, IDC_CONDITION, true);
                chooseCombo(dialog, IDC_CONDITION_ITEM, c.item);
                chooseCombo(dialog, IDC_CONDITION_TEST, 3);
                setCheck(dialog, IDC_CONDITION_CASE, true);
                SetDlgItemTextW(dialog, IDC_CONDITION_VALUE, L"x");
                clickButton(dialog, IDOK);
                // Refused, the dialog is still up; the user gives up.
                if (c.refused) clickButton(dialog, IDCANCEL);
            });
            command(IDM_IGNORE_PARTICULAR);
        }
        if (c.refused) {
            EXPECT_EQ(ignoreList.count, 0u);
            continue;
        }
        ASSERT_EQ(ignoreList.count, 1u);
        ASSERT_NE(ignoreList.rules[0]->condition, nullptr);
        EXPECT_EQ(narrow(ignoreList.rules[0]->condition->attributeName), sixty);
        loadBoth(left, right);  // the condition is evaluated while the files load
        const XMLTreeItem* e = elementNamed(leftTreeView, L"e");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->flags & 0xC0, 0xC0);
        EXPECT_TRUE(ignoreList.rules[0]->appliesWith(e->flags));
        EXPECT_EQ(elementNamed(rightTreeView, L"e")->flags & 0xC0, 0x80);
    }
}

}  // namespace
