// The Ignored Elements dialog: every rule of the ignore list and the common ignored
// attributes; rules are removed, edited, loaded and saved here.
#pragma once

#include <windows.h>

#include "ui/dialogs/IgnoredElementsDialogRes.h"

INT_PTR runIgnoredElementsDialog(HWND owner);

INT_PTR CALLBACK ignoredElementsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

extern const DWORD ignoredElementsHelpIds[];
