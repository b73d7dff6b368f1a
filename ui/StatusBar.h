// The main window's status bar and the load progress bar inside it.
//
// Part 0 shows the left tree's position, part 1 the typed status message (drawn by
// the program), part 2 the view, part 3 the right tree's position. A typed message
// is a type letter, "#" and the text: O plain, E error, W warning, R comparison rows.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kStatusBarId = 999;
constexpr int kStatusLeftPosition = 0;
constexpr int kStatusMessage = 1;
constexpr int kStatusView = 2;
constexpr int kStatusRightPosition = 3;

// Where the text of a typed message starts in the status bar.
constexpr int kStatusTextX = 124;
constexpr int kStatusTextY = 6;
// Typed messages longer than this (in units, with the NUL) are cut.
constexpr int kStatusMessageUnits = 1024;

extern HWND statusBar;
extern HWND progressBar;

// Units read so far, the last percentage shown, and the size of the file being loaded.
extern uint32_t progressTotal;
extern uint16_t progressPercent;
extern uint32_t progressFileSize;

// The status bar's own copy of the last typed message it was given; repaints draw
// this copy, so a producer may reuse its buffer at once.
extern wchar_t lastStatusMessage[kStatusMessageUnits];

HWND createStatusBar(HWND mainWindow);
// 0 starts a load, -1 ends it; any other value adds that many units read.
void updateProgress(int n);

// Shows a typed message in part 1 (the text is copied).
void showStatusMessage(const wchar_t* message);
// Draws part 1 for WM_DRAWITEM, inside the request's rectangle: the request's text (copied), or
// the last one when it has none.
void drawStatusMessage(const DRAWITEMSTRUCT* item);
// The colour of a typed message's text, or of row `row` (from 1) of an R message;
// currentColour stands for "the device context's colour as it is".
COLORREF statusMessageColour(wchar_t type, int row, COLORREF currentColour);

// Part edges for a client width: 120, w - 240, w - 120 and the rest.
void setStatusParts(int clientWidth);
// "View: Normal", "View: Differences" or "View: Similarities" for a "ViewMode" command id.
const wchar_t* viewModeText(int viewMode);
void showViewMode(int viewMode);
// Sets a plain text in a part (0, 2 or 3).
void setStatusText(int part, const wchar_t* text);
