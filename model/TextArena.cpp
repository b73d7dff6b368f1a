#include "model/TextArena.h"

#include <algorithm>
#include <new>

#include "model/TextServices.h"

namespace {

// The tail serves a request while its used count stays at most this; the last byte of a block is never handed out.
constexpr uint64_t kTailLimit = 65535;
// Requests above half a block get a chunk of their own rather than retiring a tail that still has room.
constexpr uint32_t kLargeRequest = 32767;
// A tail that has used less than this still has room worth keeping for later small requests.
constexpr uint32_t kTailNearlyFull = 63489;

}  // namespace

TextArena::TextArena() : tail_(&first_), chunks_(nullptr) {
    first_.next = nullptr;
    first_.used = 0;
}

TextArena::~TextArena() {
    reset();
}

void* TextArena::alloc(uint32_t bytes) {
    if (uint64_t{tail_->used} + bytes <= kTailLimit) {
        void* room = tail_->data + tail_->used;
        tail_->used += bytes;
        return room;
    }
    if (bytes > kLargeRequest || tail_->used < kTailNearlyFull) {
        const size_t size = std::max(sizeof(Chunk), offsetof(Chunk, data) + size_t{bytes});
        Chunk* chunk = new (::operator new(size)) Chunk;
        chunk->next = chunks_;
        chunks_ = chunk;
        return chunk->data;
    }
    Block* block = new Block;
    block->next = nullptr;
    block->used = bytes;
    tail_->next = block;
    tail_ = block;
    return block->data;
}

void* TextArena::allocAligned(uint32_t bytes) {
    tail_->used = (tail_->used + 3) & ~uint32_t{3};
    return alloc(bytes);
}

wchar_t* TextArena::concat(const wchar_t* first, const wchar_t* second, int n) {
    if (n <= 0) {
        return nullptr;
    }
    wchar_t* text = allocText(static_cast<uint32_t>(n));
    // appendStrings writes its terminator at the capacity at most, so a capacity of n - 1 keeps it inside the n
    // units; it writes nothing at all for a capacity of 0, hence the terminator first.
    text[0] = 0;
    appendStrings(text, n - 1, 1, 2, first, second);
    return text;
}

void TextArena::reset() {
    while (chunks_) {
        Chunk* following = chunks_->next;
        chunks_->~Chunk();
        ::operator delete(chunks_);
        chunks_ = following;
    }
    Block* block = first_.next;
    while (block) {
        Block* following = block->next;
        delete block;
        block = following;
    }
    first_.next = nullptr;
    first_.used = 0;
    tail_ = &first_;
}

size_t TextArena::blockCount() const {
    size_t count = 0;
    for (const Block* block = &first_; block; block = block->next) {
        ++count;
    }
    return count;
}

size_t TextArena::chunkCount() const {
    size_t count = 0;
    for (const Chunk* chunk = chunks_; chunk; chunk = chunk->next) {
        ++count;
    }
    return count;
}
