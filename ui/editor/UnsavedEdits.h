// The editor's unsaved text: offered for saving before anything throws it away, and
// kept, with its file name, when the panel's document could not be loaded again.
#pragma once

struct XMLTreeView;

// Before loads, reloads or the end of the panels' editors: each modified text, in the
// order given, brings up "Save changes to FILE?". Yes writes it to the panel's file
// (saved[i] is then set, when saved is given), No lets it go, Cancel keeps it. A
// Cancel or a failed save stops at once, and then no text is let go: false. True when
// the caller may go on.
bool confirmDiscardEditors(XMLTreeView* const* panels, int count, bool* saved = nullptr);
bool confirmDiscardEditor(XMLTreeView& panel);
// Both panels, left first, as when the window or the program closes.
bool confirmDiscardEditors();
// After a load of the panel that failed: the editor, which still holds the text of the
// panel's file, keeps that name and is marked unsaved, since the panel no longer holds
// the text. False (nothing changed) when the editor holds no such text.
bool keepEditorText(XMLTreeView& panel);
