#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/ChildMatcher.h"
#include "model/CompareSettings.h"
#include "model/Comparison.h"
#include "model/IgnoreList.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

class ChildMatcherTest : public ::testing::Test {
protected:
    OptionsSnapshot options;
    void SetUp() override { compareSettings = {0, 0, 0, 0}; }
    void TearDown() override { applyCompareLevel(); }
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

// A short list against a long one is searched without a scan from the start (the scan
// costs a sweep of the long list per entry once one entry stays unpaired); the pairs
// and the reordering must be those of the scan, repeated values and struck entries included.
TEST_F(ChildMatcherTest, LongListsPairAsTheScanFromTheStartWould) {
    std::mt19937 random(99);
    for (int round = 0; round < 60; ++round) {
        const size_t shortCount = 1 + random() % 10;
        const size_t longCount = round == 0 ? 70000 : 65 + random() % 300;
        const uint64_t values = 2 + random() % (round % 2 ? 8 : 400);
        std::vector<uint64_t> a(shortCount), b(longCount);
        for (uint64_t& v : a)
            v = 1 + random() % values;
        for (uint64_t& v : b)
            v = 1 + random() % values;
        Records shortList(a);
        Records longList(b);
        for (size_t j = 0; j < longCount; j += 1 + random() % 50)
            longList.list[j] = nullptr;  // already paired
        // The scan: each short entry takes the first unstruck equal entry of the long list.
        std::vector<XMLTreeItem*> expected(longList.list.size(), nullptr);
        std::vector<XMLTreeItem*> rest = longList.list;
        uint32_t pairs = 0;
        for (size_t k = 0; k < shortCount; ++k) {
            for (XMLTreeItem*& e : rest) {
                if (e == nullptr || e->textHash[0] != a[k]) continue;
                expected[k] = e;
                e = nullptr;
                ++pairs;
                break;
            }
        }
        size_t next = 0;
        for (XMLTreeItem* e : rest) {
            if (e == nullptr) continue;
            while (expected[next] != nullptr)
                ++next;
            expected[next] = e;
        }
        SCOPED_TRACE(testing::Message() << "round " << round);
        ASSERT_EQ(countIdenticalChildren(shortList.list.data(), longList.list.data(), static_cast<uint32_t>(shortCount),
                                         static_cast<uint32_t>(longCount)),
                  pairs);
        if (pairs > 0) {
            EXPECT_TRUE(longList.list == expected);
        }
    }
}

// Random documents for the fuzzy pass: a long group of same-name records, each with
// a few children from a small vocabulary (so that many records share children),
// repeated children, attributes that often coincide, and records long enough for the
// bucket indexes; the right side is the left one shuffled and changed.
struct Generator {
    uint32_t state;
    uint32_t next(uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    }

    std::string record(bool changed) {
        std::string out = "<g";
        if (next(3) != 0) out += " k=\"" + std::to_string(next(4)) + "\"";
        out += ">";
        const uint32_t children = next(4) == 0 ? 11 + next(6) : next(6);
        for (uint32_t c = 0; c < children; ++c) {
            const char name = static_cast<char>('a' + next(3));
            out += std::string("<") + name + ">";
            if (next(5) == 0) out += "<d>" + std::to_string(next(3)) + "</d>";
            out += std::to_string(changed && next(4) == 0 ? 9 : next(4));
            out += std::string("</") + name + ">";
        }
        if (next(4) == 0) out += "t" + std::to_string(next(3));
        return out + "</g>";
    }

    void makePair(std::string& left, std::string& right) {
        std::vector<std::string> records;
        const uint32_t count = 2 + next(30);
        for (uint32_t i = 0; i < count; ++i)
            records.push_back(record(false));
        std::vector<std::string> changed;
        for (const std::string& r : records) {
            const uint32_t what = next(8);
            if (what == 0) continue;              // deleted
            if (what == 1) changed.push_back(r);  // and again: repeated
            changed.push_back(what == 2 ? record(true) : r);
        }
        for (size_t i = changed.size(); i > 1; --i)
            if (next(2) == 0) std::swap(changed[i - 1], changed[next(static_cast<uint32_t>(i))]);
        left = "<r><h/>";
        for (const std::string& r : records)
            left += r;
        right = "<r>";
        for (const std::string& r : changed)
            right += r;
        left += "</r>";
        right += "<h/></r>";
    }
};

class FuzzyPassTest : public ChildMatcherTest {
protected:
    TestPanels panels;
    TempDir dir;

    struct Outcome {
        std::vector<int> partners;  // per left element: the partner's position on the right, -1 none
        std::vector<int> flags;     // difference bits, left then right
        uint32_t identical, different, changed, ignored;
        bool operator==(const Outcome& o) const {
            return partners == o.partners && flags == o.flags && identical == o.identical && different == o.different &&
                   changed == o.changed && ignored == o.ignored;
        }
    };

    // Loads both documents afresh, marks the chosen elements ignored and compares.
    Outcome run(const std::string& leftXml,
                const std::string& rightXml,
                uint32_t ignoreSeed,
                FuzzyScan scan,
                IdenticalSearch search = IdenticalSearch::Indexed) {
        Outcome o{};
        EXPECT_EQ(loadXml(leftTreeView, leftXml, dir, L"left.xml"), kLoaded);
        EXPECT_EQ(loadXml(rightTreeView, rightXml, dir, L"right.xml"), kLoaded);
        std::vector<XMLTreeItem*> left = recordsInOrder(leftTreeView);
        std::vector<XMLTreeItem*> right = recordsInOrder(rightTreeView);
        Generator marks{ignoreSeed};
        for (auto* side : {&left, &right})
            for (size_t i = 1; i < side->size(); ++i)
                if (ignoreSeed != 0 && !(*side)[i]->isSummary() && marks.next(25) == 0) (*side)[i]->ignoreState = 3;
        fuzzyScan = scan;
        identicalSearch = search;
        compareTrees(left[0], right[0]);
        fuzzyScan = FuzzyScan::Indexed;
        identicalSearch = IdenticalSearch::Indexed;
        for (XMLTreeItem* l : left) {
            auto at = std::find(right.begin(), right.end(), l->partner);
            o.partners.push_back(l->partner == nullptr || at == right.end() ? -1
                                                                            : static_cast<int>(at - right.begin()));
            o.flags.push_back(l->differenceFlags);
        }
        for (XMLTreeItem* r : right)
            o.flags.push_back(r->differenceFlags);
        const ComparisonCounters& c = comparisonCounters;
        o.identical = c.identicalCount;
        o.different = c.differentCount;
        o.changed = c.changedContentCount;
        o.ignored = c.ignoredCount;
        return o;
    }
};

// The indexed fuzzy pass scores only the candidates that can score above 0; on every
// random group it must form exactly the pairs of the plain scan over all candidates.
TEST_F(FuzzyPassTest, TheIndexedPassPairsExactlyAsThePlainScan) {
    OptionSet::IgnoreOrderElements = 1;
    Generator random{2026};
    int fuzzyRuns = 0;
    for (int round = 0; round < 240; ++round) {
        std::string leftXml, rightXml;
        random.makePair(leftXml, rightXml);
        OptionSet::CompareLevel = round % 6 == 5 ? 2 : 3;
        applyCompareLevel();
        OptionSet::UniqueAttributes = round % 4 == 1;
        OptionSet::IgnoreValues = round % 7 == 3;
        OptionSet::IgnoreAttributes = round % 9 == 4;
        OptionSet::FlagComparsion = static_cast<uint32_t>(round % 3);
        const uint32_t ignoreSeed = round % 3 == 0 ? 0 : 100 + static_cast<uint32_t>(round);
        SCOPED_TRACE(testing::Message() << "round " << round << "\n" << leftXml << "\n" << rightXml);
        const Outcome plain = run(leftXml, rightXml, ignoreSeed, FuzzyScan::Plain);
        const Outcome indexed = run(leftXml, rightXml, ignoreSeed, FuzzyScan::Indexed);
        EXPECT_EQ(indexed.partners, plain.partners);
        EXPECT_TRUE(indexed == plain);
        if (plain.different > 1) ++fuzzyRuns;
    }
    EXPECT_GT(fuzzyRuns, 100);  // the documents do reach the similarity pairing
}

// Same-name groups of 1 to 40 children whose texts and attributes come from small
// vocabularies, so that switches and modes decide which children are identical; the
// right side is the left one shuffled, thinned, repeated and changed.
struct GroupGenerator {
    Generator random;

    std::string child(bool changed) {
        std::string out = "<item";
        if (random.next(3) != 0)
            out += " a=\"" + std::string(random.next(2) ? "v" : "V") + std::to_string(random.next(3)) + "\"";
        if (random.next(4) == 0) out += " b=\"" + std::to_string(random.next(2)) + "\"";
        out += ">";
        if (random.next(4) == 0) out += "<c>" + std::to_string(random.next(2)) + "</c>";
        const char* texts[] = {"x", "X", "x y", "xy", " x", "z"};
        out += changed ? "changed" : texts[random.next(6)];
        return out + "</item>";
    }

    void makePair(std::string& left, std::string& right, uint32_t count) {
        std::vector<std::string> children;
        for (uint32_t i = 0; i < count; ++i)
            children.push_back(child(false));
        std::vector<std::string> changed;
        for (const std::string& c : children) {
            const uint32_t what = random.next(10);
            if (what == 0) continue;              // deleted
            if (what == 1) changed.push_back(c);  // and again: repeated
            changed.push_back(what == 2 ? child(random.next(2) == 0) : c);
        }
        for (size_t i = changed.size(); i > 1; --i)
            std::swap(changed[i - 1], changed[random.next(static_cast<uint32_t>(i))]);
        left = "<r>";
        for (const std::string& c : children)
            left += c;
        right = "<r>";
        for (const std::string& c : changed)
            right += c;
        left += "</r>";
        right += "</r>";
    }
};

// Past ten entries a group's identical children are found through a bucket index; in
// every mode and with texts and attributes ignored, it must find exactly the pairs of
// the scan that serves shorter groups.
TEST_F(FuzzyPassTest, IndexedAndScannedGroupsPairAlikeWithPartsIgnored) {
    OptionSet::IgnoreOrderElements = 1;
    GroupGenerator random{{4711}};
    int indexedRounds = 0;
    for (int round = 0; round < 320; ++round) {
        std::string leftXml, rightXml;
        random.makePair(leftXml, rightXml, 1 + static_cast<uint32_t>(round % 40));
        OptionSet::FlagComparsion = static_cast<uint32_t>(round % 4);
        OptionSet::IgnoreValues = (round / 4) % 4 != 1;
        OptionSet::IgnoreAttributes = (round / 4) % 4 != 2;
        OptionSet::CompareLevel = (round / 16) % 4;
        applyCompareLevel();
        SCOPED_TRACE(testing::Message() << "round " << round << "\n" << leftXml << "\n" << rightXml);
        const Outcome scanned = run(leftXml, rightXml, 0, FuzzyScan::Indexed, IdenticalSearch::Scan);
        const Outcome indexed = run(leftXml, rightXml, 0, FuzzyScan::Indexed, IdenticalSearch::Indexed);
        EXPECT_EQ(indexed.partners, scanned.partners);
        EXPECT_TRUE(indexed == scanned);
        if (round % 40 >= 10 && scanned.identical > 10) ++indexedRounds;
    }
    EXPECT_GT(indexedRounds, 100);  // long groups with many identical pairs were indexed
}

struct IgnoredPartCase {
    const char* what;
    bool textsDiffer;
    bool attributesDiffer;
    int ignoreValues;
    int ignoreAttributes;
    int ruleMode;  // an ignore rule of this mode on the children; -1 none
    bool paired;   // every child finds an identical partner
};

// Children that differ only in what the comparison leaves out are identical, however
// long their group, in every mode; and they still differ when it is counted.
TEST_F(FuzzyPassTest, ChildrenDifferingOnlyInIgnoredPartsPairInGroupsOfAnyLength) {
    const IgnoredPartCase cases[] = {
        {"texts, values ignored", true, false, 1, 0, -1, true},
        {"attributes, attributes ignored", false, true, 0, 1, -1, true},
        {"both, both ignored", true, true, 1, 1, -1, true},
        {"texts, by a text rule", true, false, 0, 0, 1, true},
        {"attributes, by an attribute rule", false, true, 0, 0, 2, true},
        {"texts, attributes ignored", true, false, 0, 1, -1, false},
        {"attributes, values ignored", false, true, 1, 0, -1, false},
    };
    OptionSet::IgnoreOrderElements = 1;
    OptionSet::CompareLevel = 0;
    applyCompareLevel();
    for (const IgnoredPartCase& c : cases) {
        for (uint32_t n : {10u, 12u, 40u, 256u}) {
            for (uint32_t mode = 0; mode < 4; ++mode) {
                SCOPED_TRACE(testing::Message() << c.what << ", " << n << " children, mode " << mode);
                std::string leftXml = "<r>";
                std::string rightXml = "<r>";
                for (uint32_t i = 0; i < n; ++i) {
                    const std::string k = std::to_string(i);
                    const std::string j = std::to_string(n - 1 - i);
                    leftXml += "<item k=\"" + (c.attributesDiffer ? "L" + k : std::string("s")) + "\">" +
                               (c.textsDiffer ? "L" + k : std::string("s")) + "</item>";
                    rightXml += "<item k=\"" + (c.attributesDiffer ? "R" + j : std::string("s")) + "\">" +
                                (c.textsDiffer ? "R" + j : std::string("s")) + "</item>";
                }
                leftXml += "</r>";
                rightXml += "</r>";
                ASSERT_EQ(loadXml(leftTreeView, leftXml, dir, L"left.xml"), kLoaded);
                ASSERT_EQ(loadXml(rightTreeView, rightXml, dir, L"right.xml"), kLoaded);
                std::vector<XMLTreeItem*> left = recordsInOrder(leftTreeView);
                std::vector<XMLTreeItem*> right = recordsInOrder(rightTreeView);
                ignoreList.clear();
                if (c.ruleMode >= 0) {
                    ignoreList.addElement(*left[1], false);
                    ignoreList.setCurrentMode(c.ruleMode);
                }
                OptionSet::FlagComparsion = mode;
                OptionSet::IgnoreValues = c.ignoreValues;
                OptionSet::IgnoreAttributes = c.ignoreAttributes;
                compareTrees(left[0], right[0]);
                ignoreList.clear();
                const uint32_t pairs = c.paired ? n : 0;
                EXPECT_EQ(comparisonCounters.identicalCount, c.paired ? n + 1 : 0u);
                EXPECT_EQ(comparisonCounters.differentCount, c.paired ? 0u : 1u);
                uint32_t partnered = 0;
                for (size_t i = 1; i < left.size(); ++i)
                    if (left[i]->partner != nullptr && !left[i]->isSummary()) ++partnered;
                EXPECT_EQ(partnered, pairs);
            }
        }
    }
}

}  // namespace
