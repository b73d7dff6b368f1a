#include "ui/Toolbars.h"

#include <commctrl.h>

#include <algorithm>

#include "settings/OptionSet.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"
#include "ui/PathCombo.h"
#include "ui/XMLTreeView.h"

HWND rebar = nullptr;
HWND fileToolbar = nullptr;
HWND mainToolbar = nullptr;
HWND autoLoadBox = nullptr;
HWND autoCompareBox = nullptr;
HWND autoSelectBox = nullptr;

namespace {

constexpr COLORREF kToolbarMaskColour = RGB(192, 192, 192);
constexpr int kMainToolbarImages = 15;

// A toolbar does not free its image list, so the lists are kept here until the end.
HIMAGELIST toolbarImages[2] = {};

int clientWidth(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client.right;
}

TBBUTTON button(int image, int command, BYTE state) {
    TBBUTTON b{};
    b.iBitmap = image;
    b.idCommand = command;
    b.fsState = state;
    b.fsStyle = BTNS_BUTTON;
    return b;
}

TBBUTTON separator(int width) {
    TBBUTTON b{};
    b.iBitmap = width;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = BTNS_SEP;
    return b;
}

// A toolbar aligns itself with the top of its parent at every TB_AUTOSIZE, which each layout sends,
// unless it has CCS_NOPARENTALIGN. Inside the rebar that puts the main toolbar over the file
// toolbar and its path boxes, and the rebar places a band's child again only when the band's size
// changes: with the style each bar stays where its band put it.
HWND createToolbar(HWND mainWindow, DWORD style) {
    return CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | CCS_NOPARENTALIGN | style, 0, 0, 0, 0,
                           mainWindow, nullptr, moduleInstance, nullptr);
}

HWND createPathCombo(int x, int width) {
    HWND combo =
        CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, x, 2,
                        width, kPathComboDropHeight, fileToolbar, nullptr, moduleInstance, nullptr);
    if (combo != nullptr)
        SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return combo;
}

void attachPathCombo(XMLTreeView& panel, HWND combo, const wchar_t* subkey) {
    panel.pathCombo = combo;
    panel.pathEdit = nullptr;
    if (combo == nullptr) return;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(combo, &info)) panel.pathEdit = info.hwndItem;
    subclassPathEdit(panel.pathEdit);
    loadRecentList(combo, subkey, kRecentValueFormat, kRecentFileCount);
    addTooltip(panel.pathEdit, IDS_TIP_PATH_EDIT);
    addTooltip(combo, IDS_TIP_PATH_COMBO);
}

// Placed by placeCheckBoxes once its font is set.
HWND createCheckBox(const wchar_t* text, int32_t option, int tipId, DWORD helpId) {
    HWND box = CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 2, 0, 22, mainToolbar,
                               nullptr, moduleInstance, nullptr);
    if (box == nullptr) return nullptr;
    SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    SendMessageW(box, BM_SETCHECK, option != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    SetWindowContextHelpId(box, helpId);
    addTooltip(box, tipId);
    return box;
}

// A band of its own row holding the toolbar, as wide as the main window's client area.
REBARBANDINFOW bandFor(HWND toolbar, UINT id, int width) {
    RECT bounds{};
    GetWindowRect(toolbar, &bounds);
    const UINT height = static_cast<UINT>(bounds.bottom - bounds.top);
    REBARBANDINFOW band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_ID;
    band.fStyle = RBBS_BREAK | RBBS_FIXEDSIZE;
    band.hwndChild = toolbar;
    band.cxMinChild = static_cast<UINT>(width);
    band.cx = static_cast<UINT>(width);
    band.cyMinChild = height;
    band.cyChild = height;
    band.cyMaxChild = height;
    band.cyIntegral = 1;
    band.wID = id;
    return band;
}

bool insertBand(HWND toolbar, UINT id, int width) {
    REBARBANDINFOW band = bandFor(toolbar, id, width);
    return SendMessageW(rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band)) != 0;
}

void sizeBand(HWND toolbar, UINT id, int width) {
    const LRESULT index = SendMessageW(rebar, RB_IDTOINDEX, id, 0);
    if (toolbar == nullptr || index < 0) return;
    REBARBANDINFOW band = bandFor(toolbar, id, width);
    band.fMask = RBBIM_CHILDSIZE | RBBIM_SIZE;
    SendMessageW(rebar, RB_SETBANDINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&band));
}

}  // namespace

void setToolbarImages(HWND toolbar, int initialCount, int bitmapId) {
    SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, initialCount, 0);
    HBITMAP bitmap = LoadBitmapW(moduleInstance, MAKEINTRESOURCEW(bitmapId));
    if (images != nullptr && bitmap != nullptr) ImageList_AddMasked(images, bitmap, kToolbarMaskColour);
    if (bitmap != nullptr) DeleteObject(bitmap);
    for (HIMAGELIST& slot : toolbarImages) {
        if (slot != nullptr) continue;
        slot = images;
        break;
    }
    SendMessageW(toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
}

HWND createFileToolbar(HWND mainWindow) {
    fileToolbar = createToolbar(mainWindow, TBSTYLE_TOOLTIPS);
    if (fileToolbar == nullptr) return nullptr;
    setToolbarImages(fileToolbar, 1, IDB_FILE_TOOLBAR);
    const int w = clientWidth(mainWindow);
    const int separatorWidth = w / 2 - 24 > 0 ? w / 2 - 24 : 0;
    TBBUTTON buttons[] = {separator(separatorWidth), button(0, IDM_OPEN_FIRST, TBSTATE_ENABLED),
                          separator(separatorWidth), button(0, IDM_OPEN_SECOND, TBSTATE_ENABLED)};
    SendMessageW(fileToolbar, TB_ADDBUTTONSW, 4, reinterpret_cast<LPARAM>(buttons));
    const int comboWidth = w / 2 - 30 > 0 ? w / 2 - 30 : 0;
    attachPathCombo(leftTreeView, createPathCombo(2, comboWidth), kLeftRecentSubkey);
    attachPathCombo(rightTreeView, createPathCombo(w / 2 + 2, comboWidth), kRightRecentSubkey);
    subclassFileToolbar(fileToolbar);
    SendMessageW(fileToolbar, TB_AUTOSIZE, 0, 0);
    return fileToolbar;
}

HWND createMainToolbar(HWND mainWindow) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    mainToolbar = createToolbar(mainWindow, TBSTYLE_FLAT | TBSTYLE_TOOLTIPS);
    if (mainToolbar == nullptr) return nullptr;
    setToolbarImages(mainToolbar, kMainToolbarImages, IDB_MAIN_TOOLBAR);
    TBBUTTON buttons[kMainToolbarButtons] = {
        button(0, IDM_COMPARE_FILES, 0),
        button(1, IDM_COMPARE_ELEMENTS, 0),
        separator(0),
        button(2, IDM_NEXT_DIFFERENCE, 0),
        button(3, IDM_PREV_DIFFERENCE, 0),
        button(4, IDM_NEXT_DELETED_ADDED, 0),
        button(5, IDM_PREV_DELETED_ADDED, 0),
        separator(0),
        button(6, IDM_FIND, 0),
        button(7, IDM_SAVE_ELEMENT, 0),
        button(8, IDM_OPEN_EDITOR, 0),
        button(9, IDM_IGNORE_ELEMENTS, 0),
        button(10, IDM_IGNORE_PARTICULAR, 0),
    };
    SendMessageW(mainToolbar, TB_ADDBUTTONSW, kMainToolbarButtons, reinterpret_cast<LPARAM>(buttons));
    autoLoadBox = createCheckBox(L"AutoLoad", OptionSet::AutoLoad, IDS_TIP_AUTOLOAD, kAutoLoadHelpId);
    autoCompareBox = createCheckBox(L"AutoCompare", OptionSet::AutoCompare, IDS_TIP_AUTOCOMPARE, kAutoCompareHelpId);
    autoSelectBox = createCheckBox(L"AutoSelect", OptionSet::AutoSelect, IDS_TIP_AUTOSELECT, kAutoSelectHelpId);
    placeCheckBoxes(clientWidth(mainWindow));
    SendMessageW(mainToolbar, TB_AUTOSIZE, 0, 0);
    return mainToolbar;
}

HWND createRebar(HWND mainWindow) {
    if (rebar != nullptr) return rebar;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_COOL_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    rebar = CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, nullptr,
                            WS_CHILD | WS_VISIBLE | RBS_FIXEDORDER | CCS_NODIVIDER, 0, 0, 0, 0, mainWindow, nullptr,
                            moduleInstance, nullptr);
    if (rebar == nullptr) return nullptr;
    COLORSCHEME scheme{};
    scheme.dwSize = sizeof(scheme);
    scheme.clrBtnHighlight = CLR_DEFAULT;
    scheme.clrBtnShadow = CLR_DEFAULT;
    SendMessageW(rebar, RB_SETCOLORSCHEME, 0, reinterpret_cast<LPARAM>(&scheme));
    SendMessageW(rebar, RB_SETBKCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_BTNFACE)));
    REBARINFO info{};
    info.cbSize = sizeof(info);
    if (!SendMessageW(rebar, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info))) {
        DestroyWindow(rebar);
        rebar = nullptr;
        return nullptr;
    }
    if (fileToolbar == nullptr) createFileToolbar(mainWindow);
    if (mainToolbar == nullptr) createMainToolbar(mainWindow);
    const int w = clientWidth(mainWindow);
    if (fileToolbar != nullptr) insertBand(fileToolbar, kFileToolbarBand, w);
    if (mainToolbar != nullptr) insertBand(mainToolbar, kMainToolbarBand, w);
    return rebar;
}

void sizeRebarBands(int width) {
    if (rebar == nullptr) return;
    width = width > 0 ? width : 0;
    sizeBand(fileToolbar, kFileToolbarBand, width);
    sizeBand(mainToolbar, kMainToolbarBand, width);
}

void placeCheckBoxes(int width) {
    // At least the box and its label as the button control draws them: at the default GUI
    // font under Wine "AutoCompare" needs 85 pixels, and a narrower box cuts its end off.
    const auto boxWidth = [](HWND box, int least) {
        SIZE ideal{};
        if (box == nullptr || !SendMessageW(box, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) return least;
        return std::max(least, static_cast<int>(ideal.cx));
    };
    const int select = boxWidth(autoSelectBox, 80);
    const int compare = boxWidth(autoCompareBox, 80);
    const int load = boxWidth(autoLoadBox, 70);
    // From the right edge: AutoSelect, a gap of 10, AutoCompare, then AutoLoad beside it.
    const int selectX = width - select;
    const int compareX = selectX - 10 - compare;
    const int loadX = compareX - load;
    if (autoSelectBox != nullptr) MoveWindow(autoSelectBox, selectX, 2, select, 22, TRUE);
    if (autoCompareBox != nullptr) MoveWindow(autoCompareBox, compareX, 2, compare, 22, TRUE);
    if (autoLoadBox != nullptr) MoveWindow(autoLoadBox, loadX, 2, load, 22, TRUE);
}

void releaseToolbars() {
    for (HIMAGELIST& images : toolbarImages) {
        if (images != nullptr) ImageList_Destroy(images);
        images = nullptr;
    }
    rebar = fileToolbar = mainToolbar = nullptr;
    autoLoadBox = autoCompareBox = autoSelectBox = nullptr;
}

void addTooltip(HWND control, int stringId) {
    addTooltip(tooltipWindow, control, stringId);
}

void addTooltip(HWND tooltip, HWND control, int stringId) {
    if (control == nullptr || tooltip == nullptr) return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_CENTERTIP | TTF_SUBCLASS;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.hinst = moduleInstance;
    tool.lpszText = stringId == 0 ? LPSTR_TEXTCALLBACKW : MAKEINTRESOURCEW(stringId);
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void setButtonState(HWND toolbar, int index, BYTE state) {
    if (toolbar == nullptr) return;
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_BYINDEX | TBIF_STATE;
    info.fsState = state;
    SendMessageW(toolbar, TB_SETBUTTONINFOW, index, reinterpret_cast<LPARAM>(&info));
}

bool isChecked(HWND box) {
    return box != nullptr && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
