#include "settings/OptionSet.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "settings/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace OptionSet;

// One registry number and the variable that holds it.
struct NumberValue {
    const wchar_t* name;
    void* storage;
    int bytes;  // 1 for the parser switches held as a byte
    int32_t initial;
    bool resetByDefaults;
    bool exitOnly;
    int32_t roundTrip;  // differs from initial and comes back from a save as it went in
};

const NumberValue kNumbers[] = {
    {L"DoNamespaces", &DoNamespaces, 1, 1, true, false, 0},
    {L"DoSchema", &DoSchema, 1, 1, true, false, 0},
    {L"SchemaFullChecking", &SchemaFullChecking, 1, 0, true, false, 1},
    {L"ValidationErrorAsFatal", &ValidationErrorAsFatal, 1, 0, true, false, 1},
    {L"ContinueAfterFatalError", &ContinueAfterFatalError, 1, 0, true, false, 1},
    {L"SchemaValidation", &SchemaValidation, 4, 0, true, false, 2},
    {L"UseExternalSchema", &UseExternalSchema, 4, 0, true, false, 1},
    {L"AllowNonPrintableChars", &AllowNonPrintableChars, 4, 0, true, false, 1},
    {L"ShowErrorMessages", &ShowErrorMessages, 4, 1, true, false, 0},
    {L"LogErrorMessages", &LogErrorMessages, 4, 0, true, false, 1},
    {L"XMLElementCaseSensitive", &XMLElementCaseSensitive, 4, 1, true, false, 0},
    {L"XMLAttributeCaseSensitive", &XMLAttributeCaseSensitive, 4, 1, true, false, 0},
    {L"CompareLevel", &CompareLevel, 4, 3, true, false, 1},
    {L"FlagComparsion", &FlagComparsion, 4, 0, true, false, 3},
    {L"IgnoreAttributes", &IgnoreAttributes, 4, 0, true, false, 1},
    {L"IgnoreValues", &IgnoreValues, 4, 0, true, false, 1},
    {L"UniqueAttributes", &UniqueAttributes, 4, 0, true, false, 1},
    {L"IgnoreNamespaces", &IgnoreNamespaces, 4, 0, true, false, 1},
    {L"IgnoreOrderElements", &IgnoreOrderElements, 4, 1, true, false, 0},
    {L"NormalizeDate", &NormalizeDate, 4, 0, true, false, 1},
    {L"FlagNormalizeDate", &FlagNormalizeDate, 4, 0, true, false, 2},
    {L"NormalizeNumber", &NormalizeNumber, 4, 0, true, false, 1},
    {L"DecimalPlaces", &DecimalPlaces, 4, -1, true, false, 4},
    {L"SignificantFigures", &SignificantFigures, 4, 0, true, false, 6},
    {L"HighlightChars", &HighlightChars, 4, 0, true, false, 1},
    {L"UseEncoding", &UseEncoding, 4, 0, true, false, 1},
    {L"EndOfLine", &EncodingString.endOfLine, 4, 1, true, false, 2},
    {L"PrintDoctype", &PrintDoctype, 4, 0, true, false, 1},
    {L"InsertPI", &InsertPI, 4, 0, true, false, 1},
    {L"IncludeIgnoredElements", &IncludeIgnoredElements, 4, 0, true, false, 1},
    {L"OpenAfterSave", &OpenAfterSave, 4, 0, true, true, 1},
    {L"ExpandDiff", &ExpandDiff, 4, 0, true, false, 1},
    {L"AutoScroll", &AutoScroll, 4, 1, true, false, 0},
    {L"DisplayConfirmation", &DisplayConfirmation, 4, 1, true, true, 0},
    {L"LoadSeparate", &LoadSeparate, 4, 1, true, true, 0},
    {L"DisplayFullMode", &DisplayFullMode, 4, 1, true, true, 0},
    {L"HandleNewLine", &HandleNewLine, 4, 1, true, true, 0},
    {L"AdjustView", &AdjustView, 4, 0, true, true, 1},
    {L"ResultView", &ResultView, 4, 1, true, true, 0},
    {L"IgnoreElementsByFullName", &IgnoreElementsByFullName, 4, 1, true, true, 0},
    {L"LoadIgnoredAtStartUp", &LoadIgnoredAtStartUp, 4, 0, true, true, 1},
    {L"AddAllElements", &AddAllElements, 4, 0, true, true, 1},
    {L"ShortNameField", &ShortNameField, 4, 0, true, true, 1},
    {L"AutoCompare", &AutoCompare, 4, 1, false, true, 0},
    {L"AutoLoad", &OptionSet::AutoLoad, 4, 0, false, true, 1},
    {L"AutoSelect", &AutoSelect, 4, 1, false, true, 0},
    {L"SplitVertically", &SplitVertically, 4, 1, false, true, 0},
    {L"ViewMode", &ViewMode, 4, 1086, false, true, 1088},
    {L"TipOfTheDay", &TipOfTheDay, 4, 1801, false, true, 1820},
    {L"TopMainPos", &TopMainPos, 4, -111, false, true, 15},
    {L"BottomMainPos", &BottomMainPos, 4, -111, false, true, 415},
    {L"LeftMainPos", &LeftMainPos, 4, -111, false, true, 25},
    {L"RightMainPos", &RightMainPos, 4, -111, false, true, 625},
    {L"ApplicationVersion", &ApplicationVersion, 4, 0, false, true, kApplicationVersion},
};

struct TextValue {
    const wchar_t* name;
    wchar_t* storage;
    const wchar_t* initial;
    bool resetByDefaults;
};

const TextValue kTexts[] = {
    {L"ExternalApplication", ExternalApplication, L"default", true},
    {L"LeftDir", LeftDir, L"", false},
    {L"RightDir", RightDir, L"", false},
    {L"SaveDir", SaveDir, L"", false},
    {L"OptionsDir", OptionsDir, L"", false},
};

int32_t get(const NumberValue& v) {
    if (v.bytes == 1) return *static_cast<uint8_t*>(v.storage);
    int32_t held;
    std::memcpy(&held, v.storage, sizeof(held));
    return held;
}

void put(const NumberValue& v, int32_t held) {
    if (v.bytes == 1) {
        *static_cast<uint8_t*>(v.storage) = static_cast<uint8_t>(held);
    } else {
        std::memcpy(v.storage, &held, sizeof(held));
    }
}

const NumberValue& number(const wchar_t* name) {
    for (const NumberValue& v : kNumbers) {
        if (std::wcscmp(v.name, name) == 0) return v;
    }
    ADD_FAILURE() << "no such value " << narrow(name);
    return kNumbers[0];
}

void putText(wchar_t* storage, const std::wstring& text) {
    std::memcpy(storage, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

bool documentsInPanels = false;

bool testDocumentsLoaded() {
    return documentsInPanels;
}

int checkedBoxes[3] = {};

int testCheckBox(ExitCheckBox which) {
    return checkedBoxes[which];
}

// Every option value and the two hooks, put back after each test.
class OptionSnapshot {
    OptionsSnapshot values;
    bool (*savedDocumentsLoaded)() = documentsLoaded;
    ExitState savedExitState = exitState;

public:
    ~OptionSnapshot() {
        documentsLoaded = savedDocumentsLoaded;
        exitState = savedExitState;
    }
};

class OptionSetTest : public ::testing::Test {
protected:
    OptionSnapshot snapshot;
    std::wstring keyPath = L"Software\\Verdalt-OptionSetTest-" + std::to_wstring(GetCurrentProcessId());

    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
        setProgramKeyPath(keyPath.c_str());
        documentsInPanels = false;
        documentsLoaded = testDocumentsLoaded;
        exitState = ExitState{};
    }

    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, keyPath.c_str());
        setProgramKeyPath(nullptr);
    }

    void putRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key;
        ASSERT_EQ(
            RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void putDword(const wchar_t* name, DWORD value) { putRaw(name, REG_DWORD, &value, sizeof(value)); }
    void putString(const wchar_t* name, const std::wstring& text) {
        putRaw(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    // The stored number, or none when the value is missing or not a REG_DWORD.
    bool storedDword(const wchar_t* name, DWORD* value) {
        DWORD type = 0;
        DWORD size = sizeof(*value);
        return RegGetValueW(HKEY_CURRENT_USER, keyPath.c_str(), name, RRF_RT_ANY, &type, value, &size) ==
                   ERROR_SUCCESS &&
               type == REG_DWORD;
    }
    std::wstring storedString(const wchar_t* name) {
        wchar_t text[512] = {};
        DWORD type = 0;
        DWORD size = sizeof(text);
        if (RegGetValueW(HKEY_CURRENT_USER, keyPath.c_str(), name, RRF_RT_ANY, &type, text, &size) != ERROR_SUCCESS ||
            type != REG_SZ) {
            return L"<missing>";
        }
        return text;
    }
    std::set<std::wstring> storedNames() {
        std::set<std::wstring> names;
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            names.insert(name);
        }
        RegCloseKey(key);
        return names;
    }
    std::set<std::wstring> allNames(bool withExitOnly) {
        std::set<std::wstring> names = {L"Encoding", L"EncodingString", L"PathToExternalSchema"};
        for (const NumberValue& v : kNumbers) {
            if (withExitOnly || !v.exitOnly) names.insert(v.name);
        }
        for (const TextValue& t : kTexts) {
            if (withExitOnly) names.insert(t.name);
        }
        return names;
    }

    // Every value away from its initial value.
    void scrambleAll() {
        for (const NumberValue& v : kNumbers)
            put(v, v.initial + 7);
        for (const TextValue& t : kTexts)
            putText(t.storage, L"C:\\scrambled");
        EncodingString.setName(L"UTF-8");
        EncodingString.endOfLine = 3;
        putText(PathToExternalSchema.fullPath, L"C:\\kept.xsd");
        matchSumLimit = 5;
        matchProductLimit = 6;
        consoleOutput = 0;
        messageBoxes = 0;
    }
};

TEST_F(OptionSetTest, FirstStartWithoutKeyKeepsInitialValuesAndSetsFullLimits) {
    matchSumLimit = 5;
    matchProductLimit = 6;
    loadOptionsFromRegistry();
    for (const NumberValue& v : kNumbers)
        EXPECT_EQ(get(v), v.initial) << narrow(v.name);
    for (const TextValue& t : kTexts)
        EXPECT_EQ(narrow(t.storage), narrow(t.initial)) << narrow(t.name);
    EXPECT_EQ(narrow(EncodingString.name), "<none>");
    EXPECT_EQ(EncodingString.kind, 0u);
    EXPECT_EQ(PathToExternalSchema.fullPath[0], 0);
    EXPECT_EQ(matchSumLimit, UINT32_MAX);
    EXPECT_EQ(matchProductLimit, UINT32_MAX);
    EXPECT_EQ(consoleOutput, 1);
    EXPECT_EQ(messageBoxes, 1);
    EXPECT_TRUE(storedNames().empty()) << "loading must not create the key";
}

TEST_F(OptionSetTest, ResetRestoresResetValuesAndLeavesTheRest) {
    scrambleAll();
    resetOptions(0);
    for (const NumberValue& v : kNumbers) {
        EXPECT_EQ(get(v), v.resetByDefaults ? v.initial : v.initial + 7) << narrow(v.name);
    }
    for (const TextValue& t : kTexts) {
        EXPECT_EQ(narrow(t.storage), t.resetByDefaults ? narrow(t.initial) : "C:\\scrambled") << narrow(t.name);
    }
    EXPECT_EQ(narrow(EncodingString.name), "<none>");
    EXPECT_EQ(EncodingString.codePage, 0u);
    EXPECT_EQ(EncodingString.kind, 0u);
    EXPECT_EQ(narrow(PathToExternalSchema.fullPath), "C:\\kept.xsd");
    EXPECT_EQ(matchSumLimit, UINT32_MAX);
    EXPECT_EQ(matchProductLimit, UINT32_MAX);
    EXPECT_EQ(consoleOutput, 1);
    EXPECT_EQ(messageBoxes, 1);
}

TEST_F(OptionSetTest, ResetKeepsCaseRulesWhileADocumentIsLoadedAndHonoursLogMode) {
    struct Case {
        bool loaded;
        int logMode;
        int32_t caseSensitive;
        int32_t show;
        int32_t log;
        int32_t boxes;
    };
    const Case cases[] = {
        {false, 0, 1, 1, 0, 1},
        {true, 0, 0, 1, 0, 1},
        {false, 1, 1, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "loaded " << c.loaded << " logMode " << c.logMode);
        documentsInPanels = c.loaded;
        XMLElementCaseSensitive = 0;
        XMLAttributeCaseSensitive = 0;
        resetOptions(c.logMode);
        EXPECT_EQ(XMLElementCaseSensitive, c.caseSensitive);
        EXPECT_EQ(XMLAttributeCaseSensitive, c.caseSensitive);
        EXPECT_EQ(ShowErrorMessages, c.show);
        EXPECT_EQ(LogErrorMessages, c.log);
        EXPECT_EQ(messageBoxes, c.boxes);
    }
}

TEST_F(OptionSetTest, EveryValueSurvivesExitSaveAndLoad) {
    for (const NumberValue& v : kNumbers)
        put(v, v.roundTrip);
    EncodingString.setName(L"UTF-16BE");
    EncodingString.endOfLine = 2;
    // The longest text that fits with its NUL.
    const std::wstring longest(kPathLength - 1, L'd');
    const std::wstring texts[] = {L"notepad.exe", L"C:\\left", L"C:\\right \u00e9\u4e2d", longest, L"C:\\options"};
    for (size_t i = 0; i < std::size(kTexts); ++i)
        putText(kTexts[i].storage, texts[i]);
    PathToExternalSchema.set(L"C:\\schemas\\order.xsd");

    saveOptionsToRegistry(1);
    EXPECT_EQ(ApplicationVersion, kApplicationVersion);
    EXPECT_EQ(storedNames(), allNames(true));

    for (const NumberValue& v : kNumbers)
        put(v, v.initial);
    for (const TextValue& t : kTexts)
        putText(t.storage, t.initial);
    EncodingString.reset();
    PathToExternalSchema = FilePath{};
    loadOptionsFromRegistry();

    for (const NumberValue& v : kNumbers)
        EXPECT_EQ(get(v), v.roundTrip) << narrow(v.name);
    for (size_t i = 0; i < std::size(kTexts); ++i) {
        EXPECT_EQ(narrow(kTexts[i].storage), narrow(texts[i])) << narrow(kTexts[i].name);
    }
    EXPECT_EQ(narrow(EncodingString.name), "UTF-16BE");
    EXPECT_EQ(EncodingString.codePage, 1201u);
    EXPECT_EQ(EncodingString.kind, 4u);
    EXPECT_EQ(narrow(PathToExternalSchema.fullPath), "C:\\schemas\\order.xsd");
    EXPECT_EQ(matchSumLimit, 11u);
    EXPECT_EQ(matchProductLimit, 26u);
}

TEST_F(OptionSetTest, NumbersAreWrittenAsHeldOrAsZeroOrOne) {
    struct Case {
        const wchar_t* name;
        int32_t held;
        DWORD stored;
    };
    const Case cases[] = {
        {L"DoNamespaces", 7, 1},      {L"IgnoreAttributes", 5, 1},       {L"AutoScroll", -1, 1},
        {L"NormalizeDate", 3, 1},     {L"IgnoreOrderElements", 0, 0},    {L"DecimalPlaces", -1, 0xFFFFFFFF},
        {L"CompareLevel", 9, 9},      {L"FlagNormalizeDate", 2, 2},      {L"SignificantFigures", 10, 10},
        {L"TipOfTheDay", 1843, 1843}, {L"SchemaValidation", 2, 2},       {L"EndOfLine", 3, 3},
        {L"FlagComparsion", 3, 3},    {L"TopMainPos", -111, 0xFFFFFF91}, {L"ViewMode", 1087, 1087},
        {L"ResultView", 4, 1},        {L"UseExternalSchema", 2, 1},
    };
    EncodingString.setName(L"UTF-8");
    for (const Case& c : cases)
        put(number(c.name), c.held);
    saveOptionsToRegistry(1);
    for (const Case& c : cases) {
        DWORD stored = 0xDEAD;
        EXPECT_TRUE(storedDword(c.name, &stored)) << narrow(c.name);
        EXPECT_EQ(stored, c.stored) << narrow(c.name);
    }
    DWORD encoding = 0;
    EXPECT_TRUE(storedDword(L"Encoding", &encoding));
    EXPECT_EQ(encoding, 3u);
    EXPECT_EQ(narrow(storedString(L"EncodingString")), "UTF-8");
}

TEST_F(OptionSetTest, OptionsOkWritesNoWindowFoldersOrVersion) {
    TopMainPos = 40;
    putText(SaveDir, L"C:\\out");
    saveOptionsToRegistry(0);
    EXPECT_EQ(storedNames(), allNames(false));
    EXPECT_EQ(ApplicationVersion, 0);
}

TEST_F(OptionSetTest, ExitSaveTakesRectangleAndCheckBoxesFromTheMainWindow) {
    HWND window = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 70, 50, 500, 300, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window, &rect));
    exitState.mainWindow = window;
    exitState.checkBox = testCheckBox;
    checkedBoxes[kAutoSelectBox] = 0;
    checkedBoxes[kAutoCompareBox] = 5;
    checkedBoxes[kAutoLoadBox] = 1;
    AutoSelect = 1;
    AutoCompare = 0;
    OptionSet::AutoLoad = 0;

    saveOptionsToRegistry(1);
    DestroyWindow(window);

    EXPECT_EQ(TopMainPos, rect.top);
    EXPECT_EQ(BottomMainPos, rect.bottom);
    EXPECT_EQ(LeftMainPos, rect.left);
    EXPECT_EQ(RightMainPos, rect.right);
    EXPECT_EQ(AutoSelect, 0);
    EXPECT_EQ(AutoCompare, 1);
    EXPECT_EQ(OptionSet::AutoLoad, 1);
    const std::pair<const wchar_t*, LONG> stored[] = {
        {L"TopMainPos", rect.top},
        {L"BottomMainPos", rect.bottom},
        {L"LeftMainPos", rect.left},
        {L"RightMainPos", rect.right},
        {L"AutoSelect", 0},
        {L"AutoCompare", 1},
        {L"AutoLoad", 1},
    };
    for (const auto& s : stored) {
        DWORD value = 0xDEAD;
        EXPECT_TRUE(storedDword(s.first, &value)) << narrow(s.first);
        EXPECT_EQ(static_cast<LONG>(value), s.second) << narrow(s.first);
    }
}

TEST_F(OptionSetTest, ExitSaveWithoutMainWindowWritesHeldRectangleAndBoxes) {
    TopMainPos = 12;
    AutoSelect = 0;
    OptionSet::AutoLoad = 1;
    saveOptionsToRegistry(1);
    DWORD value = 0;
    EXPECT_TRUE(storedDword(L"TopMainPos", &value));
    EXPECT_EQ(value, 12u);
    EXPECT_TRUE(storedDword(L"BottomMainPos", &value));
    EXPECT_EQ(value, static_cast<DWORD>(-111));
    EXPECT_TRUE(storedDword(L"AutoSelect", &value));
    EXPECT_EQ(value, 0u);
    EXPECT_TRUE(storedDword(L"AutoLoad", &value));
    EXPECT_EQ(value, 1u);
}

TEST_F(OptionSetTest, NumbersAreTakenOnlyFromDwordsAndRangeChecked) {
    struct Case {
        const wchar_t* name;
        int32_t before;
        DWORD type;
        DWORD stored;
        int32_t after;
    };
    const Case cases[] = {
        {L"DoNamespaces", 0, REG_DWORD, 5, 1},
        {L"DoSchema", 1, REG_DWORD, 0, 0},
        {L"DoNamespaces", 0, REG_SZ, 0, 0},
        {L"CompareLevel", 3, REG_BINARY, 2, 3},
        {L"CompareLevel", 3, REG_QWORD, 2, 3},
        {L"IgnoreAttributes", 0, REG_DWORD, 5, 5},
        {L"DecimalPlaces", 4, REG_DWORD, 0xFFFFFFFF, -1},
        {L"TipOfTheDay", 1801, REG_DWORD, 0, 0},
        {L"FlagComparsion", 0, REG_DWORD, 7, 3},
        {L"FlagComparsion", 0, REG_DWORD, 0xFFFFFFFE, 2},
        {L"ViewMode", 1088, REG_DWORD, 1085, 1086},
        {L"ViewMode", 1088, REG_DWORD, 1089, 1086},
        {L"ViewMode", 1086, REG_DWORD, 1087, 1087},
        {L"SchemaValidation", 2, REG_DWORD, 3, 0},
        {L"SchemaValidation", 1, REG_DWORD, 0xFFFFFFFF, 0},
        {L"SchemaValidation", 0, REG_DWORD, 2, 2},
        {L"EndOfLine", 2, REG_DWORD, 4, 1},
        {L"EndOfLine", 2, REG_DWORD, 0xFFFFFFFF, 1},
        {L"EndOfLine", 2, REG_DWORD, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << narrow(c.name) << " type " << c.type << " stored " << c.stored);
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
        if (c.type == REG_SZ) {
            putString(c.name, L"1");
        } else if (c.type == REG_QWORD) {
            const uint64_t wide = c.stored;
            putRaw(c.name, c.type, &wide, sizeof(wide));
        } else {
            putRaw(c.name, c.type, &c.stored, sizeof(c.stored));
        }
        EncodingString.setName(L"UTF-8");
        put(number(c.name), c.before);
        loadOptionsFromRegistry();
        EXPECT_EQ(get(number(c.name)), c.after);
    }
}

TEST_F(OptionSetTest, TextsAreTakenOnlyFromNonEmptyStringsThatFit) {
    struct Case {
        const char* what;
        DWORD type;
        std::wstring stored;
        bool withNul;
        const wchar_t* after;  // null: the stored text
    };
    const std::wstring longest(kPathLength - 1, L'x');
    const Case cases[] = {
        {"plain", REG_SZ, L"C:\\new", true, nullptr},
        {"longest that fits", REG_SZ, longest, true, nullptr},
        {"stored without NUL", REG_SZ, L"C:\\raw", false, nullptr},
        {"empty", REG_SZ, L"", true, L"C:\\keep"},
        {"only a NUL", REG_SZ, std::wstring(1, L'\0'), false, L"C:\\keep"},
        {"260 units", REG_SZ, std::wstring(kPathLength, L'y'), true, L"C:\\keep"},
        {"260 units without NUL", REG_SZ, std::wstring(kPathLength, L'y'), false, L"C:\\keep"},
        {"far too long", REG_SZ, std::wstring(1000, L'z'), true, L"C:\\keep"},
        {"expandable", REG_EXPAND_SZ, L"C:\\x", true, L"C:\\keep"},
        {"number", REG_DWORD, L"ab", false, L"C:\\keep"},
    };
    for (const TextValue& t : kTexts) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << narrow(t.name) << ": " << c.what);
            RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
            putRaw(t.name, c.type, c.stored.c_str(),
                   static_cast<DWORD>((c.stored.size() + (c.withNul ? 1 : 0)) * sizeof(wchar_t)));
            putText(t.storage, L"C:\\keep");
            loadOptionsFromRegistry();
            EXPECT_EQ(narrow(t.storage), narrow(c.after ? std::wstring(c.after) : c.stored));
        }
    }
}

TEST_F(OptionSetTest, CompareLevelSetsMatchingLimits) {
    struct Case {
        int32_t level;
        uint32_t sum;
        uint32_t product;
    };
    constexpr uint32_t kUnchangedSum = 7;
    constexpr uint32_t kUnchangedProduct = 8;
    const Case cases[] = {
        {0, 0, 0},
        {1, 11, 26},
        {2, 21, 101},
        {3, UINT32_MAX, UINT32_MAX},
        {4, kUnchangedSum, kUnchangedProduct},
        {9, kUnchangedSum, kUnchangedProduct},
        {-1, kUnchangedSum, kUnchangedProduct},
        {INT_MIN, kUnchangedSum, kUnchangedProduct},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        putDword(L"CompareLevel", static_cast<DWORD>(c.level));
        matchSumLimit = kUnchangedSum;
        matchProductLimit = kUnchangedProduct;
        loadOptionsFromRegistry();
        EXPECT_EQ(CompareLevel, c.level);
        EXPECT_EQ(matchSumLimit, c.sum);
        EXPECT_EQ(matchProductLimit, c.product);
    }
}

TEST_F(OptionSetTest, DateModeIsHeldInTwoValuesAndComesBackAfterReload) {
    struct Case {
        int mode;
        int32_t normalizeDate;
        int32_t flag;
        DWORD storedNormalizeDate;
    };
    const Case cases[] = {
        {0, 0, 0, 0},
        {1, 1, 0, 1},
        {2, 2, 2, 1},
        {3, 3, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        setNormalizeDateMode(c.mode);
        EXPECT_EQ(NormalizeDate, c.normalizeDate);
        EXPECT_EQ(FlagNormalizeDate, c.flag);
        EXPECT_EQ(getNormalizeDateMode(), c.mode);
        saveOptionsToRegistry(0);
        DWORD stored = 0xDEAD;
        EXPECT_TRUE(storedDword(L"NormalizeDate", &stored));
        EXPECT_EQ(stored, c.storedNormalizeDate);
        setNormalizeDateMode(0);
        loadOptionsFromRegistry();
        EXPECT_EQ(NormalizeDate, static_cast<int32_t>(c.storedNormalizeDate));
        EXPECT_EQ(getNormalizeDateMode(), c.mode);
    }
}

TEST_F(OptionSetTest, DateModeReadsAnyPairOfValues) {
    struct Case {
        int32_t normalizeDate;
        int32_t flag;
        int mode;
    };
    const Case cases[] = {{0, 1, 0}, {0, 2, 0}, {5, 7, 1}, {1, -1, 1}, {1, 2, 2}, {7, 1, 3}};
    for (const Case& c : cases) {
        NormalizeDate = c.normalizeDate;
        FlagNormalizeDate = c.flag;
        EXPECT_EQ(getNormalizeDateMode(), c.mode) << c.normalizeDate << ", " << c.flag;
    }
}

TEST_F(OptionSetTest, EndOfLineFollowsTheEncodingName) {
    constexpr DWORD kNotStored = 0xFFFF;
    struct Case {
        const wchar_t* storedName;  // null: not stored
        DWORD storedEndOfLine;
        DWORD storedKind;
        const char* name;
        uint32_t kind;
        int32_t endOfLine;
    };
    const Case cases[] = {
        {L"<none>", 2, kNotStored, "<none>", 0, 1},
        {L"UTF-8", 2, kNotStored, "UTF-8", 3, 2},
        {L"UTF-16BE", 3, kNotStored, "UTF-16BE", 4, 3},
        {L"bogus", 3, kNotStored, "<none>", 0, 1},
        {nullptr, 3, kNotStored, "windows-1252", 1, 3},
        {L"UTF-8", kNotStored, kNotStored, "UTF-8", 3, 0},
        {L"UTF-8", 2, 4, "UTF-8", 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storedName ? narrow(c.storedName) : "no name");
        RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
        if (c.storedName) putString(L"EncodingString", c.storedName);
        if (c.storedEndOfLine != kNotStored) putDword(L"EndOfLine", c.storedEndOfLine);
        if (c.storedKind != kNotStored) putDword(L"Encoding", c.storedKind);
        EncodingString.setName(L"windows-1252");
        EncodingString.endOfLine = 0;
        loadOptionsFromRegistry();
        EXPECT_EQ(narrow(EncodingString.name), c.name);
        EXPECT_EQ(EncodingString.kind, c.kind);
        EXPECT_EQ(EncodingString.endOfLine, c.endOfLine);
    }
}

TEST_F(OptionSetTest, ProgramKeyPathDefaultsToTheProgramsKey) {
    setProgramKeyPath(nullptr);
    EXPECT_EQ(narrow(programKeyPath()), "Software\\Verdalt");
    setProgramKeyPath(L"Software\\Elsewhere");
    EXPECT_EQ(narrow(programKeyPath()), "Software\\Elsewhere");
    setProgramKeyPath(L"");
    EXPECT_EQ(narrow(programKeyPath()), "Software\\Verdalt");
}

}  // namespace
