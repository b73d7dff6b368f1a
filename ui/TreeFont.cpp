#include "ui/TreeFont.h"

#include <commctrl.h>

#include <cwchar>
#include <string>
#include <utility>

#include "model/MessageBox.h"
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

// The trees use the font without owning it.
void setOnBothTrees(HFONT font, BOOL redraw) {
    for (HWND tree : {leftTreeView.tree, rightTreeView.tree})
        if (tree != nullptr) SendMessageW(tree, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

// Where the chooser starts: the font the trees are drawn in, by the face really used
// (a substitute such as "MS Shell Dlg" or a face that is not installed is not in the
// chooser's list, which then falls back to its first entry, a vertical "@" face under
// Wine) and its character height, which the chooser turns into points.
LOGFONTW treesFontNow() {
    HWND tree = leftTreeView.tree;
    HFONT font = tree != nullptr ? reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0)) : nullptr;
    // The painter draws in the same font when the tree reports none.
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW logFont{};
    GetObjectW(font, sizeof(logFont), &logFont);
    HDC dc = GetDC(tree);
    if (dc == nullptr) return logFont;
    HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    TEXTMETRICW metrics{};
    const bool realised = GetTextFaceW(dc, LF_FACESIZE, face) > 0 && GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(tree, dc);
    if (!realised) return logFont;
    const wchar_t* horizontal = face[0] == L'@' ? face + 1 : face;
    if (*horizontal != 0) lstrcpynW(logFont.lfFaceName, horizontal, LF_FACESIZE);
    if (logFont.lfHeight >= 0) logFont.lfHeight = -(metrics.tmHeight - metrics.tmInternalLeading);
    return logFont;
}

int CALLBACK noteFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM found) {
    auto* face = reinterpret_cast<std::pair<const wchar_t*, bool>*>(found);
    if (lstrcmpiW(font->lfFaceName, face->first) == 0) face->second = true;
    return face->second ? 0 : 1;
}

// The chooser under Wine takes any name typed into its face box (it does not honour
// CF_FORCEFONTEXIST), and the font mapper then draws the trees in whatever it finds.
bool isInstalledFace(const wchar_t* name) {
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return false;
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, name, LF_FACESIZE);
    std::pair<const wchar_t*, bool> face{name, false};
    EnumFontFamiliesExW(dc, &query, noteFace, reinterpret_cast<LPARAM>(&face), 0);
    ReleaseDC(nullptr, dc);
    return face.second;
}

// A face the trees can be drawn in; otherwise the user is told and false returned.
bool acceptFace(HWND owner, const wchar_t* name) {
    std::wstring message;
    if (name[0] == L'@')
        message = std::wstring(L"The font \"") + name + L"\" is a vertical font and cannot be used in the trees.";
    else if (name[0] == 0 || !isInstalledFace(name))
        message = std::wstring(L"The font \"") + name + L"\" is not installed.";
    if (message.empty()) return true;
    showBox(owner, message.c_str(), L"Error", MB_ICONERROR);
    return false;
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
    setOnBothTrees(font, FALSE);
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
    // The chooser fills a copy: Cancel leaves the description as it was.
    LOGFONTW chosen = treesFontNow();
    CHOOSEFONTW record{};
    record.lStructSize = sizeof(record);
    record.hwndOwner = owner;
    record.lpLogFont = &chosen;
    record.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST | CF_NOVERTFONTS;
    if (!runChooser(record)) return;
    chosen.lfFaceName[LF_FACESIZE - 1] = 0;
    if (!acceptFace(owner, chosen.lfFaceName)) return;

    HFONT font = CreateFontIndirectW(&chosen);
    if (font == nullptr) return;
    setOnBothTrees(font, TRUE);
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
