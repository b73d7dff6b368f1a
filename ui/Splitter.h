// The splitters: the tree splitter between the two trees (vertical while they stand
// side by side, horizontal while they are stacked) and the content splitter between
// the trees and the XML element window. Both share one window procedure: a drag
// shows an inverted bar and its release becomes a percentage of the area.
#pragma once

#include <windows.h>

extern HWND treeSplitter;
extern HCURSOR verticalSplitCursor;
extern HCURSOR horizontalSplitCursor;

// A plain child window class (no cursor, the menu bar's background); the class atom,
// 0 on failure. A class registered already counts as registered.
ATOM registerChildClass(WNDPROC procedure, const wchar_t* className);
// Registers "XMLSplitter", loads the cursors and creates the splitter; null on failure.
HWND createTreeSplitter(HWND mainWindow);
// The splitter's cursor and the Window menu's two items follow "SplitVertically".
void applySplitOrientation(HWND mainWindow);

// The percentage that a release at mouse (main-window client coordinates) makes:
// vertical, of the client width; else of the area between top and bottom. Kept within
// 1..99 so the bar stays reachable; -1 for an empty area.
int splitterPercent(bool vertical, int mouse, int clientWidth, int clientHeight, int top, int bottom);
LRESULT CALLBACK splitterWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
