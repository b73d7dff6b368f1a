#include "ui/CompareCommand.h"

#include <cwchar>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/Menus.h"
#include "ui/StatusBar.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/UnsavedEdits.h"
#include "ui/editor/XMLHighlighter.h"

int32_t viewFiltered = 0;
wchar_t comparisonSummary[kSummaryUnits] = {};

namespace {

// A path box's text, at most 258 units.
constexpr int kPathBoxUnits = 259;
// Paths of at most this many units are shown whole; a longer one keeps fewer than this after "...".
constexpr int kShortPathUnits = 60;
// Two path-box texts that together reach this many units are each shortened in the title.
constexpr int kTitleShortenUnits = 120;
constexpr size_t kTitleUnits = 260;

wchar_t shortPath[kPathBoxUnits + 3];

bool isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

// The outcome of a comparison in the status bar, followed by the warning of each document
// that was loaded without its external DTD: the comparison would otherwise take the place
// of that warning at once. The summary box says the outcome as it always does.
void showOutcomeWithLoadNotes(const wchar_t* summary) {
    if (leftTreeView.loadNote[0] == 0 && rightTreeView.loadNote[0] == 0) {
        showStatusMessage(summary);
        return;
    }
    std::wstring text = L"W#";
    if (summary[0] == L'R') {
        // The count rows, up to the blank line, on one line: "Identical: 3, Deleted: 0, ...".
        // The row names hold no blanks, so every blank is padding.
        for (const wchar_t* p = summary + 2; *p != 0 && !(p[0] == L'\n' && p[1] == L'\n'); ++p) {
            if (*p == L'\n')
                text += L", ";
            else if (*p == L':')
                text += L": ";
            else if (*p != L' ')
                text += *p;
        }
        text += L".";
    } else {
        text += summary + 2;
    }
    for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        if (panel->loadNote[0] == 0) continue;
        text += panel == &leftTreeView ? L" Left: " : L" Right: ";
        text += panel->loadNote;
    }
    showStatusMessage(text.c_str());
}

XMLTreeItem* rootRecord(const XMLTreeView& panel) {
    return XMLTreeItem::fromHandle(panel.tree, ElementStore::root(panel.tree));
}

XMLTreeItem* selectedElement(const XMLTreeView& panel) {
    if (panel.tree == nullptr) return nullptr;
    XMLTreeItem* record = XMLTreeItem::fromHandle(panel.tree, ElementStore::selected(panel.tree));
    // The summary item is no element of the document.
    return record == nullptr || record->isSummary() ? nullptr : record;
}

// Whether the element counts as the same as its partner for the views.
bool isSame(const XMLTreeItem& element) {
    return element.ignoreState != 0 || (element.partner != nullptr && element.equals(element.partner) != 0);
}

// Removes the element and its partner, each with its subtree. Both records are freed.
void removeWithPartner(XMLTreeItem* element) {
    viewFiltered = 1;
    if (element->partner != nullptr) element->partner->removeFromTree();  // clears element->partner as it goes
    element->removeFromTree();
}

std::wstring pathBoxText(const XMLTreeView& panel) {
    wchar_t text[kPathBoxUnits] = {};
    if (panel.pathCombo != nullptr) GetWindowTextW(panel.pathCombo, text, kPathBoxUnits);
    return text;
}

// A reload that failed leaves the panel empty: neither the old document nor a view-thinned
// copy of it may stand in for a file that can no longer be read.
void dropDocument(XMLTreeView& panel) {
    clearPanel(panel.tree, true);
    panel.loaded = 0;
    if (!keepEditorText(panel)) panel.fileName[0] = 0;
    if (panel.pathEdit != nullptr) SetWindowTextW(panel.pathEdit, L"");
    filesCompared = 0;
    enableCompareCommands();
    enableResultCommands();
}

// Compare Files on the trees as they are: no reload first.
int compareLoadedFiles() {
    if (leftTreeView.tree == nullptr || rightTreeView.tree == nullptr) return 0;
    resetComparisonCounters();
    XMLTreeItem* left = rootRecord(leftTreeView);
    XMLTreeItem* right = rootRecord(rightTreeView);
    if (left == nullptr || right == nullptr) return 0;

    filesCompared = 0;
    showStatusMessage(L"O#Comparing...");
    compareTrees(left, right);

    if (OptionSet::ViewMode == IDM_VIEW_NORMAL) {
        viewFiltered = 0;
    } else {
        const int keepSimilar = OptionSet::ViewMode == IDM_VIEW_SIMILARITIES ? 1 : 0;
        left->filterView(keepSimilar, 1);
        right->filterView(keepSimilar, 1);
    }
    filesCompared = 1;
    invalidateColouring();
    enableResultCommands();
    updateMainTitle();
    if (OptionSet::ExpandDiff) {
        left->expandDifferences();
        // Its first item is the program's choice in the other tree: the left root stays current.
        selectionSyncGuard = 1;
        right->expandDifferences();
        selectionSyncGuard = 0;
    } else {
        refreshViews(7);
    }
    // A root that was selected already (a load leaves it so) tells of nothing: with no
    // element chosen, or the roots chosen by the program, the left root is current.
    if (OptionSet::ExpandDiff || currentElement == nullptr) {
        if (currentElement == left)
            renewSelection();
        else
            onSelectionChanged(left->treeView, left);
    }
    showOutcomeWithLoadNotes(formatComparisonSummary(left->descendantCount + 1, right->descendantCount + 1, 1));
    return 1;
}

}  // namespace

int compareFiles() {
    if (leftTreeView.tree == nullptr || rightTreeView.tree == nullptr) return 0;
    // Elements removed by a view come back only through a new parse.
    // Kept unsaved editor text leaves the comparison in force as it was.
    if (viewFiltered && !reloadFiles()) return filesCompared;
    return compareLoadedFiles();
}

void compareElements(HWND window) {
    if (viewFiltered) {
        showBox(window, L"Please set the Normal View mode!", L"Error", MB_ICONERROR);
        return;
    }
    XMLTreeItem* left = selectedElement(leftTreeView);
    XMLTreeItem* right = selectedElement(rightTreeView);
    if (left == nullptr || right == nullptr) {
        showBox(window, L"Please select two elements on both Left and Right Tree Views!", L"Error", MB_ICONERROR);
        return;
    }
    filesCompared = 0;
    compareTrees(left, right);
    const uint32_t leftCount = left->descendantCount + 1;
    const uint32_t rightCount = right->descendantCount + 1;
    filesCompared = 1;
    invalidateColouring();
    enableResultCommands();
    refreshViews(7);
    formatComparisonSummary(leftCount, rightCount, 0);
}

void setViewMode(HWND window, int viewMode) {
    // Leaving a thinned view reloads both files first. When that stops (the user kept an
    // editor's unsaved text, or a load is running) the thinned trees stay, and so does the
    // view they show: the menu, the status pane and the saves would otherwise name a view
    // the trees do not hold.
    if (viewFiltered && leftTreeView.tree != nullptr && rightTreeView.tree != nullptr && !reloadFiles()) return;
    OptionSet::ViewMode = viewMode;
    compareLoadedFiles();
    HMENU view = GetSubMenu(GetMenu(window), kViewMenu);
    for (int position = 0; position < 3; ++position)
        CheckMenuItem(view, position, MF_BYPOSITION | MF_UNCHECKED);
    CheckMenuItem(view, viewMode, MF_BYCOMMAND | MF_CHECKED);
    showViewMode(viewMode);
}

// Children are visited from a stack of items rather than by recursion: documents nest
// deeper than the stack allows.
void XMLTreeItem::filterView(int keepSimilar, int top) {
    HWND tree = treeView;
    HTREEITEM item = treeItem;
    if (!top && isSame(*this) != (keepSimilar != 0)) {
        removeWithPartner(this);
        return;
    }
    std::vector<HTREEITEM> pending;
    if (HTREEITEM first = ElementStore::child(tree, item)) pending.push_back(first);
    while (!pending.empty()) {
        HTREEITEM current = pending.back();
        pending.pop_back();
        // The next sibling is taken before the element is visited: its removal takes its item.
        if (HTREEITEM following = ElementStore::next(tree, current)) pending.push_back(following);
        XMLTreeItem* element = ElementStore::record(tree, current);
        if (element == nullptr) continue;
        if (isSame(*element) == (keepSimilar != 0)) {
            if (HTREEITEM first = ElementStore::child(tree, current)) pending.push_back(first);
        } else {
            removeWithPartner(element);
        }
    }
}

const wchar_t* formatComparisonSummary(uint32_t leftCount, uint32_t rightCount, int documents) {
    const uint32_t identical = comparisonCounters.identicalCount;
    const uint32_t different = comparisonCounters.differentCount;
    const wchar_t* caption;
    UINT type;
    if (different != 0) {
        comparisonSummary[0] = L'R';
        std::swprintf(comparisonSummary + 2, kSummaryUnits - 2,
                      L"%-11ls:  %d\n%-11ls:  %d\n%-11ls:  %d\n%-11ls:  %d\n%-11ls:  %d\n\n%ls", L"Identical",
                      static_cast<int>(identical), L"Deleted", static_cast<int>(leftCount - identical - different),
                      L"Added", static_cast<int>(rightCount - identical - different), L"Different",
                      static_cast<int>(different), L"Ignored", static_cast<int>(comparisonCounters.ignoredCount),
                      L"Too many differences?\nYou may change comparison settings\nClick Help for details");
        caption = L"Found elements";
        type = MB_OK | MB_ICONWARNING | MB_HELP;
    } else {
        comparisonSummary[0] = L'O';
        std::swprintf(comparisonSummary + 2, kSummaryUnits - 2, L"Two XML %ls are identical !",
                      documents ? L"Documents" : L"Elements");
        caption = L"Identical";
        type = MB_OK | MB_ICONINFORMATION;
    }
    comparisonSummary[1] = L'#';
    if (OptionSet::messageBoxes && OptionSet::ResultView) {
        messageHelpTopic = L"htm/cmpimprove.htm";
        showBox(mainWindow, comparisonSummary + 2, caption, type);
        messageHelpTopic = nullptr;
    }
    return comparisonSummary;
}

void updateMainTitle() {
    const std::wstring left = pathBoxText(leftTreeView);
    const std::wstring right = pathBoxText(rightTreeView);
    std::wstring title;
    if (left.empty() && right.empty()) {
        // Nothing loaded: the title the window starts with.
        if (mainWindow != nullptr) SetWindowTextW(mainWindow, L"Verdalt");
        return;
    }
    if (left.size() + right.size() >= kTitleShortenUnits) {
        // The first result is copied before the second call reuses the buffer.
        title = shortenPath(left.c_str(), static_cast<int>(left.size()));
        title += L" - ";
        title += shortenPath(right.c_str(), static_cast<int>(right.size()));
    } else {
        title = left + L" - " + right;
    }
    title += L" [Verdalt]";
    if (title.size() > kTitleUnits) title.resize(kTitleUnits);
    if (mainWindow != nullptr) SetWindowTextW(mainWindow, title.c_str());
}

const wchar_t* shortenPath(const wchar_t* text, int length) {
    if (length <= kShortPathUnits) return text;
    int last = -1;
    for (int p = 0; p < length; ++p) {
        if (!isSeparator(text[p])) continue;
        last = p;
        if (length - p >= kShortPathUnits) continue;
        if (p <= 3) return text;
        std::wcscpy(shortPath, L"...");
        std::wcsncpy(shortPath + 3, text + p, kPathBoxUnits - 1);
        shortPath[kPathBoxUnits + 2] = 0;
        return shortPath;
    }
    return last < 0 ? text : text + last;
}

// Walked from a stack of items rather than by recursion, for the same reason as the views.
// The tree view lays out every item it shows for each expansion of a shown item, so the
// parents are expanded deepest first: one without a display item is only marked, and gets
// its item, expanded, when the nearest shown ancestor is expanded; a chain of differing
// elements then costs one layout, not one per level.
void XMLTreeItem::expandDifferences() {
    HWND tree = treeView;
    std::vector<HTREEITEM> parents;
    std::vector<HTREEITEM> pending{treeItem};
    while (!pending.empty()) {
        HTREEITEM current = pending.back();
        pending.pop_back();
        // The starting element's siblings lie outside its subtree.
        if (current != treeItem)
            if (HTREEITEM following = ElementStore::next(tree, current)) pending.push_back(following);
        if (HTREEITEM first = ElementStore::child(tree, current)) pending.push_back(first);
        const XMLTreeItem* element = ElementStore::record(tree, current);
        if (element == nullptr || element->differenceState() == 0) continue;
        HTREEITEM up = ElementStore::parent(tree, current);
        if (up == nullptr || (!parents.empty() && up == parents.back())) continue;
        parents.push_back(up);
    }
    // Every parent comes after its own differing ancestors' parents in the walk.
    for (auto it = parents.rbegin(); it != parents.rend(); ++it) {
        if (ElementStore::displayItem(tree, *it) == nullptr)
            ElementStore::setExpandedState(tree, *it, true);
        else
            ElementStore::expand(tree, *it, TVE_EXPAND);
    }
    ElementStore::select(tree, ElementStore::root(tree));
}

void refreshViews(int flags) {
    if (flags & 1) resetNavigation();
    setStatusText(kStatusLeftPosition, L"");
    setStatusText(kStatusRightPosition, L"");
    // Rebuilding a tree moves its selection (the collapsed root takes it, then it goes
    // back): those are the program's selections. The element the user chose stays
    // current, its partner and navigation set up again once both trees are rebuilt; with
    // none chosen, the element the rebuild left selected on the side whose editor is shown
    // (the side the user works in), else on the left, else on the right, is.
    selectionSyncGuard = 1;
    leftTreeView.refreshTree(flags);
    rightTreeView.refreshTree(flags);
    selectionSyncGuard = 0;
    if (currentElement != nullptr) {
        renewSelection();
        return;
    }
    XMLTreeView* first = &leftTreeView;
    if (contentPane.window != nullptr && currentEditorPanel == &rightTreeView) first = &rightTreeView;
    for (XMLTreeView* panel : {first, first == &leftTreeView ? &rightTreeView : &leftTreeView}) {
        XMLTreeItem* record = XMLTreeItem::fromHandle(panel->tree, ElementStore::selected(panel->tree));
        if (record != nullptr && !record->isSummary()) {
            onSelectionChanged(panel->tree, record);
            return;
        }
    }
}

void onReloadFiles(HWND window, int) {
    reloadAfterChange(window, true);
}

bool reloadFiles() {
    // A load asked for meanwhile does nothing, and would read as a file that is gone.
    if (isParseRunning()) return false;
    // Both editors are answered for before either panel is reloaded: a Cancel keeps both.
    XMLTreeView* reloaded[2];
    int count = 0;
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView})
        if (panel->loaded && panel->fileName[0] != 0) reloaded[count++] = panel;
    if (!confirmDiscardEditors(reloaded, count)) return false;
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        if (!panel->loaded || panel->fileName[0] == 0) continue;
        // The panel's own file, not the path box's text, which the user may have changed
        // since. Copied, because the load rewrites fileName.
        wchar_t path[kPathUnits];
        std::wcsncpy(path, panel->fileName, kPathUnits - 1);
        path[kPathUnits - 1] = 0;
        if (panel->loadDocument(mainWindow, path, 1, 0) != kLoaded) dropDocument(*panel);
    }
    if (leftTreeView.loaded && rightTreeView.loaded) viewFiltered = 0;
    return true;
}

bool reloadAfterChange(HWND window, bool forced) {
    if (!leftTreeView.loaded && !rightTreeView.loaded) return false;
    if (!forced &&
        showBox(window, L"These changes will take effect only after reloading files\n\nDo you want to reload file(s)?",
                L"Options were changed", MB_ICONWARNING | MB_YESNO) != IDYES)
        return false;
    if (!reloadFiles()) return false;
    autoCompare();
    return true;
}
