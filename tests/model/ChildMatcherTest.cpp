#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "model/ChildMatcher.h"
#include "model/CompareSettings.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"

namespace {

class ChildMatcherTest : public ::testing::Test {
protected:
    OptionsSnapshot options;
    void SetUp() override { compareSettings = {0, 0, 0, 0}; }
    void TearDown() override {
        applyCompareLevel();
    }
};

struct GateCase {
    int level;
    uint32_t nA, nB, matched;
    int allowed;
};

TEST_F(ChildMatcherTest, FuzzyMatchingStaysWithinTheLevelLimits) {
    const GateCase cases[] = {
        {0, 2, 2, 0, 0},       {1, 10, 10, 5, 1},  // 5 and 5 left: sum 10, product 25
        {1, 11, 10, 5, 0},                         // 6 and 5: sum 11
        {1, 4, 6, 3, 1},                           // 1 and 3 left, matched 3 covers one side
        {1, 1, 9, 0, 0},                           // 1 and 9: matched below both
        {1, 2, 2, 0, 0},       {2, 10, 10, 0, 1},  // 10 and 10: sum 20, product 100; matched plays no part
        {2, 10, 11, 1, 1},                         // 9 and 10: sum 19, product 90
        {2, 11, 11, 0, 0},                         // sum 22
        {3, 5000, 7000, 0, 1}, {7, 2, 2, 0, 0},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " " << c.nA << "/" << c.nB << "/" << c.matched);
        OptionSet::CompareLevel = c.level;
        applyCompareLevel();
        EXPECT_EQ(fuzzyMatchAllowed(c.nA, c.nB, c.matched), c.allowed);
    }
}

// Records with only a text hash: identical when the hashes are equal.
struct Records {
    std::vector<std::unique_ptr<XMLTreeItem>> owned;
    std::vector<XMLTreeItem*> list;
    explicit Records(const std::vector<uint64_t>& texts) {
        for (uint64_t t : texts) {
            owned.push_back(std::make_unique<XMLTreeItem>());
            owned.back()->textHash[0] = t;
            owned.back()->textWeight = 1;
            list.push_back(owned.back().get());
        }
    }
    std::vector<uint64_t> order() const {
        std::vector<uint64_t> result;
        for (XMLTreeItem* r : list)
            result.push_back(r == nullptr ? 0 : r->textHash[0]);
        return result;
    }
};

struct CountCase {
    std::vector<uint64_t> a, b;
    uint32_t identical;
    std::vector<uint64_t> aAfter, bAfter;
};

TEST_F(ChildMatcherTest, CountingIdenticalChildrenLinesUpTheLongerList) {
    std::vector<uint64_t> many, manyReversed;
    for (uint64_t i = 1; i <= 20; ++i) {
        many.push_back(i);
        manyReversed.push_back(21 - i);
    }
    const CountCase cases[] = {
        {{3, 1}, {1, 2, 3, 4}, 2, {3, 1}, {3, 1, 2, 4}},
        {{1, 2, 3, 4}, {4, 9}, 1, {4, 1, 2, 3}, {4, 9}},
        {{5, 6}, {7, 8}, 0, {5, 6}, {7, 8}},
        {{2, 2}, {2, 1, 2}, 2, {2, 2}, {2, 2, 1}},
        {many, manyReversed, 20, many, many},
    };
    for (const CountCase& c : cases) {
        Records a(c.a);
        Records b(c.b);
        EXPECT_EQ(countIdenticalChildren(a.list.data(), b.list.data(), static_cast<uint32_t>(c.a.size()),
                                         static_cast<uint32_t>(c.b.size())),
                  c.identical);
        EXPECT_EQ(a.order(), c.aAfter);
        EXPECT_EQ(b.order(), c.bAfter);
    }
}

}  // namespace
