// Which element starts on each line of a panel's editor: the map from an editor line
// to the tree, and from the visible lines to the element a colouring pass starts at.
#pragma once

#include <cstdint>
#include <vector>

struct XMLTreeItem;
struct XMLTreeView;

struct LineIndex {
    // Lines of the document (the parser's last line number); entries has one more.
    uint32_t lineCount = 0;
    // Entry k: the last element that starts on line k, or else the last one starting
    // before it; none before the first element. Not owned: the panel's records.
    std::vector<XMLTreeItem*> entries;
    // Records were freed since the index was built: it is rebuilt before its next use.
    bool stale = true;

    // Fills the index from the panel's root element in document order. Elements on
    // lines outside 0..lineCount (a copy from the other document, say) are left out.
    void build(const XMLTreeView& panel, uint32_t lines);
    void clear();
    // The entry of a line; none outside the index.
    XMLTreeItem* entry(int line) const;
};
