#include "ui/RuleCommands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/MessageBox.h"
#include "settings/OptionSet.h"
#include "tests/ui/RuleCommandsFixture.h"
#include "ui/Commands.h"
#include "ui/dialogs/IgnoreElementDialog.h"
#include "ui/dialogs/IgnoredElementsDialog.h"
#include "ui/dialogs/KeyAttributeDialog.h"

namespace {

class RuleReloadQuestionTest : public RuleCommandsFixture {};

// F7, 1074, 997 and Shift+F2 clear reloadNeeded, run, and ask once afterwards when their
// change reaches the load: Yes reloads both files (new records) and compares again.
TEST_F(RuleReloadQuestionTest, EachCommandAsksAfterwardsAndYesReloadsAndCompares) {
    struct Case {
        const char* name;
        int command;
        std::function<void()> setUp;
        int dialog;  // 0: none
        std::function<void(HWND)> action;
        int answer;
    };
    auto editRule = [](HWND dialog) {
        SendDlgItemMessageW(dialog, IDC_IGNORED_LIST, LB_SETSEL, TRUE, 0);
        clickButton(dialog, IDC_REMOVE_ELEMENT);
        clickButton(dialog, IDCANCEL);
    };
    auto setKey = [](HWND dialog) {
        setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
        SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
        clickButton(dialog, IDOK);
    };
    const Case cases[] = {
        {"F7 removes a rule with named attributes", IDM_IGNORE_ELEMENTS,
         [] {
             OptionSet::DisplayConfirmation = 0;
             ignoreList.parseRule(L"a 4 id");
         },
         0, nullptr, IDYES},
        {"F7, answered No", IDM_IGNORE_ELEMENTS,
         [] {
             OptionSet::DisplayConfirmation = 0;
             ignoreList.parseRule(L"a 4 id");
         },
         0, nullptr, IDNO},
        {"1074 removes a rule with named attributes", IDM_IGNORED_ELEMENTS, [] { ignoreList.parseRule(L"a 5 id"); },
         IDD_IGNORED_ELEMENTS, editRule, IDYES},
        {"1074, answered No", IDM_IGNORED_ELEMENTS, [] { ignoreList.parseRule(L"a 5 id"); }, IDD_IGNORED_ELEMENTS,
         editRule, IDNO},
        {"997 with common attributes", IDM_REMOVE_ALL_IGNORED, [] { ignoreList.parseCommonAttributes(L"id"); }, 0,
         nullptr, IDYES},
        {"Shift+F2 sets the key attribute", IDM_KEY_ATTRIBUTE, [] {}, IDD_KEY_ATTRIBUTE, setKey, IDYES},
        {"Shift+F2, answered No", IDM_KEY_ATTRIBUTE, [] {}, IDD_KEY_ATTRIBUTE, setKey, IDNO},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearRuleLists();
        loadBoth("<r><a id='1'>x</a></r>", "<r><a id='2'>x</a></r>");
        c.setUp();
        // The element's state as the load left it: a rule's mark, not yet compared.
        XMLTreeItem* a = select(leftTreeView, L"a");
        a->ignoreState = 1;
        a->line = 12345;  // a mark that a new record of the reload does not carry
        filesCompared = 0;
        BoxScript boxes;
        if (c.command == IDM_REMOVE_ALL_IGNORED) boxes.expectCaption(L"Confirm", IDYES);
        boxes.expect(kReloadQuestion, kReloadCaption, c.answer);
        ModalScript dialogs;
        if (c.dialog != 0) dialogs.expect(c.dialog, c.action);

        command(c.command);

        const bool reloaded = elementNamed(leftTreeView, L"a")->line != 12345;
        EXPECT_EQ(reloaded, c.answer == IDYES);
        EXPECT_EQ(filesCompared, c.answer == IDYES ? 1 : 0);
    }
}

TEST_F(RuleReloadQuestionTest, NothingIsAskedWithoutALoadedFileOrWithoutAChange) {
    ignoreList.parseRule(L"a 4 id");
    ignoreList.parseCommonAttributes(L"id");
    BoxScript boxes;
    boxes.expectCaption(L"Confirm", IDYES);
    command(IDM_REMOVE_ALL_IGNORED);  // no file loaded: no question
    EXPECT_EQ(ignoreList.count, 0u);

    loadBoth("<r><a id='1'/></r>", "<r><a id='1'/></r>");
    select(leftTreeView, L"a");
    OptionSet::DisplayConfirmation = 0;
    command(IDM_IGNORE_ELEMENTS);  // a rule of mode 0 reaches no load
    command(IDM_IGNORE_PARTICULAR);
    command(IDM_KEY_ELEMENT);
    command(IDM_ENTIRE_ELEMENT);
    EXPECT_EQ(ignoreList.count, 1u);
}

}  // namespace
