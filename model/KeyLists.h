// Elements named by their place in the document (name id and path hash): the key
// elements and the key attribute that pair instances when the order of elements is
// ignored, and the entire elements that the writers write whole.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

struct XMLTreeItem;

// Whether a row's value can be written so that it reads back as itself; the rows whose
// value it refuses are not written. Null: every row is written.
using RowValueCheck = bool (*)(const wchar_t* value);

// Pairs of a key child and the element it keys.
class KeyElementList {
public:
    static constexpr int kMaxPairs = 12;

    constexpr KeyElementList() = default;

    int find(int32_t childNameId, int32_t childPathHash, int32_t elementNameId, int32_t elementPathHash) const;
    // The value of a "KeyElement=" row: the path of the key child.
    bool addPath(const wchar_t* text);
    // Removes the pair, or appends it while the list has room. element null: a
    // top-level key child.
    void toggle(const XMLTreeItem& keyChild, const XMLTreeItem* element);
    bool isKeyChild(const XMLTreeItem& element) const;
    bool isKeyedElement(const XMLTreeItem& element) const;
    bool isKeyPair(const XMLTreeItem& child, const XMLTreeItem& element) const;
    // One "KeyElement=" row per pair, in list order.
    void write(HANDLE file, RowValueCheck canWrite = nullptr) const;

    int32_t childNameIds[kMaxPairs] = {};
    int32_t childPathHashes[kMaxPairs] = {};
    int32_t elementPathHashes[kMaxPairs] = {};
    int32_t elementNameIds[kMaxPairs] = {};
    std::unique_ptr<wchar_t[]> paths[kMaxPairs];  // the key child's path text
    int32_t count = 0;

private:
    void append(int32_t childNameId,
                int32_t childPathHash,
                int32_t elementNameId,
                int32_t elementPathHash,
                std::unique_ptr<wchar_t[]> path);
    void removeAt(int index);
};

class EntireElementList {
public:
    static constexpr int kMaxEntries = 4;

    constexpr EntireElementList() = default;

    // The value of an "EntireElement=" row.
    bool addPath(const wchar_t* text);
    bool contains(const XMLTreeItem& element) const;
    void toggle(const XMLTreeItem& element);
    // One "EntireElement=" row per entry, in list order.
    void write(HANDLE file, RowValueCheck canWrite = nullptr) const;

    int32_t nameIds[kMaxEntries] = {};
    int32_t pathHashes[kMaxEntries] = {};
    std::unique_ptr<wchar_t[]> paths[kMaxEntries];
    int32_t count = 0;

private:
    int indexOf(int32_t nameId, int32_t pathHash) const;
    void append(int32_t nameId, int32_t pathHash, std::unique_ptr<wchar_t[]> path);
};

// The one key attribute: an element and one of its attribute names.
class KeyAttributeSpec {
public:
    constexpr KeyAttributeSpec() = default;

    bool isSet() const { return attributeHash != -1; }
    void clear();
    // element null: only the attribute name changes.
    void set(const XMLTreeItem* element, const wchar_t* attributeName);
    bool matches(uint32_t nameHash, const wchar_t* name) const;
    // Trims name in place.
    bool matchesName(wchar_t* name) const;
    // Whether this is the element that carries the key attribute.
    bool namesElement(const XMLTreeItem& element) const;
    // The value of a "KeyAttribute=" row: the element's path, "|" and the attribute name.
    void parse(const wchar_t* text);
    // The "KeyAttribute=" row, while a key attribute is set.
    void write(HANDLE file, RowValueCheck canWrite = nullptr) const;

    int32_t elementNameId = -1;
    int32_t elementPathHash = -1;
    int32_t attributeHash = -1;  // -1: no key attribute
    std::unique_ptr<wchar_t[]> path;
    std::unique_ptr<wchar_t[]> attributeName;

private:
    void setName(const wchar_t* name);
};

extern KeyElementList keyElementList;
extern EntireElementList entireElementList;
extern KeyAttributeSpec keyAttributeSpec;
