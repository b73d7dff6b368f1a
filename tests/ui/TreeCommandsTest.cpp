#include "ui/TreeCommands.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/TreeViews.h"

namespace {

class TreeNodeCommandsTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::AutoCompare = 0;
        start();
        const char xml[] = "<r><a><a1><a11/></a1><a2/></a><b><b1/></b></r>";
        load(leftTreeView, xml, L"left.xml");
        load(rightTreeView, xml, L"right.xml");
    }

    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }

    // What the tree view itself shows as expanded, of the items that have children.
    static std::vector<std::wstring> expandedNames(const XMLTreeView& panel) {
        std::vector<std::wstring> out;
        for (XMLTreeItem* record : recordsInOrder(panel)) {
            if (record == nullptr || record->isSummary()) continue;
            if (ElementStore::child(panel.tree, record->treeItem) == nullptr) continue;
            const UINT state = TreeView_GetItemState(panel.tree, record->treeItem, TVIS_EXPANDED);
            if (state & TVIS_EXPANDED) out.push_back(record->nameText());
        }
        return out;
    }

    static void select(const XMLTreeView& panel, const wchar_t* name) {
        XMLTreeItem* element = elementNamed(panel, name);
        ASSERT_NE(element, nullptr);
        ElementStore::select(panel.tree, element->treeItem);
        ASSERT_EQ(currentElement, element);
    }
};

using Names = std::vector<std::wstring>;

TEST_F(TreeNodeCommandsTest, WithoutASelectionTheWholeLeftTree) {
    elementNamed(leftTreeView, L"r")->expandSubtree(TVE_COLLAPSE);
    elementNamed(rightTreeView, L"r")->expandSubtree(TVE_COLLAPSE);
    currentElement = nullptr;
    command(IDM_EXPAND_NODES);
    EXPECT_EQ(expandedNames(leftTreeView), (Names{L"r", L"a", L"a1", L"b"}));
    EXPECT_EQ(expandedNames(rightTreeView), Names{}) << "the right tree is left alone";
    RECT rect;
    EXPECT_TRUE(ElementStore::itemRect(leftTreeView.tree, elementNamed(leftTreeView, L"a11")->treeItem, false, &rect))
        << "the deepest element is laid out and shows";
    command(IDM_COLLAPSE_NODES);
    EXPECT_EQ(expandedNames(leftTreeView), Names{});
}

// Collapsing takes the element's whole subtree with it, so that expanding the element
// again shows its children collapsed.
TEST_F(TreeNodeCommandsTest, TheSelectedSubtree) {
    elementNamed(rightTreeView, L"r")->expandSubtree(TVE_EXPAND);
    select(rightTreeView, L"a");
    command(IDM_COLLAPSE_NODES);
    EXPECT_EQ(expandedNames(rightTreeView), (Names{L"r", L"b"}));
    TreeView_Expand(rightTreeView.tree, elementNamed(rightTreeView, L"a")->treeItem, TVE_EXPAND);
    EXPECT_EQ(expandedNames(rightTreeView), (Names{L"r", L"a", L"b"})) << "a1 stays collapsed";
    command(IDM_EXPAND_NODES);
    EXPECT_EQ(expandedNames(rightTreeView), (Names{L"r", L"a", L"a1", L"b"}));
}

TEST_F(TreeNodeCommandsTest, ItemHeightsFollowTheOptions) {
    HWND tree = leftTreeView.tree;
    const int itemHeight = TreeView_GetItemHeight(tree);
    SendMessageW(tree, TVM_SETITEMHEIGHT, itemHeight + 6, 0);
    applyItemHeight();
    EXPECT_EQ(TreeView_GetItemHeight(tree), itemHeight) << "the height comes from the font again";
    EXPECT_EQ(TreeView_GetItemHeight(rightTreeView.tree), itemHeight);

    XMLTreeItem* a = elementNamed(leftTreeView, L"a");
    XMLTreeItem* b = elementNamed(rightTreeView, L"b");
    const int aLines = ElementStore::height(tree, a->treeItem);
    const int bLines = ElementStore::height(rightTreeView.tree, b->treeItem);
    a->setItemHeight(aLines + 3);
    b->setItemHeight(bLines + 2);
    relayoutItems();
    EXPECT_EQ(ElementStore::height(tree, a->treeItem), aLines);
    EXPECT_EQ(ElementStore::height(rightTreeView.tree, b->treeItem), bLines);
}

}  // namespace
