#include "ui/EntityTable.h"

#include <initializer_list>

namespace {
void deleteEntityChain(EntityNode* node) {
    while (node != nullptr) {
        EntityNode* next = node->next;
        delete node;
        node = next;
    }
}
}  // namespace

void EntityTable::keys(const wchar_t* name, int32_t* hash, uint32_t* packed) {
    uint32_t h = 0;
    uint32_t p = 0;
    for (const wchar_t* c = name; c != nullptr && *c != 0; ++c) {
        h = h * 37u + static_cast<uint32_t>(*c);
        p = (p << 8) | static_cast<uint32_t>(*c);
    }
    *hash = static_cast<int32_t>(h);
    *packed = p;
}

int EntityTable::add(EntityTable* table, const wchar_t* name, const wchar_t* replacement) {
    int32_t hash;
    uint32_t packed;
    keys(name, &hash, &packed);
    int bucket = static_cast<int>(static_cast<uint32_t>(hash) & (kBuckets - 1));
    if (table == nullptr) return bucket;
    // An empty text replaces the reference with nothing; only a declaration without any
    // text (the predefined entities) stands for one character.
    int length = 1;
    if (replacement != nullptr) {
        length = 0;
        while (replacement[length] != 0)
            ++length;
    }
    table->buckets[bucket] = new EntityNode{table->buckets[bucket], hash, packed, length};
    return bucket;
}

const EntityNode* EntityTable::find(const EntityNode* first, int32_t hash, uint32_t packed) {
    for (const EntityNode* n = first; n != nullptr; n = n->next)
        if (n->hash == hash && n->packed == packed) return n;
    return nullptr;
}

int EntityTable::lookup(const EntityTable* table, int32_t hash, uint32_t packed) {
    if (table == nullptr) return 0;
    const EntityNode* n = find(table->buckets[static_cast<uint32_t>(hash) & (kBuckets - 1)], hash, packed);
    return n == nullptr ? 0 : n->length;
}

void EntityTable::seedPredefined() {
    clear();
    for (const wchar_t* name : {L"quot", L"amp", L"apos", L"gt", L"lt"})
        add(this, name, nullptr);
}

void EntityTable::clear() {
    for (EntityNode*& head : buckets) {
        deleteEntityChain(head);
        head = nullptr;
    }
}
