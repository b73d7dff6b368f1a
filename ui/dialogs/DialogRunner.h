// Every modal dialog of ours runs through runModalDialog, so that tests can drive
// the live dialog inside its real modal loop and fail on one they did not expect.
#pragma once

#include <windows.h>

#include <functional>

// DialogBoxParamW on the program's own template. Returns what EndDialog was given,
// or -1 when the dialog could not be made.
INT_PTR runModalDialog(HWND owner, int templateId, DLGPROC procedure, LPARAM parameter);

// Centres a dialog on its parent (the desktop when it has none), unless the centred
// position would come within 100 pixels of the desktop's right edge or 80 of its bottom.
void centreDialog(HWND dialog);
// The position centreDialog chooses, or false when the dialog keeps its own.
bool centredPosition(const RECT& desktop, const RECT& parent, int width, int height, POINT* position);

// Tests: the handler gets each dialog once it is up (after WM_INITDIALOG, from inside
// the modal loop) with its template id. It drives the controls with real messages and
// ends the dialog by clicking a button; a dialog still up when the handler returns is
// cancelled (IDCANCEL).
using DialogTestHandler = std::function<void(HWND dialog, int templateId)>;
void setDialogTestHandler(DialogTestHandler handler);
