// What a panel's editor colouring has already done: per block of 32 editor lines the
// first and last editor position coloured, so that scrolling back over coloured lines
// costs no format call.
#pragma once

#include <cstdint>
#include <vector>

struct ColouringCache {
    static constexpr int kLinesPerBlock = 32;
    static constexpr int32_t kUnknown = -1;
    static constexpr int32_t kWhole = -3;

    struct Block {
        int32_t first;
        int32_t last;
    };
    std::vector<Block> blocks;

    // (lines / 32) + 1 blocks, nothing known.
    void resize(int lines);
    // Keeps what is known and adds blocks for lines typed since the load.
    void grow(int lines);
    // Forgets everything (after a comparison): every block is coloured again.
    void reset();
    // Whether the wanted range [ws, we] from startLine to lastLine needs colouring; out
    // gets the part not yet coloured (-1 when the whole wanted range is to be used).
    bool clip(int startLine, int lastLine, int32_t ws, int32_t we, int32_t* os, int32_t* oe);

private:
    bool mergeStart(Block& block, int32_t ws, int32_t* os, int32_t* oe);
    bool mergeEnd(Block& block, int32_t we, int32_t* os, int32_t* oe);
};
