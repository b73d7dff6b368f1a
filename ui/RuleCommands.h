// The commands that change the rules of the comparison from the selected element:
// ignoring elements, the ignore list, key elements, the key attribute and the
// entire elements.
#pragma once

#include <windows.h>

// F7 (570) and F9 (571): through the Ignore Element dialog with "DisplayConfirmation",
// else the element's ignore mark is toggled at once.
void ignoreElementCommand(HWND window, int command);
// F2 (1080, fullRefresh) and Ctrl+F2 (1081): the element becomes a key child of its parent, or stops being one.
void toggleKeyElement(int fullRefresh);
void showKeyAttributeDialog(HWND window);
void toggleEntireElement();
// 997: after a confirmation, every rule and the common ignored attributes go.
void removeAllIgnoredElements(HWND window);

// Command handlers of the main window's table.
void onIgnoreElements(HWND window, int command);
void onIgnoredElementsDialog(HWND window, int command);
void onRemoveAllIgnored(HWND window, int command);
void onKeyElement(HWND window, int command);
void onKeyAttribute(HWND window, int command);
void onEntireElement(HWND window, int command);
