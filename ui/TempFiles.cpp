#include "ui/TempFiles.h"

#include <windows.h>

#include <ctime>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kFolderName[] = L"Verdalt";
// Names in use are skipped; past this many in a row something else is wrong.
constexpr int kNameAttempts = 1000;

uint32_t nameCounter = 1;
wchar_t nameBuffer[MAX_PATH];
std::vector<std::wstring> madeThisRun;

std::wstring directoryOverride;
std::function<uint32_t()> clockOverride;

// The program's folder in the temporary directory, without a trailing separator; empty
// when the temporary directory cannot be read or the folder would not fit.
std::wstring programFolder() {
    std::wstring folder;
    if (!directoryOverride.empty()) {
        folder = directoryOverride;
    } else {
        wchar_t path[MAX_PATH];
        const DWORD length = GetTempPathW(MAX_PATH, path);
        if (length == 0 || length >= MAX_PATH) return std::wstring();
        folder.assign(path, length);
    }
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    if (folder.empty()) return folder;
    folder += L'\\';
    folder += kFolderName;
    if (folder.size() >= MAX_PATH) return std::wstring();
    return folder;
}

uint32_t secondsNow() {
    return clockOverride ? clockOverride() : static_cast<uint32_t>(std::time(nullptr));
}

// FindFirstFileW also matches a pattern against the 8.3 names, so "temp*.xml" can find
// names that do not have that form; the long name decides.
bool isTempFileName(const wchar_t* name) {
    const size_t length = std::wcslen(name);
    return length >= 8 && _wcsnicmp(name, L"temp", 4) == 0 && _wcsicmp(name + length - 4, L".xml") == 0;
}

}  // namespace

void setTempDirectory(const wchar_t* path) {
    directoryOverride = path == nullptr ? std::wstring() : std::wstring(path);
}

void setTempClock(std::function<uint32_t()> clock) {
    clockOverride = std::move(clock);
}

void deleteTempFiles(TempCleanup when) {
    if (when == TempCleanup::kExit) {
        for (const std::wstring& name : madeThisRun)
            DeleteFileW(name.c_str());
        madeThisRun.clear();
        return;
    }
    const std::wstring folder = programFolder();
    if (folder.empty()) return;
    const std::wstring pattern = folder + L"\\temp*.xml";
    if (pattern.size() >= MAX_PATH) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !isTempFileName(found.cFileName)) continue;
        const std::wstring name = folder + L"\\" + found.cFileName;
        if (name.size() < MAX_PATH) DeleteFileW(name.c_str());  // one still open elsewhere stays
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

const wchar_t* makeTempFileName() {
    const std::wstring folder = programFolder();
    if (folder.empty()) return nullptr;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
    const uint32_t seconds = secondsNow();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        wchar_t name[MAX_PATH];
        const int length = std::swprintf(name, MAX_PATH, L"%ls\\temp%x%x.xml", folder.c_str(), seconds, nameCounter);
        ++nameCounter;
        if (length < 0 || length >= MAX_PATH) return nullptr;
        // CREATE_NEW: a name that another run (or an earlier second) already made is taken.
        HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED ||
                error == ERROR_SHARING_VIOLATION)
                continue;
            return nullptr;
        }
        CloseHandle(file);
        std::wmemcpy(nameBuffer, name, static_cast<size_t>(length) + 1);
        madeThisRun.emplace_back(name);
        return nameBuffer;
    }
    return nullptr;
}
