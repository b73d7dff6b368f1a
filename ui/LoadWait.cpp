#include "ui/LoadWait.h"

#include "ui/StatusBar.h"

bool LoadWait::isUserInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) || message == WM_NCMOUSEHOVER ||
           message == WM_NCMOUSELEAVE || message == WM_MOUSEHOVER || message == WM_MOUSELEAVE;
}

bool LoadWait::pumpMessages() {
    MSG message;
    while (!cancelled_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The loop that ends the program sees it after the load.
            PostQuitMessage(static_cast<int>(message.wParam));
            cancelled_ = true;
            break;
        }
        if (isUserInput(message.message)) {
            if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) cancelled_ = true;
            continue;
        }
        DispatchMessageW(&message);
    }
    return cancelled_;
}

bool LoadWait::keepWaiting(const wchar_t* url) {
    if (url != nullptr && shown_ != url) {
        shown_ = url;
        // The bar stands over the message's place; counting stops while nothing comes anyway.
        if (progressBar != nullptr) ShowWindow(progressBar, SW_HIDE);
        showStatusMessage((L"W#Waiting for " + shown_ + L" (Esc cancels)").c_str());
    }
    return !pumpMessages();
}
