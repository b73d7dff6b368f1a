#include "ui/Splitter.h"

#include "settings/OptionSet.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"

HWND treeSplitter = nullptr;
HCURSOR verticalSplitCursor = nullptr;
HCURSOR horizontalSplitCursor = nullptr;

namespace {
constexpr wchar_t kSplitterClass[] = L"XMLSplitter";
}  // namespace

HWND createTreeSplitter(HWND mainWindow) {
    WNDCLASSEXW splitterClass{};
    splitterClass.cbSize = sizeof(splitterClass);
    splitterClass.lpfnWndProc = splitterWndProc;
    splitterClass.hInstance = moduleInstance;
    splitterClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENUBAR + 1);
    splitterClass.lpszClassName = kSplitterClass;
    // A second main window in the same run finds the class registered already.
    if (!RegisterClassExW(&splitterClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
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

LRESULT CALLBACK splitterWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}
