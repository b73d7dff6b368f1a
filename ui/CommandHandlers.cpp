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

void onOpenFirstFile(HWND window, int) {
    autoCompare(leftTreeView.loadDocument(window, nullptr, 1, 1));
}

void onOpenSecondFile(HWND window, int) {
    autoCompare(rightTreeView.loadDocument(window, nullptr, 1, 1));
}

void onCompareFiles(HWND, int) {
    filesCompared = compareFiles();
}

void onCompareElements(HWND window, int) {
    compareElements(window);
}

void onViewMode(HWND window, int command) {
    setViewMode(window, command);
}

void onHelpTopics(HWND, int) {
    onHelp(nullptr);
}

