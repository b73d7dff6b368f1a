#include "model/MessageBox.h"

#include <algorithm>
#include <cwchar>
#include <utility>

HWND boxOwnerWindow = nullptr;
const wchar_t* messageHelpTopic = nullptr;

namespace {
BoxHandler boxHandler;

// Wine sizes a box's text control to the width that DrawText measures for the longest line
// on the box's own device context, and the control then draws that line a few pixels wider:
// the end of the line is cut off ("...only after reloading file"). Before the box is first
// shown, its text control and the box grow by two average characters, the longest line's
// shortfall at the default font with room to spare.
HHOOK widenHook = nullptr;

// The text control grows by extra; the buttons move by half of it, to stay centred.
BOOL CALLBACK widenText(HWND child, LPARAM extra) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    RECT bounds;
    GetWindowRect(child, &bounds);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&bounds), 2);
    if (_wcsicmp(name, L"Button") == 0) {
        SetWindowPos(child, nullptr, bounds.left + static_cast<int>(extra) / 2, bounds.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (_wcsicmp(name, L"Static") == 0 && GetWindowTextLengthW(child) != 0) {
        SetWindowPos(child, nullptr, 0, 0, bounds.right - bounds.left + static_cast<int>(extra),
                     bounds.bottom - bounds.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}

LRESULT CALLBACK widenBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t name[16] = {};
        GetClassNameW(box, name, 16);
        if (std::wcscmp(name, L"#32770") == 0) {
            UnhookWindowsHookEx(widenHook);
            widenHook = nullptr;
            int extra = 12;
            if (HDC dc = GetDC(box)) {
                HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
                TEXTMETRICW metrics{};
                if (GetTextMetricsW(dc, &metrics)) extra = std::max(2 * static_cast<int>(metrics.tmAveCharWidth), 4);
                SelectObject(dc, old);
                ReleaseDC(box, dc);
            }
            EnumChildWindows(box, widenText, extra);
            RECT bounds;
            GetWindowRect(box, &bounds);
            // Centred again at the new width, as the box centres itself.
            SetWindowPos(box, nullptr, bounds.left - extra / 2, bounds.top, bounds.right - bounds.left + extra,
                         bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int showBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    if (boxHandler) return boxHandler(owner, text, caption, type);
    if (widenHook == nullptr) widenHook = SetWindowsHookExW(WH_CBT, widenBox, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, text, caption, type);
    // A box that never showed (no memory for it) leaves the hook behind.
    if (widenHook != nullptr) {
        UnhookWindowsHookEx(widenHook);
        widenHook = nullptr;
    }
    return answer;
}

void setBoxHandler(BoxHandler handler) {
    boxHandler = std::move(handler);
}
