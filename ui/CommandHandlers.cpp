#include "ui/CommandHandlers.h"

#include <cwchar>

#include "model/ParseMessages.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"
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

}  // namespace

void XMLTreeView::loadDocument(HWND owner, const wchar_t* path, int, int) {
    XMLTreeView& panel = *this;
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
    if (text[0] != 0 && panel != nullptr) panel->loadDocument(mainWindow, text, 0, 1);
    autoCompare();
}

void dropFiles(HWND window, HDROP drop) {
    static wchar_t droppedFile[kPathUnits];
    droppedFile[0] = 0;
    DragQueryFileW(drop, 0, droppedFile, kPathUnits);
    XMLTreeView* panel = panelFromTree(window);
    if (panel != nullptr && droppedFile[0] != 0) panel->loadDocument(mainWindow, droppedFile, 0, 1);
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

void resetNavigation() {
    updateNavigationButtons(false);
}

XMLTreeItem* navigationTarget(int) {
    return nullptr;
}

int navigationButtonState(int) {
    return 0;
}

void onOpenFirstFile(HWND window, int) {
    leftTreeView.loadDocument(window, nullptr, 1, 1);
    autoCompare();
}

void onOpenSecondFile(HWND window, int) {
    rightTreeView.loadDocument(window, nullptr, 1, 1);
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
