// Pairs the children of two paired elements, name group by name group, and counts
// the pair itself once its children are done.
#pragma once

#include <cstdint>
#include <memory>

struct XMLTreeItem;

// The children of one element grouped by name, in the order of its childNameIds,
// each group in tree order. An entry is set to null once the child is paired.
class ChildGroups {
public:
    explicit ChildGroups(XMLTreeItem* element);
    ChildGroups(const ChildGroups&) = delete;
    ChildGroups& operator=(const ChildGroups&) = delete;

    // Matches the children of both items and pairs the items; false (nothing done)
    // when either item is ignored.
    static int matchChildren(ChildGroups& a, ChildGroups& b, int positional);
    // Identical child pairs between the two items, counted group by group; stops
    // once the candidate can no longer pass best.
    static uint32_t similarity(ChildGroups& a, ChildGroups& b, uint32_t best);

    XMLTreeItem* item;
    std::unique_ptr<XMLTreeItem*[]> children;
    std::unique_ptr<XMLTreeItem**[]> groupStart;
};

void matchSameNameChildren(XMLTreeItem** listA, XMLTreeItem** listB, uint32_t nA, uint32_t nB, int positional);
int fuzzyMatchAllowed(uint32_t nA, uint32_t nB, uint32_t matched);
// How matchBestPairs finds the candidates of each remaining element: through an index
// of the other side's child content (the program's way), or by scoring every remaining
// pair, kept so that a test can show that both give the same pairs.
enum class FuzzyScan { Indexed, Plain };
extern FuzzyScan fuzzyScan;
// How the identical-content pass finds the partner of each element in a list past ten
// entries: through a bucket index (the program's way), or by the scan that serves short
// lists, kept so that a test can show that both give the same pairs.
enum class IdenticalSearch { Indexed, Scan };
extern IdenticalSearch identicalSearch;
void matchBestPairs(XMLTreeItem** listA, XMLTreeItem** listB, uint32_t nA, uint32_t nB, uint32_t matched);
// Identical pairs between the lists; the longer list is reordered so that each of its
// identical entries stands at the position of its counterpart.
uint32_t countIdenticalChildren(XMLTreeItem** listA, XMLTreeItem** listB, uint32_t nA, uint32_t nB);
