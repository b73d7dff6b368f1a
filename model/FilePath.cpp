#include "model/FilePath.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr uint32_t kXSDCode = 0x445358;

bool isSeparator(wchar_t unit) {
    return unit == L'/' || unit == L'\\';
}

}  // namespace

bool isURLScheme(const wchar_t* afterColon, int colonCount, const wchar_t* start) {
    if (afterColon == nullptr || start == nullptr) return false;
    if (afterColon[0] != L'/' || afterColon[1] != L'/') return false;
    auto upper = [start](int i) { return static_cast<wchar_t>(start[i] & 0x5F); };
    if (colonCount == 4) return upper(0) == L'F' && upper(1) == L'T' && upper(2) == L'P';
    if (colonCount == 5 || colonCount == 6)
        return upper(0) == L'H' && upper(1) == L'T' && upper(2) == L'T' && upper(3) == L'P';
    return false;
}

uint32_t extensionCode(const wchar_t* extension) {
    if (extension == nullptr || extension[0] == 0 || extension[1] == 0) return 0;
    uint32_t code = (static_cast<uint32_t>(extension[0]) & 0xFF) | ((static_cast<uint32_t>(extension[1]) & 0xFF) << 8) |
                    ((static_cast<uint32_t>(extension[2]) & 0xFF) << 16);
    return code & 0x5F5F5F;
}

void FilePath::set(const wchar_t* text) {
    fileNamePosition = -1;
    fileName[0] = 0;
    fullPath[0] = 0;
    flags = 0;
    requestCount = 0;
    if (text == nullptr) return;
    while (*text != 0 && *text <= L' ')
        ++text;
    if (*text == 0) return;

    // Measured first: a path that does not fit the fields is refused whole, so the
    // record never holds a cut path that names some other file.
    size_t trimmed = 0;
    for (size_t i = 0; text[i] != 0; ++i) {
        if (text[i] > L' ') trimmed = i + 1;
    }
    if (trimmed > kPathUnits - 1) return;
    int end = static_cast<int>(trimmed);

    int extensionStart = -1;
    int nameStart = 0;
    wchar_t separator = 0;
    int32_t found = 0;
    for (int i = 0; i < end; ++i) {
        wchar_t unit = text[i];
        fullPath[i] = unit;
        if (unit == L'.') {
            extensionStart = i + 1;
        } else if (isSeparator(unit)) {
            nameStart = i + 1;
            separator = unit;
        } else if (unit == L':' && isURLScheme(text + i + 1, i + 1, text)) {
            found |= kURL;
        }
    }
    fullPath[end] = 0;

    if (extensionStart > nameStart) {
        int nameLength = end - nameStart;
        if (nameLength > kFileNameUnits - 1) {
            fullPath[0] = 0;
            return;
        }
        std::wmemcpy(fileName, fullPath + nameStart, static_cast<size_t>(nameLength));
        fileName[nameLength] = 0;
        found |= kHasExtension;
        if (extensionCode(fullPath + extensionStart) == kXSDCode) found |= kXSD;
    } else {
        found |= kDirectory;
        if (!isSeparator(fullPath[end - 1])) {
            if (end + 1 > kPathUnits - 1) {
                fullPath[0] = 0;
                return;
            }
            fullPath[end] = separator != 0 ? separator : L'\\';
            fullPath[++end] = 0;
        }
        nameStart = end;
    }
    fileNamePosition = nameStart;
    flags = found;
}

const wchar_t* FilePath::resolve(const wchar_t* requestedName) {
    if (!isSet() || fileNamePosition < 0 || requestedName == nullptr) return nullptr;
    if (flags & kDirectory) return placeName(requestedName);
    ++requestCount;
    if (requestCount == 1) {
        placeName(fileName);
        return fullPath;
    }
    return placeName(requestedName);
}

const wchar_t* FilePath::reset() {
    if (isSet() && fileNamePosition >= 0) {
        if (flags & kDirectory)
            fullPath[fileNamePosition] = 0;
        else if (requestCount > 1)
            placeName(fileName);
    }
    requestCount = 0;
    return fullPath;
}

const wchar_t* FilePath::placeName(const wchar_t* name) {
    // The name comes from the document (a schema location, a DTD's system id), so
    // one that would not fit is refused and the path keeps what it held.
    size_t room = static_cast<size_t>(kPathUnits - 1 - fileNamePosition);
    size_t length = wcsnlen(name, room + 1);
    if (length > room) return nullptr;
    std::wmemcpy(fullPath + fileNamePosition, name, length);
    fullPath[fileNamePosition + static_cast<int>(length)] = 0;
    return fullPath;
}

uint32_t fullLocalPath(const wchar_t* path, wchar_t* full, int units) {
    if (path == nullptr || path[0] == 0 || units <= 0) return ERROR_INVALID_NAME;
    full[0] = 0;
    const DWORD length = GetFullPathNameW(path, static_cast<DWORD>(units), full, nullptr);
    if (length == 0) {
        const DWORD error = GetLastError();
        return error != 0 ? error : ERROR_INVALID_NAME;
    }
    if (length >= static_cast<DWORD>(units)) {
        full[0] = 0;
        return ERROR_FILENAME_EXCED_RANGE;
    }
    return 0;
}
