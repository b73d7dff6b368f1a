// Every program that the user's commands start (the shell's "open" of a written
// file, an external application, the protocol handler for web pages) goes
// through here, so that tests record the start instead of running anything.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// ShellExecuteW with the verb "open" (no folder, SW_SHOWNORMAL). Returns what the
// shell returned: a value above 32 means started.
INT_PTR shellOpen(HWND owner, const wchar_t* file, const wchar_t* parameters);
// CreateProcessW with no application name, no handle inheritance, the creation flags
// CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS and an empty desktop. True when started.
bool startProcess(const wchar_t* commandLine);

// The full path of a file in the system folder (C:\windows\system32\rundll32.exe), so
// that a copy planted in the current or the program's folder is never the one started or
// loaded; empty when the system folder cannot be read or the path would pass MAX_PATH.
std::wstring systemFilePath(const wchar_t* fileName);

// Tests: the handler gets every start instead of the platform. For shellOpen, kind is
// "open" and the handler's result is returned; for startProcess, kind is "process",
// target the command line and parameters null, and a result above 32 means started.
using ProgramStartHandler =
    std::function<INT_PTR(const wchar_t* kind, const wchar_t* target, const wchar_t* parameters)>;
void setProgramStartHandler(ProgramStartHandler handler);
