// The main window's commands: the command table and the small commands that live
// beside it (navigation, Find, the popup menu, the Insert and Replace checks).
#pragma once

#include <windows.h>

#include <commdlg.h>

struct XMLTreeItem;

extern HWND findDialog;

// Runs the command of a WM_COMMAND; false when the id is not in the table.
bool dispatchCommand(HWND window, int command, LRESULT* result);

void navigateTo(XMLTreeItem* target);
void updateNavigationButtons(bool withImages);
// Offers the tree popup menu for a right-button press on the current element's item.
void trackTreePopupMenu(const MSG& message);
// The label of the popup's Save item for an element: root elements save the whole file.
const wchar_t* popupSaveLabel(const XMLTreeItem* element);
void showFindDialog(HWND owner);
void onFindMessage(const FINDREPLACEW* record);
// Repaints the current element's item.
void refreshSelectedItem();

// The other tree's selected element for the Insert and Replace commands, or none
// (after the box that asks for two selections).
XMLTreeItem* otherSelectedElement();
void synchronizeElements();
void insertElement();
void replaceElement();
bool canReplaceElement(XMLTreeItem* target, XMLTreeItem* source);

void closeContentPane();
void openXMLEditor(XMLTreeItem* element);
