#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "model/DifferenceNavigator.h"
#include "model/ElementStore.h"
#include "model/IgnoreList.h"
#include "model/NameDictionary.h"
#include "model/TreeOperations.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

std::string nameOf(const XMLTreeItem* e) {
    return e == nullptr ? "" : narrow(e->nameText());
}

// The subtree as the tree view holds it, read through the element store: "a(b,c(d))".
std::string shape(HWND tree, HTREEITEM item) {
    XMLTreeItem* e = ElementStore::record(tree, item);
    std::string out = e == nullptr ? "?" : nameOf(e);
    HTREEITEM c = ElementStore::child(tree, item);
    if (c == nullptr) return out;
    out += "(";
    for (bool first = true; c != nullptr; c = ElementStore::next(tree, c), first = false)
        out += (first ? "" : ",") + shape(tree, c);
    return out + ")";
}

struct Released {
    const XMLTreeItem* record;
    bool itemStillPointsAtIt;
};
std::vector<Released> released;
std::vector<DifferenceNavigator*> watchedNavigators;

void noteRelease(const XMLTreeItem* record) {
    bool stale = record->treeView != nullptr && record->treeItem != nullptr &&
                 ElementStore::record(record->treeView, record->treeItem) == record;
    released.push_back({record, stale});
    for (DifferenceNavigator* n : watchedNavigators)
        n->forget(record);
}

class TreeOperationsTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    std::map<std::string, XMLTreeItem*> left;
    std::map<std::string, XMLTreeItem*> right;

    void SetUp() override {
        released.clear();
        watchedNavigators.clear();
        setRecordReleaseHook(noteRelease);
    }
    void TearDown() override {
        setRecordReleaseHook(nullptr);
        watchedNavigators.clear();
    }

    // Loads both documents; element names are unique within each.
    void load(const char* leftXml, const char* rightXml) {
        ASSERT_EQ(loadXml(leftTreeView, leftXml, dir, L"left.xml"), kLoaded);
        ASSERT_EQ(loadXml(rightTreeView, rightXml, dir, L"right.xml"), kLoaded);
        left.clear();
        right.clear();
        for (XMLTreeItem* e : recordsInOrder(leftTreeView))
            left[nameOf(e)] = e;
        for (XMLTreeItem* e : recordsInOrder(rightTreeView))
            right[nameOf(e)] = e;
    }

    static void pair(XMLTreeItem* a, XMLTreeItem* b) {
        a->partner = b;
        b->partner = a;
    }

    static HTREEITEM rootOf(const XMLTreeView& panel) { return ElementStore::root(panel.tree); }
};

// Each copy against its source: own texts in the receiving arena, partners both ways,
// the receiving tree and item, and a child count of what was copied under it.
void expectCopyOf(const XMLTreeItem* copy, const XMLTreeItem* source, HWND tree) {
    SCOPED_TRACE(nameOf(source));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->name, source->name);
    EXPECT_EQ(copy->partner, source);
    EXPECT_EQ(source->partner, copy);
    EXPECT_EQ(copy->treeView, tree);
    EXPECT_EQ(ElementStore::record(tree, copy->treeItem), copy);
    EXPECT_EQ(copy->pathHash, source->pathHash);  // both roots have the same name
    EXPECT_EQ(narrow(textOf(copy)), narrow(textOf(source)));
    if (source->text != nullptr) {
        EXPECT_NE(copy->text, source->text);
    }
    if (source->attributes != nullptr) {
        EXPECT_NE(copy->attributes, source->attributes);
    }
    uint32_t children = 0;
    for (HTREEITEM c = ElementStore::child(tree, copy->treeItem); c != nullptr; c = ElementStore::next(tree, c))
        ++children;
    EXPECT_EQ(copy->childCount, children);
    EXPECT_EQ(copy->childCount, source->childCount);
}

TEST_F(TreeOperationsTest, InsertCopyAfterCopiesTheWholeSubtreeIntoTheOtherTree) {
    load("<r><a k=\"1\">text<b/><c>deep<d/><e/></c></a></r>", "<r><y/><z/></r>");
    XMLTreeItem* r = right["r"];
    const size_t itemsBefore = ElementStore::itemCount(rightTreeView.tree);
    ASSERT_EQ(right["y"]->insertCopyAfter(*left["a"]), 1);

    EXPECT_EQ(shape(rightTreeView.tree, rootOf(rightTreeView)), "r(y,a(b,c(d,e)),z)");
    EXPECT_EQ(ElementStore::itemCount(rightTreeView.tree), itemsBefore + 5);
    EXPECT_EQ(r->childCount, 3u);
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        XMLTreeItem* source = left[name];
        expectCopyOf(source->partner, source, rightTreeView.tree);
    }
    EXPECT_EQ(left["a"]->partner->parent(), r);

    ASSERT_EQ(r->childNameCount, 3u);
    EXPECT_EQ(r->childNameIds[2], left["a"]->nameId());
    EXPECT_EQ(r->childNameCounts[2], 1);
    ASSERT_EQ(right["z"]->insertCopyAfter(*left["a"]), 1);  // a second a: its count grows
    EXPECT_EQ(r->childNameCount, 3u);
    EXPECT_EQ(r->childNameCounts[2], 2);
    EXPECT_EQ(r->childCount, 4u);
}

TEST_F(TreeOperationsTest, InsertCopyAfterATopLevelElementInsertsNothing) {
    load("<r><a/></r>", "<s><y/></s>");
    const size_t itemsBefore = ElementStore::itemCount(rightTreeView.tree);
    EXPECT_EQ(right["s"]->insertCopyAfter(*left["a"]), 0);
    EXPECT_EQ(ElementStore::itemCount(rightTreeView.tree), itemsBefore);
    EXPECT_EQ(left["a"]->partner, nullptr);
}

// A copy gets its own key-attribute block and counts only the children copied under it;
// the source's old partner loses its link to the source.
TEST_F(TreeOperationsTest, CloneOwnsItsKeyBlockAndRelinksPartners) {
    load("<r><a><b/><c/><d/></a></r>", "<r><y/><old/></r>");
    XMLTreeItem* source = left["a"];
    source->keyAttributeHash = new uint64_t[4]{1, 2, 3, 4};  // freed with the record
    pair(source, right["old"]);
    ASSERT_EQ(right["y"]->insertCopyAfter(*source), 1);
    XMLTreeItem* copy = source->partner;
    ASSERT_NE(copy, right["old"]);
    EXPECT_EQ(right["old"]->partner, nullptr);
    ASSERT_NE(copy->keyAttributeHash, nullptr);
    EXPECT_NE(copy->keyAttributeHash, source->keyAttributeHash);
    EXPECT_EQ(std::memcmp(copy->keyAttributeHash, source->keyAttributeHash, 4 * sizeof(uint64_t)), 0);
    EXPECT_EQ(copy->childCount, 3u);
    // Freeing the copy leaves the source's block alone and the source without partner.
    copy->removeFromTree();
    EXPECT_EQ(source->partner, nullptr);
    EXPECT_EQ(source->keyAttributeHash[3], 4u);
}

TEST_F(TreeOperationsTest, ReplaceWithPutsACopyInTheSameItem) {
    load("<r><a>new<b/></a></r>", "<r><y>old<o1/><o2/></y><z/></r>");
    XMLTreeItem* y = right["y"];
    HTREEITEM item = y->treeItem;
    pair(y, left["a"]);
    pair(right["o1"], left["b"]);
    const size_t itemsBefore = ElementStore::itemCount(rightTreeView.tree);
    const XMLTreeItem* freed[] = {right["y"], right["o1"], right["o2"]};

    XMLTreeItem* copy = y->replaceWith(*left["a"]);

    ASSERT_EQ(released.size(), 3u);
    for (const Released& r : released) {
        EXPECT_FALSE(r.itemStillPointsAtIt);
        EXPECT_TRUE(r.record == freed[0] || r.record == freed[1] || r.record == freed[2]);
    }
    EXPECT_EQ(copy->treeItem, item);
    EXPECT_EQ(ElementStore::record(rightTreeView.tree, item), copy);
    EXPECT_EQ(shape(rightTreeView.tree, rootOf(rightTreeView)), "r(a(b),z)");
    EXPECT_EQ(ElementStore::itemCount(rightTreeView.tree), itemsBefore - 1);
    EXPECT_EQ(right["r"]->childCount, 2u);
    expectCopyOf(copy, left["a"], rightTreeView.tree);
    expectCopyOf(left["b"]->partner, left["b"], rightTreeView.tree);
    EXPECT_EQ(narrow(textOf(copy)), "new");
}

TEST_F(TreeOperationsTest, RemoveFromTreeFreesRecordsAndItemsAndClearsReferences) {
    load("<r><a><b/></a><c/></r>", "<r><a2><b2/></a2><c2/></r>");
    pair(left["a"], right["a2"]);
    pair(left["b"], right["b2"]);
    DifferenceNavigator navigator;
    navigator.current = left["c"];
    navigator.nextDifference = left["b"];
    navigator.previousDeletedAdded = left["a"];
    watchedNavigators.push_back(&navigator);
    XMLTreeItem* r = left["r"];
    const size_t itemsBefore = ElementStore::itemCount(leftTreeView.tree);
    const uint32_t namesBefore = r->childNameCount;

    EXPECT_EQ(left["a"]->removeFromTree(), 1);

    EXPECT_EQ(released.size(), 2u);
    for (const Released& x : released)
        EXPECT_FALSE(x.itemStillPointsAtIt);
    EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), itemsBefore - 2);
    EXPECT_EQ(shape(leftTreeView.tree, rootOf(leftTreeView)), "r(c)");
    EXPECT_EQ(r->childCount, 1u);
    EXPECT_EQ(r->childNameCount, namesBefore);
    EXPECT_EQ(right["a2"]->partner, nullptr);
    EXPECT_EQ(right["b2"]->partner, nullptr);
    EXPECT_EQ(navigator.current, left["c"]);
    EXPECT_EQ(navigator.nextDifference, nullptr);
    EXPECT_EQ(navigator.previousDeletedAdded, nullptr);

    // Without children the element is a leaf to the walks.
    EXPECT_EQ(left["c"]->removeFromTree(), 1);
    EXPECT_EQ(r->childCount, 0u);
    EXPECT_EQ(r->next(), leftTreeView.summaryItem);
}

TEST_F(TreeOperationsTest, DeleteSubtreeLeavesItemsWithoutRecords) {
    load("<r><a><b/></a><c/></r>", "<r/>");
    HTREEITEM a = left["a"]->treeItem;
    HTREEITEM b = left["b"]->treeItem;
    XMLTreeItem::deleteSubtree(nullptr);
    EXPECT_TRUE(released.empty());
    XMLTreeItem::deleteSubtree(left["a"]);
    EXPECT_EQ(released.size(), 2u);
    EXPECT_EQ(ElementStore::record(leftTreeView.tree, a), nullptr);
    EXPECT_EQ(ElementStore::record(leftTreeView.tree, b), nullptr);
    EXPECT_EQ(ElementStore::child(leftTreeView.tree, a), b);
    EXPECT_EQ(ElementStore::record(leftTreeView.tree, left["c"]->treeItem), left["c"]);
}

struct RenameCase {
    std::vector<int32_t> ids;
    std::vector<int32_t> counts;
    int32_t oldId;
    int32_t newId;
    int result;
    std::vector<int32_t> idsAfter;
    std::vector<int32_t> countsAfter;
};

TEST_F(TreeOperationsTest, RenameChildNameMovesOneChildBetweenNames) {
    load("<r/>", "<r/>");
    const int32_t a = 11, b = 22, c = 33;
    const RenameCase cases[] = {
        {{a}, {1}, a, a, 1, {a}, {1}},
        {{}, {}, a, b, 0, {}, {}},
        {{c}, {2}, a, b, 0, {c}, {2}},
        {{a}, {1}, a, b, 1, {b}, {1}},
        {{a}, {2}, a, b, 1, {a, b}, {1, 1}},
        {{a, b}, {1, 1}, a, b, 1, {b}, {2}},
        {{a, b}, {2, 1}, a, b, 1, {a, b}, {1, 2}},
        {{a, c, b}, {1, 2, 1}, a, b, 1, {c, b}, {2, 2}},
    };
    XMLTreeItem* r = left["r"];
    for (const RenameCase& k : cases) {
        SCOPED_TRACE(testing::Message() << "case with " << k.ids.size() << " names, " << k.oldId << " to " << k.newId);
        const uint32_t n = static_cast<uint32_t>(k.ids.size());
        r->childNameCount = n;
        r->childNameIds = r->childNameCounts = nullptr;
        if (n != 0) {
            r->childNameIds = static_cast<int32_t*>(leftTreeView.stringPool.allocAligned(n * 4));
            r->childNameCounts = static_cast<int32_t*>(leftTreeView.stringPool.allocAligned(n * 4));
            std::memcpy(r->childNameIds, k.ids.data(), n * 4);
            std::memcpy(r->childNameCounts, k.counts.data(), n * 4);
        }
        EXPECT_EQ(r->renameChildName(k.oldId, k.newId), k.result);
        std::vector<int32_t> ids(r->childNameIds, r->childNameIds + r->childNameCount);
        std::vector<int32_t> counts(r->childNameCounts, r->childNameCounts + r->childNameCount);
        EXPECT_EQ(ids, k.idsAfter);
        EXPECT_EQ(counts, k.countsAfter);
    }
    r->childNameCount = 0;
    r->childNameIds = r->childNameCounts = nullptr;
}

TEST_F(TreeOperationsTest, MergeFromPartnerCopiesDifferingContentBelowChangedPairs) {
    struct MergeCase {
        uint8_t rootFlags;
        const char* textOfA;  // after the merge
    };
    const MergeCase cases[] = {{4, "theirs"}, {0, "mine"}};
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.rootFlags));
        load("<r><a>mine</a><b>same</b></r>", "<r><a2>theirs</a2><b2>same</b2></r>");
        right["a2"]->name = left["a"]->name;  // the same name, other content
        right["b2"]->name = left["b"]->name;
        pair(left["r"], right["r"]);
        pair(left["a"], right["a2"]);
        pair(left["b"], right["b2"]);
        left["r"]->differenceFlags = right["r"]->differenceFlags = c.rootFlags;
        const wchar_t* sameText = left["b"]->text;

        left["r"]->mergeFromPartner();

        EXPECT_EQ(narrow(textOf(left["a"])), c.textOfA);
        EXPECT_EQ(left["b"]->text, sameText);
        if (c.rootFlags != 0) {
            EXPECT_NE(left["a"]->text, right["a2"]->text);
            EXPECT_EQ(left["a"]->textHash[0], right["a2"]->textHash[0]);
        }
    }
}

TEST_F(TreeOperationsTest, ClearIgnoreMarksClearsTheWholeSubtreeOnly) {
    load("<r><a><b><c/></b></a><d/></r>", "<r/>");
    for (const char* name : {"a", "b", "c", "d"}) {
        left[name]->ignoreState = 3;
        left[name]->flags = 0x45;
    }
    left["a"]->clearIgnoreMarks();
    // The low nibble is the commands' mark; bits 4 to 7 come from the load and stay.
    for (const char* name : {"a", "b", "c"}) {
        EXPECT_EQ(left[name]->ignoreState, 0) << name;
        EXPECT_EQ(left[name]->flags, 0x40) << name;
    }
    EXPECT_EQ(left["d"]->ignoreState, 3);
    EXPECT_EQ(left["d"]->flags, 0x45);
}

// A condition is evaluated only while the document loads: clearing a mark must leave
// its outcome, or the rule would apply by its "if not exist" answer afterwards.
TEST_F(TreeOperationsTest, ClearIgnoreMarksKeepsTheConditionOutcomeOfTheLoad) {
    ignoreList.clear();
    ASSERT_TRUE(ignoreList.parseRule(L"b"));
    ASSERT_TRUE(ignoreList.parseCondition(L"$TEXT$ 0 3 0 x"));
    load("<r><b>x</b><b>y</b><c a='1'/></r>", "<r/>");
    std::vector<XMLTreeItem*> bs;
    for (XMLTreeItem* e : recordsInOrder(leftTreeView))
        if (nameOf(e) == "b") bs.push_back(e);
    ASSERT_EQ(bs.size(), 2u);
    const uint8_t loadedFlags[2] = {bs[0]->flags, bs[1]->flags};
    EXPECT_EQ(loadedFlags[0] & 0xC0, 0xC0);  // evaluated, holds
    EXPECT_EQ(loadedFlags[1] & 0xC0, 0x80);  // evaluated, does not hold
    for (XMLTreeItem* b : bs) {
        b->ignoreState = 3;
        b->flags |= 0x09;  // "only selected", content
    }

    left["r"]->clearIgnoreMarks();

    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(bs[i]->flags, loadedFlags[i] & 0xF0) << i;
        EXPECT_EQ(bs[i]->ignoreState, 0) << i;
    }
    left["r"]->prepareSubtree(0);
    EXPECT_EQ(bs[0]->ignoreState, 2);  // the rule holds for "x"
    EXPECT_EQ(bs[1]->ignoreState, 0);
    EXPECT_EQ(left["c"]->ignoreState, 0);
    ignoreList.clear();
}

TEST_F(TreeOperationsTest, ExpandSubtreeAndItemHeightsReachEveryDescendant) {
    const int32_t savedFullMode = OptionSet::DisplayFullMode;
    const std::string longText(150, 't');
    load(("<r><a><b>" + longText + "</b><c><d>" + longText + "</d></c></a><e/></r>").c_str(), "<r/>");
    HWND tree = leftTreeView.tree;
    left["a"]->expandSubtree(TVE_EXPAND);
    for (const char* name : {"a", "c"})
        EXPECT_TRUE(ElementStore::isExpanded(tree, left[name]->treeItem)) << name;
    left["r"]->expandSubtree(TVE_COLLAPSE);
    for (const char* name : {"r", "a", "c"})
        EXPECT_FALSE(ElementStore::isExpanded(tree, left[name]->treeItem)) << name;

    OptionSet::DisplayFullMode = 1;
    left["a"]->updateItemHeights();
    EXPECT_EQ(ElementStore::height(tree, left["b"]->treeItem), 4);
    EXPECT_EQ(ElementStore::height(tree, left["d"]->treeItem), 4);
    OptionSet::DisplayFullMode = 0;
    left["r"]->updateItemHeights();
    for (const char* name : {"b", "d"})
        EXPECT_EQ(ElementStore::height(tree, left[name]->treeItem), 1) << name;
    left["e"]->setItemHeight(3);
    EXPECT_EQ(ElementStore::height(tree, left["e"]->treeItem), 3);
    OptionSet::DisplayFullMode = savedFullMode;
}

TEST_F(TreeOperationsTest, DeepNestingIsCopiedAndRemovedWithoutRecursion) {
    const int depth = 10000;
    std::string xml = "<r>";
    for (int i = 0; i < depth; ++i)
        xml += "<d>";
    for (int i = 0; i < depth; ++i)
        xml += "</d>";
    xml += "</r>";
    load(xml.c_str(), "<r><y/></r>");
    std::vector<XMLTreeItem*> source = recordsInOrder(leftTreeView);
    XMLTreeItem* top = source[1];

    ASSERT_EQ(right["y"]->insertCopyAfter(*top), 1);
    EXPECT_EQ(ElementStore::itemCount(rightTreeView.tree), static_cast<size_t>(depth) + 3);
    XMLTreeItem* deepestSource = source[depth];
    XMLTreeItem* deepestCopy = deepestSource->partner;
    ASSERT_NE(deepestCopy, nullptr);
    EXPECT_EQ(deepestCopy->treeView, rightTreeView.tree);
    EXPECT_EQ(deepestCopy->pathHash, deepestSource->pathHash);
    EXPECT_EQ(deepestCopy->childCount, 0u);
    EXPECT_EQ(top->partner->childCount, 1u);
    EXPECT_NE(deepestCopy->pathText(1, nullptr, 0)[0], 0);

    top->partner->expandSubtree(TVE_EXPAND);
    EXPECT_TRUE(ElementStore::isExpanded(rightTreeView.tree, deepestCopy->parent()->treeItem));
    top->partner->updateItemHeights();
    left["r"]->clearIgnoreMarks();

    EXPECT_EQ(top->partner->removeFromTree(), 1);
    EXPECT_EQ(released.size(), static_cast<size_t>(depth));
    EXPECT_EQ(deepestSource->partner, nullptr);
    EXPECT_EQ(ElementStore::itemCount(rightTreeView.tree), 3u);
    EXPECT_EQ(right["r"]->childCount, 1u);
}

}  // namespace
