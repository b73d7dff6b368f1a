#include <windows.h>

#include <htmlhelp.h>

#include <gtest/gtest.h>

#include <iterator>
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
#include "ui/dialogs/OptionsDialogRes.h"
#include "ui/dialogs/TipOfTheDayDialogRes.h"

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

class DialogsHelpTest : public RuleCommandsFixture {
protected:
    void SetUp() override {
        RuleCommandsFixture::SetUp();
        loadBoth("<r><a id='1'/></r>", "<r><a id='1'/></r>");
    }
};

TEST_F(DialogsHelpTest, EachDialogShowsItsTopicAndItsControlsContextHelp) {
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
        {IDM_OPTIONS,
         IDD_OPTIONS,
         IDC_OPT_DO_SCHEMA,
         L"htm/valopt.htm",  // the page shown at the opening
         {{1082, 0x85F5042C}, {1003, 0x008303EB}, {1004, 0x008303EC}, {1028, 0x00830404}, {1006, 0x008303EE},
          {1005, 0x008303ED}, {1027, 0x00830403}, {990, 0x85F50456},  {991, 0x85F50457},  {992, 0x85F50458},
          {1007, 0x008303F1}, {1008, 0x008303EF}, {1009, 0x008303F0}, {1010, 0x008303F2}, {1012, 0x008303F4},
          {1011, 0x008303F3}, {1037, 0x85F503E1}, {1059, 0x85F503E6}, {1036, 0x85F503E0}, {1029, 0x00830405},
          {1030, 0x00830406}, {1050, 0x85F503E3}, {1100, 0x85F503E4}, {1101, 0x85F50405}, {1102, 0x85F50406},
          {1103, 0x85F50407}, {1051, 0x85F50408}, {1105, 0x85F5043D}, {1052, 0x85F503E5}, {1060, 0x85F503E7},
          {1061, 0x85F503E8}, {1063, 0x85F503E9}, {1064, 0x85F503EA}, {1065, 0x85F503EB}, {1068, 0x85F50453},
          {1069, 0x85F50454}, {1070, 0x85F50455}, {1066, 0x85F503EC}, {1089, 0x85F5043C}, {1067, 0x85F503ED},
          {1570, 0x85F50404}, {1616, 0x85F50426}, {1071, 0x85F503EE}, {1077, 0x85F503EF}, {1569, 0x85F50400},
          {1606, 0x85F5041C}, {1607, 0x85F5041D}, {1608, 0x85F5041E}, {1609, 0x85F5041F}, {1617, 0x85F50427},
          {1623, 0x85F50428}, {1619, 0x85F50434}, {1621, 0x85F5043B}, {1618, 0x85F50433}, {1701, 0x85F50436},
          {1703, 0x85F50437}, {1702, 0x85F50438}, {1705, 0x85F50439}, {1622, 0x85F5043E}, {1091, 0x85F5042A},
          {1092, 0x85F5042B}, {1093, 0x85F5045A}}},
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

// The Help button shows the topic of the page on view.
TEST_F(DialogsHelpTest, OptionsHelpFollowsThePage) {
    const wchar_t* const topics[] = {
        L"htm/valopt.htm", L"htm/compopt.htm", L"htm/normal.htm",   L"htm/openout.htm",
        L"htm/view.htm",   L"htm/colors.htm",  L"htm/advanced.htm",
    };
    HelpRecorder recorder;
    setHelpPaths(L"C:\\Verdalt\\verdalt.exe");
    ModalScript dialogs;
    dialogs.expect(IDD_OPTIONS, [&](HWND dialog) {
        // Backwards, so that no page is the one shown before it was chosen.
        for (int page = static_cast<int>(std::size(topics)) - 1; page >= 0; --page) {
            HWND pages = GetDlgItem(dialog, IDC_OPT_PAGES);
            SendMessageW(pages, LB_SETCURSEL, static_cast<WPARAM>(page), 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_PAGES, LBN_SELCHANGE), reinterpret_cast<LPARAM>(pages));
            clickButton(dialog, IDC_DIALOG_HELP);
        }
        clickButton(dialog, IDCANCEL);
    });
    command(IDM_OPTIONS);
    ASSERT_EQ(recorder.calls.size(), std::size(topics));
    for (size_t i = 0; i < recorder.calls.size(); ++i)
        EXPECT_EQ(recorder.calls[i].topic, topics[std::size(topics) - 1 - i]) << "page " << std::size(topics) - 1 - i;
}

// Tip of the Day has no Help button and no help for its controls.
TEST_F(DialogsHelpTest, TipOfTheDayHasNoContextHelpOfItsOwn) {
    HelpRecorder recorder;
    setHelpPaths(L"C:\\Verdalt\\verdalt.exe");
    ModalScript dialogs;
    dialogs.expect(IDD_TIP_OF_THE_DAY, [&](HWND dialog) {
        EXPECT_EQ(GetDlgItem(dialog, IDC_DIALOG_HELP), nullptr);
        HWND control = GetDlgItem(dialog, IDC_TIP_NEXT);
        HELPINFO info{};
        info.cbSize = sizeof(info);
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = IDC_TIP_NEXT;
        info.hItemHandle = control;
        SendMessageW(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        SendMessageW(dialog, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(control), MAKELPARAM(10, 10));
        clickButton(dialog, IDCANCEL);
    });
    command(IDM_TIP_OF_THE_DAY);
    // F1 passes on to the owner, which shows the program's help; the right click shows nothing.
    ASSERT_EQ(recorder.calls.size(), 1u);
    EXPECT_EQ(recorder.calls[0].caller, mainWindow);
    EXPECT_EQ(recorder.calls[0].command, static_cast<UINT>(HH_DISPLAY_TOPIC));
    EXPECT_EQ(recorder.calls[0].topic, L"<none>");
}

}  // namespace
