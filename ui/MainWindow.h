// The main window of class "REVURIRORAVAD": start-up, the message loop and shut-down.
#pragma once

#include <windows.h>

#include <cstdint>

extern HWND mainWindow;
extern HINSTANCE moduleInstance;
// The message id registered for "commdlg_FindReplace".
extern UINT findMessageId;
// "RICHEDIT50W", "RichEdit20W" or "EDIT": the class of the XML element window's editors.
extern const wchar_t* richEditClass;
// The one tool-tip window of the toolbars' child controls and the XML element window.
extern HWND tooltipWindow;
extern HACCEL mainAccelerators;
// The Ctrl key is down: the navigation commands take their targets on the same level.
extern int32_t ctrlHeld;
// Cleared when the command line read an options file: nothing of the options is saved at exit.
extern int32_t saveAtExit;

constexpr wchar_t kMainWindowClass[] = L"REVURIRORAVAD";
// The private message that redraws a panel's tree after an item's height changed (lParam: the panel).
constexpr UINT kRelayoutTreeMessage = WM_USER + 3;

// Where the window goes for a stored rectangle (-111 in any value means unset).
struct WindowPlacement {
    bool useDefault;
    bool maximised;
    int x;
    int y;
    int width;
    int height;
};
WindowPlacement mainWindowPlacement(int left, int top, int right, int bottom, int desktopRight, int desktopBottom);

// Temporary files, the help path, the options from the registry and the version rule.
void prepareStart();
// A stored "ApplicationVersion" other than the program's resets the options; the very
// first start (none stored, tips on) sends the first-start notice before that.
void applyVersionRule();
// The notice of the very first start; tests may replace it.
extern void (*firstStartNotice)();

ATOM registerMainClass(HINSTANCE instance);
// 1 when the main window and all its children exist, else 0.
int createMainWindow(HINSTANCE instance, int show);
// Registers the class, creates the window and everything up to the message loop but the
// command line: the accelerators, Tip of the Day and the view mode. Null on failure.
HWND startMainWindow(HINSTANCE instance, int show);
// The loop's own handling of a message before it is translated and dispatched.
void preprocessMessage(const MSG& message);
// Runs until WM_QUIT; returns its wParam.
int runMessageLoop();
// After the loop: the parser is shut down and both panels are cleared.
void finishProgram();

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
