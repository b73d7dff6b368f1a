// Compare Files and Compare Elements from the interface, the three views that thin
// the trees after a comparison, the reload of both files, the main window's title and
// the summary of a comparison.
#pragma once

#include <windows.h>

#include <cstdint>

// Elements have been removed from the trees by the Differences or Similarities view.
extern int32_t viewFiltered;
// The typed summary of the last comparison (type letter, "#", text).
constexpr int kSummaryUnits = 512;
extern wchar_t comparisonSummary[kSummaryUnits];

// 1 when the two documents were compared, 0 when either panel has no tree or no root.
int compareFiles();
void compareElements(HWND window);
// "ViewMode" := viewMode (1086-1088), then a new comparison. A thinned view is left through
// a reload of both files; when the user keeps an unsaved editor text instead, the view,
// its menu tick and its status pane stay as they were.
void setViewMode(HWND window, int viewMode);
// The typed summary for a elements on the left and b on the right (documents 1: whole
// documents, 0: two selected elements); shows the box when asked for. Returns comparisonSummary.
const wchar_t* formatComparisonSummary(uint32_t leftCount, uint32_t rightCount, int documents);
void updateMainTitle();
// A path of more than 60 units shortened to "..." and its tail; the text itself otherwise.
// The result points into text or into a buffer that the next call overwrites.
const wchar_t* shortenPath(const wchar_t* text, int length);
// Bit 0 resets navigation; all flags go on to XMLTreeView::refreshTree.
void refreshViews(int flags);
// Reloads each loaded panel from its own file (not the path box's text, which may have been
// edited); a panel whose reload fails is left empty. viewFiltered is cleared only when both
// panels hold a document afterwards. No comparison follows. False, with nothing
// reloaded, when the user kept an editor's unsaved text.
bool reloadFiles();
// The reload question after a change that only a new parse can show: with a file
// loaded, forced or answered Yes, both panels are reloaded and compared as after a load.
// True when the files were reloaded.
bool reloadAfterChange(HWND window, bool forced);
