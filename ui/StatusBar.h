// The main window's status bar and the load progress bar inside it.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr int kStatusBarId = 999;

extern HWND statusBar;
extern HWND progressBar;

// Units read so far, the last percentage shown, and the size of the file being loaded.
extern uint32_t progressTotal;
extern uint16_t progressPercent;
extern uint32_t progressFileSize;

HWND createStatusBar(HWND mainWindow);
// 0 starts a load, -1 ends it; any other value adds that many units read.
void updateProgress(int n);
