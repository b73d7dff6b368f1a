// Option files and list files: 8-bit text in the ANSI code page, rows of a key, "="
// and a value. One reader serves every such file; a group mask chooses the rows it
// takes, so an options file, a list file or one file holding everything is read alike.
// The options file is written whole; list files are appended to in blocks.
#pragma once

#include <windows.h>

#include <cstdint>

// The groups of the reader's mask.
enum OptionFileGroup : int {
    kOptionRows = 1,
    kIgnoredElementRows = 2,
    kKeyElementRows = 4,
    kEntireElementRows = 8,
    kAllOptionFileRows = 15,
};

// No option or list file comes near this; a larger file is refused before it is read.
constexpr int64_t kMaxOptionFileBytes = int64_t{64} << 20;
// Texts are widened into a buffer of this many units; a longer value is ignored.
constexpr int kOptionTextUnits = 2048;

// The comment row that opens every block appended to a list file.
constexpr wchar_t kListBlockHeading[] = L"#These rows were added by Verdalt";

// A row's key is known by this hash alone: over the key's bytes above 0x20 and below
// 0x80, h = h * 17 + (byte & 0x1F), wrapping on 32 bits. Case and blanks do not matter.
constexpr uint32_t optionKeyHash(const char* key) {
    uint32_t h = 0;
    for (; *key != 0; ++key) {
        const auto byte = static_cast<unsigned char>(*key);
        if (byte > 0x20 && byte < 0x80) h = h * 17u + (byte & 0x1Fu);
    }
    return h;
}

// Reads the rows of the groups in the mask. 1 when read; 0 when the file could not be
// opened or read (the "LoadOptions" box has been shown) and nothing was applied.
int loadOptionFile(const wchar_t* path, int groups);
// Applies one row: value is its text after the row's last "=", ended at the row's end
// or at its "#". A hash that no row of the groups holds is ignored. A "Condition" row
// takes effect only while a file is read, on the rule that the file's nearest
// "IgnoreElement" row above it added.
void applyOptionFileEntry(uint32_t hash, const char* value, int groups);

// One row "name=number" or "name=text" ended by CR LF, through writeText with the
// default record. False when the write failed.
bool writeOptionNumber(HANDLE file, const char* name, int32_t number);
bool writeOptionString(HANDLE file, const char* name, const wchar_t* text);

// Writes the 32 option rows to path. The old file is replaced only by a complete new
// one: any failure shows the "WriteOptionsToFile" box and leaves it as it was. A row
// whose value would read back as something else is left out and named in a "Warning!"
// box. True when the file was written.
bool writeOptionsFile(const wchar_t* path);

enum class ListKind { kEntireElements, kKeyElements, kIgnoredElements };
// Whether the list holds anything to save (the key attribute and the common ignored
// attributes count).
bool listHasRows(ListKind kind);
// Appends one block of the list's rows to path (created when missing), in one checked
// write. A failure cuts the file back to its old end and shows the "OpenFileToAppend"
// box. Rows (an ignore rule with its condition; a key element, the key attribute or an
// entire element) that would read back as something else are left out and named in a
// "Warning!" box. True when the block was written.
bool appendListBlock(const wchar_t* path, ListKind kind);
