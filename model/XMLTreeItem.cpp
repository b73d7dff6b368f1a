#include "model/XMLTreeItem.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/util/XMLString.hpp>

#include "model/CompareSettings.h"
#include "model/ElementStore.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/MessageBox.h"
#include "model/NameDictionary.h"
#include "model/NamespaceScope.h"
#include "model/NumberNormalization.h"
#include "model/TextArena.h"
#include "model/TextServices.h"
#include "settings/OptionSet.h"
#include "ui/StatusBar.h"
#include "ui/XMLTreeView.h"

HashItem summaryName(L"", -1);

namespace {

// Mixes one attribute's name and value hashes into a per-mode contribution. The sum
// over attributes does not depend on their order, and a name and a value can never
// cancel each other out (as a plain product XOR would for one-unit names and values).
uint64_t mix64(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

uint64_t attributeContribution(uint32_t nameHash, uint16_t nameHash16, uint32_t h37, uint32_t h19) {
    uint64_t name = mix64((static_cast<uint64_t>(nameHash) << 16) ^ nameHash16 ^ 0x5bd1e995ULL);
    uint64_t value = (static_cast<uint64_t>(h19) << 32) | h37;
    return mix64(name ^ mix64(value + 0x9e3779b97f4a7c15ULL));
}

// Where the children stood among the words, per comparison mode, added to the text's
// hashes: each mark by the units of the row before the white space it stands in (white
// space left out where the mode ignores it). White space at a child's place is one blank
// of the row, whatever it was and on whichever side, as where two runs meet. A text
// without marks has no such part, so its hashes are the words' alone.
void addChildPlaces(const wchar_t* text, uint32_t length, uint64_t hash[4]) {
    uint64_t exact = 0x6a09e667f3bcc909ULL;
    uint64_t loose = 0xbb67ae8584caa73bULL;
    forEachChildPlace(text, length, [&](size_t, size_t rowUnits, size_t rowWords) {
        exact = mix64(exact ^ mix64(rowUnits));
        loose = mix64(loose ^ mix64(rowWords));
    });
    // Modes 0 and 2 keep white space, 1 and 3 leave it out.
    hash[0] += exact;
    hash[2] += exact;
    hash[1] += loose;
    hash[3] += loose;
}

uint16_t saturate16(uint32_t v) {
    return static_cast<uint16_t>(v > 0xFFFF ? 0xFFFF : v);
}

// Work arrays of the child-name list: a hash from name id to slot, reset per element
// by a generation count instead of clearing, and grown with the number of names.
struct ChildNameWork {
    std::vector<int32_t> ids;
    std::vector<int32_t> counts;
    std::vector<int32_t> tableId;
    std::vector<uint32_t> tableSlot;
    std::vector<uint32_t> tableGeneration;
    uint32_t generation = 0;

    void begin() {
        ids.clear();
        counts.clear();
        if (tableId.empty()) grow();
        if (++generation == 0) {
            std::fill(tableGeneration.begin(), tableGeneration.end(), 0u);
            generation = 1;
        }
    }

    // Slot of id; a new id gets the next slot with a count of 0.
    uint32_t slotFor(int32_t id) {
        // At most half full, so that probes stay short.
        if ((ids.size() + 1) * 2 > tableId.size()) grow();
        const size_t mask = tableId.size() - 1;
        for (size_t i = hashOf(id) & mask;; i = (i + 1) & mask) {
            if (tableGeneration[i] != generation) {
                place(i, id, static_cast<uint32_t>(ids.size()));
                ids.push_back(id);
                counts.push_back(0);
                return static_cast<uint32_t>(ids.size() - 1);
            }
            if (tableId[i] == id) return tableSlot[i];
        }
    }

private:
    static size_t hashOf(int32_t id) { return static_cast<uint32_t>(id) * 2654435761u; }

    void place(size_t i, int32_t id, uint32_t slot) {
        tableGeneration[i] = generation;
        tableId[i] = id;
        tableSlot[i] = slot;
    }

    // Doubles the table (4,096 entries at first) and puts the element's names back in.
    void grow() {
        const size_t size = tableId.empty() ? 4096 : tableId.size() * 2;
        tableId.assign(size, 0);
        tableSlot.assign(size, 0);
        tableGeneration.assign(size, 0u);
        generation = 1;
        const size_t mask = size - 1;
        for (uint32_t slot = 0; slot < ids.size(); ++slot) {
            size_t i = hashOf(ids[slot]) & mask;
            while (tableGeneration[i] == generation)
                i = (i + 1) & mask;
            place(i, ids[slot], slot);
        }
    }
};
ChildNameWork childNameWork;

wchar_t* copyToArena(TextArena& arena, const wchar_t* text, uint32_t length) {
    wchar_t* copy = arena.allocText(length + 1);
    if (copy == nullptr) return nullptr;
    if (length != 0) std::memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = 0;
    return copy;
}

wchar_t attributeBuffer[kAttributeBufferUnits + 1];

// With "NormalizeDate" on, a text of six or more units that the platform reads as a
// date in the user's locale: the DATE's bits.
bool readDate(const wchar_t* text, size_t length, uint64_t* bits) {
    if (!OptionSet::NormalizeDate || length <= 5) return false;
    DATE date = 0;
    if (FAILED(VarDateFromStr(const_cast<OLECHAR*>(text), LOCALE_USER_DEFAULT,
                              static_cast<ULONG>(OptionSet::FlagNormalizeDate), &date)))
        return false;
    static_assert(sizeof(date) == sizeof(*bits), "a DATE is a double");
    std::memcpy(bits, &date, sizeof(date));
    return true;
}

// While a document loads, partner holds only the scratch record of a conditional
// rule with named attributes: a zero-filled record that is in no tree.
bool isLoadingScratch(const XMLTreeItem* record) {
    return record != nullptr && record->name == nullptr && record->treeView == nullptr && record->partner == nullptr;
}

uint32_t low32(uint64_t value) {
    return static_cast<uint32_t>(value);
}

int modeIndex() {
    return compareSettings.mode & 3;
}

}  // namespace

namespace {

// Fixed-size blocks for the records, taken from chunks of kChunkRecords; a freed block
// waits on a free list for the next record. When the last record goes (both panels
// cleared) the chunks go back to the heap, so that one big load does not hold its
// memory for the rest of the run.
class RecordPool {
public:
    void* take() {
        if (free_ == nullptr) grow();
        FreeBlock* block = free_;
        free_ = block->next;
        ++live_;
        return block;
    }

    void give(void* memory) {
        auto* block = static_cast<FreeBlock*>(memory);
        block->next = free_;
        free_ = block;
        if (--live_ == 0) release();
    }

private:
    static constexpr size_t kChunkRecords = 4096;
    static constexpr size_t kBlockBytes = (sizeof(XMLTreeItem) + 15) & ~size_t{15};
    struct FreeBlock {
        FreeBlock* next;
    };
    struct Chunk {
        Chunk* next;
    };
    static constexpr size_t kHeaderBytes = (sizeof(Chunk) + 15) & ~size_t{15};

    void grow() {
        auto* chunk = static_cast<Chunk*>(::operator new(kHeaderBytes + kChunkRecords * kBlockBytes));
        chunk->next = chunks_;
        chunks_ = chunk;
        unsigned char* base = reinterpret_cast<unsigned char*>(chunk) + kHeaderBytes;
        for (size_t i = kChunkRecords; i-- > 0;) {
            auto* block = reinterpret_cast<FreeBlock*>(base + i * kBlockBytes);
            block->next = free_;
            free_ = block;
        }
    }

    void release() {
        while (chunks_ != nullptr) {
            Chunk* next = chunks_->next;
            ::operator delete(chunks_);
            chunks_ = next;
        }
        free_ = nullptr;
    }

    FreeBlock* free_ = nullptr;
    Chunk* chunks_ = nullptr;
    size_t live_ = 0;
};

RecordPool& recordPool() {
    static RecordPool pool;
    return pool;
}

}  // namespace

// The record has no subclasses, so every request is for one record's block.
void* XMLTreeItem::operator new(size_t) {
    return recordPool().take();
}

void XMLTreeItem::operator delete(void* block) {
    if (block != nullptr) recordPool().give(block);
}

XMLTreeItem::XMLTreeItem() {
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
}

XMLTreeItem::XMLTreeItem(const wchar_t* nameText, HashItem* nameEntry, HWND, int32_t parentPathHash,
                         int lineNumber, int columnNumber)
    : XMLTreeItem() {
    line = lineNumber - 1;
    column = saturate16(columnNumber < 0 ? 0 : static_cast<uint32_t>(columnNumber));
    updateProgress(20);
    if (nameText != nullptr) {
        if (nameText[0] == 0) {
            showBox(boxOwnerWindow, L"Element Name is empty", L"XML Error", MB_OK | MB_ICONERROR);
        } else {
            name = nameDictionary.lookupName(nameText);
            if (name == nullptr)
                showBox(boxOwnerWindow, L"Element is empty", L"XML Error", MB_OK | MB_ICONERROR);
        }
    } else {
        name = nameEntry;
    }
    uint32_t id = name == nullptr ? 0u : static_cast<uint32_t>(name->nameId);
    pathHash = static_cast<int32_t>(static_cast<uint32_t>(parentPathHash) * 17u + id);
}

XMLTreeItem::~XMLTreeItem() {
    // A load stopped inside an element leaves its scratch record (no tree, no partner) in partner.
    if (partner != nullptr && partner != this && partner->treeView == nullptr && partner->partner == nullptr) {
        delete partner;
        partner = nullptr;
    }
    if (partner != nullptr && partner != this && partner->partner == this) partner->partner = nullptr;
    delete[] keyAttributeHash;
}

XMLTreeItem* XMLTreeItem::fromHandle(HWND tree, HTREEITEM item) {
    if (tree == nullptr || item == nullptr) return nullptr;
    return ElementStore::record(tree, item);
}

int32_t XMLTreeItem::nameId() const {
    return name == nullptr ? 0 : name->nameId;
}

const wchar_t* XMLTreeItem::nameText() const {
    return name == nullptr || name->text == nullptr ? L"" : name->text;
}

bool XMLTreeItem::isSummary() const {
    return name == &summaryName;
}

bool XMLTreeItem::appendText(const wchar_t* characters, uint32_t count, XMLTreeView* panel, bool blankFirst) {
    if (count == 0 || panel == nullptr) return true;
    updateProgress(static_cast<int>(count));
    const uint32_t blank = blankFirst && textLength != 0 ? 1 : 0;
    // Lengths are 16-bit: what passes 65,535 units is cut off.
    const uint32_t room = kMaxTextUnits - textLength;
    const bool cut = blank + count > room;
    if (cut) count = room > blank ? room - blank : 0;
    if (count == 0) return !cut;
    const uint32_t oldLength = textLength;
    uint32_t newLength = oldLength + blank + count;
    wchar_t* joined = panel->stringPool.allocText(newLength + 1);
    if (joined == nullptr) return false;
    if (oldLength != 0) std::memcpy(joined, text, oldLength * sizeof(wchar_t));
    if (blank != 0) joined[oldLength] = L' ';
    std::memcpy(joined + oldLength + blank, characters, count * sizeof(wchar_t));
    if (cut) {
        newLength = textCutBefore(joined, newLength);
        // Nothing of the characters is left: the blank that would join them goes too.
        if (newLength <= oldLength + blank) return false;
    }
    joined[newLength] = 0;
    text = joined;
    textLength = static_cast<uint16_t>(newLength);
    return !cut;
}

void XMLTreeItem::setAttributes(const xercesc::Attributes& list,
                                XMLTreeView* panel,
                                uint32_t keepUnits,
                                std::vector<XMLSize_t>* lost) {
    XMLSize_t n = list.getLength();
    if (n == 0) return;
    if (keepUnits > kMaxTextUnits) keepUnits = kMaxTextUnits;
    const IgnoreRule* rule = ignoreList.ruleFor(*this);
    const bool named = rule != nullptr && (rule->mode & 4) != 0;
    const IgnoreCondition* condition = rule == nullptr ? nullptr : rule->condition.get();
    // Whether a conditional rule applies is known only at the end tag: until then the
    // hashes with the rule's named attributes left in are kept aside.
    XMLTreeItem* scratch = nullptr;
    if (named && condition != nullptr) {
        scratch = new XMLTreeItem();
        partner = scratch;
    }
    static_assert(kAttributeBufferUnits >= kMaxTextUnits, "the work buffer holds a whole attribute text");
    uint32_t used = 0;
    auto put = [&](const wchar_t* s, size_t len) {
        std::memcpy(attributeBuffer + used, s, len * sizeof(wchar_t));
        used += static_cast<uint32_t>(len);
    };
    for (XMLSize_t i = 0; i < n; ++i) {
        // The text keeps the name as the document has it; under "IgnoreNamespaces" the hashes
        // take its local part and leave the namespace declarations out.
        const wchar_t* attributeName = list.getQName(i);
        const wchar_t* value = list.getValue(i);
        if (attributeName == nullptr) attributeName = L"";
        const wchar_t* comparedName = OptionSet::IgnoreNamespaces ? localPart(attributeName) : attributeName;
        if (value == nullptr) value = L"";
        const size_t nameLength = xercesc::XMLString::stringLen(attributeName);
        const size_t valueLength = xercesc::XMLString::stringLen(value);
        // The blank before it, its name, "=", the quote marks and its value.
        const size_t blank = used != 0 ? 1 : 0;
        if (used + blank + nameLength + valueLength + 3 > keepUnits) {
            if (lost != nullptr) lost->push_back(i);
            continue;
        }
        static const wchar_t open[2] = {L'=', kAttributeOpenQuote};
        static const wchar_t close[1] = {kAttributeCloseQuote};
        if (blank != 0) put(L" ", 1);
        put(attributeName, nameLength);
        put(open, 2);
        put(value, valueLength);
        put(close, 1);
        if (OptionSet::IgnoreNamespaces && isNamespaceDeclaration(attributeName, static_cast<int>(nameLength)))
            continue;
        uint32_t nameHash = hashName(comparedName, OptionSet::XMLAttributeCaseSensitive);
        const int32_t id = static_cast<int32_t>(nameHash);
        if (condition != nullptr && (flags & IgnoreCondition::kEvaluated) == 0)
            flags = static_cast<uint8_t>((flags | condition->evaluate(id, value)) & 0xF0);
        if (ignoreList.isCommonAttribute(id)) {
            flags |= kCommonAttributeFlag;
            continue;
        }
        if (scratch != nullptr) scratch->addAttribute(nameHash, comparedName, value);
        if (!named || !rule->hasAttributeId(id)) addAttribute(nameHash, comparedName, value);
    }
    if (used == 0) {
        updateProgress(1);
        return;
    }
    attributes = copyToArena(panel->stringPool, attributeBuffer, used);
    attributesLength = static_cast<uint16_t>(attributes == nullptr ? 0 : used);
    updateProgress(static_cast<int>(attributesLength) + 1);
}

void XMLTreeItem::addAttribute(uint32_t nameHash, const wchar_t* attributeName, const wchar_t* value) {
    if (value == nullptr) value = L"";
    uint32_t h[8] = {};
    uint32_t weight = attributeWeight;
    uint64_t date = 0;
    if (readDate(value, std::wcslen(value), &date)) {
        for (int m = 0; m < 4; ++m) {
            h[2 * m] = static_cast<uint32_t>(date);
            h[2 * m + 1] = static_cast<uint32_t>(date >> 32);
        }
        weight += 6;
    } else {
        wchar_t normalized[kNormalizedNumberUnits];
        const wchar_t* hashed = value;
        if (OptionSet::NormalizeNumber &&
            normalizeNumber(value, normalized, OptionSet::DecimalPlaces, OptionSet::SignificantFigures))
            hashed = normalized;
        weight += static_cast<uint32_t>(accumulateTextHashes(hashed, h));
    }
    uint16_t g = 0;
    int rest = hashAttributeName(attributeName, &g, OptionSet::XMLAttributeCaseSensitive);
    weight += static_cast<uint32_t>(rest) + 4;
    attributeWeight = saturate16(weight);
    for (int m = 0; m < 4; ++m)
        attributeHash[m] += attributeContribution(nameHash, g, h[2 * m], h[2 * m + 1]);

    if (keyAttributeSpec.namesElement(*this) && keyAttributeSpec.matches(nameHash, attributeName)) {
        delete[] keyAttributeHash;
        keyAttributeHash = new uint64_t[4];
        for (int m = 0; m < 4; ++m)
            keyAttributeHash[m] = attributeContribution(nameHash, g, h[2 * m], h[2 * m + 1]);
    }
}

void XMLTreeItem::finish(int endLine, int endColumnNumber) {
    endColumn = saturate16(endColumnNumber < 0 ? 0 : static_cast<uint32_t>(endColumnNumber));
    int span = endLine - (line + 1);
    lineSpan = (span < 0 || span >= 0xFFFF) ? 0xFFFF : static_cast<uint16_t>(span);

    if (text != nullptr && textLength != 0) {
        // The words are read as the row shows them; where children stood among them is
        // compared on top, so that every option treats the words as in any other text.
        const bool mixed = containsChildMark(text, textLength);
        std::wstring row;
        if (mixed) row = rowText(text, textLength);
        const wchar_t* const words = mixed ? row.c_str() : text;
        const size_t wordsLength = mixed ? row.size() : textLength;
        const IgnoreRule* rule = ignoreList.ruleFor(*this);
        if (rule != nullptr && rule->condition != nullptr && (flags & IgnoreCondition::kEvaluated) == 0)
            flags = static_cast<uint8_t>((flags | rule->condition->evaluate(0, words)) & 0xF0);
        if (mixed) addChildPlaces(text, textLength, textHash);
        uint64_t date = 0;
        if (readDate(words, wordsLength, &date)) {
            for (int m = 0; m < 4; ++m)
                textHash[m] += date;
            textWeight = saturate16(static_cast<uint32_t>(textWeight) + 10);
        } else {
            wchar_t normalized[kNormalizedNumberUnits];
            const wchar_t* hashed = words;
            if (OptionSet::NormalizeNumber &&
                normalizeNumber(words, normalized, OptionSet::DecimalPlaces, OptionSet::SignificantFigures))
                hashed = normalized;
            uint32_t h[8] = {};
            int count = accumulateTextHashes(hashed, h);
            for (int m = 0; m < 4; ++m)
                textHash[m] += (static_cast<uint64_t>(h[2 * m + 1]) << 32) | h[2 * m];
            textWeight = saturate16(static_cast<uint32_t>(textWeight) + static_cast<uint32_t>(count));
        }
    }

    if (isLoadingScratch(partner)) {
        XMLTreeItem* scratch = partner;
        bool applies;
        if ((flags & IgnoreCondition::kEvaluated) != 0) {
            applies = (flags & IgnoreCondition::kHolds) != 0;
        } else {
            const IgnoreRule* rule = ignoreList.ruleFor(*this);
            applies = rule != nullptr && rule->condition != nullptr && rule->condition->ifNotExist != 0;
        }
        if (!applies) {
            attributeWeight = scratch->attributeWeight;
            std::memcpy(attributeHash, scratch->attributeHash, sizeof(attributeHash));
        }
        partner = nullptr;
        delete scratch;
    }

    if (childCount == 0 || treeView == nullptr) return;
    ChildNameWork& work = childNameWork;
    work.begin();
    for (HTREEITEM c = ElementStore::child(treeView, treeItem); c != nullptr; c = ElementStore::next(treeView, c)) {
        XMLTreeItem* child = ElementStore::record(treeView, c);
        if (child == nullptr || child->name == nullptr) continue;
        ++work.counts[work.slotFor(child->name->nameId)];
    }
    const auto used = static_cast<uint32_t>(work.ids.size());
    if (used == 0) return;
    XMLTreeView* panel = panelFromTree(treeView);
    if (panel == nullptr) return;
    childNameIds = static_cast<int32_t*>(panel->stringPool.allocAligned(used * sizeof(int32_t)));
    childNameCounts = static_cast<int32_t*>(panel->stringPool.allocAligned(used * sizeof(int32_t)));
    if (childNameIds == nullptr || childNameCounts == nullptr) {
        childNameIds = childNameCounts = nullptr;
        return;
    }
    std::memcpy(childNameIds, work.ids.data(), used * sizeof(int32_t));
    std::memcpy(childNameCounts, work.counts.data(), used * sizeof(int32_t));
    childNameCount = used;
}

// The record tests read the hashes as the comparison sees them: what an ignore rule
// takes out reads as 0, while the record keeps the hashes of loading.
uint32_t XMLTreeItem::contentHash() const {
    const uint32_t t = low32(comparedTextHash()) ^ low32(subtreeTextSignature);
    const uint32_t a = low32(comparedAttributeHash()) ^ low32(subtreeAttributeSignature);
    return ((t ^ a) >> 8) ^ low32(structureSignature) ^ static_cast<uint32_t>(pathHash) ^ t ^ a;
}

uint32_t XMLTreeItem::keyValueHash() const {
    uint32_t key = low32(structureSignature) ^ static_cast<uint32_t>(pathHash);
    if (!compareSettings.ignoreAttributes) key ^= low32(comparedAttributeHash()) ^ low32(subtreeAttributeSignature);
    if (!compareSettings.ignoreText) key ^= low32(comparedTextHash()) ^ low32(subtreeTextSignature);
    return key;
}

bool XMLTreeItem::keyAttributeEquals(const XMLTreeItem& other) const {
    const int m = modeIndex();
    return keyAttributeHash != nullptr && other.keyAttributeHash != nullptr &&
           keyAttributeHash[m] == other.keyAttributeHash[m];
}

bool XMLTreeItem::attributesEqual(const XMLTreeItem& other) const {
    if (compareSettings.ignoreAttributes) return true;
    return comparedAttributeHash() == other.comparedAttributeHash() &&
           subtreeAttributeSignature == other.subtreeAttributeSignature &&
           subtreeAttributeWeight == other.subtreeAttributeWeight &&
           comparedAttributeWeight() == other.comparedAttributeWeight();
}

bool XMLTreeItem::textEqual(const XMLTreeItem& other) const {
    if (compareSettings.ignoreText) return true;
    return comparedTextHash() == other.comparedTextHash() && subtreeTextSignature == other.subtreeTextSignature &&
           subtreeTextWeight == other.subtreeTextWeight && comparedTextWeight() == other.comparedTextWeight();
}

bool XMLTreeItem::attributesDiffer() const {
    if (partner == nullptr || compareSettings.ignoreAttributes) return false;
    return partner->comparedAttributeHash() != comparedAttributeHash() ||
           partner->comparedAttributeWeight() != comparedAttributeWeight();
}

bool XMLTreeItem::textDiffers() const {
    if (partner == nullptr || compareSettings.ignoreText) return false;
    return partner->comparedTextHash() != comparedTextHash() || partner->comparedTextWeight() != comparedTextWeight();
}

bool XMLTreeItem::sameOwnContent(const XMLTreeItem* other) const {
    if (other == nullptr || other->nameId() != nameId()) return false;
    const bool attributesSame =
        compareSettings.ignoreAttributes || (comparedAttributeHash() == other->comparedAttributeHash() &&
                                             comparedAttributeWeight() == other->comparedAttributeWeight());
    const bool textSame = compareSettings.ignoreText || (comparedTextHash() == other->comparedTextHash() &&
                                                         comparedTextWeight() == other->comparedTextWeight());
    return attributesSame && textSame;
}

const wchar_t* XMLTreeItem::pathText(int full, const wchar_t* suffix, int copy) const {
    static wchar_t buffer[kPathTextUnits + 1];
    int used = 0;
    auto put = [&](const wchar_t* s) {
        for (; s != nullptr && *s != 0 && used < kPathTextUnits; ++s)
            buffer[used++] = *s;
    };
    if (full) {
        std::vector<const XMLTreeItem*> chain;
        for (const XMLTreeItem* e = this; e != nullptr;) {
            chain.push_back(e);
            HTREEITEM up = e->treeView == nullptr ? nullptr : ElementStore::parent(e->treeView, e->treeItem);
            e = up == nullptr ? nullptr : ElementStore::record(e->treeView, up);
        }
        for (size_t i = chain.size(); i-- > 0;) {
            put(chain[i]->nameText());
            if (i != 0) put(L">");
        }
    } else {
        put(nameText());
    }
    if (suffix != nullptr) {
        put(L"|");
        put(suffix);
    }
    buffer[used] = 0;
    if (!copy) return buffer;
    wchar_t* result = new wchar_t[static_cast<size_t>(used) + 1];
    std::memcpy(result, buffer, (static_cast<size_t>(used) + 1) * sizeof(wchar_t));
    return result;
}

const wchar_t* XMLTreeItem::positionText() const {
    static wchar_t buffer[64];
    std::swprintf(buffer, 64, L"Line %d  Col %d", line + 1, static_cast<int>(column));
    return buffer;
}

const wchar_t* XMLTreeItem::displayText(int code) {
    static wchar_t buffer[321];
    if (code != 2) {
        for (int i = 0; i < 320; ++i) buffer[i] = L' ';
        buffer[320] = 0;
    }
    return buffer;
}

int countDisplayLines(const wchar_t* text) {
    if (text == nullptr) return 1;
    int breaks = 0;
    int counter = 0;
    for (const wchar_t* p = text; *p != 0; ++p) {
        if (*p == L'\n' || counter == 70) {
            if (++breaks == 255) return 255;
            counter = 0;
        } else {
            ++counter;
        }
    }
    return breaks + 1;
}

namespace {
// Line counts are bytes: the longest texts show 255 lines rather than wrapping to 0.
uint8_t cappedLines(int lines) {
    return static_cast<uint8_t>(lines > 255 ? 255 : lines);
}
}  // namespace

int XMLTreeItem::computeItemLines() {
    int total = 1;
    if (!OptionSet::DisplayFullMode || static_cast<int>(attributesLength) + textLength <= 70) return total;
    // The lines of the text as the row shows it: without the children's marks.
    std::wstring row;
    const bool mixed = containsChildMark(text, textLength);
    if (mixed) row = rowText(text, textLength);
    const int shownLength = mixed ? static_cast<int>(row.size()) : textLength;
    if (static_cast<int>(attributesLength) + shownLength <= 70) return total;
    if (attributes != nullptr && attributesLength != 0) {
        attributeLines = cappedLines(attributesLength / 65 + 1);
        total += attributeLines;
    }
    if (text != nullptr && textLength != 0) {
        if (OptionSet::HandleNewLine)
            textLines = static_cast<uint8_t>(countDisplayLines(mixed ? row.c_str() : text));
        else
            textLines = cappedLines(shownLength / 70 + 1);
        total += textLines;
    }
    itemLines = static_cast<uint8_t>(total > 24 ? 25 : total);
    return total;
}

bool XMLTreeItem::contains(const wchar_t* search, int caseFlag, bool wholeWord) const {
    auto find = [&](const wchar_t* s) {
        if (wholeWord) return findWholeWord(s, search, caseFlag != 0) >= 0;
        return caseFlag ? textFind(s, search) >= 0 : textFindNoCase(s, search) >= 0;
    };
    // The text is searched as the tree shows it: attribute quote marks as double quotes, a
    // reference kept without its DTD with its "&", the runs around children joined.
    auto findShown = [&](const wchar_t* s, int length) {
        if (s == nullptr) return false;
        const wchar_t* end = s + length;
        if (std::find_if(s, end, [](wchar_t c) { return displayQuote(c) != c; }) == end &&
            !containsKeptReference(s, static_cast<size_t>(length)) &&
            !containsChildMark(s, static_cast<size_t>(length)))
            return find(s);
        return find(shownText(s, static_cast<size_t>(length)).c_str());
    };
    return find(nameText()) || findShown(attributes, attributesLength) || findShown(text, textLength);
}

void XMLTreeItem::cloneFrom(const XMLTreeItem& source, XMLTreeView* receivingPanel) {
    std::memcpy(static_cast<void*>(this), &source, sizeof(*this));
    treeItem = nullptr;
    treeView = nullptr;
    childCount = 0;  // grows again as the copies of the children are inserted
    if (source.keyAttributeHash != nullptr) {
        keyAttributeHash = new uint64_t[4];
        std::memcpy(keyAttributeHash, source.keyAttributeHash, 4 * sizeof(uint64_t));
    }
    text = nullptr;
    attributes = nullptr;
    childNameIds = childNameCounts = nullptr;
    if (receivingPanel != nullptr) {
        TextArena& arena = receivingPanel->stringPool;
        if (source.text != nullptr) text = copyToArena(arena, source.text, source.textLength);
        if (source.attributes != nullptr) attributes = copyToArena(arena, source.attributes, source.attributesLength);
        if (source.childNameCount != 0 && source.childNameIds != nullptr) {
            uint32_t bytes = source.childNameCount * sizeof(int32_t);
            childNameIds = static_cast<int32_t*>(arena.allocAligned(bytes));
            childNameCounts = static_cast<int32_t*>(arena.allocAligned(bytes));
            if (childNameIds != nullptr && childNameCounts != nullptr) {
                std::memcpy(childNameIds, source.childNameIds, bytes);
                std::memcpy(childNameCounts, source.childNameCounts, bytes);
            } else {
                childNameIds = childNameCounts = nullptr;
                childNameCount = 0;
            }
        }
    }
    if (source.partner != nullptr && source.partner != &source && source.partner->partner == &source)
        source.partner->partner = nullptr;
    const_cast<XMLTreeItem&>(source).partner = this;
    partner = const_cast<XMLTreeItem*>(&source);
}

void XMLTreeItem::copyContentFrom(const XMLTreeItem& other, XMLTreeView* panel) {
    if (panel == nullptr) return;
    text = other.text == nullptr ? nullptr : copyToArena(panel->stringPool, other.text, other.textLength);
    attributes = other.attributes == nullptr
                     ? nullptr
                     : copyToArena(panel->stringPool, other.attributes, other.attributesLength);
    attributeWeight = other.attributeWeight;
    attributesLength = attributes == nullptr ? 0 : other.attributesLength;
    textWeight = other.textWeight;
    textLength = text == nullptr ? 0 : other.textLength;
    std::memcpy(attributeHash, other.attributeHash, sizeof(attributeHash));
    std::memcpy(textHash, other.textHash, sizeof(textHash));
}

void XMLTreeItem::addChildName(int32_t id, XMLTreeView* panel) {
    if (panel == nullptr) return;
    uint32_t n = childNameCount + 1;
    auto* ids = static_cast<int32_t*>(panel->stringPool.allocAligned(n * sizeof(int32_t)));
    auto* counts = static_cast<int32_t*>(panel->stringPool.allocAligned(n * sizeof(int32_t)));
    if (ids == nullptr || counts == nullptr) return;
    if (childNameCount != 0) {
        std::memcpy(ids, childNameIds, childNameCount * sizeof(int32_t));
        std::memcpy(counts, childNameCounts, childNameCount * sizeof(int32_t));
    }
    ids[childNameCount] = id;
    counts[childNameCount] = 1;
    childNameIds = ids;
    childNameCounts = counts;
    childNameCount = n;
}

int XMLTreeItem::assignChildSlots(XMLTreeItem** children, XMLTreeItem*** slots) const {
    uint32_t start = 0;
    for (uint32_t i = 0; i < childNameCount; ++i) {
        slots[i] = children + start;
        start += static_cast<uint32_t>(childNameCounts[i]);
    }
    return 1;
}

void XMLTreeItem::editorRange(XMLTreeView* panel, int* start, int* end) const {
    HWND editor = panel == nullptr ? nullptr : panel->editor;
    int first = static_cast<int>(SendMessageW(editor, EM_LINEINDEX, static_cast<WPARAM>(line), 0));
    *start = first + column - 1;
    int last = lineSpan == 0 ? first
                             : static_cast<int>(SendMessageW(editor, EM_LINEINDEX, static_cast<WPARAM>(line + lineSpan), 0));
    *end = last - 1 + endColumn;
}

wchar_t* internPathStep(wchar_t* text, int separator, int32_t* nameId, int32_t* pathHash) {
    wchar_t* rest = text;
    if (separator >= 0) {
        text[separator] = 0;
        rest = text + separator + 1;
    }
    xercesc::XMLString::trim(text);
    // Paths name elements as the tree shows them; under "IgnoreNamespaces" an element's
    // name id is that of its local part.
    HashItem* entry = nameDictionary.lookupName(OptionSet::IgnoreNamespaces ? localPart(text) : text);
    int32_t id = entry == nullptr ? 0 : entry->nameId;
    *nameId = id;
    *pathHash = static_cast<int32_t>(static_cast<uint32_t>(id) + static_cast<uint32_t>(*pathHash) * 17u);
    return rest;
}
