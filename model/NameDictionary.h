// Process-wide interning of element names into integer name ids.
#pragma once

#include <cstdint>

struct NameKey {
    uint32_t hash;
    const wchar_t* text;
    uint16_t length;
    bool* created;
};

class NameDictionary;

// A plain interned text (mode 0): matched exactly, without ids.
class HashString {
public:
    HashString(NameDictionary& dict, const NameKey& key);
    // A static entry outside any dictionary (the summary item's empty name).
    HashString(const wchar_t* staticText, uint16_t textLength)
        : hash(0), length(textLength), next(nullptr), text(staticText) {}
    virtual ~HashString() = default;
    virtual HashString* findOrAppend(NameDictionary& dict, const NameKey& key);

    int32_t hash;
    uint16_t length;
    HashString* next;
    const wchar_t* text;  // in the dictionary's pool, not owned
};

// An element name: a HashString with the name id that identifies it everywhere.
class HashItem : public HashString {
public:
    HashItem(NameDictionary& dict, const NameKey& key, int32_t id);
    HashItem(const wchar_t* staticText, int32_t id) : HashString(staticText, 0), nameId(id) {}
    HashString* findOrAppend(NameDictionary& dict, const NameKey& key) override;

    int32_t nameId;
};

class NameDictionary {
public:
    static constexpr int kBuckets = 256;
    static constexpr uint32_t kPoolBlockUnits = 4096;

    // Constant-initialised, so that names interned by other static objects' constructors are never lost.
    explicit constexpr NameDictionary(int mode)
        : mode_(mode),
          buckets_{},
          spellings_{},
          firstBlock_{nullptr, 0, kPoolBlockUnits, firstUnits_},
          currentBlock_(&firstBlock_),
          firstUnits_{} {}
    ~NameDictionary();
    NameDictionary(const NameDictionary&) = delete;
    NameDictionary& operator=(const NameDictionary&) = delete;

    // Finds or adds the entry of text; created (when given) tells whether it is new.
    HashString* lookup(const wchar_t* text, bool* created = nullptr);
    HashItem* lookupName(const wchar_t* text, bool* created = nullptr) {
        return static_cast<HashItem*>(lookup(text, created));
    }
    // An entry with the text of a spelling and the name id of another name (a qualified
    // name matched by its local part): the spelling is shown and written, the id compared.
    // Kept apart from the named entries, so that looking the text up finds its own id.
    HashItem* lookupSpelling(const wchar_t* text, int32_t nameId);
    // Room for n units in the text pool; names longer than a pool block get a block of their own.
    wchar_t* allocText(uint32_t n);
    void clear();

    int mode() const { return mode_; }
    // Whether names are matched with regard to case (mode 1 follows the element option).
    bool caseSensitive() const;

private:
    // Blocks after the first are owned by the dictionary, on the list from firstBlock_, and freed by clear().
    struct PoolBlock {
        PoolBlock* next;
        uint32_t used;
        uint32_t capacity;
        wchar_t* units;
    };

    PoolBlock* newPoolBlock(uint32_t capacity);
    static void freeHashChain(HashString* entry);

    int mode_;
    HashString* buckets_[kBuckets];    // owned chains
    HashString* spellings_[kBuckets];  // owned chains of lookupSpelling's entries
    PoolBlock firstBlock_;
    PoolBlock* currentBlock_;
    wchar_t firstUnits_[kPoolBlockUnits];
};

// The program's one dictionary, in naming mode.
extern NameDictionary nameDictionary;
