// The path combo box of each panel: its edit field shows the document's path, its
// list the twelve most recent files of that side, newest first. The lists live in
// the registry under the program's key, "\LIST1" (left) and "\LIST2" (right).
#pragma once

#include <windows.h>

constexpr int kRecentFileCount = 12;
constexpr wchar_t kLeftRecentSubkey[] = L"\\LIST1";
constexpr wchar_t kRightRecentSubkey[] = L"\\LIST2";
constexpr wchar_t kRecentValueFormat[] = L"File%d";
// The longest entry read back: 258 units and the NUL (a 518-byte value).
constexpr int kRecentEntryUnits = 259;

// The main window's private message that loads the text of a path combo (lParam).
constexpr UINT kLoadPathComboMessage = WM_USER + 1;

// Appends the stored entries 1 to count to the combo's list; stops at the first
// missing or too long value.
void loadRecentList(HWND combo, const wchar_t* subkey, const wchar_t* format, int count);
// Writes the combo's entries and deletes the values numbered past its end, so that
// entries removed during the run do not come back.
void saveRecentList(HWND combo, const wchar_t* subkey, const wchar_t* format);
// The list holds a local file by its full path, whatever form it was typed in, and a URL
// as given.
// Puts a loaded file at the top. An entry equal to it (without regard to case) moves up;
// else a full list loses its oldest entry.
void addRecentFile(HWND combo, const wchar_t* path, bool isLocal);
// Deletes the entry equal to the file (without regard to case), if any.
void removeRecentFile(HWND combo, const wchar_t* path, bool isLocal);

void subclassPathEdit(HWND edit);
void subclassFileToolbar(HWND toolbar);
LRESULT CALLBACK fileToolbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK fileComboEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
