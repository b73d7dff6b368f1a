#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

bool hasHorizontalBar(HWND tree) {
    return (GetWindowLongPtrW(tree, GWL_STYLE) & WS_HSCROLL) != 0;
}

int textWidth(XMLTreeItem* record) {
    RECT text{};
    if (!ElementStore::itemRect(record->treeView, record->treeItem, true, &text)) return -1;
    return static_cast<int>(text.right - text.left);
}

// Items made while the document loads, the summary item and items made when the user
// expands an element afterwards all get the placeholder's width; the horizontal scroll
// bar that this width asks for comes with the document and goes with it.
TEST(TreeItemWidth, EveryItemHasThePlaceholdersWidthAndTheBarFollowsTheDocument) {
    OptionsSnapshot options;
    TempDir dir;
    TestPanels panels;
    HWND tree = leftTreeView.tree;
    EXPECT_FALSE(hasHorizontalBar(tree));

    ASSERT_EQ(loadXml(leftTreeView, "<root><a><deep/><deeper/></a><b/></root>", dir, L"left.xml"), kLoaded);
    XMLTreeItem* a = elementNamed(leftTreeView, L"a");
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(ElementStore::expand(tree, a->treeItem, TVE_EXPAND));

    RECT client{};
    GetClientRect(tree, &client);
    std::vector<XMLTreeItem*> records = recordsInOrder(leftTreeView);
    ASSERT_EQ(records.size(), 6u);  // root, a, deep, deeper, b and the summary item
    const int width = textWidth(records.front());
    EXPECT_GT(width, client.right);
    for (XMLTreeItem* record : records) EXPECT_EQ(textWidth(record), width) << narrow(record->nameText());
    EXPECT_TRUE(hasHorizontalBar(tree));

    clearPanel(tree, true);
    EXPECT_FALSE(hasHorizontalBar(tree));
}

}  // namespace
