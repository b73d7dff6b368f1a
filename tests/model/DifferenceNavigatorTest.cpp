#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "model/DifferenceNavigator.h"
#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// Marks of the pairing, per element name:
//   C  changed: paired, own content differs (bit 2 on both sides and their ancestors)
//   D  deleted/added: no partner (bit 1 on the ancestors of both sides)
//   U  no partner, with nothing set on the ancestors (as below a childless partner)
//   I  ignored (ignore state 2)
// Every other element is paired with its counterpart and equal.
//
// r
// +- a (C)       a1 (C), a2 (D)
// +- b
// +- g           g1 (U): g is paired with bit 1 clear
// +- c (C)       c1 (D), c2
// +- d (C)
// +- e (I)       e1 (U)
// +- f (D)
const char kDocument[] = "<r><a><a1/><a2/></a><b/><g><g1/></g><c><c1/><c2/></c><d/><e><e1/></e><f/></r>";
const std::map<std::string, char> kMarks = {{"a1", 'C'}, {"a2", 'D'}, {"g1", 'U'}, {"c1", 'D'},
                                            {"d", 'C'},  {"e", 'I'},  {"e1", 'U'}, {"f", 'D'}};

class DifferenceNavigatorTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    std::map<std::string, XMLTreeItem*> byName;

    // Loads the document into both trees and sets partners and bits as a comparison would.
    void compare(const char* xml, const std::map<std::string, char>& marks) {
        ASSERT_EQ(loadXml(leftTreeView, xml, dir, L"left.xml"), kLoaded);
        ASSERT_EQ(loadXml(rightTreeView, xml, dir, L"right.xml"), kLoaded);
        std::vector<XMLTreeItem*> left = recordsInOrder(leftTreeView);
        std::vector<XMLTreeItem*> right = recordsInOrder(rightTreeView);
        ASSERT_EQ(left.size(), right.size());
        for (size_t i = 0; i < left.size(); ++i) {
            if (left[i]->isSummary()) continue;
            left[i]->partner = right[i];
            right[i]->partner = left[i];
            byName[narrow(left[i]->nameText())] = left[i];
        }
        for (const auto& [name, mark] : marks) {
            XMLTreeItem* l = byName.at(name);
            XMLTreeItem* r = l->partner;
            if (mark == 'I') {
                l->ignoreState = r->ignoreState = 2;
                continue;
            }
            uint8_t bit = mark == 'C' ? 4 : 2;
            if (mark == 'C') {
                l->differenceFlags |= 4;
                r->differenceFlags |= 4;
            } else {
                l->partner = r->partner = nullptr;
            }
            if (mark == 'U') continue;
            for (XMLTreeItem* side : {l, r})
                for (XMLTreeItem* up = side->parent(); up != nullptr && up->ignoreState == 0; up = up->parent())
                    up->differenceFlags |= bit;
        }
    }

    XMLTreeItem* named(const std::string& name) const { return name.empty() ? nullptr : byName.at(name); }
};

std::string nameOf(const XMLTreeItem* e) {
    return e == nullptr ? "" : narrow(e->nameText());
}

struct TargetCase {
    const char* current;
    const char* nextDifference;
    const char* nextDeletedAdded;
    const char* previousDifference;
    const char* previousDeletedAdded;
    const char* sameLevelNextDifference;
    const char* sameLevelNextDeletedAdded;
    const char* sameLevelPreviousDifference;
    const char* sameLevelPreviousDeletedAdded;
};

TEST_F(DifferenceNavigatorTest, TargetsOfAFreshNavigator) {
    compare(kDocument, kMarks);
    // clang-format off
    const TargetCase cases[] = {
        // current  next diff  next d/a  prev diff  prev d/a  level: next diff  next d/a  prev diff  prev d/a
        {"r",   "a", "a2", "",   "",   "",  "",   "",  ""},
        {"a1",  "c", "a2", "a",  "",   "c", "a2", "a", ""},
        {"b",   "c", "c1", "a1", "a2", "c", "f",  "a", ""},
        {"g",   "c", "c1", "a1", "a2", "c", "f",  "a", ""},
        {"c2",  "d", "f",  "c",  "c1", "d", "f",  "c", "c1"},
        {"d",   "",  "f",  "c",  "c1", "",  "f",  "c", ""},
        {"f",   "",  "",   "d",  "c1", "",  "",   "d", ""},
    };
    // clang-format on
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(c.current);
        DifferenceNavigator n;
        EXPECT_EQ(n.update(named(c.current)), 1);
        EXPECT_EQ(n.current, named(c.current));
        EXPECT_EQ(nameOf(n.nextDifference), c.nextDifference);
        EXPECT_EQ(nameOf(n.nextDeletedAdded), c.nextDeletedAdded);
        EXPECT_EQ(nameOf(n.previousDifference), c.previousDifference);
        EXPECT_EQ(nameOf(n.previousDeletedAdded), c.previousDeletedAdded);
        EXPECT_EQ(nameOf(n.sameLevelNextDifference), c.sameLevelNextDifference);
        EXPECT_EQ(nameOf(n.sameLevelNextDeletedAdded), c.sameLevelNextDeletedAdded);
        EXPECT_EQ(nameOf(n.sameLevelPreviousDifference), c.sameLevelPreviousDifference);
        EXPECT_EQ(nameOf(n.sameLevelPreviousDeletedAdded), c.sameLevelPreviousDeletedAdded);
    }
}

// Selecting each target in turn, as the navigation commands do, visits the document's
// differences of one kind in order: never the unpaired children of a paired element whose
// bit 1 is clear (g1), nor anything below an ignored element (e1).
TEST_F(DifferenceNavigatorTest, SteppingFromTargetToTargetVisitsEachDifferenceInOrder) {
    compare(kDocument, kMarks);
    struct StepCase {
        const char* start;
        XMLTreeItem* DifferenceNavigator::*target;
        std::vector<std::string> visited;
    };
    const StepCase cases[] = {
        {"r", &DifferenceNavigator::nextDifference, {"a", "a1", "c", "d"}},
        {"r", &DifferenceNavigator::nextDeletedAdded, {"a2", "c1", "f"}},
        {"f", &DifferenceNavigator::previousDifference, {"d", "c", "a1", "a", "r"}},
        {"f", &DifferenceNavigator::previousDeletedAdded, {"c1", "a2"}},
        {"a1", &DifferenceNavigator::sameLevelNextDeletedAdded, {"a2", "f"}},
        {"d", &DifferenceNavigator::sameLevelPreviousDifference, {"c", "a", "r"}},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.start);
        DifferenceNavigator n;
        n.update(named(c.start));
        std::vector<std::string> visited;
        for (XMLTreeItem* t = n.*c.target; t != nullptr && visited.size() < 20; t = n.*c.target) {
            visited.push_back(nameOf(t));
            EXPECT_EQ(n.update(t), 1);
        }
        EXPECT_EQ(visited, c.visited);
    }
}

TEST_F(DifferenceNavigatorTest, UpdateWithNoElementTheCurrentOneOrAnotherTreeChangesNothing) {
    compare(kDocument, kMarks);
    DifferenceNavigator n;
    EXPECT_EQ(n.update(nullptr), 0);
    EXPECT_EQ(n.current, nullptr);
    ASSERT_EQ(n.update(named("b")), 1);
    const DifferenceNavigator before = n;
    EXPECT_EQ(n.update(nullptr), 0);
    EXPECT_EQ(n.update(named("b")), 0);
    EXPECT_EQ(n.update(named("c")->partner), 0);  // the right tree's c
    EXPECT_EQ(n.current, before.current);
    EXPECT_EQ(n.nextDifference, before.nextDifference);
    EXPECT_EQ(n.previousDeletedAdded, before.previousDeletedAdded);
    EXPECT_EQ(n.firstAfter, before.firstAfter);
}

// When neither direction found a target and the element left behind was none, later
// updates no longer walk for either kind; the same-level walks still run.
TEST_F(DifferenceNavigatorTest, AKindNotFoundIsNotSearchedAgain) {
    compare("<r><a/><b/><c><c1/></c><d/></r>", {});
    DifferenceNavigator n;
    ASSERT_EQ(n.update(named("b")), 1);
    EXPECT_EQ(n.nextDifference, nullptr);
    EXPECT_EQ(n.previousDifference, nullptr);
    EXPECT_EQ(n.nextDeletedAdded, nullptr);
    EXPECT_EQ(n.previousDeletedAdded, nullptr);

    for (const char* name : {"c1", "d"}) {
        for (XMLTreeItem* e = named(name); e != nullptr; e = e->parent())
            e->differenceFlags |= 4;
        for (XMLTreeItem* e = named(name)->partner; e != nullptr; e = e->parent())
            e->differenceFlags |= 4;
    }
    ASSERT_EQ(n.update(named("c")), 1);
    EXPECT_EQ(n.nextDifference, nullptr);
    EXPECT_EQ(n.previousDifference, nullptr);
    EXPECT_EQ(n.sameLevelNextDifference, named("d"));
    EXPECT_EQ(n.sameLevelPreviousDifference, named("r"));

    DifferenceNavigator fresh;
    fresh.update(named("c"));
    EXPECT_EQ(fresh.nextDifference, named("c1"));
    EXPECT_EQ(fresh.previousDifference, named("r"));
}

TEST_F(DifferenceNavigatorTest, FirstStopsOfBothWalksAreNoted) {
    compare(kDocument, kMarks);
    DifferenceNavigator n;
    n.update(named("b"));
    EXPECT_EQ(n.firstAfter, named("c"));
    EXPECT_EQ(n.firstBefore, named("a2"));
}

TEST_F(DifferenceNavigatorTest, ForgetDropsEveryReferenceToARecord) {
    compare(kDocument, kMarks);
    DifferenceNavigator n;
    n.update(named("d"));
    ASSERT_EQ(n.previousDeletedAdded, named("c1"));
    ASSERT_EQ(n.nextDeletedAdded, named("f"));
    n.forget(named("f"));
    EXPECT_EQ(n.nextDeletedAdded, nullptr);
    EXPECT_EQ(n.sameLevelNextDeletedAdded, nullptr);
    EXPECT_EQ(n.firstAfter, nullptr);
    EXPECT_EQ(n.previousDeletedAdded, named("c1"));
    n.forget(named("d"));
    EXPECT_EQ(n.current, nullptr);
}

struct WalkCase {
    const char* xml;
    std::vector<std::string> order;  // document order, the summary item left out
};

TEST_F(DifferenceNavigatorTest, PlainWalksFollowDocumentOrderBothWays) {
    const WalkCase cases[] = {
        {"<r><a><a1/><a2><x/></a2></a><b/></r>", {"r", "a", "a1", "a2", "x", "b"}},
        {"<r><a><b><c/></b></a></r>", {"r", "a", "b", "c"}},
        {"<r><a/><b/><c/></r>", {"r", "a", "b", "c"}},
    };
    for (const WalkCase& c : cases) {
        SCOPED_TRACE(c.xml);
        ASSERT_EQ(loadXml(leftTreeView, c.xml, dir), kLoaded);
        XMLTreeItem* first = recordsInOrder(leftTreeView).front();
        std::vector<std::string> forward;
        XMLTreeItem* last = nullptr;
        for (XMLTreeItem* e = first; e != nullptr; e = e->next()) {
            if (e->isSummary()) {
                EXPECT_EQ(e->next(), nullptr);
                continue;
            }
            forward.push_back(nameOf(e));
            last = e;
        }
        EXPECT_EQ(forward, c.order);
        std::vector<std::string> backward;
        for (XMLTreeItem* e = last; e != nullptr; e = e->previous())
            backward.insert(backward.begin(), nameOf(e));
        EXPECT_EQ(backward, c.order);
    }
}

TEST_F(DifferenceNavigatorTest, DeepNestingIsWalkedWithoutRecursion) {
    const int depth = 10000;
    std::string xml;
    for (int i = 0; i < depth; ++i)
        xml += "<d>";
    for (int i = 0; i < depth; ++i)
        xml += "</d>";
    compare(xml.c_str(), {});
    std::vector<XMLTreeItem*> left = recordsInOrder(leftTreeView);
    XMLTreeItem* root = left.front();
    XMLTreeItem* deepest = left[depth - 1];
    ASSERT_EQ(deepest->childCount, 0u);
    deepest->partner->partner = nullptr;
    deepest->partner = nullptr;
    for (XMLTreeItem* up = deepest->parent(); up != nullptr; up = up->parent())
        up->differenceFlags |= 2;

    DifferenceNavigator n;
    ASSERT_EQ(n.update(root), 1);
    EXPECT_EQ(n.nextDeletedAdded, deepest);
    EXPECT_EQ(n.nextDifference, left[1]);
    ASSERT_EQ(n.update(deepest), 1);
    EXPECT_EQ(n.nextDeletedAdded, nullptr);
    EXPECT_EQ(n.previousDifference, left[depth - 2]);
    EXPECT_EQ(n.sameLevelPreviousDifference, left[depth - 2]);
    EXPECT_EQ(n.previousDeletedAdded, nullptr);

    int count = 0;
    for (XMLTreeItem* e = root; e != nullptr; e = e->next())
        ++count;
    EXPECT_EQ(count, depth + 1);  // with the summary item
    EXPECT_EQ(deepest->previous(), left[depth - 2]);
    EXPECT_EQ(leftTreeView.summaryItem->previous(), deepest);
}

}  // namespace
