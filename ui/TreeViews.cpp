#include "ui/TreeViews.h"

#include <windowsx.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "model/DifferenceNavigator.h"
#include "model/ElementStore.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/ItemPainter.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/Menus.h"
#include "ui/Toolbars.h"
#include "ui/StatusBar.h"
#include "ui/TreeFont.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorSync.h"

HIMAGELIST treeImageList = nullptr;
XMLTreeItem* currentElement = nullptr;
XMLTreeItem* currentPartner = nullptr;
HWND currentTree = nullptr;
int32_t selectionSyncGuard = 0;
DifferenceNavigator* currentNavigator = nullptr;

namespace {

constexpr COLORREF kTreeMaskColour = RGB(255, 255, 255);
// Images below this one have an expanded form (+1) and a key-child form (+14).
constexpr int kIgnoredImages = 10;
constexpr int kKeyChildImageOffset = 14;

WNDPROC originalTreeProc = nullptr;

HWND createTree(HWND mainWindow, int x, int width, int height) {
    HWND tree = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE, WC_TREEVIEWW, L"XML",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_NOTOOLTIPS, x, toolbarHeight,
                                width, height, mainWindow, nullptr, moduleInstance, nullptr);
    if (tree == nullptr) return nullptr;
    SendMessageW(tree, CCM_SETVERSION, 6, 0);
    SendMessageW(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(treeImageList));
    return tree;
}

void subclassTree(HWND tree) {
    auto previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(tree, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(treeViewProc)));
    // Both trees are of one class and so share one original procedure.
    if (previous != treeViewProc) originalTreeProc = previous;
}

// With AutoSelect, the other tree selects the element's partner (nothing without one).
void selectPartner(HWND tree, XMLTreeItem* record) {
    XMLTreeView* other = otherPanelFromTree(tree);
    if (!filesCompared || other == nullptr || other->tree == nullptr || !isChecked(autoSelectBox)) return;
    selectionSyncGuard = 1;
    currentPartner = record->partner;
    ElementStore::select(other->tree, currentPartner != nullptr ? currentPartner->treeItem : nullptr);
    selectionSyncGuard = 0;
}

}  // namespace

bool createTreeImageList() {
    treeImageList = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, kTreeImageCount, 0);
    if (treeImageList == nullptr) return false;
    for (int i = 0; i < kTreeImageCount; ++i) {
        HBITMAP bitmap = LoadBitmapW(moduleInstance, MAKEINTRESOURCEW(IDB_TREE_FIRST + i));
        if (bitmap == nullptr) continue;
        ImageList_AddMasked(treeImageList, bitmap, kTreeMaskColour);
        DeleteObject(bitmap);
    }
    ImageList_SetBkColor(treeImageList, GetSysColor(COLOR_WINDOW));
    return ImageList_GetImageCount(treeImageList) == kTreeImageCount;
}

void destroyTreeImageList() {
    if (treeImageList != nullptr) ImageList_Destroy(treeImageList);
    treeImageList = nullptr;
}

bool createTreeViews(HWND mainWindow) {
    RECT client{};
    GetClientRect(mainWindow, &client);
    const int width = client.right / 2;
    int height = client.bottom - toolbarHeight - statusHeight;
    if (height < 0) height = 0;
    leftTreeView.tree = createTree(mainWindow, 0, width, height);
    rightTreeView.tree = createTree(mainWindow, width, width, height);
    if (leftTreeView.tree == nullptr || rightTreeView.tree == nullptr) return false;
    loadFont();
    subclassTree(leftTreeView.tree);
    subclassTree(rightTreeView.tree);
    return true;
}

void releaseTreeViews() {
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        if (panel->tree == nullptr) continue;
        ElementStore::detach(panel->tree);
        panel->tree = nullptr;
    }
    currentElement = currentPartner = nullptr;
    currentTree = nullptr;
}

int treeImage(const XMLTreeItem& record, bool expanded) {
    int image = record.iconIndex(filesCompared ? 0 : 1);
    if (image < kIgnoredImages) {
        if (expanded) ++image;
        if (keyElementList.isKeyChild(record)) image += kKeyChildImageOffset;
    }
    return image;
}

void onGetDispInfo(NMTVDISPINFOW* info) {
    const XMLTreeView* panel = panelFromTree(info->hdr.hwndFrom);
    const auto* record = reinterpret_cast<const XMLTreeItem*>(info->item.lParam);
    if (panel == nullptr || !panel->loaded || record == nullptr) return;
    // Items are painted by the item painter: the text only gives the item its width.
    if (info->item.mask & TVIF_TEXT) info->item.pszText = const_cast<wchar_t*>(XMLTreeItem::displayText(0));
    if (info->item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) {
        // The summary item shows none: the tree would draw it at the middle of the tall
        // item, far below the summary line.
        const int image = record->isSummary()
                              ? I_IMAGENONE
                              : treeImage(*record, ElementStore::isExpanded(panel->tree, info->item.hItem));
        info->item.iImage = image;
        info->item.iSelectedImage = image;
    }
}

LRESULT onItemPrePaint(NMTVCUSTOMDRAW* draw) {
    HWND tree = draw->nmcd.hdr.hwndFrom;
    const XMLTreeView* panel = panelFromTree(tree);
    if (panel == nullptr) return CDRF_DODEFAULT;
    if (!panel->loaded) return CDRF_SKIPDEFAULT;
    // Painting never chooses the current element: Wine paints the caret item of either
    // tree as selected and focused, and the tree that holds the focus may show nothing but
    // the partner that the program selected for the user's element (the load focuses the
    // tree it filled; navigation and the toolbar take no focus).
    return CDRF_NOTIFYPOSTPAINT;
}

LRESULT onItemPostPaint(NMTVCUSTOMDRAW* draw) {
    const XMLTreeView* panel = panelFromTree(draw->nmcd.hdr.hwndFrom);
    if (panel == nullptr || !panel->loaded) return CDRF_DODEFAULT;
    if (itemPainter != nullptr) itemPainter->drawItem(draw);
    return CDRF_SKIPDEFAULT;
}

void showPosition(const XMLTreeItem* record) {
    if (record == nullptr) return;
    HWND tree = record->treeView;
    const int part = tree == rightTreeView.tree ? kStatusRightPosition : kStatusLeftPosition;
    setStatusText(part, record->positionText());

    // Keep the item in view: scrolled off to the left, or (but for the tall summary
    // item) below the bottom of the tree, it becomes the first visible item.
    RECT item{};
    RECT client{};
    if (tree == nullptr || !ElementStore::itemRect(tree, record->treeItem, true, &item)) return;
    GetClientRect(tree, &client);
    if (item.left >= 0 && (record->isSummary() || item.bottom <= client.bottom)) return;
    SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    ElementStore::select(tree, record->treeItem, TVGN_FIRSTVISIBLE);
    SendMessageW(tree, WM_HSCROLL, SB_LEFT, 0);
    SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree, nullptr, FALSE);
}

void onSelectionChanged(HWND tree, XMLTreeItem* record) {
    if (tree == nullptr || record == nullptr || record->isSummary()) {
        currentTree = nullptr;
        currentElement = nullptr;
        currentPartner = nullptr;
        return;
    }
    if (record == currentElement) return;
    if (contentPane.window != nullptr && syncEditorWithTree) showElementInEditor(record, nullptr);
    XMLTreeView* panel = panelFromTree(tree);
    if (filesCompared && panel != nullptr) {
        currentNavigator = &panel->navigator;
        if (currentNavigator->update(record) != 0 || tree != currentTree) updateNavigationButtons(false);
    }
    currentTree = tree;
    currentElement = record;
    enableElementCommands(true);
    selectPartner(tree, record);
}

void renewSelection() {
    XMLTreeItem* record = currentElement;
    HWND tree = currentTree;
    if (record == nullptr || tree == nullptr) return;
    XMLTreeView* panel = panelFromTree(tree);
    if (filesCompared && panel != nullptr) {
        currentNavigator = &panel->navigator;
        currentNavigator->update(record);
        updateNavigationButtons(false);
    }
    selectPartner(tree, record);
}

void resetNavigation() {
    leftTreeView.navigator = DifferenceNavigator{};
    rightTreeView.navigator = DifferenceNavigator{};
    currentNavigator = nullptr;
    updateNavigationButtons(false);
}

XMLTreeItem* navigationTarget(int command) {
    return currentNavigator != nullptr ? currentNavigator->target(command) : nullptr;
}

int navigationButtonState(int command) {
    return currentNavigator != nullptr ? currentNavigator->buttonState(command) : 0;
}

void forgetTree(HWND tree) {
    if (tree == nullptr) return;
    if (currentElement != nullptr && currentElement->treeView == tree) {
        currentElement = nullptr;
        currentTree = nullptr;
    }
    if (currentPartner != nullptr && currentPartner->treeView == tree) currentPartner = nullptr;
    if (XMLTreeView* panel = panelFromTree(tree)) {
        if (currentNavigator == &panel->navigator) currentNavigator = nullptr;
        panel->navigator = DifferenceNavigator{};
        forgetEditorRecords(*panel);
    }
}

XMLTreeItem* DifferenceNavigator::target(int command) const {
    switch (command) {
        case IDM_NEXT_DIFFERENCE:
            return nextDifference;
        case IDM_PREV_DIFFERENCE:
            return previousDifference;
        case IDM_NEXT_DELETED_ADDED:
            return nextDeletedAdded;
        case IDM_PREV_DELETED_ADDED:
            return previousDeletedAdded;
        case IDM_NEXT_DIFFERENCE_LEVEL:
            return sameLevelNextDifference;
        case IDM_PREV_DIFFERENCE_LEVEL:
            return sameLevelPreviousDifference;
        case IDM_NEXT_DELETED_ADDED_LEVEL:
            return sameLevelNextDeletedAdded;
        case IDM_PREV_DELETED_ADDED_LEVEL:
            return sameLevelPreviousDeletedAdded;
        default:
            return nullptr;
    }
}

int DifferenceNavigator::buttonState(int command) const {
    return target(command) != nullptr ? TBSTATE_ENABLED : 0;
}

void onTreeClicked(HWND tree, POINT point) {
    if (selectionSyncGuard) return;
    const XMLTreeView* panel = panelFromTree(tree);
    if (panel == nullptr || !panel->loaded) return;
    HTREEITEM item = ElementStore::selected(tree);
    RECT rect{};
    if (item == nullptr || !ElementStore::itemRect(tree, item, true, &rect) || !PtInRect(&rect, point)) return;
    onSelectionChanged(tree, ElementStore::record(tree, item));
}

LRESULT CALLBACK treeViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN: {
            // A click on the item that is selected already (the partner that AutoSelect
            // chose, say) changes no selection, so no notification tells of it: the
            // element becomes the user's choice here, once the tree has handled the press.
            const LRESULT result = CallWindowProcW(originalTreeProc, window, message, wParam, lParam);
            onTreeClicked(window, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return result;
        }
        case WM_KEYDOWN:
            if (wParam == 'C' && GetKeyState(VK_CONTROL) < 0) {
                copyElementToClipboard(currentElement);
                return 0;
            }
            break;
        case WM_HSCROLL:
        case WM_VSCROLL:
            // Mirrored scrolling: the other tree takes the same step first.
            if (leftTreeView.loaded && rightTreeView.loaded && OptionSet::AutoScroll) {
                XMLTreeView* other = otherPanelFromTree(window);
                if (other != nullptr && other->tree != nullptr)
                    CallWindowProcW(originalTreeProc, other->tree, message, wParam, lParam);
            }
            break;
        default:
            break;
    }
    return CallWindowProcW(originalTreeProc, window, message, wParam, lParam);
}

void copyElementToClipboard(const XMLTreeItem* element) {
    if (element == nullptr || !OpenClipboard(mainWindow)) return;
    EmptyClipboard();
    const std::wstring name = element->nameText();
    std::wstring text = L"<" + name;
    // The element as the tree shows it.
    if (element->attributes != nullptr && element->attributesLength != 0)
        text += L' ' + shownText(element->attributes, element->attributesLength);
    if (element->text != nullptr && element->textLength != 0) {
        text += L'>' + shownText(element->text, element->textLength);
        text += L"</" + name + L">";
    } else {
        text += L"/>";
    }
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory != nullptr) {
        void* target = GlobalLock(memory);
        if (target != nullptr) {
            std::memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

XMLTreeItem* XMLTreeItem::insertTreeItem(XMLTreeItem* record, XMLTreeItem* parent, HWND tree, HTREEITEM insertAfter) {
    if (record == nullptr) return nullptr;
    HTREEITEM parentItem = TVI_ROOT;
    if (parent != nullptr) {
        parentItem = parent->treeItem;
        tree = parent->treeView;
    }
    HTREEITEM item = ElementStore::insert(tree, parentItem, insertAfter, record);
    if (item == nullptr) return record;
    if (parent != nullptr) ++parent->childCount;
    record->treeItem = item;
    record->treeView = tree;
    return record;
}
