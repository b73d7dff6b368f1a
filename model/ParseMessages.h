// The output of parse messages and of the parser's exceptions, and the one box for
// failed file operations.
#pragma once

#include <windows.h>

#include <string>

// Shows format filled with argument (when the argument holds a visible character;
// else the format as it stands). A "$" in the text is the line break before a closing
// question: a box shows a line feed there, the console gets the text up to it. The
// console line is written only for boxes without an owner. Returns the box's answer,
// or 0 when no box was shown.
int showMessage(const wchar_t* format, const wchar_t* argument, const wchar_t* caption, UINT type, HWND owner);

// The operation name, the file name and the system's message for code, each on a line
// of its own, in an error box without owner. Code -1 takes the thread's last error.
// Either name may be null and is then left out with its line.
int showSystemError(const wchar_t* operation, const wchar_t* fileName, int code = -1);
// The system's message text for error as the system gives it (its line end included);
// empty when it has none.
std::wstring systemErrorText(DWORD error);
