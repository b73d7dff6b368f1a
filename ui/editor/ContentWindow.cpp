#include "ui/editor/ContentWindow.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cwchar>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandDispatch.h"
#include "ui/Commands.h"
#include "ui/FileDialogs.h"
#include "ui/Help.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/Splitter.h"
#include "ui/Toolbars.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/Contrast.h"
#include "ui/editor/EditorFile.h"
#include "ui/editor/EditorSync.h"
#include "ui/editor/XMLHighlighter.h"

XMLTreeView* currentEditorPanel = nullptr;
int32_t syncEditorWithTree = 1;
int32_t syncTreeWithEditor = 1;

namespace {

constexpr wchar_t kContentClass[] = L"XMLContent";
constexpr wchar_t kContentSplitterClass[] = L"ContentSplitter";
// The caption buttons stand above the editors.
constexpr int kCaptionHeight = 18;
// The editors take any length: rich edit's default limit refuses every key in a larger text.
constexpr LPARAM kLargestText = 0x7FFFFFFE;
constexpr LPARAM kEditorEvents =
    ENM_CHANGE | ENM_SCROLL | ENM_SCROLLEVENTS | ENM_KEYEVENTS | ENM_MOUSEEVENTS | ENM_SELCHANGE;

HFONT pathCaptionFont = nullptr;  // owned
HBITMAP closeBitmap = nullptr;    // owned

HWND createChild(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style) {
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent, nullptr,
                                 moduleInstance, nullptr);
    if (child != nullptr)
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

XMLTreeView* otherPanel(const XMLTreeView* panel) {
    return panel == &leftTreeView ? &rightTreeView : &leftTreeView;
}

HWND createEditor(XMLTreeView& panel) {
    RECT client{};
    GetClientRect(contentPane.window, &client);
    HWND editor = CreateWindowExW(
        WS_EX_CLIENTEDGE, richEditClass, L"",
        WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 0,
        kCaptionHeight, client.right, std::max<int>(client.bottom - kCaptionHeight, 0), contentPane.window, nullptr,
        moduleInstance, nullptr);
    if (editor == nullptr) return nullptr;
    SendMessageW(editor, EM_SETTEXTMODE, TM_RICHTEXT | TM_MULTICODEPAGE, 0);
    SendMessageW(editor, EM_EXLIMITTEXT, 0, kLargestText);
    SendMessageW(editor, EM_SETEVENTMASK, 0, kEditorEvents);
    SendMessageW(editor, EM_SETUNDOLIMIT, 0, 0);
    if (panel.pathButton != nullptr) return editor;
    panel.pathButton = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0,
                                       contentPane.window, nullptr, moduleInstance, nullptr);
    if (panel.pathButton != nullptr) {
        SendMessageW(panel.pathButton, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        addTooltip(contentPane.tooltip, panel.pathButton, 0);
    }
    return editor;
}

// A modified caption is in the hot-light colour, but themes (Wine's default among them)
// make that a light grey, unreadable on the caption's fill: then the usual hot-tracking
// blue, and failing that the button text, which every theme makes readable on its faces.
COLORREF modifiedCaptionColour(COLORREF fill) {
    constexpr double kReadable = 4.5;
    constexpr COLORREF kHotTrackingBlue = RGB(0, 102, 204);
    const COLORREF hot = GetSysColor(COLOR_HOTLIGHT);
    if (contrast(hot, fill) >= kReadable) return hot;
    if (contrast(kHotTrackingBlue, fill) >= kReadable) return kHotTrackingBlue;
    return GetSysColor(COLOR_BTNTEXT);
}

void drawPathButton(const DRAWITEMSTRUCT* draw) {
    if (draw->CtlType != ODT_BUTTON || !(draw->itemAction & ODA_DRAWENTIRE)) return;
    // Room for the name and the "*" of a modified text.
    wchar_t text[kPathUnits + 2] = {};
    GetWindowTextW(draw->hwndItem, text, kPathUnits);
    if (text[0] == 0) return;
    XMLTreeView* panel = panelFromPathButton(draw->hwndItem);
    if (panel == nullptr) return;
    const bool current = panel == currentEditorPanel;
    HDC dc = draw->hDC;
    HGDIOBJ oldFont = current && pathCaptionFont != nullptr ? SelectObject(dc, pathCaptionFont) : nullptr;
    const COLORREF fill = GetSysColor(current ? COLOR_WINDOW : COLOR_BTNFACE);
    const COLORREF frame = GetSysColor(current ? COLOR_GRADIENTACTIVECAPTION : COLOR_BTNSHADOW);
    if (panel->editorModified) std::wcscat(text, L"*");
    const COLORREF oldText =
        SetTextColor(dc, panel->editorModified ? modifiedCaptionColour(fill) : GetSysColor(COLOR_BTNTEXT));
    const COLORREF oldBack = SetBkColor(dc, fill);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCPenColor(dc, frame);
    SetDCBrushColor(dc, fill);
    // The bottom goes below the button, so that only the top corners show rounded.
    const RECT& r = draw->rcItem;
    RoundRect(dc, r.left, r.top, r.right, r.bottom + 5, 5, 5);
    TextOutW(dc, current ? 5 : 8, 2, text, static_cast<int>(std::wcslen(text)));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    SetBkColor(dc, oldBack);
    SetTextColor(dc, oldText);
    if (oldFont != nullptr) SelectObject(dc, oldFont);
}

void onEditorMessageFilter(const MSGFILTER* filter) {
    XMLTreeView* panel = panelFromEditor(filter->nmhdr.hwndFrom);
    if (panel == nullptr) return;
    if (filter->msg == WM_MOUSEACTIVATE || (filter->msg >= WM_MOUSEMOVE && filter->msg <= WM_MBUTTONDBLCLK)) return;
    uint8_t& state = panel->highlighter.colouringState;
    if (state == kColoured) state = kInputSeen;
    if (filter->msg == WM_VSCROLL && state == kInputSeen) state = kColouringWanted;
    if (filter->msg == WM_KEYUP) markEditorModified(*panel);
}

void onEditorSelectionChange(const SELCHANGE* change) {
    XMLTreeView* panel = panelFromEditor(change->nmhdr.hwndFrom);
    // Wine's rich edit never reports SEL_EMPTY: a caret is a selection whose ends meet.
    if (panel == nullptr || !syncTreeWithEditor || panel->selectingInEditor || change->chrg.cpMin == change->chrg.cpMax)
        return;
    selectTreeFromCaret(*panel, change->chrg.cpMin);
}

LRESULT onContentNotify(NMHDR* header) {
    switch (header->code) {
        case EN_MSGFILTER:
            onEditorMessageFilter(reinterpret_cast<MSGFILTER*>(header));
            return 0;  // anything else swallows the message
        case EN_SELCHANGE:
            onEditorSelectionChange(reinterpret_cast<SELCHANGE*>(header));
            return 0;
        case TTN_GETDISPINFOW: {
            auto* tip = reinterpret_cast<NMTTDISPINFOW*>(header);
            XMLTreeView* panel = panelFromPathButton(reinterpret_cast<HWND>(header->idFrom));
            if (panel != nullptr) tip->lpszText = panel->fileName;
            return 0;
        }
        default:
            return 0;
    }
}

void onSave(HWND) {
    LoadResult reloaded = kLoadCancelled;
    if (saveEditorText(mainWindow, nullptr, &reloaded)) autoCompare(reloaded);
}

void onSaveAs(HWND) {
    const wchar_t* chosen = showSaveDialog(mainWindow, L"Save XML file", OptionSet::SaveDir, kXmlFilter);
    if (chosen == nullptr) return;  // cancelled: nothing is written
    wchar_t path[kPathUnits];
    std::wcsncpy(path, chosen, kPathUnits - 1);
    path[kPathUnits - 1] = 0;
    LoadResult reloaded = kLoadCancelled;
    if (saveEditorText(mainWindow, path, &reloaded)) autoCompare(reloaded);
}

void onContentCommand(WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    const int code = HIWORD(wParam);
    if (XMLTreeView* panel = panelFromEditor(control)) {
        if (code == EN_UPDATE && panel->highlighter.colouringState == kColouringWanted)
            PostMessageW(contentPane.window, kColourLinesMessage, wParam, lParam);
        else if (code == EN_VSCROLL && panel->highlighter.colouringState == kInputSeen)
            panel->highlighter.colouringState = kColouringWanted;
        else if (code == EN_CHANGE)
            markEditorModified(*panel);  // also edits without a key release (a middle-click paste)
        return;
    }
    if (code != BN_CLICKED || control == nullptr) return;
    if (control == contentPane.closeButton) {
        closeContentPane();
    } else if (XMLTreeView* panel = panelFromPathButton(control)) {
        showElementInEditor(nullptr, panel);
    } else if (control == contentPane.saveButton) {
        onSave(control);
    } else if (control == contentPane.saveAsButton) {
        onSaveAs(control);
    } else {
        syncEditorWithTree = SendMessageW(contentPane.editorBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
        syncTreeWithEditor = SendMessageW(contentPane.treeViewBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
}

// What was made of a window that could not be made whole goes again: a pane is laid
// out as open only when all of it exists.
bool abandonContentWindow() {
    for (HWND window : {contentPane.tooltip, contentPane.splitter, contentPane.window})
        if (window != nullptr) DestroyWindow(window);
    contentPane = ContentPane{};
    return false;
}

void onColourLines(HWND editor) {
    // The editor may have gone (the window closed) since the message was posted.
    if (XMLTreeView* panel = panelFromEditor(editor)) colourVisibleLines(*panel, nullptr);
}

}  // namespace

bool registerContentWindowClasses() {
    return registerChildClass(xmlContentWndProc, kContentClass) != 0 &&
           registerChildClass(splitterWndProc, kContentSplitterClass) != 0;
}

bool createXMLContentWindow(HWND main) {
    contentPane.window = CreateWindowExW(0, kContentClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, main, nullptr,
                                         moduleInstance, nullptr);
    contentPane.splitter = CreateWindowExW(0, kContentSplitterClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, main,
                                           nullptr, moduleInstance, nullptr);
    if (contentPane.window == nullptr || contentPane.splitter == nullptr) return abandonContentWindow();
    HWND window = contentPane.window;
    contentPane.saveButton = createChild(window, L"BUTTON", L"Save", 0);
    contentPane.saveAsButton = createChild(window, L"BUTTON", L"Save As", 0);
    contentPane.synchronizeLabel = createChild(window, L"STATIC", L"Synchronize:", 0);
    contentPane.editorBox = createChild(window, L"BUTTON", L"Editor", BS_AUTOCHECKBOX);
    contentPane.treeViewBox = createChild(window, L"BUTTON", L"TreeView", BS_AUTOCHECKBOX);
    contentPane.closeButton = createChild(window, L"BUTTON", L"", BS_BITMAP);

    contentPane.tooltip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, moduleInstance, nullptr);
    for (HWND part : {contentPane.saveButton, contentPane.saveAsButton, contentPane.synchronizeLabel,
                      contentPane.editorBox, contentPane.treeViewBox, contentPane.closeButton, contentPane.tooltip})
        if (part == nullptr) return abandonContentWindow();
    addTooltip(contentPane.tooltip, contentPane.editorBox, IDS_TIP_SYNC_EDITOR);
    addTooltip(contentPane.tooltip, contentPane.treeViewBox, IDS_TIP_SYNC_TREEVIEW);
    addTooltip(contentPane.tooltip, contentPane.closeButton, IDS_TIP_CLOSE_EDITOR);

    if (closeBitmap == nullptr) closeBitmap = LoadBitmapW(moduleInstance, MAKEINTRESOURCEW(IDB_CLOSE_EDITOR));
    SendMessageW(contentPane.closeButton, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(closeBitmap));

    if (pathCaptionFont == nullptr) {
        LOGFONTW font{};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
        font.lfWeight |= FW_BOLD;
        pathCaptionFont = CreateFontIndirectW(&font);
    }
    SendMessageW(contentPane.editorBox, BM_SETCHECK, syncEditorWithTree ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(contentPane.treeViewBox, BM_SETCHECK, syncTreeWithEditor ? BST_CHECKED : BST_UNCHECKED, 0);
    contentShare = 50;
    SetClassLongPtrW(contentPane.splitter, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(horizontalSplitCursor));
    return true;
}

void loadEditors(XMLTreeItem* element) {
    if (element == nullptr || contentPane.window == nullptr) return;
    XMLTreeView* own = panelFromTree(element->treeView);
    if (own == nullptr) return;
    // A new window has no size until it is laid out. Wine's rich edit lays its whole
    // text out again on every resize: the editors take in their text at their size.
    RECT client{};
    GetClientRect(contentPane.window, &client);
    if (IsRectEmpty(&client)) layoutMainWindow(nullptr);
    // The trees and the window stand where the layout put them before the text's long
    // wait, in which only the status bar's progress is drawn.
    if (mainWindow != nullptr) RedrawWindow(mainWindow, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    prepareEditor(*otherPanel(own), nullptr);
    prepareEditor(*own, element);
}

void prepareEditor(XMLTreeView& panel, XMLTreeItem* element) {
    if (contentPane.window == nullptr) return;
    // Every load gets a new editor: Wine's rich edit takes minutes to empty a large
    // text (the time grows faster than the text) and milliseconds to destroy it.
    if (panel.editor != nullptr) {
        HWND old = panel.editor;
        panel.editor = nullptr;
        DestroyWindow(old);
    }
    panel.editor = createEditor(panel);
    if (panel.editor == nullptr) return;
    // A new document may put its records where the old ones were: nothing of the old stays.
    forgetEditorRecords(panel);
    panel.highlighter.reset();
    panel.highlighter.differencesShown = false;
    panel.colourCache.resize(0);
    panel.editorLoadFailed = 0;
    panel.editorTextLetGo = 0;
    panel.rootLine = -1;
    if (!panel.loaded) {
        updatePathCaption(panel);
        return;
    }
    // The status bar's progress follows the text into the editor; the rest takes a wait cursor.
    HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const LPARAM mask = SendMessageW(panel.editor, EM_SETEVENTMASK, 0, 0);
    // Formatted while empty, the editor gives the text the base format as it streams in:
    // formatting it afterwards would lay out the whole text once more.
    panel.highlighter.applyBaseFormat();
    panel.loadFile();
    locateRoot(panel);
    ensureLineIndex(panel);
    panel.colourCache.resize(static_cast<int>(SendMessageW(panel.editor, EM_GETLINECOUNT, 0, 0)));
    SendMessageW(panel.editor, EM_SETEVENTMASK, 0, mask);
    updatePathCaption(panel);
    SendMessageW(panel.editor, EM_SETMODIFY, FALSE, 0);
    panel.editorModified = 0;
    if (element != nullptr) showElementInEditor(element, &panel);
    SetCursor(cursor);
}

void showElementInEditor(XMLTreeItem* element, XMLTreeView* given) {
    XMLTreeView* panel = given;
    if (panel == nullptr && element != nullptr) panel = panelFromTree(element->treeView);
    if (panel == nullptr || panel->editor == nullptr) return;
    // A panel that failed to load its file again may still show the text it kept.
    if ((!panel->loaded && panel->fileName[0] == 0) || panel->syncingFromEditor) return;
    currentEditorPanel = panel;
    XMLTreeView* other = otherPanel(panel);
    if (other->editor != nullptr) ShowWindow(other->editor, SW_HIDE);
    ShowWindow(panel->editor, SW_SHOWNA);
    panel->highlighter.colouringState = kColouringWanted;
    colourVisibleLines(*panel, element);
    layoutPathButtons(true);
    enableSaveButton();
    if (std::wcscmp(richEditClass, L"RICHEDIT50W") == 0) {
        RedrawWindow(panel->editor, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
        UpdateWindow(panel->editor);
    }
    if (given != nullptr) SetFocus(panel->editor);
}

void layoutEditors(int width, int height) {
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView})
        if (panel->editor != nullptr)
            MoveWindow(panel->editor, 0, kCaptionHeight, width, std::max(height - kCaptionHeight, 0), TRUE);
}

void layoutPathButtons(bool repaint) {
    if (leftTreeView.pathButton != nullptr)
        MoveWindow(leftTreeView.pathButton, 1, 0, leftTreeView.pathButtonWidth + 10, kCaptionHeight, TRUE);
    if (rightTreeView.pathButton != nullptr)
        MoveWindow(rightTreeView.pathButton, leftTreeView.pathButtonWidth + 11, 0, rightTreeView.pathButtonWidth + 10,
                   kCaptionHeight, TRUE);
    if (!repaint) return;
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView})
        if (panel->pathButton != nullptr) InvalidateRect(panel->pathButton, nullptr, FALSE);
}

void destroyEditors() {
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        if (panel->editor != nullptr) DestroyWindow(panel->editor);
        if (panel->pathButton != nullptr) DestroyWindow(panel->pathButton);
    }
    forgetContentWindow();
}

void forgetContentWindow() {
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        // The name kept for an editor's text after a failed load goes with that text.
        if (!panel->loaded) panel->fileName[0] = 0;
        panel->editor = nullptr;
        panel->pathButton = nullptr;
        panel->pathButtonWidth = 0;
        panel->editorModified = 0;
        panel->editorTextLetGo = 0;
        forgetEditorRecords(*panel);
    }
    currentEditorPanel = nullptr;
    if (pathCaptionFont != nullptr) DeleteObject(pathCaptionFont);
    pathCaptionFont = nullptr;
}

void markEditorModified(XMLTreeView& panel) {
    if (panel.editorModified || panel.editor == nullptr) return;
    if (SendMessageW(panel.editor, EM_GETMODIFY, 0, 0) == 0) return;
    panel.editorModified = 1;
    if (panel.pathButton != nullptr) InvalidateRect(panel.pathButton, nullptr, FALSE);
    enableSaveButton();
}

void enableSaveButton() {
    if (contentPane.saveButton == nullptr) return;
    EnableWindow(contentPane.saveButton, currentEditorPanel != nullptr && currentEditorPanel->editorModified);
}

bool saveEditorText(HWND owner, const wchar_t* path, LoadResult* reloaded) {
    XMLTreeView* panel = currentEditorPanel;
    if (panel == nullptr) return false;
    // A panel whose document could not be loaded again still has its file's text in the editor.
    if (!panel->loaded && panel->fileName[0] == 0) return false;
    if (path == nullptr && !panel->editorModified) return false;
    wchar_t written[kPathUnits];
    if (!writeEditorText(*panel, path, written)) return false;
    const LoadResult result = reloadWrittenFile(*panel, owner, written);
    if (reloaded != nullptr) *reloaded = result;
    return true;
}

void updatePathCaption(XMLTreeView& panel) {
    if (panel.pathButton == nullptr) return;
    const wchar_t* caption = L"";
    wchar_t full[kPathUnits];
    wchar_t* filePart = nullptr;
    // Also the name of a file whose text the editor kept after its load failed.
    if (panel.fileName[0] != 0) {
        const DWORD length = GetFullPathNameW(panel.fileName, kPathUnits, full, &filePart);
        if (length != 0 && length < kPathUnits && filePart != nullptr) caption = filePart;
    }
    SetWindowTextW(panel.pathButton, caption);
    SIZE extent{};
    HDC dc = GetDC(panel.pathButton);
    HGDIOBJ old = pathCaptionFont != nullptr ? SelectObject(dc, pathCaptionFont) : nullptr;
    GetTextExtentPoint32W(dc, caption, static_cast<int>(std::wcslen(caption)), &extent);
    if (old != nullptr) SelectObject(dc, old);
    ReleaseDC(panel.pathButton, dc);
    panel.pathButtonWidth = extent.cx + 2;
}

LRESULT CALLBACK xmlContentWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            layoutEditors(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_DRAWITEM:
            drawPathButton(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_NOTIFY:
            return onContentNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_HELP:
            showHelpTopic(mainWindow, L"htm/xmleditor.htm");
            return 0;
        case WM_COMMAND:
            onContentCommand(wParam, lParam);
            return 0;
        case kColourLinesMessage:
            onColourLines(reinterpret_cast<HWND>(lParam));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}
