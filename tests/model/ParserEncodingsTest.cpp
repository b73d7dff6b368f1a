// Documents in the code pages our own transcoding service reads: each is read exactly, or
// refused with a message that names the encoding (and the bytes, when it is a byte).
#include <gtest/gtest.h>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLException.hpp>

#include <cwctype>
#include <memory>
#include <string>

#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

class ParserEncodingsTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;

    void SetUp() override { OptionSet::ShowErrorMessages = 1; }

    // Loads the bytes, expecting a refusal or not; returns the text of <r> when it loads, else
    // the refusal's text.
    std::wstring load(const std::string& bytes, bool refused) {
        BoxScript boxes;
        if (refused) boxes.expectCaption(L"Fatal error", IDNO);
        const int result = loadXml(leftTreeView, bytes, dir);
        if (!refused) {
            EXPECT_EQ(result, kLoaded);
            const XMLTreeItem* r = elementNamed(leftTreeView, L"r");
            return r == nullptr || r->text == nullptr ? L"" : std::wstring(r->text, r->textLength);
        }
        EXPECT_EQ(result, kLoadFailed);
        return boxes.shown().empty() ? L"" : boxes.shown()[0].text;
    }
};

std::string declared(const char* encoding, const std::string& rest) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n" + rest;
}

struct ByteCase {
    const char* encoding;
    std::string document;  // after the declaration
    const wchar_t* text;   // the text of <r> when it loads; null when refused
    const wchar_t* named;  // the code point named in the refusal
};

TEST_F(ParserEncodingsTest, EveryByteIsReadExactlyOrRefusedWithItsEncoding) {
    const ByteCase cases[] = {
        // EUC-JP's SS3 sequences (JIS X 0212): no code page has them, so they are refused
        // whole, never read as a C1 control and a JIS X 0208 character.
        {"EUC-JP", "<r>\x8F\xB0\xA1</r>", nullptr, L"0x8FB0A1"},
        {"EUC-JP", "<r>a\x8F<b/></r>", nullptr, L"0x8F"},
        {"EUC-JP", "<r>\x8E\xB1\xC5\xEC</r>", L"\uFF71\u6771", nullptr},
        {"EUC-JP", "<r>\x8E\xE0</r>", nullptr, L"0x8EE0"},
        // The way Windows' 20932 writes a JIS X 0212 character: no EUC-JP pair.
        {"EUC-JP", "<r>\xB0\x21</r>", nullptr, L"0xB021"},
        {"EUC-JP", "<r>\x85</r>", nullptr, L"0x85"},
        // Single bytes only from the real single-byte range: half-width kana in Shift_JIS;
        // the high bytes the system passes through as C1 controls are none.
        {"Shift_JIS", "<r>\xB1</r>", L"\uFF71", nullptr},
        {"Shift_JIS", "<r>\x80</r>", nullptr, L"0x80"},
        {"Big5", "<r>\x80</r>", nullptr, L"0x80"},
        {"UHC", "<r>\x80</r>", nullptr, L"0x80"},
        // EUC-KR and GB2312 are their EUC forms, not the supersets whose code pages read them.
        {"EUC-KR", "<r>\xB0\xA1</r>", L"\uAC00", nullptr},
        {"EUC-KR", "<r>\x81\x41</r>", nullptr, L"0x8141"},
        {"EUC-KR", "<r>\xB0\x41</r>", nullptr, L"0xB041"},
        {"UHC", "<r>\x81\x41</r>", L"\uAC02", nullptr},
        {"KS_C_5601-1987", "<r>\x81\x41</r>", L"\uAC02", nullptr},
        {"GB2312", "<r>\xD6\xD0</r>", L"\u4E2D", nullptr},
        {"GB2312", "<r>\x81\x40</r>", nullptr, L"0x8140"},
        {"GB2312", "<r>\x80</r>", nullptr, L"0x80"},
        {"GBK", "<r>\x81\x40\x80</r>", L"\u4E02\u20AC", nullptr},
        // A document that ends inside a character.
        {"EUC-KR", "<r>a</r>\n\xB0", nullptr, L"0xB0"},
        {"Shift_JIS", "<r>a</r>\n\x93", nullptr, L"0x93"},
        {"EUC-JP", "<r>a</r>\n\x8F\xB0", nullptr, L"0x8FB0"},
        {"Big5", "<r>a</r>\n<!-- \xA4\xA4 -->\n\xA4", nullptr, L"0xA4"},
    };
    for (const ByteCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.encoding << " " << c.document);
        const bool loads = c.text != nullptr;
        const std::wstring text = load(declared(c.encoding, c.document), !loads);
        if (loads) {
            EXPECT_EQ(text, c.text);
            continue;
        }
        std::wstring encoding = widen(c.encoding);
        for (wchar_t& unit : encoding)
            unit = static_cast<wchar_t>(std::towupper(unit));
        const std::wstring message = std::wstring(L"code point ") + c.named + L" is invalid for '" + encoding + L"'";
        EXPECT_NE(text.find(message), std::wstring::npos) << narrow(text);
    }
}

// Characters cut by the end of the reader's buffer are read whole once the next bytes come.
TEST_F(ParserEncodingsTest, CharactersAcrossTheReadersBufferAreReadWhole) {
    for (const char* lead : {"", "a"}) {
        SCOPED_TRACE(lead);
        std::string body;
        std::wstring expected = widen(lead);
        // 60,000 bytes: the reader's buffer holds 48 KB, and one of the two leads puts its end
        // inside a character.
        for (int i = 0; i < 30000; ++i) {
            body += "\xB0\xA1";
            expected += L'\uAC00';
        }
        const std::wstring text = load(declared("EUC-KR", std::string("<r>") + lead + body + "</r>"), false);
        EXPECT_TRUE(text == expected) << text.size();
    }
}

// The first fatal error of a parse, or the exception that ended it.
class FirstFatalError : public xercesc::DefaultHandler {
public:
    std::wstring message;
    void fatalError(const xercesc::SAXParseException& e) override {
        if (message.empty()) message = e.getMessage() != nullptr ? e.getMessage() : L"?";
    }
};

// A document cut inside its last character is refused wherever the reader's buffer ends:
// the pad before it moves the cut across a whole buffer of the reader (16,384 characters),
// one position at a time. Read by the parser alone, as the program sets it up for encodings:
// the code pages through our own transcoding service, UTF-8 and UTF-16 by the parser's own.
TEST_F(ParserEncodingsTest, ACharacterCutAtTheEndIsRefusedByNameWhereverTheBufferEnds) {
    struct CutCase {
        const char* encoding;
        const char* cut;           // the first bytes of a character of two or three
        const wchar_t* named;      // the bytes as the refusal names them
        const wchar_t* upperName;  // the encoding as the refusal names it (its start)
        bool utf16 = false;        // the document in UTF-16LE, the cut byte after it
    };
    const CutCase cases[] = {
        {"Shift_JIS", "\x82", L"0x82", L"SHIFT_JIS"}, {"EUC-JP", "\x8F\xB0", L"0x8FB0", L"EUC-JP"},
        {"EUC-JP", "\xB0", L"0xB0", L"EUC-JP"},       {"EUC-KR", "\xB0", L"0xB0", L"EUC-KR"},
        {"Big5", "\xA4", L"0xA4", L"BIG5"},           {"GB2312", "\xD6", L"0xD6", L"GB2312"},
        {"UTF-8", "\xE2\x82", L"0xE282", L"UTF-8"},   {"UTF-8", "\xF0\x9F\x98", L"0xF09F98", L"UTF-8"},
        {"UTF-16", "\x3C", L"0x3C", L"UTF-16", true},
    };
    constexpr size_t kBufferCharacters = 16384;
    initParser();
    std::unique_ptr<xercesc::SAX2XMLReader> reader(xercesc::XMLReaderFactory::createXMLReader());
    FirstFatalError errors;
    reader->setErrorHandler(&errors);
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.encoding);
        const std::string head = std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?><r>";
        const std::wstring expected = std::wstring(L"code point ") + c.named + L" is invalid for '" + c.upperName;
        int wrong = 0;
        for (size_t pad = 0; pad <= kBufferCharacters + 16; ++pad) {
            std::string bytes = head + std::string(pad, 'a') + "</r>";
            if (c.utf16) {
                std::string wide = "\xFF\xFE";
                for (char unit : bytes)
                    wide += std::string(1, unit) + '\0';
                bytes = wide;
            }
            bytes += c.cut;
            errors.message.clear();
            try {
                xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(),
                                                  L"cut.xml");
                reader->parse(source);
            } catch (const xercesc::XMLException& e) {
                if (errors.message.empty()) errors.message = e.getMessage();
            }
            if (errors.message.find(expected) == std::wstring::npos) {
                // A few named are enough to see the pattern; the count says the rest.
                if (++wrong <= 3) ADD_FAILURE() << "pad " << pad << ": " << narrow(errors.message);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

struct NameCase {
    const char* declared;
    std::string body;     // after the declaration, in the encoding the name would mean
    const wchar_t* text;  // null when refused
};

// A declaration means what its name means: never what the loose rules for option values make
// of a name ("foo850" as 850, "UNIX" or "unicodeFFFE" as UTF-16).
TEST_F(ParserEncodingsTest, ADeclarationIsReadByItsRealNameOrRefusedByName) {
    const NameCase cases[] = {
        {"foo850", "<r>\x82</r>", nullptr},   {"UNIX", "<r>a</r>", nullptr},
        {"unicodeFFFE", "<r>a</r>", nullptr}, {"UNICODE", "<r>a</r>", nullptr},
        {"windows932", "<r>a</r>", nullptr},  {"IBM850", "<r>\x82</r>", L"\u00E9"},
        {"cp850", "<r>\x82</r>", L"\u00E9"},  {"ISO_8859-5", "<r>\xB6</r>", L"\u0416"},
        {"latin2", "<r>\xF8</r>", L"\u0159"}, {"windows-1251", "<r>\xC6</r>", L"\u0416"},
        {"KOI8-R", "<r>\xF6</r>", L"\u0416"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.declared);
        const bool loads = c.text != nullptr;
        const std::wstring text = load(declared(c.declared, c.body), !loads);
        if (loads) {
            EXPECT_EQ(text, c.text);
            continue;
        }
        std::wstring named = L"'" + widen(c.declared) + L"'";
        for (wchar_t& unit : named)
            unit = static_cast<wchar_t>(std::towupper(unit));
        EXPECT_NE(text.find(named), std::wstring::npos) << narrow(text);
        EXPECT_EQ(text.find(L"code point"), std::wstring::npos) << narrow(text);
    }
}

// Every alias the IANA registry gives an encoding the program reads names it in a
// declaration, each spelled as registered, whatever its case.
TEST_F(ParserEncodingsTest, EveryRegisteredAliasIsRead) {
    const NameCase cases[] = {
        {"l2", "<r>\xF8</r>", L"\u0159"},
        {"csISOLatin2", "<r>\xF8</r>", L"\u0159"},
        {"iso-ir-101", "<r>\xF8</r>", L"\u0159"},
        {"ISO_8859-2", "<r>\xF8</r>", L"\u0159"},
        {"latin-9", "<r>\xA4</r>", L"\u20AC"},
        {"csISO885915", "<r>\xA4</r>", L"\u20AC"},
        {"cyrillic", "<r>\xB6</r>", L"\u0416"},
        {"csISOLatinCyrillic", "<r>\xB6</r>", L"\u0416"},
        {"greek", "<r>\xE1</r>", L"\u03B1"},
        {"ELOT_928", "<r>\xE1</r>", L"\u03B1"},
        {"ISO-8859-8-I", "<r>\xE0</r>", L"\u05D0"},
        {"csISO88598E", "<r>\xE0</r>", L"\u05D0"},
        {"hebrew", "<r>\xE0</r>", L"\u05D0"},
        {"arabic", "<r>\xC7</r>", L"\u0627"},
        {"ISO-8859-6-I", "<r>\xC7</r>", L"\u0627"},
        {"l5", "<r>\xFD</r>", L"\u0131"},
        {"iso-ir-148", "<r>\xFD</r>", L"\u0131"},
        {"l3", "<r>\xF8</r>", L"\u011D"},
        {"csISOLatin4", "<r>\xF2</r>", L"\u014D"},
        {"cswindows1251", "<r>\xC6</r>", L"\u0416"},
        {"csKOI8U", "<r>\xA4</r>", L"\u0454"},
        {"iso-ir-6", "<r>a</r>", L"a"},
        {"ANSI_X3.4-1986", "<r>a</r>", L"a"},
        {"csUTF8", "<r>\xC3\xA9</r>", L"\u00E9"},
        {"csPC8CodePage437", "<r>\x82</r>", L"\u00E9"},
        {"csGBK", "<r>\xD6\xD0</r>", L"\u4E2D"},
        {"csKSC56011987", "<r>\xB0\xA1</r>", L"\uAC00"},
        {"Extended_UNIX_Code_Packed_Format_for_Japanese", "<r>\xC5\xEC</r>", L"\u6771"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.declared);
        EXPECT_EQ(load(declared(c.declared, c.body), false), c.text);
        // The panel keeps the encoding for its saves.
        EXPECT_NE(leftTreeView.outputEncoding.codePage, 0u);
    }
}

}  // namespace
