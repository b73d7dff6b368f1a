#include "ui/CommandDispatch.h"

#include <commctrl.h>

#include <cstring>
#include <cwchar>

#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/ElementCommands.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/Menus.h"
#include "ui/OptionFileCommands.h"
#include "ui/RuleCommands.h"
#include "ui/SaveCommand.h"
#include "ui/Splitter.h"
#include "ui/Toolbars.h"
#include "ui/TreeCommands.h"
#include "ui/TreeFont.h"
#include "ui/TreeViews.h"
#include "ui/WebRequests.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorFile.h"
#include "ui/editor/UnsavedEdits.h"

HWND findDialog = nullptr;

namespace {

constexpr int kFindTextUnits = 160;
// A navigation command of the menu or a button becomes its same-level form this far up.
constexpr int kSameLevelOffset = IDM_NEXT_DIFFERENCE_LEVEL - IDM_NEXT_DIFFERENCE;

FINDREPLACEW findRecord;
wchar_t findText[kFindTextUnits];

void onExit(HWND window, int) {
    if (confirmDiscardEditors()) DestroyWindow(window);
}

void onFind(HWND window, int) {
    showFindDialog(window);
}

void onOpenEditor(HWND, int) {
    if (!OptionSet::SplitVertically) return;
    if (contentPane.window != nullptr)
        closeContentPane();
    else if (currentElement != nullptr)
        openXMLEditor(currentElement);
}

void onNavigate(HWND, int command) {
    if (ctrlHeld && command >= IDM_NEXT_DIFFERENCE && command <= IDM_PREV_DELETED_ADDED) command += kSameLevelOffset;
    navigateTo(navigationTarget(command));
}

void onSynchronize(HWND, int) {
    synchronizeElements();
}

void onInsert(HWND, int) {
    insertElement();
}

void onReplace(HWND, int) {
    replaceElement();
}

void onSplit(HWND window, int) {
    if (contentPane.window != nullptr) return;
    OptionSet::SplitVertically = OptionSet::SplitVertically ? 0 : 1;
    applySplitOrientation(window);
    layoutToolbars(window);
}

void onNothing(HWND, int) {}

struct Command {
    int id;
    void (*handler)(HWND window, int command);
    LRESULT result;
};

const Command kCommands[] = {
    {IDM_OPEN_FIRST, onOpenFirstFile, 0},
    {IDM_OPEN_SECOND, onOpenSecondFile, 0},
    {IDM_RELOAD, onReloadFiles, 0},
    {IDM_SAVE_ELEMENT, onSaveCommand, 0},
    {IDM_SAVE_REPORT, onSaveCommand, 0},
    {IDM_SAVE_DIFFERENCES, onSaveCommand, 0},
    {IDM_MERGE, onSaveCommand, 0},
    {IDM_SAVE_COMMON, onSaveCommand, 0},
    {IDM_SAVE_CHANGED, onSaveCommand, 0},
    {IDM_SAVE_DELETED, onSaveCommand, 0},
    {IDM_SAVE_DELETED_CHANGED, onSaveCommand, 0},
    {IDM_ENTIRE_ELEMENT, onEntireElement, 0},
    {IDM_SAVE_ENTIRE, onSaveEntireElements, 0},
    {IDM_LOAD_ENTIRE, onLoadEntireElements, 0},
    {IDM_EXIT, onExit, 0},
    {IDM_FIND, onFind, 0},
    {IDM_OPEN_EDITOR, onOpenEditor, 0},
    {IDM_COMPARE_FILES, onCompareFiles, 0},
    {IDM_COMPARE_ELEMENTS, onCompareElements, 0},
    {IDM_NEXT_DIFFERENCE, onNavigate, 0},
    {IDM_PREV_DIFFERENCE, onNavigate, 0},
    {IDM_NEXT_DELETED_ADDED, onNavigate, 0},
    {IDM_PREV_DELETED_ADDED, onNavigate, 0},
    {IDM_NEXT_DIFFERENCE_LEVEL, onNavigate, 0},
    {IDM_PREV_DIFFERENCE_LEVEL, onNavigate, 0},
    {IDM_NEXT_DELETED_ADDED_LEVEL, onNavigate, 0},
    {IDM_PREV_DELETED_ADDED_LEVEL, onNavigate, 0},
    {IDM_IGNORE_ELEMENTS, onIgnoreElements, 0},
    {IDM_IGNORE_PARTICULAR, onIgnoreElements, 0},
    {IDM_IGNORED_ELEMENTS, onIgnoredElementsDialog, 0},
    {IDM_REMOVE_ALL_IGNORED, onRemoveAllIgnored, 0},
    {IDM_KEY_ELEMENT, onKeyElement, 0},
    {IDM_KEY_ELEMENT_OFF, onKeyElement, 0},
    {IDM_KEY_ATTRIBUTE, onKeyAttribute, 0},
    {IDM_SAVE_KEYS, onSaveKeyElements, 1},
    {IDM_LOAD_KEYS, onLoadKeyElements, 1},
    {IDM_REPLACE_ELEMENT, onReplace, 0},
    {IDM_SYNCHRONIZE, onSynchronize, 0},
    {IDM_INSERT_ELEMENT, onInsert, 0},
    {IDM_EXPAND_NODES, onExpandCollapseNodes, 0},
    {IDM_COLLAPSE_NODES, onExpandCollapseNodes, 0},
    {IDM_OPTIONS, onOptions, 0},
    {IDM_FONT_TREE, onTreeFont, 0},
    {IDM_VIEW_NORMAL, onViewMode, 0},
    {IDM_VIEW_DIFFERENCES, onViewMode, 0},
    {IDM_VIEW_SIMILARITIES, onViewMode, 0},
    {IDM_SPLIT_HORIZONTALLY, onSplit, 0},
    {IDM_SPLIT_VERTICALLY, onSplit, 0},
    {IDM_HELP_TOPICS, onHelpTopics, 0},
    {IDM_WEB_HOME, onWebHome, 0},
    {IDM_CHECK_UPDATES, onCheckUpdates, 0},
    {IDM_SUPPORT, onSupport, 0},
    {IDM_TIP_OF_THE_DAY, onTipOfTheDay, 0},
    {IDM_UNUSED_F4, onNothing, 0},
    {IDM_UNUSED_1001, onNothing, 0},
};

// Document order within one tree: down into the children, then on to the next
// sibling of the nearest ancestor that has one.
HTREEITEM nextInOrder(HWND tree, HTREEITEM item) {
    if (HTREEITEM child = ElementStore::child(tree, item)) return child;
    for (HTREEITEM at = item; at != nullptr; at = ElementStore::parent(tree, at))
        if (HTREEITEM next = ElementStore::next(tree, at)) return next;
    return nullptr;
}

HTREEITEM previousInOrder(HWND tree, HTREEITEM item) {
    HTREEITEM previous = ElementStore::previous(tree, item);
    if (previous == nullptr) return ElementStore::parent(tree, item);
    while (HTREEITEM last = ElementStore::lastChild(tree, previous))
        previous = last;
    return previous;
}

}  // namespace

bool dispatchCommand(HWND window, int command, LRESULT* result) {
    for (const Command& entry : kCommands) {
        if (entry.id != command) continue;
        entry.handler(window, command);
        *result = entry.result;
        return true;
    }
    return false;
}

void navigateTo(XMLTreeItem* target) {
    if (target == nullptr || target->treeView == nullptr) return;
    ElementStore::select(target->treeView, target->treeItem);
}

void updateNavigationButtons(bool withImages) {
    HMENU bar = mainWindow != nullptr ? GetMenu(mainWindow) : nullptr;
    for (int i = 0; i < kNavigationButtons; ++i) {
        const int command = (ctrlHeld ? IDM_NEXT_DIFFERENCE_LEVEL : IDM_NEXT_DIFFERENCE) + i;
        const int state = navigationButtonState(command);
        if (mainToolbar != nullptr) {
            TBBUTTONINFOW info{};
            info.cbSize = sizeof(info);
            info.dwMask = TBIF_BYINDEX | TBIF_STATE;
            info.fsState = static_cast<BYTE>(state);
            if (withImages) {
                info.dwMask |= TBIF_IMAGE;
                info.iImage = (ctrlHeld ? kFirstLevelNavigationImage : kFirstNavigationImage) + i;
            }
            SendMessageW(mainToolbar, TB_SETBUTTONINFOW, kFirstNavigationButton + i, reinterpret_cast<LPARAM>(&info));
        }
        if (bar != nullptr)
            EnableMenuItem(bar, IDM_NEXT_DIFFERENCE + i,
                           MF_BYCOMMAND | (state == TBSTATE_ENABLED ? MF_ENABLED : MF_GRAYED));
    }
}

const wchar_t* popupSaveLabel(const XMLTreeItem* element) {
    if (element != nullptr && ElementStore::parent(element->treeView, element->treeItem) != nullptr)
        return L"Save XML Element";
    return L"Save XML File";
}

void trackTreePopupMenu(const MSG& message) {
    if (currentElement == nullptr || treePopupMenu == nullptr) return;
    HWND tree = currentElement->treeView;
    RECT text{};
    if (!ElementStore::itemRect(tree, currentElement->treeItem, true, &text)) return;
    POINT point = message.pt;
    ScreenToClient(tree, &point);
    if (!PtInRect(&text, point)) return;
    wchar_t label[32];
    std::wcscpy(label, popupSaveLabel(currentElement));
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    info.dwTypeData = label;
    SetMenuItemInfoW(treePopupMenu, IDM_SAVE_ELEMENT, FALSE, &info);
    TrackPopupMenu(treePopupMenu, TPM_LEFTBUTTON, message.pt.x, message.pt.y, 0, mainWindow, nullptr);
}

void showFindDialog(HWND owner) {
    std::memset(&findRecord, 0, sizeof(findRecord));
    findRecord.lStructSize = sizeof(findRecord);
    findRecord.hwndOwner = owner;
    findRecord.hInstance = moduleInstance;
    findRecord.lpstrFindWhat = findText;
    findRecord.wFindWhatLen = kFindTextUnits;
    findRecord.Flags = FR_DOWN;
    findDialog = FindTextW(&findRecord);
}

void onFindMessage(const FINDREPLACEW* record) {
    if (record == nullptr) return;
    if (record->Flags & FR_DIALOGTERM) {
        findDialog = nullptr;
        return;
    }
    if (!(record->Flags & FR_FINDNEXT) || currentElement == nullptr || record->lpstrFindWhat == nullptr) return;
    HWND tree = currentElement->treeView;
    const bool down = (record->Flags & FR_DOWN) != 0;
    const int caseFlag = (record->Flags & FR_MATCHCASE) ? 1 : 0;
    const bool wholeWord = (record->Flags & FR_WHOLEWORD) != 0;
    HTREEITEM item = currentElement->treeItem;
    while ((item = down ? nextInOrder(tree, item) : previousInOrder(tree, item)) != nullptr) {
        XMLTreeItem* element = ElementStore::record(tree, item);
        if (element == nullptr || element->isSummary()) continue;
        if (element->contains(record->lpstrFindWhat, caseFlag, wholeWord)) {
            ElementStore::select(tree, item);
            return;
        }
    }
    showBox(mainWindow, L"The specified text not found", L"Not found", MB_ICONINFORMATION);
    findDialog = nullptr;
}

void refreshSelectedItem() {
    if (currentElement == nullptr || currentElement->treeView == nullptr) return;
    RECT item{};
    if (ElementStore::itemRect(currentElement->treeView, currentElement->treeItem, false, &item))
        InvalidateRect(currentElement->treeView, &item, TRUE);
}

XMLTreeItem* otherSelectedElement() {
    if (currentElement == nullptr) return nullptr;
    XMLTreeView* other = otherPanelFromTree(currentElement->treeView);
    XMLTreeItem* selected = nullptr;
    if (other != nullptr && other->tree != nullptr)
        selected = ElementStore::record(other->tree, ElementStore::selected(other->tree));
    if (selected == nullptr || selected->isSummary()) {
        showBox(mainWindow, L"Please select two elements on both panels!", L"Error", MB_ICONERROR);
        return nullptr;
    }
    return selected;
}

void synchronizeElements() {
    XMLTreeItem* other = otherSelectedElement();
    if (other == nullptr) return;
    synchronizeSelected(currentElement, other);
    autoCompare();
}

void insertElement() {
    XMLTreeItem* other = otherSelectedElement();
    if (other == nullptr) return;
    insertSelected(currentElement, other);
    autoCompare();
}

void replaceElement() {
    XMLTreeItem* other = otherSelectedElement();
    if (other == nullptr || !canReplaceElement(currentElement, other)) return;
    replaceSelected(currentElement, other);
    autoCompare();
}

bool canReplaceElement(XMLTreeItem* target, XMLTreeItem* source) {
    if (target->pathHash == source->pathHash) return true;
    if (showBox(mainWindow, L"The names of elements are not equal\nReplace anywhere?!", L"Warning!",
                MB_ICONWARNING | MB_YESNO) != IDYES)
        return false;
    if (ElementStore::parent(target->treeView, target->treeItem) == nullptr) return true;
    if (!renameChildName(target, source)) {
        showBox(mainWindow, L"The replacement is not allowed", L"Resriction", MB_ICONERROR);
        return false;
    }
    return true;
}

void closeContentPane() {
    XMLTreeView* panels[2] = {&leftTreeView, &rightTreeView};
    // The names of the files written on the way out, taken before the editors go: a
    // text kept after a failed load takes its panel's name with it.
    wchar_t written[2][kPathUnits];
    if (!confirmDiscardEditors(panels, 2, written)) return;
    destroyEditors();
    for (HWND window : {contentPane.tooltip, contentPane.splitter, contentPane.window})
        if (window != nullptr) DestroyWindow(window);
    contentPane = ContentPane{};
    contentShare = 100;
    layoutMainWindow(nullptr);
    // The trees grow over where the window stood, whose ground the main window paints
    // over their frames: all is drawn anew, the main window first, frames included.
    RedrawWindow(mainWindow, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // A text saved on the way out is parsed again, as Save does, so the tree shows the file.
    for (int side = 0; side < 2; ++side)
        reloadWrittenFile(*panels[side], mainWindow, written[side]);
    if (written[0][0] != 0 || written[1][0] != 0) autoCompare();
}

void openXMLEditor(XMLTreeItem* element) {
    if (contentPane.window == nullptr && !createXMLContentWindow(mainWindow)) return;
    loadEditors(element);
    layoutMainWindow(nullptr);
    // The trees are shorter now: each brings its selected element back into view.
    for (HWND tree : {leftTreeView.tree, rightTreeView.tree})
        ElementStore::ensureVisible(tree, ElementStore::selected(tree));
}
