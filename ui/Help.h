// Help: the help file beside the program, the topic of the box that is up, and
// the context help of dialog controls.
#pragma once

#include <windows.h>

#include <functional>

// Sets the help file path and the help window path from the module's path.
void initHelpPath();
// The same from a given program path: its last three units become "chm". A path that
// leaves no room for the window-type suffix within MAX_PATH (or null) gives no help.
void setHelpPaths(const wchar_t* modulePath);
// The help file ("...\verdalt.chm") and the same with the window type (">verdalt");
// empty while there is no help.
const wchar_t* helpFilePath();
const wchar_t* helpWindowPath();

// F1, the Help button of a message box and Help Topics: the open box's topic, or the contents.
void onHelp(const HELPINFO* info);
// A topic of the help file ("htm/validat.htm"; null: the default topic) in the program's help
// window: the Help buttons of dialogs and windows.
void showHelpTopic(HWND owner, const wchar_t* topic);
// WM_HELP and WM_CONTEXTMENU of a dialog: ids is the dialog's table of control ids and
// help ids (pairs, ended by 0, 0).
void showContextHelp(const HELPINFO* info, UINT message, WPARAM wParam, const DWORD* ids);
// The same for the message as a dialog procedure receives it (WM_HELP's HELPINFO in lParam).
void showDialogContextHelp(UINT message, WPARAM wParam, LPARAM lParam, const DWORD* ids);

// At exit: closes the help windows the program opened, which the HTML Help control needs
// before the program that opened them goes.
void closeHelpWindows();

// Tests: the handler gets every HtmlHelpW call (caller window, file, command, data) instead
// of the HTML Help control; an empty handler restores the control.
using HtmlHelpHandler = std::function<HWND(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data)>;
void setHtmlHelpHandler(HtmlHelpHandler handler);
