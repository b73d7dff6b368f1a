#include "model/Comparison.h"

#include "model/ChildMatcher.h"
#include "model/CompareSettings.h"
#include "model/ElementStore.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "ui/XMLTreeView.h"

ComparisonCounters comparisonCounters = {0, 0, 0, 0};

namespace {

constexpr uint8_t kIgnoreTextBit = 0x01;
constexpr uint8_t kIgnoreAttributesBit = 0x02;
constexpr uint8_t kKeepModeBit = 0x08;

int modeIndex() {
    return compareSettings.mode & 3;
}

// Links stay two-sided: before an element's partner changes, the old partner stops
// pointing back at it. A one-sided link outlives the record it names (a Replace or a
// reload frees it) and painting, navigation and the writers would read the freed record.
void setPartner(XMLTreeItem* element, XMLTreeItem* partner) {
    XMLTreeItem* old = element->partner;
    if (old != nullptr && old != element && old != partner && old->partner == element) old->partner = nullptr;
    element->partner = partner;
}

}  // namespace

void resetComparisonCounters() {
    comparisonCounters = ComparisonCounters{0, 0, 0, 0};
}

uint64_t XMLTreeItem::comparedTextHash() const {
    return (flags & kIgnoreTextBit) != 0 ? 0 : textHash[modeIndex()];
}

uint32_t XMLTreeItem::comparedTextWeight() const {
    return (flags & kIgnoreTextBit) != 0 ? 0 : textWeight;
}

uint64_t XMLTreeItem::comparedAttributeHash() const {
    return (flags & kIgnoreAttributesBit) != 0 ? 0 : attributeHash[modeIndex()];
}

uint32_t XMLTreeItem::comparedAttributeWeight() const {
    return (flags & kIgnoreAttributesBit) != 0 ? 0 : attributeWeight;
}

// Recursion depth is the document's nesting depth: the executables reserve a large
// stack for it.
uint8_t XMLTreeItem::prepareSubtree(uint8_t parentState) {
    const IgnoreRule* rule = ignoreList.ruleFor(*this);
    const int mode = rule == nullptr ? 0 : rule->mode;
    bool conditionHolds = true;
    if (rule != nullptr && rule->condition != nullptr) {
        conditionHolds = (flags & IgnoreCondition::kEvaluated) != 0 ? (flags & IgnoreCondition::kHolds) != 0
                                                                    : rule->condition->ifNotExist != 0;
    }
    uint8_t state;
    if (ignoreState > 2) {
        state = 4;
    } else if (parentState != 0) {
        state = parentState;
    } else {
        state = (rule != nullptr && mode == 0) ? 2 : 0;
        if ((flags & kKeepModeBit) == 0) flags = static_cast<uint8_t>((flags & 0xF0) | (mode & 0x0F));
    }
    if (!conditionHolds) {
        state = 0;
        flags &= 0xF0;
    }
    ignoreState = state;
    if (state != 0) ++comparisonCounters.ignoredCount;

    setPartner(this, nullptr);
    descendantCount = 0;
    subtreeAttributeWeight = 0;
    subtreeTextWeight = 0;
    subtreeAttributeSignature = 0;
    subtreeTextSignature = 0;
    structureSignature = 0;
    differenceFlags = 0;
    keySum = 0;
    if (childCount == 0 || treeView == nullptr) return ignoreState;

    const bool keyed = keyElementList.isKeyedElement(*this);
    for (HTREEITEM c = ElementStore::child(treeView, treeItem); c != nullptr; c = ElementStore::next(treeView, c)) {
        XMLTreeItem* k = ElementStore::record(treeView, c);
        if (k == nullptr || k->prepareSubtree(state) != 0) continue;
        if (keyed && keyElementList.isKeyPair(*k, *this))
            keySum = static_cast<int32_t>(static_cast<uint32_t>(keySum) + k->keyValueHash());
        descendantCount += k->descendantCount + 1;
        const uint64_t l = static_cast<uint64_t>(static_cast<uint32_t>(k->nameId())) + k->structureSignature + 7;
        structureSignature += l * l;
        uint32_t w = k->comparedTextWeight() + static_cast<uint32_t>(k->subtreeTextWeight);
        if (w != 0) {
            subtreeTextWeight = static_cast<int32_t>(static_cast<uint32_t>(subtreeTextWeight) + w);
            const uint64_t o = k->comparedTextHash() + k->subtreeTextSignature;
            subtreeTextSignature += o * (o + l);
        }
        w = k->comparedAttributeWeight() + static_cast<uint32_t>(k->subtreeAttributeWeight);
        if (w != 0) {
            subtreeAttributeWeight = static_cast<int32_t>(static_cast<uint32_t>(subtreeAttributeWeight) + w);
            const uint64_t o = k->comparedAttributeHash() + k->subtreeAttributeSignature;
            subtreeAttributeSignature += o * (o + l);
        }
    }
    return ignoreState;
}

void XMLTreeItem::compareWith(XMLTreeItem* other) {
    if (other == nullptr || ignoreState != 0 || other->ignoreState != 0) return;
    if (childCount == 0 || other->childCount == 0) {
        pairItems(this, other);
        return;
    }
    ChildGroups a(this);
    ChildGroups b(other);
    ChildGroups::matchChildren(a, b, 0);
}

void pairItems(XMLTreeItem* a, XMLTreeItem* b) {
    setPartner(a, b);
    setPartner(b, a);
    if (a->equals(b)) {
        ++comparisonCounters.identicalCount;
        return;
    }
    ++comparisonCounters.differentCount;
    if (!a->sameOwnContent(b)) {
        ++comparisonCounters.changedContentCount;
        a->differenceFlags |= 4;
        b->differenceFlags |= 4;
    }
}

int XMLTreeItem::equals(const XMLTreeItem* other) const {
    if (other == nullptr) return 0;
    return (differenceFlags | other->differenceFlags) < 2 && nameId() == other->nameId() &&
           structureSignature == other->structureSignature && descendantCount == other->descendantCount &&
           textEqual(*other) && attributesEqual(*other);
}

int XMLTreeItem::differenceState() const {
    if (ignoreState != 0 || isSummary()) return 0;
    if (partner == nullptr) return 2;
    return equals(partner) ? 0 : 1;
}

int XMLTreeItem::iconIndex(int notCompared) const {
    if (ignoreState != 0) return ignoreState + 9;
    const bool branch = childCount > 0;
    if (notCompared) return branch ? 0 : 6;
    if (partner == nullptr) return branch ? 4 : (treeView != nullptr && treeView == rightTreeView.tree ? 9 : 8);
    if (equals(partner)) return branch ? 0 : 6;
    return branch ? 2 : 7;
}

void compareTrees(XMLTreeItem* left, XMLTreeItem* right) {
    resetComparisonCounters();
    captureCompareSettings();
    if (left == nullptr || right == nullptr) return;
    left->prepareSubtree(0);
    right->prepareSubtree(0);
    left->compareWith(right);
}
