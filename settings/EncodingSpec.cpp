#include "settings/EncodingSpec.h"

#include "settings/FileWriter.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

EncodingSpec defaultWriterSpec;
EncodingSpec* currentOutputSpec = &defaultWriterSpec;

namespace {

constexpr wchar_t kNoneName[] = L"<none>";
static_assert(sizeof(kNoneName) <= sizeof(EncodingSpec::name), "the reset name must fit the record");

constexpr int kListedCodePages[] = {437, 500, 720, 737, 775, 850, 852, 855, 857,  858,
                                    860, 863, 866, 869, 932, 936, 949, 950, 1047, 1140};

// ISO 8859 parts of LATIN1 to LATIN9, by the digit.
constexpr uint32_t kLatinCodePages[] = {28591, 28592, 28593, 28594, 28599, 28600, 28603, 28604, 28605};

constexpr uint32_t kUtf16LittleEndian = 1200;
constexpr uint32_t kUtf16BigEndian = 1201;
constexpr uint32_t kUtf7 = 65000;
constexpr uint32_t kUtf8 = 65001;
constexpr uint32_t kKindNone = 0;
constexpr uint32_t kKindSingleByte = 1;
constexpr uint32_t kKindListed = 2;
constexpr uint32_t kKindUtf8 = 3;
constexpr uint32_t kKindUtf16 = 4;

// Every piece of markup is written on its own, so the usual text must not allocate.
constexpr int kFixedBufferBytes = 4096;

// No rule accepts a part number this large; stopping here keeps a long run of digits from overflowing.
constexpr int kPartLimit = 100000000;

struct NameMatch {
    uint32_t codePage;
    uint32_t kind;
};

struct NamedEncoding {
    const wchar_t* name;
    NameMatch match;
};

// The encodings known by name alone, where the family rules find no code page: their IANA
// names and the aliases documents use. The parser reads through this table and the rules
// (model/ParserEncodings), so whatever a document may declare, the editor reads and the
// writers write in the same code page. The first name of a code page is its usual name.
// EUC-JP is 20932: the 51932 that Windows lists for it is converted by MultiByteToWideChar
// neither on Windows nor under Wine.
constexpr NamedEncoding kNamedEncodings[] = {
    {L"Shift_JIS", {932, kKindListed}},
    {L"MS_Kanji", {932, kKindListed}},
    {L"csShiftJIS", {932, kKindListed}},
    {L"SJIS", {932, kKindListed}},
    {L"x-sjis", {932, kKindListed}},
    {L"windows-31J", {932, kKindListed}},
    {L"csWindows31J", {932, kKindListed}},
    {L"GBK", {936, kKindListed}},
    {L"GB2312", {936, kKindListed}},
    {L"csGB2312", {936, kKindListed}},
    {L"GB_2312-80", {936, kKindListed}},
    {L"EUC-CN", {936, kKindListed}},
    {L"x-euc-cn", {936, kKindListed}},
    {L"MS936", {936, kKindListed}},
    {L"chinese", {936, kKindListed}},
    {L"EUC-KR", {949, kKindListed}},
    {L"csEUCKR", {949, kKindListed}},
    {L"KS_C_5601-1987", {949, kKindListed}},
    {L"KS_C_5601-1989", {949, kKindListed}},
    {L"KSC_5601", {949, kKindListed}},
    {L"KSC5601", {949, kKindListed}},
    {L"korean", {949, kKindListed}},
    {L"UHC", {949, kKindListed}},
    {L"Big5", {950, kKindListed}},
    {L"csBig5", {950, kKindListed}},
    {L"CN-Big5", {950, kKindListed}},
    {L"x-x-big5", {950, kKindListed}},
    {L"EUC-JP", {20932, kKindListed}},
    {L"csEUCPkdFmtJapanese", {20932, kKindListed}},
    {L"x-euc-jp", {20932, kKindListed}},
    {L"IBM037", {37, kKindListed}},
    {L"IBM-037", {37, kKindListed}},
    {L"EBCDIC-CP-US", {37, kKindListed}},
    {L"CP037", {37, kKindListed}},
    {L"csIBM037", {37, kKindListed}},
    {L"KOI8-R", {20866, kKindSingleByte}},
    {L"csKOI8R", {20866, kKindSingleByte}},
    {L"KOI8", {20866, kKindSingleByte}},
    {L"KOI8-U", {21866, kKindSingleByte}},
    {L"KOI8-RU", {21866, kKindSingleByte}},
    {L"x-mac-cyrillic", {10007, kKindSingleByte}},
    {L"MacCyrillic", {10007, kKindSingleByte}},
    {L"x-mac-ukrainian", {10017, kKindSingleByte}},
    {L"macintosh", {10000, kKindSingleByte}},
    {L"mac", {10000, kKindSingleByte}},
    {L"csMacintosh", {10000, kKindSingleByte}},
    {L"x-mac-roman", {10000, kKindSingleByte}},
    {L"MacRoman", {10000, kKindSingleByte}},
    {L"x-mac-ce", {10029, kKindSingleByte}},
    {L"MacCentralEurope", {10029, kKindSingleByte}},
    {L"x-mac-greek", {10006, kKindSingleByte}},
    {L"MacGreek", {10006, kKindSingleByte}},
    {L"x-mac-turkish", {10081, kKindSingleByte}},
    {L"MacTurkish", {10081, kKindSingleByte}},
    {L"x-mac-icelandic", {10079, kKindSingleByte}},
    {L"x-mac-croatian", {10082, kKindSingleByte}},
    {L"x-mac-romanian", {10010, kKindSingleByte}},
    {L"TIS-620", {874, kKindSingleByte}},
    {L"cp1250", {1250, kKindSingleByte}},
    {L"cp1251", {1251, kKindSingleByte}},
    {L"cp1252", {1252, kKindSingleByte}},
    {L"cp1253", {1253, kKindSingleByte}},
    {L"cp1254", {1254, kKindSingleByte}},
    {L"cp1255", {1255, kKindSingleByte}},
    {L"cp1256", {1256, kKindSingleByte}},
    {L"cp1257", {1257, kKindSingleByte}},
    {L"cp1258", {1258, kKindSingleByte}},
    {L"US-ASCII", {20127, kKindSingleByte}},
    {L"ASCII", {20127, kKindSingleByte}},
    {L"USASCII", {20127, kKindSingleByte}},
    {L"US_ASCII", {20127, kKindSingleByte}},
    {L"ANSI_X3.4-1968", {20127, kKindSingleByte}},
    {L"ISO646-US", {20127, kKindSingleByte}},
    {L"IBM367", {20127, kKindSingleByte}},
    {L"cp367", {20127, kKindSingleByte}},
    {L"csASCII", {20127, kKindSingleByte}},
    {L"us", {20127, kKindSingleByte}},
    {L"IBM819", {28591, kKindSingleByte}},
    {L"IBM-819", {28591, kKindSingleByte}},
    {L"CP819", {28591, kKindSingleByte}},
    {L"L1", {28591, kKindSingleByte}},
    {L"csISOLatin1", {28591, kKindSingleByte}},
    {L"ISO-IR-100", {28591, kKindSingleByte}},
    {L"UCS-2", {kUtf16LittleEndian, kKindUtf16}},
    {L"UCS2", {kUtf16LittleEndian, kKindUtf16}},
    {L"ISO-10646-UCS-2", {kUtf16LittleEndian, kKindUtf16}},
    {L"IBM1200", {kUtf16LittleEndian, kKindUtf16}},
    {L"IBM-1200", {kUtf16LittleEndian, kKindUtf16}},
    {L"csUnicode", {kUtf16LittleEndian, kKindUtf16}},
};

// ASCII letters compared without regard to case, as encoding names are.
bool sameEncodingName(const wchar_t* a, const wchar_t* b) {
    auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c; };
    for (; *a != 0 && fold(*a) == fold(*b); ++a, ++b) {
    }
    return fold(*a) == fold(*b);
}

NameMatch namedEncoding(const wchar_t* name) {
    for (const NamedEncoding& known : kNamedEncodings) {
        if (sameEncodingName(name, known.name)) {
            return known.match;
        }
    }
    return {0, kKindNone};
}

const wchar_t* usualNameOf(uint32_t codePage) {
    for (const NamedEncoding& known : kNamedEncodings) {
        if (known.match.codePage == codePage) {
            return known.name;
        }
    }
    return nullptr;
}

// Clearing 0x20 folds the case of ASCII letters; 0x80 is cleared as well, which folds Latin-1 letters
// onto ASCII ones.
wchar_t keyUnit(wchar_t unit) {
    return static_cast<wchar_t>(unit & ~0xA0);
}

bool keyIs(const wchar_t* name, const char* key) {
    return keyUnit(name[0]) == key[0] && keyUnit(name[1]) == key[1] && keyUnit(name[2]) == key[2];
}

bool containsBigEndianSuffix(const wchar_t* text) {
    for (; text[0] != 0 && text[1] != 0; ++text) {
        if ((text[0] == L'B' || text[0] == L'b') && (text[1] == L'E' || text[1] == L'e')) {
            return true;
        }
    }
    return false;
}

// A key that names a family but fails its condition matches nothing; it does not fall through to the
// listed code pages (so "windows-932" is not code page 932).
NameMatch matchName(const wchar_t* name, int number, int part) {
    const bool hasKey = name[0] != 0 && name[1] != 0;
    if (hasKey && keyIs(name, "UTF")) {
        if (number == 7 || number == 8) {
            return {static_cast<uint32_t>(number) + 64993, kKindUtf8};
        }
        if (number == 16) {
            // The byte order is named after the "16": the search starts at the sixth character, the earliest
            // place where "UTF16BE" has it.
            return {containsBigEndianSuffix(name + 5) ? kUtf16BigEndian : kUtf16LittleEndian, kKindUtf16};
        }
        return {0, kKindNone};
    }
    if (hasKey && keyIs(name, "UNI")) {
        return number == 0 ? NameMatch{kUtf16LittleEndian, kKindUtf16} : NameMatch{0, kKindNone};
    }
    if (hasKey && keyIs(name, "WIN")) {
        if ((number >= 1250 && number <= 1258) || number == 874) {
            return {static_cast<uint32_t>(number), kKindSingleByte};
        }
        return {0, kKindNone};
    }
    if (hasKey && keyIs(name, "ISO")) {
        if (number == 8859 && part >= 1 && part <= 15) {
            return {28590 + static_cast<uint32_t>(part), kKindSingleByte};
        }
        return {0, kKindNone};
    }
    if (hasKey && keyIs(name, "LAT")) {
        if (number >= 1 && number <= 9) {
            return {kLatinCodePages[number - 1], kKindSingleByte};
        }
        return {0, kKindNone};
    }
    return {static_cast<uint32_t>(EncodingSpec::isListedCodePage(number)), kKindListed};
}

// IsValidCodePage knows only the code pages that WideCharToMultiByte converts to; UTF-16 is written
// by this file itself.
bool canWrite(uint32_t codePage) {
    return codePage == kUtf16LittleEndian || codePage == kUtf16BigEndian || IsValidCodePage(codePage);
}

// Whether bytes, converted back, give the text again: a character the code page lacks
// comes back as its replacement or a best-fit neighbour.
bool survivesConversion(uint32_t codePage, const wchar_t* text, int count, const char* bytes, int size) {
    const int units = MultiByteToWideChar(codePage, 0, bytes, size, nullptr, 0);
    if (units != count) {
        return false;
    }
    std::unique_ptr<wchar_t[]> back(new (std::nothrow) wchar_t[static_cast<size_t>(units)]);
    if (!back) {
        return false;
    }
    MultiByteToWideChar(codePage, 0, bytes, size, back.get(), units);
    return std::wmemcmp(back.get(), text, static_cast<size_t>(count)) == 0;
}

// The code pages a record can name that write ASCII as itself: all but UTF-7, UTF-16 and the
// EBCDIC ones.
bool isAsciiTransparent(uint32_t codePage) {
    if (codePage == 0 || codePage == kUtf8 || codePage == 874 || (codePage >= 1250 && codePage <= 1258) ||
        (codePage >= 28591 && codePage <= 28605)) {
        return true;
    }
    if (codePage == kUtf7 || codePage == kUtf16LittleEndian || codePage == kUtf16BigEndian || codePage == 37 ||
        codePage == 500 || codePage == 1047 || codePage == 1140) {
        return false;
    }
    return EncodingSpec::isListedCodePage(static_cast<int>(codePage)) != 0 || usualNameOf(codePage) != nullptr;
}

}  // namespace

void EncodingSpec::reset() {
    std::memcpy(name, kNoneName, sizeof(kNoneName));
    codePage = 0;
    kind = kKindNone;
    endOfLine = 1;
}

int EncodingSpec::parseName(const wchar_t* encodingName, int* part) {
    int number = 0;
    int partNumber = 0;
    int digits = 0;
    int stored = 0;
    for (const wchar_t* unit = encodingName ? encodingName : L""; *unit != 0 && stored < kNameUnits - 1; ++unit) {
        // Names come from option rows and XML declarations, where blanks and line ends may surround them.
        if (*unit <= 0x20) {
            continue;
        }
        name[stored++] = *unit;
        if (*unit >= L'0' && *unit <= L'9') {
            const int digit = *unit - L'0';
            if (digits < 4) {
                number = number * 10 + digit;
            } else if (partNumber < kPartLimit) {
                partNumber = partNumber * 10 + digit;
            }
            ++digits;
        }
    }
    name[stored] = 0;
    if (part) {
        *part = partNumber;
    }
    return number;
}

void EncodingSpec::setName(const wchar_t* encodingName) {
    codePage = 0;
    int part = 0;
    const int number = parseName(encodingName, &part);
    NameMatch match = matchName(name, number, part);
    if (match.codePage == 0) {
        match = namedEncoding(name);
    }
    if (match.codePage == 0 || !canWrite(match.codePage)) {
        reset();
        return;
    }
    codePage = match.codePage;
    kind = match.kind;
}

int EncodingSpec::isListedCodePage(int number) {
    for (int listed : kListedCodePages) {
        if (listed == number) {
            return number;
        }
    }
    return 0;
}

bool EncodingSpec::writeByteOrderMark(HANDLE file) const {
    static constexpr unsigned char kLittleEndianMark[] = {0xFF, 0xFE};
    static constexpr unsigned char kBigEndianMark[] = {0xFE, 0xFF};
    if (kind != kKindUtf16) {
        return true;
    }
    if (codePage == kUtf16LittleEndian) {
        return writeFileBytes(file, kLittleEndianMark, sizeof(kLittleEndianMark));
    }
    if (codePage == kUtf16BigEndian) {
        return writeFileBytes(file, kBigEndianMark, sizeof(kBigEndianMark));
    }
    return true;
}

bool writeText(HANDLE file, const wchar_t* text, int count, const EncodingSpec* spec, bool* lossy) {
    if (count == -1) {
        const size_t length = text ? std::wcslen(text) : 0;
        if (length > static_cast<size_t>(INT_MAX)) {
            return false;
        }
        count = static_cast<int>(length);
    }
    if (count == 0) {
        return true;
    }
    if (count < 0 || !text) {
        return false;
    }
    const EncodingSpec& encoding = spec ? *spec : defaultWriterSpec;

    if (encoding.codePage == kUtf16LittleEndian) {
        return writeFileBytes(file, text, static_cast<DWORD>(count) * 2);
    }

    char fixedBuffer[kFixedBufferBytes];
    std::unique_ptr<char[]> heapBuffer;
    auto bufferFor = [&](size_t size) -> char* {
        if (size < kFixedBufferBytes) {
            return fixedBuffer;
        }
        heapBuffer.reset(new (std::nothrow) char[size]);
        return heapBuffer.get();
    };

    if (encoding.codePage == kUtf16BigEndian) {
        const size_t size = static_cast<size_t>(count) * 2;
        char* buffer = bufferFor(size);
        if (!buffer) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            buffer[2 * i] = static_cast<char>(text[i] >> 8);
            buffer[2 * i + 1] = static_cast<char>(text[i] & 0xFF);
        }
        return writeFileBytes(file, buffer, static_cast<DWORD>(size));
    }

    // Markup and most text is ASCII, which every code page but UTF-7 and EBCDIC writes as itself:
    // copied, it spares the two conversion calls per piece.
    if (isAsciiTransparent(encoding.codePage) && count < kFixedBufferBytes) {
        int i = 0;
        while (i < count && text[i] < 0x80) {
            fixedBuffer[i] = static_cast<char>(text[i]);
            ++i;
        }
        if (i == count) {
            return writeFileBytes(file, fixedBuffer, static_cast<DWORD>(count));
        }
    }

    // UTF-8 takes at most three bytes per unit, so one call converts into a buffer of that size.
    if (encoding.codePage == kUtf8 && count < kFixedBufferBytes / 3) {
        const int converted =
            WideCharToMultiByte(kUtf8, 0, text, count, fixedBuffer, kFixedBufferBytes, nullptr, nullptr);
        if (converted <= 0) {
            return false;
        }
        if (lossy && !*lossy && !survivesConversion(kUtf8, text, count, fixedBuffer, converted)) {
            *lossy = true;
        }
        return writeFileBytes(file, fixedBuffer, static_cast<DWORD>(converted));
    }

    // Code page 0 is CP_ACP. UTF-7 and UTF-8 accept no flags, so none are passed for any code page;
    // without a default character given, each code page uses its own for what it lacks.
    const int size = WideCharToMultiByte(encoding.codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    char* buffer = bufferFor(static_cast<size_t>(size));
    if (!buffer) {
        return false;
    }
    const int converted = WideCharToMultiByte(encoding.codePage, 0, text, count, buffer, size, nullptr, nullptr);
    if (converted <= 0) {
        return false;
    }
    if (lossy && !*lossy && !survivesConversion(encoding.codePage, text, count, buffer, converted)) {
        *lossy = true;
    }
    return writeFileBytes(file, buffer, static_cast<DWORD>(converted));
}

const wchar_t* EncodingSpec::endOfLineUnits() const {
    switch (endOfLine) {
        case 1:
            return L"\r\n";
        case 2:
            return L"\n";
        case 3:
            return L"\r";
        default:
            return L"";
    }
}

bool EncodingSpec::holds(const wchar_t* text, int count) const {
    if (text == nullptr || count <= 0) {
        return true;
    }
    bool ascii = true;
    for (int i = 0; i < count && ascii; ++i) {
        ascii = text[i] < 0x80;
    }
    if (kind == kKindNone) {
        return ascii;
    }
    if (codePage == kUtf16LittleEndian || codePage == kUtf16BigEndian || codePage == kUtf8 || codePage == kUtf7 ||
        (ascii && isAsciiTransparent(codePage))) {
        return true;
    }
    const int size = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[static_cast<size_t>(size)]);
    if (!bytes) {
        return false;
    }
    const int converted = WideCharToMultiByte(codePage, 0, text, count, bytes.get(), size, nullptr, nullptr);
    return converted > 0 && survivesConversion(codePage, text, count, bytes.get(), converted);
}

const wchar_t* EncodingSpec::declaredName() const {
    // EncName: a letter, then letters, digits, '.', '_' and '-'.
    bool wellFormed = (name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z');
    for (const wchar_t* unit = name + 1; wellFormed && *unit != 0; ++unit) {
        const wchar_t c = *unit;
        wellFormed = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' ||
                     c == L'_' || c == L'-';
    }
    if (wellFormed) {
        return name;
    }
    static wchar_t usual[kNameUnits];
    switch (codePage) {
        case kUtf8:
            return L"UTF-8";
        case kUtf7:
            return L"UTF-7";
        case kUtf16LittleEndian:
            return L"UTF-16LE";
        case kUtf16BigEndian:
            return L"UTF-16BE";
        default:
            break;
    }
    if (codePage == 874 || (codePage >= 1250 && codePage <= 1258)) {
        std::swprintf(usual, kNameUnits, L"windows-%u", codePage);
    } else if (codePage >= 28591 && codePage <= 28605) {
        std::swprintf(usual, kNameUnits, L"ISO-8859-%u", codePage - 28590);
    } else if (const wchar_t* named = usualNameOf(codePage)) {
        return named;
    } else {
        std::swprintf(usual, kNameUnits, L"IBM%u", codePage);
    }
    return usual;
}

const EncodingSpec& outputSpec() {
    return currentOutputSpec != nullptr ? *currentOutputSpec : defaultWriterSpec;
}

bool writeEndOfLine(HANDLE file) {
    const EncodingSpec& spec = outputSpec();
    const wchar_t* units = spec.endOfLineUnits();
    return units[0] == 0 || writeText(file, units, -1, &spec);
}
