// The comparison of two element trees: preparation of each tree, pairing of the two
// starting elements and, through the child matcher, of their subtrees. The counters
// grow as pairs are formed and are read by the summary.
#pragma once

#include <cstdint>

struct XMLTreeItem;

struct ComparisonCounters {
    uint32_t identicalCount;
    uint32_t differentCount;       // pairs formed that are not identical
    uint32_t changedContentCount;  // different pairs whose own content differs
    uint32_t ignoredCount;         // elements with a non-zero ignore state, both documents
};

extern ComparisonCounters comparisonCounters;

void resetComparisonCounters();

// Links two elements as partners and counts the pair.
void pairItems(XMLTreeItem* a, XMLTreeItem* b);


// The whole comparison of two starting elements: counters reset, options captured,
// both trees prepared, the two elements compared. The caller clears its "compared"
// flag before and sets it afterwards.
void compareTrees(XMLTreeItem* left, XMLTreeItem* right);
