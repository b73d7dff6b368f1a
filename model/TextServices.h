// String comparison, case folding and hashing on NUL-terminated UTF-16 text.
// A missing (null) text is treated as empty everywhere.
#pragma once

#include <cstdint>

// The one upper-case mapping of the program: one UTF-16 unit in, one out.
wchar_t toUpperChar(wchar_t unit);

bool textEquals(const wchar_t* a, const wchar_t* b);
// Compares through toUpperChar; sets lastCompareExact to 1 when no unit needed folding.
bool textEqualsNoCase(const wchar_t* a, const wchar_t* b);
extern int lastCompareExact;

// First position of pattern in text, -1 when absent (an empty pattern is never found).
int findSubstring(const wchar_t* text, const wchar_t* pattern, int textLength, int patternLength);
int findSubstringNoCase(const wchar_t* text, const wchar_t* pattern, int textLength, int patternLength);
int textFind(const wchar_t* text, const wchar_t* pattern);
int textFindNoCase(const wchar_t* text, const wchar_t* pattern);
// The one word rule of the program (the inline difference's words, Find's whole words):
// digits, Latin letters, "_", U+00B7, U+00C0 to U+00FF but U+00D7 and U+00F7, and from
// U+0100 on the XML 1.0 name characters.
bool isWordUnit(wchar_t unit);
// First position of pattern in text as a whole word: the hit is neither preceded nor
// followed by a word unit. -1 when absent (an empty pattern is never found).
int findWholeWord(const wchar_t* text, const wchar_t* pattern, bool caseSensitive);

// Copies the units above U+0020 until the source ends or n are written, then a NUL
// (the target needs n + 1 units). Returns the units written.
int copyBounded(wchar_t* target, const wchar_t* source, int n);
// Moves text past leading units up to U+0020 and cuts the trailing ones with a NUL.
int trimBlanks(wchar_t*& text);
// 0 none, 1 CR LF, 2 LF, 3 CR: decided by the first CR or LF.
int detectLineEnd(const wchar_t* units, int count);
int removeChar(wchar_t* units, int count, wchar_t unit);
// Trims XML white space at both ends of text, in place.
void trimXmlWhiteSpace(wchar_t* text);
// mode 1 starts at 0, mode 2 at the target's end, other modes continue where the last
// call on the same target stopped. Writes a NUL at the end (target needs capacity + 1).
int appendStrings(wchar_t* target, int capacity, int mode, int count, ...);

// Name hash of elements and attributes; caseSensitive 0 folds through toUpperChar.
uint32_t hashName(const wchar_t* text, int caseSensitive);
uint32_t hashNameN(const wchar_t* units, int count, int caseSensitive);
// Second attribute-name hash (h * 19 + c in 16 bits); returns length - 1.
int hashAttributeName(const wchar_t* text, uint16_t* out, int caseSensitive);
// Adds the eight per-mode running hashes of text to acc (h37 then h19 for modes 0..3);
// returns the number of non-white units.
int accumulateTextHashes(const wchar_t* text, uint32_t acc[8]);

inline bool isXmlWhiteSpace(wchar_t c) {
    return c == 0x20 || c == 0x09 || c == 0x0A || c == 0x0D;
}
