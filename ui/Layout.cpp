#include "ui/Layout.h"

#include <commctrl.h>

#include <algorithm>

#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/MainWindow.h"
#include "ui/Splitter.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"

int32_t toolbarHeight = 0;
int32_t statusHeight = 0;
int32_t splitPercent = 50;
int32_t contentShare = 100;
ContentPane contentPane;

namespace {

constexpr int kSplitterThickness = 4;

Placement place(int x, int y, int width, int height) {
    return Placement{x, y, std::max(width, 0), std::max(height, 0)};
}

void move(HWND window, const Placement& p) {
    if (window != nullptr) MoveWindow(window, p.x, p.y, p.width, p.height, TRUE);
}

void move(HWND window, int x, int y, int width, int height) {
    move(window, place(x, y, width, height));
}

// The content splitter and the element window below trees of height th.
void placeContent(MainLayout& layout, int width, int height, int top, int bottomHeight, int th) {
    layout.contentSplitter = place(0, top + th, width, kSplitterThickness);
    layout.contentWindow =
        place(0, top + th + kSplitterThickness, width, height - (bottomHeight + top + th + kSplitterThickness));
}

}  // namespace

bool treesSideBySide() {
    return OptionSet::SplitVertically != 0 || contentPane.window != nullptr;
}

MainLayout computeMainLayout(int width,
                             int height,
                             int top,
                             int bottomHeight,
                             int percent,
                             int share,
                             bool sideBySide,
                             bool contentOpen) {
    MainLayout layout{};
    width = std::max(width, 0);
    const int area = std::max(height - top - bottomHeight, 0);
    if (sideBySide) {
        const int x = width * percent / 100;
        const int th = area * share / 100;
        layout.leftTree = place(0, top, x - 1, th);
        layout.rightTree = place(x + 3, top, width - x - 3, th);
        layout.treeSplitter = place(x, top, kSplitterThickness, th);
        layout.treeHeight = th;
        layout.contentOpen = contentOpen;
        if (contentOpen) placeContent(layout, width, height, top, bottomHeight, th);
    } else {
        const int a = area * percent / 100;
        layout.leftTree = place(0, top, width, a - 1);
        layout.rightTree = place(0, top + a + 3, width, area - a - 3);
        layout.treeSplitter = place(0, top + a, width, kSplitterThickness);
        layout.treeHeight = area;
    }
    return layout;
}

void layoutToolbars(HWND mainWindow) {
    // Nothing to place until start-up has built the bars (the first WM_SIZE comes earlier).
    if (rebar == nullptr) return;
    RECT client;
    GetClientRect(mainWindow, &client);
    const int w = client.right;
    const int h = client.bottom;
    const int separatorWidth = std::max(w / 2 - 24, 0);
    for (int index : {kLeftPathSeparator, kRightPathSeparator}) {
        TBBUTTONINFOW info{};
        info.cbSize = sizeof(info);
        info.dwMask = TBIF_BYINDEX | TBIF_SIZE | TBIF_IMAGE;
        info.cx = static_cast<WORD>(separatorWidth);
        info.iImage = separatorWidth;
        SendMessageW(fileToolbar, TB_SETBUTTONINFOW, index, reinterpret_cast<LPARAM>(&info));
    }
    SendMessageW(fileToolbar, TB_AUTOSIZE, 0, 0);
    move(leftTreeView.pathCombo, 2, 2, w / 2 - 30, kPathComboDropHeight);
    move(rightTreeView.pathCombo, w / 2 + 2, 2, w / 2 - 30, kPathComboDropHeight);
    placeCheckBoxes(w);
    SendMessageW(mainToolbar, TB_AUTOSIZE, 0, 0);
    // The rebar made at start-up is kept; only its bands follow the width.
    sizeRebarBands(w);
    for (HWND bar : {fileToolbar, mainToolbar, rebar})
        if (bar != nullptr) InvalidateRect(bar, nullptr, TRUE);
    move(statusBar, 0, h - statusHeight, w, statusHeight);
    layoutMainWindow(&client);
}

void layoutMainWindow(const RECT* client) {
    RECT own;
    if (client == nullptr) {
        GetClientRect(mainWindow, &own);
        client = &own;
    }
    const int w = client->right - client->left;
    const int h = client->bottom - client->top;
    const bool contentOpen = contentPane.window != nullptr;
    const MainLayout layout = computeMainLayout(w, h, toolbarHeight, statusHeight, splitPercent, contentShare,
                                                treesSideBySide(), contentOpen);
    move(leftTreeView.tree, layout.leftTree);
    move(rightTreeView.tree, layout.rightTree);
    move(treeSplitter, layout.treeSplitter);
    if (layout.contentOpen) layoutContentPane(*client, layout.treeHeight);

    setStatusParts(w);
    if (statusBar != nullptr) SendMessageW(statusBar, SB_SETTEXTW, kStatusMessage | SBT_OWNERDRAW, 0);
    showViewMode(OptionSet::ViewMode);
}

void layoutContentPane(const RECT& client, int treeHeight) {
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;
    MainLayout layout{};
    placeContent(layout, w, h, toolbarHeight, statusHeight, treeHeight);
    move(contentPane.splitter, layout.contentSplitter);
    move(contentPane.window, layout.contentWindow);
    move(contentPane.saveAsButton, w - 370, -1, 60, 18);
    move(contentPane.saveButton, w - 300, -1, 60, 18);
    move(contentPane.synchronizeLabel, w - 230, 0, 70, 16);
    move(contentPane.editorBox, w - 160, 0, 60, 16);
    move(contentPane.treeViewBox, w - 100, 0, 70, 16);
    move(contentPane.closeButton, w - 20, 0, 16, 16);
    layoutEditors(w, layout.contentWindow.height);
    layoutPathButtons();
}
