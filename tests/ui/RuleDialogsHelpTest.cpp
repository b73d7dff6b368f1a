#include <windows.h>

#include <htmlhelp.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "settings/OptionSet.h"
#include "tests/ui/RuleCommandsFixture.h"
#include "ui/Commands.h"
#include "ui/Help.h"
#include "ui/dialogs/IgnoreElementDialogRes.h"
#include "ui/dialogs/IgnoredElementsDialogRes.h"
#include "ui/dialogs/KeyAttributeDialogRes.h"

namespace {

using HelpIds = std::vector<std::pair<DWORD, DWORD>>;

// The pairs of a context help table, up to its closing 0, 0.
HelpIds helpIdsOf(DWORD_PTR data) {
    HelpIds out;
    const DWORD* ids = reinterpret_cast<const DWORD*>(data);
    for (; ids != nullptr && ids[0] != 0; ids += 2)
        out.emplace_back(ids[0], ids[1]);
    return out;
}

class RuleDialogsHelpTest : public RuleCommandsFixture {
protected:
    void SetUp() override {
        RuleCommandsFixture::SetUp();
        loadBoth("<r><a id='1'/></r>", "<r><a id='1'/></r>");
    }
};

TEST_F(RuleDialogsHelpTest, EachDialogShowsItsTopicAndItsControlsContextHelp) {
    OptionSet::DisplayConfirmation = 1;  // F7 through the dialog
    struct Case {
        int command;
        int templateId;
        int control;  // the control that F1 and the right click are on
        const wchar_t* topic;
        HelpIds ids;
    } cases[] = {
        {IDM_IGNORE_ELEMENTS,
         IDD_IGNORE_ELEMENT,
         IDC_IGNORE_ELEMENT,
         L"htm/igndlg.htm",
         {{1588, 0x85F5040A}, {1589, 0x85F5040B}, {1590, 0x85F5040C}, {1591, 0x85F5040D}, {1594, 0x85F5040E},
          {1595, 0x85F5040F}, {1596, 0x85F503EE}, {1597, 0x85F50410}, {1592, 0x85F50412}, {1593, 0x85F50413},
          {1598, 0x85F50414}, {1603, 0x85F50419}, {1604, 0x85F5041A}, {1605, 0x85F5041B}, {1610, 0x85F50420},
          {1611, 0x85F50421}, {1612, 0x85F50422}, {1613, 0x85F50423}, {1614, 0x85F50424}, {1615, 0x85F50425}}},
        {IDM_IGNORED_ELEMENTS,
         IDD_IGNORED_ELEMENTS,
         IDC_IGNORED_LIST,
         L"htm/list.htm",
         {{1075, 0x85F503F4},
          {997, 0x85F503F0},
          {1076, 0x85F503F1},
          {1072, 0x85F503F2},
          {1073, 0x85F503F3},
          {1599, 0x85F50415},
          {1604, 0x85F5041A},
          {1605, 0x85F5041B}}},
        {IDM_KEY_ATTRIBUTE,
         IDD_KEY_ATTRIBUTE,
         IDC_KEY_ATTRIBUTE_LIST,
         L"htm/cmpkeyat.htm",
         {{1602, 0x85F50417}, {1598, 0x85F50418}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.templateId);
        select(leftTreeView, L"a");
        HelpRecorder recorder;
        setHelpPaths(L"C:\\Verdalt\\verdalt.exe");
        HWND dialogWindow = nullptr;
        HWND controlWindow = nullptr;
        ModalScript dialogs;
        dialogs.expect(c.templateId, [&](HWND dialog) {
            dialogWindow = dialog;
            controlWindow = GetDlgItem(dialog, c.control);
            ASSERT_NE(controlWindow, nullptr);
            clickButton(dialog, IDC_DIALOG_HELP);
            HELPINFO info{};
            info.cbSize = sizeof(info);
            info.iContextType = HELPINFO_WINDOW;
            info.iCtrlId = c.control;
            info.hItemHandle = controlWindow;
            SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
            SendMessageW(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(controlWindow), MAKELPARAM(10, 10));
            clickButton(dialog, IDCANCEL);
        });
        command(c.command);
        ASSERT_EQ(recorder.calls.size(), 3u);

        const HelpRecorder::Call& button = recorder.calls[0];
        EXPECT_EQ(button.caller, dialogWindow);
        EXPECT_EQ(button.file, L"C:\\Verdalt\\verdalt.chm>verdalt");
        EXPECT_EQ(button.command, static_cast<UINT>(HH_DISPLAY_TOPIC));
        EXPECT_EQ(button.topic, c.topic);

        const HelpRecorder::Call& f1 = recorder.calls[1];
        EXPECT_EQ(f1.caller, controlWindow);
        EXPECT_EQ(f1.file, L"C:\\Verdalt\\verdalt.chm");
        EXPECT_EQ(f1.command, static_cast<UINT>(HH_TP_HELP_WM_HELP));
        EXPECT_EQ(helpIdsOf(f1.data), c.ids);

        const HelpRecorder::Call& menu = recorder.calls[2];
        EXPECT_EQ(menu.caller, controlWindow);
        EXPECT_EQ(menu.file, L"C:\\Verdalt\\verdalt.chm");
        EXPECT_EQ(menu.command, static_cast<UINT>(HH_TP_HELP_CONTEXTMENU));
        EXPECT_EQ(helpIdsOf(menu.data), c.ids);
    }
}

}  // namespace
