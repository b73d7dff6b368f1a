#include "settings/OptionFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "model/FilePath.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/MessageBox.h"
#include "model/ParseMessages.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"

namespace {

// A row's value: its text, ended at the row's end or "#", and that text read as an
// unsigned decimal number the way strtoul reads it.
struct RowValue {
    const char* text;
    uint32_t number;
};

enum class RowWrite { kWritten, kLeftOut, kFailed };

using ReadRow = void (*)(const RowValue& value);
// leftOut receives the row as it would have been written when it is left out.
using WriteRow = RowWrite (*)(HANDLE file, const char* name, std::wstring& leftOut);

struct OptionRow {
    const char* name;  // null for the rows known by their hash only
    uint32_t hash;
    int group;
    ReadRow read;
    WriteRow write;  // null for rows that the options file does not hold
};

constexpr size_t kMaxNamedRows = 12;

// The rule that the last "IgnoreElement" row of the file being read added; none after a
// refused row. A "Condition" row belongs to that rule alone: the list's current rule
// also moves while documents load, so it may be any rule by now.
struct FileReading {
    bool active = false;
    IgnoreRule* rule = nullptr;
    std::wstring refusedRules;  // the paths of the rules whose condition could not be kept, one a line
    size_t refusedCount = 0;
};
FileReading reading;

// What the value of a row can hold: no "=", "#" or line break (the reader cuts there),
// nothing the ANSI code page lacks, and few enough units for the reader's buffer.
bool valueReadsBack(const wchar_t* text, int maxUnits = kOptionTextUnits - 1) {
    if (text == nullptr || text[0] == 0) return true;
    const size_t length = std::wcslen(text);
    if (length > static_cast<size_t>(maxUnits)) return false;
    const int count = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::string bytes(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, count, &bytes[0], size, nullptr, nullptr) != size) return false;
    if (bytes.find_first_of("=#\r\n") != std::string::npos) return false;
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    if (units != count) return false;
    std::wstring back(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, &back[0], units);
    return back == text;
}

std::wstring widenName(const char* name) {
    return std::wstring(name, name + std::strlen(name));
}

// The value widened from the ANSI code page; false when it does not fit units.
bool widenValue(const char* text, wchar_t* out, int units) {
    if (text[0] == 0) {
        out[0] = 0;
        return true;
    }
    return MultiByteToWideChar(CP_ACP, 0, text, -1, out, units) != 0;
}

template <int32_t* option>
void readNumber(const RowValue& value) {
    *option = static_cast<int32_t>(value.number);
}

template <int32_t* option, uint32_t limit>
void readNumberBelow(const RowValue& value) {
    if (value.number < limit) *option = static_cast<int32_t>(value.number);
}

template <uint8_t* option>
void readBool(const RowValue& value) {
    *option = value.number != 0 ? 1 : 0;
}

RowWrite numberWritten(HANDLE file, const char* name, int32_t number) {
    return writeOptionNumber(file, name, number) ? RowWrite::kWritten : RowWrite::kFailed;
}

template <int32_t* option>
RowWrite writeNumber(HANDLE file, const char* name, std::wstring&) {
    return numberWritten(file, name, *option);
}

template <uint8_t* option>
RowWrite writeBool(HANDLE file, const char* name, std::wstring&) {
    return numberWritten(file, name, *option != 0 ? 1 : 0);
}

// Rows left out are gathered one a line for the box that names them.
void noteLeftOut(std::wstring& leftOut, const std::wstring& row) {
    leftOut += row;
    leftOut += L"\n";
}

RowWrite writeTextRow(HANDLE file, const char* name, const wchar_t* text, std::wstring& leftOut) {
    if (!valueReadsBack(text)) {
        noteLeftOut(leftOut, widenName(name) + L"=" + text);
        return RowWrite::kLeftOut;
    }
    return writeOptionString(file, name, text) ? RowWrite::kWritten : RowWrite::kFailed;
}

void readSchemaPath(const RowValue& value) {
    wchar_t path[FilePath::kPathUnits];
    if (widenValue(value.text, path, FilePath::kPathUnits)) OptionSet::PathToExternalSchema.set(path);
}

RowWrite writeSchemaPath(HANDLE file, const char* name, std::wstring& leftOut) {
    return writeTextRow(file, name, OptionSet::PathToExternalSchema.fullPath, leftOut);
}

// "FlagComparsion": bit 0 ignore white space, bit 1 not case sensitive.
void readCaseSensitive(const RowValue& value) {
    if (value.number != 0)
        OptionSet::FlagComparsion &= 1u;
    else
        OptionSet::FlagComparsion |= 2u;
}

RowWrite writeCaseSensitive(HANDLE file, const char* name, std::wstring&) {
    return numberWritten(file, name, (OptionSet::FlagComparsion & 2u) == 0 ? 1 : 0);
}

void readIgnoreWhitespaces(const RowValue& value) {
    if (value.number != 0)
        OptionSet::FlagComparsion |= 1u;
    else
        OptionSet::FlagComparsion &= 2u;
}

RowWrite writeIgnoreWhitespaces(HANDLE file, const char* name, std::wstring&) {
    return numberWritten(file, name, static_cast<int32_t>(OptionSet::FlagComparsion & 1u));
}

void readNormalizeDate(const RowValue& value) {
    setNormalizeDateMode(static_cast<int>(value.number));
}

RowWrite writeNormalizeDate(HANDLE file, const char* name, std::wstring&) {
    return numberWritten(file, name, getNormalizeDateMode());
}

void readEncoding(const RowValue& value) {
    wchar_t text[kOptionTextUnits];
    if (widenValue(value.text, text, kOptionTextUnits)) OptionSet::EncodingString.setName(text);
}

RowWrite writeEncoding(HANDLE file, const char* name, std::wstring& leftOut) {
    return writeTextRow(file, name, OptionSet::EncodingString.name, leftOut);
}

void readIgnoreElement(const RowValue& value) {
    wchar_t text[kOptionTextUnits];
    const bool added = widenValue(value.text, text, kOptionTextUnits) && ignoreList.parseRule(text);
    if (reading.active) reading.rule = added ? ignoreList.currentRule : nullptr;
}

// A rule without the condition its file gives it would ignore more than the user asked:
// a condition that cannot be kept takes its rule out again.
void refuseReadRule() {
    IgnoreRule* rule = reading.rule;
    reading.rule = nullptr;
    for (uint32_t i = 0; i < ignoreList.count; ++i) {
        if (ignoreList.rules[i].get() != rule) continue;
        if (reading.refusedCount++ < kMaxNamedRows) {
            reading.refusedRules += rule->path != nullptr ? rule->path.get() : L"";
            reading.refusedRules += L'\n';
        }
        ignoreList.removeAt(i);
        return;
    }
}

void readCondition(const RowValue& value) {
    if (!reading.active || reading.rule == nullptr) return;
    wchar_t text[kOptionTextUnits];
    const bool read = widenValue(value.text, text, kOptionTextUnits);
    // An empty row holds no condition to keep.
    if (read && skipBlanks(text) == nullptr) return;
    ignoreList.currentRule = reading.rule;
    if (!read || !ignoreList.parseCondition(text)) refuseReadRule();
}

void readCommonAttributes(const RowValue& value) {
    wchar_t text[kOptionTextUnits];
    if (widenValue(value.text, text, kOptionTextUnits)) ignoreList.parseCommonAttributes(text);
}

void readKeyElement(const RowValue& value) {
    wchar_t text[kOptionTextUnits];
    if (widenValue(value.text, text, kOptionTextUnits)) keyElementList.addPath(text);
}

void readKeyAttribute(const RowValue& value) {
    wchar_t text[kOptionTextUnits];
    if (widenValue(value.text, text, kOptionTextUnits)) keyAttributeSpec.parse(text);
}

void readEntireElement(const RowValue& value) {
    wchar_t text[kOptionTextUnits];
    if (widenValue(value.text, text, kOptionTextUnits)) entireElementList.addPath(text);
}

using namespace OptionSet;

// One table for the reader and the writer. The options file holds the rows of group 1
// that have a writer, in this order.
constexpr OptionRow kRows[] = {
    {"XMLElementCaseSensitive", 124954129u, kOptionRows, readNumber<&XMLElementCaseSensitive>,
     writeNumber<&XMLElementCaseSensitive>},
    {"XMLAttributeCaseSensitive", 2157236363u, kOptionRows, readNumber<&XMLAttributeCaseSensitive>,
     writeNumber<&XMLAttributeCaseSensitive>},
    {"AllowNonPrintableChars", 2425577164u, kOptionRows, readNumber<&AllowNonPrintableChars>,
     writeNumber<&AllowNonPrintableChars>},
    {"DoNamespaces", 1810012755u, kOptionRows, readBool<&DoNamespaces>, writeBool<&DoNamespaces>},
    {"DoSchema", 2030687044u, kOptionRows, readBool<&DoSchema>, writeBool<&DoSchema>},
    {"SchemaFullChecking", 2754715312u, kOptionRows, readBool<&SchemaFullChecking>, writeBool<&SchemaFullChecking>},
    {"ValidationErrorAsFatal", 440887233u, kOptionRows, readBool<&ValidationErrorAsFatal>,
     writeBool<&ValidationErrorAsFatal>},
    {"ContinueAfterFatalError", 2429960905u, kOptionRows, readBool<&ContinueAfterFatalError>,
     writeBool<&ContinueAfterFatalError>},
    {"SchemaValidation", 488791468u, kOptionRows, readNumberBelow<&SchemaValidation, 3>,
     writeNumber<&SchemaValidation>},
    {"UseExternalSchema", 2399831441u, kOptionRows, readNumber<&UseExternalSchema>, writeNumber<&UseExternalSchema>},
    {"PathToExternalSchema", 557605828u, kOptionRows, readSchemaPath, writeSchemaPath},
    {"CompareLevel", 2350618879u, kOptionRows, readNumberBelow<&CompareLevel, 4>, writeNumber<&CompareLevel>},
    {"CaseSensitive", 1175609750u, kOptionRows, readCaseSensitive, writeCaseSensitive},
    {"IgnoreWhitespaces", 4014713476u, kOptionRows, readIgnoreWhitespaces, writeIgnoreWhitespaces},
    {"IgnoreNamespaces", 1600021268u, kOptionRows, readNumber<&IgnoreNamespaces>, writeNumber<&IgnoreNamespaces>},
    {"UniqueAttributes", 4107637902u, kOptionRows, readNumber<&UniqueAttributes>, writeNumber<&UniqueAttributes>},
    {"DecimalPlaces", 3936762647u, kOptionRows, readNumber<&DecimalPlaces>, writeNumber<&DecimalPlaces>},
    {"SignificantFigures", 1330428484u, kOptionRows, readNumber<&SignificantFigures>, writeNumber<&SignificantFigures>},
    {"NormalizeNumber", 108718426u, kOptionRows, readNumber<&NormalizeNumber>, writeNumber<&NormalizeNumber>},
    {"NormalizeDate", 1144655247u, kOptionRows, readNormalizeDate, writeNormalizeDate},
    {"IgnoreAttributes", 122218395u, kOptionRows, readNumber<&IgnoreAttributes>, writeNumber<&IgnoreAttributes>},
    {"IgnoreValues", 1268483732u, kOptionRows, readNumber<&IgnoreValues>, writeNumber<&IgnoreValues>},
    {"IgnoreOrderElements", 3442653613u, kOptionRows, readNumber<&IgnoreOrderElements>,
     writeNumber<&IgnoreOrderElements>},
    {"IncludeIgnoredElements", 420788777u, kOptionRows, readNumber<&IncludeIgnoredElements>,
     writeNumber<&IncludeIgnoredElements>},
    {"PrintDoctype", 3738230149u, kOptionRows, readNumber<&PrintDoctype>, writeNumber<&PrintDoctype>},
    {"InsertPI", 4058463406u, kOptionRows, readNumber<&InsertPI>, writeNumber<&InsertPI>},
    {"UseEncoding", 1605298852u, kOptionRows, readNumber<&UseEncoding>, writeNumber<&UseEncoding>},
    {"ShowErrorMessages", 2288017059u, kOptionRows, readNumber<&ShowErrorMessages>, writeNumber<&ShowErrorMessages>},
    {"LogErrorMessages", 3881754180u, kOptionRows, readNumber<&LogErrorMessages>, writeNumber<&LogErrorMessages>},
    {"HighlightChars", 2604140457u, kOptionRows, readNumber<&HighlightChars>, writeNumber<&HighlightChars>},
    {"ExpandDiff", 2463173161u, kOptionRows, readNumber<&ExpandDiff>, writeNumber<&ExpandDiff>},
    {"Encoding", 2395154215u, kOptionRows, readEncoding, writeEncoding},
    // The switches of parse messages: known by their hash alone, never written.
    {nullptr, 1628906111u, kOptionRows, readNumber<&consoleOutput>, nullptr},
    {nullptr, 1635066903u, kOptionRows, readNumber<&messageBoxes>, nullptr},
    {"IgnoreElement", 3989009998u, kIgnoredElementRows, readIgnoreElement, nullptr},
    {"Condition", 1657006855u, kIgnoredElementRows, readCondition, nullptr},
    {"CommonIgnoredAttributes", 3072140264u, kIgnoredElementRows, readCommonAttributes, nullptr},
    {"KeyElement", 1122373859u, kKeyElementRows, readKeyElement, nullptr},
    {"KeyAttribute", 3762420029u, kKeyElementRows, readKeyAttribute, nullptr},
    {"EntireElement", 713348993u, kEntireElementRows, readEntireElement, nullptr},
};

constexpr bool namesMatchTheirHashes() {
    for (const OptionRow& row : kRows)
        if (row.name != nullptr && optionKeyHash(row.name) != row.hash) return false;
    return true;
}
static_assert(namesMatchTheirHashes(), "a row's name does not give its hash");

constexpr int optionsFileRows() {
    int count = 0;
    for (const OptionRow& row : kRows)
        count += row.write != nullptr ? 1 : 0;
    return count;
}
static_assert(optionsFileRows() == 32, "the options file holds 32 rows");

// Walks the rows in place. A value is cut (a NUL written over its end) before its
// number or text is taken, so an empty value never reads the digits of the next row.
void applyRows(char* bytes, size_t size, int groups) {
    uint32_t hash = 0;
    char* value = nullptr;
    char* valueEnd = nullptr;
    bool keyEnded = false;
    auto endRow = [&](char* end) {
        if (value != nullptr && hash != 0) {
            *(valueEnd != nullptr ? valueEnd : end) = 0;
            applyOptionFileEntry(hash, value, groups);
        }
        hash = 0;
        value = valueEnd = nullptr;
        keyEnded = false;
    };
    for (char* p = bytes; p < bytes + size; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte == '\r' || byte == '\n') {
            endRow(p);
        } else if (byte == '=') {
            value = p + 1;
            valueEnd = nullptr;
            keyEnded = true;
        } else if (byte == '#') {
            if (value != nullptr && valueEnd == nullptr) valueEnd = p;
            keyEnded = true;
        } else if (!keyEnded && byte > 0x20 && byte < 0x80) {
            hash = hash * 17u + (byte & 0x1Fu);
        }
    }
    endRow(bytes + size);
}

// A file with a UTF-16 byte order mark becomes ANSI bytes: read as bytes, its keys would
// still match while every value read empty. The result ends with a NUL past size.
std::unique_ptr<char[]> fromUtf16(const char* bytes, size_t size, size_t* converted, DWORD* error) {
    const bool bigEndian = static_cast<unsigned char>(bytes[0]) == 0xFE;
    const size_t units = (size - 2) / 2;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[units + 1]);
    if (wide == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    for (size_t i = 0; i < units; ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 + 2 * i]);
        const auto second = static_cast<unsigned char>(bytes[3 + 2 * i]);
        wide[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    int length = 0;
    if (units > 0) {
        length = WideCharToMultiByte(CP_ACP, 0, wide.get(), static_cast<int>(units), nullptr, 0, nullptr, nullptr);
        if (length <= 0) {
            *error = ERROR_NO_UNICODE_TRANSLATION;
            return nullptr;
        }
    }
    std::unique_ptr<char[]> out(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
    if (out == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.get(), static_cast<int>(units), out.get(), length, nullptr, nullptr);
    out[static_cast<size_t>(length)] = 0;
    *converted = static_cast<size_t>(length);
    return out;
}

bool hasUtf16Mark(const char* bytes, size_t size) {
    if (size < 2) return false;
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
}

// The whole file with a NUL after its last byte; null (with the reason) when it cannot be read.
std::unique_ptr<char[]> readWholeFile(HANDLE file, size_t* size, DWORD* error) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        *error = GetLastError();
        return nullptr;
    }
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length)) {
        *error = GetLastError();
        return nullptr;
    }
    if (length.QuadPart < 0 || length.QuadPart > kMaxOptionFileBytes) {
        *error = ERROR_FILE_TOO_LARGE;
        return nullptr;
    }
    const auto total = static_cast<size_t>(length.QuadPart);
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[total + 1]);
    if (bytes == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    size_t got = 0;
    while (got < total) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.get() + got, static_cast<DWORD>(total - got), &read, nullptr)) {
            *error = GetLastError();
            return nullptr;
        }
        if (read == 0) {
            *error = ERROR_HANDLE_EOF;  // the file became shorter while it was read
            return nullptr;
        }
        got += read;
    }
    bytes[total] = 0;
    *size = total;
    return bytes;
}

// One box for every row left out, so the user knows the file is not the whole list.
void warnLeftOut(const std::wstring& leftOut) {
    if (leftOut.empty()) return;
    std::wstring text =
        L"These rows were not written: a value in a file cannot hold \"=\", \"#\" or a line break, or characters "
        L"that the system's code page lacks, and they would be read back as something else.\n\n";
    size_t rows = 0;
    size_t start = 0;
    while (start < leftOut.size()) {
        const size_t end = leftOut.find(L'\n', start);
        if (rows < kMaxNamedRows) text += leftOut.substr(start, end - start + 1);
        ++rows;
        start = end + 1;
    }
    if (rows > kMaxNamedRows) text += L"... and " + std::to_wstring(rows - kMaxNamedRows) + L" more\n";
    showBox(boxOwnerWindow, text.c_str(), L"Warning!", MB_OK | MB_ICONWARNING);
}

// One box for every rule of a file that was not added, so the user knows which elements
// are still compared.
void warnRefusedRules(const FileReading& done) {
    if (done.refusedCount == 0) return;
    std::wstring text =
        L"These ignore rules were not added: their condition cannot be kept. A condition needs the name of the "
        L"attribute (at most " +
        std::to_wstring(IgnoreCondition::kMaxNameUnits) +
        L" characters, or $TEXT$), three one-digit numbers with a test from 0 to 6, and a value of 1 to " +
        std::to_wstring(IgnoreCondition::kValueUnits - 1) + L" characters (blanks not counted).\n\n" +
        done.refusedRules;
    if (done.refusedCount > kMaxNamedRows)
        text += L"... and " + std::to_wstring(done.refusedCount - kMaxNamedRows) + L" more\n";
    showBox(boxOwnerWindow, text.c_str(), L"Warning!", MB_OK | MB_ICONWARNING);
}

// The rows of a rule read back as this rule: its path, named attributes and condition
// hold nothing the reader cuts or loses, and a condition has a value (a "Condition" row
// without one sets none, and the rule would then ignore every element of its name).
bool ruleReadsBack(const IgnoreRule& rule) {
    const wchar_t* names = rule.mode >= 4 ? rule.attributeNames.get() : nullptr;
    const size_t pathUnits = rule.path != nullptr ? std::wcslen(rule.path.get()) : 0;
    const size_t nameUnits = names != nullptr ? std::wcslen(names) : 0;
    // The path, a blank, the mode, a blank and the names must fit the reader's buffer.
    if (pathUnits + nameUnits + 4 >= static_cast<size_t>(kOptionTextUnits)) return false;
    if (!valueReadsBack(rule.path.get()) || !valueReadsBack(names)) return false;
    if (rule.condition == nullptr) return true;
    const IgnoreCondition& condition = *rule.condition;
    return condition.value[0] != 0 && valueReadsBack(condition.value) && valueReadsBack(condition.attributeName);
}

std::wstring ruleRows(const IgnoreRule& rule) {
    std::wstring rows = L"IgnoreElement=";
    rows += rule.path != nullptr ? rule.path.get() : L"";
    if (rule.mode != 0) rows += L" " + std::to_wstring(rule.mode);
    if (rule.mode >= 4 && rule.attributeNames != nullptr) rows += std::wstring(L" ") + rule.attributeNames.get();
    if (rule.condition != nullptr) {
        const IgnoreCondition& c = *rule.condition;
        rows += L"\nCondition=";
        rows += c.attributeHash == 0 ? L"$TEXT$" : c.attributeName;
        rows += L" " + std::to_wstring(c.negate) + L" " + std::to_wstring(c.test) + L" " +
                std::to_wstring(c.ifNotExist) + L" " + c.value;
    }
    return rows;
}

bool writeIgnoredRows(HANDLE file, std::wstring& leftOut) {
    bool ok = true;
    for (uint32_t i = 0; i < ignoreList.count; ++i) {
        const IgnoreRule& rule = *ignoreList.rules[i];
        if (!ruleReadsBack(rule)) {
            noteLeftOut(leftOut, ruleRows(rule));
            continue;
        }
        ok = writeText(file, L"IgnoreElement=", -1) && ok;
        if (ignoreList.writeRule(file, i)) {
            ok = writeText(file, L"Condition=", -1) && ok;
            ignoreList.writeCondition(file, i);
        }
    }
    const wchar_t* common = ignoreList.commonAttributes.attributeNames.get();
    if (common != nullptr && common[0] != 0) {
        if (std::wcslen(common) + 1 >= static_cast<size_t>(kOptionTextUnits) || !valueReadsBack(common)) {
            noteLeftOut(leftOut, std::wstring(L"CommonIgnoredAttributes=") + common);
        } else {
            ok = writeText(file, L"CommonIgnoredAttributes=", -1) && ok;
            ignoreList.writeCommonAttributes(file);
        }
    }
    return ok;
}

// A list row is read back through the same buffer as any value; its path is also cut
// at that length by the lists.
bool listValueReadsBack(const wchar_t* value) {
    return valueReadsBack(value);
}

// The rows that the list's writer leaves out for listValueReadsBack, named for the box.
void noteLeftOutPaths(const wchar_t* keyword,
                      const std::unique_ptr<wchar_t[]>* values,
                      int count,
                      std::wstring& leftOut) {
    for (int i = 0; i < count; ++i) {
        const wchar_t* value = values[i].get();
        if (!listValueReadsBack(value)) noteLeftOut(leftOut, keyword + std::wstring(value != nullptr ? value : L""));
    }
}

void writeKeyRows(HANDLE file, std::wstring& leftOut) {
    keyElementList.write(file, listValueReadsBack);
    noteLeftOutPaths(L"KeyElement=", keyElementList.paths, keyElementList.count, leftOut);
    keyAttributeSpec.write(file, listValueReadsBack);
    if (keyAttributeSpec.isSet()) noteLeftOutPaths(L"KeyAttribute=", &keyAttributeSpec.path, 1, leftOut);
}

void writeEntireRows(HANDLE file, std::wstring& leftOut) {
    entireElementList.write(file, listValueReadsBack);
    noteLeftOutPaths(L"EntireElement=", entireElementList.paths, entireElementList.count, leftOut);
}

}  // namespace

void applyOptionFileEntry(uint32_t hash, const char* value, int groups) {
    if (hash == 0 || value == nullptr) return;
    const RowValue row{value, static_cast<uint32_t>(std::strtoul(value, nullptr, 10))};
    for (const OptionRow& each : kRows) {
        if (each.hash != hash || (each.group & groups) == 0) continue;
        each.read(row);
        return;
    }
}

int loadOptionFile(const wchar_t* path, int groups) {
    HANDLE file = CreateFileW(path != nullptr ? path : L"", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showSystemError(L"LoadOptions", path);
        return 0;
    }
    size_t size = 0;
    DWORD error = 0;
    std::unique_ptr<char[]> bytes = readWholeFile(file, &size, &error);
    CloseHandle(file);
    if (bytes != nullptr && hasUtf16Mark(bytes.get(), size)) bytes = fromUtf16(bytes.get(), size, &size, &error);
    if (bytes == nullptr) {
        showSystemError(L"LoadOptions", path, static_cast<int>(error));
        return 0;
    }
    reading = FileReading{};
    reading.active = true;
    applyRows(bytes.get(), size, groups);
    const FileReading done = std::move(reading);
    reading = FileReading{};
    applyCompareLevel();
    warnRefusedRules(done);
    return 1;
}

bool writeOptionNumber(HANDLE file, const char* name, int32_t number) {
    char row[264];
    std::snprintf(row, sizeof(row), "%s=%d\r\n", name, static_cast<int>(number));
    const std::wstring text = widenName(row);
    return writeText(file, text.c_str(), static_cast<int>(text.size()));
}

bool writeOptionString(HANDLE file, const char* name, const wchar_t* text) {
    // A row longer than any fixed buffer is written whole: a cut path would name another file.
    std::wstring row = widenName(name) + L"=" + (text != nullptr ? text : L"") + L"\r\n";
    return writeText(file, row.c_str(), static_cast<int>(row.size()));
}

bool writeOptionsFile(const wchar_t* path) {
    ReplacingFileWriter writer;
    if (!writer.begin(path)) {
        showSystemError(L"WriteOptionsToFile", path, static_cast<int>(writer.error()));
        return false;
    }
    std::wstring leftOut;
    for (const OptionRow& row : kRows) {
        if (row.write == nullptr) continue;
        if (row.write(writer.handle(), row.name, leftOut) == RowWrite::kFailed) {
            writer.markFailed(GetLastError());
            break;
        }
    }
    if (!writer.commit()) {
        showSystemError(L"WriteOptionsToFile", path, static_cast<int>(writer.error()));
        return false;
    }
    warnLeftOut(leftOut);
    return true;
}

bool listHasRows(ListKind kind) {
    switch (kind) {
        case ListKind::kEntireElements:
            return entireElementList.count > 0;
        case ListKind::kKeyElements:
            return keyElementList.count > 0 || keyAttributeSpec.isSet();
        case ListKind::kIgnoredElements: {
            const wchar_t* common = ignoreList.commonAttributes.attributeNames.get();
            return ignoreList.count > 0 || (common != nullptr && common[0] != 0);
        }
    }
    return false;
}

bool appendListBlock(const wchar_t* path, ListKind kind) {
    const DWORD attributes = GetFileAttributesW(path);
    // Wine lets the owner write a read-only file; Windows does not. Refuse it on both.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        showSystemError(L"OpenFileToAppend", path, ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showSystemError(L"OpenFileToAppend", path);
        return false;
    }
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;

    DWORD error = 0;
    LARGE_INTEGER end{};
    if (!GetFileSizeEx(file, &end) || !SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) error = GetLastError();

    std::wstring leftOut;
    if (error == 0) {
        MemoryWriteSink block;
        bool ok = true;
        if (end.QuadPart != 0) ok = writeText(block.handle(), L"\r\n", 2);
        ok = writeText(block.handle(), kListBlockHeading, -1) && ok;
        ok = writeText(block.handle(), L"\r\n", 2) && ok;
        switch (kind) {
            case ListKind::kEntireElements:
                writeEntireRows(block.handle(), leftOut);
                break;
            case ListKind::kKeyElements:
                writeKeyRows(block.handle(), leftOut);
                break;
            case ListKind::kIgnoredElements:
                ok = writeIgnoredRows(block.handle(), leftOut) && ok;
                break;
        }
        const std::string& bytes = block.bytes();
        if (!ok || block.failed() || bytes.size() > MAXDWORD) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        } else if (!writeFileBytes(file, bytes.data(), static_cast<DWORD>(bytes.size()))) {
            error = GetLastError();
            if (error == 0) error = ERROR_WRITE_FAULT;
            // A short block would read back as other rows: the file goes back to its old end.
            SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
        }
    }
    CloseHandle(file);
    if (error != 0) {
        if (created) DeleteFileW(path);
        showSystemError(L"OpenFileToAppend", path, static_cast<int>(error));
        return false;
    }
    warnLeftOut(leftOut);
    return true;
}
