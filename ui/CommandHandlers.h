// The handlers that the main window's command table calls, each named after its
// command, and the services that start-up, shut-down and the load paths use.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

struct XMLTreeView;
struct XMLTreeItem;

// A comparison result is in force (cleared by every load that reaches the parse).
extern int32_t filesCompared;

// Comparison and views.

// Commands of the menu bar, the toolbars and the accelerators.
void onOpenFirstFile(HWND window, int command);
void onOpenSecondFile(HWND window, int command);
void onReloadFiles(HWND window, int command);
void onCompareFiles(HWND window, int command);
void onCompareElements(HWND window, int command);
void onOptions(HWND window, int command);
void onViewMode(HWND window, int command);
void onHelpTopics(HWND window, int command);
void onTipOfTheDay(HWND window, int command);

// Start-up and shut-down services.
void showTipOfTheDay(HWND owner);
