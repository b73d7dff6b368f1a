#include "ui/StatusBar.h"

#include <commctrl.h>

HWND statusBar = nullptr;
HWND progressBar = nullptr;
uint32_t progressTotal = 0;
uint16_t progressPercent = 0;
uint32_t progressFileSize = 100;

HWND createStatusBar(HWND mainWindow) {
    statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (statusBar == nullptr) return nullptr;
    progressBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_GROUP | PBS_SMOOTH, 122, 3, 360, 18,
                                  statusBar, nullptr, GetModuleHandleW(nullptr), nullptr);
    return statusBar;
}

void updateProgress(int n) {
    if (n == 0 || n == -1) {
        progressTotal = 0;
        progressPercent = 0;
        if (progressBar != nullptr) {
            ShowWindow(progressBar, n == 0 ? SW_SHOW : SW_HIDE);
            SendMessageW(progressBar, PBM_SETPOS, 0, 0);
        }
        return;
    }
    progressTotal += static_cast<uint32_t>(n);
    // No size (a URL, an empty file) shows no progress rather than dividing by zero.
    if (progressFileSize == 0) return;
    uint64_t percent = static_cast<uint64_t>(progressTotal) * 100u / progressFileSize;
    if (percent > 100) percent = 100;
    if (percent > progressPercent) {
        progressPercent = static_cast<uint16_t>(percent);
        if (progressBar != nullptr) SendMessageW(progressBar, PBM_SETPOS, progressPercent, 0);
    }
}
