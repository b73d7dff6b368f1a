// Entry point: a window with the two panels, loading the files named on the
// command line into them.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "ui/StatusBar.h"
#include "ui/XMLTreeView.h"

namespace {

const wchar_t kMainClass[] = L"REVURIRORAVAD";

void layout(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    SendMessageW(statusBar, WM_SIZE, 0, 0);
    RECT bar;
    GetWindowRect(statusBar, &bar);
    int statusHeight = bar.bottom - bar.top;
    int width = client.right;
    int height = client.bottom - statusHeight;
    if (height < 0) height = 0;
    MoveWindow(leftTreeView.tree, 0, 0, width / 2, height, TRUE);
    MoveWindow(rightTreeView.tree, width / 2, 0, width - width / 2, height, TRUE);
}

// The item text until items are owner-drawn: name, attributes and text on one line.
void fillItemText(NMTVDISPINFOW* info) {
    XMLTreeItem* record = reinterpret_cast<XMLTreeItem*>(info->item.lParam);
    static wchar_t buffer[512];
    if (record == nullptr) return;
    std::wstring line;
    if (record->isSummary()) {
        line = L"Total elements " + std::to_wstring(record->descendantCount + 1);
    } else {
        line = record->nameText();
        if (record->attributes != nullptr) {
            line += L' ';
            for (const wchar_t* p = record->attributes; *p != 0; ++p) line += displayQuote(*p);
        }
        if (record->text != nullptr) {
            line += L" : ";
            line += record->text;
        }
    }
    if (info->item.mask & TVIF_TEXT) {
        std::wcsncpy(buffer, line.c_str(), 511);
        buffer[511] = 0;
        info->item.pszText = buffer;
    }
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        layout(window);
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == TVN_GETDISPINFOW) fillItemText(reinterpret_cast<NMTVDISPINFOW*>(lParam));
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createTree(HWND parent) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"XML",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_NOTOOLTIPS, 0, 0, 100, 100,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = mainWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClass;
    if (!RegisterClassExW(&wc)) return 0;

    HWND window = CreateWindowExW(0, kMainClass, L"Verdalt", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 1000,
                                  700, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    boxOwnerWindow = window;
    createStatusBar(window);
    leftTreeView.tree = createTree(window);
    rightTreeView.tree = createTree(window);
    if (statusBar == nullptr || leftTreeView.tree == nullptr || rightTreeView.tree == nullptr || !setupParser()) {
        terminateParser();
        return 0;
    }
    layout(window);
    ShowWindow(window, show);
    UpdateWindow(window);

    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv != nullptr) {
        if (argc > 1) parseIntoPanel(leftTreeView, argv[1]);
        if (argc > 2) parseIntoPanel(rightTreeView, argv[2]);
        LocalFree(argv);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    terminateParser();
    clearPanel(leftTreeView.tree, true);
    clearPanel(rightTreeView.tree, true);
    return static_cast<int>(msg.wParam);
}
