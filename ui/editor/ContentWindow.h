// The XML element window: below the trees, the text of both documents in two rich
// edit editors (one shown at a time) with a caption button per document, Save and
// Save As, the two synchronisation boxes and the close button.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/XMLTreeView.h"

struct XMLTreeItem;

// Posted to the content window (lParam: the editor) to colour an editor's visible lines.
constexpr UINT kColourLinesMessage = WM_APP + 1;

// The panel whose editor is shown; Save and Save As act on it. None while closed.
extern XMLTreeView* currentEditorPanel;
// The "Editor" and "TreeView" boxes: each side follows the other. Both on at every start.
extern int32_t syncEditorWithTree;
extern int32_t syncTreeWithEditor;

// "XMLContent" and "ContentSplitter"; false fails the start-up.
bool registerContentWindowClasses();
// False, with nothing of it left, when any part of the window could not be made.
bool createXMLContentWindow(HWND mainWindow);
// Prepares the other panel's editor without an element, then the element's own at it.
void loadEditors(XMLTreeItem* element);
// Makes the panel a new editor (the old one destroyed, never emptied) and loads its
// document's text; with an element, the editor is shown at it.
void prepareEditor(XMLTreeView& panel, XMLTreeItem* element);
// Makes a panel's editor (without one, the element's panel's) the shown one, at the element.
void showElementInEditor(XMLTreeItem* element, XMLTreeView* panel);
void layoutEditors(int width, int height);
void layoutPathButtons(bool repaint = false);
void destroyEditors();
// The main window is gone, and its children with it: the handles are forgotten.
void forgetContentWindow();
void markEditorModified(XMLTreeView& panel);
void enableSaveButton();
// Save (path null: only a modified text) and Save As (the path, adopted only after
// the file was written); then the panel is loaded again from the file, with the outcome
// in reloaded. True when the file was written.
bool saveEditorText(HWND owner, const wchar_t* path, LoadResult* reloaded);
// The caption button's text: the file's name without its folder.
void updatePathCaption(XMLTreeView& panel);
LRESULT CALLBACK xmlContentWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
