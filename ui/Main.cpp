// Entry point: the main window with the two panels, the command line, the message loop.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "ui/CommandLine.h"
#include "ui/MainWindow.h"
#include "ui/WebRequests.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    prepareStart();
    if (startMainWindow(instance, show) == nullptr) {
        shutDownParser();
        return 0;
    }
    // The command line is split in place, so it is split in a copy of the process's own.
    const wchar_t* line = GetCommandLineW();
    std::vector<wchar_t> commandLine(line, line + wcslen(line) + 1);
    processCommandLine(commandLine.data());
    const int exitCode = runMessageLoop();
    finishProgram();
    return exitCode;
}
