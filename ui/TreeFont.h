// The font of both trees: chosen by the user, kept in the registry under "\Font1" of
// the program's key, read when the trees are made and written at exit.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <functional>

// The description of the stored or chosen tree font; the font chooser fills it.
extern LOGFONTW treeLogFont;
// The font made from it and set on both trees; null while none was stored or chosen.
// Owned here: deleted when another is chosen and when the main window is gone.
extern HFONT treeFont;

// Reads "\Font1" (when it exists) over the system fixed font and sets the font on both trees.
void loadFont();
// Writes the nine values of the tree font under "\Font1".
void saveFont();
// The font chooser, opened at the face and size the trees are drawn in. Cancel, a font
// that cannot be made, or a face that is not installed or is vertical (refused with a
// message) changes nothing.
void chooseTreeFont(HWND owner);
// Deletes the font after the trees that used it are gone, so a later start in the same
// process begins without one.
void releaseTreeFont();

void onTreeFont(HWND window, int command);

// A handler answers the font chooser instead of the platform (tests): it gets the filled
// record, writes the chosen font into *record.lpLogFont and returns true, or returns
// false for Cancel.
using FontChooserHandler = std::function<bool(CHOOSEFONTW& record)>;
void setFontChooserHandler(FontChooserHandler handler);
