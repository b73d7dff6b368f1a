#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <psapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "tests/support/LoopbackServer.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/CommandDispatch.h"
#include "ui/CommandLine.h"
#include "ui/Commands.h"
#include "ui/Menus.h"
#include "ui/PathCombo.h"
#include "ui/Splitter.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"

namespace {

const char kSmallDocument[] = "<root><a x=\"1\" y=\"two\"/><b>hi</b><c><d>needle</d></c><e>Needle</e></root>";

std::vector<HWND> childrenInCreationOrder(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

RECT childRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

using StartupTest = MainWindowFixture;

TEST_F(StartupTest, CreatesTheChildrenInOrderAndMeasuresTheBars) {
    HWND window = start();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window, mainWindow);

    // Siblings keep the order in which they were created; the rebar made after the status
    // bar is kept by every layout, the one at the end of start-up included.
    const std::vector<HWND> expected = {statusBar, rebar, leftTreeView.tree, rightTreeView.tree, treeSplitter};
    EXPECT_EQ(childrenInCreationOrder(window), expected);

    RECT bar;
    GetWindowRect(rebar, &bar);
    EXPECT_EQ(toolbarHeight, bar.bottom - bar.top + 1);
    GetWindowRect(statusBar, &bar);
    EXPECT_EQ(statusHeight, bar.bottom - bar.top + 1);
    EXPECT_EQ(childRect(leftTreeView.tree).top, toolbarHeight);

    ASSERT_EQ(SendMessageW(rebar, RB_GETBANDCOUNT, 0, 0), 2);
    for (UINT band = 0; band < 2; ++band) {
        REBARBANDINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = RBBIM_CHILD | RBBIM_ID;
        SendMessageW(rebar, RB_GETBANDINFOW, band, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.wID, band);
        EXPECT_EQ(info.hwndChild, band == 0 ? fileToolbar : mainToolbar);
    }
    EXPECT_EQ(GetParent(leftTreeView.pathCombo), fileToolbar);
    EXPECT_EQ(GetParent(leftTreeView.pathEdit), leftTreeView.pathCombo);
    EXPECT_EQ(GetParent(autoSelectBox), mainToolbar);
    EXPECT_EQ(SendMessageW(mainToolbar, TB_BUTTONCOUNT, 0, 0), 13);
    EXPECT_EQ(SendMessageW(fileToolbar, TB_BUTTONCOUNT, 0, 0), 4);
    EXPECT_EQ(ImageList_GetImageCount(treeImageList), 24);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(leftTreeView.tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0)),
              treeImageList);
    EXPECT_EQ(GetWindow(tooltipWindow, GW_OWNER), window);
    EXPECT_NE(mainAccelerators, nullptr);
    EXPECT_EQ(GetMenuItemCount(treePopupMenu), 19);
}

TEST_F(StartupTest, CheckBoxesAndViewComeFromTheOptions) {
    OptionSet::AutoLoad = 1;
    OptionSet::AutoCompare = 0;
    OptionSet::AutoSelect = 1;
    OptionSet::ViewMode = IDM_VIEW_SIMILARITIES;
    start();
    EXPECT_TRUE(isChecked(autoLoadBox));
    EXPECT_FALSE(isChecked(autoCompareBox));
    EXPECT_TRUE(isChecked(autoSelectBox));
    EXPECT_EQ(GetWindowContextHelpId(autoLoadBox), kAutoLoadHelpId);
    HMENU view = GetSubMenu(GetMenu(mainWindow), kViewMenu);
    EXPECT_FALSE(GetMenuState(view, IDM_VIEW_NORMAL, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(view, IDM_VIEW_SIMILARITIES, MF_BYCOMMAND) & MF_CHECKED);
    wchar_t text[64] = {};
    SendMessageW(statusBar, SB_GETTEXTW, kStatusView, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"View: Similarities");
}

TEST(MainWindowPlacementTest, StoredRectangles) {
    struct Case {
        const char* what;
        int left, top, right, bottom;
        bool useDefault, maximised;
    } cases[] = {
        {"unset", -111, 10, 500, 400, true, false},
        {"a normal rectangle", 10, 20, 610, 420, false, false},
        {"width 39", 10, 20, 49, 420, true, false},
        {"height 39", 10, 20, 610, 59, true, false},
        {"negative left", -5, 20, 610, 420, true, false},
        {"negative top", 10, -1, 610, 420, true, false},
        {"as wide as the desktop", -8, -8, 1272, 600, true, true},
        {"as high as the desktop", 0, 0, 600, 1024, true, true},
    };
    for (const Case& c : cases) {
        const WindowPlacement p = mainWindowPlacement(c.left, c.top, c.right, c.bottom, 1280, 1024);
        EXPECT_EQ(p.useDefault, c.useDefault) << c.what;
        EXPECT_EQ(p.maximised, c.maximised) << c.what;
        if (p.useDefault) {
            EXPECT_EQ(p.x, static_cast<int>(CW_USEDEFAULT)) << c.what;
            EXPECT_EQ(p.width, static_cast<int>(CW_USEDEFAULT)) << c.what;
        } else {
            EXPECT_EQ(p.x, c.left) << c.what;
            EXPECT_EQ(p.y, c.top) << c.what;
            EXPECT_EQ(p.width, c.right - c.left) << c.what;
            EXPECT_EQ(p.height, c.bottom - c.top) << c.what;
        }
    }
}

TEST_F(StartupTest, VersionRule) {
    struct Case {
        const char* what;
        DWORD storedVersion;  // 0: none stored
        DWORD tips;
        int notices;
        bool reset;
    } cases[] = {
        {"first start with tips on", 0, 1801, 1, true},
        {"first start with tips off", 0, 0, 0, true},
        {"an older version", 540, 1801, 0, true},
        {"this version", 551, 1801, 0, false},
    };
    for (const Case& c : cases) {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        if (c.storedVersion != 0) setNumber(L"ApplicationVersion", c.storedVersion);
        setNumber(L"TipOfTheDay", c.tips);
        setNumber(L"CompareLevel", 1);
        setNumber(L"LeftMainPos", 17);
        OptionSet::ApplicationVersion = 0;
        noticeCount = 0;

        prepareStart();

        EXPECT_EQ(noticeCount, c.notices) << c.what;
        EXPECT_EQ(OptionSet::CompareLevel, c.reset ? 3 : 1) << c.what;
        EXPECT_EQ(OptionSet::LeftMainPos, 17) << c.what << ": the window is not reset";
        EXPECT_EQ(hasValue(L"ApplicationVersion"), c.storedVersion != 0) << c.what << ": written only at exit";
    }
    OptionSet::TipOfTheDay = 0;
}

using ShutdownTest = MainWindowFixture;

TEST_F(ShutdownTest, ExitSavesTheWindowOptionsAndRecentLists) {
    start();
    const std::wstring left = load(leftTreeView, kSmallDocument, L"left.xml");
    SendMessageW(autoLoadBox, BM_SETCHECK, BST_CHECKED, 0);
    RECT window;
    GetWindowRect(mainWindow, &window);
    SendMessageW(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    pump();

    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(textValue(L"File1", kLeftRecentSubkey), left);
    EXPECT_EQ(numberValue(L"ApplicationVersion"), 551u);
    EXPECT_EQ(static_cast<LONG>(numberValue(L"LeftMainPos")), window.left);
    EXPECT_EQ(static_cast<LONG>(numberValue(L"BottomMainPos")), window.bottom);
    EXPECT_EQ(numberValue(L"AutoLoad"), 1u) << "the check box as it was at exit";
    EXPECT_TRUE(hasValue(L"DoSchema"));
    // The records went with the window.
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(leftTreeView.tree, nullptr);
    EXPECT_EQ(leftTreeView.summaryItem, nullptr);
}

TEST_F(ShutdownTest, AnOptionsFileOnTheCommandLineKeepsTheOptionsOutOfTheRegistry) {
    start();
    const std::wstring left = dir.write(L"one.xml", kSmallDocument);
    const std::wstring right = dir.write(L"two.xml", kSmallDocument);
    const std::wstring options = dir.write(L"options.txt", "CompareLevel=2\r\n");
    std::wstring line = L"verdalt.exe \"" + left + L"\" \"" + right + L"\" \"" + options + L"\"";
    processCommandLine(line.data());
    EXPECT_EQ(saveAtExit, 0);
    close();

    EXPECT_EQ(textValue(L"File1", kLeftRecentSubkey), left);
    EXPECT_EQ(textValue(L"File1", kRightRecentSubkey), right);
    for (const wchar_t* name : {L"ApplicationVersion", L"LeftMainPos", L"AutoCompare", L"DoSchema", L"LeftDir"})
        EXPECT_FALSE(hasValue(name)) << narrow(name);
}

TEST_F(ShutdownTest, AnOptionsFileThatCannotBeReadLeavesTheExitSaveOn) {
    start();
    const std::wstring left = dir.write(L"one.xml", kSmallDocument);
    std::wstring line = L"verdalt.exe \"" + left + L"\" \"" + left + L"\" \"" + dir.file(L"missing.txt") + L"\"";
    {
        BoxScript boxes;
        boxes.expectCaption(L"Error");
        processCommandLine(line.data());
    }
    EXPECT_EQ(saveAtExit, 1);
    close();
    EXPECT_EQ(numberValue(L"ApplicationVersion"), 551u);
}

// The enable state of every command in the menu bar, on the toolbars and in the tree
// popup menu: at start, after one file and after two.
enum class Place {
    kMenu,
    kMainToolbar,
    kFileToolbar,
    kPopup,
    kFileMenuSaveElements,
    kXmlMenuInsertReplace,
    kPopupSaveElements,
    kPopupInsertReplace
};

bool enabledIn(Place place, int id) {
    HMENU bar = GetMenu(mainWindow);
    auto byPosition = [](HMENU menu, int position) {
        return !(GetMenuState(menu, position, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED));
    };
    switch (place) {
        case Place::kMenu:
            return !(GetMenuState(bar, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
        case Place::kPopup:
            return !(GetMenuState(treePopupMenu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED));
        case Place::kMainToolbar:
            return (SendMessageW(mainToolbar, TB_GETSTATE, id, 0) & TBSTATE_ENABLED) != 0;
        case Place::kFileToolbar:
            return (SendMessageW(fileToolbar, TB_GETSTATE, id, 0) & TBSTATE_ENABLED) != 0;
        case Place::kFileMenuSaveElements:
            return byPosition(GetSubMenu(bar, kFileMenu), saveElementsFilePosition);
        case Place::kXmlMenuInsertReplace:
            return byPosition(GetSubMenu(bar, kXmlMenu), insertReplaceXmlPosition);
        case Place::kPopupSaveElements:
            return byPosition(treePopupMenu, saveElementsPopupPosition);
        case Place::kPopupInsertReplace:
            return byPosition(treePopupMenu, insertReplacePopupPosition);
    }
    return false;
}

using CommandStateTest = MainWindowFixture;

TEST_F(CommandStateTest, EveryCommandAtStartAndAfterOneAndTwoFiles) {
    struct Row {
        const char* what;
        Place place;
        int id;
        bool atStart, afterOne, afterTwo;
    } rows[] = {
        {"Open 1st", Place::kMenu, IDM_OPEN_FIRST, true, true, true},
        {"Open 2nd", Place::kMenu, IDM_OPEN_SECOND, true, true, true},
        {"Reload", Place::kMenu, IDM_RELOAD, false, true, true},
        {"Save XML Element", Place::kMenu, IDM_SAVE_ELEMENT, false, true, true},
        {"Save Report", Place::kMenu, IDM_SAVE_REPORT, false, false, false},
        {"Save Differences", Place::kMenu, IDM_SAVE_DIFFERENCES, false, false, false},
        {"Merge", Place::kMenu, IDM_MERGE, false, false, false},
        {"Save Elements submenu", Place::kFileMenuSaveElements, 0, false, false, false},
        {"Save Common Elements", Place::kMenu, IDM_SAVE_COMMON, true, true, true},
        {"Load Entire Element", Place::kMenu, IDM_LOAD_ENTIRE, true, true, true},
        {"Exit", Place::kMenu, IDM_EXIT, true, true, true},
        {"Find", Place::kMenu, IDM_FIND, false, true, true},
        {"Open XML Editor", Place::kMenu, IDM_OPEN_EDITOR, false, true, true},
        {"Compare Files", Place::kMenu, IDM_COMPARE_FILES, false, false, true},
        {"Compare Elements", Place::kMenu, IDM_COMPARE_ELEMENTS, false, false, true},
        {"Next Difference", Place::kMenu, IDM_NEXT_DIFFERENCE, false, false, false},
        {"Prev Difference", Place::kMenu, IDM_PREV_DIFFERENCE, false, false, false},
        {"Next Deleted/Added", Place::kMenu, IDM_NEXT_DELETED_ADDED, false, false, false},
        {"Prev Deleted/Added", Place::kMenu, IDM_PREV_DELETED_ADDED, false, false, false},
        {"Ignore Elements", Place::kMenu, IDM_IGNORE_ELEMENTS, false, true, true},
        {"Ignore Particular", Place::kMenu, IDM_IGNORE_PARTICULAR, false, true, true},
        {"Ignored Elements...", Place::kMenu, IDM_IGNORED_ELEMENTS, true, true, true},
        {"Key Element", Place::kMenu, IDM_KEY_ELEMENT, false, true, true},
        {"Key Attribute", Place::kMenu, IDM_KEY_ATTRIBUTE, false, true, true},
        {"Save Key Elements", Place::kMenu, IDM_SAVE_KEYS, false, true, true},
        {"Load Key Elements", Place::kMenu, IDM_LOAD_KEYS, true, true, true},
        {"Insert and Replace submenu", Place::kXmlMenuInsertReplace, 0, false, false, false},
        {"Replace Element with", Place::kMenu, IDM_REPLACE_ELEMENT, true, true, true},
        {"Expand Nodes", Place::kMenu, IDM_EXPAND_NODES, false, true, true},
        {"Collapse Nodes", Place::kMenu, IDM_COLLAPSE_NODES, false, true, true},
        {"Options", Place::kMenu, IDM_OPTIONS, true, true, true},
        {"Font XML Tree", Place::kMenu, IDM_FONT_TREE, true, true, true},
        {"Font XML Element Window", Place::kMenu, IDM_FONT_ELEMENT_WINDOW, true, true, true},
        {"View Normal", Place::kMenu, IDM_VIEW_NORMAL, true, true, true},
        {"View Similarities", Place::kMenu, IDM_VIEW_SIMILARITIES, true, true, true},
        {"Split Horizontally (split vertically on)", Place::kMenu, IDM_SPLIT_HORIZONTALLY, true, true, true},
        {"Split Vertically (split vertically on)", Place::kMenu, IDM_SPLIT_VERTICALLY, false, false, false},
        {"Help Topics", Place::kMenu, IDM_HELP_TOPICS, true, true, true},
        {"Tip of the Day", Place::kMenu, IDM_TIP_OF_THE_DAY, true, true, true},
        {"button Open 1st", Place::kFileToolbar, IDM_OPEN_FIRST, true, true, true},
        {"button Open 2nd", Place::kFileToolbar, IDM_OPEN_SECOND, true, true, true},
        {"button Compare Files", Place::kMainToolbar, IDM_COMPARE_FILES, false, false, true},
        {"button Compare Elements", Place::kMainToolbar, IDM_COMPARE_ELEMENTS, false, false, true},
        {"button Next Difference", Place::kMainToolbar, IDM_NEXT_DIFFERENCE, false, false, false},
        {"button Prev Difference", Place::kMainToolbar, IDM_PREV_DIFFERENCE, false, false, false},
        {"button Next Deleted/Added", Place::kMainToolbar, IDM_NEXT_DELETED_ADDED, false, false, false},
        {"button Prev Deleted/Added", Place::kMainToolbar, IDM_PREV_DELETED_ADDED, false, false, false},
        {"button Find", Place::kMainToolbar, IDM_FIND, false, true, true},
        {"button Save", Place::kMainToolbar, IDM_SAVE_ELEMENT, false, true, true},
        {"button Editor", Place::kMainToolbar, IDM_OPEN_EDITOR, false, true, true},
        {"button Ignore", Place::kMainToolbar, IDM_IGNORE_ELEMENTS, false, true, true},
        {"button Ignore Particular", Place::kMainToolbar, IDM_IGNORE_PARTICULAR, false, true, true},
        {"popup Compare Elements", Place::kPopup, IDM_COMPARE_ELEMENTS, false, false, true},
        {"popup Save XML Element", Place::kPopup, IDM_SAVE_ELEMENT, true, true, true},
        {"popup Save Report", Place::kPopup, IDM_SAVE_REPORT, false, false, false},
        {"popup Save Differences", Place::kPopup, IDM_SAVE_DIFFERENCES, false, false, false},
        {"popup Merge", Place::kPopup, IDM_MERGE, false, false, false},
        {"popup Save Elements", Place::kPopupSaveElements, 0, false, false, false},
        {"popup Ignore Elements", Place::kPopup, IDM_IGNORE_ELEMENTS, true, true, true},
        {"popup Key Attribute", Place::kPopup, IDM_KEY_ATTRIBUTE, true, true, true},
        {"popup Insert and Replace", Place::kPopupInsertReplace, 0, false, false, false},
        {"popup Collapse Nodes", Place::kPopup, IDM_COLLAPSE_NODES, true, true, true},
    };
    // Two files loaded but not compared: no comparison follows the second load.
    OptionSet::AutoCompare = 0;
    start();
    for (const Row& row : rows)
        EXPECT_EQ(enabledIn(row.place, row.id), row.atStart) << "at start: " << row.what;
    load(leftTreeView, kSmallDocument, L"left.xml");
    ASSERT_EQ(leftTreeView.loaded, 1);
    for (const Row& row : rows)
        EXPECT_EQ(enabledIn(row.place, row.id), row.afterOne) << "one file: " << row.what;
    load(rightTreeView, kSmallDocument, L"right.xml");
    ASSERT_EQ(rightTreeView.loaded, 1);
    for (const Row& row : rows)
        EXPECT_EQ(enabledIn(row.place, row.id), row.afterTwo) << "two files: " << row.what;
}

TEST_F(CommandStateTest, CtrlSwitchesTheNavigationButtonImages) {
    start();
    auto image = [] {
        TBBUTTONINFOW info{};
        info.cbSize = sizeof(info);
        info.dwMask = TBIF_BYINDEX | TBIF_IMAGE;
        SendMessageW(mainToolbar, TB_GETBUTTONINFOW, kFirstNavigationButton, reinterpret_cast<LPARAM>(&info));
        return info.iImage;
    };
    const LPARAM repeat = 1 << 30;
    struct Step {
        const char* what;
        UINT message;
        WPARAM key;
        LPARAM flags;
        int held;
        int image;
    } steps[] = {
        {"a repeated Ctrl before any press", WM_KEYDOWN, VK_CONTROL, repeat, 0, 2},
        {"Ctrl pressed", WM_KEYDOWN, VK_CONTROL, 0, 1, 11},
        {"Ctrl repeating", WM_KEYDOWN, VK_CONTROL, repeat, 1, 11},
        {"another key", WM_KEYDOWN, 'A', 0, 0, 2},
        {"Ctrl again", WM_KEYDOWN, VK_CONTROL, 0, 1, 11},
        {"a key released", WM_KEYUP, VK_CONTROL, 0, 0, 2},
    };
    for (const Step& step : steps) {
        MSG message{};
        message.hwnd = leftTreeView.tree;
        message.message = step.message;
        message.wParam = step.key;
        message.lParam = step.flags;
        preprocessMessage(message);
        EXPECT_EQ(ctrlHeld, step.held) << step.what;
        EXPECT_EQ(image(), step.image) << step.what;
    }
}

TEST_F(CommandStateTest, SplitCommandsToggleTheOrientation) {
    start();
    HMENU bar = GetMenu(mainWindow);
    SendMessageW(mainWindow, WM_COMMAND, IDM_SPLIT_HORIZONTALLY, 0);
    EXPECT_EQ(OptionSet::SplitVertically, 0);
    EXPECT_TRUE(GetMenuState(bar, IDM_SPLIT_HORIZONTALLY, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(bar, IDM_SPLIT_VERTICALLY, MF_BYCOMMAND) & MF_GRAYED);
    RECT client;
    GetClientRect(mainWindow, &client);
    const RECT left = childRect(leftTreeView.tree);
    EXPECT_EQ(left.right - left.left, client.right) << "stacked trees take the whole width";
    EXPECT_LT(childRect(leftTreeView.tree).bottom, childRect(rightTreeView.tree).top);
    SendMessageW(mainWindow, WM_COMMAND, IDM_SPLIT_VERTICALLY, 0);
    EXPECT_EQ(OptionSet::SplitVertically, 1);
    EXPECT_LT(childRect(leftTreeView.tree).right, childRect(rightTreeView.tree).left);
}

TEST_F(CommandStateTest, PathComboLoadsOnEnterAndOnAChoiceFromItsList) {
    start();
    const std::wstring path = dir.write(L"typed.xml", kSmallDocument);
    SetWindowTextW(leftTreeView.pathEdit, path.c_str());
    SendMessageW(leftTreeView.pathEdit, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(leftTreeView.loaded, 0) << "the load is posted, not run inside the key";
    pump();
    EXPECT_EQ(leftTreeView.loaded, 1);

    const std::wstring chosen = dir.write(L"chosen.xml", kSmallDocument);
    addRecentFile(rightTreeView.pathCombo, chosen.c_str(), true);
    SendMessageW(rightTreeView.pathCombo, CB_SETCURSEL, 0, 0);
    SendMessageW(fileToolbar, WM_COMMAND, MAKEWPARAM(0, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(rightTreeView.pathCombo));
    pump();
    EXPECT_EQ(rightTreeView.loaded, 1);
    EXPECT_EQ(std::wstring(rightTreeView.fileName), chosen);
}

TEST_F(CommandStateTest, SelectionShowsItsPositionOnItsSide) {
    OptionSet::AutoCompare = 0;  // no partner selection in the other tree
    start();
    load(leftTreeView, kSmallDocument, L"left.xml");
    load(rightTreeView, kSmallDocument, L"right.xml");
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        XMLTreeItem* b = elementNamed(*panel, L"b");
        ASSERT_NE(b, nullptr);
        ElementStore::select(panel->tree, b->treeItem);
        EXPECT_EQ(currentElement, b);
        const std::wstring expected = b->positionText();
        wchar_t text[64] = {};
        const int part = panel == &leftTreeView ? kStatusLeftPosition : kStatusRightPosition;
        SendMessageW(statusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::wstring(text), expected);
    }
}

TEST_F(CommandStateTest, ReloadingAPanelForgetsTheSelectionOfItsOldDocument) {
    OptionSet::ShowErrorMessages = 0;
    start();
    load(leftTreeView, kSmallDocument, L"left.xml");
    ElementStore::select(leftTreeView.tree, elementNamed(leftTreeView, L"b")->treeItem);
    ASSERT_NE(currentElement, nullptr);
    BoxScript boxes;
    boxes.expectCaption(L"XML Parser Fatal Error");
    load(leftTreeView, "<broken>", L"broken.xml");
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(currentElement, nullptr) << "the old document's records are gone";
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), IDM_FIND, MF_BYCOMMAND) & MF_GRAYED);
}

TEST_F(CommandStateTest, DroppingFilesLoadsTheFirstIntoThatTree) {
    start();
    const std::wstring first = dir.write(L"first.xml", kSmallDocument);
    const std::wstring second = dir.write(L"second.xml", kSmallDocument);
    const std::wstring third = dir.write(L"third.xml", kSmallDocument);
    MSG message{};
    message.hwnd = rightTreeView.tree;
    message.message = WM_DROPFILES;
    message.wParam = reinterpret_cast<WPARAM>(dropOf({first, second, third}));
    preprocessMessage(message);
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(rightTreeView.loaded, 1);
    EXPECT_EQ(std::wstring(rightTreeView.fileName), first);
    EXPECT_EQ(SendMessageW(rightTreeView.pathCombo, CB_GETCOUNT, 0, 0), 1);
}

using PopupMenuTest = MainWindowFixture;

TEST_F(PopupMenuTest, SharesTheSubmenusOfTheMenuBar) {
    start();
    HMENU bar = GetMenu(mainWindow);
    EXPECT_EQ(GetSubMenu(treePopupMenu, saveElementsPopupPosition),
              GetSubMenu(GetSubMenu(bar, kFileMenu), saveElementsFilePosition));
    EXPECT_EQ(GetSubMenu(treePopupMenu, insertReplacePopupPosition),
              GetSubMenu(GetSubMenu(bar, kXmlMenu), insertReplaceXmlPosition));
    EXPECT_EQ(saveElementsPopupPosition, 7);
    EXPECT_EQ(insertReplacePopupPosition, 15);
    const int items[] = {IDM_COMPARE_ELEMENTS,
                         0,
                         IDM_SAVE_ELEMENT,
                         0,
                         IDM_SAVE_REPORT,
                         IDM_SAVE_DIFFERENCES,
                         IDM_MERGE,
                         -1,
                         0,
                         IDM_IGNORE_ELEMENTS,
                         IDM_IGNORE_PARTICULAR,
                         0,
                         IDM_KEY_ELEMENT,
                         IDM_KEY_ATTRIBUTE,
                         0,
                         -1,
                         0,
                         IDM_EXPAND_NODES,
                         IDM_COLLAPSE_NODES};
    for (int i = 0; i < 19; ++i)
        EXPECT_EQ(static_cast<int>(GetMenuItemID(treePopupMenu, i)), items[i]) << i;
}

TEST_F(PopupMenuTest, FindsMenuItemsByTheirVisibleText) {
    start();
    HMENU bar = GetMenu(mainWindow);
    HMENU file = GetSubMenu(bar, kFileMenu);
    HMENU xml = GetSubMenu(bar, kXmlMenu);
    struct Case {
        HMENU menu;
        const wchar_t* text;
        int position;
    } cases[] = {
        {file, L"Save Elements", 9},
        {file, L"SaveElements", 9},
        {file, L"Save Element", -1},
        {file, L"Open 1st XML File", -1},
        {file, L"Open 1st XML File\bCtrl+L", 0},
        {xml, L"Ignored Elements", -1},
        {xml, L"Ignored Elements...", 12},
        {xml, L"Insert and Replace", 16},
        {bar, L"Help", 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(findMenuItem(c.menu, c.text), c.position) << narrow(c.text);
}

TEST_F(PopupMenuTest, TheSaveItemNamesTheWholeFileForTheRoot) {
    start();
    load(leftTreeView, kSmallDocument, L"left.xml");
    EXPECT_STREQ(popupSaveLabel(elementNamed(leftTreeView, L"root")), L"Save XML File");
    EXPECT_STREQ(popupSaveLabel(elementNamed(leftTreeView, L"d")), L"Save XML Element");
}

using TreeCommandsTest = MainWindowFixture;

std::wstring clipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = p;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

TEST_F(TreeCommandsTest, CtrlCCopiesTheSelectedElementAlone) {
    start();
    load(leftTreeView, kSmallDocument, L"left.xml");
    struct Case {
        const wchar_t* element;
        const wchar_t* text;
    } cases[] = {
        {L"a", L"<a x=\"1\" y=\"two\"/>"},
        {L"b", L"<b>hi</b>"},
        {L"c", L"<c/>"},
    };
    for (const Case& c : cases) {
        XMLTreeItem* element = elementNamed(leftTreeView, c.element);
        ASSERT_NE(element, nullptr);
        copyElementToClipboard(element);
        EXPECT_EQ(clipboardText(), c.text);
    }
}

// The copy reads as the tree shows the element: a reference kept as written (its DTD left
// out) with its "&", a character beyond U+FFFF whose second half is the mark's unit
// (U+10FFFF) as itself, also right before a kept reference.
TEST_F(TreeCommandsTest, CtrlCCopiesAKeptReferenceAsWritten) {
    OptionsSnapshot options;
    OptionSet::SchemaValidation = 0;
    OptionSet::UseExternalSchema = 0;
    start();
    const std::string doctype = "<!DOCTYPE p SYSTEM \"missing.dtd\">\n";
    struct Case {
        std::string document;
        std::wstring copied;
    } cases[] = {
        {doctype + "<p t=\"x&nbsp;y\">a&nbsp;b &amp; c</p>", L"<p t=\"x&nbsp;y\">a&nbsp;b & c</p>"},
        // Runs around inline elements as the row joins them.
        {doctype + "<p><b>x</b> a&nbsp;b <i>y</i>c</p>", L"<p>a&nbsp;b c</p>"},
        {doctype + "<p t=\"\xF4\x8F\xBF\xBF&nbsp;\">\xF4\x8F\xBF\xBF&nbsp;</p>",
         L"<p t=\"\xDBFF\xDFFF&nbsp;\">\xDBFF\xDFFF&nbsp;</p>"},
        {doctype + "<p t=\"\xF4\x8F\xBF\xBF\">a\xF4\x8F\xBF\xBF&nbsp;</p>",
         L"<p t=\"\xDBFF\xDFFF\">a\xDBFF\xDFFF&nbsp;</p>"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        BoxScript boxes;  // nothing is asked
        load(leftTreeView, c.document, L"left" + std::to_wstring(++n) + L".xml");
        XMLTreeItem* element = elementNamed(leftTreeView, L"p");
        ASSERT_NE(element, nullptr);
        copyElementToClipboard(element);
        EXPECT_EQ(clipboardText(), c.copied);
    }
}

// Selects the element named from in the left tree and runs Find Next for text: the
// element named found is selected then, or, with found null, the "not found" box comes
// and the selection stays.
void findFrom(const wchar_t* from, const wchar_t* text, DWORD flags, const wchar_t* found) {
    XMLTreeItem* start = elementNamed(leftTreeView, from);
    ASSERT_NE(start, nullptr);
    ElementStore::select(leftTreeView.tree, start->treeItem);
    ASSERT_EQ(currentElement, start);
    wchar_t what[160];
    wcscpy(what, text);
    FINDREPLACEW record{};
    record.lStructSize = sizeof(record);
    record.Flags = flags | FR_FINDNEXT;
    record.lpstrFindWhat = what;
    BoxScript boxes;
    if (found == nullptr) boxes.expect(L"The specified text not found", L"Not found");
    onFindMessage(&record);
    XMLTreeItem* selected = ElementStore::record(leftTreeView.tree, ElementStore::selected(leftTreeView.tree));
    EXPECT_EQ(selected, found != nullptr ? elementNamed(leftTreeView, found) : start);
}

TEST_F(TreeCommandsTest, FindStepsThroughTheTreeInDocumentOrder) {
    start();
    load(leftTreeView, kSmallDocument, L"left.xml");
    struct Case {
        const wchar_t* from;
        const wchar_t* text;
        DWORD flags;
        const wchar_t* found;  // null: not found
    } cases[] = {
        {L"root", L"needle", FR_DOWN, L"d"},
        {L"d", L"needle", FR_DOWN, L"e"},
        {L"d", L"needle", FR_DOWN | FR_MATCHCASE, nullptr},
        {L"e", L"needle", 0, L"d"},
        {L"e", L"two", 0, L"a"},
        {L"a", L"root", 0, L"root"},
        {L"e", L"needle", FR_DOWN, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.from) + " " + narrow(c.text));
        findFrom(c.from, c.text, c.flags, c.found);
    }
}

// "Match Whole Word Only" takes a hit only where no word character touches it, in the
// name, the attributes and the text alike; without it any part of a word is a hit.
TEST_F(TreeCommandsTest, FindWithMatchWholeWordOnlyFindsWholeWords) {
    start();
    load(leftTreeView,
         "<list><t>Midnight Rain</t><u>Rainbow</u><rain/><v w='Rain_x'/><x w='x Rain'/><y>Rain</y></list>",
         L"left.xml");
    struct Case {
        const wchar_t* text;
        DWORD flags;
        const wchar_t* found;  // null: not found
    } cases[] = {
        {L"Rai", FR_DOWN, L"t"},
        {L"Rai", FR_DOWN | FR_WHOLEWORD, nullptr},
        {L"Rain", FR_DOWN | FR_WHOLEWORD, L"t"},
        {L"bow", FR_DOWN, L"u"},
        {L"bow", FR_DOWN | FR_WHOLEWORD, nullptr},
        {L"Rain", FR_DOWN | FR_WHOLEWORD | FR_MATCHCASE, L"t"},
        {L"rain", FR_DOWN | FR_WHOLEWORD | FR_MATCHCASE, L"rain"},
        {L"Rain_", FR_DOWN | FR_WHOLEWORD, nullptr},
        {L"Rain_x", FR_DOWN | FR_WHOLEWORD, L"v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.text) + ((c.flags & FR_WHOLEWORD) != 0 ? " whole word" : ""));
        findFrom(L"list", c.text, c.flags, c.found);
    }
}

TEST_F(TreeCommandsTest, RefreshingTheSelectedItemRepaintsItInPlace) {
    start(SW_SHOWNORMAL);
    load(leftTreeView, kSmallDocument, L"left.xml");
    for (const wchar_t* name : {L"root", L"b"}) {
        XMLTreeItem* element = elementNamed(leftTreeView, name);
        ElementStore::select(leftTreeView.tree, element->treeItem);
        UpdateWindow(leftTreeView.tree);
        ValidateRect(leftTreeView.tree, nullptr);
        refreshSelectedItem();
        RECT item{};
        TreeView_GetItemRect(leftTreeView.tree, element->treeItem, &item, FALSE);
        RECT update{};
        EXPECT_TRUE(GetUpdateRect(leftTreeView.tree, &update, FALSE)) << narrow(name);
        EXPECT_TRUE(EqualRect(&update, &item)) << narrow(name);
        EXPECT_EQ(ElementStore::selected(leftTreeView.tree), element->treeItem) << narrow(name);
    }
}

TEST_F(TreeCommandsTest, ScrollingOneTreeScrollsTheOtherOnlyWhenBothAreLoaded) {
    OptionSet::AutoScroll = 1;
    start();
    std::string xml = "<root>";
    for (int i = 0; i < 120; ++i)
        xml += "<item>" + std::to_string(i) + "</item>";
    xml += "</root>";
    load(leftTreeView, xml, L"left.xml");
    SendMessageW(leftTreeView.tree, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(GetScrollPos(leftTreeView.tree, SB_VERT), 1);
    load(rightTreeView, xml, L"right.xml");
    SendMessageW(leftTreeView.tree, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(rightTreeView.tree, WM_VSCROLL, SB_TOP, 0);
    SendMessageW(leftTreeView.tree, WM_VSCROLL, SB_LINEDOWN, 0);
    SendMessageW(leftTreeView.tree, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(GetScrollPos(leftTreeView.tree, SB_VERT), 2);
    EXPECT_EQ(GetScrollPos(rightTreeView.tree, SB_VERT), 2);
}

TEST_F(TreeCommandsTest, InsertAndReplaceAskForTwoSelections) {
    start();
    load(leftTreeView, kSmallDocument, L"left.xml");
    ElementStore::select(leftTreeView.tree, elementNamed(leftTreeView, L"b")->treeItem);
    for (int command : {IDM_SYNCHRONIZE, IDM_INSERT_ELEMENT, IDM_REPLACE_ELEMENT}) {
        BoxScript boxes;
        boxes.expect(L"Please select two elements on both panels!", L"Error");
        SendMessageW(mainWindow, WM_COMMAND, command, 0);
    }
    load(rightTreeView, kSmallDocument, L"right.xml");
    XMLTreeItem* b = elementNamed(leftTreeView, L"b");
    XMLTreeItem* otherRoot = elementNamed(rightTreeView, L"root");
    XMLTreeItem* otherB = elementNamed(rightTreeView, L"b");
    EXPECT_TRUE(canReplaceElement(b, otherB)) << "the same place: no question";
    {
        BoxScript boxes;
        boxes.expect(L"The names of elements are not equal\nReplace anywhere?!", L"Warning!", IDNO);
        EXPECT_FALSE(canReplaceElement(b, otherRoot));
    }
    {
        BoxScript boxes;
        boxes.expect(L"The names of elements are not equal\nReplace anywhere?!", L"Warning!", IDYES);
        EXPECT_TRUE(canReplaceElement(elementNamed(leftTreeView, L"root"), otherB));
    }
}

TEST(FirstStartNoticeTest, TheUrlCarriesTheSystemAndTheTime) {
    windowsVersion = 0x0601;
    processorArchitecture = 9;
    wow64Process = 0;
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 2;
    time.wDay = 1;
    time.wHour = 9;
    time.wMinute = 5;
    time.wSecond = 3;
    wchar_t url[512];
    formatNoticeUrl(url, 512, time);
    EXPECT_STREQ(url,
                 L"http://verdalt.invalid/misc/checkversion.php?os=601&sid=9&wow=0&date=09:05:03+02/01/24"
                 L"&version=5.51");
}

TEST(FirstStartNoticeTest, AnUnreachableHostShowsNothingAndStartUpDoesNotWait) {
    BoxScript boxes;  // any box fails the test
    checkVersion();
    // checkVersion has returned while the lookup may still be under way; the test waits here.
    waitForNotice();
    EXPECT_FALSE(noticePending());
}

// The notice's reply is parsed under the bounds of every other parse: a host that answers
// with an entity bomb gets its reply refused within seconds (the ceiling only guards
// against the minutes an unbounded parse takes) and with little memory.
TEST(FirstStartNoticeTest, ABombInTheReplyIsRefusedWithLittleMemory) {
    initParser();
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY l0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        std::string below;
        for (int i = 0; i < 10; ++i)
            below += "&l" + std::to_string(level - 1) + ";";
        laughs += "<!ENTITY l" + std::to_string(level) + " \"" + below + "\">\n";
    }
    laughs += "]>\n<lolz>&l9;</lolz>";
    std::string quadratic = "<!DOCTYPE q [<!ENTITY big \"" + std::string(500000, 'x') + "\">]>\n<q>";
    for (int i = 0; i < 99999; ++i)
        quadratic += "&big;";
    quadratic += "</q>";
    const struct {
        const char* what;
        const std::string& body;
    } cases[] = {{"billion laughs", laughs}, {"one large entity referenced many times", quadratic}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LoopbackServer server(c.body);
        BoxScript boxes;  // any box fails the test
        const auto started = std::chrono::steady_clock::now();
        parseDetached(server.url(L"/misc/checkversion.php").c_str());
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LT(seconds, 60.0);
        EXPECT_EQ(server.requests(), 1);
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof(counters);
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
        EXPECT_LT(counters.PeakWorkingSetSize, size_t{200} << 20);
    }
}

}  // namespace
