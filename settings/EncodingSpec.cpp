#include "settings/EncodingSpec.h"

#include "settings/FileWriter.h"

#include <algorithm>
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
    bool eucForm = false;  // read and written as the EUC form inside the code page's superset
};

// The encodings known by name alone, where the family rules find no code page: their IANA
// names and the aliases documents use. The parser reads through this table and the rules
// (model/ParserEncodings), so whatever a document may declare, the editor reads and the
// writers write in the same code page. The first name of a code page is its usual name.
// EUC-JP is 20932: the 51932 that Windows lists for it is converted by MultiByteToWideChar
// neither on Windows nor under Wine. EUC-KR and GB2312 have code pages of their own (51949,
// 20936) on Windows only; here they are the EUC form inside 949 and 936, whose other names
// (the ones Windows gives those code pages) mean the whole superset.
constexpr NamedEncoding kNamedEncodings[] = {
    {L"Shift_JIS", {932, kKindListed}},
    {L"MS_Kanji", {932, kKindListed}},
    {L"csShiftJIS", {932, kKindListed}},
    {L"SJIS", {932, kKindListed}},
    {L"x-sjis", {932, kKindListed}},
    {L"windows-31J", {932, kKindListed}},
    {L"csWindows31J", {932, kKindListed}},
    {L"GBK", {936, kKindListed}},
    {L"MS936", {936, kKindListed}},
    {L"windows-936", {936, kKindListed}},
    {L"GB2312", {936, kKindListed}, true},
    {L"csGB2312", {936, kKindListed}, true},
    {L"GB_2312-80", {936, kKindListed}, true},
    {L"EUC-CN", {936, kKindListed}, true},
    {L"x-euc-cn", {936, kKindListed}, true},
    {L"chinese", {936, kKindListed}, true},
    {L"KS_C_5601-1987", {949, kKindListed}},
    {L"EUC-KR", {949, kKindListed}, true},
    {L"csEUCKR", {949, kKindListed}, true},
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

// The rest of the IANA registry's aliases of the encodings read, where the family rules do
// not reach them: ISO 8859's registered names and numbers, short and "cs" names, IBM's
// five-digit names. None is a code page's usual name.
constexpr NamedEncoding kRegisteredAliases[] = {
    {L"IBM00858", {858, kKindListed}},
    {L"CCSID00858", {858, kKindListed}},
    {L"CP00858", {858, kKindListed}},
    {L"csIBM00858", {858, kKindListed}},
    {L"PC-Multilingual-850+euro", {858, kKindListed}},
    {L"IBM01140", {1140, kKindListed}},
    {L"CCSID01140", {1140, kKindListed}},
    {L"CP01140", {1140, kKindListed}},
    {L"csIBM01140", {1140, kKindListed}},
    {L"ebcdic-us-37+euro", {1140, kKindListed}},
    {L"IBM-1047", {1047, kKindListed}},
    {L"csIBM1047", {1047, kKindListed}},
    {L"ebcdic-cp-ca", {37, kKindListed}},
    {L"ebcdic-cp-wt", {37, kKindListed}},
    {L"ebcdic-cp-nl", {37, kKindListed}},
    {L"ebcdic-cp-be", {500, kKindListed}},
    {L"ebcdic-cp-ch", {500, kKindListed}},
    {L"csPC8CodePage437", {437, kKindListed}},
    {L"cp-gr", {869, kKindListed}},
    {L"csGBK", {936, kKindListed}},
    {L"iso-ir-58", {936, kKindListed}, true},
    {L"csISO58GB231280", {936, kKindListed}, true},
    {L"iso-ir-149", {949, kKindListed}},
    {L"csKSC56011987", {949, kKindListed}},
    {L"Extended_UNIX_Code_Packed_Format_for_Japanese", {20932, kKindListed}},
    {L"csKOI8U", {21866, kKindSingleByte}},
    {L"csTIS620", {874, kKindSingleByte}},
    {L"ISO-8859-11", {874, kKindSingleByte}},
    {L"cswindows874", {874, kKindSingleByte}},
    {L"cswindows1250", {1250, kKindSingleByte}},
    {L"cswindows1251", {1251, kKindSingleByte}},
    {L"cswindows1252", {1252, kKindSingleByte}},
    {L"cswindows1253", {1253, kKindSingleByte}},
    {L"cswindows1254", {1254, kKindSingleByte}},
    {L"cswindows1255", {1255, kKindSingleByte}},
    {L"cswindows1256", {1256, kKindSingleByte}},
    {L"cswindows1257", {1257, kKindSingleByte}},
    {L"cswindows1258", {1258, kKindSingleByte}},
    {L"iso-ir-6", {20127, kKindSingleByte}},
    {L"ANSI_X3.4-1986", {20127, kKindSingleByte}},
    {L"ISO_646.irv:1991", {20127, kKindSingleByte}},
    {L"ISO_8859-1:1987", {28591, kKindSingleByte}},
    {L"ISO_8859-2:1987", {28592, kKindSingleByte}},
    {L"iso-ir-101", {28592, kKindSingleByte}},
    {L"l2", {28592, kKindSingleByte}},
    {L"csISOLatin2", {28592, kKindSingleByte}},
    {L"ISO_8859-3:1988", {28593, kKindSingleByte}},
    {L"iso-ir-109", {28593, kKindSingleByte}},
    {L"l3", {28593, kKindSingleByte}},
    {L"csISOLatin3", {28593, kKindSingleByte}},
    {L"ISO_8859-4:1988", {28594, kKindSingleByte}},
    {L"iso-ir-110", {28594, kKindSingleByte}},
    {L"l4", {28594, kKindSingleByte}},
    {L"csISOLatin4", {28594, kKindSingleByte}},
    {L"ISO_8859-5:1988", {28595, kKindSingleByte}},
    {L"iso-ir-144", {28595, kKindSingleByte}},
    {L"cyrillic", {28595, kKindSingleByte}},
    {L"csISOLatinCyrillic", {28595, kKindSingleByte}},
    {L"ISO_8859-6:1987", {28596, kKindSingleByte}},
    {L"iso-ir-127", {28596, kKindSingleByte}},
    {L"ECMA-114", {28596, kKindSingleByte}},
    {L"ASMO-708", {28596, kKindSingleByte}},
    {L"arabic", {28596, kKindSingleByte}},
    {L"csISOLatinArabic", {28596, kKindSingleByte}},
    // The -E and -I forms say how the text is ordered, not which characters it holds.
    {L"ISO_8859-6-E", {28596, kKindSingleByte}},
    {L"ISO-8859-6-E", {28596, kKindSingleByte}},
    {L"csISO88596E", {28596, kKindSingleByte}},
    {L"ISO_8859-6-I", {28596, kKindSingleByte}},
    {L"ISO-8859-6-I", {28596, kKindSingleByte}},
    {L"csISO88596I", {28596, kKindSingleByte}},
    {L"ISO_8859-7:1987", {28597, kKindSingleByte}},
    {L"iso-ir-126", {28597, kKindSingleByte}},
    {L"ELOT_928", {28597, kKindSingleByte}},
    {L"ECMA-118", {28597, kKindSingleByte}},
    {L"greek", {28597, kKindSingleByte}},
    {L"greek8", {28597, kKindSingleByte}},
    {L"csISOLatinGreek", {28597, kKindSingleByte}},
    {L"ISO_8859-8:1988", {28598, kKindSingleByte}},
    {L"iso-ir-138", {28598, kKindSingleByte}},
    {L"hebrew", {28598, kKindSingleByte}},
    {L"csISOLatinHebrew", {28598, kKindSingleByte}},
    {L"ISO_8859-8-E", {28598, kKindSingleByte}},
    {L"ISO-8859-8-E", {28598, kKindSingleByte}},
    {L"csISO88598E", {28598, kKindSingleByte}},
    {L"ISO_8859-8-I", {28598, kKindSingleByte}},
    {L"ISO-8859-8-I", {28598, kKindSingleByte}},
    {L"csISO88598I", {28598, kKindSingleByte}},
    {L"ISO_8859-9:1989", {28599, kKindSingleByte}},
    {L"iso-ir-148", {28599, kKindSingleByte}},
    {L"l5", {28599, kKindSingleByte}},
    {L"csISOLatin5", {28599, kKindSingleByte}},
    {L"ISO_8859-10:1992", {28600, kKindSingleByte}},
    {L"iso-ir-157", {28600, kKindSingleByte}},
    {L"l6", {28600, kKindSingleByte}},
    {L"csISOLatin6", {28600, kKindSingleByte}},
    {L"csISO885913", {28603, kKindSingleByte}},
    {L"ISO_8859-14:1998", {28604, kKindSingleByte}},
    {L"iso-ir-199", {28604, kKindSingleByte}},
    {L"iso-celtic", {28604, kKindSingleByte}},
    {L"l8", {28604, kKindSingleByte}},
    {L"csISO885914", {28604, kKindSingleByte}},
    {L"Latin-9", {28605, kKindSingleByte}},
    {L"csISO885915", {28605, kKindSingleByte}},
    {L"csUTF8", {kUtf8, kKindUtf8}},
    {L"csUTF16", {kUtf16LittleEndian, kKindUtf16}},
    {L"csUTF16LE", {kUtf16LittleEndian, kKindUtf16}},
    {L"csUTF16BE", {kUtf16BigEndian, kKindUtf16}},
};

// ASCII letters compared without regard to case, as encoding names are.
bool sameEncodingName(const wchar_t* a, const wchar_t* b) {
    auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c; };
    for (; *a != 0 && fold(*a) == fold(*b); ++a, ++b) {
    }
    return fold(*a) == fold(*b);
}

const NamedEncoding* namedEntry(const wchar_t* name) {
    for (const NamedEncoding& known : kNamedEncodings) {
        if (sameEncodingName(name, known.name)) {
            return &known;
        }
    }
    for (const NamedEncoding& known : kRegisteredAliases) {
        if (sameEncodingName(name, known.name)) {
            return &known;
        }
    }
    return nullptr;
}

NameMatch namedEncoding(const wchar_t* name) {
    const NamedEncoding* known = namedEntry(name);
    return known != nullptr ? known->match : NameMatch{0, kKindNone};
}

// The name a declaration gives a code page: never an EUC form's, which holds less.
const wchar_t* usualNameOf(uint32_t codePage) {
    for (const NamedEncoding& known : kNamedEncodings) {
        if (known.match.codePage == codePage && !known.eucForm) {
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

// The rest of name after prefix (ASCII letters in either case), or null.
const wchar_t* afterPrefix(const wchar_t* name, const wchar_t* prefix) {
    auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c; };
    for (; *prefix != 0; ++name, ++prefix) {
        if (fold(*name) != fold(*prefix)) {
            return nullptr;
        }
    }
    return name;
}

// The number that the whole of text spells in decimal digits; -1 for anything else.
int wholeNumber(const wchar_t* text) {
    if (text == nullptr || *text == 0) {
        return -1;
    }
    int number = 0;
    for (; *text != 0; ++text) {
        if (*text < L'0' || *text > L'9' || number > 99999) {
            return -1;
        }
        number = number * 10 + (*text - L'0');
    }
    return number;
}

bool isAsianCodePage(int number) {
    return number == 932 || number == 936 || number == 949 || number == 950;
}

// The family names as IANA registers them, spelled out whole: UTF-8, windows-1252, ISO-8859-15,
// LATIN1 to LATIN9, IBM850, cp850 and 850. IBM's own 932-950 are other code pages than
// Windows', so those numbers go only with "cp".
NameMatch matchDeclaredFamily(const wchar_t* name) {
    struct Exact {
        const wchar_t* name;
        NameMatch match;
    };
    static constexpr Exact kExact[] = {
        {L"UTF-8", {kUtf8, kKindUtf8}},
        {L"UTF-7", {kUtf7, kKindUtf8}},
        {L"UTF-16", {kUtf16LittleEndian, kKindUtf16}},
        {L"UTF-16LE", {kUtf16LittleEndian, kKindUtf16}},
        {L"UTF-16BE", {kUtf16BigEndian, kKindUtf16}},
    };
    // IANA's other aliases of the listed code pages that the family rules reach by their digits.
    static constexpr Exact kAliases[] = {
        {L"csIBM500", {500, kKindListed}},
        {L"csPC775Baltic", {775, kKindListed}},
        {L"csPC850Multilingual", {850, kKindListed}},
        {L"csPCp852", {852, kKindListed}},
        {L"csIBM855", {855, kKindListed}},
        {L"csIBM857", {857, kKindListed}},
        {L"csIBM860", {860, kKindListed}},
        {L"csIBM863", {863, kKindListed}},
        {L"csIBM866", {866, kKindListed}},
        {L"csIBM869", {869, kKindListed}},
    };
    for (const Exact& exact : kExact) {
        if (sameEncodingName(name, exact.name)) {
            return exact.match;
        }
    }
    for (const Exact& alias : kAliases) {
        if (sameEncodingName(name, alias.name)) {
            return alias.match;
        }
    }
    if (const wchar_t* rest = afterPrefix(name, L"windows-")) {
        const int number = wholeNumber(rest);
        if ((number >= 1250 && number <= 1258) || number == 874) {
            return {static_cast<uint32_t>(number), kKindSingleByte};
        }
        return {0, kKindNone};
    }
    for (const wchar_t* prefix : {L"ISO-8859-", L"ISO_8859-"}) {
        if (const wchar_t* rest = afterPrefix(name, prefix)) {
            const int part = wholeNumber(rest);
            return part >= 1 && part <= 15 ? NameMatch{28590 + static_cast<uint32_t>(part), kKindSingleByte}
                                           : NameMatch{0, kKindNone};
        }
    }
    if (const wchar_t* rest = afterPrefix(name, L"LATIN")) {
        const int digit = rest[0] != 0 && rest[1] == 0 ? wholeNumber(rest) : -1;
        return digit >= 1 && digit <= 9 ? NameMatch{kLatinCodePages[digit - 1], kKindSingleByte}
                                        : NameMatch{0, kKindNone};
    }
    const wchar_t* ibm = afterPrefix(name, L"IBM");
    const wchar_t* cp = afterPrefix(name, L"CP");
    // No leading zeros: the family rules read only the first four digits, and the panel's record
    // is set from the name the parser reports by those rules.
    const wchar_t* digits = ibm != nullptr ? ibm : cp != nullptr ? cp : name;
    const int number = digits[0] == L'0' ? -1 : wholeNumber(digits);
    if (number <= 0 || EncodingSpec::isListedCodePage(number) == 0 || (cp == nullptr && isAsianCodePage(number))) {
        return {0, kKindNone};
    }
    return {static_cast<uint32_t>(number), kKindListed};
}

// What a declared name means: the table's names, then the family's names spelled out whole.
NameMatch matchDeclaredName(const wchar_t* name) {
    const NameMatch named = namedEncoding(name);
    return named.codePage != 0 ? named : matchDeclaredFamily(name);
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

// The answers of holdsCharacter for single units, kept for the last encoding asked: text
// in one encoding asks for the same few characters again and again.
struct HeldCharacters {
    wchar_t name[EncodingSpec::kNameUnits] = {};
    uint32_t codePage = 0;
    std::unique_ptr<CodePageBytes> reader;
    uint8_t known[65536];  // 0 not asked, 1 held, 2 lacking
};

HeldCharacters& heldCharactersOf(const EncodingSpec& spec) {
    static HeldCharacters held;
    if (!held.reader || held.codePage != spec.codePage || std::wcscmp(held.name, spec.name) != 0) {
        held.reader = std::make_unique<CodePageBytes>(spec);
        held.codePage = spec.codePage;
        std::wmemcpy(held.name, spec.name, EncodingSpec::kNameUnits);
        std::memset(held.known, 0, sizeof(held.known));
    }
    return held;
}

// Puts the code page's default character in place of every byte sequence of size bytes that
// the encoding's reader would refuse (a superset's pair under an EUC name, a byte the code page
// only passes through); returns the bytes left.
int keepToTheEncoding(const EncodingSpec& spec, char* bytes, int size) {
    const CodePageBytes& reader = *heldCharactersOf(spec).reader;
    CPINFO info{};
    const char stand = GetCPInfo(spec.codePage, &info) ? static_cast<char>(info.DefaultChar[0]) : '?';
    const auto* in = reinterpret_cast<const unsigned char*>(bytes);
    int from = 0;
    int to = 0;
    while (from < size) {
        int length = 1;
        wchar_t units[2];
        int made = 0;
        const CodePageBytes::Status status =
            reader.next(in + from, static_cast<size_t>(size - from), &length, units, &made);
        if (status == CodePageBytes::kCharacter) {
            std::memmove(bytes + to, bytes + from, static_cast<size_t>(length));
            to += length;
        } else {
            bytes[to++] = stand;
            length = status == CodePageBytes::kIncomplete ? size - from : std::min(length, size - from);
        }
        from += std::max(length, 1);
    }
    return to;
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
    if (match.codePage == 0 || !canWrite(match.codePage)) {
        match = namedEncoding(name);
    }
    if (match.codePage == 0 || !canWrite(match.codePage)) {
        reset();
        return;
    }
    codePage = match.codePage;
    kind = match.kind;
}

bool EncodingSpec::setDeclaredName(const wchar_t* encodingName) {
    reset();
    const size_t length = encodingName != nullptr ? std::wcslen(encodingName) : 0;
    if (length == 0) {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (encodingName[i] <= 0x20) {
            return false;
        }
    }
    // The whole name is matched, never a cut one.
    const NameMatch match = matchDeclaredName(encodingName);
    if (match.codePage == 0 || !canWrite(match.codePage)) {
        return false;
    }
    codePage = match.codePage;
    kind = match.kind;
    if (length < static_cast<size_t>(kNameUnits)) {
        std::wmemcpy(name, encodingName, length + 1);
        return true;
    }
    // A registered alias longer than the record holds is kept as its code page's usual name.
    name[0] = 0;
    const wchar_t* usual = declaredName();
    std::wmemcpy(name, usual, std::wcslen(usual) + 1);
    return true;
}

bool EncodingSpec::eucForm() const {
    const NamedEncoding* known = namedEntry(name);
    return known != nullptr && known->eucForm && known->match.codePage == codePage;
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

    // Code page 0 is CP_ACP, and UTF-7 accepts no flags; the code pages of the table take
    // WC_NO_BEST_FIT_CHARS, so what they lack becomes their default character, never a
    // look-alike. Without a default character given, each code page uses its own.
    const DWORD flags = encoding.kind == kKindSingleByte || encoding.kind == kKindListed ? WC_NO_BEST_FIT_CHARS : 0;
    const int size = WideCharToMultiByte(encoding.codePage, flags, text, count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return false;
    }
    char* buffer = bufferFor(static_cast<size_t>(size));
    if (!buffer) {
        return false;
    }
    int converted = WideCharToMultiByte(encoding.codePage, flags, text, count, buffer, size, nullptr, nullptr);
    if (converted <= 0) {
        return false;
    }
    // The ANSI code page writes option files and the parse log, where what converts back is kept.
    const bool kept = encoding.kind == kKindNone ? survivesConversion(encoding.codePage, text, count, buffer, converted)
                                                 : encoding.holds(text, count);
    if (lossy && !*lossy && !kept) {
        *lossy = true;
    }
    if (encoding.kind == kKindListed) {
        converted = keepToTheEncoding(encoding, buffer, converted);
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
    if (kind == kKindUtf8 || kind == kKindUtf16) {
        return true;
    }
    const bool asciiAsItself = kind != kKindNone && isAsciiTransparent(codePage);
    for (int i = 0; i < count; ++i) {
        if (text[i] < 0x80 && (kind == kKindNone || asciiAsItself)) {
            continue;
        }
        const bool pair =
            text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (!holdsCharacter(text + i, pair ? 2 : 1)) {
            return false;
        }
        i += pair ? 1 : 0;
    }
    return true;
}

bool EncodingSpec::holdsCharacter(const wchar_t* units, int count) const {
    if (kind == kKindUtf8 || kind == kKindUtf16) {
        return true;
    }
    if (kind == kKindNone || count < 1 || count > 2) {
        return count == 1 && units[0] < 0x80;
    }
    const bool lone = count == 1 && units[0] >= 0xD800 && units[0] <= 0xDFFF;
    if (lone) {
        return false;
    }
    HeldCharacters& held = heldCharactersOf(*this);
    if (count == 1 && held.known[units[0]] != 0) {
        return held.known[units[0]] == 1;
    }
    char bytes[16];
    BOOL usedDefault = FALSE;
    const int converted =
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, count, bytes, sizeof(bytes), nullptr, &usedDefault);
    bool result = converted > 0 && !usedDefault;
    if (result) {
        int length = 0;
        wchar_t back[2];
        int made = 0;
        result = held.reader->next(reinterpret_cast<const unsigned char*>(bytes), static_cast<size_t>(converted),
                                   &length, back, &made) == CodePageBytes::kCharacter &&
                 length == converted && made == count && std::wmemcmp(back, units, static_cast<size_t>(count)) == 0;
    }
    if (count == 1) {
        held.known[units[0]] = result ? 1 : 2;
    }
    return result;
}

const wchar_t* EncodingSpec::declaredName() const {
    // EncName: a letter, then letters, digits, '.', '_' and '-'.
    bool wellFormed = (name[0] >= L'A' && name[0] <= L'Z') || (name[0] >= L'a' && name[0] <= L'z');
    for (const wchar_t* unit = name + 1; wellFormed && *unit != 0; ++unit) {
        const wchar_t c = *unit;
        wellFormed = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'.' ||
                     c == L'_' || c == L'-';
    }
    // The stored name stands when a document may declare it and it means this code page
    // (an option value may be a loose spelling such as "foo850" or "Unicode").
    EncodingSpec declared;
    if (wellFormed && declared.setDeclaredName(name) && declared.codePage == codePage) {
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

CodePageBytes::CodePageBytes(const EncodingSpec& spec) : codePage_(spec.codePage) {
    CPINFOEXW info{};
    doubleByte_ = GetCPInfoExW(codePage_, 0, &info) && info.MaxCharSize > 1;
    for (int i = 0; doubleByte_ && i + 1 < MAX_LEADBYTES && (info.LeadByte[i] != 0 || info.LeadByte[i + 1] != 0);
         i += 2) {
        for (int byte = info.LeadByte[i]; byte <= info.LeadByte[i + 1]; ++byte) {
            lead_[byte] = true;
        }
    }
    eucJapanese_ = codePage_ == 20932;
    eucForm_ = eucJapanese_ || spec.eucForm();
    for (int byte = 0; byte < 256; ++byte) {
        single_[byte] = kNoUnit;
        if (lead_[byte] || (eucForm_ && byte >= 0x80)) {
            continue;
        }
        const char one = static_cast<char>(byte);
        wchar_t unit = kNoUnit;
        if (MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, &one, 1, &unit, 1) != 1) {
            continue;
        }
        // Windows and Wine pass the undefined high bytes of Shift_JIS, Big5 and UHC (and
        // EUC-JP's SS3) through as C1 controls.
        if (doubleByte_ && byte >= 0x80 && unit >= 0x80 && unit <= 0x9F) {
            continue;
        }
        single_[byte] = unit;
    }
}

CodePageBytes::Status CodePageBytes::next(const unsigned char* bytes,
                                          size_t count,
                                          int* length,
                                          wchar_t* units,
                                          int* unitCount) const {
    const unsigned char lead = bytes[0];
    *length = 1;
    *unitCount = 0;
    if (single_[lead] != kNoUnit) {
        units[0] = single_[lead];
        *unitCount = 1;
        return kCharacter;
    }
    if (eucJapanese_ && lead == 0x8F) {
        // SS3 and its two bytes are named whole, so the message shows the character refused;
        // without them, the lone byte.
        auto euc = [](unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; };
        if ((count >= 2 && !euc(bytes[1])) || (count >= 3 && !euc(bytes[2]))) {
            return kInvalid;
        }
        if (count < 3) {
            return kIncomplete;
        }
        *length = 3;
        return kInvalid;
    }
    if (!lead_[lead]) {
        return kInvalid;
    }
    if (count < 2) {
        return kIncomplete;
    }
    const unsigned char trail = bytes[1];
    *length = 2;
    if (eucForm_) {
        const bool kana = eucJapanese_ && lead == 0x8E && trail >= 0xA1 && trail <= 0xDF;
        const bool pair = lead >= 0xA1 && lead <= 0xFE && trail >= 0xA1 && trail <= 0xFE;
        if (!kana && !pair) {
            return kInvalid;
        }
    }
    const int made =
        MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), 2, units, 2);
    // Two units are one character only as a surrogate pair; otherwise the trail byte was none.
    if (made <= 0 || (made == 2 && !(units[0] >= 0xD800 && units[0] <= 0xDBFF))) {
        return kInvalid;
    }
    *unitCount = made;
    return kCharacter;
}
