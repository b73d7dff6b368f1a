#include "ui/dialogs/IgnoredElementsDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/MessageBox.h"
#include "tests/ui/RuleCommandsFixture.h"
#include "ui/Commands.h"
#include "ui/dialogs/IgnoreElementDialog.h"

namespace {

class IgnoredElementsTest : public RuleCommandsFixture {
protected:
    void SetUp() override {
        RuleCommandsFixture::SetUp();
        loadBoth("<r><a id='1'/><b/></r>", "<r><a id='2'/><b/></r>");
    }

    static void addRules(int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(ignoreList.parseRule((L"e" + std::to_wstring(i)).c_str()));
    }

    static std::vector<std::wstring> rulePaths() {
        std::vector<std::wstring> out;
        for (uint32_t i = 0; i < ignoreList.count; ++i)
            out.push_back(rulePath(i));
        return out;
    }

    static void selectIndex(HWND dialog, int index) {
        SendDlgItemMessageW(dialog, IDC_IGNORED_LIST, LB_SETSEL, TRUE, index);
    }
};

TEST_F(IgnoredElementsTest, RemoveElementTakesTheSelectedRulesFromTheHighestDown) {
    addRules(5);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
        EXPECT_EQ(entries(dialog, IDC_IGNORED_LIST), (std::vector<std::wstring>{L"e0", L"e1", L"e2", L"e3", L"e4"}));
        clickButton(dialog, IDC_REMOVE_ELEMENT);  // nothing selected: nothing goes
        EXPECT_EQ(ignoreList.count, 5u);
        selectIndex(dialog, 1);
        selectIndex(dialog, 4);
        clickButton(dialog, IDC_REMOVE_ELEMENT);
        EXPECT_EQ(entries(dialog, IDC_IGNORED_LIST), (std::vector<std::wstring>{L"e0", L"e3", L"e2"}));
        clickButton(dialog, IDCANCEL);
    });
    command(IDM_IGNORED_ELEMENTS);
    EXPECT_EQ(rulePaths(), (std::vector<std::wstring>{L"e0", L"e3", L"e2"}));
}

TEST_F(IgnoredElementsTest, EditIgnoredElementEditsTheFirstSelectedRule) {
    addRules(8);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
        selectIndex(dialog, 3);
        selectIndex(dialog, 7);
        clickButton(dialog, IDC_EDIT_IGNORED);
        EXPECT_EQ(entries(dialog, IDC_IGNORED_LIST).size(), 7u);
        clickButton(dialog, IDCANCEL);
    });
    dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
        wchar_t title[64];
        GetWindowTextW(dialog, title, 64);
        EXPECT_STREQ(title, L"Ignore Element: e3");
        EXPECT_TRUE(checked(dialog, IDC_IGNORE_ELEMENT));
        EXPECT_TRUE(checked(dialog, IDC_IGNORE_BY_NAME));
        setCheck(dialog, IDC_IGNORE_ELEMENT, false);
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORED_ELEMENTS);
    EXPECT_EQ(rulePaths(), (std::vector<std::wstring>{L"e0", L"e1", L"e2", L"e7", L"e4", L"e5", L"e6"}));
}

// The list dialog stays up behind the rule's dialog: were it usable, Remove Element or
// Remove All Elements would free the rule that the other dialog is about to change.
TEST_F(IgnoredElementsTest, TheListCannotBeUsedWhileARuleIsEdited) {
    addRules(2);
    HWND list = nullptr;
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [&list](HWND dialog) {
        list = dialog;
        selectIndex(dialog, 1);
        clickButton(dialog, IDC_EDIT_IGNORED);
        EXPECT_TRUE(IsWindowEnabled(dialog)) << "usable again once the rule's dialog is closed";
        clickButton(dialog, IDCANCEL);
    });
    dialogs.expect(IDD_IGNORE_ELEMENT, [&list](HWND dialog) {
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), list);
        EXPECT_FALSE(IsWindowEnabled(list));
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORED_ELEMENTS);
    EXPECT_TRUE(IsWindowEnabled(mainWindow));
    EXPECT_EQ(rulePaths(), (std::vector<std::wstring>{L"e0", L"e1"}));
}

TEST_F(IgnoredElementsTest, EditingRule300OfManyEditsThatRule) {
    addRules(310);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
        selectIndex(dialog, 299);
        clickButton(dialog, IDC_EDIT_IGNORED);
        clickButton(dialog, IDCANCEL);
    });
    dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
        clickButton(dialog, IDC_IGNORE_CONTENT_ATTRIBUTES);
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORED_ELEMENTS);
    for (uint32_t i = 0; i < ignoreList.count; ++i)
        EXPECT_EQ(ignoreList.rules[i]->mode, i == 299 ? 3 : 0) << i;
    EXPECT_EQ(rulePath(299), L"e299");
}

TEST_F(IgnoredElementsTest, EditingARuleWithNamedAttributesAsksTheReloadQuestionAfterTheDialog) {
    ASSERT_TRUE(ignoreList.parseRule(L"a 4 id"));
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
        selectIndex(dialog, 0);
        clickButton(dialog, IDC_EDIT_IGNORED);
        clickButton(dialog, IDCANCEL);
    });
    dialogs.expect(IDD_IGNORE_ELEMENT, [](HWND dialog) {
        EXPECT_TRUE(checked(dialog, IDC_IGNORE_NAMED));
        EXPECT_EQ(selectedEntries(dialog, IDC_ELEMENT_ATTRIBUTES), std::vector<std::wstring>{L"id"});
        clickButton(dialog, IDC_IGNORE_CONTENT);
        clickButton(dialog, IDOK);
    });
    command(IDM_IGNORED_ELEMENTS);
    EXPECT_EQ(ignoreList.rules[0]->mode, 1);
    EXPECT_EQ(ignoreList.rules[0]->attributeNames, nullptr);
}

TEST_F(IgnoredElementsTest, RemoveAllEmptiesBothListsAndAnnouncesCommonAttributes) {
    addRules(3);
    ASSERT_TRUE(ignoreList.parseCommonAttributes(L"id lang"));
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
        EXPECT_EQ(entries(dialog, IDC_IGNORED_COMMON), (std::vector<std::wstring>{L"id", L"lang"}));
        clickButton(dialog, IDC_REMOVE_ALL_ELEMENTS);
        EXPECT_TRUE(entries(dialog, IDC_IGNORED_LIST).empty());
        EXPECT_TRUE(entries(dialog, IDC_IGNORED_COMMON).empty());
        clickButton(dialog, IDCANCEL);
    });
    command(IDM_IGNORED_ELEMENTS);
    EXPECT_EQ(ignoreList.count, 0u);
    EXPECT_EQ(common(), L"");
}

TEST_F(IgnoredElementsTest, RemoveCommonAttributesKeepsTheRestAndAsks) {
    ASSERT_TRUE(ignoreList.parseCommonAttributes(L"id ID lang"));
    struct Case {
        std::vector<std::wstring> selected;
        const wchar_t* after;
    } cases[] = {{{}, L"id ID lang"}, {{L"ID"}, L"id lang"}, {{L"id", L"lang"}, L""}};
    for (const Case& c : cases) {
        BoxScript boxes;
        boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
        ModalScript dialogs;
        dialogs.expect(IDD_IGNORED_ELEMENTS, [&](HWND dialog) {
            for (const std::wstring& name : c.selected)
                selectEntry(dialog, IDC_IGNORED_COMMON, name);
            clickButton(dialog, IDC_REMOVE_COMMON_ATTRIBUTES);
            clickButton(dialog, IDCANCEL);
        });
        command(IDM_IGNORED_ELEMENTS);
        EXPECT_EQ(common(), c.after);
    }
}

TEST_F(IgnoredElementsTest, RemoveAllCommandAsksFirst) {
    struct Case {
        int rules;
        const wchar_t* common;
        int answer;  // 0: no box
        uint32_t rulesAfter;
        bool question;
    } cases[] = {
        {0, nullptr, 0, 0, false},  {2, nullptr, IDNO, 2, false}, {2, nullptr, IDYES, 0, false},
        {0, L"id", IDYES, 0, true}, {2, L"id", IDNO, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rules << " " << c.answer);
        ignoreList.clear();
        addRules(c.rules);
        if (c.common) ignoreList.parseCommonAttributes(c.common);
        BoxScript boxes;
        if (c.answer != 0)
            boxes.expect(L"Remove All elements from the list of ignored elements?", L"Confirm", c.answer);
        if (c.question) boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
        command(IDM_REMOVE_ALL_IGNORED);
        EXPECT_EQ(ignoreList.count, c.rulesAfter);
    }
}

TEST_F(IgnoredElementsTest, LoadAndSaveGoThroughTheFileDialogsAndAnnounceWhatReachesTheLoad) {
    struct Case {
        const char* rows;
        bool question;
    } cases[] = {
        {"IgnoreElement=x 1\r\n", false},
        {"IgnoreElement=y 2\r\nCondition=$TEXT$ 0 4 0 abc\r\n", true},
        {"CommonIgnoredAttributes=lang\r\n", true},
        {"IgnoreElement=z 4 id\r\n", true},
        {"KeyElement=r>a\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        clearRuleLists();
        ASSERT_TRUE(ignoreList.parseRule(L"e0"));
        const std::wstring path = dir.write(L"list.txt", c.rows);
        BoxScript boxes;
        if (c.question) boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
        DialogScript files;
        files.cancel().answer(path);
        ModalScript dialogs;
        dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
            clickButton(dialog, IDC_LOAD_IGNORED);  // cancelled: nothing read
            EXPECT_EQ(ignoreList.count, 1u);
            clickButton(dialog, IDC_LOAD_IGNORED);
            std::vector<std::wstring> expected;
            for (uint32_t i = 0; i < ignoreList.count; ++i)
                expected.push_back(rulePath(i));
            EXPECT_EQ(entries(dialog, IDC_IGNORED_LIST), expected);
            clickButton(dialog, IDCANCEL);
        });
        command(IDM_IGNORED_ELEMENTS);
        ASSERT_EQ(files.shown().size(), 2u);
        EXPECT_EQ(files.shown()[1].title, L"Load Ignored Elements");
        EXPECT_EQ(keyElementList.count, 0);  // only the ignored elements' rows are read
    }

    clearRuleLists();
    ASSERT_TRUE(ignoreList.parseRule(L"a 4 id"));
    ASSERT_TRUE(ignoreList.parseCommonAttributes(L"lang"));
    const std::wstring saved = dir.file(L"saved.txt");
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
    DialogScript files;
    files.answer(saved);
    ModalScript dialogs;
    dialogs.expect(IDD_IGNORED_ELEMENTS, [](HWND dialog) {
        clickButton(dialog, IDC_SAVE_IGNORED);
        clickButton(dialog, IDC_REMOVE_ALL_ELEMENTS);
        clickButton(dialog, IDC_SAVE_IGNORED);  // an empty list asks for no file
        clickButton(dialog, IDCANCEL);
    });
    command(IDM_IGNORED_ELEMENTS);
    EXPECT_EQ(files.shown().size(), 1u);
    const std::string text = dir.read(L"saved.txt");
    EXPECT_NE(text.find("IgnoreElement=a 4 id\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("CommonIgnoredAttributes=lang\r\n"), std::string::npos) << text;
}

}  // namespace
