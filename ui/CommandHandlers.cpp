#include "ui/CommandHandlers.h"

#include <cwchar>

#include "model/ParseMessages.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"
#include "ui/Help.h"
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

void showTipOfTheDay(HWND) {}
void loadFont() {}
void saveFont() {}
