#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/CompareSettings.h"
#include "model/Comparison.h"
#include "model/HashIndex.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// Records that stand for prepared elements: only the fields of the identity test.
std::vector<std::unique_ptr<XMLTreeItem>> makeRecords(const std::vector<uint64_t>& texts) {
    std::vector<std::unique_ptr<XMLTreeItem>> records;
    for (uint64_t t : texts) {
        records.push_back(std::make_unique<XMLTreeItem>());
        records.back()->textHash[0] = t;
        records.back()->textWeight = 1;
    }
    return records;
}

std::vector<XMLTreeItem*> pointers(const std::vector<std::unique_ptr<XMLTreeItem>>& records) {
    std::vector<XMLTreeItem*> result;
    for (const auto& r : records)
        result.push_back(r.get());
    return result;
}

class HashIndexTest : public ::testing::Test {
protected:
    CompareSettings saved = compareSettings;
    void SetUp() override { compareSettings = {0, 0, 0, 0}; }
    void TearDown() override { compareSettings = saved; }
};

TEST_F(HashIndexTest, IdenticalEntriesAreFoundLowestFirstAndStruckOnesSkipped) {
    for (uint32_t n : {3u, 255u, 256u, 1000u}) {
        SCOPED_TRACE(n);
        std::vector<uint64_t> texts;
        for (uint32_t i = 0; i < n; ++i)
            texts.push_back(1000 + i);
        texts[n - 1] = texts[1];
        auto records = makeRecords(texts);
        auto list = pointers(records);
        std::unique_ptr<HashIndex> index = makeElementIndex(list.data(), n);
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(dynamic_cast<HashByteIndex*>(index.get()) != nullptr, n < 256);
        auto sought = makeRecords({texts[1]});
        EXPECT_EQ(index->find(*sought[0]), 1u);
        list[1] = nullptr;
        EXPECT_EQ(index->find(*sought[0]), n - 1);
        list[n - 1] = nullptr;
        EXPECT_EQ(index->find(*sought[0]), kNotFound);
        auto absent = makeRecords({5});
        EXPECT_EQ(index->find(*absent[0]), kNotFound);
        for (uint32_t i = 2; i + 1 < n; ++i)
            ASSERT_EQ(index->find(*records[i]), i);
    }
}

TEST_F(HashIndexTest, ElementsDifferingOnlyInTheDifferenceBitsAreNotIdentical) {
    auto records = makeRecords({1, 1});
    records[0]->differenceFlags = 2;
    auto list = pointers(records);
    HashByteIndex index(list.data(), 2);
    EXPECT_EQ(index.find(*records[1]), 1u);
}

TEST_F(HashIndexTest, NameIndexesFindEachIdAndPickTheirSizeByCount) {
    for (uint32_t n : {0u, 1u, 255u, 256u, 2048u, 70000u}) {
        SCOPED_TRACE(n);
        std::vector<int32_t> ids;
        for (uint32_t i = 0; i < n; ++i)
            ids.push_back(static_cast<int32_t>(i * 256 + (i % 7)));
        std::unique_ptr<HashNameIndex> index = makeNameIndex(ids.data(), n);
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(dynamic_cast<HashByteNameIndex*>(index.get()) != nullptr, n < 256);
        for (uint32_t i = 0; i < n; ++i)
            ASSERT_EQ(index->find(ids[i]), i);
        EXPECT_EQ(index->find(-5), kNotFound);
        EXPECT_EQ(index->find(0x7FFFFF00), kNotFound);
    }
}

// Groups around each threshold of the matcher: scanned up to 10, indexed from 11,
// byte indexes to 255, word indexes from 256. The two parents sit at different paths.
TEST(HashIndexMatching, IdenticalChildrenAreFoundOnEitherSideOfEachThreshold) {
    TestPanels panels;
    TempDir dir;
    const int32_t savedOrder = OptionSet::IgnoreOrderElements;
    const int32_t savedLevel = OptionSet::CompareLevel;
    OptionSet::IgnoreOrderElements = 1;
    OptionSet::CompareLevel = 0;
    applyCompareLevel();
    for (int n : {10, 11, 255, 256, 300}) {
        for (int distinctNames = 0; distinctNames <= 1; ++distinctNames) {
            SCOPED_TRACE(std::to_string(n) + (distinctNames ? " names" : " children"));
            auto child = [&](int i) {
                const std::string name = distinctNames ? "n" + std::to_string(i) : "c";
                return "<" + name + ">" + std::to_string(i) + "</" + name + ">";
            };
            std::string leftXml = "<p>";
            std::string rightXml = "<q><p>";
            for (int i = 0; i < n; ++i) {
                leftXml += child(i);
                rightXml += child(n - 1 - i);
            }
            leftXml += "</p>";
            rightXml += "</p></q>";
            ASSERT_EQ(loadXml(leftTreeView, leftXml, dir, L"left.xml"), kLoaded);
            ASSERT_EQ(loadXml(rightTreeView, rightXml, dir, L"right.xml"), kLoaded);
            auto left = recordsInOrder(leftTreeView);
            auto right = recordsInOrder(rightTreeView);
            compareTrees(left[0], right[1]);
            EXPECT_EQ(comparisonCounters.identicalCount, static_cast<uint32_t>(n + 1));
            EXPECT_EQ(comparisonCounters.differentCount, 0u);
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(left[static_cast<size_t>(1 + i)]->partner, right[static_cast<size_t>(2 + n - 1 - i)]);
        }
    }
    OptionSet::IgnoreOrderElements = savedOrder;
    OptionSet::CompareLevel = savedLevel;
    applyCompareLevel();
}

}  // namespace
