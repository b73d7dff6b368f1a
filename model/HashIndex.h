// Bucket indexes over the lists that the child matcher searches again and again:
// a list of same-name children searched for an identical element, and a list of
// distinct child names searched for a name id. An index is built for one lookup
// sweep and destroyed; it never owns or changes the array it indexes. The matcher
// strikes entries (sets them to null) while an index is alive, and the element
// indexes skip struck entries.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

struct XMLTreeItem;

constexpr uint32_t kNotFound = 0xFFFFFFFFu;

// Equal for any two elements that XMLTreeItem::equals finds identical: it is made of
// exactly the values that test compares, in the comparison's mode and switches (no
// text while texts are ignored, no attributes while attributes are). It leaves out the
// element's place in the document, so that identical children are found under parents
// at different paths.
uint64_t elementIdentityKey(const XMLTreeItem& element);
// The bucket key of an element: its identity key folded to 32 bits. A key holding
// anything that equals does not compare would put identical elements into different
// buckets, and a list long enough to be indexed would miss pairs that a scan finds.
uint32_t elementBucketKey(const XMLTreeItem& element);

class HashIndex {
public:
    virtual ~HashIndex() = default;
    // The lowest position in the element's bucket whose entry is not struck and is
    // identical to element; kNotFound when none.
    virtual uint32_t find(const XMLTreeItem& element) const = 0;
};

class HashNameIndex {
public:
    virtual ~HashNameIndex() = default;
    // The lowest position in the id's bucket holding id; kNotFound when none.
    virtual uint32_t find(int32_t id) const = 0;
};

// At most 255 entries: 32 buckets, 8-bit positions.
class HashByteIndex : public HashIndex {
public:
    HashByteIndex(XMLTreeItem* const* elements, uint32_t count);
    uint32_t find(const XMLTreeItem& element) const override;

    uint8_t bucketStart[32];
    std::unique_ptr<uint8_t[]> positions;
    uint32_t count;
    XMLTreeItem* const* elements;
};

// At most 65,535 entries: 256 buckets, 16-bit positions.
class HashWordIndex : public HashIndex {
public:
    HashWordIndex(XMLTreeItem* const* elements, uint32_t count);
    uint32_t find(const XMLTreeItem& element) const override;

    uint16_t bucketStart[256];
    std::unique_ptr<uint16_t[]> positions;
    uint32_t count;
    XMLTreeItem* const* elements;
};

class HashByteNameIndex : public HashNameIndex {
public:
    HashByteNameIndex(const int32_t* ids, uint32_t count);
    uint32_t find(int32_t id) const override;

    uint8_t bucketStart[32];
    std::unique_ptr<uint8_t[]> positions;
    const int32_t* ids;
    uint32_t count;
};

class HashWordNameIndex : public HashNameIndex {
public:
    HashWordNameIndex(const int32_t* ids, uint32_t count);
    uint32_t find(int32_t id) const override;

    uint16_t bucketStart[256];
    std::unique_ptr<uint16_t[]> positions;
    const int32_t* ids;
    uint32_t count;
};

// Past the reach of 16-bit positions: a hash map from each id to its first position.
class HashMapNameIndex : public HashNameIndex {
public:
    HashMapNameIndex(const int32_t* ids, uint32_t count);
    uint32_t find(int32_t id) const override;

    std::unordered_map<int32_t, uint32_t> positionOf;
};

// The index that fits a list of count entries (byte below 256, word up to 65,535);
// null above 65,535, where the caller scans linearly.
std::unique_ptr<HashIndex> makeElementIndex(XMLTreeItem* const* elements, uint32_t count);
// The same for names, with a map above 65,535: an element may have that many child names,
// and a linear scan of them for each name would be quadratic.
std::unique_ptr<HashNameIndex> makeNameIndex(const int32_t* ids, uint32_t count);
