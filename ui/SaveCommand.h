// The Save commands of the File menu and the tree popup: the selected element under
// the command's save mode, to a file the user names (or a temporary one that opens at
// once in the application of the options).
#pragma once

#include <windows.h>

// The handler of the command table for 568 and 980 to 986.
void onSaveCommand(HWND window, int command);
void saveXmlOutput(HWND owner, int command);
