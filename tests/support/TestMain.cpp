// Entry point of every test program: the common controls, the parser with its
// handlers installed, and message boxes, dialogs and help windows that fail the test
// unless a test expects them.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "model/ParserSetup.h"

void installUnexpectedBoxHandler();
void installUnexpectedDialogHandler();
void installUnexpectedModalHandler();
void installUnexpectedFontChooser();
void installUnexpectedHelpHandler();
void installUnexpectedColourHandler();

namespace {
// A crash ends the program with a message and a failing exit code at once.
LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    fprintf(stderr, "crash: exception 0x%08lx at %p\n", info->ExceptionRecord->ExceptionCode,
            info->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    ExitProcess(3);
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter(reportCrash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    if (!setupParser()) {
        fprintf(stderr, "the XML parser could not be set up\n");
        return 2;
    }
    installUnexpectedBoxHandler();
    installUnexpectedDialogHandler();
    installUnexpectedModalHandler();
    installUnexpectedFontChooser();
    installUnexpectedHelpHandler();
    installUnexpectedColourHandler();
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    terminateParser();
    return result;
}
