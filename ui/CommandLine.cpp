#include "ui/CommandLine.h"

#include <cwchar>

#include "settings/OptionFile.h"
#include "ui/CommandHandlers.h"
#include "ui/CompareCommand.h"
#include "ui/MainWindow.h"
#include "ui/XMLTreeView.h"

int splitCommandLine(wchar_t* text, wchar_t* tokens[kCommandLineTokens]) {
    int count = 0;
    bool inToken = false;
    bool inQuotes = false;
    for (wchar_t* p = text; *p != 0; ++p) {
        if (*p == L' ' || *p == L'\t') {
            if (inQuotes && inToken) continue;
            if (inToken) *p = 0;
            inToken = false;
        } else if (*p == L'"') {
            *p = 0;
            inQuotes = !inQuotes;
            inToken = false;
        } else if (!inToken) {
            if (count < kCommandLineTokens) tokens[count++] = p;
            inToken = true;
        }
    }
    return count;
}

void processCommandLine(wchar_t* commandLine) {
    wchar_t* tokens[kCommandLineTokens] = {};
    const int n = commandLine != nullptr ? splitCommandLine(commandLine, tokens) : 0;
    if (n == 2 && std::wcscmp(tokens[1], L"OPTIONS_DIALOG") != 0)
        leftTreeView.loadDocument(mainWindow, tokens[1], 0, 0);
    if (n >= 4) saveAtExit = loadOptionFile(tokens[3], kAllOptionFileRows) ? 0 : 1;
    if (n >= 3) {
        leftTreeView.loadDocument(mainWindow, tokens[1], 0, 1);
        rightTreeView.loadDocument(mainWindow, tokens[2], 0, 0);
    }
    if (leftTreeView.loaded && rightTreeView.loaded)
        filesCompared = compareFiles();
    else
        refreshViews(0);
}
