// Placement of the main window's children: the rebar at the top, the status bar at
// the bottom, and between them the two trees with the tree splitter (and, while the
// XML element window is open, the content splitter and that window below the trees).
#pragma once

#include <windows.h>

#include <cstdint>

// Measured once when the main window is created: the window heights + 1.
extern int32_t toolbarHeight;
extern int32_t statusHeight;
// The tree splitter's position in percent of the width (side by side) or of the tree
// area's height (stacked). Not stored.
extern int32_t splitPercent;
// The trees' share of the area in percent while the XML element window is open.
extern int32_t contentShare;

// The XML element window and the controls of its header; null while it is closed.
struct ContentPane {
    HWND window = nullptr;
    HWND splitter = nullptr;
    HWND saveAsButton = nullptr;
    HWND saveButton = nullptr;
    HWND synchronizeLabel = nullptr;
    HWND editorBox = nullptr;
    HWND treeViewBox = nullptr;
    HWND closeButton = nullptr;
    HWND tooltip = nullptr;
};
extern ContentPane contentPane;

struct Placement {
    int x;
    int y;
    int width;
    int height;
};

struct MainLayout {
    Placement leftTree;
    Placement rightTree;
    Placement treeSplitter;
    bool contentOpen;
    int treeHeight;  // side by side: the trees' height, which the content pane goes below
    Placement contentSplitter;
    Placement contentWindow;
};

// The trees stand side by side when "SplitVertically" is on or the element window is open.
bool treesSideBySide();

// The geometry for a client area of width x height; no width or height is negative,
// however small the area.
MainLayout computeMainLayout(int width,
                             int height,
                             int top,
                             int bottomHeight,
                             int percent,
                             int share,
                             bool sideBySide,
                             bool contentOpen);

// Places the toolbars' contents and the rebar's bands for the client width, then the rest.
void layoutToolbars(HWND mainWindow);
// Places the trees, splitters and the status-bar parts; null: the main window's client area.
void layoutMainWindow(const RECT* client);
void layoutContentPane(const RECT& client, int treeHeight);
