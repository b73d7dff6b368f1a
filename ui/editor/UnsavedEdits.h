// The editor's unsaved text: offered for saving before anything throws it away, and
// kept, with its file name, when the panel's document could not be loaded again.
#pragma once

#include "ui/XMLTreeView.h"

// Before loads, reloads or the end of the panels' editors: each modified text, in the
// order given, brings up "Save changes to FILE?". Yes writes it to the panel's file
// (written[i] then gets the file's name, when written is given; it is empty for every
// text not written), No lets it go, Cancel keeps it. A Cancel or a failed save stops
// at once, and then no text is let go: false. True when the caller may go on.
bool confirmDiscardEditors(XMLTreeView* const* panels, int count, wchar_t (*written)[kPathUnits] = nullptr);
bool confirmDiscardEditor(XMLTreeView& panel);
// Both panels, left first, as when the window or the program closes.
bool confirmDiscardEditors();
// After a load of the panel that failed: the editor, which still holds the text of the
// panel's file, keeps that name, so that Save and Save As can write it. The text was
// answered for before the load: it counts as changed ("*") only once the user changes
// it, and an unchanged one goes later without a question. False when the editor holds
// no such text: nothing changed, or, for a text the user let go at the question, the
// editor is emptied and the panel's name dropped.
bool keepEditorText(XMLTreeView& panel);
