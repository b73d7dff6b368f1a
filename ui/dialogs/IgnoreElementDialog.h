// The Ignore Element dialog: whether and how the selected element, or one rule of the
// ignore list, is taken out of the comparison.
#pragma once

#include <windows.h>

#include "ui/dialogs/IgnoreElementDialogRes.h"

// parameter 0: the dialog is for currentElement; n > 0: it edits rule n - 1 of the
// ignore list. Returns IDOK or IDCANCEL (-1 when the dialog could not be made).
INT_PTR runIgnoreElementDialog(HWND owner, int parameter);

INT_PTR CALLBACK ignoreElementDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The mode 0-5 of the first checked mode radio; 0 when none is checked.
int checkedIgnoreMode(HWND dialog);

// Control and help context id pairs for WM_HELP and WM_CONTEXTMENU, ended by 0, 0.
extern const DWORD ignoreElementHelpIds[];
