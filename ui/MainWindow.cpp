#include "ui/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/ParserSetup.h"
#include "model/TreeOperations.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/FileDialogs.h"
#include "ui/Help.h"
#include "ui/ItemPainter.h"
#include "ui/Layout.h"
#include "ui/Menus.h"
#include "ui/PathCombo.h"
#include "ui/Splitter.h"
#include "ui/StatusBar.h"
#include "ui/TempFiles.h"
#include "ui/Toolbars.h"
#include "ui/TreeFont.h"
#include "ui/TreeViews.h"
#include "ui/WebRequests.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorSync.h"
#include "ui/editor/UnsavedEdits.h"

HWND mainWindow = nullptr;
HINSTANCE moduleInstance = nullptr;
UINT findMessageId = 0;
const wchar_t* richEditClass = L"EDIT";
HWND tooltipWindow = nullptr;
HACCEL mainAccelerators = nullptr;
int32_t ctrlHeld = 0;
int32_t saveAtExit = 1;
void (*firstStartNotice)() = checkVersion;

namespace {

constexpr int32_t kUnsetPosition = -111;
constexpr int kSmallestWindow = 40;
// The View submenu's items are checked by position: Normal, Differences, Similarities.
constexpr int kViewItems = 3;

int windowHeight(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    return bounds.bottom - bounds.top + 1;
}

int checkBoxState(OptionSet::ExitCheckBox which) {
    switch (which) {
        case OptionSet::kAutoSelectBox:
            return isChecked(autoSelectBox);
        case OptionSet::kAutoCompareBox:
            return isChecked(autoCompareBox);
        case OptionSet::kAutoLoadBox:
            return isChecked(autoLoadBox);
    }
    return 0;
}

bool anyDocumentLoaded() {
    return leftTreeView.loaded != 0 || rightTreeView.loaded != 0;
}

// A record about to be freed with its subtree leaves no selection or target behind.
void forgetReleasedRecord(const XMLTreeItem* record) {
    if (currentElement == record) currentElement = nullptr;
    if (currentPartner == record) currentPartner = nullptr;
    leftTreeView.navigator.forget(record);
    rightTreeView.navigator.forget(record);
    if (XMLTreeView* panel = panelFromTree(record->treeView)) forgetEditorRecords(*panel);
}

void chooseRichEditClass() {
    if (querySystemInfo(false) > 5 && LoadLibraryW(L"Msftedit.dll") != nullptr)
        richEditClass = L"RICHEDIT50W";
    else if (LoadLibraryW(L"Riched20.dll") != nullptr || LoadLibraryW(L"Riched32.dll") != nullptr)
        richEditClass = L"RichEdit20W";
    else
        richEditClass = L"EDIT";
}

HWND createTooltipWindow(HWND owner) {
    return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, moduleInstance,
                           nullptr);
}

// The children that must all exist, in the order they are made.
bool createChildren(HWND window) {
    if (!setupParser()) return false;
    if (!createTreeImageList()) return false;
    if (!createTreeViews(window)) return false;
    if (createTreeSplitter(window) == nullptr) return false;
    if (!registerContentWindowClasses()) return false;
    return createTreePopupMenu(window);
}

void onMainWindowDestroy() {
    saveRecentList(leftTreeView.pathCombo, kLeftRecentSubkey, kRecentValueFormat);
    saveRecentList(rightTreeView.pathCombo, kRightRecentSubkey, kRecentValueFormat);
    deleteTempFiles(TempCleanup::kExit);
    closeHelpWindows();
    if (saveAtExit) saveOptionsToRegistry(1);
    if (treeFont != nullptr) saveFont();
    destroyItemPainter();
    // The records go while their trees still exist; after the loop nothing is left to free.
    clearPanel(leftTreeView.tree, true);
    clearPanel(rightTreeView.tree, true);
    releaseTreeViews();
    destroyTreePopupMenu();
    OptionSet::exitState = OptionSet::ExitState{};
    PostQuitMessage(0);
}

// The children are gone now: nothing may point at them any more.
void forgetMainWindow() {
    releaseTreeFont();
    destroyTreeImageList();
    releaseToolbars();
    statusBar = progressBar = nullptr;
    treeSplitter = nullptr;
    tooltipWindow = nullptr;
    forgetContentWindow();
    contentPane = ContentPane{};
    contentShare = 100;
    leftTreeView.pathCombo = leftTreeView.pathEdit = nullptr;
    rightTreeView.pathCombo = rightTreeView.pathEdit = nullptr;
    findDialog = nullptr;
    if (boxOwnerWindow == mainWindow) boxOwnerWindow = nullptr;
    mainWindow = nullptr;
}

void onTreeSelectionChanged(const NMTREEVIEWW* change) {
    auto* record = change->itemNew.hItem != nullptr ? reinterpret_cast<XMLTreeItem*>(change->itemNew.lParam) : nullptr;
    if (record != nullptr) {
        showPosition(record);
        if (!selectionSyncGuard) {
            onSelectionChanged(change->hdr.hwndFrom, record);
        } else if (contentPane.window != nullptr && syncEditorWithTree) {
            // The partner chosen by the program: its panel's editor follows, shown or not.
            if (XMLTreeView* panel = panelFromTree(change->hdr.hwndFrom)) scrollEditorToElement(*panel, record);
        }
    } else if (!selectionSyncGuard) {
        onSelectionChanged(nullptr, nullptr);
    }
}

void onTreeItemExpanding(const NMTREEVIEWW* change) {
    ElementStore::itemExpanding(change->hdr.hwndFrom, change->itemNew.hItem, change->action);
}

LRESULT onCustomDraw(NMTVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        case CDDS_ITEMPREPAINT:
            return onItemPrePaint(draw);
        case CDDS_ITEMPOSTPAINT:
            return onItemPostPaint(draw);
        default:
            return 0;
    }
}

LRESULT onNotify(NMHDR* header) {
    switch (header->code) {
        case TTN_GETDISPINFOW: {
            auto* tip = reinterpret_cast<NMTTDISPINFOW*>(header);
            if (!(tip->uFlags & TTF_IDISHWND)) {
                tip->hinst = moduleInstance;
                tip->lpszText = MAKEINTRESOURCEW(header->idFrom);
            }
            return 0;
        }
        case TVN_GETDISPINFOW:
            onGetDispInfo(reinterpret_cast<NMTVDISPINFOW*>(header));
            return 0;
        case TVN_SELCHANGEDW:
            onTreeSelectionChanged(reinterpret_cast<NMTREEVIEWW*>(header));
            return 0;
        case TVN_ITEMEXPANDINGW:
            onTreeItemExpanding(reinterpret_cast<NMTREEVIEWW*>(header));
            return FALSE;
        case NM_CUSTOMDRAW:
            return onCustomDraw(reinterpret_cast<NMTVCUSTOMDRAW*>(header));
        default:
            return 0;
    }
}

void onRelayoutTree(XMLTreeView* panel) {
    if (panel != &leftTreeView && panel != &rightTreeView) return;
    panel->relayoutPending = 0;
    panel->refreshTree(4);
}

}  // namespace

WindowPlacement mainWindowPlacement(int left, int top, int right, int bottom, int desktopRight, int desktopBottom) {
    WindowPlacement placement{true, false, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
    if (left == kUnsetPosition || top == kUnsetPosition || right == kUnsetPosition || bottom == kUnsetPosition)
        return placement;
    const int width = right - left;
    const int height = bottom - top;
    if (width >= desktopRight || height >= desktopBottom) {
        placement.maximised = true;
        return placement;
    }
    if (top < 0 || left < 0 || width < kSmallestWindow || height < kSmallestWindow) return placement;
    return WindowPlacement{false, false, left, top, width, height};
}

void prepareStart() {
    deleteTempFiles(TempCleanup::kStart);
    initHelpPath();
    loadOptionsFromRegistry();
    applyVersionRule();
}

void applyVersionRule() {
    if (OptionSet::ApplicationVersion == OptionSet::kApplicationVersion) return;
    if (OptionSet::TipOfTheDay != 0 && OptionSet::ApplicationVersion == 0 && firstStartNotice != nullptr)
        firstStartNotice();
    resetOptions(0);
}

ATOM registerMainClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN_LARGE));
    windowClass.hIconSm =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_MAIN_SMALL), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_MAIN);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&windowClass);
}

int createMainWindow(HINSTANCE instance, int show) {
    InitCommonControls();
    // The number edits of the Options dialog have up-down controls.
    INITCOMMONCONTROLSEX upDown{sizeof(upDown), ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&upDown);
    moduleInstance = instance;

    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    const WindowPlacement placement =
        mainWindowPlacement(OptionSet::LeftMainPos, OptionSet::TopMainPos, OptionSet::RightMainPos,
                            OptionSet::BottomMainPos, desktop.right, desktop.bottom);
    HWND window = CreateWindowExW(0, kMainWindowClass, L"Verdalt", WS_OVERLAPPEDWINDOW, placement.x, placement.y,
                                  placement.width, placement.height, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    mainWindow = window;
    boxOwnerWindow = window;
    OptionSet::exitState.mainWindow = window;
    OptionSet::exitState.checkBox = checkBoxState;
    OptionSet::documentsLoaded = anyDocumentLoaded;
    setRecordReleaseHook(forgetReleasedRecord);

    findMessageId = RegisterWindowMessageW(FINDMSGSTRINGW);
    chooseRichEditClass();
    tooltipWindow = createTooltipWindow(window);
    ShowWindow(window, placement.maximised ? SW_SHOWMAXIMIZED : show);

    if (createStatusBar(window) == nullptr) return 0;
    if (rebar == nullptr && createRebar(window) == nullptr) return 0;
    statusHeight = windowHeight(statusBar);
    toolbarHeight = windowHeight(rebar);

    if (!createChildren(window)) return 0;

    updateItemHeight();
    if (!createItemPainter(leftTreeView.tree)) return 0;
    layoutToolbars(window);
    UpdateWindow(window);
    DragAcceptFiles(leftTreeView.tree, TRUE);
    DragAcceptFiles(rightTreeView.tree, TRUE);
    return 1;
}

HWND startMainWindow(HINSTANCE instance, int show) {
    registerMainClass(instance);
    if (!createMainWindow(instance, show)) return nullptr;
    mainAccelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN));
    if (OptionSet::TipOfTheDay != 0) showTipOfTheDay(mainWindow);
    HMENU view = GetSubMenu(GetMenu(mainWindow), kViewMenu);
    for (int position = 0; position < kViewItems; ++position)
        CheckMenuItem(view, position, MF_BYPOSITION | MF_UNCHECKED);
    CheckMenuItem(view, OptionSet::ViewMode, MF_BYCOMMAND | MF_CHECKED);
    showViewMode(OptionSet::ViewMode);
    return mainWindow;
}

void preprocessMessage(const MSG& message) {
    switch (message.message) {
        case WM_KEYDOWN:
            if (message.wParam == VK_CONTROL) {
                const bool repeated = (message.lParam & (1 << 30)) != 0;
                if (!ctrlHeld && !repeated) {
                    ctrlHeld = 1;
                    updateNavigationButtons(true);
                }
            } else if (ctrlHeld) {
                ctrlHeld = 0;
                updateNavigationButtons(true);
            }
            break;
        case WM_KEYUP:
            if (ctrlHeld) {
                ctrlHeld = 0;
                updateNavigationButtons(true);
            }
            break;
        case WM_RBUTTONDOWN:
            if (currentElement != nullptr) trackTreePopupMenu(message);
            break;
        case WM_DROPFILES:
            dropFiles(message.hwnd, reinterpret_cast<HDROP>(message.wParam));
            break;
        default:
            break;
    }
}

int runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        preprocessMessage(message);
        if (mainWindow != nullptr && mainAccelerators != nullptr &&
            TranslateAcceleratorW(mainWindow, mainAccelerators, &message))
            continue;
        if (findDialog != nullptr && IsWindow(findDialog) && IsDialogMessageW(findDialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void finishProgram() {
    shutDownParser();
    clearPanel(leftTreeView.tree, false);
    clearPanel(rightTreeView.tree, false);
}

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (findMessageId != 0 && message == findMessageId) {
        onFindMessage(reinterpret_cast<const FINDREPLACEW*>(lParam));
        return 0;
    }
    switch (message) {
        case WM_CLOSE:
            // The close box, Alt+F4 and the system menu: an unsaved editor text may keep the window.
            if (!confirmDiscardEditors()) return 0;
            break;
        case WM_DESTROY:
            onMainWindowDestroy();
            return 0;
        case WM_NCDESTROY:
            forgetMainWindow();
            break;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) layoutToolbars(window);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DRAWITEM:
            if (wParam == kStatusBarId) drawStatusMessage(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return 0;
        case WM_NOTIFY:
            return onNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_HELP:
            onHelp(reinterpret_cast<const HELPINFO*>(lParam));
            return 0;
        case WM_COMMAND: {
            LRESULT result = 0;
            if (dispatchCommand(window, LOWORD(wParam), &result)) return result;
            break;
        }
        case WM_COPYDATA:
        case WM_USER + 2:
        case WM_HSCROLL:
            return 0;
        case kLoadPathComboMessage:
            loadFromPathCombo(reinterpret_cast<HWND>(lParam));
            return 0;
        case kRelayoutTreeMessage:
            onRelayoutTree(reinterpret_cast<XMLTreeView*>(lParam));
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
