// The rebar with its two bands: the file toolbar (the Open buttons and the path combo
// box of each panel) and the main toolbar (comparison, navigation and element
// commands, and the AutoLoad, AutoCompare and AutoSelect boxes).
#pragma once

#include <windows.h>

extern HWND rebar;
extern HWND fileToolbar;
extern HWND mainToolbar;
extern HWND autoLoadBox;
extern HWND autoCompareBox;
extern HWND autoSelectBox;

// Button indexes of the file toolbar: the separators that hold the path combo boxes.
constexpr int kLeftPathSeparator = 0;
constexpr int kRightPathSeparator = 2;
constexpr int kPathComboDropHeight = 140;

// Button indexes of the main toolbar.
constexpr int kCompareFilesButton = 0;
constexpr int kCompareElementsButton = 1;
constexpr int kFirstNavigationButton = 3;
constexpr int kNavigationButtons = 4;
constexpr int kFirstElementButton = 8;
constexpr int kElementButtons = 5;
constexpr int kMainToolbarButtons = 13;
// Images of the navigation buttons: 2-5, and 11-14 while Ctrl is held.
constexpr int kFirstNavigationImage = 2;
constexpr int kFirstLevelNavigationImage = 11;

// Context help ids of the three check boxes.
constexpr DWORD kAutoLoadHelpId = 0x85F50409;
constexpr DWORD kAutoSelectHelpId = 0x82F503FE;
constexpr DWORD kAutoCompareHelpId = 0x83F503FE;

// Band ids of the rebar.
constexpr UINT kFileToolbarBand = 0;
constexpr UINT kMainToolbarBand = 1;

// Builds the rebar with its two bands once, at start-up (the toolbars are made on first use);
// later calls return the same rebar. Null on failure.
HWND createRebar(HWND mainWindow);
// Gives both bands the client width, keeping the rebar and its bars; the rebar lays itself out
// again at the new width.
void sizeRebarBands(int width);
// Places the AutoLoad, AutoCompare and AutoSelect boxes at the right end of the main toolbar
// for a client width: AutoSelect at width - 80, AutoCompare 90 before it, AutoLoad 70 before
// that, each box widened, and those to its left moved over, where its label needs more.
void placeCheckBoxes(int width);
HWND createFileToolbar(HWND mainWindow);
HWND createMainToolbar(HWND mainWindow);
void setToolbarImages(HWND toolbar, int initialCount, int bitmapId);
// Frees the toolbars' image lists and forgets the bars; the windows are gone already.
void releaseToolbars();
// Gives a control the tool tip of string stringId in the main window's tool-tip window.
void addTooltip(HWND control, int stringId);
// The same in a given tool-tip window; string id 0 asks the control's parent for the
// text when the tip shows (TTN_GETDISPINFOW).
void addTooltip(HWND tooltip, HWND control, int stringId);

// Sets the state of a toolbar button by its index.
void setButtonState(HWND toolbar, int index, BYTE state);
// Whether a check box of the main toolbar is ticked.
bool isChecked(HWND box);
