// The external schema named by the options: a schema file, a folder or a URL. It
// also answers the parser's entity requests while the external schema is in use. And
// the one full form of a local document's path.
#pragma once

#include <cstdint>

struct FilePath {
    static constexpr int kFileNameUnits = 120;
    static constexpr int kPathUnits = 260;
    enum Flags : int32_t { kURL = 1, kHasExtension = 2, kDirectory = 4, kXSD = 8 };

    int32_t fileNamePosition = -1;  // index in fullPath where the file-name part starts; -1 when unset
    wchar_t fileName[kFileNameUnits] = {};
    wchar_t fullPath[kPathUnits] = {};
    int32_t flags = 0;
    int32_t requestCount = 0;

    // Takes the option value, blanks at both ends removed. A value whose path would pass
    // 259 units, or whose file-name part would pass 119, leaves the record empty.
    void set(const wchar_t* text);
    // The path that answers an entity request for requestedName; null when the record is
    // empty or the name does not fit behind the folder.
    const wchar_t* resolve(const wchar_t* requestedName);
    // Rewinds the record for a new parse; returns the configured full path.
    const wchar_t* reset();
    bool isSet() const { return fullPath[0] != 0; }

private:
    // Writes name at the file-name position; null, leaving the path as it was, when it does not fit.
    const wchar_t* placeName(const wchar_t* name);
};

// A URL scheme test at a colon: afterColon is the text after it, colonCount the units up to
// and including the colon, start the start of the text.
bool isURLScheme(const wchar_t* afterColon, int colonCount, const wchar_t* start);
// The first three units of an extension packed one byte each, upper-cased; 0 below two units.
uint32_t extensionCode(const wchar_t* extension);

// The full path of a local file as Windows resolves it: a leading separator from the
// current drive's root, a relative path from the current folder, forward slashes made
// backslashes. The existence check, the parser and every name shown must see this one
// form: the parser reads a path of forward slashes as relative to the program's folder.
// 0 when full holds it (units include the terminator); else the Win32 error code
// (ERROR_FILENAME_EXCED_RANGE when it does not fit).
uint32_t fullLocalPath(const wchar_t* path, wchar_t* full, int units);
