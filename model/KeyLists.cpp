#include "model/KeyLists.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "model/NamespaceScope.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"

KeyElementList keyElementList;
EntireElementList entireElementList;
KeyAttributeSpec keyAttributeSpec;

namespace {

constexpr int kMaxPathUnits = 2047;

std::unique_ptr<wchar_t[]> copyText(const wchar_t* text) {
    const size_t length = text == nullptr ? 0 : std::wcslen(text);
    auto copy = std::make_unique<wchar_t[]>(length + 1);
    if (length != 0) std::memcpy(copy.get(), text, length * sizeof(wchar_t));
    copy[length] = 0;
    return copy;
}

// The path text of a list row: the units above U+0020, at most kMaxPathUnits. False
// when nothing is left.
bool keepPath(const wchar_t* text, wchar_t (&kept)[kMaxPathUnits + 1]) {
    if (text == nullptr) return false;
    int length = 0;
    for (; *text != 0 && length < kMaxPathUnits; ++text) {
        if (*text > 0x20) kept[length++] = *text;
    }
    kept[length] = 0;
    return length != 0;
}

struct PathIds {
    int32_t nameId = 0;
    int32_t pathHash = 0;
    int32_t parentNameId = 0;  // 0 and 0 for a path of one step
    int32_t parentPathHash = 0;
};

// Interns each step of "a>b>c" (the text is cut up in place).
PathIds internPath(wchar_t* steps) {
    PathIds ids;
    for (wchar_t* step = steps;;) {
        ids.parentNameId = ids.nameId;
        ids.parentPathHash = ids.pathHash;
        wchar_t* separator = std::wcschr(step, L'>');
        if (separator == nullptr) {
            internPathStep(step, -1, &ids.nameId, &ids.pathHash);
            return ids;
        }
        step = internPathStep(step, static_cast<int>(separator - step), &ids.nameId, &ids.pathHash);
    }
}

void writeRow(HANDLE file, const wchar_t* keyword, const wchar_t* value, RowValueCheck canWrite) {
    if (canWrite != nullptr && !canWrite(value)) return;
    writeText(file, keyword, -1);
    if (value != nullptr && value[0] != 0) writeText(file, value, -1);
    writeText(file, L"\r\n", 2);
}

// Cuts units up to U+0020 at both ends, in place.
void trimBlankUnits(wchar_t* text) {
    wchar_t* start = text;
    const int length = trimBlanks(start);
    std::memmove(text, start, static_cast<size_t>(length) * sizeof(wchar_t));
    text[length] = 0;
}

}  // namespace

int KeyElementList::find(int32_t childNameId,
                         int32_t childPathHash,
                         int32_t elementNameId,
                         int32_t elementPathHash) const {
    for (int i = 0; i < count; ++i) {
        if (childNameIds[i] == childNameId && childPathHashes[i] == childPathHash &&
            elementNameIds[i] == elementNameId && elementPathHashes[i] == elementPathHash)
            return i;
    }
    return -1;
}

void KeyElementList::append(int32_t childNameId,
                            int32_t childPathHash,
                            int32_t elementNameId,
                            int32_t elementPathHash,
                            std::unique_ptr<wchar_t[]> path) {
    childNameIds[count] = childNameId;
    childPathHashes[count] = childPathHash;
    elementNameIds[count] = elementNameId;
    elementPathHashes[count] = elementPathHash;
    paths[count] = std::move(path);
    ++count;
}

void KeyElementList::removeAt(int index) {
    const int last = count - 1;
    if (index != last) {
        childNameIds[index] = childNameIds[last];
        childPathHashes[index] = childPathHashes[last];
        elementNameIds[index] = elementNameIds[last];
        elementPathHashes[index] = elementPathHashes[last];
        paths[index] = std::move(paths[last]);
    }
    paths[last].reset();
    --count;
}

bool KeyElementList::addPath(const wchar_t* text) {
    if (count >= kMaxPairs) return false;
    wchar_t kept[kMaxPathUnits + 1];
    if (!keepPath(text, kept)) return false;
    wchar_t steps[kMaxPathUnits + 1];
    std::memcpy(steps, kept, sizeof(kept));
    const PathIds ids = internPath(steps);
    if (find(ids.nameId, ids.pathHash, ids.parentNameId, ids.parentPathHash) >= 0) return false;
    append(ids.nameId, ids.pathHash, ids.parentNameId, ids.parentPathHash, copyText(kept));
    return true;
}

void KeyElementList::toggle(const XMLTreeItem& keyChild, const XMLTreeItem* element) {
    const int32_t elementNameId = element == nullptr ? 0 : element->nameId();
    const int32_t elementPathHash = element == nullptr ? 0 : element->pathHash;
    const int index = find(keyChild.nameId(), keyChild.pathHash, elementNameId, elementPathHash);
    if (index >= 0) {
        removeAt(index);
    } else if (count < kMaxPairs) {
        append(keyChild.nameId(), keyChild.pathHash, elementNameId, elementPathHash,
               copyText(keyChild.pathText(1, nullptr, 0)));
    }
}

bool KeyElementList::isKeyChild(const XMLTreeItem& element) const {
    for (int i = 0; i < count; ++i) {
        if (childNameIds[i] == element.nameId() && childPathHashes[i] == element.pathHash) return true;
    }
    return false;
}

bool KeyElementList::isKeyedElement(const XMLTreeItem& element) const {
    for (int i = 0; i < count; ++i) {
        if (elementNameIds[i] == element.nameId() && elementPathHashes[i] == element.pathHash) return true;
    }
    return false;
}

bool KeyElementList::isKeyPair(const XMLTreeItem& child, const XMLTreeItem& element) const {
    return find(child.nameId(), child.pathHash, element.nameId(), element.pathHash) >= 0;
}

void KeyElementList::write(HANDLE file, RowValueCheck canWrite) const {
    for (int i = 0; i < count; ++i)
        writeRow(file, L"KeyElement=", paths[i].get(), canWrite);
}

int EntireElementList::indexOf(int32_t nameId, int32_t pathHash) const {
    for (int i = 0; i < count; ++i) {
        if (nameIds[i] == nameId && pathHashes[i] == pathHash) return i;
    }
    return -1;
}

void EntireElementList::append(int32_t nameId, int32_t pathHash, std::unique_ptr<wchar_t[]> path) {
    nameIds[count] = nameId;
    pathHashes[count] = pathHash;
    paths[count] = std::move(path);
    ++count;
}

bool EntireElementList::addPath(const wchar_t* text) {
    if (count >= kMaxEntries) return false;
    wchar_t kept[kMaxPathUnits + 1];
    if (!keepPath(text, kept)) return false;
    wchar_t steps[kMaxPathUnits + 1];
    std::memcpy(steps, kept, sizeof(kept));
    const PathIds ids = internPath(steps);
    if (indexOf(ids.nameId, ids.pathHash) >= 0) return false;
    append(ids.nameId, ids.pathHash, copyText(kept));
    return true;
}

bool EntireElementList::contains(const XMLTreeItem& element) const {
    return indexOf(element.nameId(), element.pathHash) >= 0;
}

void EntireElementList::toggle(const XMLTreeItem& element) {
    const int index = indexOf(element.nameId(), element.pathHash);
    if (index >= 0) {
        const int last = count - 1;
        if (index != last) {
            nameIds[index] = nameIds[last];
            pathHashes[index] = pathHashes[last];
            paths[index] = std::move(paths[last]);
        }
        paths[last].reset();
        --count;
    } else if (count < kMaxEntries) {
        append(element.nameId(), element.pathHash, copyText(element.pathText(1, nullptr, 0)));
    }
}

void EntireElementList::write(HANDLE file, RowValueCheck canWrite) const {
    for (int i = 0; i < count; ++i)
        writeRow(file, L"EntireElement=", paths[i].get(), canWrite);
}

void KeyAttributeSpec::clear() {
    elementNameId = -1;
    elementPathHash = -1;
    attributeHash = -1;
    path.reset();
    attributeName.reset();
}

void KeyAttributeSpec::setName(const wchar_t* name) {
    attributeName = copyText(name);
    trimBlankUnits(attributeName.get());
    // Under "IgnoreNamespaces" attributes are known by their local parts.
    if (OptionSet::IgnoreNamespaces) attributeName = copyText(localPart(attributeName.get()));
    attributeHash = static_cast<int32_t>(hashName(attributeName.get(), OptionSet::XMLAttributeCaseSensitive));
}

void KeyAttributeSpec::set(const XMLTreeItem* element, const wchar_t* name) {
    if (element != nullptr) clear();
    setName(name);
    if (element != nullptr) {
        elementNameId = element->nameId();
        elementPathHash = element->pathHash;
        path = copyText(element->pathText(1, attributeName.get(), 0));
    }
}

bool KeyAttributeSpec::matches(uint32_t nameHash, const wchar_t* name) const {
    if (static_cast<int32_t>(nameHash) != attributeHash) return false;
    return OptionSet::XMLAttributeCaseSensitive ? textEquals(name, attributeName.get())
                                                : textEqualsNoCase(name, attributeName.get());
}

bool KeyAttributeSpec::matchesName(wchar_t* name) const {
    if (name != nullptr) trimXmlWhiteSpace(name);
    return matches(hashName(name, OptionSet::XMLAttributeCaseSensitive), name);
}

bool KeyAttributeSpec::namesElement(const XMLTreeItem& element) const {
    return isSet() && element.pathHash == elementPathHash && element.nameId() == elementNameId;
}

void KeyAttributeSpec::parse(const wchar_t* text) {
    wchar_t kept[kMaxPathUnits + 1];
    if (!keepPath(text, kept)) return;
    wchar_t* lastStep = std::wcsrchr(kept, L'>');
    lastStep = lastStep == nullptr ? kept : lastStep + 1;
    wchar_t* bar = std::wcschr(lastStep, L'|');
    if (bar == nullptr) return;
    wchar_t steps[kMaxPathUnits + 1];
    const size_t elementLength = static_cast<size_t>(bar - kept);
    std::memcpy(steps, kept, elementLength * sizeof(wchar_t));
    steps[elementLength] = 0;
    const PathIds ids = internPath(steps);
    clear();
    setName(bar + 1);
    elementNameId = ids.nameId;
    elementPathHash = ids.pathHash;
    path = copyText(kept);
}

void KeyAttributeSpec::write(HANDLE file, RowValueCheck canWrite) const {
    if (!isSet() || path == nullptr) return;
    writeRow(file, L"KeyAttribute=", path.get(), canWrite);
}
