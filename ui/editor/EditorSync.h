// The editor and the tree of a panel following each other: the element an editor
// position belongs to, the editor standing at a tree's element, and the lookups of a
// panel from its editor windows.
#pragma once

#include <windows.h>

#include <cstdint>

struct XMLTreeItem;
struct XMLTreeView;

XMLTreeView* panelFromEditor(HWND editor);
XMLTreeView* panelFromPathButton(HWND button);

// The root element of the panel's tree, or none.
XMLTreeItem* rootElement(const XMLTreeView& panel);
// Where an element's start tag begins in the editor (0-based line, 1-based column of
// its "<"). The root's recorded position is the document's start when a prolog
// precedes it, so the root's comes from the editor's text (locateRoot).
int elementLine(const XMLTreeView& panel, const XMLTreeItem* element);
int elementColumn(const XMLTreeView& panel, const XMLTreeItem* element);
// Finds the "<" of the root's start tag from its recorded position; after each load.
void locateRoot(XMLTreeView& panel);
// The editor position of the element's "<", and of the character after its end tag,
// both inside the text; false when its line is not in the editor.
bool elementRange(const XMLTreeView& panel, const XMLTreeItem* element, int32_t* start, int32_t* end);
// Rebuilds the line index when records were freed or the document changed.
void ensureLineIndex(XMLTreeView& panel);
// The panel's records are about to be freed: nothing of the editor points at them.
void forgetEditorRecords(XMLTreeView& panel);

// Editor to tree: selects the element that the position belongs to.
void selectTreeFromCaret(XMLTreeView& panel, int32_t position);
// The editor's scroll position in pixels of its text, and the editor put back at
// one. EM_GETSCROLLPOS answers in 16 bits, scaled down once the text is higher (or
// wider) than 65,535 pixels, while EM_SETSCROLLPOS takes whole pixels: a round trip
// through the two moves a large text up to its top.
POINT editorScrollPosition(HWND editor);
void setEditorScrollPosition(HWND editor, POINT position);

// Tree to editor: an element more than five lines below the first visible one, or
// above it, comes to the second visible line; its name is selected.
void scrollEditorToElement(XMLTreeView& panel, const XMLTreeItem* element);
