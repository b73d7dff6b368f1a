#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
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

// The store's tree; without wholeTree only the part that has display items.
TreeShape shapeFromStore(HWND tree, bool wholeTree = false) {
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
        if (wholeTree || (c != nullptr && ElementStore::displayItem(tree, c) != nullptr)) pushSiblings(c, depth + 1);
    }
    return shape;
}

// Empty records, numbered, that live for the whole test program.
XMLTreeItem* fakeRecord(size_t n) {
    static std::vector<std::unique_ptr<XMLTreeItem>> records;
    while (records.size() <= n)
        records.push_back(std::make_unique<XMLTreeItem>());
    return records[n].get();
}

// Every display item against the store: its data, height, expansion and button; and
// the children of an element have display items all together or not at all.
void expectDisplayAgrees(HWND tree) {
    EXPECT_EQ(shapeFromStore(tree), shapeFromTreeView(tree));
    size_t seen = 0;
    std::vector<HTREEITEM> stack;
    for (HTREEITEM i = TreeView_GetRoot(tree); i != nullptr; i = TreeView_GetNextSibling(tree, i)) stack.push_back(i);
    while (!stack.empty()) {
        HTREEITEM item = stack.back();
        stack.pop_back();
        ++seen;
        TVITEMEXW tv{};
        tv.mask = TVIF_HANDLE | TVIF_PARAM | TVIF_INTEGRAL | TVIF_STATE | TVIF_CHILDREN;
        tv.stateMask = TVIS_EXPANDED;
        tv.hItem = item;
        ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv)));
        EXPECT_EQ(reinterpret_cast<XMLTreeItem*>(tv.lParam), ElementStore::record(tree, item));
        EXPECT_EQ(tv.iIntegral, ElementStore::height(tree, item));
        const HTREEITEM first = ElementStore::child(tree, item);
        EXPECT_EQ(tv.cChildren != 0, first != nullptr) << "the button shows whether there are children";
        if (first != nullptr) {
            EXPECT_EQ((tv.state & TVIS_EXPANDED) != 0, ElementStore::isExpanded(tree, item));
            const bool made = ElementStore::displayItem(tree, first) != nullptr;
            for (HTREEITEM c = first; c != nullptr; c = ElementStore::next(tree, c))
                EXPECT_EQ(ElementStore::displayItem(tree, c) != nullptr, made) << "siblings are made together";
        }
        XMLTreeItem* record = ElementStore::record(tree, item);
        if (record != nullptr && record->treeView == tree) {
            EXPECT_EQ(record->treeItem, item) << "the record holds the item's handle";
        }
        for (HTREEITEM c = TreeView_GetChild(tree, item); c != nullptr; c = TreeView_GetNextSibling(tree, c))
            stack.push_back(c);
    }
    EXPECT_EQ(seen, ElementStore::displayItemCount(tree));
    EXPECT_EQ(static_cast<size_t>(TreeView_GetCount(tree)), seen);
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
    EXPECT_EQ(ElementStore::displayItemCount(tree), 2u) << "the children of a wait for its expansion";
    EXPECT_EQ(shapeFromStore(tree), shapeFromTreeView(tree));
    ElementStore::expand(tree, a, TVE_EXPAND);
    EXPECT_EQ(ElementStore::displayItemCount(tree), 6u);
    EXPECT_EQ(shapeFromStore(tree, true), shapeFromTreeView(tree));
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
    EXPECT_EQ(ElementStore::displayItem(tree, b), nullptr);
    EXPECT_TRUE(ElementStore::expand(tree, a, TVE_EXPAND));
    b = ElementStore::child(tree, a);
    ASSERT_EQ(ElementStore::displayItem(tree, b), b);
    TVITEMEXW tv{};
    tv.mask = TVIF_HANDLE | TVIF_INTEGRAL;
    tv.hItem = b;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    EXPECT_EQ(tv.iIntegral, 3);

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
        if (action == 8 && !live.empty()) {
            ElementStore::expand(tree, live[random() % live.size()], random() % 3 == 0 ? TVE_COLLAPSE : TVE_EXPAND);
        } else if (action == 9 && !live.empty()) {
            ElementStore::select(tree, live[random() % live.size()]);
        } else if (action < 6 || live.empty()) {
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
        if (step % 100 == 99) expectDisplayAgrees(tree);
    }
    EXPECT_EQ(ElementStore::itemCount(tree), live.size());
    EXPECT_EQ(static_cast<size_t>(TreeView_GetCount(tree)), ElementStore::displayItemCount(tree));
    EXPECT_EQ(shapeFromStore(tree), shapeFromTreeView(tree));
}

// A loaded document through the operations of the program; after each, the display
// items that exist agree with the store, and only those that had to be seen exist.
class DisplayItemTest : public ::testing::Test {
public:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
    HWND tree = leftTreeView.tree;

    XMLTreeItem* named(const wchar_t* name) { return elementNamed(leftTreeView, name); }
    HTREEITEM item(const wchar_t* name) { return named(name)->treeItem; }
    void load(const char* xml) { ASSERT_EQ(loadXml(leftTreeView, xml, dir, L"left.xml"), kLoaded); }
};

const char kDocument[] = "<r><a><b><c>1</c><d>2</d></b></a><e><f/></e><g>3</g></r>";

struct DisplayStep {
    const char* what;
    std::function<void(DisplayItemTest&)> act;
    size_t displayed;  // display items afterwards
    size_t elements;   // the store's items afterwards
};

TEST_F(DisplayItemTest, ItemsAreMadeWhenTheyMustBeSeenAndAgreeWithTheStore) {
    OptionSet::DisplayFullMode = 0;
    XMLTreeItem* added = nullptr;
    const DisplayStep steps[] = {
        {"load: the root element, expanded, and the summary", [](DisplayItemTest& t) { t.load(kDocument); }, 5, 9},
        {"a height set before the item exists",
         [](DisplayItemTest& t) { ElementStore::setHeight(t.tree, t.item(L"c"), 3); }, 5, 9},
        {"insert under a collapsed parent",
         [&](DisplayItemTest& t) {
             added = new XMLTreeItem();  // freed with the panel
             XMLTreeItem::insertTreeItem(added, t.named(L"a"), t.tree, TVI_LAST);
             EXPECT_EQ(ElementStore::displayItem(t.tree, added->treeItem), nullptr);
         },
         5, 10},
        {"expand", [](DisplayItemTest& t) { ElementStore::expand(t.tree, t.item(L"a"), TVE_EXPAND); }, 7, 10},
        {"select a deep element: the chain of its ancestors is made",
         [](DisplayItemTest& t) {
             ASSERT_TRUE(ElementStore::select(t.tree, t.item(L"c")));
             EXPECT_EQ(ElementStore::selected(t.tree), t.item(L"c"));
             EXPECT_EQ(TreeView_GetSelection(t.tree), t.item(L"c"));
         },
         9, 10},
        {"collapse keeps the items", [](DisplayItemTest& t) { ElementStore::expand(t.tree, t.item(L"r"), TVE_COLLAPSE); },
         9, 10},
        {"delete a subtree with items made", [](DisplayItemTest& t) { ElementStore::remove(t.tree, t.item(L"b")); }, 6,
         7},
        {"delete a subtree without items: the parent loses its button",
         [](DisplayItemTest& t) {
             ElementStore::remove(t.tree, t.item(L"f"));
             EXPECT_EQ(ElementStore::child(t.tree, t.item(L"e")), nullptr);
         },
         6, 6},
        {"reload", [](DisplayItemTest& t) { t.load(kDocument); }, 5, 9},
        {"navigate to a difference inside a collapsed subtree",
         [](DisplayItemTest& t) {
             t.named(L"d")->differenceFlags = 4;
             ASSERT_TRUE(ElementStore::select(t.tree, t.item(L"d")));
             EXPECT_EQ(ElementStore::selected(t.tree), t.item(L"d"));
         },
         8, 9},
        {"a view filter removes elements with and without items",
         [](DisplayItemTest& t) {
             ElementStore::remove(t.tree, t.item(L"c"));  // made by the navigation
             ElementStore::remove(t.tree, t.item(L"e"));  // made with the root's children, its child not
         },
         6, 6},
    };
    for (const DisplayStep& step : steps) {
        SCOPED_TRACE(step.what);
        step.act(*this);
        if (HasFatalFailure()) return;
        EXPECT_EQ(ElementStore::displayItemCount(tree), step.displayed);
        EXPECT_EQ(ElementStore::itemCount(tree), step.elements);
        expectDisplayAgrees(tree);
        if (step.what == steps[4].what) {
            TVITEMEXW tv{};
            tv.mask = TVIF_HANDLE | TVIF_INTEGRAL;
            tv.hItem = item(L"c");
            SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
            EXPECT_EQ(tv.iIntegral, 3) << "the height set before the item existed";
        }
    }
    clearPanel(tree, true);
    EXPECT_EQ(ElementStore::displayItemCount(tree), 0u);
    EXPECT_EQ(TreeView_GetCount(tree), 0u);
}

}  // namespace
