#include "model/IgnoreList.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "model/MessageBox.h"
#include "model/NamespaceScope.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"

bool reloadNeeded = false;
IgnoreList ignoreList;

namespace {

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

std::unique_ptr<wchar_t[]> copyText(const wchar_t* text, size_t length) {
    auto copy = std::make_unique<wchar_t[]>(length + 1);
    if (length != 0) std::memcpy(copy.get(), text, length * sizeof(wchar_t));
    copy[length] = 0;
    return copy;
}

int32_t attributeNameHash(const wchar_t* units, int count) {
    return comparedAttributeNameHash(units, count);
}

// A signed decimal number at the start of text; 0 without digits, saturated at 32 bits.
int32_t leadingNumber(const wchar_t* text) {
    bool negative = false;
    if (*text == L'-' || *text == L'+') negative = *text++ == L'-';
    int64_t value = 0;
    for (; isDigit(*text); ++text) {
        if (value <= INT32_MAX) value = value * 10 + (*text - L'0');
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

bool writeUnits(HANDLE file, const wchar_t* text) {
    return text == nullptr || text[0] == 0 || writeText(file, text, -1);
}

}  // namespace

const wchar_t* skipBlanks(const wchar_t* text) {
    if (text == nullptr) return nullptr;
    while (*text != 0 && *text <= 0x20)
        ++text;
    return *text == 0 ? nullptr : text;
}

IgnoreCondition::IgnoreCondition(const wchar_t* name,
                                 int negateFlag,
                                 int testNumber,
                                 int ifNotExistFlag,
                                 const wchar_t* valueText)
    : negate(negateFlag != 0 ? 1 : 0),
      test(static_cast<uint8_t>(testNumber)),
      ifNotExist(ifNotExistFlag != 0 ? 1 : 0),
      value{},
      attributeName{},
      number(0),
      attributeHash(0) {
    copyBounded(value, valueText, kValueUnits - 1);
    if (name != nullptr && name[0] != 0) {
        size_t length = std::wcslen(name);
        if (length > kMaxNameUnits) length = kMaxNameUnits;
        std::memcpy(attributeName, name, length * sizeof(wchar_t));
        attributeName[length] = 0;
        attributeHash = attributeNameHash(attributeName, static_cast<int>(length));
    }
    if (test <= kLengthGreater) number = leadingNumber(value);
}

uint8_t IgnoreCondition::evaluate(int32_t nameHash, const wchar_t* tested) const {
    if (nameHash != attributeHash) return 0;
    const int64_t length = tested == nullptr ? 0 : static_cast<int64_t>(std::wcslen(tested));
    // A condition is written as the document reads: "&nbsp;" for a reference kept as written.
    std::wstring shown;
    if (tested != nullptr && containsKeptReference(tested, static_cast<size_t>(length))) {
        shown = shownText(tested, static_cast<size_t>(length));
        tested = shown.c_str();
    }
    bool result = false;
    switch (test) {
        case kLengthEquals:
            result = length == number;
            break;
        case kLengthLess:
            result = length < number;
            break;
        case kLengthGreater:
            result = length > number;
            break;
        case kEquals:
            result = textEquals(tested, value);
            break;
        case kContains:
            result = textFind(tested, value) >= 0;
            break;
        case kEqualsNoCase:
            result = textEqualsNoCase(tested, value);
            break;
        case kContainsNoCase:
            result = textFindNoCase(tested, value) >= 0;
            break;
        default:
            break;
    }
    return result != (negate != 0) ? kEvaluated | kHolds : kEvaluated;
}

IgnoreRule::IgnoreRule(const XMLTreeItem& element, bool byFullName)
    : nameId(static_cast<uint32_t>(element.nameId())),
      pathHash(byFullName ? static_cast<uint32_t>(element.pathHash) : static_cast<uint32_t>(element.nameId())),
      mode(static_cast<uint8_t>(element.flags & 7)) {
    const wchar_t* text = element.pathText(byFullName ? 1 : 0, nullptr, 0);
    path = copyText(text, std::wcslen(text));
}

IgnoreRule::IgnoreRule(uint32_t id, uint32_t hash, const wchar_t* pathText) : nameId(id), pathHash(hash) {
    path = copyText(pathText == nullptr ? L"" : pathText, pathText == nullptr ? 0 : std::wcslen(pathText));
}

IgnoreRule::~IgnoreRule() {
    // A rule with named attributes shaped the attribute hashes while the documents loaded.
    if (mode >= 4) reloadNeeded = true;
}

bool IgnoreRule::hasAttributeId(int32_t id) const {
    for (int i = 0; i < attributeCount; ++i) {
        if (attributeIds[i] == id) return true;
    }
    return false;
}

void IgnoreRule::clearAttributeNames() {
    attributeNames.reset();
    attributeIds.reset();
    attributeCount = 0;
}

void IgnoreRule::setAttributeNames(const wchar_t* text) {
    if (text == nullptr || text[0] == 0) {
        clearAttributeNames();
        return;
    }
    const size_t length = std::wcslen(text);
    int32_t ids[kMaxAttributes];
    int found = 0;
    // A name starts after U+0020 (or at the start) and ends at the next U+0020; other
    // control characters stay inside a name. The last name allowed runs to the end.
    for (size_t i = 0; i < length && found < kMaxAttributes;) {
        const wchar_t previous = i == 0 ? L' ' : text[i - 1];
        if (text[i] <= 0x20 || previous != L' ') {
            ++i;
            continue;
        }
        size_t end = length;
        if (found < kMaxAttributes - 1) {
            end = i;
            while (end < length && text[end] != L' ')
                ++end;
        }
        size_t start = i;
        size_t last = end;
        while (last > start && isXmlWhiteSpace(text[last - 1]))
            --last;
        ids[found++] = attributeNameHash(text + start, static_cast<int>(last - start));
        i = end;
    }
    if (found == 0) {
        clearAttributeNames();
        return;
    }
    attributeNames = copyText(text, length);
    attributeIds = std::make_unique<int32_t[]>(static_cast<size_t>(found));
    std::memcpy(attributeIds.get(), ids, static_cast<size_t>(found) * sizeof(int32_t));
    attributeCount = static_cast<uint8_t>(found);
}

bool IgnoreRule::setCondition(const wchar_t* attributeName,
                              int negate,
                              int test,
                              int ifNotExist,
                              const wchar_t* value) {
    auto fresh = std::make_unique<IgnoreCondition>(attributeName, negate, test, ifNotExist, value);
    const IgnoreCondition* old = condition.get();
    const bool same = old != nullptr && old->attributeHash == fresh->attributeHash && old->negate == fresh->negate &&
                      old->test == fresh->test && old->ifNotExist == fresh->ifNotExist &&
                      std::wcscmp(old->value, fresh->value) == 0;
    condition = std::move(fresh);
    return same;
}

bool IgnoreRule::appliesWith(uint8_t flags) const {
    if (condition == nullptr) return true;
    if ((flags & IgnoreCondition::kEvaluated) != 0) return (flags & IgnoreCondition::kHolds) != 0;
    return condition->ifNotExist != 0;
}

IgnoreList::~IgnoreList() {
    clear();
}

int IgnoreList::indexOf(uint32_t nameId, uint32_t pathHash) const {
    for (uint32_t i = 0; i < count; ++i) {
        const IgnoreRule& rule = *rules[i];
        if (rule.nameId == nameId && (rule.pathHash == pathHash || rule.pathHash == rule.nameId))
            return static_cast<int>(i);
    }
    return -1;
}

IgnoreRule* IgnoreList::ruleFor(const XMLTreeItem& element) {
    if (count == 0) return nullptr;
    const uint32_t id = static_cast<uint32_t>(element.nameId());
    const uint32_t hash = static_cast<uint32_t>(element.pathHash);
    if (currentRule != nullptr && currentRule->nameId == id &&
        (currentRule->pathHash == hash || currentRule->pathHash == currentRule->nameId))
        return currentRule;
    const int index = indexOf(id, hash);
    currentRule = index < 0 ? nullptr : rules[index].get();
    return currentRule;
}

void IgnoreList::reportFull() {
    showBox(boxOwnerWindow,
            L"The list of ignored elements is full: it holds at most 2048 rules.\n\nThe rule was not added.",
            L"Application Error", MB_OK | MB_ICONERROR);
}

int IgnoreList::addElement(const XMLTreeItem& element, bool byFullName) {
    const int index = indexOf(static_cast<uint32_t>(element.nameId()), static_cast<uint32_t>(element.pathHash));
    if (index >= 0) {
        currentRule = rules[index].get();
        return index;
    }
    if (count >= kMaxRules) {
        currentRule = nullptr;
        reportFull();
        return -1;
    }
    rules[count] = std::make_unique<IgnoreRule>(element, byFullName);
    currentRule = rules[count].get();
    return static_cast<int>(count++);
}

void IgnoreList::removeElement(const XMLTreeItem& element) {
    const int index = indexOf(static_cast<uint32_t>(element.nameId()), static_cast<uint32_t>(element.pathHash));
    if (index >= 0) removeAt(static_cast<uint32_t>(index));
}

void IgnoreList::removeAt(uint32_t index) {
    if (index >= count) return;
    rules[index].reset();
    if (index != count - 1) rules[index] = std::move(rules[count - 1]);
    --count;
    currentRule = nullptr;
    fullReported_ = false;
}

void IgnoreList::clear() {
    for (uint32_t i = 0; i < count; ++i)
        rules[i].reset();
    count = 0;
    currentRule = nullptr;
    commonAttributes.clearAttributeNames();
    fullReported_ = false;
}

void IgnoreList::setCurrentMode(int mode) {
    if (currentRule == nullptr || mode < 0 || mode > IgnoreRule::kMaxMode) return;
    currentRule->mode = static_cast<uint8_t>(mode);
    if (mode >= 4) reloadNeeded = true;
}

bool IgnoreList::currentHasAttribute(wchar_t* name) const {
    if (currentRule == nullptr || name == nullptr) return false;
    trimXmlWhiteSpace(name);
    return currentRule->hasAttributeId(attributeNameHash(name, static_cast<int>(std::wcslen(name))));
}

bool IgnoreList::isCommonAttribute(int32_t nameHash) const {
    return commonAttributes.hasAttributeId(nameHash);
}

bool IgnoreList::parseRule(const wchar_t* value) {
    if (value == nullptr) return false;
    if (count >= kMaxRules) {
        if (!fullReported_) reportFull();
        fullReported_ = true;
        return false;
    }
    const wchar_t* start = skipBlanks(value);
    if (start == nullptr) return false;
    const wchar_t* pathEnd = start;
    while (*pathEnd != 0 && *pathEnd != L' ')
        ++pathEnd;

    uint8_t mode = 0;
    const wchar_t* names = nullptr;
    if (const wchar_t* rest = *pathEnd == 0 ? nullptr : skipBlanks(pathEnd + 1)) {
        if (!isDigit(*rest)) return false;
        int number = 0;
        for (; isDigit(*rest); ++rest) {
            if (number <= IgnoreRule::kMaxMode) number = number * 10 + (*rest - L'0');
        }
        if (number > IgnoreRule::kMaxMode) return false;
        mode = static_cast<uint8_t>(number);
        if (mode >= 4) names = skipBlanks(rest);
    }

    wchar_t kept[IgnoreRule::kMaxPathUnits + 1];
    int length = 0;
    for (const wchar_t* p = start; p < pathEnd && length < IgnoreRule::kMaxPathUnits; ++p) {
        if (*p > 0x20) kept[length++] = *p;
    }
    kept[length] = 0;

    wchar_t steps[IgnoreRule::kMaxPathUnits + 1];
    std::memcpy(steps, kept, (static_cast<size_t>(length) + 1) * sizeof(wchar_t));
    int32_t nameId = 0;
    int32_t pathHash = 0;
    for (wchar_t* step = steps;;) {
        wchar_t* separator = std::wcschr(step, L'>');
        if (separator == nullptr) {
            internPathStep(step, -1, &nameId, &pathHash);
            break;
        }
        step = internPathStep(step, static_cast<int>(separator - step), &nameId, &pathHash);
    }
    if (indexOf(static_cast<uint32_t>(nameId), static_cast<uint32_t>(pathHash)) >= 0) return false;

    auto rule = std::make_unique<IgnoreRule>(static_cast<uint32_t>(nameId), static_cast<uint32_t>(pathHash), kept);
    rule->mode = mode;
    if (mode >= 4) {
        reloadNeeded = true;
        if (names != nullptr) rule->setAttributeNames(names);
    }
    currentRule = rule.get();
    rules[count++] = std::move(rule);
    return true;
}

bool IgnoreList::parseCondition(const wchar_t* value) {
    if (currentRule == nullptr || count == 0 || value == nullptr) return false;
    const wchar_t* p = value;
    while (*p != 0 && *p <= 0x20)
        ++p;
    const wchar_t* token = p;
    while (*p > 0x20)
        ++p;
    if (*p == 0) return false;
    const size_t tokenLength = static_cast<size_t>(p - token);
    // A cut name would hash to no attribute at all: the condition would never hold.
    if (tokenLength > IgnoreCondition::kMaxNameUnits) return false;

    // Each number is one character followed by a blank: a longer one would be read as its
    // first digit, and a test beyond the known ones holds for no text, or with "not" for all.
    int numbers[3];
    for (int& number : numbers) {
        while (*p != 0 && *p <= 0x20)
            ++p;
        if (*p == 0) return false;
        number = isDigit(*p) ? *p - L'0' : -1;
        ++p;
        if (*p > 0x20) return false;
        if (*p != 0) ++p;  // the separator after the number
    }
    if (numbers[1] < 0 || numbers[1] > IgnoreCondition::kContainsNoCase) return false;
    for (int& flag : numbers) {
        if (flag < 0) flag = 0;  // "not" and "if not exist" read any other character as no
    }
    // The value is kept without its blanks and whole: a row without one would leave the rule
    // with no condition, and a cut one would match more texts than the row names.
    int valueUnits = 0;
    for (const wchar_t* unit = p; *unit != 0; ++unit) {
        if (*unit > 0x20) ++valueUnits;
    }
    if (valueUnits == 0 || valueUnits > IgnoreCondition::kValueUnits - 1) return false;

    wchar_t name[IgnoreCondition::kNameUnits];
    std::memcpy(name, token, tokenLength * sizeof(wchar_t));
    name[tokenLength] = 0;
    const bool onText = tokenLength == 6 && std::wcsncmp(token, L"$TEXT$", 6) == 0;
    currentRule->setCondition(onText ? nullptr : name, numbers[0], numbers[1], numbers[2], p);
    return true;
}

bool IgnoreList::parseCommonAttributes(const wchar_t* value) {
    if (value == nullptr) return false;
    commonAttributes.setAttributeNames(value);
    return true;
}

bool IgnoreList::writeRule(HANDLE file, uint32_t index) const {
    if (index >= count) return false;
    const IgnoreRule& rule = *rules[index];
    writeUnits(file, rule.path.get());
    wchar_t modeText[8];
    if (rule.mode == 0) {
        writeUnits(file, L"\r\n");
    } else if (rule.mode >= 4) {
        std::swprintf(modeText, 8, L" %d ", rule.mode);
        writeUnits(file, modeText);
        writeUnits(file, rule.attributeNames.get());
        writeUnits(file, L"\r\n");
    } else {
        std::swprintf(modeText, 8, L" %d\r\n", rule.mode);
        writeUnits(file, modeText);
    }
    return rule.condition != nullptr;
}

void IgnoreList::writeCondition(HANDLE file, uint32_t index) const {
    if (index >= count || rules[index]->condition == nullptr) return;
    const IgnoreCondition& c = *rules[index]->condition;
    wchar_t row[IgnoreCondition::kNameUnits + IgnoreCondition::kValueUnits + 32];
    std::swprintf(row, sizeof(row) / sizeof(row[0]), L"%ls %d %d %d %ls\r\n",
                  c.attributeHash == 0 ? L"$TEXT$" : c.attributeName, c.negate, c.test, c.ifNotExist, c.value);
    writeUnits(file, row);
}

void IgnoreList::writeCommonAttributes(HANDLE file) const {
    writeUnits(file, commonAttributes.attributeNames.get());
    writeUnits(file, L"\r\n");
}
