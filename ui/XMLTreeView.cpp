#include "ui/XMLTreeView.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>

#include "model/DocumentHandlers.h"
#include "model/ElementStore.h"
#include "model/FilePath.h"
#include "model/MessageBox.h"
#include "model/ParseMessages.h"
#include "model/ParserSetup.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/CommandHandlers.h"
#include "ui/CompareCommand.h"
#include "ui/FileDialogs.h"
#include "ui/Layout.h"
#include "ui/LoadWait.h"
#include "ui/MainWindow.h"
#include "ui/Menus.h"
#include "ui/PathCombo.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorSync.h"
#include "ui/editor/UnsavedEdits.h"
#include "ui/editor/XMLHighlighter.h"

XMLTreeView leftTreeView(OptionSet::LeftDir);
XMLTreeView rightTreeView(OptionSet::RightDir);

XMLTreeView* panelOwning(HWND window, HWND XMLTreeView::*kind) {
    if (window == nullptr) return nullptr;
    if (window == leftTreeView.*kind) return &leftTreeView;
    if (window == rightTreeView.*kind) return &rightTreeView;
    return nullptr;
}

XMLTreeView* panelFromTree(HWND tree) {
    return panelOwning(tree, &XMLTreeView::tree);
}

XMLTreeView* otherPanelFromTree(HWND tree) {
    XMLTreeView* panel = panelFromTree(tree);
    if (panel == nullptr) return nullptr;
    return panel == &leftTreeView ? &rightTreeView : &leftTreeView;
}

XMLTreeView* panelFromPathCombo(HWND combo) {
    return panelOwning(combo, &XMLTreeView::pathCombo);
}

XMLTreeView* panelFromPathEdit(HWND edit) {
    return panelOwning(edit, &XMLTreeView::pathEdit);
}

namespace {

// A parse is running: its message boxes pump messages, and a load asked for meanwhile
// (a posted path-box load, say) must not start a second parse into the same handlers.
bool parseRunning = false;

void showParserException(const wchar_t* text) {
    showMessage(L"Exception message is:\n%s", text, L"Exception", MB_OK | MB_ICONWARNING, boxOwnerWindow);
}

// Items get their placeholder text when they are made, never by callback: Wine asks
// for a callback text on every layout pass, copies it into a buffer it reallocates and
// measures it again, which made expanding an element of 100,000 children take minutes.
// A panel without its document yet lays its items out as if they had no text, as the
// callback answered then (nothing while not loaded): no horizontal scroll bar, whose
// height would move what the end of a load scrolls into view. It comes with the document.
void showDocumentWidth(HWND tree, bool shown) {
    if (tree == nullptr) return;
    ElementStore::setPlaceholderText(tree, XMLTreeItem::displayText(0));
    const LONG_PTR style = GetWindowLongPtrW(tree, GWL_STYLE);
    const LONG_PTR wanted = shown ? style & ~static_cast<LONG_PTR>(TVS_NOHSCROLL) : style | TVS_NOHSCROLL;
    if (wanted != style) SetWindowLongPtrW(tree, GWL_STYLE, wanted);
}

void copyField(wchar_t* field, const wchar_t* value) {
    std::wcsncpy(field, value, kPathUnits - 1);
    field[kPathUnits - 1] = 0;
}
}  // namespace

void XMLTreeView::setDoctype(const wchar_t* name, const wchar_t* publicId, const wchar_t* systemId) {
    copyField(doctypeName, name == nullptr ? L"" : name);
    if (publicId != nullptr && publicId[0] != 0) copyField(doctypePublicId, publicId);
    if (systemId != nullptr && systemId[0] != 0) copyField(doctypeSystemId, systemId);
}

void XMLTreeView::refreshTree(int flags) {
    if (tree == nullptr) return;
    if (flags & 2) SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
    HTREEITEM remembered = ElementStore::selected(tree);
    if ((flags & 1) && remembered != nullptr) ElementStore::select(tree, nullptr);
    HTREEITEM root = ElementStore::root(tree);
    if (root != nullptr) {
        ElementStore::expand(tree, root, TVE_COLLAPSE);
        ElementStore::expand(tree, root, TVE_EXPAND);
    }
    XMLTreeItem* record = XMLTreeItem::fromHandle(tree, remembered);
    if (record != nullptr && !record->isSummary())
        ElementStore::select(tree, remembered);
    else if (root != nullptr)
        ElementStore::select(tree, root);
    if (flags & 2) SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
    if (flags & 4) InvalidateRect(tree, nullptr, TRUE);
}

void XMLTreeView::resetEntityTable() {
    entityTable = std::make_unique<EntityTable>();
    entityTable->seedPredefined();
}

void XMLTreeView::detectEncoding(const wchar_t* path) {
    std::wcscpy(detectedEncoding, L"UTF-8");
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    unsigned char b[4] = {};
    DWORD got = 0;
    if (ReadFile(file, b, sizeof(b), &got, nullptr) && got >= 2) {
        if ((b[0] == 0xFF && b[1] == 0xFE) || (got >= 4 && b[0] == '<' && b[1] == 0 && b[2] == '?' && b[3] == 0))
            std::wcscpy(detectedEncoding, L"UTF-16LE");
        else if ((b[0] == 0xFE && b[1] == 0xFF) || (got >= 4 && b[0] == 0 && b[1] == '<' && b[2] == 0 && b[3] == '?'))
            std::wcscpy(detectedEncoding, L"UTF-16BE");
    }
    CloseHandle(file);
}

void clearPanel(HWND tree, bool force) {
    XMLTreeView* panel = panelFromTree(tree);
    if (panel == nullptr) return;
    if (!force && !panel->loaded) return;
    panel->loaded = 0;

    // Nothing may point at the records once they are freed: the selection, the partner
    // chosen for it and the panel's navigation targets let go of this tree first.
    forgetTree(tree);

    std::vector<XMLTreeItem*> records;
    records.reserve(ElementStore::itemCount(tree));
    std::vector<HTREEITEM> stack;
    for (HTREEITEM i = ElementStore::root(tree); i != nullptr; i = ElementStore::next(tree, i))
        stack.push_back(i);
    while (!stack.empty()) {
        HTREEITEM item = stack.back();
        stack.pop_back();
        XMLTreeItem* record = ElementStore::record(tree, item);
        if (record != nullptr && record != panel->summaryItem) records.push_back(record);
        for (HTREEITEM c = ElementStore::child(tree, item); c != nullptr; c = ElementStore::next(tree, c))
            stack.push_back(c);
    }
    if (!records.empty()) showStatusMessage(L"O#Deleting...");
    // Every item goes before any record is freed: deleting items moves the selection
    // and sends notifications that read the records.
    ElementStore::removeAll(tree);
    showDocumentWidth(tree, false);
    for (XMLTreeItem* record : records)
        delete record;  // each clears its partner's back link
    panel->stringPool.reset();
    if (panel->summaryItem != nullptr) {
        delete panel->summaryItem;
        panel->summaryItem = nullptr;
    }
}

bool isURLPath(const wchar_t* path) {
    if (path == nullptr) return false;
    for (int i = 0; i < 7 && path[i] != 0; ++i)
        if (path[i] == L':') return isURLScheme(path + i + 1, i + 1, path);
    return false;
}

bool isParseRunning() {
    return parseRunning;
}

namespace {

// The panel's state of the document before a new one is read into it.
void resetDocumentState(XMLTreeView& panel, const wchar_t* path, bool url) {
    panel.outputEncoding.reset();
    panel.declaredEncoding[0] = 0;
    panel.loadNote[0] = 0;
    panel.resetEntityTable();
    panel.hasTallItems = 0;
    panel.relayoutPending = 0;
    // A loaded panel is cleared next, and loses its bar once its items are gone.
    if (!panel.loaded) showDocumentWidth(panel.tree, false);
    if (url)
        std::wcscpy(panel.detectedEncoding, L"UTF-8");
    else
        panel.detectEncoding(path);
}

// Runs the one parse into the panel; false when an exception ended it (after its box).
// The log is closed and the progress bar ended on every path.
bool runParser(XMLTreeView& panel, const wchar_t* path, bool url) {
    applyParserOptions();
    countHandlers.panel = &panel;
    advancedHandler.panel = &panel;
    countHandlers.setLogPath(url ? L"www" : path);

    // The exception's text is copied: the box comes after the exception is gone.
    static wchar_t message[1024];
    auto keep = [](const XMLCh* text) {
        std::wcsncpy(message, text != nullptr ? text : L"", std::size(message) - 1);
        return message;
    };
    const wchar_t* failure = nullptr;
    parseRunning = true;
    // A read from the network keeps the windows painted and takes Esc while it waits.
    LoadWait wait;
    NetworkWaitScope waiting(wait);
    try {
        parseDocument(path);
    } catch (const xercesc::OutOfMemoryException&) {
        failure = L"Out of memory";
    } catch (const xercesc::XMLException& e) {
        failure = keep(e.getMessage());
    } catch (const xercesc::SAXException& e) {
        failure = keep(e.getMessage());
    } catch (...) {
        failure = L"Unknown exception";
    }
    parseRunning = false;
    countHandlers.closeLog();
    if (failure != nullptr) showParserException(failure);
    updateProgress(-1);
    return failure == nullptr;
}

void setLoadedFile(XMLTreeView& panel, const wchar_t* path) {
    panel.loaded = 1;
    showDocumentWidth(panel.tree, true);
    std::wcsncpy(panel.fileName, path, kPathUnits - 1);
    panel.fileName[kPathUnits - 1] = 0;
    // The notes of the load, the left-out DTD's first, stay with the panel until its next load.
    std::wstring note = countHandlers.dtdNote.text();
    for (const std::wstring* more : {&countHandlers.lostAttributesNote, &countHandlers.cutTextsNote}) {
        if (more->empty()) continue;
        if (!note.empty()) note += L"; ";
        note += *more;
    }
    const size_t units = std::min(note.size(), std::size(panel.loadNote) - 1);
    note.copy(panel.loadNote, units);
    panel.loadNote[units] = 0;
}

// Whether the local file can be opened; its size becomes the progress bar's total.
bool takeProgressTotal(const wchar_t* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    progressFileSize = size.QuadPart > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(size.QuadPart);
    CloseHandle(file);
    return true;
}

// A parse that read on past a fatal error ("ContinueAfterFatalError") and made no element
// has loaded nothing: it fails as a stopped one does.
bool nothingLoadedAfterFatalError(HWND tree) {
    return countHandlers.fatalSeen && ElementStore::itemCount(tree) == 0;
}

// The help topic of the load's own boxes while they are up.
int showLoadBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    messageHelpTopic = L"htm/validat.htm";
    const int answer = showBox(owner, text, caption, type);
    messageHelpTopic = nullptr;
    return answer;
}

}  // namespace

LoadResult parseIntoPanel(XMLTreeView& panel, const wchar_t* path) {
    if (path == nullptr || path[0] == 0 || panel.tree == nullptr || parseRunning) return kLoadCancelled;
    const bool url = isURLPath(path);
    wchar_t full[kPathUnits];
    if (!url) {
        if (fullLocalPath(path, full, kPathUnits) != 0) return kLoadCancelled;
        path = full;
        if (!takeProgressTotal(path)) return kLoadCancelled;
    }
    resetDocumentState(panel, path, url);
    clearPanel(panel.tree, false);
    updateProgress(0);
    if (!runParser(panel, path, url) || countHandlers.stopRequested() || nothingLoadedAfterFatalError(panel.tree)) {
        clearPanel(panel.tree, true);
        panel.fileName[0] = 0;
        return kLoadFailed;
    }
    setLoadedFile(panel, path);
    return kLoaded;
}

int XMLFileExists(HWND, const wchar_t* path) {
    if (takeProgressTotal(path)) return 1;
    showSystemError(L"XMLFileExists", path);
    return 0;
}

LoadResult reportLoadResult(HWND tree, HWND owner, const wchar_t* path, bool isLocal, int autoLoad) {
    XMLTreeView* panel = panelFromTree(tree);
    if (countHandlers.stopRequested() || nothingLoadedAfterFatalError(tree)) {
        clearPanel(tree, true);
        if (countHandlers.fatalSeen) {
            showStatusMessage(L"E#Fatal error(s)");
            showLoadBox(owner,
                        L"There were some fatal error(s) during loading!\n\nFile is not loaded\n\n"
                        L"Please correct the error(s) and then try again",
                        L"XML Parser Fatal Error", MB_ICONERROR | MB_HELP);
        } else {
            showStatusMessage(L"W#Canceled");
        }
        return kLoadFailed;
    }
    if (panel != nullptr) addRecentFile(panel->pathCombo, path, isLocal);
    if (countHandlers.errorSeen) {
        showLoadBox(owner, L"There were some error(s) during loading!\n\nFile is loaded", L"XML Parser Error",
                    MB_ICONWARNING | MB_HELP);
    }
    // A fatal error that the parse read on past still leaves a document that is not whole.
    if (countHandlers.fatalSeen) {
        showStatusMessage(L"E#Fatal error(s)");
    } else if (countHandlers.errorSeen) {
        showStatusMessage(L"E#Loaded with error(s)");
    } else if (panel != nullptr && panel->loadNote[0] != 0) {
        wchar_t note[std::size(panel->loadNote) + 2] = L"W#";
        std::wcscat(note, panel->loadNote);
        showStatusMessage(note);
    } else {
        showStatusMessage(L"O#Loaded successfully");
    }
    SetFocus(tree);

    XMLTreeView* other = otherPanelFromTree(tree);
    if (!autoLoad || !OptionSet::LoadSeparate || !isChecked(autoLoadBox) || panel == nullptr || other == nullptr)
        return kLoaded;
    if (panel->folder[0] == 0 || other->folder[0] == 0 || std::wcscmp(panel->folder, other->folder) == 0)
        return kLoaded;
    // The file of the same name in the other panel's folder.
    wchar_t full[kPathUnits];
    wchar_t* filePart = nullptr;
    const DWORD length = GetFullPathNameW(path, kPathUnits, full, &filePart);
    if (length == 0 || length >= kPathUnits || filePart == nullptr) return kLoaded;
    wchar_t sameName[kPathUnits];
    std::wcsncpy(sameName, other->folder, kPathUnits - 1);
    sameName[kPathUnits - 1] = 0;
    const size_t used = std::wcslen(sameName);
    std::wcsncpy(sameName + used, filePart, kPathUnits - 1 - used);
    sameName[kPathUnits - 1] = 0;
    const LoadResult same = other->loadDocument(owner, sameName, 1, 0);
    return same == kLoadCancelled || same == kLoadKept ? kLoadedOtherKept : kLoaded;
}

namespace {

// The load command's steps up to the report.
LoadResult loadIntoPanel(HWND owner, XMLTreeView* panel, const wchar_t* path, wchar_t* folder, int autoLoad) {
    if (panel == nullptr) return kLoadCancelled;
    HWND tree = panel->tree;
    const bool chosen = path == nullptr || path[0] == 0;
    if (chosen) {
        path = showOpenDialog(owner, L"Open XML File", folder, kXmlFilter);
        if (path == nullptr) return kLoadCancelled;
    }
    const bool url = isURLPath(path);
    // From here on a local file has one name: the one that was checked is the one parsed,
    // shown and listed.
    wchar_t full[kPathUnits];
    if (!url) {
        if (const uint32_t error = fullLocalPath(path, full, kPathUnits)) {
            showSystemError(L"XMLFileExists", path, static_cast<int>(error));
            return kLoadCancelled;
        }
        path = full;
        if (!XMLFileExists(owner, path)) return kLoadCancelled;
    }
    // The editor's text goes with the old document: a modified one is answered for first.
    if (!confirmDiscardEditor(*panel)) return kLoadKept;

    // From here on the old document goes, whatever becomes of the new one. The folder
    // is kept only when the dialog has just filled it: it then names where this file is.
    if (!(chosen && OptionSet::LoadSeparate && folder == panel->folder)) panel->folder[0] = 0;
    resetDocumentState(*panel, path, url);
    filesCompared = 0;
    invalidateColouring();
    // The other tree still shows the comparison with the document that goes now.
    if (XMLTreeView* other = otherPanelFromTree(tree); other != nullptr && other->tree != nullptr)
        InvalidateRect(other->tree, nullptr, TRUE);
    clearPanel(tree, false);
    enableElementCommands(false);
    enableCompareCommands();
    enableResultCommands();
    resetNavigation();
    updateProgress(0);
    if (!runParser(*panel, path, url)) {
        clearPanel(tree, true);
        return kLoadFailed;
    }
    // The document is there before its result is reported, so that the trees paint it
    // while a result box is up.
    if (!countHandlers.stopRequested()) setLoadedFile(*panel, path);
    return reportLoadResult(tree, owner, path, !url, autoLoad);
}

// What the editor's text was read with: a text kept after a failed load is saved the
// way it was read.
struct ReadEncoding {
    EncodingSpec output;
    std::wstring declared;

    explicit ReadEncoding(const XMLTreeView& panel) : output(panel.outputEncoding), declared(panel.declaredEncoding) {}
    void restore(XMLTreeView& panel) const {
        panel.outputEncoding = output;
        copyBounded(panel.declaredEncoding, declared.c_str(), static_cast<int>(std::size(panel.declaredEncoding)) - 1);
    }
};

}  // namespace

LoadResult loadXMLFile(HWND owner, HWND tree, const wchar_t* path, wchar_t* folder, int autoLoad) {
    return loadIntoPanel(owner, panelFromTree(tree), path, folder, autoLoad);
}

LoadResult XMLTreeView::loadDocument(HWND owner, const wchar_t* path, int useFolder, int autoLoad) {
    if (parseRunning) return kLoadCancelled;
    const ReadEncoding editorEncoding(*this);
    const LoadResult result = loadXMLFile(owner, tree, path, useFolder ? folder : nullptr, autoLoad);
    switch (result) {
        case kLoaded:
        case kLoadedOtherKept:
            highlighter.colouringState = kJustLoaded;
            // The panel just loaded becomes the shown editor, at its root.
            if (loaded && contentPane.window != nullptr) prepareEditor(*this, rootElement(*this));
            break;
        case kLoadFailed:
            highlighter.colouringState = kJustLoaded;
            loaded = 0;
            // An editor still holding the file's text keeps the name and the encoding, so
            // that Save writes it as it was read.
            if (keepEditorText(*this))
                editorEncoding.restore(*this);
            else
                fileName[0] = 0;
            break;
        case kLoadCancelled:
            if (path != nullptr && path[0] != 0) removeRecentFile(pathCombo, path, !isURLPath(path));
            break;
        case kLoadKept:
            break;
    }
    // The path box and the title name what the panel holds: the document loaded, or
    // nothing (a text kept in the editor is no loaded document).
    if (pathEdit != nullptr) SetWindowTextW(pathEdit, loaded ? fileName : L"");
    updateMainTitle();
    enableCompareCommands();
    return result;
}

void autoCompare() {
    if (parseRunning) return;
    if (leftTreeView.loaded && rightTreeView.loaded && isChecked(autoCompareBox))
        filesCompared = compareFiles();
    else
        refreshViews(0);
}

void autoCompare(LoadResult load) {
    if (parseRunning) return;
    // A load that stopped before its parse, here or in the other panel, left the documents
    // as they were: nothing new to compare.
    if (load == kLoadCancelled || load == kLoadKept || load == kLoadedOtherKept)
        refreshViews(0);
    else
        autoCompare();
}

LoadResult loadFromPathCombo(HWND combo) {
    wchar_t text[kPathUnits - 1] = {};
    if (combo != nullptr) GetWindowTextW(combo, text, kPathUnits - 1);
    XMLTreeView* panel = panelFromPathCombo(combo);
    LoadResult result = kLoadCancelled;
    if (text[0] != 0 && panel != nullptr) result = panel->loadDocument(mainWindow, text, 0, 1);
    autoCompare(result);
    return result;
}

void dropFiles(HWND window, HDROP drop) {
    static wchar_t droppedFile[kPathUnits];
    droppedFile[0] = 0;
    DragQueryFileW(drop, 0, droppedFile, kPathUnits);
    DragFinish(drop);
    XMLTreeView* panel = panelFromTree(window);
    LoadResult result = kLoadCancelled;
    if (panel != nullptr && droppedFile[0] != 0) result = panel->loadDocument(mainWindow, droppedFile, 0, 1);
    autoCompare(result);
}
