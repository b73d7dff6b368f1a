#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/FileDialogs.h"
#include "ui/Toolbars.h"

namespace {

class FileDialogsTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::LeftDir[0] = OptionSet::RightDir[0] = 0;
        start();
        SendMessageW(autoLoadBox, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
    }
};

// With "LoadSeparate" on each panel's Open dialog starts where that panel's last Open
// went; with it off the dialogs start where the system puts them and no folder changes.
TEST_F(FileDialogsTest, EachPanelRemembersItsOwnFolderWhileLoadingSeparately) {
    TempDir first, second;
    const std::wstring one = first.write(L"one.xml", "<a/>");
    const std::wstring two = second.write(L"two.xml", "<b/>");
    const std::wstring firstFolder = first.path() + L"\\";
    const std::wstring secondFolder = second.path() + L"\\";

    struct Step {
        const char* what;
        int loadSeparate;
        int command;
        std::wstring answer;  // empty: cancel
        std::wstring initialDir;
        std::wstring leftFolder, rightFolder;
    } steps[] = {
        {"first Open of the left panel", 1, IDM_OPEN_FIRST, one, L"", firstFolder, L""},
        {"the right panel has its own folder", 1, IDM_OPEN_SECOND, two, L"", firstFolder, secondFolder},
        {"the next left Open starts where the last one went", 1, IDM_OPEN_FIRST, L"", firstFolder, firstFolder,
         secondFolder},
        {"a cancelled dialog changes no folder", 1, IDM_OPEN_SECOND, L"", secondFolder, firstFolder, secondFolder},
        {"off: no initial folder, none kept", 0, IDM_OPEN_FIRST, two, L"", L"", secondFolder},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        OptionSet::LoadSeparate = s.loadSeparate;
        DialogScript dialogs;
        s.answer.empty() ? dialogs.cancel() : dialogs.answer(s.answer);
        SendMessageW(mainWindow, WM_COMMAND, s.command, 0);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        EXPECT_EQ(dialogs.shown()[0].initialDir, s.initialDir);
        EXPECT_EQ(dialogs.shown()[0].flags, static_cast<DWORD>(OFN_EXPLORER));
        EXPECT_EQ(dialogs.shown()[0].owner, mainWindow);
        EXPECT_EQ(std::wstring(OptionSet::LeftDir), s.leftFolder);
        EXPECT_EQ(std::wstring(OptionSet::RightDir), s.rightFolder);
    }
    EXPECT_EQ(leftTreeView.folder, OptionSet::LeftDir) << "the panel's folder is the option's storage";
}

TEST_F(FileDialogsTest, TheSaveDialogAsksBeforeReplacingAFile) {
    wchar_t folder[kDialogFileUnits] = L"";
    DialogScript dialogs;
    dialogs.answer(dir.file(L"out.xml")).cancel();
    const wchar_t* chosen = showSaveDialog(mainWindow, L"Save XML file", folder, kXmlFilter);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(std::wstring(chosen), dir.file(L"out.xml"));
    EXPECT_EQ(showSaveDialog(mainWindow, L"Save XML file", folder, kXmlFilter), nullptr);
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_TRUE(dialogs.shown()[0].save);
    EXPECT_TRUE(dialogs.shown()[0].flags & OFN_OVERWRITEPROMPT);
    EXPECT_STREQ(dialogFileName, L"") << "a cancelled dialog leaves no name behind";
}

TEST_F(FileDialogsTest, KeepDirectoryLeavesTheFolderWithItsFinalSeparator) {
    struct Case {
        const wchar_t* file;
        const wchar_t* folder;
    } cases[] = {
        {L"C:\\data\\x.xml", L"C:\\data\\"},
        {L"C:\\x.xml", L"C:\\"},
        {L"D:\\a\\b\\c\\deep name.xml", L"D:\\a\\b\\c\\"},
    };
    for (const Case& c : cases) {
        wchar_t folder[kDialogFileUnits] = L"unchanged";
        keepDirectory(c.file, folder);
        EXPECT_STREQ(folder, c.folder);
    }
    // A name whose full path does not fit leaves the folder as it was.
    wchar_t folder[kDialogFileUnits] = L"unchanged";
    keepDirectory((L"C:\\" + std::wstring(300, L'x')).c_str(), folder);
    EXPECT_STREQ(folder, L"unchanged");
}

TEST_F(FileDialogsTest, ItemHeightFollowsTheLeftTreesFont) {
    HDC dc = GetDC(leftTreeView.tree);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(leftTreeView.tree, dc);
    ASSERT_EQ(dpi, 96) << "the expected heights are for 96 pixels per inch";
    struct Case {
        int fontHeight;
        int itemHeight;
    } cases[] = {{-13, 21}, {-8, 15}, {20, 31}};
    for (const Case& c : cases) {
        HFONT font = CreateFontW(c.fontHeight, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        SendMessageW(leftTreeView.tree, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        EXPECT_EQ(updateItemHeight(), c.itemHeight) << c.fontHeight;
        // Without TVS_NONEVENHEIGHT the tree views keep an even height.
        EXPECT_EQ(SendMessageW(leftTreeView.tree, TVM_GETITEMHEIGHT, 0, 0), c.itemHeight & ~1) << c.fontHeight;
        EXPECT_EQ(SendMessageW(rightTreeView.tree, TVM_GETITEMHEIGHT, 0, 0), c.itemHeight & ~1) << c.fontHeight;
        SendMessageW(leftTreeView.tree, WM_SETFONT, 0, FALSE);
        DeleteObject(font);
    }
}

}  // namespace
