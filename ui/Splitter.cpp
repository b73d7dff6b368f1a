#include "ui/Splitter.h"

#include <windowsx.h>

#include <algorithm>

#include "settings/OptionSet.h"
#include "ui/Commands.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"

HWND treeSplitter = nullptr;
HCURSOR verticalSplitCursor = nullptr;
HCURSOR horizontalSplitCursor = nullptr;

namespace {

constexpr wchar_t kSplitterClass[] = L"XMLSplitter";
constexpr int kBarThickness = 4;

// The splitter the left button went down on; a release elsewhere moves nothing.
HWND pressedSplitter = nullptr;
// x (vertical bar) or y (horizontal bar) of the inverted bar drawn now; -1 none.
int splitterBarPosition = -1;

bool isVertical(HWND splitter) {
    return splitter == treeSplitter && OptionSet::SplitVertically != 0;
}

// The mouse position of a message in the main window's client coordinates.
POINT mainPoint(HWND splitter, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    MapWindowPoints(splitter, mainWindow, &point, 1);
    return point;
}

// Inverting twice restores what was there: the same call draws and erases the bar.
void invertBar(bool vertical, int position) {
    if (position < 0 || mainWindow == nullptr) return;
    RECT client{};
    GetClientRect(mainWindow, &client);
    HDC dc = GetDC(mainWindow);
    if (vertical)
        PatBlt(dc, position, toolbarHeight, kBarThickness, client.bottom - statusHeight - toolbarHeight, PATINVERT);
    else
        PatBlt(dc, 0, position, client.right, kBarThickness, PATINVERT);
    ReleaseDC(mainWindow, dc);
}

void endDrag(HWND splitter) {
    invertBar(isVertical(splitter), splitterBarPosition);
    splitterBarPosition = -1;
    pressedSplitter = nullptr;
    ClipCursor(nullptr);
}

void onPress(HWND splitter) {
    if (mainWindow == nullptr) return;
    pressedSplitter = splitter;
    splitterBarPosition = -1;
    SetCapture(splitter);
    RECT client{};
    GetClientRect(mainWindow, &client);
    POINT corners[2] = {{client.left + 1, client.top + toolbarHeight + 1},
                        {client.right, client.bottom - statusHeight}};
    MapWindowPoints(mainWindow, nullptr, corners, 2);
    RECT confine{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    ClipCursor(&confine);
}

void onDrag(HWND splitter, LPARAM lParam) {
    if (splitter != pressedSplitter) return;
    const bool vertical = isVertical(splitter);
    const POINT point = mainPoint(splitter, lParam);
    invertBar(vertical, splitterBarPosition);
    splitterBarPosition = vertical ? point.x : point.y;
    invertBar(vertical, splitterBarPosition);
}

void onRelease(HWND splitter, LPARAM lParam) {
    if (splitter != pressedSplitter) {
        ClipCursor(nullptr);
        return;
    }
    const bool vertical = isVertical(splitter);
    const POINT point = mainPoint(splitter, lParam);
    endDrag(splitter);
    // Released before the capture goes, so that the lost capture finds no drag left.
    ReleaseCapture();
    RECT client{};
    GetClientRect(mainWindow, &client);
    const int percent = splitterPercent(vertical, vertical ? point.x : point.y, client.right, client.bottom,
                                        toolbarHeight, statusHeight);
    if (percent < 0) return;
    int32_t& share = splitter == treeSplitter ? splitPercent : contentShare;
    if (percent == share) return;
    share = percent;
    layoutMainWindow(nullptr);
}

}  // namespace

ATOM registerChildClass(WNDPROC procedure, const wchar_t* className) {
    WNDCLASSEXW childClass{};
    childClass.cbSize = sizeof(childClass);
    childClass.lpfnWndProc = procedure;
    childClass.hInstance = moduleInstance;
    childClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENUBAR + 1);
    childClass.lpszClassName = className;
    const ATOM atom = RegisterClassExW(&childClass);
    if (atom != 0) return atom;
    // A second main window in the same run finds the class registered already.
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    return static_cast<ATOM>(GetClassInfoExW(moduleInstance, className, &existing));
}

HWND createTreeSplitter(HWND mainWindow) {
    if (registerChildClass(splitterWndProc, kSplitterClass) == 0) return nullptr;
    verticalSplitCursor = LoadCursorW(moduleInstance, MAKEINTRESOURCEW(IDC_SPLIT_VERTICAL));
    horizontalSplitCursor = LoadCursorW(moduleInstance, MAKEINTRESOURCEW(IDC_SPLIT_HORIZONTAL));
    treeSplitter = CreateWindowExW(0, kSplitterClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, mainWindow, nullptr,
                                   moduleInstance, nullptr);
    if (treeSplitter == nullptr) return nullptr;
    applySplitOrientation(mainWindow);
    return treeSplitter;
}

void applySplitOrientation(HWND mainWindow) {
    const bool vertical = OptionSet::SplitVertically != 0;
    if (treeSplitter != nullptr)
        SetClassLongPtrW(treeSplitter, GCLP_HCURSOR,
                         reinterpret_cast<LONG_PTR>(vertical ? verticalSplitCursor : horizontalSplitCursor));
    HMENU bar = GetMenu(mainWindow);
    if (bar == nullptr) return;
    EnableMenuItem(bar, IDM_SPLIT_VERTICALLY, MF_BYCOMMAND | (vertical ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(bar, IDM_SPLIT_HORIZONTALLY, MF_BYCOMMAND | (vertical ? MF_ENABLED : MF_GRAYED));
}

int splitterPercent(bool vertical, int mouse, int clientWidth, int clientHeight, int top, int bottom) {
    const int extent = vertical ? clientWidth : clientHeight - bottom - top;
    if (extent <= 0) return -1;
    const int offset = vertical ? mouse : mouse - top;
    return std::clamp(static_cast<int>(static_cast<long long>(offset) * 100 / extent), 1, 99);
}

LRESULT CALLBACK splitterWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            onPress(window);
            return 0;
        case WM_MOUSEMOVE:
            if (wParam & MK_LBUTTON) onDrag(window, lParam);
            return 0;
        case WM_LBUTTONUP:
            onRelease(window, lParam);
            return 0;
        case WM_CAPTURECHANGED:
            // Another window took the mouse: the drag ends where it is, moving nothing.
            if (window == pressedSplitter) endDrag(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
