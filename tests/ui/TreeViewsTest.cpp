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

    // While no comparison is in force every element shows its plain form.
    filesCompared = 0;
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

// Wine paints the selected item of a tree without the focus as focused too: that
// painting must not take the selection over from the tree the user is working in.
TEST_F(TreeViewsTest, OnlyTheFocusedTreesPaintedSelectionCountsAsTheUsers) {
    loadBoth("<r><a/><b/></r>", "<r><a/><b/></r>");
    XMLTreeItem* leftA = elementNamed(leftTreeView, L"a");
    XMLTreeItem* rightB = elementNamed(rightTreeView, L"b");
    select(leftA);
    ASSERT_EQ(currentElement, leftA);

    NMTVCUSTOMDRAW draw{};
    draw.nmcd.hdr.hwndFrom = rightTreeView.tree;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(rightB->treeItem);
    draw.nmcd.uItemState = CDIS_SELECTED | CDIS_FOCUS;
    draw.nmcd.lItemlParam = reinterpret_cast<LPARAM>(rightB);
    EXPECT_EQ(onItemPrePaint(&draw), CDRF_NOTIFYPOSTPAINT);
    EXPECT_EQ(currentElement, leftA);

    SetFocus(rightTreeView.tree);
    onItemPrePaint(&draw);
    EXPECT_EQ(currentElement, rightB) << "the focused tree's painted selection is the user's";

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

}  // namespace
