// Per-document bump allocator for the texts and arrays of element records.
// Nothing is freed one by one; reset() empties the whole arena.
#pragma once

#include <cstddef>
#include <cstdint>

class TextArena {
public:
    static constexpr uint32_t kBlockSize = 65536;

    TextArena();
    ~TextArena();
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;

    void* alloc(uint32_t bytes);
    wchar_t* allocText(uint32_t units) { return static_cast<wchar_t*>(alloc(units * sizeof(wchar_t))); }
    // Room for arrays of 32-bit values: the tail's used count is rounded up to 4 first.
    void* allocAligned(uint32_t bytes);
    // n units holding first followed by second, NUL-terminated within n units.
    wchar_t* concat(const wchar_t* first, const wchar_t* second, int n);
    void reset();

    // For tests and measurements.
    uint32_t tailUsed() const { return tail_->used; }
    void setTailUsedForTest(uint32_t used) { tail_->used = used; }
    size_t blockCount() const;
    size_t chunkCount() const;

private:
    struct Block {
        Block* next;
        uint32_t used;
        alignas(8) unsigned char data[kBlockSize];
    };
    struct Chunk {
        Chunk* next;
        alignas(8) unsigned char data[1];
    };

    Block first_;
    Block* tail_;
    Chunk* chunks_;
};
