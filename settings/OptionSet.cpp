#include "settings/OptionSet.h"

#include <climits>
#include <cstddef>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "settings/Registry.h"

namespace OptionSet {

uint8_t DoNamespaces = 1;
uint8_t DoSchema = 1;
uint8_t SchemaFullChecking = 0;
uint8_t ValidationErrorAsFatal = 0;
uint8_t ContinueAfterFatalError = 0;
int32_t SchemaValidation = 0;
int32_t UseExternalSchema = 0;
FilePath PathToExternalSchema;
int32_t AllowNonPrintableChars = 0;
int32_t ShowErrorMessages = 1;
int32_t LogErrorMessages = 0;
int32_t XMLElementCaseSensitive = 1;
int32_t XMLAttributeCaseSensitive = 1;

int32_t CompareLevel = 3;
uint32_t FlagComparsion = 0;
int32_t IgnoreAttributes = 0;
int32_t IgnoreValues = 0;
int32_t UniqueAttributes = 0;
int32_t IgnoreNamespaces = 0;
int32_t IgnoreOrderElements = 1;
int32_t NormalizeDate = 0;
int32_t FlagNormalizeDate = 0;
int32_t NormalizeNumber = 0;
int32_t DecimalPlaces = -1;
int32_t SignificantFigures = 0;
int32_t HighlightChars = 0;

int32_t UseEncoding = 0;
EncodingSpec EncodingString;
int32_t PrintDoctype = 0;
int32_t InsertPI = 0;
int32_t IncludeIgnoredElements = 0;
int32_t OpenAfterSave = 0;
wchar_t ExternalApplication[kPathLength] = L"default";

int32_t ExpandDiff = 0;
int32_t AutoScroll = 1;
int32_t DisplayConfirmation = 1;
int32_t LoadSeparate = 1;
int32_t DisplayFullMode = 1;
int32_t HandleNewLine = 1;
int32_t AdjustView = 0;
int32_t ResultView = 1;
int32_t IgnoreElementsByFullName = 1;
int32_t LoadIgnoredAtStartUp = 0;
int32_t AddAllElements = 0;
int32_t ShortNameField = 0;
int32_t AutoCompare = 1;
int32_t AutoLoad = 0;
int32_t AutoSelect = 1;
int32_t SplitVertically = 1;
int32_t ViewMode = 1086;
int32_t TipOfTheDay = 1801;
int32_t TopMainPos = -111;
int32_t BottomMainPos = -111;
int32_t LeftMainPos = -111;
int32_t RightMainPos = -111;
int32_t ApplicationVersion = 0;
wchar_t LeftDir[kPathLength] = L"";
wchar_t RightDir[kPathLength] = L"";
wchar_t SaveDir[kPathLength] = L"";
wchar_t OptionsDir[kPathLength] = L"";

uint32_t matchSumLimit = UINT32_MAX;
uint32_t matchProductLimit = UINT32_MAX;
int32_t consoleOutput = 1;
int32_t messageBoxes = 1;

namespace {
bool noDocumentsLoaded() {
    return false;
}
}  // namespace

bool (*documentsLoaded)() = noDocumentsLoaded;
ExitState exitState;

namespace {

enum class Kind : uint8_t {
    Flag,            // a byte: any non-zero value reads as 1; written as 0 or 1
    Switch,          // i32 taken as stored, written as 1 when not 0
    Number,          // i32 or u32 taken and written as held; outside [low, high] it reads as fallback
    ComparisonMode,  // two bits: ignore white space, not case sensitive
    Text,            // kPathLength units
    EncodingName,    // the name of "EncodingString"
    SchemaPath,      // the full path of "PathToExternalSchema"
    EncodingKind,    // written only: the kind follows from the name when the name is read
};

struct RegistryValue {
    const wchar_t* name;
    Kind kind;
    void* storage;
    int32_t low = INT32_MIN;
    int32_t high = INT32_MAX;
    int32_t fallback = 0;
};

// In the order of reading. "EndOfLine" comes before "EncodingString": a name that is not recognised resets
// the end of line to CR LF. The ranges guard values that index tables and menus.
constexpr RegistryValue kValues[] = {
    {L"DoNamespaces", Kind::Flag, &DoNamespaces},
    {L"DoSchema", Kind::Flag, &DoSchema},
    {L"SchemaFullChecking", Kind::Flag, &SchemaFullChecking},
    {L"ValidationErrorAsFatal", Kind::Flag, &ValidationErrorAsFatal},
    {L"ContinueAfterFatalError", Kind::Flag, &ContinueAfterFatalError},
    {L"SchemaValidation", Kind::Number, &SchemaValidation, 0, 2, 0},
    {L"UseExternalSchema", Kind::Switch, &UseExternalSchema},
    {L"Encoding", Kind::EncodingKind, &EncodingString},
    {L"CompareLevel", Kind::Number, &CompareLevel},
    {L"IgnoreAttributes", Kind::Switch, &IgnoreAttributes},
    {L"UniqueAttributes", Kind::Switch, &UniqueAttributes},
    {L"IgnoreValues", Kind::Switch, &IgnoreValues},
    {L"IgnoreNamespaces", Kind::Switch, &IgnoreNamespaces},
    {L"IgnoreOrderElements", Kind::Switch, &IgnoreOrderElements},
    {L"IncludeIgnoredElements", Kind::Switch, &IncludeIgnoredElements},
    {L"PrintDoctype", Kind::Switch, &PrintDoctype},
    {L"InsertPI", Kind::Switch, &InsertPI},
    {L"NormalizeDate", Kind::Switch, &NormalizeDate},
    {L"FlagNormalizeDate", Kind::Number, &FlagNormalizeDate},
    {L"NormalizeNumber", Kind::Switch, &NormalizeNumber},
    {L"DecimalPlaces", Kind::Number, &DecimalPlaces},
    {L"SignificantFigures", Kind::Number, &SignificantFigures},
    {L"FlagComparsion", Kind::ComparisonMode, &FlagComparsion},
    {L"ShowErrorMessages", Kind::Switch, &ShowErrorMessages},
    {L"LogErrorMessages", Kind::Switch, &LogErrorMessages},
    {L"XMLElementCaseSensitive", Kind::Switch, &XMLElementCaseSensitive},
    {L"XMLAttributeCaseSensitive", Kind::Switch, &XMLAttributeCaseSensitive},
    {L"AllowNonPrintableChars", Kind::Switch, &AllowNonPrintableChars},
    {L"LoadIgnoredAtStartUp", Kind::Switch, &LoadIgnoredAtStartUp},
    {L"UseEncoding", Kind::Switch, &UseEncoding},
    {L"HighlightChars", Kind::Switch, &HighlightChars},
    {L"ExpandDiff", Kind::Switch, &ExpandDiff},
    {L"EndOfLine", Kind::Number, &EncodingString.endOfLine, 0, 3, 1},
    {L"EncodingString", Kind::EncodingName, &EncodingString},
    {L"PathToExternalSchema", Kind::SchemaPath, &PathToExternalSchema},
    {L"TipOfTheDay", Kind::Number, &TipOfTheDay},
    {L"TopMainPos", Kind::Number, &TopMainPos},
    {L"BottomMainPos", Kind::Number, &BottomMainPos},
    {L"LeftMainPos", Kind::Number, &LeftMainPos},
    {L"RightMainPos", Kind::Number, &RightMainPos},
    {L"OpenAfterSave", Kind::Switch, &OpenAfterSave},
    {L"AutoCompare", Kind::Switch, &AutoCompare},
    {L"AutoLoad", Kind::Switch, &AutoLoad},
    {L"AutoSelect", Kind::Switch, &AutoSelect},
    {L"DisplayConfirmation", Kind::Switch, &DisplayConfirmation},
    {L"LoadSeparate", Kind::Switch, &LoadSeparate},
    {L"DisplayFullMode", Kind::Switch, &DisplayFullMode},
    {L"HandleNewLine", Kind::Switch, &HandleNewLine},
    {L"AdjustView", Kind::Switch, &AdjustView},
    {L"ResultView", Kind::Switch, &ResultView},
    {L"AutoScroll", Kind::Switch, &AutoScroll},
    {L"SplitVertically", Kind::Switch, &SplitVertically},
    {L"ApplicationVersion", Kind::Number, &ApplicationVersion},
    {L"ViewMode", Kind::Number, &ViewMode, 1086, 1088, 1086},
    {L"AddAllElements", Kind::Switch, &AddAllElements},
    {L"ShortNameField", Kind::Switch, &ShortNameField},
    {L"IgnoreElementsByFullName", Kind::Switch, &IgnoreElementsByFullName},
    {L"LeftDir", Kind::Text, LeftDir},
    {L"RightDir", Kind::Text, RightDir},
    {L"SaveDir", Kind::Text, SaveDir},
    {L"OptionsDir", Kind::Text, OptionsDir},
    {L"ExternalApplication", Kind::Text, ExternalApplication},
};

size_t storageBytes(Kind kind) {
    switch (kind) {
    case Kind::Flag: return sizeof(uint8_t);
    case Kind::Text: return kPathLength * sizeof(wchar_t);
    case Kind::EncodingName:
    case Kind::EncodingKind: return sizeof(EncodingSpec);
    case Kind::SchemaPath: return sizeof(FilePath);
    default: return sizeof(int32_t);
    }
}

// Written at exit before the toolbar check boxes are read.
constexpr const wchar_t* kExitValues[] = {
    L"TipOfTheDay", L"TopMainPos",         L"BottomMainPos",       L"LeftMainPos", L"RightMainPos",
    L"ViewMode",    L"ApplicationVersion", L"ExternalApplication", L"LeftDir",     L"RightDir",
    L"SaveDir",     L"OptionsDir",         L"OpenAfterSave",
};

// Written at exit after the toolbar check boxes are read.
constexpr const wchar_t* kExitDisplayValues[] = {
    L"DisplayConfirmation",      L"LoadSeparate",    L"AutoSelect",           L"AutoCompare",    L"AutoLoad",
    L"SplitVertically",          L"DisplayFullMode", L"HandleNewLine",        L"AdjustView",     L"ResultView",
    L"IgnoreElementsByFullName", L"AddAllElements",  L"LoadIgnoredAtStartUp", L"ShortNameField",
};

// Written at exit and by Options OK.
constexpr const wchar_t* kAlwaysValues[] = {
    L"DoNamespaces",
    L"DoSchema",
    L"SchemaFullChecking",
    L"ValidationErrorAsFatal",
    L"ContinueAfterFatalError",
    L"UseExternalSchema",
    L"SchemaValidation",
    L"PathToExternalSchema",
    L"Encoding",
    L"EncodingString",
    L"CompareLevel",
    L"EndOfLine",
    L"FlagComparsion",
    L"DecimalPlaces",
    L"SignificantFigures",
    L"FlagNormalizeDate",
    L"IgnoreAttributes",
    L"UniqueAttributes",
    L"IgnoreValues",
    L"IgnoreNamespaces",
    L"IgnoreOrderElements",
    L"IncludeIgnoredElements",
    L"PrintDoctype",
    L"InsertPI",
    L"UseEncoding",
    L"NormalizeDate",
    L"NormalizeNumber",
    L"ShowErrorMessages",
    L"LogErrorMessages",
    L"HighlightChars",
    L"ExpandDiff",
    L"AutoScroll",
    L"XMLElementCaseSensitive",
    L"XMLAttributeCaseSensitive",
    L"AllowNonPrintableChars",
};

constexpr bool sameName(const wchar_t* a, const wchar_t* b) {
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr const RegistryValue* findValue(const wchar_t* name) {
    for (const RegistryValue& value : kValues) {
        if (sameName(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

template <size_t N>
constexpr bool allKnown(const wchar_t* const (&names)[N]) {
    for (const wchar_t* name : names) {
        if (findValue(name) == nullptr) {
            return false;
        }
    }
    return true;
}

static_assert(allKnown(kExitValues) && allKnown(kExitDisplayValues) && allKnown(kAlwaysValues),
              "every value written must be one that is read");

struct MatchLimits {
    uint32_t sum;
    uint32_t product;
};

// By "CompareLevel": Strict, Fast, Normal, Full.
constexpr MatchLimits kLevelLimits[] = {{0, 0}, {11, 26}, {21, 101}, {UINT32_MAX, UINT32_MAX}};

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool open() { return RegOpenKeyExW(HKEY_CURRENT_USER, programKeyPath(), 0, KEY_READ, &key_) == ERROR_SUCCESS; }
    bool create() {
        return RegCreateKeyExW(HKEY_CURRENT_USER, programKeyPath(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                               nullptr, &key_, nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool readNumber(HKEY key, const wchar_t* name, uint32_t* number) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return false;
    }
    *number = data;
    return true;
}

// A value that does not fit the buffer with its NUL fails the query and is skipped; the registry does not
// promise the NUL, so the text is ended here.
bool readText(HKEY key, const wchar_t* name, wchar_t (&text)[kPathLength]) {
    DWORD type = 0;
    DWORD size = sizeof(text);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    size_t units = size / sizeof(wchar_t);
    if (units > 0 && text[units - 1] == 0) {
        --units;
    }
    if (units >= static_cast<size_t>(kPathLength)) {
        return false;
    }
    text[units] = 0;
    return text[0] != 0;
}

void readValue(HKEY key, const RegistryValue& value) {
    uint32_t number = 0;
    wchar_t text[kPathLength];
    switch (value.kind) {
        case Kind::Flag:
            if (readNumber(key, value.name, &number)) {
                *static_cast<uint8_t*>(value.storage) = number != 0 ? 1 : 0;
            }
            break;
        case Kind::Switch:
        case Kind::Number:
            if (readNumber(key, value.name, &number)) {
                int32_t held = static_cast<int32_t>(number);
                if (held < value.low || held > value.high) {
                    held = value.fallback;
                }
                std::memcpy(value.storage, &held, sizeof(held));
            }
            break;
        case Kind::ComparisonMode:
            if (readNumber(key, value.name, &number)) {
                *static_cast<uint32_t*>(value.storage) = number & 3;
            }
            break;
        case Kind::Text:
            if (readText(key, value.name, text)) {
                std::memcpy(value.storage, text, (std::wcslen(text) + 1) * sizeof(wchar_t));
            }
            break;
        case Kind::EncodingName:
            if (readText(key, value.name, text)) {
                static_cast<EncodingSpec*>(value.storage)->setName(text);
            }
            break;
        case Kind::SchemaPath:
            if (readText(key, value.name, text)) {
                static_cast<FilePath*>(value.storage)->set(text);
            }
            break;
        case Kind::EncodingKind:
            break;
    }
}

void writeNumber(HKEY key, const wchar_t* name, uint32_t number) {
    const DWORD data = number;
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
}

// The stored text always ends with its NUL, also when the held one fills its array.
void writeString(HKEY key, const wchar_t* name, const wchar_t* text, size_t capacity) {
    wchar_t copy[kPathLength];
    const size_t length = wcsnlen(text, (capacity < std::size(copy) ? capacity : std::size(copy)) - 1);
    std::memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = 0;
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(copy),
                   static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
}

void writeValue(HKEY key, const RegistryValue& value) {
    uint32_t number = 0;
    switch (value.kind) {
        case Kind::Flag:
            writeNumber(key, value.name, *static_cast<const uint8_t*>(value.storage) != 0 ? 1 : 0);
            break;
        case Kind::Switch:
            std::memcpy(&number, value.storage, sizeof(number));
            writeNumber(key, value.name, number != 0 ? 1 : 0);
            break;
        case Kind::Number:
        case Kind::ComparisonMode:
            std::memcpy(&number, value.storage, sizeof(number));
            writeNumber(key, value.name, number);
            break;
        case Kind::Text:
            writeString(key, value.name, static_cast<const wchar_t*>(value.storage), kPathLength);
            break;
        case Kind::EncodingName:
            writeString(key, value.name, static_cast<const EncodingSpec*>(value.storage)->name,
                        EncodingSpec::kNameUnits);
            break;
        case Kind::SchemaPath:
            writeString(key, value.name, static_cast<const FilePath*>(value.storage)->fullPath, FilePath::kPathUnits);
            break;
        case Kind::EncodingKind:
            writeNumber(key, value.name, static_cast<const EncodingSpec*>(value.storage)->kind);
            break;
    }
}

template <size_t N>
void writeValues(HKEY key, const wchar_t* const (&names)[N]) {
    for (const wchar_t* name : names) {
        writeValue(key, *findValue(name));
    }
}

void takeWindowRectangle() {
    RECT rect;
    if (exitState.mainWindow == nullptr || !GetWindowRect(exitState.mainWindow, &rect)) {
        return;
    }
    TopMainPos = rect.top;
    BottomMainPos = rect.bottom;
    LeftMainPos = rect.left;
    RightMainPos = rect.right;
}

void takeCheckBoxes() {
    if (exitState.checkBox == nullptr) {
        return;
    }
    AutoSelect = exitState.checkBox(kAutoSelectBox) != 0 ? 1 : 0;
    AutoCompare = exitState.checkBox(kAutoCompareBox) != 0 ? 1 : 0;
    AutoLoad = exitState.checkBox(kAutoLoadBox) != 0 ? 1 : 0;
}

}  // namespace
}  // namespace OptionSet

using namespace OptionSet;

void resetOptions(int logMode) {
    DoNamespaces = 1;
    DoSchema = 1;
    SchemaFullChecking = 0;
    ValidationErrorAsFatal = 0;
    ContinueAfterFatalError = 0;
    SchemaValidation = 0;
    UseExternalSchema = 0;
    AllowNonPrintableChars = 0;
    ShowErrorMessages = logMode ? 0 : 1;
    LogErrorMessages = logMode ? 1 : 0;
    messageBoxes = logMode ? 0 : 1;
    consoleOutput = 1;

    CompareLevel = 3;
    FlagComparsion = 0;
    IgnoreAttributes = 0;
    IgnoreValues = 0;
    UniqueAttributes = 0;
    IgnoreNamespaces = 0;
    IgnoreOrderElements = 1;
    setNormalizeDateMode(0);
    NormalizeNumber = 0;
    DecimalPlaces = -1;
    SignificantFigures = 0;
    HighlightChars = 0;

    UseEncoding = 0;
    EncodingString.reset();
    PrintDoctype = 0;
    InsertPI = 0;
    IncludeIgnoredElements = 0;
    OpenAfterSave = 0;
    std::memcpy(ExternalApplication, L"default", sizeof(L"default"));

    ExpandDiff = 0;
    AutoScroll = 1;
    DisplayConfirmation = 1;
    LoadSeparate = 1;
    DisplayFullMode = 1;
    HandleNewLine = 1;
    AdjustView = 0;
    ResultView = 1;
    IgnoreElementsByFullName = 1;
    LoadIgnoredAtStartUp = 0;
    AddAllElements = 0;
    ShortNameField = 0;

    if (documentsLoaded == nullptr || !documentsLoaded()) {
        XMLElementCaseSensitive = 1;
        XMLAttributeCaseSensitive = 1;
    }
    applyCompareLevel();
}

void loadOptionsFromRegistry() {
    RegistryKey key;
    if (key.open()) {
        for (const RegistryValue& value : kValues) {
            readValue(key.get(), value);
        }
    }
    applyCompareLevel();
}

void saveOptionsToRegistry(int atExit) {
    RegistryKey key;
    if (!key.create()) {
        return;
    }
    if (atExit) {
        ApplicationVersion = kApplicationVersion;
        takeWindowRectangle();
        writeValues(key.get(), kExitValues);
        takeCheckBoxes();
        writeValues(key.get(), kExitDisplayValues);
    }
    writeValues(key.get(), kAlwaysValues);
}

void applyCompareLevel() {
    if (CompareLevel < 0 || CompareLevel >= static_cast<int32_t>(std::size(kLevelLimits))) {
        return;
    }
    matchSumLimit = kLevelLimits[CompareLevel].sum;
    matchProductLimit = kLevelLimits[CompareLevel].product;
}

void setNormalizeDateMode(int mode) {
    NormalizeDate = mode;
    FlagNormalizeDate = mode == 2 ? 2 : mode == 3 ? 1 : 0;
}

int getNormalizeDateMode() {
    if (NormalizeDate == 0) {
        return 0;
    }
    if (FlagNormalizeDate == 1) {
        return 3;
    }
    return FlagNormalizeDate == 2 ? 2 : 1;
}

void forEachOptionStorage(void (*visit)(void* storage, size_t bytes, void* context), void* context) {
    for (const RegistryValue& value : kValues) visit(value.storage, storageBytes(value.kind), context);
    visit(&matchSumLimit, sizeof(matchSumLimit), context);
    visit(&matchProductLimit, sizeof(matchProductLimit), context);
    visit(&consoleOutput, sizeof(consoleOutput), context);
    visit(&messageBoxes, sizeof(messageBoxes), context);
}
