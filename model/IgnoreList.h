// The rules that take elements, or parts of them, out of the comparison, and the
// attribute names ignored on every element.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

struct XMLTreeItem;

// Set when a change can only take effect on a new parse of the documents.
extern bool reloadNeeded;

// The first unit above U+0020; null for a null, empty or all-blank text.
const wchar_t* skipBlanks(const wchar_t* text);

// A condition on an element's text or on one of its attributes.
struct IgnoreCondition {
    static constexpr int kValueUnits = 32;
    // The tested attribute is matched by the hash of its whole name, so the name is never
    // cut: the dialog and the list-file reader refuse a longer one.
    static constexpr int kNameUnits = 260;
    static constexpr int kMaxNameUnits = kNameUnits - 1;
    // The tests, in the order of the dialog's operator list.
    enum Test : uint8_t {
        kLengthEquals,
        kLengthLess,
        kLengthGreater,
        kEquals,
        kContains,
        kEqualsNoCase,
        kContainsNoCase,
    };
    // evaluate's answers: bit 7 evaluated, bit 6 the outcome.
    static constexpr uint8_t kEvaluated = 0x80;
    static constexpr uint8_t kHolds = 0x40;

    uint8_t negate;
    uint8_t test;
    uint8_t ifNotExist;                 // the outcome when the condition is never evaluated on an element
    wchar_t value[kValueUnits];         // without units up to U+0020, at most 31
    wchar_t attributeName[kNameUnits];  // at most kMaxNameUnits; empty for the element's text
    int32_t number;                     // tests 0-2: the value as a signed number
    int32_t attributeHash;              // 0 for the element's text

    // attributeName null or empty: a condition on the text. Callers refuse a name longer
    // than kMaxNameUnits; one given anyway is cut.
    IgnoreCondition(const wchar_t* attributeName, int negate, int test, int ifNotExist, const wchar_t* value);

    // 0 when nameHash is not the tested attribute's (0: the text); else kEvaluated,
    // with kHolds when the condition holds for tested.
    uint8_t evaluate(int32_t nameHash, const wchar_t* tested) const;
};

struct IgnoreRule {
    // Modes: bit 0 the content, bit 1 the attributes, bit 2 the named attributes; 0 the whole element.
    static constexpr int kMaxMode = 5;
    static constexpr int kMaxAttributes = 128;
    static constexpr int kMaxPathUnits = 2047;

    uint32_t nameId = 0;
    uint32_t pathHash = 0;  // equal to nameId for a rule by name alone
    uint8_t mode = 0;
    uint8_t attributeCount = 0;
    std::unique_ptr<wchar_t[]> path;            // the element path text, or the bare name
    std::unique_ptr<wchar_t[]> attributeNames;  // as given, blank-separated
    std::unique_ptr<int32_t[]> attributeIds;    // hashName of each name
    std::unique_ptr<IgnoreCondition> condition;

    constexpr IgnoreRule() = default;
    // From an element: by its path hash and path text when byFullName, else by its name.
    IgnoreRule(const XMLTreeItem& element, bool byFullName);
    IgnoreRule(uint32_t nameId, uint32_t pathHash, const wchar_t* pathText);
    ~IgnoreRule();
    IgnoreRule(const IgnoreRule&) = delete;
    IgnoreRule& operator=(const IgnoreRule&) = delete;

    bool hasAttributeId(int32_t id) const;
    // Names are separated by U+0020 only; null or empty removes every name.
    void setAttributeNames(const wchar_t* text);
    void clearAttributeNames();
    // Installs a new condition; true when the old one was the same in every part.
    bool setCondition(const wchar_t* attributeName, int negate, int test, int ifNotExist, const wchar_t* value);
    // Whether the rule applies to an element whose loading left these flags.
    bool appliesWith(uint8_t flags) const;
};

class IgnoreList {
public:
    static constexpr uint32_t kMaxRules = 2048;

    constexpr IgnoreList() = default;
    ~IgnoreList();
    IgnoreList(const IgnoreList&) = delete;
    IgnoreList& operator=(const IgnoreList&) = delete;

    // The first rule for these ids: of the same path, or by name alone. -1 when none.
    int indexOf(uint32_t nameId, uint32_t pathHash) const;
    // The rule that applies to the element's place; it becomes the current rule.
    IgnoreRule* ruleFor(const XMLTreeItem& element);
    // The index of the element's rule, made current; a full list refuses a new rule
    // with a box and returns -1 with no current rule.
    int addElement(const XMLTreeItem& element, bool byFullName);
    void removeElement(const XMLTreeItem& element);
    // Moves the last rule into the hole.
    void removeAt(uint32_t index);
    // Every rule and the common ignored attributes.
    void clear();
    // Modes outside 0-5 are refused.
    void setCurrentMode(int mode);
    // Trims name in place.
    bool currentHasAttribute(wchar_t* name) const;
    bool isCommonAttribute(int32_t nameHash) const;

    // The value texts of the list-file rows "IgnoreElement=", "Condition=" and
    // "CommonIgnoredAttributes=". A refused row changes nothing.
    bool parseRule(const wchar_t* value);
    bool parseCondition(const wchar_t* value);
    bool parseCommonAttributes(const wchar_t* value);
    // Row values, each ended by CR LF; the caller writes the keyword before each.
    // writeRule is true when a "Condition=" row must follow.
    bool writeRule(HANDLE file, uint32_t index) const;
    void writeCondition(HANDLE file, uint32_t index) const;
    void writeCommonAttributes(HANDLE file) const;

    std::unique_ptr<IgnoreRule> rules[kMaxRules];  // in insertion order
    IgnoreRule* currentRule = nullptr;             // one of the rules, not owned
    IgnoreRule commonAttributes;                   // only its attribute names and ids are used
    uint32_t count = 0;

private:
    void reportFull();

    bool fullReported_ = false;  // a file of many rows reports the full list once
};

extern IgnoreList ignoreList;
