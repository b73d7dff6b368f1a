#include "ui/CompareCommand.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/DifferenceNavigator.h"
#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/ItemPainter.h"
#include "ui/Menus.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"

namespace {

const std::wstring kTooMany = L"Too many differences?\nYou may change comparison settings\nClick Help for details";

std::wstring rows(int identical, int deleted, int added, int different, int ignored) {
    wchar_t text[512];
    std::swprintf(text, 512,
                  L"Identical  :  %d\nDeleted    :  %d\nAdded      :  %d\nDifferent  :  %d\nIgnored    :  %d\n\n",
                  identical, deleted, added, different, ignored);
    return text + kTooMany;
}

class CompareCommandTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        viewFiltered = 0;
        start();
    }

    void TearDown() override {
        MainWindowFixture::TearDown();
        viewFiltered = 0;
    }

    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }

    // The element names of a panel in document order, the summary item left out.
    static std::vector<std::wstring> names(const XMLTreeView& panel) {
        std::vector<std::wstring> out;
        for (XMLTreeItem* record : recordsInOrder(panel))
            if (record != nullptr && !record->isSummary()) out.push_back(record->nameText());
        return out;
    }


    static bool isLive(const XMLTreeItem* record) {
        for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView})
            for (XMLTreeItem* r : recordsInOrder(*panel))
                if (r == record) return true;
        return false;
    }

    static bool expanded(const XMLTreeItem* record) {
        return (SendMessageW(record->treeView, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(record->treeItem),
                             TVIS_EXPANDED) &
                TVIS_EXPANDED) != 0;
    }
};

// Ten elements on the left (the ignored one is not counted), twelve on the right; the
// eight named children pair identically and the roots form the one different pair.
const char kLeftTen[] = "<r><a/><b/><c/><d/><e/><f/><g/><h/><x/><i/></r>";
const char kRightTwelve[] = "<r><a/><b/><c/><d/><e/><f/><g/><h/><p/><q/><s/></r>";

TEST_F(CompareCommandTest, CompareFilesCountsAndShowsTheSummaryRows) {
    load(leftTreeView, kLeftTen, L"left.xml");
    load(rightTreeView, kRightTwelve, L"right.xml");
    elementNamed(leftTreeView, L"i")->ignoreState = 3;  // marked by Ignore Particular Element
    OptionSet::ResultView = 1;
    {
        BoxScript boxes;
        boxes.expect(rows(8, 1, 3, 1, 1), L"Found elements");
        filesCompared = 0;
        command(IDM_COMPARE_FILES);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING | MB_HELP));
        EXPECT_EQ(boxes.shown()[0].helpTopic, L"htm/cmpimprove.htm");
    }
    EXPECT_EQ(messageHelpTopic, nullptr) << "no topic once the box is gone";
    EXPECT_EQ(comparisonCounters.identicalCount, 8u);
    EXPECT_EQ(comparisonCounters.differentCount, 1u);
    EXPECT_EQ(comparisonCounters.ignoredCount, 1u);
    EXPECT_EQ(filesCompared, 1);
    EXPECT_EQ(std::wstring(lastStatusMessage), L"R#" + rows(8, 1, 3, 1, 1)) << "the status bar draws the summary";
    EXPECT_EQ(std::wstring(comparisonSummary), L"R#" + rows(8, 1, 3, 1, 1));
    EXPECT_FALSE(GetMenuState(GetMenu(mainWindow), IDM_SAVE_DIFFERENCES, MF_BYCOMMAND) & MF_GRAYED)
        << "the result commands are enabled";
}

TEST_F(CompareCommandTest, EqualDocumentsAndEqualElementsAreIdentical) {
    load(leftTreeView, "<r><a>1</a><b><c/></b></r>", L"left.xml");
    load(rightTreeView, "<r><a>1</a><b><c/></b></r>", L"right.xml");
    OptionSet::ResultView = 1;
    {
        BoxScript boxes;
        boxes.expect(L"Two XML Documents are identical !", L"Identical");
        command(IDM_COMPARE_FILES);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].type, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(boxes.shown()[0].helpTopic, L"htm/cmpimprove.htm");
    }
    EXPECT_EQ(std::wstring(lastStatusMessage), L"O#Two XML Documents are identical !");

    ElementStore::select(leftTreeView.tree, elementNamed(leftTreeView, L"b")->treeItem);
    ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, L"b")->treeItem);
    {
        BoxScript boxes;
        boxes.expect(L"Two XML Elements are identical !", L"Identical");
        command(IDM_COMPARE_ELEMENTS);
    }
    EXPECT_EQ(std::wstring(comparisonSummary), L"O#Two XML Elements are identical !");
    EXPECT_EQ(std::wstring(lastStatusMessage), L"O#Two XML Documents are identical !")
        << "Compare Elements leaves the status bar's message alone";
    EXPECT_EQ(filesCompared, 1);
}

TEST_F(CompareCommandTest, TheSummaryBoxNeedsMessageBoxesAndResultView) {
    load(leftTreeView, "<r><a/></r>", L"left.xml");
    load(rightTreeView, "<r><b/></r>", L"right.xml");
    const struct Case {
        int32_t messageBoxes, resultView;
        bool shown;
    } cases[] = {{1, 1, true}, {0, 1, false}, {1, 0, false}, {0, 0, false}};
    for (const Case& c : cases) {
        OptionSet::messageBoxes = c.messageBoxes;
        OptionSet::ResultView = c.resultView;
        showStatusMessage(L"O#before");
        BoxScript boxes;
        if (c.shown) boxes.expect(rows(0, 1, 1, 1, 0), L"Found elements");
        command(IDM_COMPARE_FILES);
        EXPECT_EQ(boxes.shown().size(), c.shown ? 1u : 0u) << c.messageBoxes << c.resultView;
        EXPECT_EQ(std::wstring(lastStatusMessage), L"R#" + rows(0, 1, 1, 1, 0)) << "the status bar has it either way";
    }
}

// Past 2,048 distinct child names every child still takes part in the comparison.
TEST_F(CompareCommandTest, ThousandsOfChildNamesCompareChildByChild) {
    auto document = [](int changed) {
        std::string xml = "<r>";
        for (int i = 0; i < 3000; ++i) {
            const std::string name = "n" + std::to_string(i);
            xml += "<" + name + ">" + (i == changed ? "new" : "old") + "</" + name + ">";
        }
        return xml + "</r>";
    };
    load(leftTreeView, document(-1), L"left.xml");
    load(rightTreeView, document(-1), L"right.xml");
    OptionSet::ResultView = 1;
    {
        BoxScript boxes;
        boxes.expect(L"Two XML Documents are identical !", L"Identical");
        command(IDM_COMPARE_FILES);
    }
    EXPECT_EQ(comparisonCounters.identicalCount, 3001u);

    OptionSet::ResultView = 0;
    load(rightTreeView, document(2500), L"right.xml");
    OptionSet::ResultView = 1;
    {
        BoxScript boxes;
        boxes.expect(rows(2999, 0, 0, 2, 0), L"Found elements");
        command(IDM_COMPARE_FILES);
    }
    EXPECT_EQ(comparisonCounters.changedContentCount, 1u);
    XMLTreeItem* changed = elementNamed(leftTreeView, L"n2500");
    EXPECT_EQ(changed->partner, elementNamed(rightTreeView, L"n2500"));

    // From the root the next difference is the changed child, on both sides.
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        DifferenceNavigator navigator;
        navigator.update(elementNamed(*panel, L"r"));
        EXPECT_EQ(navigator.target(IDM_NEXT_DIFFERENCE), elementNamed(*panel, L"n2500"));
    }
}

TEST_F(CompareCommandTest, CompareElementsComparesTheTwoSelectedSubtrees) {
    load(leftTreeView, "<r><c><a/><b/></c><d/></r>", L"left.xml");
    load(rightTreeView, "<r><c><a/><b/><z/></c><e/></r>", L"right.xml");
    ElementStore::select(leftTreeView.tree, elementNamed(leftTreeView, L"c")->treeItem);
    ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, L"c")->treeItem);
    OptionSet::ResultView = 1;
    filesCompared = 0;
    {
        BoxScript boxes;
        boxes.expect(rows(2, 0, 1, 1, 0), L"Found elements");
        command(IDM_COMPARE_ELEMENTS);
    }
    EXPECT_EQ(filesCompared, 1);
    EXPECT_EQ(elementNamed(leftTreeView, L"a")->partner, elementNamed(rightTreeView, L"a"));
    EXPECT_EQ(elementNamed(rightTreeView, L"z")->partner, nullptr);
}

TEST_F(CompareCommandTest, CompareElementsRefusals) {
    load(leftTreeView, "<r><a/><b/></r>", L"left.xml");
    load(rightTreeView, "<r><a/><c/></r>", L"right.xml");

    // which: null selects nothing, "" the summary item (no element), else the element of that name.
    auto select = [](XMLTreeView& panel, const wchar_t* which) {
        HTREEITEM item = which == nullptr ? nullptr
                         : which[0] == 0  ? panel.summaryItem->treeItem
                                          : elementNamed(panel, which)->treeItem;
        ElementStore::select(panel.tree, item);
    };
    const struct Case {
        const wchar_t* left;
        const wchar_t* right;
    } cases[] = {{L"a", nullptr}, {nullptr, L"a"}, {L"", L"a"}};
    for (const Case& c : cases) {
        select(leftTreeView, c.left);
        select(rightTreeView, c.right);
        filesCompared = 0;
        BoxScript boxes;
        boxes.expect(L"Please select two elements on both Left and Right Tree Views!", L"Error");
        command(IDM_COMPARE_ELEMENTS);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(filesCompared, 0) << "nothing compared";
    }

    command(IDM_VIEW_DIFFERENCES);
    ASSERT_EQ(viewFiltered, 1);
    ElementStore::select(leftTreeView.tree, elementNamed(leftTreeView, L"b")->treeItem);
    ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, L"c")->treeItem);
    comparisonSummary[0] = 0;
    {
        BoxScript boxes;
        boxes.expect(L"Please set the Normal View mode!", L"Error");
        command(IDM_COMPARE_ELEMENTS);
    }
    EXPECT_EQ(comparisonSummary[0], 0) << "nothing compared";
}

TEST(CompareCommandTitleTest, ShortenPath) {
    // A text of `length` units with separators at the given positions.
    auto path = [](int length, std::vector<int> separators, wchar_t separator = L'\\') {
        std::wstring text(length, L'x');
        for (int p : separators)
            text[p] = separator;
        return text;
    };
    const struct Case {
        const char* what;
        std::wstring text;
        int from;  // -1: unchanged; else "..." and the text from this position
        bool dots;
    } cases[] = {
        {"60 units are shown whole", path(60, {2, 20, 40}), -1, false},
        {"70 units: the first separator with fewer than 60 after it", path(70, {2, 20, 40}), 20, true},
        {"forward slashes too", path(70, {2, 20, 40}, L'/'), 20, true},
        {"59 after the separator", path(61, {10}), 10, true},
        {"stopped at position 3 or less", path(61, {2}), -1, false},
        {"no separator at all", path(70, {}), -1, false},
        {"no separator stops: the text from the last one", path(70, {3, 9}), 9, false},
    };
    for (const Case& c : cases) {
        const wchar_t* result = shortenPath(c.text.c_str(), static_cast<int>(c.text.size()));
        std::wstring expected = c.from < 0 ? c.text : c.text.substr(c.from);
        if (c.dots) expected = L"..." + expected;
        EXPECT_EQ(std::wstring(result), expected) << c.what;
    }
}

using CompareCommandTitleWindowTest = CompareCommandTest;

TEST_F(CompareCommandTitleWindowTest, UpdateMainTitleShortensLongPairs) {
    auto path = [](int length, int separator) {
        std::wstring text(length, L'y');
        if (separator >= 0) text[separator] = L'\\';
        return text;
    };
    const std::wstring longest = path(258, -1);
    const struct Case {
        const char* what;
        std::wstring left, right, title;
    } cases[] = {
        {"59 and 60 are joined whole", path(59, 30), path(60, 30), path(59, 30) + L" - " + path(60, 30)},
        {"60 and 60 are each short enough", path(60, 30), path(60, 30), path(60, 30) + L" - " + path(60, 30)},
        {"59 and 61 shorten the second", path(59, 30), path(61, 10),
         path(59, 30) + L" - ..." + path(61, 10).substr(10)},
        {"cut at 260 units", longest, longest, (longest + L" - " + longest).substr(0, 260)},
    };
    for (const Case& c : cases) {
        SetWindowTextW(leftTreeView.pathCombo, c.left.c_str());
        SetWindowTextW(rightTreeView.pathCombo, c.right.c_str());
        updateMainTitle();
        wchar_t title[1024] = {};
        GetWindowTextW(mainWindow, title, 1024);
        std::wstring expected = c.title + L" [Verdalt]";
        if (expected.size() > 260) expected.resize(260);
        EXPECT_EQ(std::wstring(title), expected) << c.what;
    }
    // With nothing in either path box the title names nothing either.
    SetWindowTextW(leftTreeView.pathCombo, L"");
    SetWindowTextW(rightTreeView.pathCombo, L"");
    updateMainTitle();
    wchar_t title[1024] = {};
    GetWindowTextW(mainWindow, title, 1024);
    EXPECT_STREQ(title, L"Verdalt");
}

TEST_F(CompareCommandTitleWindowTest, CompareFilesSetsTheTitle) {
    load(leftTreeView, "<r/>", L"left.xml");
    load(rightTreeView, "<r/>", L"right.xml");
    wchar_t title[1024] = {};
    GetWindowTextW(mainWindow, title, 1024);
    const std::wstring text = title;
    EXPECT_NE(text.find(L"left.xml - "), std::wstring::npos) << narrow(text);
    EXPECT_EQ(text.size() >= 19 ? text.substr(text.size() - 19) : text, L"right.xml [Verdalt]");
}

using CompareCommandViewTest = CompareCommandTest;

const char kViewLeft[] = "<r><same><k/></same><diff>1</diff><gone><g2/></gone></r>";
const char kViewRight[] = "<r><same><k/></same><diff>2</diff><new/></r>";

TEST_F(CompareCommandViewTest, ViewsRemoveElementsWithTheirPartnersAndNormalBringsThemBack) {
    using Names = std::vector<std::wstring>;
    const struct Case {
        int view;
        const wchar_t* status;
        Names left, right;
    } cases[] = {
        {IDM_VIEW_DIFFERENCES, L"View: Differences", {L"r", L"diff", L"gone", L"g2"}, {L"r", L"diff", L"new"}},
        {IDM_VIEW_SIMILARITIES, L"View: Similarities", {L"r", L"same", L"k"}, {L"r", L"same", L"k"}},
    };
    load(leftTreeView, kViewLeft, L"left.xml");
    load(rightTreeView, kViewRight, L"right.xml");
    const Names allLeft = names(leftTreeView);
    const Names allRight = names(rightTreeView);
    for (const Case& c : cases) {
        // The selection sits on an element that goes in one of the views.
        ElementStore::select(leftTreeView.tree,
                             elementNamed(leftTreeView, c.view == IDM_VIEW_DIFFERENCES ? L"k" : L"g2")->treeItem);
        command(c.view);
        EXPECT_EQ(names(leftTreeView), c.left) << c.status;
        EXPECT_EQ(names(rightTreeView), c.right) << c.status;
        EXPECT_EQ(viewFiltered, 1) << c.status;
        EXPECT_EQ(filesCompared, 1) << c.status;
        EXPECT_EQ(elementNamed(leftTreeView, L"r")->childCount, c.left.size() == 4 ? 2u : 1u) << c.status;
        EXPECT_TRUE(currentElement == nullptr || isLive(currentElement)) << c.status;
        EXPECT_TRUE(currentPartner == nullptr || isLive(currentPartner)) << c.status;
        wchar_t text[64] = {};
        SendMessageW(statusBar, SB_GETTEXTW, kStatusView, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, c.status);
        EXPECT_TRUE(GetMenuState(GetSubMenu(GetMenu(mainWindow), kViewMenu), c.view, MF_BYCOMMAND) & MF_CHECKED);

        command(IDM_VIEW_NORMAL);
        EXPECT_EQ(names(leftTreeView), allLeft) << "reloaded after " << narrow(c.status);
        EXPECT_EQ(names(rightTreeView), allRight) << "reloaded after " << narrow(c.status);
        EXPECT_EQ(viewFiltered, 0);
        EXPECT_EQ(filesCompared, 1) << "and compared again";
        EXPECT_EQ(elementNamed(leftTreeView, L"same")->partner, elementNamed(rightTreeView, L"same"));
    }
}

TEST_F(CompareCommandViewTest, ExpandDiffExpandsTheParentsOfDifferingElements) {
    for (int32_t expandDiff : {0, 1}) {
        OptionSet::ExpandDiff = expandDiff;
        load(leftTreeView, "<r><a><b><c>1</c></b></a><s><t/></s></r>", L"left.xml");
        load(rightTreeView, "<r><a><b><c>2</c></b></a><s><t/></s></r>", L"right.xml");
        ASSERT_EQ(filesCompared, 1);
        for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
            EXPECT_TRUE(expanded(elementNamed(*panel, L"r"))) << expandDiff;
            EXPECT_EQ(expanded(elementNamed(*panel, L"a")), expandDiff == 1);
            EXPECT_EQ(expanded(elementNamed(*panel, L"b")), expandDiff == 1);
            EXPECT_FALSE(expanded(elementNamed(*panel, L"s"))) << "its subtree is equal";
            EXPECT_EQ(ElementStore::selected(panel->tree), elementNamed(*panel, L"r")->treeItem);
        }
    }
}

// A chain of differing elements is expanded deepest first, each level only marked until
// the shown top of the chain is expanded: every level must still end with its item, shown
// expanded, down to the parent of the deepest difference.
TEST_F(CompareCommandViewTest, ExpandDiffExpandsEveryLevelOfADeepChain) {
    const int depth = 2000;
    OptionSet::ExpandDiff = 1;
    auto chain = [&](const char* bottom) {
        std::string xml = "<r><s><t/></s>";
        for (int i = 0; i < depth; ++i)
            xml += "<d>";
        xml += bottom;
        for (int i = 0; i < depth; ++i)
            xml += "</d>";
        return xml + "</r>";
    };
    load(leftTreeView, chain("1"), L"left.xml");
    load(rightTreeView, chain("2"), L"right.xml");
    ASSERT_EQ(filesCompared, 1);
    for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        const std::vector<XMLTreeItem*> records = recordsInOrder(*panel);
        ASSERT_EQ(records.size(), static_cast<size_t>(depth) + 4);  // r, s, t, the chain, the summary item
        EXPECT_TRUE(expanded(records[0]));
        EXPECT_FALSE(expanded(records[1])) << "its subtree is equal";
        for (int i = 0; i < depth; ++i) {
            const XMLTreeItem* level = records[static_cast<size_t>(3 + i)];
            ASSERT_NE(ElementStore::displayItem(panel->tree, level->treeItem), nullptr) << "level " << i;
            ASSERT_EQ(expanded(level), i + 1 < depth) << "level " << i;
        }
        EXPECT_EQ(ElementStore::selected(panel->tree), records[0]->treeItem);
    }
}

using CompareCommandReloadTest = CompareCommandTest;

TEST_F(CompareCommandReloadTest, AFilteredViewReloadsEachPanelsOwnFile) {
    const std::wstring left = load(leftTreeView, kViewLeft, L"left.xml");
    load(rightTreeView, kViewRight, L"right.xml");
    command(IDM_VIEW_DIFFERENCES);
    ASSERT_EQ(viewFiltered, 1);

    // The path box now names another file that the user has not loaded.
    const std::wstring other = dir.write(L"other.xml", "<other/>");
    SetWindowTextW(leftTreeView.pathCombo, other.c_str());
    command(IDM_COMPARE_FILES);
    EXPECT_EQ(std::wstring(leftTreeView.fileName), left);
    // The Differences view is still in force, so the reloaded trees are thinned again.
    EXPECT_EQ(names(leftTreeView), (std::vector<std::wstring>{L"r", L"diff", L"gone", L"g2"}));
    EXPECT_EQ(filesCompared, 1);
}

TEST_F(CompareCommandReloadTest, AFileGoneBeforeTheReloadLeavesItsPanelEmptyAndTheViewFiltered) {
    load(leftTreeView, kViewLeft, L"left.xml");
    const std::wstring right = load(rightTreeView, kViewRight, L"right.xml");
    command(IDM_VIEW_DIFFERENCES);
    ASSERT_EQ(viewFiltered, 1);
    ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, L"new")->treeItem);
    ASSERT_EQ(currentElement, elementNamed(rightTreeView, L"new"));

    ASSERT_TRUE(DeleteFileW(right.c_str()));
    {
        BoxScript boxes;
        boxes.expectCaption(L"Error");  // the file-error box of the load
        command(IDM_COMPARE_FILES);
    }
    EXPECT_EQ(filesCompared, 0) << "nothing to compare with";
    EXPECT_EQ(rightTreeView.loaded, 0);
    EXPECT_EQ(ElementStore::root(rightTreeView.tree), nullptr) << "the thinned tree is gone";
    EXPECT_EQ(rightTreeView.fileName[0], 0);
    EXPECT_EQ(currentElement, nullptr);
    EXPECT_EQ(viewFiltered, 1) << "only one panel was reloaded";
    EXPECT_EQ(leftTreeView.loaded, 1);
    EXPECT_EQ(names(leftTreeView).size(), 6u) << "the left file was reloaded whole";
}

using AutoCompareTest = CompareCommandTest;

// After a user's load both documents are compared, unless the load stopped before its
// parse (in its own panel, or in the other for the file of the same name): then the
// documents are the ones already there, and nothing new is compared.
TEST_F(AutoCompareTest, FollowsEveryLoadThatReachedItsParseAndNoOther) {
    TempDir otherFolder;
    enum class Road { kOpenFirst, kOpenSecond, kPathBox, kDrop };
    const struct Case {
        const char* what;
        Road road;
        const wchar_t* name;   // the file loaded, in dir; null: the dialog is cancelled
        bool sameNameFollows;  // AutoLoad on, with the other panel's folder set
        bool sameNameThere;
        int boxes;  // "XMLFileExists" boxes
        bool compared;
    } cases[] = {
        {"Open First File, cancelled", Road::kOpenFirst, nullptr, false, false, 0, false},
        {"Open Second File, cancelled", Road::kOpenSecond, nullptr, false, false, 0, false},
        {"a missing file typed into the path box", Road::kPathBox, L"missing.xml", false, false, 1, false},
        {"a missing file dropped", Road::kDrop, L"missing.xml", false, false, 1, false},
        {"Open First File, the file of the same name missing", Road::kOpenFirst, L"x.xml", true, false, 1, false},
        {"Open First File", Road::kOpenFirst, L"x.xml", false, false, 0, true},
        {"Open Second File", Road::kOpenSecond, L"x.xml", false, false, 0, true},
        {"the path box", Road::kPathBox, L"x.xml", false, false, 0, true},
        {"a dropped file", Road::kDrop, L"x.xml", false, false, 0, true},
        {"Open First File, the file of the same name follows", Road::kOpenFirst, L"x.xml", true, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyBothPanels();
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(autoLoadBox, BM_SETCHECK, BST_UNCHECKED, 0);
        load(leftTreeView, "<r><a/></r>", L"left.xml");
        load(rightTreeView, "<r><b/></r>", L"right.xml");
        ASSERT_EQ(filesCompared, 0);
        dir.write(L"x.xml", "<r><c/></r>");
        DeleteFileW(otherFolder.file(L"x.xml").c_str());
        if (c.sameNameThere) otherFolder.write(L"x.xml", "<r><d/></r>");
        OptionSet::LoadSeparate = c.sameNameFollows ? 1 : 0;
        SendMessageW(autoLoadBox, BM_SETCHECK, c.sameNameFollows ? BST_CHECKED : BST_UNCHECKED, 0);
        std::wcscpy(leftTreeView.folder, c.sameNameFollows ? (dir.path() + L"\\").c_str() : L"");
        std::wcscpy(rightTreeView.folder, c.sameNameFollows ? (otherFolder.path() + L"\\").c_str() : L"");
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_CHECKED, 0);

        const std::wstring path = c.name != nullptr ? dir.file(c.name) : L"";
        XMLTreeView& panel = c.road == Road::kOpenSecond ? rightTreeView : leftTreeView;
        {
            BoxScript boxes;
            for (int i = 0; i < c.boxes; ++i)
                boxes.expectCaption(L"Error");
            DialogScript dialogs;
            switch (c.road) {
                case Road::kOpenFirst:
                case Road::kOpenSecond:
                    if (c.name != nullptr)
                        dialogs.answer(path);
                    else
                        dialogs.cancel();
                    command(c.road == Road::kOpenFirst ? IDM_OPEN_FIRST : IDM_OPEN_SECOND);
                    break;
                case Road::kPathBox:
                    SetWindowTextW(panel.pathCombo, path.c_str());
                    loadFromPathCombo(panel.pathCombo);
                    break;
                case Road::kDrop:
                    dropFiles(panel.tree, dropOf({path}));
                    break;
            }
            EXPECT_EQ(static_cast<int>(boxes.shown().size()), c.boxes);
        }
        EXPECT_EQ(leftTreeView.loaded, 1);
        EXPECT_EQ(rightTreeView.loaded, 1);
        const bool loaded = c.name != nullptr && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
        EXPECT_EQ(elementNamed(panel, L"c") != nullptr, loaded);
        EXPECT_EQ(elementNamed(rightTreeView, L"d") != nullptr, c.sameNameThere);
        EXPECT_EQ(filesCompared, c.compared ? 1 : 0);
    }
}

using ReloadAfterChangeTest = CompareCommandTest;

// The files are rewritten after the load, so a reload shows in the trees: "a" becomes "b".
TEST_F(ReloadAfterChangeTest, AsksWhenAFileIsLoadedAndReloadsAndComparesOnYesOrWhenForced) {
    const std::wstring kQuestion =
        L"These changes will take effect only after reloading files\n\nDo you want to reload file(s)?";
    const struct Case {
        const char* what;
        bool left, right;  // panels holding a file
        bool autoCompareBox;
        int force;
        int answer;  // 0: no question expected
        bool reloaded, compared;
    } cases[] = {
        {"nothing loaded asks nothing", false, false, true, 0, 0, false, false},
        {"nothing loaded, forced: nothing", false, false, true, 1, 0, false, false},
        {"one file, No", true, false, true, 0, IDNO, false, false},
        {"one file, Yes reloads it", true, false, true, 0, IDYES, true, false},
        {"the right file alone, forced", false, true, true, 1, 0, true, false},
        {"two files, No keeps the comparison", true, true, true, 0, IDNO, false, true},
        {"two files, Yes reloads and compares", true, true, true, 0, IDYES, true, true},
        {"two files, forced", true, true, true, 1, 0, true, true},
        {"two files, forced, AutoCompare off", true, true, false, 1, 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyBothPanels();
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_CHECKED, 0);
        std::vector<std::wstring> paths;
        if (c.left) paths.push_back(load(leftTreeView, "<r><a/></r>", L"left.xml"));
        if (c.right) paths.push_back(load(rightTreeView, "<r><a/></r>", L"right.xml"));
        ASSERT_EQ(filesCompared, c.left && c.right ? 1 : 0);
        for (const std::wstring& path : paths)
            dir.write(path.substr(path.rfind(L'\\') + 1), "<r><b/></r>");
        SendMessageW(autoCompareBox, BM_SETCHECK, c.autoCompareBox ? BST_CHECKED : BST_UNCHECKED, 0);
        {
            BoxScript boxes;
            if (c.answer != 0) boxes.expect(kQuestion, L"Options were changed", c.answer);
            if (c.force)
                command(IDM_RELOAD);
            else
                reloadAfterChange(mainWindow, false);
            if (c.answer != 0) {
                ASSERT_EQ(boxes.shown().size(), 1u);
                EXPECT_EQ(boxes.shown()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
            }
        }
        for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
            if (!panel->loaded) continue;
            EXPECT_EQ(elementNamed(*panel, L"b") != nullptr, c.reloaded);
            EXPECT_EQ(elementNamed(*panel, L"a") != nullptr, !c.reloaded);
        }
        EXPECT_EQ(leftTreeView.loaded, c.left ? 1 : 0);
        EXPECT_EQ(rightTreeView.loaded, c.right ? 1 : 0);
        EXPECT_EQ(filesCompared, c.compared ? 1 : 0);
        if (c.compared && c.reloaded) {
            EXPECT_EQ(elementNamed(leftTreeView, L"b")->partner, elementNamed(rightTreeView, L"b"));
        }
    }
}

// What a tree shows on the screen, read back from its window.
std::unique_ptr<Canvas> captureTree(HWND tree) {
    RECT client{};
    GetClientRect(tree, &client);
    auto canvas = std::make_unique<Canvas>(client.right, client.bottom);
    HDC screen = GetDC(tree);
    BitBlt(canvas->dc(), 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
    ReleaseDC(tree, screen);
    GdiFlush();
    return canvas;
}

// Twelve groups of twelve items; the edited copy differs in the first group, so that a
// comparison expands it and moves the summary item down the tree.
std::string groupedDocument(bool edited) {
    std::string xml = "<root>";
    for (int g = 0; g < 12; ++g) {
        xml += "<group id=\"" + std::to_string(g) + "\">";
        for (int i = 0; i < 12; ++i)
            xml += "<item n=\"" + std::to_string(i) + "\">" + std::to_string(g * 100 + i) +
                   (edited && g == 0 && i == 3 ? "x" : "") + "</item>";
        xml += "</group>";
    }
    return xml + "</root>";
}

// Painted in a shown window and read back from the screen.
class TreePaintingTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    static void paintBoth() {
        for (int round = 0; round < 2; ++round) {
            UpdateWindow(leftTreeView.tree);
            UpdateWindow(rightTreeView.tree);
            pump();
        }
    }

    static RECT summaryRect(const XMLTreeView& panel) {
        RECT rect{};
        EXPECT_TRUE(ElementStore::itemRect(panel.tree, panel.summaryItem->treeItem, false, &rect));
        return rect;
    }

    // The rows holding a top or bottom edge of the summary line's frame: a run of the
    // frame colour from 20 pixels left of the summary's text, where no element box starts.
    static std::vector<int> summaryEdgeRows(const Canvas& canvas, const XMLTreeView& panel) {
        RECT text{};
        EXPECT_TRUE(ElementStore::itemRect(panel.tree, panel.summaryItem->treeItem, true, &text));
        const int from = std::max(0, static_cast<int>(text.left) - 19);
        std::vector<int> rows;
        for (int y = 0; y < canvas.height(); ++y) {
            int run = 0;
            while (from + run < canvas.width() && canvas.pixel(from + run, y) == frameColour())
                ++run;
            if (run >= 30) rows.push_back(y);
        }
        return rows;
    }
};

// The tall summary item's image would be drawn at its middle, far below the summary line:
// the item's rows below that line and the tree below the item stay empty.
TEST_F(TreePaintingTest, TheSamplesShowNoIconBelowTheSummaryLine) {
    OptionSet::DisplayFullMode = 1;
    start(SW_SHOWNORMAL);
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        SetWindowTextW(panel->pathCombo, samplePath(panel == &leftTreeView ? "left.xml" : "right.xml").c_str());
        loadFromPathCombo(panel->pathCombo);
    }
    ASSERT_EQ(filesCompared, 1);
    paintBoth();
    const int line = static_cast<int>(SendMessageW(leftTreeView.tree, TVM_GETITEMHEIGHT, 0, 0));
    for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        SCOPED_TRACE(panel == &leftTreeView ? "left" : "right");
        const RECT summary = summaryRect(*panel);
        ASSERT_GT(summary.bottom - summary.top, 10 * line);
        const std::unique_ptr<Canvas> screen = captureTree(panel->tree);
        const RECT empty{0, summary.top + line + 2, screen->width(), screen->height()};
        const int pixels = (empty.right - empty.left) * (empty.bottom - empty.top);
        EXPECT_EQ(screen->count(GetSysColor(COLOR_WINDOW), empty), pixels);
    }
}

// Pixels of the difference colours in a tree as it is on the screen.
int differencePixels(HWND tree) {
    const std::unique_ptr<Canvas> screen = captureTree(tree);
    const RECT all{0, 0, screen->width(), screen->height()};
    int pixels = 0;
    for (BoxStyle style : {kBoxChanged, kBoxUnpaired, kBoxSelectedChanged, kBoxSelectedUnpaired})
        pixels += screen->count(itemPainter->boxBackground[style], all);
    for (RunStyle style : {kRunChanged, kRunDiffers})
        pixels += screen->count(itemPainter->runBackground[style], all);
    return pixels;
}

std::wstring windowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// A load that ends the comparison, failed or not compared again, leaves the path box,
// the title and the other tree telling what is loaded: no name of a file that is not
// loaded, no pair that is not compared, no colours of a comparison that is gone.
TEST_F(TreePaintingTest, ALoadThatEndsTheComparisonLeavesNoStaleNamesOrColours) {
    const struct Case {
        const char* what;
        const char* xml;  // loaded into the left panel after the comparison
        bool loaded;
    } cases[] = {
        {"a parse that fails", "<r><a></r>", false},
        {"a load with AutoCompare off", "<r a=\"3\"/>", true},
    };
    OptionSet::ShowErrorMessages = 0;
    start(SW_SHOWNORMAL);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_CHECKED, 0);
        // A root without children: rebuilding the tree after the load repaints nothing.
        const std::wstring old = load(leftTreeView, "<r a=\"1\"/>", L"old.xml");
        const std::wstring right = load(rightTreeView, "<r a=\"2\"/>", L"right.xml");
        ASSERT_EQ(filesCompared, 1);
        paintBoth();
        ASSERT_GT(differencePixels(rightTreeView.tree), 0) << "the comparison is shown";
        EXPECT_EQ(windowText(mainWindow), old + L" - " + right + L" [Verdalt]");

        SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
        std::wstring path;
        {
            BoxScript boxes;
            if (!c.loaded) boxes.expectCaption(L"XML Parser Fatal Error");
            path = load(leftTreeView, c.xml, L"new.xml");
        }
        paintBoth();
        EXPECT_EQ(filesCompared, 0);
        EXPECT_EQ(leftTreeView.loaded, c.loaded ? 1 : 0);
        const std::wstring shown = c.loaded ? path : L"";
        EXPECT_EQ(windowText(leftTreeView.pathEdit), shown);
        EXPECT_EQ(windowText(mainWindow), shown + L" - " + right + L" [Verdalt]");
        EXPECT_EQ(differencePixels(rightTreeView.tree), 0) << "no colours of the comparison that is gone";
        EXPECT_EQ(rightTreeView.loaded, 1) << "the other document stays";
    }
}

// While the summary box of a comparison is up, the trees repaint behind it: the summary
// line is drawn at its item's place only, whether the item is one line or twenty, after
// the comparison moved it down.
TEST_F(TreePaintingTest, TheSummaryLineIsDrawnOnlyAtItsItemWhileTheSummaryBoxIsUp) {
    OptionSet::ResultView = 1;
    OptionSet::messageBoxes = 1;
    OptionSet::ExpandDiff = 1;
    for (int fullMode : {1, 0}) {
        SCOPED_TRACE(fullMode ? "twenty lines" : "one line");
        OptionSet::DisplayFullMode = fullMode;
        start(SW_SHOWNORMAL);
        int boxes = 0;
        setBoxHandler([&](HWND, const wchar_t*, const wchar_t* caption, UINT) {
            EXPECT_STREQ(caption, L"Found elements");
            ++boxes;
            paintBoth();
            for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
                SCOPED_TRACE(panel == &leftTreeView ? "left" : "right");
                const std::unique_ptr<Canvas> screen = captureTree(panel->tree);
                const RECT summary = summaryRect(*panel);
                EXPECT_GT(summary.top, 12 * static_cast<int>(SendMessageW(panel->tree, TVM_GETITEMHEIGHT, 0, 0)))
                    << "the comparison moved the summary item down";
                const std::vector<int> edges = summaryEdgeRows(*screen, *panel);
                EXPECT_FALSE(edges.empty()) << "the summary line is shown";
                for (int y : edges)
                    EXPECT_TRUE(y >= summary.top && y < summary.bottom) << "an edge of it at row " << y;
            }
            return IDOK;
        });
        load(leftTreeView, groupedDocument(false), L"left.xml");
        paintBoth();
        load(rightTreeView, groupedDocument(true), L"right.xml");
        { BoxScript restore; }  // the unexpected-box handler back
        EXPECT_EQ(boxes, 1);
        close();
    }
}

}  // namespace
