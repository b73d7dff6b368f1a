#include "ui/dialogs/DialogRunner.h"

#include <vector>

namespace {

// Posted to a dialog right after WM_INITDIALOG: the modal loop delivers it once the
// dialog is up, which is when a test may drive it.
constexpr UINT kRunTestHandler = WM_APP + 0x3E0;
// Posted after the test handler: the dialog is still up only when it did not end it.
constexpr UINT kCancelIfStillUp = WM_APP + 0x3E1;

DialogTestHandler testHandler;

struct RunningDialog {
    DLGPROC procedure;
    LPARAM parameter;
    int templateId;
    HWND window;
};
// Dialogs nest (a dialog may open another), so each run keeps its own record.
std::vector<RunningDialog*> runningDialogs;

RunningDialog* runningFor(HWND dialog) {
    for (auto it = runningDialogs.rbegin(); it != runningDialogs.rend(); ++it) {
        if ((*it)->window == dialog) return *it;
    }
    return nullptr;
}

INT_PTR CALLBACK forwardingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        RunningDialog* running = reinterpret_cast<RunningDialog*>(lParam);
        running->window = dialog;
        const INT_PTR result = running->procedure(dialog, message, wParam, running->parameter);
        if (testHandler) PostMessageW(dialog, kRunTestHandler, 0, 0);
        return result;
    }
    RunningDialog* running = runningFor(dialog);
    if (running == nullptr) return FALSE;
    if (message == kRunTestHandler) {
        if (testHandler) {
            // The modal loop shows the dialog only once its queue is empty; the handler
            // gets it shown, as the user would see it.
            ShowWindow(dialog, SW_SHOWNORMAL);
            const DialogTestHandler handler = testHandler;
            handler(dialog, running->templateId);
            // EndDialog only marks the dialog as ended; the window stays until its loop
            // returns, and a second EndDialog would replace the result. The loop leaves
            // before it reads this message when the handler ended the dialog.
            if (IsWindow(dialog)) PostMessageW(dialog, kCancelIfStillUp, 0, 0);
        }
        return TRUE;
    }
    if (message == kCancelIfStillUp) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return running->procedure(dialog, message, wParam, lParam);
}

}  // namespace

void setDialogTestHandler(DialogTestHandler handler) {
    testHandler = std::move(handler);
}

INT_PTR runModalDialog(HWND owner, int templateId, DLGPROC procedure, LPARAM parameter) {
    RunningDialog running{procedure, parameter, templateId, nullptr};
    runningDialogs.push_back(&running);
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                                           forwardingProcedure, reinterpret_cast<LPARAM>(&running));
    runningDialogs.pop_back();
    return result;
}

bool centredPosition(const RECT& desktop, const RECT& parent, int width, int height, POINT* position) {
    const int x = parent.left + (parent.right - parent.left - width) / 2;
    const int y = parent.top + (parent.bottom - parent.top - height) / 2;
    if (x >= desktop.right - 100 || y >= desktop.bottom - 80) return false;
    position->x = x;
    position->y = y;
    return true;
}

void centreDialog(HWND dialog) {
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    HWND parent = GetParent(dialog);
    RECT parentRect = desktop;
    if (parent != nullptr) GetWindowRect(parent, &parentRect);
    RECT own;
    GetWindowRect(dialog, &own);
    POINT position;
    if (centredPosition(desktop, parentRect, own.right - own.left, own.bottom - own.top, &position)) {
        SetWindowPos(dialog, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}
