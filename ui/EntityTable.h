// A panel's table of entity replacement lengths: the five predefined entities and
// the internal entities that the document's DTD declares.
#pragma once

#include <cstdint>

struct EntityNode {
    EntityNode* next;
    int32_t hash;
    uint32_t packed;
    int32_t length;
};

struct EntityTable {
    static constexpr int kBuckets = 64;
    EntityNode* buckets[kBuckets] = {};

    EntityTable() = default;
    ~EntityTable() { clear(); }
    EntityTable(const EntityTable&) = delete;
    EntityTable& operator=(const EntityTable&) = delete;

    // The two keys of a name: a running hash and its last characters packed into 32 bits.
    static void keys(const wchar_t* name, int32_t* hash, uint32_t* packed);
    // Pushes a node for name at the head of its bucket; returns the bucket index.
    static int add(EntityTable* table, const wchar_t* name, const wchar_t* replacement);
    static int lookup(const EntityTable* table, int32_t hash, uint32_t packed);
    static const EntityNode* find(const EntityNode* first, int32_t hash, uint32_t packed);
    void seedPredefined();
    void clear();
};
