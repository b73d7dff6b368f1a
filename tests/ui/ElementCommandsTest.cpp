#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/ElementCommands.h"
#include "ui/TreeViews.h"

namespace {

const char kLeft[] = "<root><a>1</a><b><c>x</c><d>y</d></b><e>same</e></root>";
const char kRight[] = "<root><a>1</a><b><c>x2</c><d>y</d></b><e>other</e></root>";

std::vector<XMLTreeItem*> childrenOf(const XMLTreeItem* e) {
    std::vector<XMLTreeItem*> out;
    for (HTREEITEM c = ElementStore::child(e->treeView, e->treeItem); c != nullptr;
         c = ElementStore::next(e->treeView, c))
        out.push_back(ElementStore::record(e->treeView, c));
    return out;
}

std::wstring namesOf(const std::vector<XMLTreeItem*>& elements) {
    std::wstring names;
    for (const XMLTreeItem* e : elements)
        names += e->nameText();
    return names;
}

// name=count of each entry of the child-name list, and whether the counts add up to childCount.
std::wstring childNameList(const XMLTreeItem* e) {
    std::wstring list;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < e->childNameCount; ++i) {
        for (const XMLTreeItem* k : childrenOf(e)) {
            if (k->nameId() == e->childNameIds[i]) {
                list += std::wstring(k->nameText()) + L"=" + std::to_wstring(e->childNameCounts[i]) + L" ";
                break;
            }
        }
        sum += static_cast<uint32_t>(e->childNameCounts[i]);
    }
    if (sum != e->childCount) list += L"(counts do not add up)";
    return list;
}

// Every element of both trees: its partner, when it has one, points back at it.
void expectPartnersPointBack() {
    for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        for (const XMLTreeItem* e : recordsInOrder(*panel)) {
            if (e->isSummary() || e->partner == nullptr) continue;
            EXPECT_EQ(e->partner->partner, e) << narrow(e->nameText());
        }
    }
}

// The comparison is run by command only: AutoCompare is off, so that what a command
// leaves behind is what painting and the writers read.
class ElementCommandsTest : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::AutoCompare = 0;
        OptionSet::AutoSelect = 0;
    }
    void loadBoth(int show = SW_HIDE) {
        start(show);
        load(leftTreeView, kLeft, L"left.xml");
        load(rightTreeView, kRight, L"right.xml");
    }
    static void compare() { SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0); }
    // The other tree's selection first: selecting in one tree makes it the current element.
    static void select(const wchar_t* left, const wchar_t* right) {
        ElementStore::select(leftTreeView.tree, nullptr);
        ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, right)->treeItem);
        ElementStore::select(leftTreeView.tree, elementNamed(leftTreeView, left)->treeItem);
        ASSERT_EQ(currentElement, elementNamed(leftTreeView, left));
    }
    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }
};

TEST_F(ElementCommandsTest, InsertCopiesTheWholeSubtreeAfterTheElement) {
    loadBoth();
    select(L"a", L"b");
    command(IDM_INSERT_ELEMENT);
    XMLTreeItem* root = elementNamed(leftTreeView, L"root");
    const std::vector<XMLTreeItem*> children = childrenOf(root);
    EXPECT_EQ(namesOf(children), L"abbe");
    EXPECT_EQ(root->childCount, 4u);
    EXPECT_EQ(childNameList(root), L"a=1 b=2 e=1 ");
    XMLTreeItem* copy = children[1];
    EXPECT_EQ(copy->childCount, 2u);
    EXPECT_EQ(namesOf(childrenOf(copy)), L"cd");
    EXPECT_EQ(textOf(childrenOf(copy)[0]), L"x2");
    for (const XMLTreeItem* k : childrenOf(copy))
        EXPECT_EQ(k->childCount, 0u);
    EXPECT_EQ(copy->pathHash, elementNamed(leftTreeView, L"b")->pathHash);
    expectPartnersPointBack();

    select(L"root", L"b");
    command(IDM_INSERT_ELEMENT);
    EXPECT_EQ(namesOf(childrenOf(root)), L"abbe") << "nothing beside the root";
    EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::next(leftTreeView.tree, root->treeItem)),
              leftTreeView.summaryItem);
}

TEST_F(ElementCommandsTest, ReplaceAcrossNamesAsksAndKeepsTheChildNameCounts) {
    loadBoth();
    select(L"a", L"e");
    {
        BoxScript boxes;
        boxes.expect(L"The names of elements are not equal\nReplace anywhere?!", L"Warning!", IDNO);
        command(IDM_REPLACE_ELEMENT);
    }
    XMLTreeItem* root = elementNamed(leftTreeView, L"root");
    EXPECT_EQ(namesOf(childrenOf(root)), L"abe");
    EXPECT_EQ(childNameList(root), L"a=1 b=1 e=1 ");
    {
        BoxScript boxes;
        boxes.expect(L"The names of elements are not equal\nReplace anywhere?!", L"Warning!", IDYES);
        command(IDM_REPLACE_ELEMENT);
    }
    const std::vector<XMLTreeItem*> children = childrenOf(root);
    EXPECT_EQ(namesOf(children), L"ebe");
    EXPECT_EQ(textOf(children[0]), L"other");
    EXPECT_EQ(childNameList(root), L"b=1 e=2 ");
    EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::selected(leftTreeView.tree)), children[0]);
    EXPECT_EQ(children[0]->partner, elementNamed(rightTreeView, L"e"));
    expectPartnersPointBack();
}

TEST_F(ElementCommandsTest, ReplaceAtTheSamePlaceCopiesTheSubtreeWithoutAsking) {
    loadBoth();
    compare();
    select(L"b", L"b");
    BoxScript boxes;  // no question
    EXPECT_TRUE(canReplaceElement(currentElement, elementNamed(rightTreeView, L"b")));
    replaceSelected(currentElement, elementNamed(rightTreeView, L"b"));
    XMLTreeItem* b = elementNamed(leftTreeView, L"b");
    EXPECT_EQ(currentElement, b);
    EXPECT_EQ(currentPartner, elementNamed(rightTreeView, L"b"));
    EXPECT_EQ(b->childCount, 2u);
    EXPECT_EQ(textOf(childrenOf(b)[0]), L"x2");
    EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::selected(leftTreeView.tree)), b);
    expectPartnersPointBack();
}

TEST_F(ElementCommandsTest, SynchronizeCopiesDifferingContentDownThePathOfDifferences) {
    loadBoth();
    // Partners already, or paired by the command itself when nothing was compared yet.
    for (bool comparedFirst : {true, false}) {
        SCOPED_TRACE(comparedFirst ? "compared first" : "not compared");
        load(leftTreeView, kLeft, L"left.xml");
        if (comparedFirst) compare();
        select(L"root", L"root");
        command(IDM_SYNCHRONIZE);
        EXPECT_EQ(textOf(elementNamed(leftTreeView, L"c")), L"x2");
        EXPECT_EQ(textOf(elementNamed(leftTreeView, L"d")), L"y");
        EXPECT_EQ(textOf(elementNamed(leftTreeView, L"e")), L"other");
        expectPartnersPointBack();
        compare();
        XMLTreeItem* root = elementNamed(leftTreeView, L"root");
        EXPECT_TRUE(root->equals(root->partner)) << "the left tree now matches the right";
    }
}

TEST_F(ElementCommandsTest, SynchronizeWithAnIgnoredElementMergesNothing) {
    loadBoth();
    compare();
    XMLTreeItem* a = elementNamed(leftTreeView, L"a");
    XMLTreeItem* oldPartner = a->partner;
    elementNamed(rightTreeView, L"e")->ignoreState = 2;  // as an ignore rule leaves it
    select(L"a", L"e");
    command(IDM_SYNCHRONIZE);
    EXPECT_EQ(textOf(a), L"1");
    EXPECT_EQ(a->partner, oldPartner);
    expectPartnersPointBack();
}

// After a command that pairs two elements that were not partners, the old partners are
// let go, so that a reload of one side leaves nothing on the other pointing at its freed
// records, and painting the other tree reads none.
TEST_F(ElementCommandsTest, NewPairsLeaveNoOneSidedLinksBehind) {
    struct Case {
        const char* name;
        int command;
    } cases[] = {{"Synchronize", IDM_SYNCHRONIZE}, {"Compare Elements", IDM_COMPARE_ELEMENTS}};
    loadBoth(SW_SHOWNORMAL);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(leftTreeView, kLeft, L"left.xml");
        compare();
        select(L"b", L"e");
        command(c.command);
        EXPECT_EQ(elementNamed(leftTreeView, L"b")->partner, elementNamed(rightTreeView, L"e"));
        EXPECT_EQ(elementNamed(rightTreeView, L"b")->partner, nullptr);
        EXPECT_EQ(elementNamed(leftTreeView, L"e")->partner, nullptr);
        expectPartnersPointBack();

        load(leftTreeView, kLeft, L"left.xml");
        for (const XMLTreeItem* e : recordsInOrder(rightTreeView))
            if (!e->isSummary()) {
                EXPECT_EQ(e->partner, nullptr) << narrow(e->nameText());
            }
        InvalidateRect(rightTreeView.tree, nullptr, TRUE);
        UpdateWindow(rightTreeView.tree);
    }
}

}  // namespace
