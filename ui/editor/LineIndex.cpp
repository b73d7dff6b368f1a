#include "ui/editor/LineIndex.h"

#include "model/XMLTreeItem.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/EditorSync.h"

void LineIndex::build(const XMLTreeView& panel, uint32_t lines) {
    lineCount = lines;
    entries.assign(static_cast<size_t>(lines) + 1, nullptr);
    stale = false;
    int filled = -1;
    XMLTreeItem* previous = nullptr;
    for (XMLTreeItem* element = rootElement(panel); element != nullptr && !element->isSummary();
         element = element->next()) {
        const int line = elementLine(panel, element);
        // Document order gives rising lines; an element out of step came from elsewhere.
        if (line < 0 || static_cast<uint32_t>(line) > lines || line < filled) continue;
        for (int k = filled + 1; k < line; ++k)
            entries[k] = previous;
        entries[line] = element;
        filled = line;
        previous = element;
    }
    for (size_t k = static_cast<size_t>(filled + 1); k < entries.size(); ++k)
        entries[k] = previous;
}

void LineIndex::clear() {
    lineCount = 0;
    entries.clear();
    stale = true;
}

XMLTreeItem* LineIndex::entry(int line) const {
    if (line < 0 || static_cast<size_t>(line) >= entries.size()) return nullptr;
    return entries[static_cast<size_t>(line)];
}
