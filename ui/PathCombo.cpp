#include "ui/PathCombo.h"

#include <cwchar>
#include <string>

#include "model/FilePath.h"
#include "settings/Registry.h"
#include "ui/MainWindow.h"
#include "ui/XMLTreeView.h"

namespace {

WNDPROC originalEditProc = nullptr;
WNDPROC originalFileToolbarProc = nullptr;

std::wstring keyPath(const wchar_t* subkey) {
    return std::wstring(programKeyPath()) + subkey;
}

void valueName(wchar_t* name, size_t units, const wchar_t* format, int number) {
    std::swprintf(name, units, format, number);
}

std::wstring entryText(HWND combo, int index) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == CB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

// The text by which the list holds the file; false when a local path has no full form
// that fits.
bool listedText(const wchar_t* path, bool isLocal, wchar_t (&text)[kPathUnits]) {
    if (isLocal) return fullLocalPath(path, text, kPathUnits) == 0;
    std::wcsncpy(text, path, kPathUnits - 1);
    text[kPathUnits - 1] = 0;
    return true;
}

int findExact(HWND combo, const wchar_t* text) {
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (CompareStringOrdinal(entryText(combo, i).c_str(), -1, text, -1, TRUE) == CSTR_EQUAL) return i;
    }
    return -1;
}

}  // namespace

void loadRecentList(HWND combo, const wchar_t* subkey, const wchar_t* format, int count) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath(subkey).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    for (int i = 1; i <= count; ++i) {
        wchar_t name[32];
        valueName(name, 32, format, i);
        wchar_t entry[kRecentEntryUnits];
        DWORD type = 0;
        DWORD bytes = sizeof(entry);
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(entry), &bytes) != ERROR_SUCCESS ||
            type != REG_SZ)
            break;
        // A stored value need not end with a NUL.
        entry[bytes / sizeof(wchar_t) < kRecentEntryUnits ? bytes / sizeof(wchar_t) : kRecentEntryUnits - 1] = 0;
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
    RegCloseKey(key);
}

void saveRecentList(HWND combo, const wchar_t* subkey, const wchar_t* format) {
    const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    if (count == CB_ERR) return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath(subkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    wchar_t name[32];
    for (int i = 0; i < count; ++i) {
        const std::wstring entry = entryText(combo, i);
        valueName(name, 32, format, i + 1);
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.c_str()),
                       static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));
    }
    for (int i = static_cast<int>(count) + 1; i <= kRecentFileCount; ++i) {
        valueName(name, 32, format, i);
        RegDeleteValueW(key, name);
    }
    RegCloseKey(key);
}

void addRecentFile(HWND combo, const wchar_t* path, bool isLocal) {
    if (combo == nullptr || path == nullptr || path[0] == 0) return;
    wchar_t text[kPathUnits];
    if (!listedText(path, isLocal, text)) return;
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    const int found = findExact(combo, text);
    if (found >= 0)
        SendMessageW(combo, CB_DELETESTRING, found, 0);
    else if (SendMessageW(combo, CB_GETCOUNT, 0, 0) >= kRecentFileCount)
        SendMessageW(combo, CB_DELETESTRING, kRecentFileCount - 1, 0);
    SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

void removeRecentFile(HWND combo, const wchar_t* path, bool isLocal) {
    if (combo == nullptr || path == nullptr || path[0] == 0) return;
    wchar_t text[kPathUnits];
    if (!listedText(path, isLocal, text)) return;
    const int found = findExact(combo, text);
    if (found >= 0) SendMessageW(combo, CB_DELETESTRING, found, 0);
}

void subclassPathEdit(HWND edit) {
    if (edit == nullptr) return;
    auto previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(fileComboEditProc)));
    // Both edit fields are of the same class and so share one original procedure.
    if (previous != fileComboEditProc) originalEditProc = previous;
}

void subclassFileToolbar(HWND toolbar) {
    if (toolbar == nullptr) return;
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(toolbar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(fileToolbarProc)));
    if (previous != fileToolbarProc) originalFileToolbarProc = previous;
}

LRESULT CALLBACK fileToolbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        // The load runs after the combo box has taken the chosen entry into its edit field.
        if (HIWORD(wParam) == CBN_SELENDOK) {
            PostMessageW(mainWindow, kLoadPathComboMessage, wParam, lParam);
            return 0;
        }
        if (HIWORD(wParam) == CBN_SELENDCANCEL) {
            PostMessageW(reinterpret_cast<HWND>(lParam), CB_SETCURSEL, 0, 0);
            return 0;
        }
    }
    return CallWindowProcW(originalFileToolbarProc, window, message, wParam, lParam);
}

LRESULT CALLBACK fileComboEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        XMLTreeView* panel = panelFromPathEdit(window);
        PostMessageW(mainWindow, kLoadPathComboMessage, VK_RETURN,
                     reinterpret_cast<LPARAM>(panel != nullptr ? panel->pathCombo : nullptr));
        return 0;
    }
    return CallWindowProcW(originalEditProc, window, message, wParam, lParam);
}
