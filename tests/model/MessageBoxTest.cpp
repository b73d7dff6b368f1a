#include "model/MessageBox.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/TestSupport.h"

void installUnexpectedBoxHandler();

namespace {

// What the shown box's text control draws, read while the box is up.
struct Seen {
    UINT closeWith = IDOK;
    bool found = false;
    int controlWidth = 0;
    int lastTextColumn = -1;  // of the same text drawn by a far wider copy of the control
};
Seen* seen = nullptr;

BOOL CALLBACK findText(HWND child, LPARAM out) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (_wcsicmp(name, L"Static") != 0 || GetWindowTextLengthW(child) == 0) return TRUE;
    *reinterpret_cast<HWND*>(out) = child;
    return FALSE;
}

BOOL CALLBACK findBox(HWND window, LPARAM out) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
}

// Reads the box once it is up, then answers it.
void CALLBACK inspectBox(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findBox, reinterpret_cast<LPARAM>(&box));
    if (box == nullptr) return;
    KillTimer(nullptr, timer);
    HWND text = nullptr;
    EnumChildWindows(box, findText, reinterpret_cast<LPARAM>(&text));
    if (text != nullptr) {
        seen->found = true;
        RECT client;
        GetClientRect(text, &client);
        seen->controlWidth = client.right;
        wchar_t label[512] = {};
        GetWindowTextW(text, label, 512);
        const int wide = 2000;
        HWND copy = CreateWindowExW(0, L"STATIC", label, static_cast<DWORD>(GetWindowLongW(text, GWL_STYLE)), 0, 0,
                                    wide, client.bottom, box, nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(copy, WM_SETFONT, SendMessageW(text, WM_GETFONT, 0, 0), FALSE);
        Canvas canvas(wide, client.bottom, GetSysColor(COLOR_BTNFACE));
        SendMessageW(copy, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
        GdiFlush();
        DestroyWindow(copy);
        seen->lastTextColumn = canvas.columns(GetSysColor(COLOR_WINDOWTEXT)).second;
    }
    PostMessageW(box, WM_COMMAND, seen->closeWith, 0);
}

// The platform's own box shows every line of its text whole: the longest line, drawn by a
// far wider copy of the box's text control, ends inside the control.
TEST(MessageBoxTest, ThePlatformBoxShowsItsLongestLineWhole) {
    const struct Case {
        const wchar_t* text;
        UINT type;
        UINT closeWith;
    } cases[] = {
        {L"These changes will take effect only after reloading files\n\nDo you want to reload file(s)?",
         MB_ICONWARNING | MB_YESNO, IDYES},
        {L"Save changes to Z:\\work\\verdalt\\samples\\left.xml?", MB_YESNOCANCEL | MB_ICONWARNING, IDCANCEL},
        {L"Please set the Normal View mode!", MB_ICONERROR, IDOK},
        {L"Two XML Documents are identical !", MB_OK | MB_ICONINFORMATION, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.text));
        Seen box;
        box.closeWith = c.closeWith;
        seen = &box;
        setBoxHandler(nullptr);
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, inspectBox);
        const int answer = showBox(nullptr, c.text, L"Verdalt", c.type);
        KillTimer(nullptr, timer);
        installUnexpectedBoxHandler();
        seen = nullptr;
        EXPECT_EQ(answer, static_cast<int>(c.closeWith));
        ASSERT_TRUE(box.found);
        ASSERT_GE(box.lastTextColumn, 0) << "the text is drawn";
        EXPECT_LT(box.lastTextColumn, box.controlWidth) << "the text control is " << box.controlWidth << " wide";
    }
}

}  // namespace
