#include "ui/FileDialogs.h"

#include <commctrl.h>

#include <cwchar>

#include "settings/OptionSet.h"
#include "ui/MainWindow.h"
#include "ui/XMLTreeView.h"

wchar_t dialogFileName[kDialogFileUnits] = {};

const wchar_t kXmlFilter[] = L"XML files (*.xml)\0*.xml\0All files (*.*)\0*.*\0";
const wchar_t kAllFilesFilter[] = L"All files (*.*)\0*.*\0";
const wchar_t kApplicationsFilter[] = L"Applications (*.exe)\0*.exe\0";

namespace {

FileDialogHandler dialogHandler;

const wchar_t* runFileDialog(HWND owner,
                             const wchar_t* title,
                             wchar_t* folder,
                             const wchar_t* filter,
                             bool save,
                             bool askBeforeReplace) {
    dialogFileName[0] = 0;
    OPENFILENAMEW record{};
    record.lStructSize = sizeof(record);
    record.hwndOwner = owner;
    record.hInstance = moduleInstance;
    record.lpstrFilter = filter;
    record.nFilterIndex = 0;
    record.lpstrFile = dialogFileName;
    record.nMaxFile = kDialogFileUnits;
    record.lpstrInitialDir = OptionSet::LoadSeparate ? folder : nullptr;
    record.lpstrTitle = title;
    record.Flags = OFN_EXPLORER;
    // Replacing a file the user already has is asked about, never done silently.
    if (save && askBeforeReplace) record.Flags |= OFN_OVERWRITEPROMPT;

    BOOL chosen;
    if (dialogHandler)
        chosen = dialogHandler(record, save) ? TRUE : FALSE;
    else
        chosen = save ? GetSaveFileNameW(&record) : GetOpenFileNameW(&record);
    dialogFileName[kDialogFileUnits - 1] = 0;
    if (!chosen || dialogFileName[0] == 0) return nullptr;
    if (OptionSet::LoadSeparate && folder != nullptr) keepDirectory(dialogFileName, folder);
    return dialogFileName;
}

}  // namespace

const wchar_t* showOpenDialog(HWND owner, const wchar_t* title, wchar_t* folder, const wchar_t* filter) {
    return runFileDialog(owner, title, folder, filter, false, false);
}

const wchar_t* showSaveDialog(HWND owner,
                              const wchar_t* title,
                              wchar_t* folder,
                              const wchar_t* filter,
                              bool askBeforeReplace) {
    return runFileDialog(owner, title, folder, filter, true, askBeforeReplace);
}

void keepDirectory(const wchar_t* fileName, wchar_t* folder) {
    wchar_t full[kDialogFileUnits];
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(fileName, kDialogFileUnits, full, &filePart);
    // A name whose full path does not fit leaves the folder as it was.
    if (length == 0 || length >= kDialogFileUnits) return;
    if (filePart != nullptr) *filePart = 0;
    std::wcscpy(folder, full);
}

int updateItemHeight() {
    HWND tree = leftTreeView.tree;
    if (tree == nullptr) return 0;
    auto font = reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW logFont{};
    if (GetObjectW(font, sizeof(logFont), &logFont) == 0) return 0;
    HDC dc = GetDC(tree);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(tree, dc);
    const int height = MulDiv(logFont.lfHeight < 0 ? -logFont.lfHeight : logFont.lfHeight, dpi, 72) + 4;
    for (HWND each : {leftTreeView.tree, rightTreeView.tree})
        if (each != nullptr) SendMessageW(each, TVM_SETITEMHEIGHT, height, 0);
    return height;
}

void setFileDialogHandler(FileDialogHandler handler) {
    dialogHandler = std::move(handler);
}
