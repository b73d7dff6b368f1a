#include "ui/StatusBar.h"

#include <commctrl.h>

#include <cwchar>

#include "ui/Commands.h"

HWND statusBar = nullptr;
HWND progressBar = nullptr;
uint32_t progressTotal = 0;
uint16_t progressPercent = 0;
uint32_t progressFileSize = 100;
wchar_t lastStatusMessage[kStatusMessageUnits] = {};

namespace {

constexpr COLORREF kErrorColour = RGB(128, 0, 0);
constexpr COLORREF kWarningColour = RGB(128, 128, 0);
// Rows 2 to 5 of a comparison summary: deleted, added, different, ignored.
constexpr COLORREF kRowColours[] = {RGB(128, 0, 0), RGB(128, 0, 0), RGB(0, 128, 0), RGB(0, 0, 128)};
constexpr int kRowGap = 10;

void keepMessage(const wchar_t* text) {
    if (text == lastStatusMessage) return;
    std::wcsncpy(lastStatusMessage, text, kStatusMessageUnits - 1);
    lastStatusMessage[kStatusMessageUnits - 1] = 0;
}

HFONT createBoldGuiFont() {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&font);
}

// Draws the rows of an R message side by side; an empty row ends them, and a last
// row without its line feed is not drawn.
void drawRows(HDC dc, const wchar_t* rows) {
    const COLORREF current = GetTextColor(dc);
    wchar_t visible[kStatusMessageUnits];
    int x = kStatusTextX;
    int row = 0;
    for (const wchar_t* p = rows;;) {
        const wchar_t* end = std::wcschr(p, L'\n');
        if (end == nullptr || end == p) break;
        ++row;
        int n = 0;
        for (const wchar_t* c = p; c < end && n < kStatusMessageUnits - 1; ++c)
            if (*c != L' ') visible[n++] = *c;
        SetTextColor(dc, statusMessageColour(L'R', row, current));
        TextOutW(dc, x, kStatusTextY, visible, n);
        SIZE size{};
        GetTextExtentPoint32W(dc, visible, n, &size);
        x += size.cx + kRowGap;
        p = end + 1;
    }
}

}  // namespace

HWND createStatusBar(HWND mainWindow) {
    statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                mainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (statusBar == nullptr) return nullptr;
    progressBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_GROUP | PBS_SMOOTH, 122, 3, 360, 18, statusBar,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    return statusBar;
}

void updateProgress(int n) {
    if (n == 0 || n == -1) {
        progressTotal = 0;
        progressPercent = 0;
        if (progressBar != nullptr) {
            ShowWindow(progressBar, n == 0 ? SW_SHOW : SW_HIDE);
            SendMessageW(progressBar, PBM_SETPOS, 0, 0);
        }
        return;
    }
    progressTotal += static_cast<uint32_t>(n);
    // No size (a URL, an empty file) shows no progress rather than dividing by zero.
    if (progressFileSize == 0) return;
    uint64_t percent = static_cast<uint64_t>(progressTotal) * 100u / progressFileSize;
    if (percent > 100) percent = 100;
    if (percent > progressPercent) {
        progressPercent = static_cast<uint16_t>(percent);
        if (progressBar != nullptr) SendMessageW(progressBar, PBM_SETPOS, progressPercent, 0);
    }
}

void showStatusMessage(const wchar_t* message) {
    keepMessage(message != nullptr ? message : L"");
    if (statusBar != nullptr)
        SendMessageW(statusBar, SB_SETTEXTW, kStatusMessage | SBT_OWNERDRAW,
                     reinterpret_cast<LPARAM>(lastStatusMessage));
}

COLORREF statusMessageColour(wchar_t type, int row, COLORREF currentColour) {
    switch (type) {
        case L'E':
            return kErrorColour;
        case L'W':
            return kWarningColour;
        case L'R':
            if (row <= 1) return currentColour;
            return kRowColours[(row > 5 ? 5 : row) - 2];
        default:
            return GetSysColor(COLOR_WINDOWTEXT);
    }
}

void drawStatusMessage(const DRAWITEMSTRUCT* item) {
    if (item == nullptr) return;
    const auto* text = reinterpret_cast<const wchar_t*>(item->itemData);
    if (text != nullptr) keepMessage(text);
    if (lastStatusMessage[0] == 0 || lastStatusMessage[1] != L'#') return;

    HDC dc = item->hDC;
    const int saved = SaveDC(dc);
    // The status bar hands over a context for all its parts: a long message stops at its own.
    IntersectClipRect(dc, item->rcItem.left, item->rcItem.top, item->rcItem.right, item->rcItem.bottom);
    SetBkMode(dc, TRANSPARENT);
    HFONT bold = createBoldGuiFont();
    HGDIOBJ previous = SelectObject(dc, bold);
    const wchar_t type = lastStatusMessage[0];
    const wchar_t* body = lastStatusMessage + 2;
    if (type == L'R') {
        drawRows(dc, body);
    } else {
        SetTextColor(dc, statusMessageColour(type, 0, GetTextColor(dc)));
        TextOutW(dc, kStatusTextX, kStatusTextY, body, static_cast<int>(std::wcslen(body)));
    }
    SelectObject(dc, previous);
    DeleteObject(bold);
    RestoreDC(dc, saved);
}

void setStatusParts(int clientWidth) {
    int edges[4] = {120, clientWidth - 240, clientWidth - 120, -1};
    // A narrow window would give decreasing edges; the parts then shrink to nothing.
    for (int i = 1; i < 3; ++i)
        if (edges[i] < edges[i - 1]) edges[i] = edges[i - 1];
    if (statusBar != nullptr) SendMessageW(statusBar, SB_SETPARTS, 4, reinterpret_cast<LPARAM>(edges));
}

const wchar_t* viewModeText(int viewMode) {
    switch (viewMode) {
        case IDM_VIEW_DIFFERENCES:
            return L"View: Differences";
        case IDM_VIEW_SIMILARITIES:
            return L"View: Similarities";
        default:
            return L"View: Normal";
    }
}

void showViewMode(int viewMode) {
    setStatusText(kStatusView, viewModeText(viewMode));
}

void setStatusText(int part, const wchar_t* text) {
    if (statusBar != nullptr) SendMessageW(statusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text));
}
