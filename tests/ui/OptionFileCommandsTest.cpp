#include "ui/OptionFileCommands.h"

#include <windows.h>

#include <commdlg.h>

#include <gtest/gtest.h>

#include <string>

#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "settings/OptionSet.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/CommandLine.h"
#include "ui/Commands.h"
#include "ui/StatusBar.h"

namespace {

class OptionFileCommandsTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;
    std::wstring folder;

    void SetUp() override {
        MainWindowFixture::SetUp();
        clearRuleLists();
        OptionSet::LoadSeparate = 1;
        folder = dir.path() + L"\\";
        lstrcpynW(OptionSet::OptionsDir, folder.c_str(), OptionSet::kPathLength);
        CreateDirectoryW(dir.file(L"lists").c_str(), nullptr);
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        clearRuleLists();
        // The scratch folder removes files only.
        DeleteFileW(dir.file(L"lists\\lists.txt").c_str());
        RemoveDirectoryW(dir.file(L"lists").c_str());
    }

    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }
};

// Each list command asks for its file in the options folder, keeps the folder the user
// went to, and appends without asking to replace (nothing is replaced).
TEST_F(OptionFileCommandsTest, ListCommandsAskForTheirFile) {
    start();
    entireElementList.addPath(L"a>e");
    keyElementList.addPath(L"a>k");
    const std::wstring file = dir.file(L"lists\\lists.txt");
    struct Case {
        int command;
        const wchar_t* title;
        bool save;
    } cases[] = {
        {IDM_SAVE_ENTIRE, L"Save Entire Elements", true},
        {IDM_SAVE_KEYS, L"Save Key Elements", true},
        {IDM_LOAD_ENTIRE, L"Load Entire Elements", false},
        {IDM_LOAD_KEYS, L"Load Key Elements", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.title));
        lstrcpynW(OptionSet::OptionsDir, folder.c_str(), OptionSet::kPathLength);
        DialogScript dialogs;
        dialogs.answer(file);
        command(c.command);
        ASSERT_EQ(dialogs.shown().size(), 1u);
        const DialogScript::Dialog& shown = dialogs.shown()[0];
        EXPECT_EQ(shown.title, c.title);
        EXPECT_EQ(shown.save, c.save);
        EXPECT_EQ(shown.initialDir, folder);
        EXPECT_EQ(shown.flags & OFN_OVERWRITEPROMPT, 0u) << "appending replaces nothing";
        EXPECT_EQ(std::wstring(OptionSet::OptionsDir), dir.file(L"lists\\"));
    }
    EXPECT_EQ(dir.read(L"lists\\lists.txt"),
              "#These rows were added by Verdalt\r\nEntireElement=a>e\r\n"
              "\r\n#These rows were added by Verdalt\r\nKeyElement=a>k\r\n");
    // The loads read only their own rows: each list holds its entry once.
    EXPECT_EQ(entireElementList.count, 1);
    EXPECT_EQ(keyElementList.count, 1);

    clearRuleLists();
    dir.write(L"more.txt", "EntireElement=x>y\r\nKeyElement=x>k\r\n");
    DialogScript dialogs;
    dialogs.answer(dir.file(L"more.txt")).answer(dir.file(L"more.txt"));
    command(IDM_LOAD_ENTIRE);
    EXPECT_EQ(entireElementList.count, 1);
    EXPECT_EQ(keyElementList.count, 0) << "the entire-element load takes no key rows";
    command(IDM_LOAD_KEYS);
    EXPECT_EQ(keyElementList.count, 1);
}

TEST_F(OptionFileCommandsTest, CancelReadsAndWritesNothing) {
    start();
    dir.write(L"lists.txt", "EntireElement=x>y\r\n");
    entireElementList.addPath(L"a>e");
    DialogScript dialogs;
    dialogs.cancel().cancel().cancel();
    command(IDM_LOAD_ENTIRE);
    command(IDM_SAVE_ENTIRE);
    EXPECT_EQ(loadListFile(mainWindow, kOptionRows, L"Load Options"), 0);
    EXPECT_EQ(entireElementList.count, 1);
    EXPECT_EQ(dir.read(L"lists.txt"), "EntireElement=x>y\r\n");
    EXPECT_EQ(std::wstring(OptionSet::OptionsDir), folder) << "a cancelled dialog keeps the folder";
}

// With nothing to save no dialog is shown: the script expects none.
TEST_F(OptionFileCommandsTest, EmptyListsShowNoDialog) {
    start();
    DialogScript dialogs;
    command(IDM_SAVE_ENTIRE);
    command(IDM_SAVE_KEYS);
    saveIgnoredElements(mainWindow);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(OptionFileCommandsTest, TheDialogsSavesAndLoads) {
    start();
    ignoreList.parseRule(L"a>b 1");
    const std::wstring lists = dir.file(L"ignored.txt");
    const std::wstring saved = dir.write(L"options.txt", "old");
    OptionSet::CompareLevel = 1;
    {
        DialogScript dialogs;
        dialogs.answer(lists).answer(saved);
        saveIgnoredElements(mainWindow);
        saveOptionsToFile(mainWindow);
        ASSERT_EQ(dialogs.shown().size(), 2u);
        EXPECT_EQ(dialogs.shown()[0].title, L"Save Ignored Elements");
        EXPECT_EQ(dialogs.shown()[0].flags & OFN_OVERWRITEPROMPT, 0u);
        EXPECT_EQ(dialogs.shown()[1].title, L"Save Options to file");
        EXPECT_NE(dialogs.shown()[1].flags & OFN_OVERWRITEPROMPT, 0u) << "replacing the options file is asked about";
    }
    EXPECT_EQ(dir.read(L"ignored.txt"), "#These rows were added by Verdalt\r\nIgnoreElement=a>b 1\r\n");
    EXPECT_EQ(dir.read(L"options.txt").rfind("XMLElementCaseSensitive=", 0), 0u);

    ignoreList.clear();
    OptionSet::CompareLevel = 3;
    DialogScript dialogs;
    dialogs.answer(lists).answer(saved);
    EXPECT_EQ(loadListFile(mainWindow, kIgnoredElementRows, L"Load Ignored Elements"), 1);
    EXPECT_EQ(loadListFile(mainWindow, kOptionRows, L"Load Options"), 1);
    EXPECT_EQ(ignoreList.count, 1u);
    EXPECT_EQ(OptionSet::CompareLevel, 1);
}

class CommandLineOptionsTest : public OptionFileCommandsTest {
protected:
    std::wstring summaryOf(const std::wstring& arguments) {
        start();
        std::wstring line = L"verdalt.exe " + arguments;
        processCommandLine(line.data());
        EXPECT_TRUE(leftTreeView.loaded && rightTreeView.loaded);
        std::wstring summary = lastStatusMessage;
        close();
        return summary;
    }
    std::wstring quoted(const std::wstring& name) { return L"\"" + dir.file(name) + L"\""; }
};

// The options file is read before the documents load: its rows steer the parse and the
// comparison, and the run leaves the options, the window and the folders in the registry
// as they were.
TEST_F(CommandLineOptionsTest, TheOptionsFileSteersTheComparison) {
    dir.write(L"one.xml", "<r><item><id>1</id><v>a</v></item><item><id>2</id><v>b</v></item><skip>1</skip></r>");
    dir.write(L"two.xml", "<r><item><id>2</id><v>x</v></item><item><id>1</id><v>y</v></item><skip>2</skip></r>");
    dir.write(L"options.txt",
              "CompareLevel=0\r\n"
              "IgnoreElement=r>skip\r\n"
              "KeyElement=r>item>id\r\n");
    const std::wstring files = quoted(L"one.xml") + L" " + quoted(L"two.xml");
    OptionSet::CompareLevel = 0;
    const std::wstring plain = summaryOf(files);
    OptionSet::CompareLevel = 3;
    EXPECT_TRUE(hasValue(L"CompareLevel")) << "a run without an options file saves its options";
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());

    const std::wstring steered = summaryOf(files + L" " + quoted(L"options.txt"));
    EXPECT_NE(steered, plain);
    // The two ids pair by the key; "skip" is ignored on both sides.
    EXPECT_EQ(
        steered.rfind(L"R#Identical  :  2\nDeleted    :  2\nAdded      :  2\nDifferent  :  3\nIgnored    :  2\n", 0),
        0u)
        << narrow(steered);
    EXPECT_EQ(saveAtExit, 0);
    for (const wchar_t* name :
         {L"CompareLevel", L"DoSchema", L"LeftMainPos", L"OptionsDir", L"ViewMode", L"ApplicationVersion"})
        EXPECT_FALSE(hasValue(name)) << narrow(name);
}

// An options file that cannot be read is reported, and the exit saves as usual.
TEST_F(CommandLineOptionsTest, AMissingOptionsFileKeepsTheExitSave) {
    dir.write(L"one.xml", "<r/>");
    dir.write(L"two.xml", "<r/>");
    BoxScript boxes;
    boxes.expectCaption(L"Error");
    summaryOf(quoted(L"one.xml") + L" " + quoted(L"two.xml") + L" " + quoted(L"missing.txt"));
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].text.rfind(L"LoadOptions\n", 0), 0u);
    EXPECT_EQ(saveAtExit, 1);
    EXPECT_TRUE(hasValue(L"CompareLevel"));
    EXPECT_TRUE(hasValue(L"LeftMainPos"));
}

}  // namespace
