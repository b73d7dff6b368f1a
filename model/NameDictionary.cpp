#include "model/NameDictionary.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "model/TextServices.h"
#include "settings/OptionSet.h"

NameDictionary nameDictionary(1);

namespace {

constexpr int32_t kNameIdStep = NameDictionary::kBuckets;

}  // namespace

HashString::HashString(NameDictionary& dict, const NameKey& key)
    : hash(static_cast<int32_t>(key.hash)), length(key.length), next(nullptr), text(nullptr) {
    // The key's length is 16 bits; the copy takes the whole text so that an overlong name stays terminated.
    const size_t units = key.text ? wcslen(key.text) : 0;
    wchar_t* room = dict.allocText(static_cast<uint32_t>(units + 1));
    if (units) {
        memcpy(room, key.text, units * sizeof(wchar_t));
    }
    room[units] = 0;
    text = room;
    if (key.created) {
        *key.created = true;
    }
}

HashString* HashString::findOrAppend(NameDictionary& dict, const NameKey& key) {
    HashString* entry = this;
    for (;;) {
        if (static_cast<uint32_t>(entry->hash) == key.hash && textEquals(entry->text, key.text)) {
            return entry;
        }
        if (!entry->next) {
            entry->next = new HashString(dict, key);
            return entry->next;
        }
        entry = entry->next;
    }
}

HashItem::HashItem(NameDictionary& dict, const NameKey& key, int32_t id) : HashString(dict, key), nameId(id) {}

HashString* HashItem::findOrAppend(NameDictionary& dict, const NameKey& key) {
    const bool caseSensitive = dict.caseSensitive();
    HashItem* entry = this;
    for (;;) {
        // Spellings that differ only by case sit next to each other with one name id, so a walk that meets a
        // variant keeps going through the group: the exact spelling may follow.
        bool variant = false;
        if (static_cast<uint32_t>(entry->hash) == key.hash) {
            if (caseSensitive) {
                if (textEquals(entry->text, key.text)) {
                    return entry;
                }
            } else if (textEqualsNoCase(entry->text, key.text)) {
                if (lastCompareExact) {
                    return entry;
                }
                variant = true;
            }
        }
        HashItem* following = static_cast<HashItem*>(entry->next);
        if (variant && (!following || following->nameId != entry->nameId)) {
            HashItem* added = new HashItem(dict, key, entry->nameId);
            added->next = following;
            entry->next = added;
            return added;
        }
        if (!following) {
            // Ids grow along the chain, so the last entry holds the highest one of its bucket.
            HashItem* added = new HashItem(dict, key, entry->nameId + kNameIdStep);
            entry->next = added;
            return added;
        }
        entry = following;
    }
}

NameDictionary::~NameDictionary() {
    clear();
}

bool NameDictionary::caseSensitive() const {
    return mode_ != 1 || OptionSet::XMLElementCaseSensitive != 0;
}

HashString* NameDictionary::lookup(const wchar_t* text, bool* created) {
    if (created) {
        *created = false;
    }
    if (!text) {
        text = L"";
    }
    const size_t length = wcslen(text);
    NameKey key;
    key.hash = hashName(text, caseSensitive() ? 1 : 0);
    key.text = text;
    key.length = static_cast<uint16_t>(length < 0xFFFF ? length : 0xFFFF);
    key.created = created;

    const int bucket = static_cast<int>(key.hash & 0xFF);
    if (!buckets_[bucket]) {
        if (mode_ == 1) {
            buckets_[bucket] = new HashItem(*this, key, bucket);
        } else {
            buckets_[bucket] = new HashString(*this, key);
        }
        return buckets_[bucket];
    }
    return buckets_[bucket]->findOrAppend(*this, key);
}

HashItem* NameDictionary::lookupSpelling(const wchar_t* text, int32_t nameId) {
    if (text == nullptr) text = L"";
    const size_t length = wcslen(text);
    NameKey key;
    key.hash = hashName(text, 1);
    key.text = text;
    key.length = static_cast<uint16_t>(length < 0xFFFF ? length : 0xFFFF);
    key.created = nullptr;
    HashString*& head = spellings_[key.hash & 0xFF];
    for (HashString* entry = head; entry != nullptr; entry = entry->next) {
        auto* item = static_cast<HashItem*>(entry);
        if (item->nameId == nameId && textEquals(item->text, text)) return item;
    }
    auto* added = new HashItem(*this, key, nameId);
    added->next = head;
    head = added;
    return added;
}

NameDictionary::PoolBlock* NameDictionary::newPoolBlock(uint32_t capacity) {
    void* memory = ::operator new (sizeof(PoolBlock) + size_t{capacity} * sizeof(wchar_t));
    PoolBlock* block = new (memory) PoolBlock;
    block->used = 0;
    block->capacity = capacity;
    block->units = reinterpret_cast<wchar_t*>(block + 1);
    // The list only serves freeing, so the block goes right after the first one.
    block->next = firstBlock_.next;
    firstBlock_.next = block;
    return block;
}

wchar_t* NameDictionary::allocText(uint32_t n) {
    if (n >= kPoolBlockUnits) {
        // Too long for a pool block: a block of exactly its size, while the current block keeps its free room.
        PoolBlock* block = newPoolBlock(n);
        block->used = n;
        return block->units;
    }
    // One unit of every block stays unused: a request must stay strictly below the block size.
    if (currentBlock_->used + n >= kPoolBlockUnits) {
        currentBlock_ = newPoolBlock(kPoolBlockUnits);
    }
    wchar_t* room = currentBlock_->units + currentBlock_->used;
    currentBlock_->used += n;
    return room;
}

void NameDictionary::freeHashChain(HashString* entry) {
    while (entry) {
        HashString* following = entry->next;
        delete entry;
        entry = following;
    }
}

void NameDictionary::clear() {
    for (HashString*& head : buckets_) {
        freeHashChain(head);
        head = nullptr;
    }
    for (HashString*& head : spellings_) {
        freeHashChain(head);
        head = nullptr;
    }
    PoolBlock* block = firstBlock_.next;
    while (block) {
        PoolBlock* following = block->next;
        block->~PoolBlock();
        ::operator delete(block);
        block = following;
    }
    firstBlock_.next = nullptr;
    firstBlock_.used = 0;
    currentBlock_ = &firstBlock_;
}
