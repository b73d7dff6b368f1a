#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"

namespace {

XMLTreeItem* rootOf(const XMLTreeView& panel) {
    return ElementStore::record(panel.tree, ElementStore::root(panel.tree));
}

class TreeViewsTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        start();
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(autoSelectBox, BM_SETCHECK, BST_CHECKED, 0);
    }

    void TearDown() override {
        keyElementList = KeyElementList();
        MainWindowFixture::TearDown();
    }

    void loadBoth(const char* left, const char* right) {
        load(leftTreeView, left, L"left.xml");
        load(rightTreeView, right, L"right.xml");
    }

    void compare() {
        compareTrees(rootOf(leftTreeView), rootOf(rightTreeView));
        filesCompared = 1;
    }

    // The user's selection: the tree has the focus, the item becomes the caret.
    static void select(XMLTreeItem* element) {
        SetFocus(element->treeView);
        ElementStore::select(element->treeView, element->treeItem);
    }

    static int image(XMLTreeItem* element) {
        NMTVDISPINFOW info{};
        info.hdr.hwndFrom = element->treeView;
        info.hdr.code = TVN_GETDISPINFOW;
        info.item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_TEXT;
        info.item.hItem = element->treeItem;
        info.item.lParam = reinterpret_cast<LPARAM>(element);
        onGetDispInfo(&info);
        EXPECT_EQ(info.item.iImage, info.item.iSelectedImage);
        return info.item.iImage;
    }
};

// The base icon of an element comes from the comparison; the tree adds the expanded
// form and the key-child form, and leaves ignored elements alone.
TEST_F(TreeViewsTest, ImagesShowStateExpansionAndKeyChildren) {
    loadBoth("<r><g><k>1</k></g><c><x>1</x></c><d><y/></d><same/><leaf>1</leaf><gone/><i><z/></i></r>",
             "<r><g><k>1</k></g><c><x>2</x></c><same/><leaf>2</leaf><new/><i><w/></i></r>");
    ASSERT_TRUE(keyElementList.addPath(L"r>g>k"));
    compare();
    elementNamed(leftTreeView, L"i")->ignoreState = 2;

    struct Case {
        const char* what;
        XMLTreeView* panel;
        const wchar_t* name;
        bool expanded;
        int image;
    } cases[] = {
        {"parent, same", &leftTreeView, L"g", false, 0},
        {"parent, same, expanded", &leftTreeView, L"g", true, 1},
        {"parent, changed", &leftTreeView, L"c", false, 2},
        {"parent, changed, expanded", &leftTreeView, L"c", true, 3},
        {"parent without partner", &leftTreeView, L"d", false, 4},
        {"parent without partner, expanded", &leftTreeView, L"d", true, 5},
        {"leaf, same", &leftTreeView, L"same", false, 6},
        {"leaf, changed", &leftTreeView, L"leaf", false, 7},
        {"leaf, deleted", &leftTreeView, L"gone", false, 8},
        {"leaf, added", &rightTreeView, L"new", false, 9},
        {"key child", &leftTreeView, L"k", false, 6 + 14},
        {"ignored", &leftTreeView, L"i", false, 11},
        {"ignored, expanded", &leftTreeView, L"i", true, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        XMLTreeItem* element = elementNamed(*c.panel, c.name);
        ASSERT_NE(element, nullptr);
        ElementStore::expand(element->treeView, element->treeItem, c.expanded ? TVE_EXPAND : TVE_COLLAPSE);
        EXPECT_EQ(image(element), c.image);
    }

    // An expanded element without partner that is also a key child.
    keyElementList = KeyElementList();
    ASSERT_TRUE(keyElementList.addPath(L"r>d"));
    XMLTreeItem* d = elementNamed(leftTreeView, L"d");
    ElementStore::expand(leftTreeView.tree, d->treeItem, TVE_EXPAND);
    EXPECT_EQ(image(d), 19);

    // The tall summary item shows none (the tree would draw it at the item's middle).
    EXPECT_EQ(image(leftTreeView.summaryItem), I_IMAGENONE);
    EXPECT_EQ(image(rightTreeView.summaryItem), I_IMAGENONE);

    // While no comparison is in force every element shows its plain form.
    filesCompared = 0;
    EXPECT_EQ(image(leftTreeView.summaryItem), I_IMAGENONE);
    EXPECT_EQ(image(elementNamed(leftTreeView, L"leaf")), 6);
    EXPECT_EQ(image(elementNamed(leftTreeView, L"gone")), 6);
}

TEST_F(TreeViewsTest, SelectingAnElementSelectsItsPartnerAndTheNavigationTargets) {
    loadBoth("<r><a>1</a><b/><c>1</c><gone/></r>", "<r><a>2</a><b/><c>2</c></r>");
    XMLTreeItem* a = elementNamed(leftTreeView, L"a");
    XMLTreeItem* gone = elementNamed(leftTreeView, L"gone");

    // Before a comparison the other tree and the navigation are left alone.
    ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, L"b")->treeItem);
    select(a);
    EXPECT_EQ(currentElement, a);
    EXPECT_EQ(currentTree, leftTreeView.tree);
    EXPECT_EQ(currentPartner, nullptr);
    EXPECT_EQ(currentNavigator, nullptr);
    EXPECT_EQ(ElementStore::record(rightTreeView.tree, ElementStore::selected(rightTreeView.tree)),
              elementNamed(rightTreeView, L"b"));

    compare();
    select(elementNamed(leftTreeView, L"b"));
    select(a);
    EXPECT_EQ(currentPartner, elementNamed(rightTreeView, L"a"));
    EXPECT_EQ(ElementStore::record(rightTreeView.tree, ElementStore::selected(rightTreeView.tree)), currentPartner);
    EXPECT_EQ(currentElement, a) << "the partner's selection does not take over";
    EXPECT_EQ(currentNavigator, &leftTreeView.navigator);
    EXPECT_EQ(navigationTarget(IDM_NEXT_DIFFERENCE), elementNamed(leftTreeView, L"c"));
    EXPECT_EQ(navigationTarget(IDM_NEXT_DELETED_ADDED), gone);
    EXPECT_EQ(navigationTarget(IDM_PREV_DELETED_ADDED), nullptr);
    EXPECT_EQ(navigationButtonState(IDM_NEXT_DIFFERENCE), TBSTATE_ENABLED);
    EXPECT_EQ(navigationButtonState(IDM_PREV_DELETED_ADDED), 0);
    EXPECT_EQ(navigationButtonState(IDM_COMPARE_FILES), 0);
    EXPECT_FALSE(GetMenuState(GetMenu(mainWindow), IDM_NEXT_DIFFERENCE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), IDM_PREV_DELETED_ADDED, MF_BYCOMMAND) & MF_GRAYED);

    // The navigation command selects its target, and the selection follows.
    SendMessageW(mainWindow, WM_COMMAND, IDM_NEXT_DIFFERENCE, 0);
    EXPECT_EQ(currentElement, elementNamed(leftTreeView, L"c"));

    // Without a partner the other tree shows no selection.
    select(gone);
    EXPECT_EQ(currentElement, gone);
    EXPECT_EQ(currentPartner, nullptr);
    EXPECT_EQ(ElementStore::selected(rightTreeView.tree), nullptr);

    // The summary item is no element.
    ElementStore::select(leftTreeView.tree, leftTreeView.summaryItem->treeItem);
    EXPECT_EQ(currentElement, nullptr);
    EXPECT_EQ(currentTree, nullptr);

    // A reset greys every navigation command and forgets the navigator.
    select(a);
    resetNavigation();
    EXPECT_EQ(currentNavigator, nullptr);
    EXPECT_EQ(leftTreeView.navigator.nextDifference, nullptr);
    EXPECT_TRUE(GetMenuState(GetMenu(mainWindow), IDM_NEXT_DIFFERENCE, MF_BYCOMMAND) & MF_GRAYED);
    SendMessageW(mainWindow, WM_COMMAND, IDM_NEXT_DIFFERENCE, 0);
    EXPECT_EQ(currentElement, a) << "navigation does nothing after a reset";
}

TEST_F(TreeViewsTest, WithoutAutoSelectTheOtherTreeKeepsItsSelection) {
    loadBoth("<r><a>1</a><b/></r>", "<r><a>2</a><b/></r>");
    compare();
    SendMessageW(autoSelectBox, BM_SETCHECK, BST_UNCHECKED, 0);
    XMLTreeItem* rightB = elementNamed(rightTreeView, L"b");
    ElementStore::select(rightTreeView.tree, rightB->treeItem);
    select(elementNamed(leftTreeView, L"a"));
    EXPECT_EQ(ElementStore::record(rightTreeView.tree, ElementStore::selected(rightTreeView.tree)), rightB);
}

// Wine paints the caret item of either tree as selected and focused, whichever tree has
// the focus: painting never takes the selection over from the element the user chose.
// A click on the item that is selected already chooses it.
TEST_F(TreeViewsTest, PaintingChoosesNothingAndAClickOnTheSelectedItemChoosesIt) {
    loadBoth("<r><a/><b/></r>", "<r><a/><b/></r>");
    compare();
    XMLTreeItem* leftA = elementNamed(leftTreeView, L"a");
    XMLTreeItem* rightB = elementNamed(rightTreeView, L"b");
    select(rightB);
    select(leftA);
    ASSERT_EQ(currentElement, leftA);
    selectionSyncGuard = 1;  // the right tree's caret back on b, chosen by the program
    ElementStore::select(rightTreeView.tree, rightB->treeItem);
    selectionSyncGuard = 0;
    ASSERT_EQ(currentElement, leftA);

    NMTVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = rightTreeView.tree;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(ElementStore::displayItem(rightTreeView.tree, rightB->treeItem));
    draw.nmcd.uItemState = CDIS_SELECTED | CDIS_FOCUS;
    draw.nmcd.lItemlParam = reinterpret_cast<LPARAM>(rightB);
    for (HWND focus : {leftTreeView.tree, rightTreeView.tree}) {
        SetFocus(focus);
        EXPECT_EQ(onItemPrePaint(&draw), CDRF_NOTIFYPOSTPAINT);
        EXPECT_EQ(currentElement, leftA) << (focus == leftTreeView.tree ? "left focused" : "right focused");
    }

    RECT rect{};
    ASSERT_TRUE(ElementStore::itemRect(rightTreeView.tree, rightB->treeItem, true, &rect));
    const int middle = (rect.top + rect.bottom) / 2;
    onTreeClicked(rightTreeView.tree, POINT{rect.right + 40, middle});
    EXPECT_EQ(currentElement, leftA) << "a press beside the item";
    selectionSyncGuard = 1;
    onTreeClicked(rightTreeView.tree, POINT{rect.left + 2, middle});
    selectionSyncGuard = 0;
    EXPECT_EQ(currentElement, leftA) << "while the program selects";
    onTreeClicked(rightTreeView.tree, POINT{rect.left + 2, middle});
    EXPECT_EQ(currentElement, rightB) << "a press on the selected item";
    EXPECT_EQ(currentTree, rightTreeView.tree);
    EXPECT_EQ(currentPartner, elementNamed(leftTreeView, L"b"));

    // A tree whose panel holds no document draws nothing.
    clearPanel(leftTreeView.tree, true);
    draw.nmcd.hdr.hwndFrom = leftTreeView.tree;
    EXPECT_EQ(onItemPrePaint(&draw), CDRF_SKIPDEFAULT);
    draw.nmcd.dwDrawStage = CDDS_ITEMPOSTPAINT;
    EXPECT_EQ(onItemPostPaint(&draw), CDRF_DODEFAULT);
}

TEST_F(TreeViewsTest, ASelectedItemOutOfViewIsScrolledIntoIt) {
    std::string xml = "<r>";
    for (int i = 0; i < 200; ++i) xml += "<e" + std::to_string(i) + "/>";
    xml += "</r>";
    load(leftTreeView, xml.c_str(), L"long.xml");
    XMLTreeItem* last = elementNamed(leftTreeView, L"e199");
    select(last);
    RECT item{};
    RECT client{};
    ASSERT_TRUE(ElementStore::itemRect(leftTreeView.tree, last->treeItem, true, &item));
    GetClientRect(leftTreeView.tree, &client);
    EXPECT_GE(item.top, 0);
    EXPECT_LE(item.bottom, client.bottom);
}

// A long pair of documents in a shown window, so that both trees really paint: items
// e0..e399 whose texts differ at e5, e200 and e390.
class UserSelectionTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    static std::string longDocument(bool edited) {
        std::string xml = "<r>";
        for (int i = 0; i < 400; ++i) {
            const std::string name = "e" + std::to_string(i);
            std::string text = std::to_string(i);
            if (edited && (i == 5 || i == 200 || i == 390)) text += "x";
            xml += "<" + name + ">" + text + "</" + name + ">";
        }
        return xml + "</r>";
    }

    // What is waiting to be painted is painted, and the posted messages are handled.
    static void paintBoth() {
        for (int round = 0; round < 2; ++round) {
            UpdateWindow(leftTreeView.tree);
            UpdateWindow(rightTreeView.tree);
            pump();
        }
    }

    static const char* sideOf(const XMLTreeItem* element) {
        if (element == nullptr) return "none";
        return element->treeView == leftTreeView.tree ? "left" : "right";
    }

    static XMLTreeItem* leftElement(int i) { return elementNamed(leftTreeView, L"e" + std::to_wstring(i)); }
    static XMLTreeItem* rightElement(int i) { return elementNamed(rightTreeView, L"e" + std::to_wstring(i)); }
    static std::wstring textOf(const XMLTreeItem* e) { return std::wstring(e->text, e->textLength); }

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::AutoCompare = 0;
        OptionSet::DisplayConfirmation = 0;
        OptionSet::OpenAfterSave = 0;
        start(SW_SHOWNORMAL);
    }

    void TearDown() override {
        keyElementList = KeyElementList();
        MainWindowFixture::TearDown();
    }
};

// Loading leaves the focus in the tree loaded last, and the navigation commands and the
// toolbar take none: the right tree keeps the focus and paints the element that the
// program selected in it. Whatever the program selects or paints there, the current
// element stays the one chosen in the left tree, and every element command acts on it.
TEST_F(UserSelectionTest, TheElementCommandsActOnTheElementTheUserChose) {
    struct Step {
        const char* what;
        int command;
        int expected;
    } steps[] = {
        {"F10", IDM_NEXT_DIFFERENCE, 5},
        {"F10 to a far item", IDM_NEXT_DIFFERENCE, 200},
        {"F10 to the last", IDM_NEXT_DIFFERENCE, 390},
        {"Shift+F10", IDM_PREV_DIFFERENCE, 200},
        {"Ctrl+F10", IDM_NEXT_DIFFERENCE_LEVEL, 390},
    };
    for (bool autoSelect : {true, false}) {
        SCOPED_TRACE(autoSelect ? "AutoSelect on" : "AutoSelect off");
        SendMessageW(autoSelectBox, BM_SETCHECK, autoSelect ? BST_CHECKED : BST_UNCHECKED, 0);
        load(leftTreeView, longDocument(false), L"left.xml");
        load(rightTreeView, longDocument(true), L"right.xml");
        SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
        paintBoth();
        // The loads chose nothing (their summary items): the comparison makes the left root current.
        EXPECT_EQ(currentElement, rootOf(leftTreeView)) << "after the comparison";
        EXPECT_EQ(currentNavigator, &leftTreeView.navigator);
        // As the loads leave it; set again before each step, since other programs on the
        // display may take the activation away.
        SetFocus(rightTreeView.tree);

        ElementStore::select(leftTreeView.tree, leftElement(0)->treeItem);
        paintBoth();
        ASSERT_EQ(currentElement, leftElement(0));
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            SetFocus(rightTreeView.tree);
            SendMessageW(mainWindow, WM_COMMAND, step.command, 0);
            paintBoth();
            EXPECT_EQ(currentElement, leftElement(step.expected))
                << "current: " << sideOf(currentElement) << " "
                << (currentElement != nullptr ? narrow(currentElement->nameText()) : "");
            EXPECT_EQ(currentTree, leftTreeView.tree);
            EXPECT_EQ(currentPartner, autoSelect ? rightElement(step.expected) : nullptr);
        }

        // Each element command on e200 of the left tree, the right one left alone.
        SetFocus(rightTreeView.tree);
        SendMessageW(mainWindow, WM_COMMAND, IDM_PREV_DIFFERENCE, 0);
        paintBoth();
        ASSERT_EQ(currentElement, leftElement(200));

        SendMessageW(mainWindow, WM_COMMAND, IDM_IGNORE_PARTICULAR, 0);  // F9
        paintBoth();
        EXPECT_EQ(leftElement(200)->ignoreState, 3) << "F9";
        EXPECT_EQ(rightElement(200)->ignoreState, 0) << "F9";
        EXPECT_EQ(currentElement, leftElement(200)) << "F9";
        SendMessageW(mainWindow, WM_COMMAND, IDM_IGNORE_PARTICULAR, 0);
        paintBoth();
        EXPECT_EQ(leftElement(200)->ignoreState, 0) << "F9 again";

        SendMessageW(mainWindow, WM_COMMAND, IDM_KEY_ELEMENT, 0);  // F2
        paintBoth();
        EXPECT_TRUE(keyElementList.isKeyChild(*leftElement(200))) << "F2";
        EXPECT_EQ(currentElement, leftElement(200)) << "F2";
        EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::selected(leftTreeView.tree)), leftElement(200));
        SendMessageW(mainWindow, WM_COMMAND, IDM_KEY_ELEMENT, 0);
        paintBoth();
        EXPECT_FALSE(keyElementList.isKeyChild(*leftElement(200))) << "F2 again";

        {
            DialogScript dialogs;
            dialogs.answer(dir.file(L"saved.xml"));
            BoxScript boxes;
            SendMessageW(mainWindow, WM_COMMAND, IDM_SAVE_ELEMENT, 0);  // F8
        }
        EXPECT_NE(dir.read(L"saved.xml").find("<e200>200</e200>"), std::string::npos) << dir.read(L"saved.xml");
        paintBoth();
        EXPECT_EQ(currentElement, leftElement(200)) << "after the Save dialog";

        SendMessageW(mainWindow, WM_COMMAND, IDM_IGNORE_ELEMENTS, 0);  // F7
        paintBoth();
        EXPECT_EQ(leftElement(200)->ignoreState, 1) << "F7";
        EXPECT_EQ(currentElement, leftElement(200)) << "F7";
        SendMessageW(mainWindow, WM_COMMAND, IDM_IGNORE_ELEMENTS, 0);
        paintBoth();
        EXPECT_EQ(leftElement(200)->ignoreState, 0) << "F7 again";

        // Replace takes the other tree's selection: with AutoSelect off it is chosen there first.
        if (!autoSelect) {
            selectionSyncGuard = 1;
            ElementStore::select(rightTreeView.tree, rightElement(200)->treeItem);
            selectionSyncGuard = 0;
        }
        {
            BoxScript boxes;
            SendMessageW(mainWindow, WM_COMMAND, IDM_REPLACE_ELEMENT, 0);
        }
        paintBoth();
        EXPECT_EQ(textOf(leftElement(200)), L"200x") << "Replace";
        EXPECT_EQ(textOf(rightElement(200)), L"200x") << "Replace";
        EXPECT_EQ(currentElement, leftElement(200)) << "Replace";

        // The keyboard in the left tree, then a click on the right tree's selected item.
        SetFocus(leftTreeView.tree);
        SendMessageW(leftTreeView.tree, WM_KEYDOWN, VK_DOWN, 0);
        SendMessageW(leftTreeView.tree, WM_KEYUP, VK_DOWN, 0);
        paintBoth();
        EXPECT_EQ(currentElement, leftElement(201)) << "Down";
        if (autoSelect) {
            RECT rect{};
            ASSERT_TRUE(ElementStore::itemRect(rightTreeView.tree, rightElement(201)->treeItem, true, &rect));
            const LPARAM at = MAKELPARAM(rect.left + 4, (rect.top + rect.bottom) / 2);
            // The tree follows the press until the button goes up.
            PostMessageW(rightTreeView.tree, WM_LBUTTONUP, 0, at);
            SendMessageW(rightTreeView.tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
            paintBoth();
            EXPECT_EQ(currentElement, rightElement(201)) << "a click on the partner";
            EXPECT_EQ(currentPartner, leftElement(201));
        }
        emptyBothPanels();
    }
}

}  // namespace
