// The tree splitter: the bar between the two trees, vertical while they stand side by
// side and horizontal while they are stacked.
#pragma once

#include <windows.h>

extern HWND treeSplitter;
extern HCURSOR verticalSplitCursor;
extern HCURSOR horizontalSplitCursor;

// Registers "XMLSplitter", loads the cursors and creates the splitter; null on failure.
HWND createTreeSplitter(HWND mainWindow);
// The splitter's cursor and the Window menu's two items follow "SplitVertically".
void applySplitOrientation(HWND mainWindow);
LRESULT CALLBACK splitterWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
