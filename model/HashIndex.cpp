#include "model/HashIndex.h"

#include <cstring>

#include "model/CompareSettings.h"
#include "model/XMLTreeItem.h"

namespace {

// A counting sort of the entries by bucket: bucketStart gets each bucket's first
// slot, positions the entries' positions, ascending within each bucket.
template <typename Position, uint32_t Buckets, typename KeyOf>
void buildBuckets(Position (&bucketStart)[Buckets],
                  std::unique_ptr<Position[]>& positions,
                  uint32_t count,
                  KeyOf keyOf) {
    uint32_t fill[Buckets] = {};
    for (uint32_t i = 0; i < count; ++i)
        ++fill[keyOf(i) & (Buckets - 1)];
    uint32_t sum = 0;
    for (uint32_t b = 0; b < Buckets; ++b) {
        bucketStart[b] = static_cast<Position>(sum);
        sum += fill[b];
        fill[b] = 0;
    }
    positions.reset(new Position[count == 0 ? 1 : count]);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t b = keyOf(i) & (Buckets - 1);
        positions[bucketStart[b] + fill[b]++] = static_cast<Position>(i);
    }
}

template <typename Position, uint32_t Buckets>
uint32_t bucketEnd(const Position (&bucketStart)[Buckets], uint32_t b, uint32_t count) {
    return b + 1 < Buckets ? bucketStart[b + 1] : count;
}

template <typename Index>
uint32_t findElement(const Index& index, const XMLTreeItem& sought) {
    const uint32_t b = elementBucketKey(sought) & (sizeof(index.bucketStart) / sizeof(index.bucketStart[0]) - 1);
    const uint32_t end = bucketEnd(index.bucketStart, b, index.count);
    for (uint32_t slot = index.bucketStart[b]; slot < end; ++slot) {
        const uint32_t position = index.positions[slot];
        const XMLTreeItem* e = index.elements[position];
        if (e != nullptr && e->equals(&sought)) return position;
    }
    return kNotFound;
}

template <typename Index>
uint32_t findName(const Index& index, int32_t id) {
    const uint32_t b = static_cast<uint32_t>(id) & (sizeof(index.bucketStart) / sizeof(index.bucketStart[0]) - 1);
    const uint32_t end = bucketEnd(index.bucketStart, b, index.count);
    for (uint32_t slot = index.bucketStart[b]; slot < end; ++slot) {
        if (index.ids[index.positions[slot]] == id) return index.positions[slot];
    }
    return kNotFound;
}

uint64_t mixKey(uint64_t key, uint64_t value) {
    key ^= value + 0x9E3779B97F4A7C15ULL + (key << 6) + (key >> 2);
    return key;
}

}  // namespace

uint64_t elementIdentityKey(const XMLTreeItem& e) {
    uint64_t key = mixKey(static_cast<uint32_t>(e.nameId()), e.structureSignature);
    key = mixKey(key, e.descendantCount);
    if (!compareSettings.ignoreText) {
        key = mixKey(key, e.comparedTextHash());
        key = mixKey(key, e.subtreeTextSignature);
        key = mixKey(
            key, (static_cast<uint64_t>(static_cast<uint32_t>(e.subtreeTextWeight)) << 32) | e.comparedTextWeight());
    }
    if (!compareSettings.ignoreAttributes) {
        key = mixKey(key, e.comparedAttributeHash());
        key = mixKey(key, e.subtreeAttributeSignature);
        key = mixKey(key, (static_cast<uint64_t>(static_cast<uint32_t>(e.subtreeAttributeWeight)) << 32) |
                              e.comparedAttributeWeight());
    }
    return key;
}

uint32_t elementBucketKey(const XMLTreeItem& element) {
    const uint64_t key = elementIdentityKey(element);
    const uint32_t folded = static_cast<uint32_t>(key) ^ static_cast<uint32_t>(key >> 32);
    return folded ^ (folded >> 8) ^ (folded >> 16);
}

HashByteIndex::HashByteIndex(XMLTreeItem* const* list, uint32_t n) : count(n), elements(list) {
    buildBuckets(bucketStart, positions, count,
                 [list](uint32_t i) { return list[i] == nullptr ? 0u : elementBucketKey(*list[i]); });
}

uint32_t HashByteIndex::find(const XMLTreeItem& element) const {
    return findElement(*this, element);
}

HashWordIndex::HashWordIndex(XMLTreeItem* const* list, uint32_t n) : count(n), elements(list) {
    buildBuckets(bucketStart, positions, count,
                 [list](uint32_t i) { return list[i] == nullptr ? 0u : elementBucketKey(*list[i]); });
}

uint32_t HashWordIndex::find(const XMLTreeItem& element) const {
    return findElement(*this, element);
}

HashByteNameIndex::HashByteNameIndex(const int32_t* list, uint32_t n) : ids(list), count(n) {
    buildBuckets(bucketStart, positions, count, [list](uint32_t i) { return static_cast<uint32_t>(list[i]); });
}

uint32_t HashByteNameIndex::find(int32_t id) const {
    return findName(*this, id);
}

HashWordNameIndex::HashWordNameIndex(const int32_t* list, uint32_t n) : ids(list), count(n) {
    buildBuckets(bucketStart, positions, count, [list](uint32_t i) { return static_cast<uint32_t>(list[i]); });
}

uint32_t HashWordNameIndex::find(int32_t id) const {
    return findName(*this, id);
}

HashMapNameIndex::HashMapNameIndex(const int32_t* ids, uint32_t count) {
    positionOf.reserve(count);
    // emplace keeps the first position of an id that comes again.
    for (uint32_t i = 0; i < count; ++i)
        positionOf.emplace(ids[i], i);
}

uint32_t HashMapNameIndex::find(int32_t id) const {
    const auto found = positionOf.find(id);
    return found != positionOf.end() ? found->second : kNotFound;
}

std::unique_ptr<HashIndex> makeElementIndex(XMLTreeItem* const* elements, uint32_t count) {
    if (count < 256) return std::make_unique<HashByteIndex>(elements, count);
    if (count <= 65535) return std::make_unique<HashWordIndex>(elements, count);
    return nullptr;
}

std::unique_ptr<HashNameIndex> makeNameIndex(const int32_t* ids, uint32_t count) {
    if (count < 256) return std::make_unique<HashByteNameIndex>(ids, count);
    if (count <= 65535) return std::make_unique<HashWordNameIndex>(ids, count);
    return std::make_unique<HashMapNameIndex>(ids, count);
}
