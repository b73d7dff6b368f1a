// The tree popup menu and the rules that enable the commands in the menus and on the
// toolbars: comparison commands need both files, element commands a selected
// element, result commands a finished comparison.
#pragma once

#include <windows.h>

// Positions in the menu bar.
constexpr int kFileMenu = 0;
constexpr int kXmlMenu = 2;
constexpr int kViewMenu = 3;
constexpr int kWindowMenu = 4;

extern HMENU treePopupMenu;
// Where the shared submenus sit in the menu bar's menus and in the popup (-1 until built).
extern int saveElementsFilePosition;
extern int saveElementsPopupPosition;
extern int insertReplaceXmlPosition;
extern int insertReplacePopupPosition;

bool createTreePopupMenu(HWND mainWindow);
void destroyTreePopupMenu();
// Appends the submenu of `menu` named text to the popup, greyed; returns its position in `menu`, or -1.
int appendSubmenuCopy(int* positionOut, HMENU menu, const wchar_t* text);
// The position of the item whose text matches, ignoring "&", blanks, "." and other
// characters up to "0" on either side; -1 when none.
int findMenuItem(HMENU menu, const wchar_t* text);

void enableCompareCommands();
void enableElementCommands(bool enable);
void enableResultCommands();
