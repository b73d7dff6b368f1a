#include "settings/EncodingSpec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

EncodingSpec named(const wchar_t* encodingName) {
    EncodingSpec spec;
    spec.setName(encodingName);
    return spec;
}

Bytes repeated(const Bytes& unit, int times) {
    Bytes bytes;
    for (int i = 0; i < times; ++i) {
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    return bytes;
}

Bytes concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

constexpr uint32_t kNoCodePage = 0;

const std::vector<int> kListedCodePages = {437, 500, 720, 737, 775, 850, 852, 855, 857,  858,
                                           860, 863, 866, 869, 932, 936, 949, 950, 1047, 1140};

struct NameCase {
    const wchar_t* given;
    const wchar_t* stored;  // "<none>" for a name that resets the record
    uint32_t codePage;
    uint32_t kind;
};

const NameCase kNameCases[] = {
    {L"UTF-8", L"UTF-8", 65001, 3},
    {L"utf8", L"utf8", 65001, 3},
    {L"UTF-7", L"UTF-7", 65000, 3},
    {L"UTF-32", L"<none>", kNoCodePage, 0},
    {L"UTF", L"<none>", kNoCodePage, 0},
    {L"UTF-16", L"UTF-16", 1200, 4},
    {L"UTF-16LE", L"UTF-16LE", 1200, 4},
    {L"UTF16", L"UTF16", 1200, 4},
    {L"UTF-16BE", L"UTF-16BE", 1201, 4},
    {L"utf-16be", L"utf-16be", 1201, 4},
    {L"UTF16BE", L"UTF16BE", 1201, 4},
    {L"Utf-16Be", L"Utf-16Be", 1201, 4},
    // "BE" before the sixth character does not name the byte order.
    {L"UTF-BE-16", L"UTF-BE-16", 1200, 4},
    {L"UNICODE", L"UNICODE", 1200, 4},
    {L"unicode", L"unicode", 1200, 4},
    {L"UNICODE-1-1", L"<none>", kNoCodePage, 0},
    {L"windows-1252", L"windows-1252", 1252, 1},
    {L"WINDOWS-1250", L"WINDOWS-1250", 1250, 1},
    {L"windows-1258", L"windows-1258", 1258, 1},
    {L"Windows-874", L"Windows-874", 874, 1},
    {L"windows-1259", L"<none>", kNoCodePage, 0},
    {L"windows-1249", L"<none>", kNoCodePage, 0},
    // A family key that fails its condition is not tried as a listed code page.
    {L"windows-932", L"<none>", kNoCodePage, 0},
    {L"ISO-8859-1", L"ISO-8859-1", 28591, 1},
    {L"iso-8859-2", L"iso-8859-2", 28592, 1},
    {L"ISO-8859-15", L"ISO-8859-15", 28605, 1},
    {L"ISO-8859-16", L"<none>", kNoCodePage, 0},
    {L"ISO-8859", L"<none>", kNoCodePage, 0},
    {L"ISO-2022-JP", L"<none>", kNoCodePage, 0},
    {L"LATIN1", L"LATIN1", 28591, 1},
    {L"latin5", L"latin5", 28599, 1},
    {L"LATIN9", L"LATIN9", 28605, 1},
    {L"LATIN10", L"<none>", kNoCodePage, 0},
    {L"LATIN", L"<none>", kNoCodePage, 0},
    {L"IBM437", L"IBM437", 437, 2},
    {L"cp850", L"cp850", 850, 2},
    {L"437", L"437", 437, 2},
    {L"cp932", L"cp932", 932, 2},
    {L"IBM1252", L"<none>", kNoCodePage, 0},
    // Names the family rules do not reach are known by name, in any case.
    {L"US-ASCII", L"US-ASCII", 20127, 1},
    {L"Shift_JIS", L"Shift_JIS", 932, 2},
    {L"shift_jis", L"shift_jis", 932, 2},
    {L"EUC-JP", L"EUC-JP", 20932, 2},
    {L"EUC-KR", L"EUC-KR", 949, 2},
    {L"Big5", L"Big5", 950, 2},
    {L"GB2312", L"GB2312", 936, 2},
    {L"KOI8-R", L"KOI8-R", 20866, 1},
    {L"koi8-u", L"koi8-u", 21866, 1},
    {L"MacCyrillic", L"MacCyrillic", 10007, 1},
    {L"x-mac-cyrillic", L"x-mac-cyrillic", 10007, 1},
    {L"IBM037", L"IBM037", 37, 2},
    {L"L1", L"L1", 28591, 1},
    {L"UCS-2", L"UCS-2", 1200, 4},
    // Only whole names: no prefix or longer spelling of one.
    {L"EUC-JPX", L"<none>", kNoCodePage, 0},
    {L"EUC", L"<none>", kNoCodePage, 0},
    {L"EUC-TW", L"<none>", kNoCodePage, 0},
    {L"", L"<none>", kNoCodePage, 0},
    {L"8", L"<none>", kNoCodePage, 0},
    {L"<none>", L"<none>", kNoCodePage, 0},
    {L" U T F - 8", L"UTF-8", 65001, 3},
    {L"\t\r\nwindows-1252\r\n", L"windows-1252", 1252, 1},
    // The key clears bit 0x80 as well as the case bit, so a Latin-1 capital O with tilde reads as "U".
    {L"\u00D5TF-8", L"\u00D5TF-8", 65001, 3},
    // 30 characters: only the first 23 are stored.
    {L"windows-1252_abcdefghijklmnopq", L"windows-1252_abcdefghij", 1252, 1},
};

TEST(EncodingSpecName, SetsCodePageAndKindFromName) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.given);
        EncodingSpec spec = named(L"UTF-16BE");
        spec.endOfLine = 2;
        spec.setName(c.given);
        EXPECT_STREQ(spec.name, c.stored);
        EXPECT_EQ(spec.codePage, c.codePage);
        EXPECT_EQ(spec.kind, c.kind);
        // A recognised name keeps the end of line; a reset brings back CR LF.
        EXPECT_EQ(spec.endOfLine, c.codePage == kNoCodePage ? 1 : 2);
    }
}

TEST(EncodingSpecName, CodePageTheSystemCannotConvertResets) {
    // ISO 8859-12 was never published, so no system converts code page 28602.
    const EncodingSpec unpublished = named(L"ISO-8859-12");
    EXPECT_STREQ(unpublished.name, L"<none>");
    EXPECT_EQ(unpublished.codePage, kNoCodePage);
    EXPECT_EQ(unpublished.kind, 0u);

    // Which of these the system has depends on the installed tables; each must either work or reset.
    struct Family {
        const wchar_t* prefix;
        std::vector<int> numbers;
        uint32_t kind;
    };
    const Family families[] = {
        {L"IBM", kListedCodePages, 2},
        {L"windows-", {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}, 1},
    };
    for (const Family& family : families) {
        for (int number : family.numbers) {
            const std::wstring given = family.prefix + std::to_wstring(number);
            SCOPED_TRACE(given.c_str());
            const EncodingSpec spec = named(given.c_str());
            if (IsValidCodePage(number)) {
                EXPECT_STREQ(spec.name, given.c_str());
                EXPECT_EQ(spec.codePage, static_cast<uint32_t>(number));
                EXPECT_EQ(spec.kind, family.kind);
            } else {
                EXPECT_STREQ(spec.name, L"<none>");
                EXPECT_EQ(spec.codePage, kNoCodePage);
            }
        }
    }
    const uint32_t latinCodePages[] = {28591, 28592, 28593, 28594, 28599, 28600, 28603, 28604, 28605};
    for (int digit = 1; digit <= 9; ++digit) {
        const std::wstring given = L"LATIN" + std::to_wstring(digit);
        SCOPED_TRACE(given.c_str());
        const uint32_t codePage = latinCodePages[digit - 1];
        EXPECT_EQ(named(given.c_str()).codePage, IsValidCodePage(codePage) ? codePage : kNoCodePage);
    }
}

struct ParseCase {
    const wchar_t* given;
    const wchar_t* stored;
    int number;
    int part;
};

const ParseCase kParseCases[] = {
    {L"ISO-8859-15", L"ISO-8859-15", 8859, 15},
    {L"windows-1252", L"windows-1252", 1252, 0},
    {L"UTF-16BE", L"UTF-16BE", 16, 0},
    {L"IBM437", L"IBM437", 437, 0},
    {L"", L"", 0, 0},
    {L" a b\t1 2 3 4 5 6 ", L"ab123456", 1234, 56},
    // The "15" comes after 23 stored characters and is not seen.
    {L"ISO-8859-abcdefghijklmn15", L"ISO-8859-abcdefghijklmn", 8859, 0},
};

TEST(EncodingSpecParseName, StoresNameWithoutBlanksAndSplitsDigits) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.given);
        EncodingSpec spec;
        int part = -1;
        EXPECT_EQ(spec.parseName(c.given, &part), c.number);
        EXPECT_EQ(part, c.part);
        EXPECT_STREQ(spec.name, c.stored);
    }
}

TEST(EncodingSpecParseName, LongRunOfDigitsMatchesNoIsoPart) {
    // 23 digits: a part number that wrapped around could land on 1 to 15.
    EncodingSpec spec;
    int part = 0;
    EXPECT_EQ(spec.parseName(L"88594294967297000000001", &part), 8859);
    EXPECT_GT(part, 15);
    EXPECT_STREQ(named(L"ISO-8859-4294967297").name, L"<none>");
}

TEST(EncodingSpecListed, ReturnsListedCodePagesOnly) {
    for (int number : kListedCodePages) {
        EXPECT_EQ(EncodingSpec::isListedCodePage(number), number);
    }
    for (int number : {0, -437, 438, 1252, 1200, 65001, 28591}) {
        EXPECT_EQ(EncodingSpec::isListedCodePage(number), 0) << number;
    }
}

TEST(EncodingSpecDefaults, WriterRecordIsAnsiWithCrLf) {
    EXPECT_STREQ(defaultWriterSpec.name, L"<none>");
    EXPECT_EQ(defaultWriterSpec.codePage, kNoCodePage);
    EXPECT_EQ(defaultWriterSpec.kind, 0u);
    EXPECT_EQ(defaultWriterSpec.endOfLine, 1);
    EXPECT_EQ(currentOutputSpec, &defaultWriterSpec);
}

// A real file in the temporary folder, so that the bytes are those the system wrote.
class WriteText : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
        ASSERT_NE(GetTempFileNameW(folder, L"enc", 0, path_), 0u);
        file_ = CreateFileW(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        ASSERT_NE(file_, INVALID_HANDLE_VALUE);
    }

    void TearDown() override {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
        }
        DeleteFileW(path_);
    }

    Bytes written() {
        LARGE_INTEGER size{};
        EXPECT_TRUE(GetFileSizeEx(file_, &size));
        Bytes bytes(static_cast<size_t>(size.QuadPart));
        LARGE_INTEGER start{};
        EXPECT_TRUE(SetFilePointerEx(file_, start, nullptr, FILE_BEGIN));
        DWORD read = 0;
        if (!bytes.empty()) {
            EXPECT_TRUE(ReadFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
        }
        EXPECT_EQ(read, bytes.size());
        return bytes;
    }

    void empty() {
        LARGE_INTEGER start{};
        ASSERT_TRUE(SetFilePointerEx(file_, start, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file_));
    }

    wchar_t path_[MAX_PATH] = {};
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

struct ConversionCase {
    const wchar_t* encoding;
    const wchar_t* text;
    Bytes expected;
};

TEST_F(WriteText, ConvertsIntoEncoding) {
    const ConversionCase cases[] = {
        {L"UTF-16LE", L"<a\u00E9>", {0x3C, 0x00, 0x61, 0x00, 0xE9, 0x00, 0x3E, 0x00}},
        {L"UTF-16LE", L"\U0001F600", {0x3D, 0xD8, 0x00, 0xDE}},
        {L"UTF-16BE", L"<a\u00E9>", {0x00, 0x3C, 0x00, 0x61, 0x00, 0xE9, 0x00, 0x3E}},
        {L"UTF-16BE", L"\u20AC\U0001F600", {0x20, 0xAC, 0xD8, 0x3D, 0xDE, 0x00}},
        {L"UTF-8", L"<\u00E9\u20AC\U0001F600>", {0x3C, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0x3E}},
        {L"UTF-7", L"A\u00E9", {'A', '+', 'A', 'O', 'k', '-'}},
        {L"windows-1252", L"a\u00E9\u20AC", {0x61, 0xE9, 0x80}},
        // 1252 has no CJK ideograph and no best fit for one: its default character stands in.
        {L"windows-1252", L"a\u4E2Db", {0x61, '?', 0x62}},
        {L"ISO-8859-15", L"\u20AC", {0xA4}},
        {L"cp850", L"\u00E9", {0x82}},
        {L"cp932", L"a\u65E5\u672C\uFF71", {0x61, 0x93, 0xFA, 0x96, 0x7B, 0xB1}},
        {L"EUC-JP", L"a\u6771\u4EAC", {0x61, 0xC5, 0xEC, 0xB5, 0xFE}},
        {L"EUC-KR", L"\uAC00", {0xB0, 0xA1}},
        {L"Big5", L"\u4E2D", {0xA4, 0xA4}},
        {L"GB2312", L"\u4E2D", {0xD6, 0xD0}},
        {L"KOI8-R", L"\u041F\u0440", {0xF0, 0xD2}},
        {L"MacCyrillic", L"\u041F\u0440", {0x8F, 0xF0}},
        {L"IBM037", L"<a", {0x4C, 0x81}},
        // What the encoding lacks is its default character, never a best-fit look-alike or
        // a pair of the superset that a reader of the declared encoding refuses.
        {L"windows-1252", L"\u0141", {'?'}},
        {L"US-ASCII", L"caf\u00E9", {'c', 'a', 'f', '?'}},
        {L"EUC-KR", L"\uAC02\uAC00", {'?', 0xB0, 0xA1}},
        {L"KS_C_5601-1987", L"\uAC02\uAC00", {0x81, 0x41, 0xB0, 0xA1}},
        {L"GB2312", L"\u4E02\u4E2D\u20AC", {'?', 0xD6, 0xD0, '?'}},
        {L"GBK", L"\u4E02\u20AC", {0x81, 0x40, 0x80}},
        {L"EUC-JP", L"\u4E02\uFF71", {'?', 0x8E, 0xB1}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.encoding);
        empty();
        const EncodingSpec spec = named(c.encoding);
        ASSERT_NE(spec.codePage, kNoCodePage);
        EXPECT_TRUE(writeText(file_, c.text, -1, &spec));
        EXPECT_EQ(written(), c.expected);
    }
}

TEST_F(WriteText, WithoutRecordUsesDefaultWriter) {
    EXPECT_TRUE(writeText(file_, L"a<b", -1));
    EXPECT_EQ(written(), (Bytes{0x61, 0x3C, 0x62}));
}

TEST_F(WriteText, WritesCountUnitsOrUpToNul) {
    const EncodingSpec utf16 = named(L"UTF-16BE");
    const EncodingSpec utf8 = named(L"UTF-8");
    EXPECT_TRUE(writeText(file_, L"abc", 2, &utf16));
    EXPECT_TRUE(writeText(file_, L"de\0f", -1, &utf8));
    EXPECT_TRUE(writeText(file_, L"g\0h", 3, &utf8));
    EXPECT_EQ(written(), (Bytes{0x00, 0x61, 0x00, 0x62, 'd', 'e', 'g', 0x00, 'h'}));
}

TEST_F(WriteText, EmptyTextDoesNotTouchFile) {
    for (const wchar_t* encoding : {L"UTF-16LE", L"UTF-16BE", L"UTF-8", L"<none>"}) {
        SCOPED_TRACE(encoding);
        const EncodingSpec spec = named(encoding);
        // An invalid handle fails any write, so success here means no write was tried.
        EXPECT_TRUE(writeText(INVALID_HANDLE_VALUE, L"abc", 0, &spec));
        EXPECT_TRUE(writeText(INVALID_HANDLE_VALUE, nullptr, -1, &spec));
        EXPECT_TRUE(writeText(INVALID_HANDLE_VALUE, L"", -1, &spec));
        EXPECT_TRUE(writeText(file_, nullptr, -1, &spec));
    }
    EXPECT_TRUE(written().empty());
}

// The writer switches from its fixed 4,096-byte buffer to the heap at 4,096 converted bytes; the bytes
// must not change at the switch.
TEST_F(WriteText, SameBytesEitherSideOfFixedBuffer) {
    const Bytes x{'x'};
    const Bytes eAcute{0xC3, 0xA9};
    const Bytes euroUtf8{0xE2, 0x82, 0xAC};
    const Bytes euroBigEndian{0x20, 0xAC};
    const Bytes sun{0x93, 0xFA};
    struct ThresholdCase {
        const wchar_t* encoding;
        std::wstring text;
        Bytes expected;
    };
    const ThresholdCase cases[] = {
        {L"UTF-8", std::wstring(4095, L'x'), repeated(x, 4095)},
        {L"UTF-8", std::wstring(4096, L'x'), repeated(x, 4096)},
        {L"UTF-8", std::wstring(4093, L'x') + L"\u00E9", concat(repeated(x, 4093), eAcute)},
        {L"UTF-8", std::wstring(4094, L'x') + L"\u00E9", concat(repeated(x, 4094), eAcute)},
        {L"UTF-8", std::wstring(50000, L'\u20AC'), repeated(euroUtf8, 50000)},
        {L"windows-1252", std::wstring(4095, L'\u20AC'), repeated({0x80}, 4095)},
        {L"windows-1252", std::wstring(4096, L'\u20AC'), repeated({0x80}, 4096)},
        {L"UTF-16BE", std::wstring(2047, L'\u20AC'), repeated(euroBigEndian, 2047)},
        {L"UTF-16BE", std::wstring(2048, L'\u20AC'), repeated(euroBigEndian, 2048)},
        {L"cp932", std::wstring(2047, L'\u65E5') + L"x", concat(repeated(sun, 2047), x)},
        {L"cp932", std::wstring(2048, L'\u65E5'), repeated(sun, 2048)},
    };
    for (const ThresholdCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.encoding << ", " << c.expected.size() << " bytes");
        empty();
        const EncodingSpec spec = named(c.encoding);
        EXPECT_TRUE(writeText(file_, c.text.c_str(), static_cast<int>(c.text.size()), &spec));
        const Bytes bytes = written();
        ASSERT_EQ(bytes.size(), c.expected.size());
        EXPECT_TRUE(bytes == c.expected);
    }
}

// Each message of a message-mode pipe is one WriteFile call, so reading one message shows whether the
// whole text went out in one write.
TEST(WriteTextPipe, OneFileWritePerCall) {
    const std::wstring name = L"\\\\.\\pipe\\verdalt-encoding-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 0,
                                     65536, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);
    const std::wstring large = std::wstring(3000, L'x') + L"\u20AC";
    for (const wchar_t* encoding : {L"UTF-16LE", L"UTF-16BE", L"UTF-8", L"windows-1252"}) {
        SCOPED_TRACE(encoding);
        const EncodingSpec spec = named(encoding);
        for (const std::wstring& text : {std::wstring(L"<a\u00E9>"), large}) {
            ASSERT_TRUE(writeText(client, text.c_str(), static_cast<int>(text.size()), &spec));
            char message[65536];
            DWORD read = 0;
            EXPECT_TRUE(ReadFile(server, message, sizeof(message), &read, nullptr));
            DWORD left = 0;
            EXPECT_TRUE(PeekNamedPipe(server, nullptr, 0, nullptr, &left, nullptr));
            EXPECT_EQ(left, 0u);
            EXPECT_GE(read, text.size());
        }
    }
    CloseHandle(client);
    CloseHandle(server);
}

TEST_F(WriteText, ReportsFailedWrite) {
    HANDLE readOnly = CreateFileW(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    const std::wstring large(5000, L'x');
    for (const wchar_t* encoding : {L"UTF-16LE", L"UTF-16BE", L"UTF-8", L"windows-1252", L"cp932", L"<none>"}) {
        SCOPED_TRACE(encoding);
        const EncodingSpec spec = named(encoding);
        EXPECT_FALSE(writeText(INVALID_HANDLE_VALUE, L"<a>", -1, &spec));
        EXPECT_FALSE(writeText(readOnly, L"<a>", -1, &spec));
        EXPECT_FALSE(writeText(readOnly, large.c_str(), static_cast<int>(large.size()), &spec));
    }
    CloseHandle(readOnly);
    EXPECT_TRUE(written().empty());
}

TEST_F(WriteText, ReportsFailedConversion) {
    EncodingSpec unknown;
    unknown.codePage = 12345;
    unknown.kind = 2;
    EXPECT_FALSE(writeText(file_, L"<a>", -1, &unknown));
    EXPECT_TRUE(written().empty());
}

class EncodingSpecByteOrderMark : public WriteText {};

TEST_F(EncodingSpecByteOrderMark, WritesMarkForUtf16Only) {
    const ConversionCase cases[] = {
        {L"UTF-16", nullptr, {0xFF, 0xFE}},   {L"UNICODE", nullptr, {0xFF, 0xFE}},
        {L"UTF-16BE", nullptr, {0xFE, 0xFF}}, {L"UTF-8", nullptr, {}},
        {L"windows-1252", nullptr, {}},       {L"<none>", nullptr, {}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.encoding);
        empty();
        EXPECT_TRUE(named(c.encoding).writeByteOrderMark(file_));
        EXPECT_EQ(written(), c.expected);
    }
}

TEST_F(EncodingSpecByteOrderMark, ReportsFailedWrite) {
    EXPECT_FALSE(named(L"UTF-16LE").writeByteOrderMark(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(named(L"UTF-16BE").writeByteOrderMark(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(named(L"UTF-8").writeByteOrderMark(INVALID_HANDLE_VALUE));
}

// Points currentOutputSpec at its own record and puts the process-wide pointer back afterwards.
class WriteTextEndOfLine : public WriteText {
protected:
    void TearDown() override {
        currentOutputSpec = saved_;
        WriteText::TearDown();
    }

    void use(const wchar_t* encoding, int32_t endOfLine) {
        output_ = named(encoding);
        output_.endOfLine = endOfLine;
        currentOutputSpec = &output_;
    }

    EncodingSpec* saved_ = currentOutputSpec;
    EncodingSpec output_;
};

TEST_F(WriteTextEndOfLine, WritesStyleOfCurrentOutputInItsEncoding) {
    struct EndOfLineCase {
        const wchar_t* encoding;
        int32_t endOfLine;
        Bytes expected;
    };
    const EndOfLineCase cases[] = {
        {L"UTF-16LE", 1, {0x0D, 0x00, 0x0A, 0x00}},
        {L"UTF-16LE", 2, {0x0A, 0x00}},
        {L"UTF-16LE", 3, {0x0D, 0x00}},
        {L"UTF-16BE", 1, {0x00, 0x0D, 0x00, 0x0A}},
        {L"UTF-16BE", 2, {0x00, 0x0A}},
        {L"UTF-16BE", 3, {0x00, 0x0D}},
        {L"UTF-8", 1, {0x0D, 0x0A}},
        {L"UTF-8", 2, {0x0A}},
        {L"UTF-8", 3, {0x0D}},
        {L"UTF-8", 0, {}},
        {L"UTF-16LE", 4, {}},
    };
    for (const EndOfLineCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.encoding << ", end of line " << c.endOfLine);
        empty();
        use(c.encoding, c.endOfLine);
        EXPECT_TRUE(writeEndOfLine(file_));
        EXPECT_EQ(written(), c.expected);
    }
}

TEST_F(WriteTextEndOfLine, DefaultWriterEndsLinesWithCrLf) {
    currentOutputSpec = &defaultWriterSpec;
    EXPECT_TRUE(writeEndOfLine(file_));
    EXPECT_EQ(written(), (Bytes{0x0D, 0x0A}));
}

TEST_F(WriteTextEndOfLine, BigEndianDocumentKeepsByteOrderThroughout) {
    use(L"UTF-16BE", 1);
    EXPECT_TRUE(currentOutputSpec->writeByteOrderMark(file_));
    EXPECT_TRUE(writeText(file_, L"<", 1, currentOutputSpec));
    EXPECT_TRUE(writeEndOfLine(file_));
    EXPECT_EQ(written(), (Bytes{0xFE, 0xFF, 0x00, 0x3C, 0x00, 0x0D, 0x00, 0x0A}));
}

TEST_F(WriteTextEndOfLine, ReportsFailedWrite) {
    use(L"UTF-16BE", 1);
    EXPECT_FALSE(writeEndOfLine(INVALID_HANDLE_VALUE));
    use(L"UTF-8", 0);
    EXPECT_TRUE(writeEndOfLine(INVALID_HANDLE_VALUE));
}

// The declaration names the encoding as stored when a document may declare that name for
// the same code page, and by the code page's usual name when the stored one is a loose
// spelling of an option value or keeps a stray character.
TEST(EncodingSpecName, TheDeclaredNameIsWellFormed) {
    const struct {
        const wchar_t* given;
        const wchar_t* declared;
    } cases[] = {
        {L"UTF-8", L"UTF-8"},
        {L"utf8", L"UTF-8"},
        {L"foo850", L"IBM850"},
        {L"Unicode", L"UTF-16LE"},
        {L"UTF16BE", L"UTF-16BE"},
        {L"Windows-1250", L"Windows-1250"},
        {L"EUC-KR", L"EUC-KR"},
        {L"GB2312", L"GB2312"},
        {L"UTF-8\"", L"UTF-8"},
        {L"windows-1252\"?>", L"windows-1252"},
        {L"ISO-8859-1\"5", L"ISO-8859-15"},
        {L"UTF-16BE'", L"UTF-16BE"},
        {L"\u00D5TF-8", L"UTF-8"},
        {L"437", L"IBM437"},
        {L"cp932\"", L"Shift_JIS"},
        {L"LATIN9", L"LATIN9"},
        {L"cp936\"", L"GBK"},
        // 949 is written whole, so it is declared by the name Windows gives it: EUC-KR holds less.
        {L"cp949'", L"KS_C_5601-1987"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        EXPECT_STREQ(named(c.given).declaredName(), c.declared);
    }
}

TEST(EncodingSpecName, HoldsWhatConvertsBackUnchanged) {
    const struct {
        const wchar_t* encoding;
        const wchar_t* text;
        bool held;
    } cases[] = {
        {L"<none>", L"name", true},
        {L"<none>", L"caf\u00E9", false},
        {L"windows-1252", L"caf\u00E9", true},
        {L"windows-1252", L"\u0416", false},
        {L"windows-1251", L"\u0416", true},
        {L"IBM437", L"\u00E9", true},
        {L"IBM437", L"\u0416", false},
        {L"UTF-8", L"\u0416\U0001F600", true},
        {L"UTF-16BE", L"\u0416", true},
        {L"KOI8-R", L"\u0416", true},
        {L"KOI8-R", L"\u00E9", false},
        {L"EUC-JP", L"\u6771\u4EAC", true},
        {L"IBM037", L"name", true},
        // A superset's characters are not held under the name of its EUC form, nor bytes the
        // code page only passes through, nor a best-fit neighbour.
        {L"EUC-KR", L"\uAC00", true},
        {L"EUC-KR", L"\uAC02", false},
        {L"KS_C_5601-1987", L"\uAC02", true},
        {L"GB2312", L"\u4E2D", true},
        {L"GB2312", L"\u4E02", false},
        {L"GB2312", L"\u20AC", false},
        {L"GBK", L"\u4E02", true},
        {L"EUC-JP", L"\uFF71", true},
        {L"EUC-JP", L"\u4E02", false},
        {L"EUC-JP", L"\u0085", false},
        {L"Shift_JIS", L"\u0080", false},
        {L"Shift_JIS", L"\uFF71", true},
        {L"US-ASCII", L"\u00E9", false},
        {L"windows-1252", L"\u0141", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.encoding << " " << c.text);
        EXPECT_EQ(named(c.encoding).holds(c.text, static_cast<int>(std::wcslen(c.text))), c.held);
    }
}

struct DeclaredCase {
    const wchar_t* declared;
    uint32_t codePage;  // kNoCodePage: refused
};

// A document's declaration is read by real names only: IANA's and the table's aliases. The
// loose family rules stay for option values, which keep their meaning.
TEST(EncodingSpecName, ADeclarationIsMatchedByRealNamesOnly) {
    const DeclaredCase cases[] = {
        {L"EUC-KR", 949},
        {L"euc-jp", 20932},
        {L"UTF-8", 65001},
        {L"utf-16be", 1201},
        {L"windows-1252", 1252},
        {L"Windows-874", 874},
        {L"ISO-8859-15", 28605},
        {L"ISO_8859-2", 28592},
        {L"latin2", 28592},
        {L"IBM850", 850},
        {L"cp850", 850},
        {L"850", 850},
        {L"IBM00858", kNoCodePage},
        {L"csPC850Multilingual", 850},
        {L"CP932", 932},
        {L"KS_C_5601-1987", 949},
        {L"x-mac-cyrillic", 10007},
        {L"foo850", kNoCodePage},
        {L"UNIX", kNoCodePage},
        {L"unicodeFFFE", kNoCodePage},
        {L"UNICODE", kNoCodePage},
        {L"utf8", kNoCodePage},
        {L"UTF16", kNoCodePage},
        {L"UTF-16BEX", kNoCodePage},
        {L"windows-932", kNoCodePage},
        {L"windows1252", kNoCodePage},
        {L"IBM932", kNoCodePage},
        {L"ISO-8859-16", kNoCodePage},
        {L"ISO-8859-1x", kNoCodePage},
        {L"LATIN10", kNoCodePage},
        {L"cp1252x", kNoCodePage},
        {L"EUC-KRX", kNoCodePage},
        {L" UTF-8", kNoCodePage},
        {L"", kNoCodePage},
    };
    for (const DeclaredCase& c : cases) {
        SCOPED_TRACE(c.declared);
        EncodingSpec spec = named(L"UTF-16BE");
        EXPECT_EQ(spec.setDeclaredName(c.declared), c.codePage != kNoCodePage);
        EXPECT_EQ(spec.codePage, c.codePage);
        EXPECT_STREQ(spec.name, c.codePage != kNoCodePage ? c.declared : L"<none>");
        // The panel's record is set from the name the parser reports, by the option rules.
        if (c.codePage != kNoCodePage) {
            EXPECT_EQ(named(c.declared).codePage, c.codePage);
        }
    }
    // The same strings as option values mean what they always did.
    EXPECT_EQ(named(L"foo850").codePage, 850u);
    EXPECT_EQ(named(L"UNIX").codePage, 1200u);
    EXPECT_EQ(named(L"unicodeFFFE").codePage, 1200u);
    EXPECT_EQ(named(L"utf8").codePage, 65001u);
}

}  // namespace
