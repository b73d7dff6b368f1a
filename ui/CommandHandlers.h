// The handlers that the main window's command table calls, each named after its
// command, and the services that start-up, shut-down and the load paths use.
// A handler with an empty body belongs to a feature that is not built yet.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

struct XMLTreeView;
struct XMLTreeItem;

// A comparison result is in force (cleared by every load that reaches the parse).
extern int32_t filesCompared;
// The last load stopped at a cancelled Open dialog or a missing local file.
extern int32_t openAborted;
// The font chosen for the trees; null while none was stored or chosen.
extern HFONT treeFont;

// Loading.
// Reads an option file named on the command line; false (after the file-error box) when it cannot be read.
bool loadCommandLineOptionFile(const wchar_t* path);

// Comparison and views.

// Commands of the menu bar, the toolbars and the accelerators.
void onOpenFirstFile(HWND window, int command);
void onOpenSecondFile(HWND window, int command);
void onReloadFiles(HWND window, int command);
void onSaveCommand(HWND window, int command);
void onEntireElement(HWND window, int command);
void onSaveEntireElements(HWND window, int command);
void onLoadEntireElements(HWND window, int command);
void onCompareFiles(HWND window, int command);
void onCompareElements(HWND window, int command);
void onIgnoreElements(HWND window, int command);
void onIgnoredElementsDialog(HWND window, int command);
void onRemoveAllIgnored(HWND window, int command);
void onKeyElement(HWND window, int command);
void onKeyAttribute(HWND window, int command);
void onSaveKeyElements(HWND window, int command);
void onLoadKeyElements(HWND window, int command);
void onExpandNodes(HWND window, int command);
void onCollapseNodes(HWND window, int command);
void onOptions(HWND window, int command);
void onTreeFont(HWND window, int command);
void onViewMode(HWND window, int command);
void onHelpTopics(HWND window, int command);
void onTipOfTheDay(HWND window, int command);

// The element commands of the Insert and Replace submenu, after the selection checks.
void synchronizeSelected(XMLTreeItem* element, XMLTreeItem* other);
void insertSelected(XMLTreeItem* element, XMLTreeItem* other);
void replaceSelected(XMLTreeItem* element, XMLTreeItem* other);
// Moves one child of the target's parent from the target's name to the source's; false when refused.
bool renameChildName(XMLTreeItem* target, XMLTreeItem* source);

// Start-up and shut-down services.
void showTipOfTheDay(HWND owner);
void loadFont();
void saveFont();
