// Help: the help file beside the program, the topic of the box that is up, and
// the context help of dialog controls.
#pragma once

#include <windows.h>

// Sets the help file path and the help window path from the module's path.
void initHelpPath();
// F1, the Help button of a message box and Help Topics: the open box's topic, or the contents.
void onHelp(const HELPINFO* info);
// A topic of the help file ("htm/validat.htm"; null: the default topic) in the program's help
// window: the Help buttons of dialogs and windows.
void showHelpTopic(HWND owner, const wchar_t* topic);
// WM_HELP and WM_CONTEXTMENU of a dialog: ids is the dialog's table of control ids and
// help ids (pairs, ended by 0, 0).
void showContextHelp(const HELPINFO* info, UINT message, WPARAM wParam, const DWORD* ids);
