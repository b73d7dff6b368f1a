#include "model/TextArena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class Served { kTail, kChunk, kNewBlock };

class TextArenaTest : public ::testing::Test {
protected:
    // Holds a 64 KB block inside itself, as a panel does.
    std::unique_ptr<TextArena> arena_ = std::make_unique<TextArena>();
};

TEST_F(TextArenaTest, AllocChoosesTailChunkOrNewBlock) {
    struct Case {
        uint32_t used;
        uint32_t bytes;
        Served served;
    };
    const Case cases[] = {
        {25535, 40000, Served::kTail},   {25536, 40000, Served::kChunk},   {0, 65535, Served::kTail},
        {0, 65536, Served::kChunk},      {65535, 0, Served::kTail},        {65000, 535, Served::kTail},
        {65000, 536, Served::kNewBlock}, {63000, 3000, Served::kChunk},    {64000, 3000, Served::kNewBlock},
        {63488, 3000, Served::kChunk},   {63489, 3000, Served::kNewBlock}, {64000, 32767, Served::kNewBlock},
        {64000, 32768, Served::kChunk},  {64000, 1000000, Served::kChunk},
    };
    for (const Case& c : cases) {
        arena_->reset();
        arena_->setTailUsedForTest(c.used);
        unsigned char* room = static_cast<unsigned char*>(arena_->alloc(c.bytes));
        ASSERT_NE(nullptr, room);
        std::memset(room, 0x5A, c.bytes);
        switch (c.served) {
            case Served::kTail:
                EXPECT_EQ(c.used + c.bytes, arena_->tailUsed()) << c.used << " + " << c.bytes;
                EXPECT_EQ(1u, arena_->blockCount()) << c.used << " + " << c.bytes;
                EXPECT_EQ(0u, arena_->chunkCount()) << c.used << " + " << c.bytes;
                break;
            case Served::kChunk:
                EXPECT_EQ(c.used, arena_->tailUsed()) << c.used << " + " << c.bytes;
                EXPECT_EQ(1u, arena_->blockCount()) << c.used << " + " << c.bytes;
                EXPECT_EQ(1u, arena_->chunkCount()) << c.used << " + " << c.bytes;
                break;
            case Served::kNewBlock:
                EXPECT_EQ(c.bytes, arena_->tailUsed()) << c.used << " + " << c.bytes;
                EXPECT_EQ(2u, arena_->blockCount()) << c.used << " + " << c.bytes;
                EXPECT_EQ(0u, arena_->chunkCount()) << c.used << " + " << c.bytes;
                break;
        }
    }
}

TEST_F(TextArenaTest, TailRoomFollowsTheUsedBytes) {
    unsigned char* a = static_cast<unsigned char*>(arena_->alloc(10));
    unsigned char* b = static_cast<unsigned char*>(arena_->alloc(6));
    EXPECT_EQ(a + 10, b);
    // A chunk leaves the tail where it was.
    arena_->setTailUsedForTest(30000);
    unsigned char* beforeChunk = static_cast<unsigned char*>(arena_->alloc(0));
    arena_->alloc(40000);
    EXPECT_EQ(beforeChunk, arena_->alloc(30000));
    EXPECT_EQ(1u, arena_->chunkCount());
    EXPECT_EQ(beforeChunk + 30000, arena_->alloc(0));
}

TEST_F(TextArenaTest, RoomsNeverOverlap) {
    const uint32_t sizes[] = {100, 40000, 30000, 7, 32768, 1, 65535, 2000, 3, 50000, 63000, 2500, 2500, 2500};
    std::vector<std::pair<unsigned char*, uint32_t>> rooms;
    for (int round = 0; round < 3; ++round) {
        for (uint32_t size : sizes) {
            unsigned char* room = static_cast<unsigned char*>(arena_->alloc(size));
            std::memset(room, static_cast<int>(rooms.size() & 0xFF), size);
            rooms.emplace_back(room, size);
        }
    }
    EXPECT_GT(arena_->blockCount(), 1u);
    EXPECT_GT(arena_->chunkCount(), 0u);
    for (size_t i = 0; i < rooms.size(); ++i) {
        const unsigned char fill = static_cast<unsigned char>(i & 0xFF);
        EXPECT_TRUE(std::all_of(rooms[i].first, rooms[i].first + rooms[i].second,
                                [fill](unsigned char byte) { return byte == fill; }))
            << "room " << i << " of " << rooms[i].second << " bytes";
    }
}

TEST_F(TextArenaTest, AllocAlignedRoundsTheTailFirst) {
    struct Case {
        uint32_t used;
        uint32_t roundedUsed;
    };
    const Case cases[] = {{0, 0}, {1, 4}, {3, 4}, {4, 4}, {5, 8}, {65533, 65536}};
    for (const Case& c : cases) {
        arena_->reset();
        arena_->setTailUsedForTest(c.used);
        void* room = arena_->allocAligned(8);
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(room) % 4) << c.used;
        if (c.roundedUsed + 8 <= 65535) {
            EXPECT_EQ(c.roundedUsed + 8, arena_->tailUsed()) << c.used;
        } else {
            EXPECT_EQ(2u, arena_->blockCount()) << c.used;
        }
    }
}

TEST_F(TextArenaTest, ResetKeepsOnlyTheFirstBlock) {
    arena_->alloc(60000);
    arena_->alloc(40000);
    arena_->setTailUsedForTest(64000);
    arena_->alloc(3000);
    ASSERT_EQ(2u, arena_->blockCount());
    ASSERT_EQ(1u, arena_->chunkCount());

    arena_->reset();
    EXPECT_EQ(1u, arena_->blockCount());
    EXPECT_EQ(0u, arena_->chunkCount());
    EXPECT_EQ(0u, arena_->tailUsed());
    arena_->alloc(100);
    EXPECT_EQ(100u, arena_->tailUsed());
}

TEST_F(TextArenaTest, ConcatStaysWithinItsUnits) {
    struct Case {
        const wchar_t* first;
        const wchar_t* second;
        int n;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"ab", L"cd", 5, L"abcd"}, {L"ab", L"cd", 4, L"abc"},  {L"ab", L"cd", 3, L"ab"}, {L"abc", L"def", 2, L"a"},
        {nullptr, L"cd", 3, L"cd"}, {L"ab", nullptr, 3, L"ab"}, {L"", L"", 1, L""},       {L"ab", L"cd", 1, L""},
    };
    constexpr wchar_t kGuard = 0xEEEE;
    for (const Case& c : cases) {
        // Lay guards over the room concat will take and the unit after it.
        const uint32_t start = arena_->tailUsed();
        wchar_t* guarded = arena_->allocText(static_cast<uint32_t>(c.n) + 1);
        std::fill(guarded, guarded + c.n + 1, kGuard);
        arena_->setTailUsedForTest(start);

        wchar_t* text = arena_->concat(c.first, c.second, c.n);
        ASSERT_EQ(guarded, text);
        EXPECT_EQ(std::wstring(c.expected), std::wstring(text));
        EXPECT_EQ(kGuard, text[c.n]) << c.expected;
        EXPECT_EQ(start + c.n * sizeof(wchar_t), arena_->tailUsed());
    }
}

TEST_F(TextArenaTest, ConcatOfNoUnitsGivesNothing) {
    EXPECT_EQ(nullptr, arena_->concat(L"ab", L"cd", 0));
    EXPECT_EQ(nullptr, arena_->concat(L"ab", L"cd", -3));
    EXPECT_EQ(0u, arena_->tailUsed());
}

}  // namespace
