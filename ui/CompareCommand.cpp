#include "ui/CompareCommand.h"

#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/Menus.h"
#include "ui/StatusBar.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

int32_t viewFiltered = 0;
wchar_t comparisonSummary[kSummaryUnits] = {};

int compareFiles() {
    return 0;
}

void compareElements(HWND) {}

void setViewMode(HWND window, int viewMode) {
    OptionSet::ViewMode = viewMode;
    compareFiles();
    HMENU view = GetSubMenu(GetMenu(window), kViewMenu);
    for (int position = 0; position < 3; ++position)
        CheckMenuItem(view, position, MF_BYPOSITION | MF_UNCHECKED);
    CheckMenuItem(view, viewMode, MF_BYCOMMAND | MF_CHECKED);
    showViewMode(viewMode);
}

const wchar_t* formatComparisonSummary(uint32_t, uint32_t, int) {
    return comparisonSummary;
}

void updateMainTitle() {}

const wchar_t* shortenPath(const wchar_t* text, int) {
    return text;
}

void refreshViews(int flags) {
    if (flags & 1) resetNavigation();
    setStatusText(kStatusLeftPosition, L"");
    setStatusText(kStatusRightPosition, L"");
    leftTreeView.refreshTree(flags);
    rightTreeView.refreshTree(flags);
}

void reloadFiles() {}
