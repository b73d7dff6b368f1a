// The commands that ask for an option or list file: saving the options, appending the
// lists of entire, key and ignored elements, and loading any of them.
#pragma once

#include <windows.h>

#include "settings/OptionFile.h"

// The Options dialog's Save: asks for the file ("Save Options to file") and writes it.
void saveOptionsToFile(HWND owner);
// Asks for the list file to append to (no replace question: nothing is replaced) and
// appends the list's block. False when cancelled or not written.
bool openListFileForAppend(HWND owner, const wchar_t* title, ListKind kind);
// Each runs only when its list holds something; otherwise no dialog is shown.
void saveEntireElements(HWND owner);
void saveKeyElements(HWND owner);
void saveIgnoredElements(HWND owner);
// Asks for a file (title, folder "OptionsDir") and reads it with the group mask:
// 1 read, 0 cancelled or not read.
int loadListFile(HWND owner, int groups, const wchar_t* title);

void onSaveEntireElements(HWND window, int command);
void onLoadEntireElements(HWND window, int command);
void onSaveKeyElements(HWND window, int command);
void onLoadKeyElements(HWND window, int command);
