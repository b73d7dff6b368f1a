// The Key Attribute dialog: which attribute of the selected element pairs the
// element's instances, if any.
#pragma once

#include <windows.h>

#include "ui/dialogs/KeyAttributeDialogRes.h"

struct XMLTreeItem;

// Returns IDOK or IDCANCEL (-1 when the dialog could not be made).
INT_PTR runKeyAttributeDialog(HWND owner, XMLTreeItem* element);

INT_PTR CALLBACK keyAttributeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

extern const DWORD keyAttributeHelpIds[];
