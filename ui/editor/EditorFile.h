// Reading a panel's file into its editor and writing the editor's text back, in the
// document's own encoding and end-of-line style.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/XMLTreeView.h"

struct EncodingSpec;

// Decodes a file's bytes as the editor shows them: UTF-16 without its byte order mark
// (byte-swapped for UTF-16BE), any other encoding through its code page. endOfLine
// gets the style of the first line break (0 none, 1 CR LF, 2 LF, 3 CR).
std::wstring decodeEditorText(const std::string& bytes, const EncodingSpec& spec, int32_t* endOfLine);
// How many of count units from text can go into one stream block of at most room
// units without splitting a CR from its LF or a surrogate pair.
size_t streamBlockUnits(const wchar_t* text, size_t count, size_t room);
// The character removed on saving: CR for LF files, LF for CR files, none otherwise.
wchar_t endOfLineToStrip(const EncodingSpec& spec);

// The one road from an editor to its file and back to its tree, taken by Save, Save As,
// the Yes of "Save changes to FILE?" and the closing of the element window.
// writeEditorText writes the panel's text to target (the panel's own file when null).
// Once it is written, target is the panel's file and the text counts as unchanged, and
// written (room for a path, may be null) gets the name; else written is emptied and
// false comes after the box that told why. An incomplete text is never written.
bool writeEditorText(XMLTreeView& panel, const wchar_t* target, wchar_t* written);
// The panel parsed again from the file its text was written to. An empty name loads
// nothing (cancelled): this road never opens the Open dialog.
LoadResult reloadWrittenFile(XMLTreeView& panel, HWND owner, const wchar_t* written);
