#include "ui/CommandHandlers.h"

#include <cwchar>

#include "model/ParseMessages.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"
#include "ui/Menus.h"
#include "ui/PathCombo.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

int32_t filesCompared = 0;
int32_t openAborted = 0;
HFONT treeFont = nullptr;

namespace {

// The units a path combo's text may have when it is loaded.
constexpr int kComboTextUnits = 259;

bool localFileExists(const wchar_t* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showSystemError(L"XMLFileExists", path);
        return false;
    }
    CloseHandle(file);
    return true;
}

XMLTreeView* panelFromPathCombo(HWND combo) {
    if (combo == nullptr) return nullptr;
    if (combo == leftTreeView.pathCombo) return &leftTreeView;
    if (combo == rightTreeView.pathCombo) return &rightTreeView;
    return nullptr;
}

}  // namespace

void loadDocument(XMLTreeView& panel, HWND owner, const wchar_t* path, int, int) {
    (void)owner;
    openAborted = 0;
    if (path == nullptr || path[0] == 0) {
        openAborted = 1;
        return;
    }
    const bool local = !isURLPath(path);
    if (local && !localFileExists(path)) {
        openAborted = 1;
        removeRecentFile(panel.pathCombo, path);
        if (panel.pathEdit != nullptr) SetWindowTextW(panel.pathEdit, panel.fileName);
        enableCompareCommands();
        return;
    }
    filesCompared = 0;
    // The panel's records are about to be freed: no selection may point at them.
    if (currentTree == panel.tree) onSelectionChanged(nullptr, nullptr);
    enableElementCommands(false);
    enableCompareCommands();
    enableResultCommands();
    resetNavigation();
    switch (parseIntoPanel(panel, path)) {
        case kLoaded:
            addRecentFile(panel.pathCombo, path, local);
            showStatusMessage(L"O#Loaded successfully");
            if (panel.tree != nullptr) SetFocus(panel.tree);
            break;
        case kLoadFailed:
            showStatusMessage(L"W#Canceled");
            break;
        case kLoadCancelled:
            openAborted = 1;
            break;
    }
    enableCompareCommands();
}

void autoCompare() {
    if (leftTreeView.loaded && rightTreeView.loaded && !openAborted && isChecked(autoCompareBox))
        filesCompared = compareFiles();
    else
        refreshViews(0);
}

void loadFromPathCombo(HWND combo) {
    wchar_t text[kComboTextUnits] = {};
    if (combo != nullptr) GetWindowTextW(combo, text, kComboTextUnits);
    XMLTreeView* panel = panelFromPathCombo(combo);
    if (text[0] != 0 && panel != nullptr) loadDocument(*panel, mainWindow, text, 0, 1);
    autoCompare();
}

void dropFiles(HWND window, HDROP drop) {
    static wchar_t droppedFile[kPathUnits];
    droppedFile[0] = 0;
    DragQueryFileW(drop, 0, droppedFile, kPathUnits);
    XMLTreeView* panel = panelFromTree(window);
    if (panel != nullptr && droppedFile[0] != 0) loadDocument(*panel, mainWindow, droppedFile, 0, 1);
    DragFinish(drop);
    autoCompare();
}

bool loadCommandLineOptionFile(const wchar_t* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        showSystemError(L"LoadOptions", path);
        return false;
    }
    CloseHandle(file);
    return true;
}

int compareFiles() {
    return 0;
}

void compareElements(HWND) {}

void refreshViews(int flags) {
    if (flags & 1) resetNavigation();
    setStatusText(kStatusLeftPosition, L"");
    setStatusText(kStatusRightPosition, L"");
    leftTreeView.refreshTree(flags);
    rightTreeView.refreshTree(flags);
}

void resetNavigation() {
    updateNavigationButtons(false);
}

void setViewMode(HWND window, int viewMode) {
    OptionSet::ViewMode = viewMode;
    compareFiles();
    HMENU view = GetSubMenu(GetMenu(window), kViewMenu);
    for (int position = 0; position < 3; ++position)
        CheckMenuItem(view, position, MF_BYPOSITION | MF_UNCHECKED);
    CheckMenuItem(view, viewMode, MF_BYCOMMAND | MF_CHECKED);
    showViewMode(viewMode);
}

XMLTreeItem* navigationTarget(int) {
    return nullptr;
}

int navigationButtonState(int) {
    return 0;
}

void onOpenFirstFile(HWND window, int) {
    loadDocument(leftTreeView, window, nullptr, 1, 1);
    autoCompare();
}

void onOpenSecondFile(HWND window, int) {
    loadDocument(rightTreeView, window, nullptr, 1, 1);
    autoCompare();
}

void onReloadFiles(HWND, int) {}
void onSaveCommand(HWND, int) {}
void onEntireElement(HWND, int) {}
void onSaveEntireElements(HWND, int) {}
void onLoadEntireElements(HWND, int) {}

void onCompareFiles(HWND, int) {
    filesCompared = compareFiles();
}

void onCompareElements(HWND window, int) {
    compareElements(window);
}

void onIgnoreElements(HWND, int) {}
void onIgnoredElementsDialog(HWND, int) {}
void onRemoveAllIgnored(HWND, int) {}
void onKeyElement(HWND, int) {}
void onKeyAttribute(HWND, int) {}
void onSaveKeyElements(HWND, int) {}
void onLoadKeyElements(HWND, int) {}
void onExpandNodes(HWND, int) {}
void onCollapseNodes(HWND, int) {}
void onOptions(HWND, int) {}
void onTreeFont(HWND, int) {}

void onViewMode(HWND window, int command) {
    setViewMode(window, command);
}

void onHelpTopics(HWND, int) {
    onHelp(nullptr);
}

void onTipOfTheDay(HWND window, int) {
    showTipOfTheDay(window);
}

void synchronizeSelected(XMLTreeItem*, XMLTreeItem*) {}
void insertSelected(XMLTreeItem*, XMLTreeItem*) {}
void replaceSelected(XMLTreeItem*, XMLTreeItem*) {}

bool renameChildName(XMLTreeItem*, XMLTreeItem*) {
    return true;
}

void onHelp(const HELPINFO*) {}
void initHelpPath() {}
void deleteTempFiles() {}
void showTipOfTheDay(HWND) {}
void loadFont() {}
void saveFont() {}
void setTreeItemHeights() {}

bool createItemPainter(HWND) {
    return true;
}

void destroyItemPainter() {}

bool registerContentWindowClasses() {
    return true;
}

bool createXMLContentWindow(HWND) {
    return false;
}

void loadEditors(XMLTreeItem*) {}
void destroyEditors() {}
void layoutEditors(int, int) {}
void layoutPathButtons() {}
