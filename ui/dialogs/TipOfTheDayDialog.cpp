#include "ui/dialogs/TipOfTheDayDialog.h"

#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/dialogs/TipOfTheDayDialogRes.h"

namespace {

// A tip's string is read up to this many units.
constexpr int kTipUnits = 511;
constexpr int kIconSize = 32;
constexpr int kHeadingHeight = 24;
constexpr int kTipFontHeight = 16;

// A font made from a stock font's description with another height (and weight).
HFONT fontFromStock(int stockFont, int height, int weight) {
    LOGFONTW description{};
    GetObjectW(GetStockObject(stockFont), sizeof(description), &description);
    description.lfHeight = height;
    description.lfWidth = 0;
    if (weight != 0) description.lfWeight = weight;
    return CreateFontIndirectW(&description);
}

// Text word-wrapped in the rectangle inset by the margins, on the window colour.
void drawWrappedText(HDC dc, RECT area, const wchar_t* text, HFONT font, int left, int top, int right, int bottom) {
    area.left += left;
    area.top += top;
    area.right -= right;
    area.bottom -= bottom;
    const int saved = SaveDC(dc);
    SelectObject(dc, font);
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, text, -1, &area, DT_WORDBREAK | DT_NOPREFIX);
    RestoreDC(dc, saved);
    DeleteObject(font);
}

void drawBand(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNSHADOW));
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TIP), IMAGE_ICON, kIconSize, kIconSize, 0));
    if (icon == nullptr) return;
    DrawIconEx(item.hDC, item.rcItem.left + 12, item.rcItem.top + 6, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
    DestroyIcon(icon);
}

void drawHeading(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    drawWrappedText(item.hDC, item.rcItem, L"Did you know...", fontFromStock(ANSI_FIXED_FONT, kHeadingHeight, FW_BOLD),
                    12, 20, 4, 8);
}

void drawTip(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    if (OptionSet::TipOfTheDay < IDS_FIRST_TIP || OptionSet::TipOfTheDay > IDS_LAST_TIP)
        OptionSet::TipOfTheDay = IDS_FIRST_TIP;
    wchar_t tip[kTipUnits] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(OptionSet::TipOfTheDay), tip, kTipUnits) <= 0) return;
    drawWrappedText(item.hDC, item.rcItem, tip, fontFromStock(ANSI_VAR_FONT, kTipFontHeight, 0), 10, 6, 6, 10);
}

BOOL onInitDialog(HWND dialog) {
    if (OptionSet::TipOfTheDay != 0)
        CheckDlgButton(dialog, IDC_TIP_SHOW_AT_START, BST_CHECKED);
    else
        OptionSet::TipOfTheDay = IDS_FIRST_TIP;
    centreDialog(dialog);
    return TRUE;
}

void onNextTip(HWND dialog) {
    OptionSet::TipOfTheDay = nextTipId(OptionSet::TipOfTheDay);
    HWND tip = GetDlgItem(dialog, IDC_TIP_TEXT);
    InvalidateRect(tip, nullptr, TRUE);
    UpdateWindow(tip);
}

void onClose(HWND dialog) {
    // Ticked, the next start shows the tip after this one.
    OptionSet::TipOfTheDay =
        IsDlgButtonChecked(dialog, IDC_TIP_SHOW_AT_START) == BST_CHECKED ? nextTipId(OptionSet::TipOfTheDay) : 0;
    EndDialog(dialog, IDOK);
}

BOOL onCommand(HWND dialog, WPARAM wParam) {
    if (HIWORD(wParam) != BN_CLICKED) return FALSE;
    switch (LOWORD(wParam)) {
        case IDC_TIP_NEXT:
            onNextTip(dialog);
            return TRUE;
        case IDOK:
            onClose(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK tipOfTheDayDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return onInitDialog(dialog);
        case WM_COMMAND:
            return onCommand(dialog, wParam);
        case WM_DRAWITEM:
            drawTipControl(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int nextTipId(int id) {
    return id >= IDS_FIRST_TIP && id < IDS_LAST_TIP ? id + 1 : IDS_FIRST_TIP;
}

void drawTipControl(const DRAWITEMSTRUCT& item) {
    switch (item.CtlID) {
        case IDC_TIP_BAND:
            drawBand(item);
            break;
        case IDC_TIP_HEADING:
            drawHeading(item);
            break;
        case IDC_TIP_TEXT:
            drawTip(item);
            break;
        default:
            break;
    }
}

void showTipOfTheDay(HWND owner) {
    const bool tipsWereOff = OptionSet::TipOfTheDay == 0;
    // Escape or the close box end the dialog without reading the box; tips that were off
    // stay off then, although the dialog needed a tip id to draw.
    if (runModalDialog(owner, IDD_TIP_OF_THE_DAY, tipOfTheDayDlgProc, 0) != IDOK && tipsWereOff)
        OptionSet::TipOfTheDay = 0;
}

void onTipOfTheDay(HWND window, int) {
    showTipOfTheDay(window);
}
