#include "ui/ExternalPrograms.h"

#include <shellapi.h>

#include <string>

namespace {

ProgramStartHandler startHandler;

}  // namespace

void setProgramStartHandler(ProgramStartHandler handler) {
    startHandler = std::move(handler);
}

std::wstring systemFilePath(const wchar_t* fileName) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    std::wstring path(folder, length);
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += fileName;
    if (path.size() >= MAX_PATH) return std::wstring();
    return path;
}

INT_PTR shellOpen(HWND owner, const wchar_t* file, const wchar_t* parameters) {
    if (startHandler) {
        return startHandler(L"open", file, parameters);
    }
    return reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", file, parameters, nullptr, SW_SHOWNORMAL));
}

bool startProcess(const wchar_t* commandLine) {
    if (startHandler) {
        return startHandler(L"process", commandLine, nullptr) > 32;
    }
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    wchar_t desktop[] = L"";
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
