// Encoding names, code pages, byte order marks and end-of-line styles, and the
// one writer of every text file.
#pragma once

#include <windows.h>

#include <cstdint>

struct EncodingSpec {
    static constexpr int kNameUnits = 24;

    wchar_t name[kNameUnits];
    uint32_t codePage;
    uint32_t kind;      // 0 none, 1 ANSI/ISO, 2 listed DOS/IBM/Asian, 3 UTF-7/UTF-8, 4 UTF-16
    int32_t endOfLine;  // 0 none, 1 CR LF, 2 LF, 3 CR

    EncodingSpec() { reset(); }
    void reset();
    // From an option value: the family rules below accept loose spellings ("cp850", "utf8").
    void setName(const wchar_t* encodingName);
    // From a document's XML declaration: IANA names and the aliases of the table only, never
    // the family rules (so "foo850" or "UNIX" name nothing). Resets the record and returns
    // false for any other name.
    bool setDeclaredName(const wchar_t* encodingName);
    // Stores the normalised name; returns the number of its first four digits, part gets the rest.
    int parseName(const wchar_t* encodingName, int* part);
    static int isListedCodePage(int number);
    // FF FE or FE FF for UTF-16, nothing otherwise. Returns false when a write failed.
    bool writeByteOrderMark(HANDLE file) const;
    // The units of its end of line; empty for none.
    const wchar_t* endOfLineUnits() const;
    // Whether count units convert into this encoding and back unchanged: every character
    // holdsCharacter. Under "<none>" only ASCII does: a file without a declaration is read as UTF-8.
    bool holds(const wchar_t* text, int count) const;
    // Whether the one character of units (one unit, or a surrogate pair: count 2) is written
    // in this encoding as itself: without a default character or a best-fit neighbour, in
    // bytes that the encoding's reader (CodePageBytes) takes back as the same character.
    bool holdsCharacter(const wchar_t* units, int count) const;
    // EUC-KR and GB2312 are written and read through the code pages of their supersets (949
    // and 936), restricted to the pairs of 0xA1-0xFE that the EUC form has.
    bool eucForm() const;
    // The name for the XML declaration: the stored one when it is a well-formed encoding
    // name, else the usual name of the code page (a stored name keeps whatever followed
    // a recognised prefix, a quote included).
    const wchar_t* declaredName() const;
};

// The bytes of a code page taken apart character by character, by the encoding's own
// definition rather than by whatever the system's conversion lets through: a double-byte
// code page's single bytes are its non-lead bytes that stand for a character (a lone byte
// the system passes through as a C1 control is no character of Shift_JIS, Big5 or UHC);
// EUC forms have only ASCII and pairs of 0xA1-0xFE, EUC-JP also 0x8E with one half-width
// kana byte. EUC-JP's 0x8F three-byte sequences (JIS X 0212) have no code page on Windows
// or Wine, so they are no character here: refused, never read as something else.
class CodePageBytes {
public:
    enum Status { kCharacter, kIncomplete, kInvalid };
    explicit CodePageBytes(const EncodingSpec& spec);

    // The character at the start of count bytes (count > 0). kCharacter: length bytes made
    // unitCount units (1 or 2). kIncomplete: more bytes are needed to tell. kInvalid: length
    // bytes (those worth naming in a message) are no character of the encoding.
    Status next(const unsigned char* bytes, size_t count, int* length, wchar_t* units, int* unitCount) const;
    uint32_t codePage() const { return codePage_; }
    bool eucForm() const { return eucForm_; }

private:
    static constexpr wchar_t kNoUnit = 0xFFFF;
    uint32_t codePage_;
    bool doubleByte_ = false;
    bool eucForm_ = false;
    bool eucJapanese_ = false;
    bool lead_[256] = {};
    wchar_t single_[256];  // the unit of each single byte, kNoUnit for lead and invalid bytes
};

// ANSI code page, CR LF: option files, list files and the parse log.
extern EncodingSpec defaultWriterSpec;
// The record used by the XML writers and writeEndOfLine: the save's own while a save
// writes (OutputSpecScope), defaultWriterSpec otherwise.
extern EncodingSpec* currentOutputSpec;
// The record currentOutputSpec points at, or defaultWriterSpec while it points nowhere.
const EncodingSpec& outputSpec();

// Points currentOutputSpec at one save's record while it lives, then back where it was.
class OutputSpecScope {
public:
    explicit OutputSpecScope(EncodingSpec* spec) : saved_(currentOutputSpec) { currentOutputSpec = spec; }
    ~OutputSpecScope() { currentOutputSpec = saved_; }
    OutputSpecScope(const OutputSpecScope&) = delete;
    OutputSpecScope& operator=(const OutputSpecScope&) = delete;

private:
    EncodingSpec* saved_;
};

// Writes count units (-1: up to the NUL) converted through spec (null: defaultWriterSpec)
// with one file write. Returns false when the conversion or the write failed. With lossy
// given, it is set (never cleared) when a character does not survive the conversion.
bool writeText(HANDLE file, const wchar_t* text, int count, const EncodingSpec* spec = nullptr, bool* lossy = nullptr);
bool writeEndOfLine(HANDLE file);
