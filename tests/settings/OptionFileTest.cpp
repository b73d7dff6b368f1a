#include "settings/OptionFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"

namespace {

// The two rows known by their hash alone, spelt from the hash's digits in base 17.
static_assert(optionKeyHash("CPHCPCEI") == 1628906111u, "consoleOutput's key");
static_assert(optionKeyHash("CPLILBPA") == 1635066903u, "messageBoxes' key");

// Every byte of every option value, for comparing two states whole.
std::vector<char> optionBytes() {
    std::vector<char> bytes;
    forEachOptionStorage(
        [](void* storage, size_t size, void* context) {
            auto* out = static_cast<std::vector<char>*>(context);
            const char* begin = static_cast<const char*>(storage);
            out->insert(out->end(), begin, begin + size);
        },
        &bytes);
    return bytes;
}

std::wstring text(const wchar_t* value) {
    return value != nullptr ? value : L"";
}

// The lists as text, for comparing a state before and after.
std::string listState() {
    std::string out;
    for (uint32_t i = 0; i < ignoreList.count; ++i) {
        const IgnoreRule& rule = *ignoreList.rules[i];
        out += "rule " + narrow(text(rule.path.get())) + " " + std::to_string(rule.mode) + " [" +
               narrow(text(rule.attributeNames.get())) + "]";
        if (rule.condition != nullptr) {
            const IgnoreCondition& c = *rule.condition;
            out += " if " + narrow(c.attributeName) + " " + std::to_string(c.negate) + std::to_string(c.test) +
                   std::to_string(c.ifNotExist) + " " + narrow(c.value);
        }
        out += "\n";
    }
    out += "common [" + narrow(text(ignoreList.commonAttributes.attributeNames.get())) + "]\n";
    for (int i = 0; i < keyElementList.count; ++i)
        out += "key " + narrow(keyElementList.paths[i].get()) + "\n";
    out += "key attribute " + narrow(text(keyAttributeSpec.path.get())) + "\n";
    for (int i = 0; i < entireElementList.count; ++i)
        out += "entire " + narrow(entireElementList.paths[i].get()) + "\n";
    return out;
}

class OptionFileTest : public ::testing::Test {
protected:
    TempDir dir;
    OptionsSnapshot snapshot;

    void SetUp() override {
        resetOptions(0);
        OptionSet::PathToExternalSchema.set(L"");
        clearRuleLists();
    }
    void TearDown() override {
        setWriteFailureAfter(-1);
        clearRuleLists();
    }

    int read(const std::string& bytes, int groups = kOptionRows) {
        return loadOptionFile(dir.write(L"options.txt", bytes).c_str(), groups);
    }
};

TEST_F(OptionFileTest, EachRowSetsItsOption) {
    using namespace OptionSet;
    struct Case {
        const char* rows;
        std::function<int64_t()> value;
        int64_t expected;
    } cases[] = {
        {"DoSchema=7", [] { return DoSchema; }, 1},
        {"DoSchema=0", [] { return DoSchema; }, 0},
        {"DoNamespaces=0", [] { return DoNamespaces; }, 0},
        {"SchemaFullChecking=2", [] { return SchemaFullChecking; }, 1},
        {"ValidationErrorAsFatal=1", [] { return ValidationErrorAsFatal; }, 1},
        {"ContinueAfterFatalError=1", [] { return ContinueAfterFatalError; }, 1},
        {"XMLElementCaseSensitive=0", [] { return XMLElementCaseSensitive; }, 0},
        {"XMLAttributeCaseSensitive=0", [] { return XMLAttributeCaseSensitive; }, 0},
        {"AllowNonPrintableChars=1", [] { return AllowNonPrintableChars; }, 1},
        {"SchemaValidation=2", [] { return SchemaValidation; }, 2},
        {"SchemaValidation=1\nSchemaValidation=3", [] { return SchemaValidation; }, 1},
        {"SchemaValidation=-1", [] { return SchemaValidation; }, 0},
        {"UseExternalSchema=1", [] { return UseExternalSchema; }, 1},
        {"CompareLevel=2", [] { return CompareLevel; }, 2},
        {"CompareLevel=2", [] { return matchSumLimit; }, 21},
        {"CompareLevel=2", [] { return matchProductLimit; }, 101},
        {"CompareLevel=1", [] { return matchSumLimit; }, 11},
        {"CompareLevel=0", [] { return matchProductLimit; }, 0},
        {"CompareLevel=1\nCompareLevel=4", [] { return CompareLevel; }, 1},
        {"CompareLevel=1\nCompareLevel=4", [] { return matchSumLimit; }, 11},
        {"IgnoreNamespaces=1", [] { return IgnoreNamespaces; }, 1},
        {"UniqueAttributes=1", [] { return UniqueAttributes; }, 1},
        {"DecimalPlaces=4", [] { return DecimalPlaces; }, 4},
        {"DecimalPlaces=4\nDecimalPlaces=-1", [] { return DecimalPlaces; }, -1},
        {"SignificantFigures=5", [] { return SignificantFigures; }, 5},
        {"NormalizeNumber=1", [] { return NormalizeNumber; }, 1},
        {"NormalizeDate=0", [] { return getNormalizeDateMode(); }, 0},
        {"NormalizeDate=1", [] { return getNormalizeDateMode(); }, 1},
        {"NormalizeDate=2", [] { return getNormalizeDateMode(); }, 2},
        {"NormalizeDate=3", [] { return getNormalizeDateMode(); }, 3},
        {"NormalizeDate=3", [] { return FlagNormalizeDate; }, 1},
        {"IgnoreAttributes=1", [] { return IgnoreAttributes; }, 1},
        {"IgnoreValues=1", [] { return IgnoreValues; }, 1},
        {"IgnoreOrderElements=0", [] { return IgnoreOrderElements; }, 0},
        {"IncludeIgnoredElements=1", [] { return IncludeIgnoredElements; }, 1},
        {"PrintDoctype=1", [] { return PrintDoctype; }, 1},
        {"InsertPI=1", [] { return InsertPI; }, 1},
        {"UseEncoding=1", [] { return UseEncoding; }, 1},
        {"ShowErrorMessages=0", [] { return ShowErrorMessages; }, 0},
        {"LogErrorMessages=1", [] { return LogErrorMessages; }, 1},
        {"HighlightChars=1", [] { return HighlightChars; }, 1},
        {"ExpandDiff=1", [] { return ExpandDiff; }, 1},
        {"Encoding=UTF-8", [] { return EncodingString.codePage; }, 65001},
        {"Encoding=windows-1252", [] { return EncodingString.kind; }, 1},
        {"Encoding=UTF-8\nEncoding=", [] { return EncodingString.kind; }, 0},
        {"CPHCPCEI=0", [] { return consoleOutput; }, 0},
        {"CPLILBPA=0", [] { return messageBoxes; }, 0},
        {"UnknownRow=5", [] { return CompareLevel; }, 3},
    };
    for (const Case& c : cases) {
        resetOptions(0);
        OptionSet::consoleOutput = OptionSet::messageBoxes = 1;
        ASSERT_EQ(read(c.rows), 1);
        EXPECT_EQ(c.value(), c.expected) << c.rows;
    }
}

TEST_F(OptionFileTest, TextRowsTakeTheirValue) {
    struct Case {
        const char* rows;
        std::function<std::wstring()> value;
        const wchar_t* expected;
    } cases[] = {
        {"PathToExternalSchema=C:\\schemas\\order.xsd",
         [] { return std::wstring(OptionSet::PathToExternalSchema.fullPath); }, L"C:\\schemas\\order.xsd"},
        {"PathToExternalSchema=  http://example.com/s.xsd  # where it lives",
         [] { return std::wstring(OptionSet::PathToExternalSchema.fullPath); }, L"http://example.com/s.xsd"},
        {"PathToExternalSchema=C:\\a.xsd\nPathToExternalSchema=",
         [] { return std::wstring(OptionSet::PathToExternalSchema.fullPath); }, L""},
        {"Encoding=ISO-8859-15", [] { return std::wstring(OptionSet::EncodingString.name); }, L"ISO-8859-15"},
        {"Encoding=", [] { return std::wstring(OptionSet::EncodingString.name); }, L"<none>"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(read(c.rows), 1);
        EXPECT_EQ(c.value(), c.expected) << c.rows;
    }
    // A text longer than the path buffer is ignored, not cut.
    OptionSet::PathToExternalSchema.set(L"C:\\kept.xsd");
    ASSERT_EQ(read("PathToExternalSchema=C:\\" + std::string(300, 'x') + ".xsd"), 1);
    EXPECT_STREQ(OptionSet::PathToExternalSchema.fullPath, L"C:\\kept.xsd");
}

// "CaseSensitive" and "IgnoreWhitespaces" each own one bit of "FlagComparsion", whatever
// the bits were before and in whichever order the rows come.
TEST_F(OptionFileTest, ComparisonFlagRowsSetTheirOwnBit) {
    for (uint32_t start = 0; start < 4; ++start) {
        for (int caseSensitive = 0; caseSensitive < 2; ++caseSensitive) {
            for (int whitespace = 0; whitespace < 2; ++whitespace) {
                const std::string cs = "CaseSensitive=" + std::to_string(caseSensitive) + "\r\n";
                const std::string ws = "IgnoreWhitespaces=" + std::to_string(whitespace) + "\r\n";
                const uint32_t expected = (whitespace ? 1u : 0u) | (caseSensitive ? 0u : 2u);
                for (const std::string& rows : {cs + ws, ws + cs}) {
                    OptionSet::FlagComparsion = start;
                    ASSERT_EQ(read(rows), 1);
                    EXPECT_EQ(OptionSet::FlagComparsion, expected) << "from " << start << ": " << rows;
                }
            }
        }
    }
}

TEST_F(OptionFileTest, RowSyntax) {
    const std::string utf16Text = "CompareLevel=2\r\nEncoding=UTF-8\r\n";
    std::string littleEndian = "\xFF\xFE";
    std::string bigEndian = "\xFE\xFF";
    for (char c : utf16Text) {
        littleEndian += c;
        littleEndian += '\0';
        bigEndian += '\0';
        bigEndian += c;
    }
    struct Case {
        const char* what;
        std::string bytes;
        int32_t compareLevel;
        int32_t significantFigures;
    } cases[] = {
        {"plain", "CompareLevel=2", 2, 0},
        {"case and blanks in the key", "compare level = 2\r\n", 2, 0},
        {"capitals", "COMPARELEVEL=1", 1, 0},
        {"bytes of 0x80 and above in the key", "Compare\xE9Le\xFFvel=2", 2, 0},
        {"trailing comment", "CompareLevel=2 # two\r\n", 2, 0},
        {"comment row", "#CompareLevel=2\r\n", 3, 0},
        {"the block heading", "#These rows were added by Verdalt\r\nCompareLevel=1\r\n", 1, 0},
        {"# inside the key", "CompareLevel#note=2", 2, 0},
        {"# ends the key", "Compare#Level=2", 3, 0},
        {"two equals signs", "CompareLevel=1=2", 2, 0},
        {"no equals sign", "CompareLevel 2\r\nSignificantFigures=4", 3, 4},
        {"empty key", " =2\r\n", 3, 0},
        {"CR alone", "SignificantFigures=4\rCompareLevel=2", 2, 4},
        {"LF alone and empty rows", "SignificantFigures=4\n\n\nCompareLevel=2\n", 2, 4},
        {"mixed line ends", "SignificantFigures=4\n\r\r\nCompareLevel=1\r", 1, 4},
        {"no final line end", "SignificantFigures=6\r\nCompareLevel=0", 0, 6},
        {"an empty value before a row of digits", "CompareLevel=\r\n2\r\n", 0, 0},
        {"an empty value before digits, LF", "SignificantFigures=\n7 apples\n", 3, 0},
        {"an empty value at the end of the file", "SignificantFigures=", 3, 0},
        {"value cut at #, then digits", "SignificantFigures=#5\r\n", 3, 0},
        {"UTF-16LE", littleEndian, 2, 0},
        {"UTF-16BE", bigEndian, 2, 0},
        {"only a byte order mark", "\xFF\xFE", 3, 0},
        {"empty file", "", 3, 0},
    };
    for (const Case& c : cases) {
        resetOptions(0);
        OptionSet::SignificantFigures = 9;
        ASSERT_EQ(read(c.bytes), 1) << c.what;
        EXPECT_EQ(OptionSet::CompareLevel, c.compareLevel) << c.what;
        const std::string text = c.bytes;
        if (text.find("SignificantFigures") != std::string::npos)
            EXPECT_EQ(OptionSet::SignificantFigures, c.significantFigures) << c.what;
        else
            EXPECT_EQ(OptionSet::SignificantFigures, 9) << c.what;
    }
    resetOptions(0);
    ASSERT_EQ(read(littleEndian), 1);
    EXPECT_EQ(OptionSet::EncodingString.codePage, 65001u) << "a UTF-16 file's values read whole";
}

TEST_F(OptionFileTest, TheMaskChoosesTheRows) {
    const std::string everything =
        "CompareLevel=1\r\n"
        "IgnoreElement=a>b 1\r\n"
        "Condition=$TEXT$ 0 4 0 abc\r\n"
        "CommonIgnoredAttributes=id\r\n"
        "KeyElement=a>c\r\n"
        "KeyAttribute=a>d|key\r\n"
        "EntireElement=a>e\r\n";
    for (int groups : {kOptionRows, kIgnoredElementRows, kKeyElementRows, kEntireElementRows, kAllOptionFileRows}) {
        SCOPED_TRACE(groups);
        resetOptions(0);
        clearRuleLists();
        ASSERT_EQ(read(everything, groups), 1);
        EXPECT_EQ(OptionSet::CompareLevel, (groups & kOptionRows) ? 1 : 3);
        EXPECT_EQ(ignoreList.count, (groups & kIgnoredElementRows) ? 1u : 0u);
        if (ignoreList.count == 1) {
            ASSERT_NE(ignoreList.rules[0]->condition, nullptr);
            EXPECT_STREQ(ignoreList.rules[0]->condition->value, L"abc");
        }
        EXPECT_EQ(ignoreList.commonAttributes.attributeCount, (groups & kIgnoredElementRows) ? 1 : 0);
        EXPECT_EQ(keyElementList.count, (groups & kKeyElementRows) ? 1 : 0);
        EXPECT_EQ(keyAttributeSpec.isSet(), (groups & kKeyElementRows) != 0);
        EXPECT_EQ(entireElementList.count, (groups & kEntireElementRows) ? 1 : 0);
    }
}

TEST_F(OptionFileTest, OptionsFileRoundTrip) {
    using namespace OptionSet;
    XMLElementCaseSensitive = 0;
    XMLAttributeCaseSensitive = 0;
    AllowNonPrintableChars = 1;
    DoNamespaces = 0;
    DoSchema = 0;
    SchemaFullChecking = 1;
    ValidationErrorAsFatal = 1;
    ContinueAfterFatalError = 1;
    SchemaValidation = 2;
    UseExternalSchema = 1;
    PathToExternalSchema.set(L"C:\\schemas\\order.xsd");
    CompareLevel = 1;
    FlagComparsion = 3;
    IgnoreNamespaces = 1;
    UniqueAttributes = 1;
    DecimalPlaces = 2;
    SignificantFigures = 5;
    NormalizeNumber = 1;
    setNormalizeDateMode(3);
    IgnoreAttributes = 1;
    IgnoreValues = 1;
    IgnoreOrderElements = 0;
    IncludeIgnoredElements = 1;
    PrintDoctype = 1;
    InsertPI = 1;
    UseEncoding = 1;
    ShowErrorMessages = 0;
    LogErrorMessages = 1;
    HighlightChars = 1;
    ExpandDiff = 1;
    EncodingString.setName(L"UTF-16BE");
    applyCompareLevel();
    const std::vector<char> written = optionBytes();

    const std::wstring path = dir.file(L"saved.txt");
    ASSERT_TRUE(writeOptionsFile(path.c_str()));
    EXPECT_EQ(dir.read(L"saved.txt"),
              "XMLElementCaseSensitive=0\r\n"
              "XMLAttributeCaseSensitive=0\r\n"
              "AllowNonPrintableChars=1\r\n"
              "DoNamespaces=0\r\n"
              "DoSchema=0\r\n"
              "SchemaFullChecking=1\r\n"
              "ValidationErrorAsFatal=1\r\n"
              "ContinueAfterFatalError=1\r\n"
              "SchemaValidation=2\r\n"
              "UseExternalSchema=1\r\n"
              "PathToExternalSchema=C:\\schemas\\order.xsd\r\n"
              "CompareLevel=1\r\n"
              "CaseSensitive=0\r\n"
              "IgnoreWhitespaces=1\r\n"
              "IgnoreNamespaces=1\r\n"
              "UniqueAttributes=1\r\n"
              "DecimalPlaces=2\r\n"
              "SignificantFigures=5\r\n"
              "NormalizeNumber=1\r\n"
              "NormalizeDate=3\r\n"
              "IgnoreAttributes=1\r\n"
              "IgnoreValues=1\r\n"
              "IgnoreOrderElements=0\r\n"
              "IncludeIgnoredElements=1\r\n"
              "PrintDoctype=1\r\n"
              "InsertPI=1\r\n"
              "UseEncoding=1\r\n"
              "ShowErrorMessages=0\r\n"
              "LogErrorMessages=1\r\n"
              "HighlightChars=1\r\n"
              "ExpandDiff=1\r\n"
              "Encoding=UTF-16BE\r\n");

    resetOptions(0);
    XMLElementCaseSensitive = XMLAttributeCaseSensitive = 1;
    PathToExternalSchema.set(L"");
    ASSERT_NE(optionBytes(), written);
    ASSERT_EQ(loadOptionFile(path.c_str(), kOptionRows), 1);
    EXPECT_TRUE(optionBytes() == written) << "every value comes back byte for byte";

    // "-1" is written as such and read back.
    DecimalPlaces = -1;
    ASSERT_TRUE(writeOptionsFile(path.c_str()));
    EXPECT_NE(dir.read(L"saved.txt").find("DecimalPlaces=-1\r\n"), std::string::npos);
    DecimalPlaces = 0;
    ASSERT_EQ(loadOptionFile(path.c_str(), kOptionRows), 1);
    EXPECT_EQ(DecimalPlaces, -1);
}

// A schema path longer than the row buffer of the format is written whole.
TEST_F(OptionFileTest, ALongSchemaPathIsWrittenWhole) {
    const std::wstring path = L"C:\\" + std::wstring(200, L'p') + L"\\" + std::wstring(40, L'q') + L".xsd";
    OptionSet::PathToExternalSchema.set(path.c_str());
    ASSERT_STREQ(OptionSet::PathToExternalSchema.fullPath, path.c_str());
    ASSERT_TRUE(writeOptionsFile(dir.file(L"long.txt").c_str()));
    OptionSet::PathToExternalSchema.set(L"");
    ASSERT_EQ(loadOptionFile(dir.file(L"long.txt").c_str(), kOptionRows), 1);
    EXPECT_EQ(std::wstring(OptionSet::PathToExternalSchema.fullPath), path);
}

// A value that holds "=" or "#" would read back as something else: its row is left out,
// the rest is written, and one box names what was left out.
TEST_F(OptionFileTest, ASchemaPathThatCannotBeReadBackIsLeftOut) {
    for (const wchar_t* schema : {L"C:\\C#\\order.xsd", L"http://example.com/get?name=order.xsd"}) {
        SCOPED_TRACE(narrow(schema));
        OptionSet::PathToExternalSchema.set(schema);
        BoxScript boxes;
        boxes.expectCaption(L"Warning!");
        ASSERT_TRUE(writeOptionsFile(dir.file(L"saved.txt").c_str()));
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_NE(boxes.shown()[0].text.find(std::wstring(L"PathToExternalSchema=") + schema), std::wstring::npos);
        const std::string saved = dir.read(L"saved.txt");
        EXPECT_EQ(saved.find("PathToExternalSchema"), std::string::npos);
        EXPECT_NE(saved.find("CompareLevel=3\r\nCaseSensitive"), std::string::npos);
        EXPECT_NE(saved.find("Encoding=<none>\r\n"), std::string::npos);
    }
}

TEST_F(OptionFileTest, ReadFailuresChangeNothing) {
    const std::wstring held = dir.write(L"held.txt", "CompareLevel=1\r\nKeyElement=a>b\r\n");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const std::wstring big = dir.file(L"big.txt");
    {
        HANDLE file =
            CreateFileW(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = kMaxOptionFileBytes + 1;
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
    }
    CreateDirectoryW(dir.file(L"folder").c_str(), nullptr);
    OptionSet::CompareLevel = 2;
    keyElementList.addPath(L"x>y");
    const std::vector<char> options = optionBytes();
    const std::string lists = listState();
    for (const std::wstring& path : {dir.file(L"missing.txt"), dir.file(L"folder"), held, big}) {
        SCOPED_TRACE(narrow(path));
        BoxScript boxes;
        boxes.expectCaption(L"Error");
        EXPECT_EQ(loadOptionFile(path.c_str(), kAllOptionFileRows), 0);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].text.rfind(L"LoadOptions\n" + path + L"\n", 0), 0u) << narrow(boxes.shown()[0].text);
        EXPECT_TRUE(optionBytes() == options);
        EXPECT_EQ(listState(), lists);
    }
    CloseHandle(holder);
    RemoveDirectoryW(dir.file(L"folder").c_str());
}

TEST_F(OptionFileTest, AnOptionsFileThatCannotBeWrittenLeavesTheOldOne) {
    const std::wstring readOnly = dir.write(L"readonly.txt", "old bytes");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring old = dir.write(L"old.txt", "old bytes");
    struct Case {
        const char* what;
        std::wstring path;
        int64_t failAfter;
    } cases[] = {
        {"missing folder", dir.file(L"no such folder\\options.txt"), -1},
        {"read-only target", readOnly, -1},
        {"a write fails", old, 100},
    };
    for (const Case& c : cases) {
        BoxScript boxes;
        boxes.expectCaption(L"Error");
        setWriteFailureAfter(c.failAfter);
        EXPECT_FALSE(writeOptionsFile(c.path.c_str())) << c.what;
        setWriteFailureAfter(-1);
        ASSERT_EQ(boxes.shown().size(), 1u) << c.what;
        EXPECT_EQ(boxes.shown()[0].text.rfind(L"WriteOptionsToFile\n" + c.path + L"\n", 0), 0u) << c.what;
    }
    EXPECT_EQ(dir.read(L"readonly.txt"), "old bytes");
    EXPECT_EQ(dir.read(L"old.txt"), "old bytes");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
}

class ListFileTest : public OptionFileTest {
protected:
    std::wstring path;
    void SetUp() override {
        OptionFileTest::SetUp();
        path = dir.file(L"lists.txt");
    }
    std::string file() { return dir.read(L"lists.txt"); }
};

TEST_F(ListFileTest, BlocksAreAppended) {
    entireElementList.addPath(L"a>b");
    entireElementList.addPath(L"a>c");
    const std::string block = "#These rows were added by Verdalt\r\nEntireElement=a>b\r\nEntireElement=a>c\r\n";
    ASSERT_TRUE(appendListBlock(path.c_str(), ListKind::kEntireElements));
    EXPECT_EQ(file(), block);
    ASSERT_TRUE(appendListBlock(path.c_str(), ListKind::kEntireElements));
    EXPECT_EQ(file(), block + "\r\n" + block);

    dir.write(L"lists.txt", "CompareLevel=2");
    ASSERT_TRUE(appendListBlock(path.c_str(), ListKind::kEntireElements));
    EXPECT_EQ(file(), "CompareLevel=2\r\n" + block);

    keyElementList.addPath(L"a>k");
    keyAttributeSpec.parse(L"a>b|id");
    dir.write(L"lists.txt", "");
    ASSERT_TRUE(appendListBlock(path.c_str(), ListKind::kKeyElements));
    EXPECT_EQ(file(), "#These rows were added by Verdalt\r\nKeyElement=a>k\r\nKeyAttribute=a>b|id\r\n");
}

TEST_F(ListFileTest, EachListReadsBackWithItsMask) {
    ignoreList.parseRule(L"a>b");
    ignoreList.parseRule(L"c 1");
    ignoreList.parseRule(L"a>d 4 id  name");
    ignoreList.parseCondition(L"price 1 3 1 0");
    ignoreList.parseRule(L"e 3");
    ignoreList.parseCondition(L"$TEXT$ 0 4 0 abc");
    ignoreList.parseCommonAttributes(L"x y");
    keyElementList.addPath(L"a>b>c");
    keyElementList.addPath(L"k");
    keyAttributeSpec.parse(L"a>b|id");
    entireElementList.addPath(L"a>e");
    entireElementList.addPath(L"f");
    struct Case {
        ListKind kind;
        int groups;
    } cases[] = {
        {ListKind::kIgnoredElements, kIgnoredElementRows},
        {ListKind::kKeyElements, kKeyElementRows},
        {ListKind::kEntireElements, kEntireElementRows},
    };
    const std::string all = listState();
    for (const Case& c : cases) {
        ASSERT_TRUE(appendListBlock(path.c_str(), c.kind));
    }
    clearRuleLists();
    for (const Case& c : cases) {
        ASSERT_EQ(loadOptionFile(path.c_str(), c.groups), 1);
    }
    EXPECT_EQ(listState(), all);
    EXPECT_TRUE(reloadNeeded) << "a rule of named attributes was read";
}

// A "Condition" row belongs to the rule added by the row above it: a second read of the
// same file refuses every rule as present, and its conditions go nowhere, whichever rule
// the list holds as current by then.
TEST_F(ListFileTest, ConditionsStayWithTheirRules) {
    dir.write(L"lists.txt",
              "Condition=$TEXT$ 0 3 0 before\r\n"
              "IgnoreElement=a>b\r\n"
              "Condition=$TEXT$ 0 3 0 first\r\n"
              "IgnoreElement=a>c\r\n"
              "IgnoreElement=a>b\r\n"
              "Condition=$TEXT$ 0 3 0 refused\r\n"
              "IgnoreElement=a>d 9\r\n"
              "Condition=$TEXT$ 0 3 0 badmode\r\n");
    ASSERT_EQ(loadOptionFile(path.c_str(), kIgnoredElementRows), 1);
    const std::string once = listState();
    EXPECT_EQ(once, "rule a>b 0 [] if  030 first\nrule a>c 0 []\ncommon []\nkey attribute \n");
    ignoreList.currentRule = ignoreList.rules[1].get();
    ASSERT_EQ(loadOptionFile(path.c_str(), kIgnoredElementRows), 1);
    EXPECT_EQ(listState(), once);
}

// A rule whose condition cannot be kept would ignore every element of its name: it is
// refused with its condition, named in one box, and the rules around it are read.
TEST_F(ListFileTest, ARuleWhoseConditionCannotBeKeptIsRefused) {
    const std::string longest(IgnoreCondition::kMaxNameUnits, 'n');
    const std::string fullValue(IgnoreCondition::kValueUnits - 1, 'v');
    struct Case {
        const char* what;
        std::string condition;
        const char* kept;  // the condition as the rule holds it; null: the rule is refused
    } cases[] = {
        {"a name of 300 units", std::string(300, 'n') + " 0 3 0 v", nullptr},
        {"a name of 260 units", std::string(260, 'n') + " 0 3 0 v", nullptr},
        {"a row cut short after the name", "price", nullptr},
        {"a row cut short in the numbers", "$TEXT$ 0 4", nullptr},
        {"a row without its value", "price 0 3 0", nullptr},
        {"a row whose value is a blank", "price 0 3 0 ", nullptr},
        {"a row whose value is blanks and a tab", "price 0 4 0  \t ", nullptr},
        {"a contains value one unit too long", "$TEXT$ 0 4 0 " + fullValue + "w", nullptr},
        {"a contains value too long once its blanks are gone", "$TEXT$ 0 6 0 " + fullValue + " w", nullptr},
        {"an equals value too long", "price 0 3 0 " + fullValue + "w", nullptr},
        {"an unknown test", "price 0 7 0 v", nullptr},
        {"not on an unknown test", "price 1 9 0 v", nullptr},
        {"a test that is no digit", "price 0 x 0 v", nullptr},
        {"a test of two digits", "price 0 10 0 v", nullptr},
        {"the longest name", longest + " 0 3 0 v", "030 v"},
        {"a contains value of the most units", "$TEXT$ 0 4 0 " + fullValue, "040 vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv"},
        {"a value that fits once its blanks are gone", "$TEXT$ 0 4 0 " + fullValue.substr(1) + " v",
         "040 vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv"},
        {"not on the last known test", "price 1 6 1 v", "161 v"},
        {"an empty row", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearRuleLists();
        dir.write(L"lists.txt", "IgnoreElement=a>before\r\nIgnoreElement=a>asked 1\r\nCondition=" + c.condition +
                                    "\r\nIgnoreElement=a>after\r\nCondition=$TEXT$ 0 3 0 kept\r\n");
        BoxScript boxes;
        if (c.kept == nullptr) boxes.expectCaption(L"Warning!");
        ASSERT_EQ(loadOptionFile(path.c_str(), kIgnoredElementRows), 1);
        std::string expected = "rule a>before 0 []\n";
        if (c.kept != nullptr) {
            expected += "rule a>asked 1 []";
            if (c.kept[0] != 0) {
                const std::string name = c.condition.substr(0, c.condition.find(' '));
                expected += " if " + (name == "$TEXT$" ? std::string() : name) + " " + c.kept;
            }
            expected += "\n";
        }
        expected += "rule a>after 0 [] if  030 kept\ncommon []\nkey attribute \n";
        EXPECT_EQ(listState(), expected);
        ASSERT_EQ(boxes.shown().size(), c.kept == nullptr ? 1u : 0u);
        if (c.kept == nullptr) {
            const std::wstring& text = boxes.shown()[0].text;
            EXPECT_NE(text.find(L"not added"), std::wstring::npos) << narrow(text);
            EXPECT_NE(text.find(L"\n\na>asked\n"), std::wstring::npos) << narrow(text);
            EXPECT_EQ(text.find(L"a>after"), std::wstring::npos);
        }
    }
}

// Rows that would read back as something else are left out with their rule, the rest is
// written, and one box names them.
TEST_F(ListFileTest, RulesThatCannotBeReadBackAreLeftOut) {
    ignoreList.parseRule(L"a>keep");
    ignoreList.parseRule(L"a>colour");
    ignoreList.rules[1]->setCondition(L"color", 0, IgnoreCondition::kEquals, 0, L"#FF0000");
    ignoreList.parseRule(L"a>pair");
    ignoreList.rules[2]->setCondition(nullptr, 0, IgnoreCondition::kContains, 0, L"a=b");
    ignoreList.parseRule(L"a>empty");
    ignoreList.rules[3]->setCondition(L"x", 0, IgnoreCondition::kEquals, 0, L"");
    ignoreList.parseRule(L"a>last 1");
    BoxScript boxes;
    boxes.expectCaption(L"Warning!");
    ASSERT_TRUE(appendListBlock(path.c_str(), ListKind::kIgnoredElements));
    EXPECT_EQ(file(), "#These rows were added by Verdalt\r\nIgnoreElement=a>keep\r\nIgnoreElement=a>last 1\r\n");
    ASSERT_EQ(boxes.shown().size(), 1u);
    const std::wstring& text = boxes.shown()[0].text;
    for (const wchar_t* named : {L"IgnoreElement=a>colour\nCondition=color 0 3 0 #FF0000\n",
                                 L"IgnoreElement=a>pair\nCondition=$TEXT$ 0 4 0 a=b\n", L"IgnoreElement=a>empty\n"})
        EXPECT_NE(text.find(named), std::wstring::npos) << narrow(named);
    EXPECT_EQ(text.find(L"a>keep"), std::wstring::npos);
}

// A key element, key attribute or entire element whose path the code page cannot hold
// would be written with "?" and read back as another element, or as none: it is left
// out, named in one box, and the rows that fit are written and read back as they were.
TEST_F(ListFileTest, KeyAndEntireRowsBeyondTheCodePageAreLeftOutByName) {
    const std::wstring action = L"\u0434\u0435\u0439\u0441\u0442\u0432\u0438\u0435\u52d5\u4f5c";
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, action.c_str(), -1, nullptr, 0, nullptr, &lossy);
    ASSERT_TRUE(lossy) << "the code page of the test holds Cyrillic and CJK";
    const std::wstring place = L"policyconfig>" + action;
    struct Case {
        const char* what;
        ListKind kind;
        std::function<void()> fill;
        std::string written;              // the rows after the heading
        std::vector<std::wstring> named;  // in the box, one a line
        std::string readBack;             // listState() after reading the file into empty lists
    } cases[] = {
        {"key elements and the key attribute",
         ListKind::kKeyElements,
         [&] {
             keyElementList.addPath((place + L">id").c_str());
             keyElementList.addPath(L"policyconfig>action>id");
             keyAttributeSpec.parse((place + L"|id").c_str());
         },
         "KeyElement=policyconfig>action>id\r\n",
         {L"KeyElement=" + place + L">id\n", L"KeyAttribute=" + place + L"|id\n"},
         "common []\nkey policyconfig>action>id\nkey attribute \n"},
        {"a key attribute whose attribute name is beyond",
         ListKind::kKeyElements,
         [&] {
             keyElementList.addPath(L"a>k");
             keyAttributeSpec.parse((L"a>b|" + action).c_str());
         },
         "KeyElement=a>k\r\n",
         {L"KeyAttribute=a>b|" + action + L"\n"},
         "common []\nkey a>k\nkey attribute \n"},
        {"entire elements",
         ListKind::kEntireElements,
         [&] {
             entireElementList.addPath(place.c_str());
             entireElementList.addPath(L"policyconfig>action");
         },
         "EntireElement=policyconfig>action\r\n",
         {L"EntireElement=" + place + L"\n"},
         "common []\nkey attribute \nentire policyconfig>action\n"},
        {"rows that fit",
         ListKind::kKeyElements,
         [&] {
             keyElementList.addPath(L"a>k");
             keyAttributeSpec.parse(L"a>b|id");
         },
         "KeyElement=a>k\r\nKeyAttribute=a>b|id\r\n",
         {},
         "common []\nkey a>k\nkey attribute a>b|id\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearRuleLists();
        DeleteFileW(path.c_str());
        c.fill();
        BoxScript boxes;
        if (!c.named.empty()) boxes.expectCaption(L"Warning!");
        ASSERT_TRUE(appendListBlock(path.c_str(), c.kind));
        EXPECT_EQ(file(), "#These rows were added by Verdalt\r\n" + c.written);
        EXPECT_EQ(file().find('?'), std::string::npos);
        ASSERT_EQ(boxes.shown().size(), c.named.empty() ? 0u : 1u);
        if (!c.named.empty()) {
            const std::wstring& text = boxes.shown()[0].text;
            EXPECT_NE(text.find(L"code page"), std::wstring::npos) << narrow(text);
            for (const std::wstring& row : c.named)
                EXPECT_NE(text.find(L"\n" + row), std::wstring::npos) << narrow(row);
            EXPECT_EQ(text.find(L"action>id"), std::wstring::npos) << "a row that was written is not named";
        }
        clearRuleLists();
        ASSERT_EQ(loadOptionFile(path.c_str(), kKeyElementRows | kEntireElementRows), 1);
        EXPECT_EQ(listState(), c.readBack);
    }
}

TEST_F(ListFileTest, AFailedAppendLeavesTheFileAsItWas) {
    entireElementList.addPath(L"a>b");
    const std::string old = "EntireElement=x\r\n";
    dir.write(L"lists.txt", old);
    const std::wstring readOnly = dir.write(L"readonly.txt", old);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    struct Case {
        const char* what;
        std::wstring path;
        int64_t failAfter;
    } cases[] = {
        {"a short write", path, 10},
        {"no write at all", path, 0},
        {"read-only file", readOnly, -1},
        {"missing folder", dir.file(L"none\\lists.txt"), -1},
    };
    for (const Case& c : cases) {
        BoxScript boxes;
        boxes.expectCaption(L"Error");
        setWriteFailureAfter(c.failAfter);
        EXPECT_FALSE(appendListBlock(c.path.c_str(), ListKind::kEntireElements)) << c.what;
        setWriteFailureAfter(-1);
        ASSERT_EQ(boxes.shown().size(), 1u) << c.what;
        EXPECT_EQ(boxes.shown()[0].text.rfind(L"OpenFileToAppend\n" + c.path + L"\n", 0), 0u) << c.what;
    }
    EXPECT_EQ(file(), old);
    EXPECT_EQ(dir.read(L"readonly.txt"), old);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A file that the failed append would have created is not left behind empty.
    BoxScript boxes;
    boxes.expectCaption(L"Error");
    setWriteFailureAfter(0);
    EXPECT_FALSE(appendListBlock(dir.file(L"new.txt").c_str(), ListKind::kEntireElements));
    setWriteFailureAfter(-1);
    EXPECT_EQ(GetFileAttributesW(dir.file(L"new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ListFileTest, EmptyListsHaveNoRows) {
    EXPECT_FALSE(listHasRows(ListKind::kEntireElements));
    EXPECT_FALSE(listHasRows(ListKind::kKeyElements));
    EXPECT_FALSE(listHasRows(ListKind::kIgnoredElements));
    keyAttributeSpec.parse(L"a|id");
    ignoreList.parseCommonAttributes(L"id");
    EXPECT_TRUE(listHasRows(ListKind::kKeyElements)) << "the key attribute alone";
    EXPECT_TRUE(listHasRows(ListKind::kIgnoredElements)) << "common attributes alone";
}

}  // namespace
