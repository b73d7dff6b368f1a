// Every file name that the user chooses comes through the Open or the Save dialog
// here: one shared result buffer, the caller's title and filter, and, while
// "LoadSeparate" is on, a folder that the dialog starts in and that remembers where
// the user went.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <functional>

constexpr int kDialogFileUnits = 260;

// The chosen file name; each dialog empties it first.
extern wchar_t dialogFileName[kDialogFileUnits];

// Filters: pairs of description and pattern, each NUL-terminated, the list ended by a second NUL.
extern const wchar_t kXmlFilter[];
extern const wchar_t kAllFilesFilter[];
extern const wchar_t kApplicationsFilter[];

// The chosen full file name (in dialogFileName), or null when cancelled or failed.
const wchar_t* showOpenDialog(HWND owner, const wchar_t* title, wchar_t* folder, const wchar_t* filter);
// The Save dialog asks before it replaces an existing file, unless the file is only
// appended to (askBeforeReplace false).
const wchar_t* showSaveDialog(HWND owner,
                              const wchar_t* title,
                              wchar_t* folder,
                              const wchar_t* filter,
                              bool askBeforeReplace = true);
// The directory of fileName, with its final separator, into folder (260 units).
void keepDirectory(const wchar_t* fileName, wchar_t* folder);
// Both trees' item height from the left tree's font; returns the height asked for (the
// tree views round an odd height down to an even one).
int updateItemHeight();

// A handler answers a dialog instead of the platform (tests): it gets the filled
// dialog record and whether it is the Save dialog, writes the chosen name into
// record.lpstrFile and returns true, or returns false for Cancel.
using FileDialogHandler = std::function<bool(OPENFILENAMEW& record, bool save)>;
void setFileDialogHandler(FileDialogHandler handler);
