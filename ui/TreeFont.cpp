#include "ui/TreeFont.h"

#include <commctrl.h>

#include <cwchar>
#include <string>

#include "settings/Registry.h"
#include "ui/CompareCommand.h"
#include "ui/FileDialogs.h"
#include "ui/ItemPainter.h"
#include "ui/Layout.h"
#include "ui/XMLTreeView.h"

LOGFONTW treeLogFont{};
HFONT treeFont = nullptr;

namespace {

constexpr wchar_t kFontSubkey[] = L"\\Font1";
// A stored face name is at most 31 units; the buffer is larger so that a longer one is
// seen (and ignored) instead of cut.
constexpr DWORD kFaceNameBufferUnits = 64;

FontChooserHandler chooserHandler;

std::wstring fontKeyPath() {
    return std::wstring(programKeyPath()) + kFontSubkey;
}

bool readNumber(HKEY key, const wchar_t* name, DWORD* number) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return false;
    *number = value;
    return true;
}

void readFaceName(HKEY key) {
    wchar_t name[kFaceNameBufferUnits] = {};
    DWORD type = 0;
    DWORD size = sizeof(name);
    if (RegQueryValueExW(key, L"FaceName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return;
    // The stored text need not end with a NUL: only what the query returned counts.
    const size_t length = wcsnlen(name, size / sizeof(wchar_t));
    if (length == 0 || length >= LF_FACESIZE) return;
    std::wmemcpy(treeLogFont.lfFaceName, name, length);
    treeLogFont.lfFaceName[length] = 0;
}

void writeNumber(HKEY key, const wchar_t* name, DWORD number) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

void systemFixedFont(LOGFONTW* font) {
    *font = LOGFONTW{};
    GetObjectW(GetStockObject(SYSTEM_FIXED_FONT), sizeof(*font), font);
}

bool runChooser(CHOOSEFONTW& record) {
    if (chooserHandler) return chooserHandler(record);
    return ChooseFontW(&record) != FALSE;
}

}  // namespace

void loadFont() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, fontKeyPath().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    systemFixedFont(&treeLogFont);
    DWORD number = 0;
    if (readNumber(key, L"CharSet", &number)) treeLogFont.lfCharSet = static_cast<BYTE>(number);
    if (readNumber(key, L"Height", &number)) treeLogFont.lfHeight = static_cast<LONG>(number);
    if (readNumber(key, L"Italic", &number)) treeLogFont.lfItalic = static_cast<BYTE>(number);
    if (readNumber(key, L"PitchAndFamily", &number)) treeLogFont.lfPitchAndFamily = static_cast<BYTE>(number);
    if (readNumber(key, L"Underline", &number)) treeLogFont.lfUnderline = static_cast<BYTE>(number);
    if (readNumber(key, L"Weight", &number)) treeLogFont.lfWeight = static_cast<LONG>(number);
    if (readNumber(key, L"Width", &number)) treeLogFont.lfWidth = static_cast<LONG>(number);
    readFaceName(key);
    RegCloseKey(key);

    HFONT font = CreateFontIndirectW(&treeLogFont);
    if (font == nullptr) return;
    for (HWND tree : {leftTreeView.tree, rightTreeView.tree})
        if (tree != nullptr) SendMessageW(tree, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (treeFont != nullptr) DeleteObject(treeFont);
    treeFont = font;
}

void saveFont() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, fontKeyPath().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    writeNumber(key, L"CharSet", treeLogFont.lfCharSet);
    writeNumber(key, L"Italic", treeLogFont.lfItalic);
    writeNumber(key, L"PitchAndFamily", treeLogFont.lfPitchAndFamily);
    writeNumber(key, L"Underline", treeLogFont.lfUnderline);
    writeNumber(key, L"Height", static_cast<DWORD>(treeLogFont.lfHeight));
    writeNumber(key, L"Weight", static_cast<DWORD>(treeLogFont.lfWeight));
    writeNumber(key, L"Width", static_cast<DWORD>(treeLogFont.lfWidth));
    const size_t length = wcsnlen(treeLogFont.lfFaceName, LF_FACESIZE - 1);
    RegSetValueExW(key, L"FaceName", 0, REG_SZ, reinterpret_cast<const BYTE*>(treeLogFont.lfFaceName),
                   static_cast<DWORD>((length + 1) * sizeof(wchar_t)));
    const auto itemHeight =
        leftTreeView.tree != nullptr ? static_cast<DWORD>(SendMessageW(leftTreeView.tree, TVM_GETITEMHEIGHT, 0, 0)) : 0;
    writeNumber(key, L"ItemHeight", itemHeight);
    RegCloseKey(key);
}

void chooseTreeFont(HWND owner) {
    if (treeFont == nullptr) systemFixedFont(&treeLogFont);
    // The chooser fills a copy: Cancel leaves the description as it was.
    LOGFONTW chosen = treeLogFont;
    CHOOSEFONTW record{};
    record.lStructSize = sizeof(record);
    record.hwndOwner = owner;
    record.lpLogFont = &chosen;
    record.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT;
    if (!runChooser(record)) return;
    chosen.lfFaceName[LF_FACESIZE - 1] = 0;

    HFONT font = CreateFontIndirectW(&chosen);
    if (font == nullptr) return;
    for (HWND tree : {leftTreeView.tree, rightTreeView.tree})
        if (tree != nullptr) SendMessageW(tree, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    updateItemHeight();
    if (itemPainter != nullptr && leftTreeView.tree != nullptr) itemPainter->setFont(leftTreeView.tree);
    // Only now does nothing use the old font any more.
    if (treeFont != nullptr) DeleteObject(treeFont);
    treeFont = font;
    treeLogFont = chosen;
    if (owner != nullptr) layoutToolbars(owner);
    refreshViews(0);
}

void releaseTreeFont() {
    if (treeFont != nullptr) DeleteObject(treeFont);
    treeFont = nullptr;
}

void onTreeFont(HWND window, int) {
    chooseTreeFont(window);
}

void setFontChooserHandler(FontChooserHandler handler) {
    chooserHandler = std::move(handler);
}
