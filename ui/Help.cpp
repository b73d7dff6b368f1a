#include "ui/Help.h"

#include <htmlhelp.h>

#include <cwchar>
#include <string>

#include "model/MessageBox.h"
#include "ui/ExternalPrograms.h"
#include "ui/MainWindow.h"
#include "ui/Toolbars.h"

namespace {

constexpr wchar_t kWindowType[] = L">verdalt";

wchar_t helpFile[MAX_PATH];
wchar_t helpWindow[MAX_PATH];

HtmlHelpHandler helpHandler;

struct ControlTopic {
    DWORD contextId;
    const wchar_t* topic;
};

constexpr ControlTopic kControlTopics[] = {
    {kAutoLoadHelpId, L"htm/autoload.htm"},
    {kAutoSelectHelpId, L"htm/autosel.htm"},
    {kAutoCompareHelpId, L"htm/autocomp.htm"},
};

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

// The HTML Help control is loaded on first use, by its full path in the system folder, so
// that a copy planted in the current or the program's folder is never loaded. Null when
// it cannot be had: help then shows nothing.
bool controlTried = false;
HtmlHelpFunction controlFunction = nullptr;

HtmlHelpFunction htmlHelpFunction() {
    if (controlTried) return controlFunction;
    controlTried = true;
    const std::wstring path = systemFilePath(L"hhctrl.ocx");
    if (path.empty()) return nullptr;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) return nullptr;
    controlFunction = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpW")));
    return controlFunction;
}

HWND htmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) {
    if (file[0] == 0) return nullptr;  // no help file could be named
    if (helpHandler) return helpHandler(caller, file, command, data);
    HtmlHelpFunction function = htmlHelpFunction();
    return function == nullptr ? nullptr : function(caller, file, command, data);
}

const wchar_t* controlTopic(DWORD contextId) {
    for (const ControlTopic& entry : kControlTopics)
        if (entry.contextId == contextId) return entry.topic;
    return nullptr;
}

}  // namespace

void setHtmlHelpHandler(HtmlHelpHandler handler) {
    helpHandler = std::move(handler);
}

void setHelpPaths(const wchar_t* modulePath) {
    helpFile[0] = 0;
    helpWindow[0] = 0;
    if (modulePath == nullptr) return;
    const size_t length = std::wcslen(modulePath);
    if (length < 3 || length + std::wcslen(kWindowType) >= MAX_PATH) return;
    std::wmemcpy(helpFile, modulePath, length - 3);
    std::wmemcpy(helpFile + length - 3, L"chm", 4);
    std::wmemcpy(helpWindow, helpFile, length);
    std::wmemcpy(helpWindow + length, kWindowType, std::wcslen(kWindowType) + 1);
}

void initHelpPath() {
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    // A path that filled the buffer was cut: the help file beside it cannot be named.
    setHelpPaths(length == 0 || length >= MAX_PATH ? nullptr : module);
}

const wchar_t* helpFilePath() {
    return helpFile;
}

const wchar_t* helpWindowPath() {
    return helpWindow;
}

void onHelp(const HELPINFO* info) {
    if (messageHelpTopic != nullptr) {
        htmlHelp(mainWindow, helpWindow, HH_DISPLAY_TOPIC, reinterpret_cast<DWORD_PTR>(messageHelpTopic));
        return;
    }
    if (info != nullptr) {
        if (const wchar_t* topic = controlTopic(static_cast<DWORD>(info->dwContextId))) {
            htmlHelp(static_cast<HWND>(info->hItemHandle), helpWindow, HH_DISPLAY_TOPIC,
                     reinterpret_cast<DWORD_PTR>(topic));
            return;
        }
    }
    htmlHelp(mainWindow, helpWindow, HH_DISPLAY_TOPIC, 0);
}

void showHelpTopic(HWND owner, const wchar_t* topic) {
    htmlHelp(owner, helpWindow, HH_DISPLAY_TOPIC, reinterpret_cast<DWORD_PTR>(topic));
}

void closeHelpWindows() {
    // Only when the control was loaded: then a help window may be open.
    if (controlFunction != nullptr) controlFunction(nullptr, nullptr, HH_CLOSE_ALL, 0);
}

void showContextHelp(const HELPINFO* info, UINT message, WPARAM wParam, const DWORD* ids) {
    const DWORD_PTR table = reinterpret_cast<DWORD_PTR>(ids);
    if (message == WM_CONTEXTMENU) {
        htmlHelp(reinterpret_cast<HWND>(wParam), helpFile, HH_TP_HELP_CONTEXTMENU, table);
    } else if (message == WM_HELP && info != nullptr) {
        htmlHelp(static_cast<HWND>(info->hItemHandle), helpFile, HH_TP_HELP_WM_HELP, table);
    }
}

void showDialogContextHelp(UINT message, WPARAM wParam, LPARAM lParam, const DWORD* ids) {
    showContextHelp(message == WM_HELP ? reinterpret_cast<const HELPINFO*>(lParam) : nullptr, message, wParam, ids);
}
