#include "model/ChildMatcher.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "model/CompareSettings.h"
#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/HashIndex.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"

namespace {

constexpr uint32_t kLinearLimit = 10;
constexpr uint32_t kIndexLimit = 65535;
constexpr uint32_t kFinalScore = 0xFFFFFFFFu;

void pairEntries(XMLTreeItem** first, uint32_t k, XMLTreeItem** second, uint32_t j, uint32_t& n) {
    first[k]->compareWith(second[j]);
    first[k] = nullptr;
    second[j] = nullptr;
    ++n;
}

// Scans list from start for the first unstruck entry that test accepts; a hit at the
// start position moves the start on, so that lists in the same order pair in one sweep.
template <typename Test>
uint32_t scanFrom(XMLTreeItem** list, uint32_t count, uint32_t& start, Test test) {
    for (uint32_t j = start; j < count; ++j) {
        if (list[j] == nullptr || !test(*list[j])) continue;
        if (j == start) ++start;
        return j;
    }
    return kNotFound;
}

// Calls found(i, j) for each name i of a that b has at position j.
template <typename Found>
void forCommonNames(const XMLTreeItem& a, const XMLTreeItem& b, Found found) {
    const uint32_t na = a.childNameCount;
    const uint32_t nb = b.childNameCount;
    if (na == 0 || nb == 0 || a.childNameIds == nullptr || b.childNameIds == nullptr) return;
    if (na <= kLinearLimit || nb <= kLinearLimit) {
        uint32_t start = 0;
        for (uint32_t i = 0; i < na; ++i) {
            const int32_t id = a.childNameIds[i];
            for (uint32_t j = start; j < nb; ++j) {
                if (b.childNameIds[j] != id) continue;
                if (j == start) ++start;
                if (!found(i, j)) return;
                break;
            }
        }
        return;
    }
    std::unique_ptr<HashNameIndex> index = makeNameIndex(b.childNameIds, nb);
    for (uint32_t i = 0; i < na; ++i) {
        const uint32_t j = index->find(a.childNameIds[i]);
        if (j != kNotFound && !found(i, j)) return;
    }
}

// A list position under its identity key; sorted by key, then by position.
struct KeyedPosition {
    uint64_t key;
    uint32_t position;
    bool operator<(const KeyedPosition& o) const { return key != o.key ? key < o.key : position < o.position; }
};

// The first unstruck entry of a long list identical to a sought element, as a scan
// from the start would find it, without the scan: entries sorted by identity key and
// position, each bucket walked in position order, struck entries skipped through
// links that are shortened as they are followed. A scan from an advancing start costs
// a sweep of the list for each element once one entry stays unpaired.
class IdentityIndex {
public:
    IdentityIndex(XMLTreeItem* const* list, uint32_t count) : list_(list) {
        for (uint32_t j = 0; j < count; ++j) {
            // An entry with bit 1 or 2 is identical to nothing.
            if (list[j] != nullptr && list[j]->differenceFlags < 2)
                entries_.push_back({elementIdentityKey(*list[j]), j});
        }
        std::sort(entries_.begin(), entries_.end());
        link_.resize(entries_.size());
        for (uint32_t i = 0; i < link_.size(); ++i)
            link_[i] = i + 1;
    }

    uint32_t find(const XMLTreeItem& sought) {
        const uint64_t key = elementIdentityKey(sought);
        auto it = std::lower_bound(entries_.begin(), entries_.end(), KeyedPosition{key, 0});
        for (uint32_t i = live(static_cast<uint32_t>(it - entries_.begin()));
             i < entries_.size() && entries_[i].key == key; i = live(i + 1)) {
            const uint32_t j = entries_[i].position;
            if (list_[j]->equals(&sought)) return j;
        }
        return kNotFound;
    }

private:
    bool struck(uint32_t i) const { return list_[entries_[i].position] == nullptr; }

    uint32_t live(uint32_t i) {
        const uint32_t end = static_cast<uint32_t>(entries_.size());
        uint32_t r = i;
        while (r < end && struck(r))
            r = link_[r];
        while (i < end && i != r) {
            const uint32_t following = link_[i];
            link_[i] = r;
            i = following;
        }
        return r;
    }

    XMLTreeItem* const* list_;
    std::vector<KeyedPosition> entries_;
    std::vector<uint32_t> link_;
};

constexpr uint32_t kScanLimit = 64;

// For each unstruck entry k of first, the first unstruck entry j of second identical to
// it: found(k, j), which strikes second[j] before the next entry is sought.
template <typename Found>
void findIdentical(XMLTreeItem** first,
                   XMLTreeItem** second,
                   uint32_t nFirst,
                   uint32_t nSecond,
                   bool linear,
                   Found found) {
    if (identicalSearch == IdenticalSearch::Scan) {
        linear = true;
    } else if (linear && nSecond > kScanLimit) {
        IdentityIndex index(second, nSecond);
        for (uint32_t k = 0; k < nFirst; ++k) {
            if (first[k] == nullptr) continue;
            const uint32_t j = index.find(*first[k]);
            if (j != kNotFound) found(k, j);
        }
        return;
    }
    if (linear) {
        uint32_t start = 0;
        for (uint32_t k = 0; k < nFirst; ++k) {
            if (first[k] == nullptr) continue;
            const XMLTreeItem& sought = *first[k];
            const uint32_t j =
                scanFrom(second, nSecond, start, [&](const XMLTreeItem& e) { return e.equals(&sought); });
            if (j != kNotFound) found(k, j);
        }
        return;
    }
    std::unique_ptr<HashIndex> index = makeElementIndex(second, nSecond);
    for (uint32_t k = 0; k < nFirst; ++k) {
        if (first[k] == nullptr) continue;
        const uint32_t j = index->find(*first[k]);
        if (j != kNotFound) found(k, j);
    }
}

}  // namespace

int XMLTreeItem::groupChildren(XMLTreeItem** list, XMLTreeItem*** groupStart) const {
    assignChildSlots(list, groupStart);
    std::vector<uint32_t> room(childNameCount);
    for (uint32_t i = 0; i < childNameCount; ++i)
        room[i] = static_cast<uint32_t>(childNameCounts[i]);
    // An element may have thousands of names: past a few, they are looked up.
    std::unique_ptr<HashNameIndex> index =
        childNameCount > kLinearLimit ? makeNameIndex(childNameIds, childNameCount) : nullptr;
    auto find = [&](int32_t id) -> uint32_t {
        if (index != nullptr) return index->find(id);
        for (uint32_t i = 0; i < childNameCount; ++i)
            if (childNameIds[i] == id) return i;
        return kNotFound;
    };
    uint32_t walked = 0;
    for (HTREEITEM c = ElementStore::child(treeView, treeItem); c != nullptr; c = ElementStore::next(treeView, c)) {
        XMLTreeItem* child = ElementStore::record(treeView, c);
        if (child == nullptr) continue;
        ++walked;
        const uint32_t i = find(child->nameId());
        if (i != kNotFound && room[i] != 0) {
            --room[i];
            *groupStart[i]++ = child;
        }
    }
    return walked == childCount;
}

ChildGroups::ChildGroups(XMLTreeItem* element) : item(element) {
    if (element->childCount == 0 || element->childNameCount == 0 || element->childNameIds == nullptr ||
        element->childNameCounts == nullptr || element->treeView == nullptr)
        return;
    // Every slot starts empty: a child the groups have no room for stays out of matching.
    children.reset(new XMLTreeItem*[element->childCount]());
    groupStart.reset(new XMLTreeItem**[element->childNameCount]);
    uint32_t total = 0;
    for (uint32_t i = 0; i < element->childNameCount; ++i)
        total += static_cast<uint32_t>(element->childNameCounts[i]);
    if (total > element->childCount) {
        children.reset();
        groupStart.reset();
        return;
    }
    element->groupChildren(children.get(), groupStart.get());
    element->assignChildSlots(children.get(), groupStart.get());
}

int ChildGroups::matchChildren(ChildGroups& a, ChildGroups& b, int positional) {
    XMLTreeItem* ea = a.item;
    XMLTreeItem* eb = b.item;
    if (ea->ignoreState != 0 || eb->ignoreState != 0) return 0;
    ComparisonCounters& c = comparisonCounters;
    const uint32_t i0 = c.identicalCount;
    const uint32_t c0 = c.changedContentCount;
    const uint32_t s0 = c.identicalCount + c.differentCount + c.ignoredCount;
    if (a.groupStart != nullptr && b.groupStart != nullptr) {
        forCommonNames(*ea, *eb, [&](uint32_t i, uint32_t j) {
            matchSameNameChildren(a.groupStart[i], b.groupStart[j], static_cast<uint32_t>(ea->childNameCounts[i]),
                                  static_cast<uint32_t>(eb->childNameCounts[j]), positional);
            return true;
        });
    }
    if (c.identicalCount != i0) {
        ea->differenceFlags |= 1;
        eb->differenceFlags |= 1;
    }
    if (c.changedContentCount != c0) {
        ea->differenceFlags |= 4;
        eb->differenceFlags |= 4;
    }
    const uint32_t d = c.identicalCount + c.differentCount + c.ignoredCount - s0;
    if (d < ea->descendantCount) ea->differenceFlags |= 2;
    if (d < eb->descendantCount) eb->differenceFlags |= 2;
    pairItems(ea, eb);
    return 1;
}

uint32_t ChildGroups::similarity(ChildGroups& a, ChildGroups& b, uint32_t best) {
    if (a.item->ignoreState != 0 || b.item->ignoreState != 0) return 0;
    if (a.groupStart == nullptr || b.groupStart == nullptr) return 0;
    uint32_t score = 0;
    uint32_t considered = 0;
    const uint32_t limit = a.item->childCount - best;
    forCommonNames(*a.item, *b.item, [&](uint32_t i, uint32_t j) {
        const uint32_t countA = static_cast<uint32_t>(a.item->childNameCounts[i]);
        score += countIdenticalChildren(a.groupStart[i], b.groupStart[j], countA,
                                        static_cast<uint32_t>(b.item->childNameCounts[j]));
        considered += countA;
        return considered - score <= limit;
    });
    return score;
}

uint32_t countIdenticalChildren(XMLTreeItem** listA, XMLTreeItem** listB, uint32_t nA, uint32_t nB) {
    if (nA > nB) {
        std::swap(listA, listB);
        std::swap(nA, nB);
    }
    if (nB == 0) return 0;
    std::vector<XMLTreeItem*> result(nB, nullptr);
    uint32_t found = 0;
    const bool linear = nA <= kLinearLimit || nB <= kLinearLimit || nB > kIndexLimit;
    // The identical entries are taken out of the longer list while it is searched and
    // all put back below, so that it keeps every entry.
    findIdentical(listA, listB, nA, nB, linear, [&](uint32_t k, uint32_t j) {
        result[k] = listB[j];
        listB[j] = nullptr;
        ++found;
    });
    if (found == 0) return 0;
    uint32_t next = 0;
    for (uint32_t j = 0; j < nB; ++j) {
        if (listB[j] == nullptr) continue;
        while (result[next] != nullptr)
            ++next;
        result[next] = listB[j];
    }
    for (uint32_t j = 0; j < nB; ++j)
        listB[j] = result[j];
    return found;
}

void matchSameNameChildren(XMLTreeItem** listA, XMLTreeItem** listB, uint32_t nA, uint32_t nB, int positional) {
    if (nA > nB) {
        std::swap(listA, listB);
        std::swap(nA, nB);
    }
    XMLTreeItem** first = listA;
    XMLTreeItem** second = listB;
    if (!OptionSet::IgnoreOrderElements) {
        uint32_t k = 0;
        uint32_t l = 0;
        for (;;) {
            while (k < nA && (first[k] == nullptr || first[k]->ignoreState != 0))
                ++k;
            while (l < nB && (second[l] == nullptr || second[l]->ignoreState != 0))
                ++l;
            if (k >= nA || l >= nB) return;
            first[k]->compareWith(second[l]);
            first[k++] = nullptr;
            second[l++] = nullptr;
        }
    }
    if (nA == 0) return;
    const XMLTreeItem* firstOnEntry = first[0];
    const XMLTreeItem* secondOnEntry = second[0];
    uint32_t n = 0;

    if (positional) {
        for (uint32_t k = 0; k < nA && k < nB; ++k) {
            if (first[k] != nullptr && second[k] != nullptr && first[k]->equals(second[k]))
                pairEntries(first, k, second, k, n);
        }
    } else {
        const bool linear = nA <= kLinearLimit || nB > kIndexLimit;
        findIdentical(first, second, nA, nB, linear,
                      [&](uint32_t k, uint32_t j) { pairEntries(first, k, second, j, n); });
    }
    if (n == nA || n == nB) return;

    if (firstOnEntry != nullptr && secondOnEntry != nullptr && keyElementList.isKeyedElement(*firstOnEntry) &&
        keyElementList.isKeyedElement(*secondOnEntry)) {
        uint32_t start = 0;
        for (uint32_t k = 0; k < nA; ++k) {
            if (first[k] == nullptr || first[k]->keySum == 0) continue;
            const int32_t sum = first[k]->keySum;
            const uint32_t j = scanFrom(second, nB, start, [sum](const XMLTreeItem& e) { return e.keySum == sum; });
            if (j != kNotFound) pairEntries(first, k, second, j, n);
        }
    }

    if (firstOnEntry != nullptr && secondOnEntry != nullptr && keyAttributeSpec.namesElement(*firstOnEntry) &&
        keyAttributeSpec.namesElement(*secondOnEntry)) {
        uint32_t start = 0;
        for (uint32_t k = 0; k < nA; ++k) {
            if (first[k] == nullptr || first[k]->keyAttributeHash == nullptr) continue;
            const XMLTreeItem& sought = *first[k];
            const uint32_t j =
                scanFrom(second, nB, start, [&sought](const XMLTreeItem& e) { return sought.keyAttributeEquals(e); });
            if (j != kNotFound) pairEntries(first, k, second, j, n);
        }
        if (compareSettings.uniqueAttributes) return;
    }

    if (OptionSet::CompareLevel == 0 || n == nA || n == nB) return;
    if (nA == nB && n == nA - 1) {
        uint32_t k = 0;
        uint32_t l = 0;
        while (first[k] == nullptr)
            ++k;
        while (second[l] == nullptr)
            ++l;
        pairEntries(first, k, second, l, n);
        return;
    }
    if (fuzzyMatchAllowed(nA, nB, n)) matchBestPairs(first, second, nA, nB, n);
}

int fuzzyMatchAllowed(uint32_t nA, uint32_t nB, uint32_t matched) {
    const uint32_t ua = nA - matched;
    const uint32_t ub = nB - matched;
    const uint32_t sumLimit = OptionSet::matchSumLimit;
    const uint32_t productLimit = OptionSet::matchProductLimit;
    switch (OptionSet::CompareLevel) {
        case 1:
            return ua + ub < sumLimit && ua * ub < productLimit && (matched >= ua || matched >= ub);
        case 2:
            return ua + ub < sumLimit && ua * ub < productLimit;
        case 3:
            return 1;
        default:
            return 0;
    }
}

namespace {

using GroupRecords = std::vector<std::unique_ptr<ChildGroups>>;

template <typename Each>
void forEachGroupedChild(const ChildGroups& g, Each each) {
    if (g.children == nullptr) return;
    for (uint32_t i = 0; i < g.item->childCount; ++i)
        if (g.children[i] != nullptr) each(*g.children[i]);
}

// The B records that can score above 0 against a given A record: those holding a child
// identical to one of its children (a similarity of at least 1), and those with its
// attributes (the bonus, or the unique-attribute shortcut). Every other B record scores
// 0, which never beats the best score, and scoring it has no side effect: its groups are
// only reordered when an identical child is found. So visiting only these, in position
// order, gives the plain scan's pairs.
class CandidateIndex {
public:
    explicit CandidateIndex(const GroupRecords& recordsB) : seen_(recordsB.size(), kNotFound) {
        for (uint32_t j = 0; j < recordsB.size(); ++j) {
            forEachGroupedChild(*recordsB[j], [&](const XMLTreeItem& c) {
                children_.push_back({elementIdentityKey(c), j});
            });
            const XMLTreeItem& b = *recordsB[j]->item;
            const uint32_t weight = b.comparedAttributeWeight();
            const uint64_t hash = b.comparedAttributeHash();
            if (weight != 0 && hash != 0) attributes_.push_back({hash, weight, j});
        }
        std::sort(children_.begin(), children_.end());
        std::sort(attributes_.begin(), attributes_.end());
    }

    // Positions in ascending order; a is the k-th A record.
    const std::vector<uint32_t>& candidates(const ChildGroups& a, uint32_t k) {
        found_.clear();
        keys_.clear();
        forEachGroupedChild(a, [&](const XMLTreeItem& c) { keys_.push_back(elementIdentityKey(c)); });
        std::sort(keys_.begin(), keys_.end());
        keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
        for (uint64_t key : keys_) {
            auto it = std::lower_bound(children_.begin(), children_.end(), KeyedPosition{key, 0});
            for (; it != children_.end() && it->key == key; ++it)
                take(it->position, k);
        }
        const XMLTreeItem& ia = *a.item;
        const AttributeEntry sought{ia.comparedAttributeHash(), ia.comparedAttributeWeight(), 0};
        if (sought.weight != 0 && sought.hash != 0) {
            auto it = std::lower_bound(attributes_.begin(), attributes_.end(), sought);
            for (; it != attributes_.end() && it->hash == sought.hash && it->weight == sought.weight; ++it)
                take(it->position, k);
        }
        std::sort(found_.begin(), found_.end());
        return found_;
    }

private:
    struct AttributeEntry {
        uint64_t hash;
        uint32_t weight;
        uint32_t position;
        bool operator<(const AttributeEntry& o) const {
            if (hash != o.hash) return hash < o.hash;
            if (weight != o.weight) return weight < o.weight;
            return position < o.position;
        }
    };

    void take(uint32_t position, uint32_t k) {
        if (seen_[position] == k) return;
        seen_[position] = k;
        found_.push_back(position);
    }

    std::vector<KeyedPosition> children_;
    std::vector<AttributeEntry> attributes_;
    std::vector<uint32_t> seen_;  // the A record that last took each position
    std::vector<uint32_t> found_;
    std::vector<uint64_t> keys_;
};

// Scores b against a as the first pass does; true when the scan must stop (the
// unique-attribute shortcut).
bool scoreCandidate(ChildGroups& a, ChildGroups& b, uint32_t j, uint32_t& best, uint32_t& chosen) {
    const XMLTreeItem& ia = *a.item;
    const XMLTreeItem& ib = *b.item;
    const uint32_t weight = ia.comparedAttributeWeight();
    const uint64_t hash = ia.comparedAttributeHash();
    const bool sameAttributes =
        weight != 0 && hash != 0 && ib.comparedAttributeWeight() == weight && ib.comparedAttributeHash() == hash;
    if (compareSettings.uniqueAttributes && sameAttributes) {
        chosen = j;
        best = kFinalScore;
        return true;
    }
    uint32_t score = ChildGroups::similarity(a, b, best);
    if (sameAttributes) ++score;
    if (score > best) {
        best = score;
        chosen = j;
    }
    return false;
}

}  // namespace

FuzzyScan fuzzyScan = FuzzyScan::Indexed;
IdenticalSearch identicalSearch = IdenticalSearch::Indexed;

void matchBestPairs(XMLTreeItem** listA, XMLTreeItem** listB, uint32_t nA, uint32_t nB, uint32_t matched) {
    GroupRecords recordsA;
    GroupRecords recordsB;
    for (uint32_t k = 0; k < nA && recordsA.size() < nA - matched; ++k)
        if (listA[k] != nullptr) recordsA.push_back(std::make_unique<ChildGroups>(listA[k]));
    for (uint32_t k = 0; k < nB && recordsB.size() < nB - matched; ++k)
        if (listB[k] != nullptr) recordsB.push_back(std::make_unique<ChildGroups>(listB[k]));
    const uint32_t kB = static_cast<uint32_t>(recordsB.size());

    std::unique_ptr<CandidateIndex> index;
    if (fuzzyScan == FuzzyScan::Indexed && kB > 0) index = std::make_unique<CandidateIndex>(recordsB);
    uint32_t start = 0;
    for (uint32_t k = 0; k < recordsA.size(); ++k) {
        if (start >= kB) break;
        auto& a = recordsA[k];
        uint32_t best = 0;
        uint32_t chosen = kNotFound;
        if (index != nullptr) {
            for (uint32_t j : index->candidates(*a, k)) {
                if (j < start || recordsB[j] == nullptr) continue;
                if (scoreCandidate(*a, *recordsB[j], j, best, chosen)) break;
            }
        } else {
            for (uint32_t j = start; j < kB; ++j) {
                if (recordsB[j] == nullptr) continue;
                if (scoreCandidate(*a, *recordsB[j], j, best, chosen)) break;
            }
        }
        if (best == 0) continue;
        // Scoring later candidates reorders this element's longer groups for them: line
        // them up with the chosen one again before pairing by position.
        if (best != kFinalScore) ChildGroups::similarity(*a, *recordsB[chosen], 0);
        ChildGroups::matchChildren(*a, *recordsB[chosen], best != kFinalScore);
        a.reset();
        recordsB[chosen].reset();
        if (chosen == start) ++start;
    }

    if (OptionSet::CompareLevel != 3) return;
    start = 0;
    for (auto& a : recordsA) {
        if (a == nullptr) continue;
        // matchChildren refuses exactly the pairs with an ignored element and does
        // nothing then, so an ignored A record can be passed over; and once no B record
        // from start on pairs, none will for a later A record either.
        if (fuzzyScan == FuzzyScan::Indexed && a->item->ignoreState != 0) continue;
        uint32_t j = start;
        for (; j < kB; ++j) {
            if (recordsB[j] == nullptr || !ChildGroups::matchChildren(*a, *recordsB[j], 0)) continue;
            a.reset();
            recordsB[j].reset();
            start = j;
            break;
        }
        if (j >= kB && fuzzyScan == FuzzyScan::Indexed) break;
    }
}
