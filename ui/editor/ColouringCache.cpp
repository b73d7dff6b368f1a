#include "ui/editor/ColouringCache.h"

#include <algorithm>

void ColouringCache::resize(int lines) {
    blocks.assign(static_cast<size_t>(std::max(lines, 0) / kLinesPerBlock) + 1, Block{kUnknown, kUnknown});
}

void ColouringCache::grow(int lines) {
    const size_t wanted = static_cast<size_t>(std::max(lines, 0) / kLinesPerBlock) + 1;
    if (wanted > blocks.size()) blocks.resize(wanted, Block{kUnknown, kUnknown});
}

void ColouringCache::reset() {
    std::fill(blocks.begin(), blocks.end(), Block{kUnknown, kUnknown});
}

bool ColouringCache::mergeStart(Block& block, int32_t ws, int32_t* os, int32_t* oe) {
    if (ws <= block.last) {
        *os = block.last;
        block = Block{kWhole, kWhole};
    } else if (ws < block.first) {
        *oe = block.first;
        block.first = ws;
        *os = ws;
    } else if (block.first == kUnknown) {
        block.first = ws;
        *os = ws;
    }
    return *os == -1 || *oe == -1;
}

bool ColouringCache::mergeEnd(Block& block, int32_t we, int32_t* os, int32_t* oe) {
    if (block.first >= 0 && we >= block.first) {
        *oe = block.first;
        block = Block{kWhole, kWhole};
    } else if (block.last == kUnknown || (block.last >= 0 && we > block.last)) {
        if (block.last != kUnknown) *os = block.last;
        block.last = we;
        *oe = we;
    }
    return *os == -1 || *oe == -1;
}

bool ColouringCache::clip(int startLine, int lastLine, int32_t ws, int32_t we, int32_t* os, int32_t* oe) {
    *os = -1;
    *oe = -1;
    grow(std::max(startLine, lastLine));
    const int sb = std::max(startLine, 0) / kLinesPerBlock;
    const int eb = std::max(lastLine, 0) / kLinesPerBlock;
    if (sb >= eb) return true;
    if (mergeStart(blocks[sb], ws, os, oe) && mergeEnd(blocks[eb], we, os, oe)) {
        int from = sb;
        if (*os == -1) {
            int k = sb;
            while (k <= eb && blocks[k].last < 0)
                ++k;
            if (k > eb || blocks[k].last >= we) return false;
            *os = blocks[k].last;
            from = k;
        }
        if (*oe == -1) {
            int k = eb;
            while (k >= from && blocks[k].first < 0)
                --k;
            if (k < from || ws >= blocks[k].first) return false;
            *oe = blocks[k].first;
        }
    }
    for (int k = sb + 1; k < eb; ++k)
        blocks[k] = Block{kWhole, kWhole};
    return true;
}
