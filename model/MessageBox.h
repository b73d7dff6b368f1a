// Every message box of the program goes through showBox, so that tests can answer
// boxes and record their texts and captions.
#pragma once

#include <windows.h>

#include <functional>

// The window that owns the program's boxes (the main window once it exists).
extern HWND boxOwnerWindow;
// The help topic of the box that is up (its Help button and F1 open it); null when none.
extern const wchar_t* messageHelpTopic;

int showBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// A handler answers a box instead of the platform; it returns the button id.
using BoxHandler = std::function<int(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)>;
void setBoxHandler(BoxHandler handler);
