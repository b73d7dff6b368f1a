#include "ui/OptionFileCommands.h"

#include "model/KeyLists.h"
#include "settings/OptionSet.h"
#include "ui/CompareCommand.h"
#include "ui/FileDialogs.h"

void saveOptionsToFile(HWND owner) {
    const wchar_t* path = showSaveDialog(owner, L"Save Options to file", OptionSet::OptionsDir, kAllFilesFilter);
    if (path == nullptr) return;
    writeOptionsFile(path);
}

bool openListFileForAppend(HWND owner, const wchar_t* title, ListKind kind) {
    const wchar_t* path = showSaveDialog(owner, title, OptionSet::OptionsDir, kAllFilesFilter, false);
    if (path == nullptr) return false;
    return appendListBlock(path, kind);
}

void saveEntireElements(HWND owner) {
    if (listHasRows(ListKind::kEntireElements))
        openListFileForAppend(owner, L"Save Entire Elements", ListKind::kEntireElements);
}

void saveKeyElements(HWND owner) {
    if (listHasRows(ListKind::kKeyElements)) openListFileForAppend(owner, L"Save Key Elements", ListKind::kKeyElements);
}

void saveIgnoredElements(HWND owner) {
    if (listHasRows(ListKind::kIgnoredElements))
        openListFileForAppend(owner, L"Save Ignored Elements", ListKind::kIgnoredElements);
}

int loadListFile(HWND owner, int groups, const wchar_t* title) {
    const wchar_t* path = showOpenDialog(owner, title, OptionSet::OptionsDir, kAllFilesFilter);
    if (path == nullptr) return 0;
    return loadOptionFile(path, groups);
}

void onSaveEntireElements(HWND window, int) {
    saveEntireElements(window);
}

void onLoadEntireElements(HWND window, int) {
    loadListFile(window, kEntireElementRows, L"Load Entire Elements");
}

void onSaveKeyElements(HWND window, int) {
    saveKeyElements(window);
}

void onLoadKeyElements(HWND window, int) {
    const int32_t nameId = keyAttributeSpec.elementNameId;
    const int32_t pathHash = keyAttributeSpec.elementPathHash;
    const int32_t attributeHash = keyAttributeSpec.attributeHash;
    if (!loadListFile(window, kKeyElementRows, L"Load Key Elements")) return;
    // The key attribute's hashes are computed while a document loads: a new one pairs
    // nothing until the documents are read again. Key elements take effect at the next
    // comparison and ask nothing.
    if (keyAttributeSpec.elementNameId != nameId || keyAttributeSpec.elementPathHash != pathHash ||
        keyAttributeSpec.attributeHash != attributeHash)
        reloadAfterChange(window, false);
}
