// One side of the comparison: the tree view that shows one document, and what the
// program keeps about that document.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <memory>

#include "model/DifferenceNavigator.h"
#include "model/TextArena.h"
#include "settings/EncodingSpec.h"
#include "ui/EntityTable.h"
#include "ui/editor/ColouringCache.h"
#include "ui/editor/LineIndex.h"
#include "ui/editor/XMLHighlighter.h"

struct XMLTreeItem;

constexpr int kPathUnits = 260;

// The one outcome of a load. 0 loaded; 1 failed (stopped parse, exception: the panel is
// empty); 2 cancelled at the dialog, or the local file cannot be opened; 3 the user kept
// the editor's unsaved text. After 2 and 3 the panel holds what it held before. 4 loaded,
// but the file of the same name that was to follow into the other panel ended there with
// 2 or 3, so that panel holds what it held before.
enum LoadResult { kLoaded = 0, kLoadFailed = 1, kLoadCancelled = 2, kLoadKept = 3, kLoadedOtherKept = 4 };

struct XMLTreeView {
    XMLTreeItem* summaryItem = nullptr;  // owned
    uint32_t lineIndexCount = 0;         // source lines of the document
    EncodingSpec outputEncoding;
    std::unique_ptr<EntityTable> entityTable;
    wchar_t doctypeName[kPathUnits] = {};
    wchar_t doctypePublicId[kPathUnits] = {};
    wchar_t doctypeSystemId[kPathUnits] = {};
    HWND editor = nullptr;
    int32_t hasTallItems = 0;
    // An item's height changed while painting; until the main window has redrawn the
    // tree, its items are only measured.
    int32_t relayoutPending = 0;
    DifferenceNavigator navigator;  // the next and previous differences around the selection
    TextArena stringPool;
    wchar_t* folder;  // the storage of the panel's folder option
    wchar_t fileName[kPathUnits] = {};
    HWND pathCombo = nullptr;
    HWND pathEdit = nullptr;
    HWND tree = nullptr;
    int32_t loaded = 0;
    // The encoding the document's first bytes show, used when it has no XML declaration.
    wchar_t detectedEncoding[EncodingSpec::kNameUnits] = L"UTF-8";
    // The encoding the document's XML declaration names, as written there.
    wchar_t declaredEncoding[64] = {};
    // The warning of the load that is shown (a left-out external DTD), empty when none: it
    // stays said in the status bar after a comparison.
    wchar_t loadNote[1024] = {};

    // The XML element window (ui/editor/).
    HWND pathButton = nullptr;
    int32_t pathButtonWidth = 0;
    int32_t editorModified = 0;
    // The user let the editor's text go at "Save changes to FILE?": it is the file's text
    // no more, and is never saved or kept; the editor is made anew after the load.
    int32_t editorTextLetGo = 0;
    // The editor's text is not the whole file: it is read-only and is never saved.
    int32_t editorLoadFailed = 0;
    XMLTreeItem* editorElement = nullptr;  // not owned; dropped before records are freed
    int32_t syncingFromEditor = 0;
    // Set while the program selects in the editor: such a selection moves no tree.
    int32_t selectingInEditor = 0;
    // The root's start tag in the editor (0-based line, 1-based column); -1 unknown.
    int32_t rootLine = -1;
    int32_t rootColumn = 0;
    LineIndex lineIndex;
    XMLHighlighter highlighter;
    ColouringCache colourCache;

    explicit XMLTreeView(wchar_t* folderStorage) : folder(folderStorage) { highlighter.view = this; }
    XMLTreeView(const XMLTreeView&) = delete;
    XMLTreeView& operator=(const XMLTreeView&) = delete;

    // The one road by which a file enters the panel: with no path the Open dialog asks
    // for one; useFolder hands the panel's folder to the dialog; autoLoad allows the
    // file of the same name to be loaded into the other panel. Afterwards the path box
    // and the title name what is loaded.
    LoadResult loadDocument(HWND owner, const wchar_t* path, int useFolder, int autoLoad);
    void setDoctype(const wchar_t* name, const wchar_t* publicId, const wchar_t* systemId);
    // Flags: 1 clear the selection first, 2 suspend redrawing, 4 invalidate at the end.
    void refreshTree(int flags);
    void resetEntityTable();
    // Sets detectedEncoding from the byte order mark of a local file (UTF-8 without one).
    void detectEncoding(const wchar_t* path);
    // The file into the editor (ui/editor/EditorFile.cpp); false after the file-error box.
    bool loadFile();
    // The editor's text into target, replacing it only when all was written; false
    // (after its box) when nothing was written.
    bool saveFile(const wchar_t* target);
};

extern XMLTreeView leftTreeView;
extern XMLTreeView rightTreeView;

// The panel whose window of one kind (its tree, path combo, editor, ...) is the given window.
XMLTreeView* panelOwning(HWND window, HWND XMLTreeView::*kind);
XMLTreeView* panelFromTree(HWND tree);
XMLTreeView* otherPanelFromTree(HWND tree);
XMLTreeView* panelFromPathCombo(HWND combo);
XMLTreeView* panelFromPathEdit(HWND edit);

// Deletes the panel's records and tree items and empties its arena. Unless forced,
// a panel without a loaded document is left alone.
void clearPanel(HWND tree, bool force);

// The parse alone: clears the panel and parses path (a local path or a URL) into it,
// without the dialog, boxes and status texts of the load command.
LoadResult parseIntoPanel(XMLTreeView& panel, const wchar_t* path);

// The load command: asks for a name when none is given (folder: where the dialog
// starts and what it fills, or null), makes a local path full and checks it, clears the
// panel and the comparison state, parses and reports the result.
LoadResult loadXMLFile(HWND owner, HWND tree, const wchar_t* path, wchar_t* folder, int autoLoad);
// 1 when the local file can be opened (its size becomes the progress total); else the
// file-error box and 0.
int XMLFileExists(HWND owner, const wchar_t* path);
// The load's outcome in the status bar and its boxes, the recent list, the focus and
// the file of the same name for the other panel: failed when the parse was stopped,
// else loaded, or loaded with the other panel kept when that file's load stopped before
// its parse.
LoadResult reportLoadResult(HWND tree, HWND owner, const wchar_t* path, bool isLocal, int autoLoad);
// Loads and comparisons asked for while a parse is running are ignored.
bool isParseRunning();

// The comparison after a change to the documents, when both panels hold one and the
// AutoCompare box is ticked; else the views are refreshed.
void autoCompare();
// The same after a user's load, given its outcome: a load that stopped before its parse
// brought nothing new, and only refreshes the views.
void autoCompare(LoadResult load);
// The load of a path typed or chosen in a path combo box (WM_USER+1); an empty box
// loads nothing, which counts as cancelled.
LoadResult loadFromPathCombo(HWND combo);
// The load of the first file dropped onto a tree.
void dropFiles(HWND window, HDROP drop);
// A URL: a scheme of ftp or four or five letters starting with http, a colon within
// the first seven units, and two slashes after it.
bool isURLPath(const wchar_t* path);
