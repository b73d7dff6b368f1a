#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// Walks the real tree view with its own messages, for comparison with the store.
struct TreeShape {
    std::vector<std::pair<int, LPARAM>> items;  // depth and data in tree order
    bool operator==(const TreeShape& other) const { return items == other.items; }
};

TreeShape shapeFromTreeView(HWND tree) {
    TreeShape shape;
    std::vector<std::pair<HTREEITEM, int>> stack;
    auto pushSiblings = [&](HTREEITEM first, int depth) {
        std::vector<HTREEITEM> row;
        for (HTREEITEM i = first; i != nullptr; i = TreeView_GetNextSibling(tree, i)) row.push_back(i);
        for (auto it = row.rbegin(); it != row.rend(); ++it) stack.push_back({*it, depth});
    };
    pushSiblings(TreeView_GetRoot(tree), 0);
    while (!stack.empty()) {
        auto [item, depth] = stack.back();
        stack.pop_back();
        TVITEMW tv{};
        tv.mask = TVIF_HANDLE | TVIF_PARAM;
        tv.hItem = item;
        TreeView_GetItem(tree, &tv);
        shape.items.push_back({depth, tv.lParam});
        pushSiblings(TreeView_GetChild(tree, item), depth + 1);
    }
    return shape;
}

TreeShape shapeFromStore(HWND tree) {
    TreeShape shape;
    std::vector<std::pair<HTREEITEM, int>> stack;
    auto pushSiblings = [&](HTREEITEM first, int depth) {
        std::vector<HTREEITEM> row;
        for (HTREEITEM i = first; i != nullptr; i = ElementStore::next(tree, i)) row.push_back(i);
        for (auto it = row.rbegin(); it != row.rend(); ++it) stack.push_back({*it, depth});
    };
    pushSiblings(ElementStore::root(tree), 0);
    while (!stack.empty()) {
        auto [item, depth] = stack.back();
        stack.pop_back();
        shape.items.push_back({depth, reinterpret_cast<LPARAM>(ElementStore::record(tree, item))});
        HTREEITEM c = ElementStore::child(tree, item);
        if (c != nullptr) {
            EXPECT_EQ(ElementStore::parent(tree, c), item);
        }
        pushSiblings(c, depth + 1);
    }
    return shape;
}

XMLTreeItem* fakeRecord(intptr_t n) {
    return reinterpret_cast<XMLTreeItem*>(n * 16);
}

class ElementStoreTest : public ::testing::Test {
protected:
    TestPanels panels;
    HWND tree = leftTreeView.tree;
    void TearDown() override { ElementStore::removeAll(tree); }
};

TEST_F(ElementStoreTest, KeepsInsertionOrderAndLinks) {
    HTREEITEM a = ElementStore::insert(tree, TVI_ROOT, TVI_LAST, fakeRecord(1));
    HTREEITEM b = ElementStore::insert(tree, a, TVI_LAST, fakeRecord(2));
    HTREEITEM c = ElementStore::insert(tree, a, TVI_LAST, fakeRecord(3));
    HTREEITEM d = ElementStore::insert(tree, a, b, fakeRecord(4));  // right after b
    HTREEITEM e = ElementStore::insert(tree, a, TVI_FIRST, fakeRecord(5));
    HTREEITEM s = ElementStore::insert(tree, nullptr, TVI_LAST, fakeRecord(6));
    ASSERT_TRUE(a && b && c && d && e && s);

    EXPECT_EQ(ElementStore::root(tree), a);
    EXPECT_EQ(ElementStore::next(tree, a), s);
    EXPECT_EQ(ElementStore::previous(tree, s), a);
    EXPECT_EQ(ElementStore::parent(tree, a), nullptr);
    EXPECT_EQ(ElementStore::child(tree, a), e);
    EXPECT_EQ(ElementStore::lastChild(tree, a), c);
    std::vector<HTREEITEM> order;
    for (HTREEITEM i = ElementStore::child(tree, a); i != nullptr; i = ElementStore::next(tree, i)) order.push_back(i);
    EXPECT_EQ(order, (std::vector<HTREEITEM>{e, b, d, c}));
    EXPECT_EQ(ElementStore::record(tree, d), fakeRecord(4));
    EXPECT_EQ(ElementStore::itemCount(tree), 6u);
    EXPECT_EQ(shapeFromStore(tree), shapeFromTreeView(tree));
}

TEST_F(ElementStoreTest, RefusesUnknownItemsAndForeignSiblings) {
    HTREEITEM a = ElementStore::insert(tree, TVI_ROOT, TVI_LAST, fakeRecord(1));
    HTREEITEM b = ElementStore::insert(tree, TVI_ROOT, TVI_LAST, fakeRecord(2));
    HTREEITEM stranger = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(0x7777));
    EXPECT_EQ(ElementStore::insert(tree, stranger, TVI_LAST, fakeRecord(3)), nullptr);
    EXPECT_EQ(ElementStore::insert(tree, a, b, fakeRecord(3)), nullptr);  // b is no child of a
    EXPECT_EQ(ElementStore::record(tree, stranger), nullptr);
    EXPECT_EQ(ElementStore::child(tree, stranger), nullptr);
    EXPECT_EQ(ElementStore::record(nullptr, a), nullptr);
    EXPECT_EQ(ElementStore::itemCount(tree), 2u);
}

TEST_F(ElementStoreTest, RemovingASubtreeForgetsAllOfIt) {
    HTREEITEM a = ElementStore::insert(tree, TVI_ROOT, TVI_LAST, fakeRecord(1));
    HTREEITEM b = ElementStore::insert(tree, a, TVI_LAST, fakeRecord(2));
    HTREEITEM b1 = ElementStore::insert(tree, b, TVI_LAST, fakeRecord(3));
    HTREEITEM c = ElementStore::insert(tree, a, TVI_LAST, fakeRecord(4));
    ASSERT_TRUE(ElementStore::remove(tree, b));
    EXPECT_EQ(ElementStore::child(tree, a), c);
    EXPECT_EQ(ElementStore::previous(tree, c), nullptr);
    EXPECT_EQ(ElementStore::record(tree, b1), nullptr);
    EXPECT_EQ(ElementStore::itemCount(tree), 2u);
    EXPECT_EQ(shapeFromStore(tree), shapeFromTreeView(tree));
    ElementStore::removeAll(tree);
    EXPECT_EQ(ElementStore::root(tree), nullptr);
    EXPECT_EQ(TreeView_GetCount(tree), 0u);
}

TEST_F(ElementStoreTest, HeightsExpandAndSelectionReachTheTreeView) {
    HTREEITEM a = ElementStore::insert(tree, TVI_ROOT, TVI_LAST, fakeRecord(1));
    HTREEITEM b = ElementStore::insert(tree, a, TVI_LAST, fakeRecord(2));
    ElementStore::setHeight(tree, b, 3);
    EXPECT_EQ(ElementStore::height(tree, b), 3);
    TVITEMEXW tv{};
    tv.mask = TVIF_HANDLE | TVIF_INTEGRAL;
    tv.hItem = b;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    EXPECT_EQ(tv.iIntegral, 3);

    EXPECT_FALSE(ElementStore::isExpanded(tree, a));
    ElementStore::expand(tree, a, TVE_EXPAND);
    EXPECT_TRUE(ElementStore::isExpanded(tree, a));
    EXPECT_TRUE(TreeView_GetItemState(tree, a, TVIS_EXPANDED) & TVIS_EXPANDED);
    ElementStore::expand(tree, a, TVE_COLLAPSE);
    EXPECT_FALSE(ElementStore::isExpanded(tree, a));

    ElementStore::select(tree, b);
    EXPECT_EQ(ElementStore::selected(tree), b);
    EXPECT_EQ(TreeView_GetSelection(tree), b);
}

// Random insertions and deletions keep the store and the tree view identical.
TEST_F(ElementStoreTest, StaysInStepWithTheTreeViewUnderRandomEdits) {
    std::mt19937 random(12345);
    std::vector<HTREEITEM> live;
    intptr_t next = 1;
    for (int step = 0; step < 600; ++step) {
        int action = static_cast<int>(random() % 10);
        if (action < 7 || live.empty()) {
            HTREEITEM parent = live.empty() || random() % 5 == 0 ? TVI_ROOT : live[random() % live.size()];
            HTREEITEM after = TVI_LAST;
            if (random() % 3 == 0) {
                HTREEITEM first = parent == TVI_ROOT ? ElementStore::root(tree) : ElementStore::child(tree, parent);
                after = first != nullptr && random() % 2 ? first : TVI_FIRST;
            }
            HTREEITEM item = ElementStore::insert(tree, parent, after, fakeRecord(next++));
            ASSERT_NE(item, nullptr);
            live.push_back(item);
        } else {
            HTREEITEM victim = live[random() % live.size()];
            ASSERT_TRUE(ElementStore::remove(tree, victim));
            std::vector<HTREEITEM> kept;
            for (HTREEITEM i : live)
                if (ElementStore::record(tree, i) != nullptr) kept.push_back(i);
            live.swap(kept);
        }
    }
    EXPECT_EQ(ElementStore::itemCount(tree), live.size());
    EXPECT_EQ(static_cast<size_t>(TreeView_GetCount(tree)), live.size());
    EXPECT_EQ(shapeFromStore(tree), shapeFromTreeView(tree));
}

}  // namespace
