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
    void setName(const wchar_t* encodingName);
    // Stores the normalised name; returns the number of its first four digits, part gets the rest.
    int parseName(const wchar_t* encodingName, int* part);
    static int isListedCodePage(int number);
    // FF FE or FE FF for UTF-16, nothing otherwise. Returns false when a write failed.
    bool writeByteOrderMark(HANDLE file) const;
    // The units of its end of line; empty for none.
    const wchar_t* endOfLineUnits() const;
    // Whether count units convert into this encoding and back unchanged. Under "<none>"
    // only ASCII does: a file without a declaration is read as UTF-8.
    bool holds(const wchar_t* text, int count) const;
    // The name for the XML declaration: the stored one when it is a well-formed encoding
    // name, else the usual name of the code page (a stored name keeps whatever followed
    // a recognised prefix, a quote included).
    const wchar_t* declaredName() const;
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
