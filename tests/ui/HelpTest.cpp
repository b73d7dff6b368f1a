#include <windows.h>

#include <htmlhelp.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/MessageBox.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/ExternalPrograms.h"
#include "ui/Help.h"
#include "ui/Toolbars.h"

namespace {

const wchar_t kProgram[] = L"C:\\Program Files\\Verdalt\\verdalt.exe";
// WM_KEYF1, which the MinGW headers leave out.
constexpr UINT kKeyF1Message = 0x004D;

TEST(HelpPathTest, TheHelpFileSitsBesideTheProgram) {
    HelpRecorder recorder;
    const std::wstring fits(MAX_PATH - 1 - 8, L'x');  // room for ">verdalt" and nothing more
    struct Case {
        std::wstring module;
        std::wstring file;
        std::wstring window;
    } cases[] = {
        {kProgram, L"C:\\Program Files\\Verdalt\\verdalt.chm", L"C:\\Program Files\\Verdalt\\verdalt.chm>verdalt"},
        {L"D:\\tools\\VERDALT.EXE", L"D:\\tools\\VERDALT.chm", L"D:\\tools\\VERDALT.chm>verdalt"},
        {fits, fits.substr(0, fits.size() - 3) + L"chm", fits.substr(0, fits.size() - 3) + L"chm>verdalt"},
        {fits + L"x", L"", L""},
        {std::wstring(600, L'y'), L"", L""},
    };
    for (const Case& c : cases) {
        setHelpPaths(c.module.c_str());
        EXPECT_EQ(helpFilePath(), c.file) << c.module.size();
        EXPECT_EQ(helpWindowPath(), c.window) << c.module.size();
    }
    setHelpPaths(nullptr);
    EXPECT_STREQ(helpFilePath(), L"");
}

TEST(HelpPathTest, TheRunningProgramNamesItsOwnHelpFile) {
    HelpRecorder recorder;
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 4u);
    initHelpPath();
    std::wstring expected(module, length - 3);
    expected += L"chm";
    EXPECT_EQ(helpFilePath(), expected);
    EXPECT_EQ(helpWindowPath(), expected + L">verdalt");
}

TEST(HelpPathTest, WithoutAHelpFileNothingIsAsked) {
    HelpRecorder recorder;
    setHelpPaths(std::wstring(300, L'z').c_str());
    onHelp(nullptr);
    showHelpTopic(nullptr, L"htm/validat.htm");
    const DWORD ids[] = {100, 200, 0, 0};
    HELPINFO info{};
    info.cbSize = sizeof(info);
    showContextHelp(&info, WM_HELP, 0, ids);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST(HelpPathTest, TheHelpControlComesFromTheSystemFolder) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(_wcsicmp(systemFilePath(L"hhctrl.ocx").c_str(), (std::wstring(folder) + L"\\hhctrl.ocx").c_str()), 0);
}

TEST(HelpTopicTest, TheTopicComesFromTheBoxTheControlOrTheDefault) {
    HelpRecorder recorder;
    setHelpPaths(kProgram);
    const std::wstring window = L"C:\\Program Files\\Verdalt\\verdalt.chm>verdalt";
    HWND control = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4321));
    struct Case {
        const wchar_t* boxTopic;
        bool withInfo;
        DWORD contextId;
        HWND caller;
        std::wstring topic;
    } cases[] = {
        {L"htm/cmpimprove.htm", false, 0, mainWindow, L"htm/cmpimprove.htm"},
        {L"htm/validat.htm", true, kAutoLoadHelpId, mainWindow, L"htm/validat.htm"},  // the box comes first
        {nullptr, true, kAutoLoadHelpId, control, L"htm/autoload.htm"},
        {nullptr, true, kAutoSelectHelpId, control, L"htm/autosel.htm"},
        {nullptr, true, kAutoCompareHelpId, control, L"htm/autocomp.htm"},
        {nullptr, true, 0x1234, mainWindow, L"<none>"},
        {nullptr, false, 0, mainWindow, L"<none>"},
    };
    for (const Case& c : cases) {
        recorder.calls.clear();
        messageHelpTopic = c.boxTopic;
        HELPINFO info{};
        info.cbSize = sizeof(info);
        info.iContextType = HELPINFO_WINDOW;
        info.hItemHandle = control;
        info.dwContextId = c.contextId;
        onHelp(c.withInfo ? &info : nullptr);
        messageHelpTopic = nullptr;
        ASSERT_EQ(recorder.calls.size(), 1u) << narrow(c.topic);
        EXPECT_EQ(recorder.calls[0].caller, c.caller) << narrow(c.topic);
        EXPECT_EQ(recorder.calls[0].file, window);
        EXPECT_EQ(recorder.calls[0].command, static_cast<UINT>(HH_DISPLAY_TOPIC));
        EXPECT_EQ(recorder.calls[0].topic, c.topic);
    }
}

TEST(HelpTopicTest, DialogsShowTheirTopicAndTheirControlsContextHelp) {
    HelpRecorder recorder;
    setHelpPaths(kProgram);
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x777));
    HWND control = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x778));
    showHelpTopic(owner, L"htm/options.htm");
    const DWORD ids[] = {1001, 0x10001, 0, 0};
    HELPINFO info{};
    info.cbSize = sizeof(info);
    info.hItemHandle = control;
    showContextHelp(&info, WM_HELP, 0, ids);
    showContextHelp(nullptr, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(owner), ids);
    ASSERT_EQ(recorder.calls.size(), 3u);
    EXPECT_EQ(recorder.calls[0].caller, owner);
    EXPECT_EQ(recorder.calls[0].file, L"C:\\Program Files\\Verdalt\\verdalt.chm>verdalt");
    EXPECT_EQ(recorder.calls[0].topic, L"htm/options.htm");
    const DWORD_PTR table = reinterpret_cast<DWORD_PTR>(ids);
    EXPECT_EQ(recorder.calls[1].caller, control);
    EXPECT_EQ(recorder.calls[1].file, L"C:\\Program Files\\Verdalt\\verdalt.chm");
    EXPECT_EQ(recorder.calls[1].command, static_cast<UINT>(HH_TP_HELP_WM_HELP));
    EXPECT_EQ(recorder.calls[1].data, table);
    EXPECT_EQ(recorder.calls[2].caller, owner);
    EXPECT_EQ(recorder.calls[2].command, static_cast<UINT>(HH_TP_HELP_CONTEXTMENU));
    EXPECT_EQ(recorder.calls[2].data, table);
}

// The build compiles the help file beside the program (build/verdalt.chm; the tests run
// from build/tests). Every topic that a box, a dialog or a control opens must be in it.
TEST(HelpFileTest, EveryTopicThatIsOpenedIsInTheHelpFile) {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring path(module, length);
    path.erase(path.rfind(L'\\'));
    path.erase(path.rfind(L'\\') + 1);
    path += L"verdalt.chm";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no help file was built (chmcmd missing)";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    ASSERT_EQ(got, bytes.size());
    ASSERT_EQ(bytes.compare(0, 4, "ITSF"), 0) << "a compiled help file";
    // The file's directory holds each page's name as it is.
    for (const char* topic :
         {"index", "validat", "cmpimprove", "autoload", "autosel", "autocomp", "valopt", "compopt", "normal", "openout",
          "view", "colors", "advanced", "igndlg", "list", "cmpkeyat", "xmleditor"}) {
        EXPECT_NE(bytes.find(std::string("/htm/") + topic + ".htm"), std::string::npos) << topic;
    }
}

using HelpWindowTest = MainWindowFixture;

TEST_F(HelpWindowTest, TheMainWindowRoutesHelpTopicsAndWmHelp) {
    start();
    HelpRecorder recorder;
    setHelpPaths(kProgram);
    SendMessageW(mainWindow, WM_COMMAND, IDM_HELP_TOPICS, 0);
    HELPINFO info{};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    info.hItemHandle = autoLoadBox;
    info.dwContextId = GetWindowContextHelpId(autoLoadBox);
    SendMessageW(mainWindow, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[0].caller, mainWindow);
    EXPECT_EQ(recorder.calls[0].topic, L"<none>");
    EXPECT_EQ(recorder.calls[1].caller, autoLoadBox);
    EXPECT_EQ(recorder.calls[1].topic, L"htm/autoload.htm");
}

// The F1 key is left to the platform, which posts WM_KEYF1 to the window that has the
// focus when it takes the key from the input queue; that window asks for its help. Both
// go through the program's own message loop, its accelerators first. The menu still
// names F1.
TEST_F(HelpWindowTest, F1ShowsTheHelpOfWhatHasTheFocus) {
    start();
    setHelpPaths(kProgram);
    struct Case {
        const char* what;
        HWND focus;
        HWND caller;
        std::wstring topic;
    } cases[] = {
        {"AutoLoad", autoLoadBox, autoLoadBox, L"htm/autoload.htm"},
        {"AutoCompare", autoCompareBox, autoCompareBox, L"htm/autocomp.htm"},
        {"AutoSelect", autoSelectBox, autoSelectBox, L"htm/autosel.htm"},
        {"a tree", leftTreeView.tree, mainWindow, L"<none>"},
        {"the main window", mainWindow, mainWindow, L"<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetFocus(c.focus);
        ASSERT_EQ(GetFocus(), c.focus);
        const LPARAM keyData = 1 | (static_cast<LPARAM>(MapVirtualKeyW(VK_F1, MAPVK_VK_TO_VSC)) << 16);
        {
            HelpRecorder recorder;
            PostMessageW(c.focus, WM_KEYDOWN, VK_F1, keyData);
            PostMessageW(c.focus, WM_KEYUP, VK_F1, keyData | (3 << 30));
            PostQuitMessage(0);
            runMessageLoop();
            EXPECT_TRUE(recorder.calls.empty()) << "the key itself is no command";
        }
        HelpRecorder recorder;
        PostMessageW(c.focus, kKeyF1Message, 0, 0);
        PostQuitMessage(0);
        runMessageLoop();
        ASSERT_EQ(recorder.calls.size(), 1u);
        EXPECT_EQ(recorder.calls[0].caller, c.caller);
        EXPECT_EQ(recorder.calls[0].command, static_cast<UINT>(HH_DISPLAY_TOPIC));
        EXPECT_EQ(recorder.calls[0].topic, c.topic);
    }
    wchar_t text[64] = {};
    GetMenuStringW(GetMenu(mainWindow), IDM_HELP_TOPICS, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Help &Topics\bF1");
}

}  // namespace
