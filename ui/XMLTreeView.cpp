#include "ui/XMLTreeView.h"

#include <cstring>
#include <cwchar>
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
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/StatusBar.h"

XMLTreeView leftTreeView(OptionSet::LeftDir);
XMLTreeView rightTreeView(OptionSet::RightDir);

XMLTreeView* panelFromTree(HWND tree) {
    if (tree == nullptr) return nullptr;
    if (tree == leftTreeView.tree) return &leftTreeView;
    if (tree == rightTreeView.tree) return &rightTreeView;
    return nullptr;
}

XMLTreeView* otherPanelFromTree(HWND tree) {
    if (tree == nullptr) return nullptr;
    if (tree == leftTreeView.tree) return &rightTreeView;
    if (tree == rightTreeView.tree) return &leftTreeView;
    return nullptr;
}

XMLTreeView* panelFromPathCombo(HWND combo) {
    if (combo == nullptr) return nullptr;
    if (combo == leftTreeView.pathCombo) return &leftTreeView;
    if (combo == rightTreeView.pathCombo) return &rightTreeView;
    return nullptr;
}

XMLTreeView* panelFromPathEdit(HWND edit) {
    if (edit == nullptr) return nullptr;
    if (edit == leftTreeView.pathEdit) return &leftTreeView;
    if (edit == rightTreeView.pathEdit) return &rightTreeView;
    return nullptr;
}

namespace {
void showParserException(const wchar_t* text) {
    showMessage(L"Exception message is:\n%s", text, L"Exception", MB_OK | MB_ICONWARNING, boxOwnerWindow);
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

    // Collect the records first, delete every item, and only then free the records,
    // so that no item ever points at a freed record (deleting items can move the
    // selection and send notifications that read them).
    std::vector<XMLTreeItem*> records;
    records.reserve(ElementStore::itemCount(tree));
    std::vector<HTREEITEM> stack;
    for (HTREEITEM i = ElementStore::root(tree); i != nullptr; i = ElementStore::next(tree, i)) stack.push_back(i);
    while (!stack.empty()) {
        HTREEITEM item = stack.back();
        stack.pop_back();
        XMLTreeItem* record = ElementStore::record(tree, item);
        if (record != nullptr && record != panel->summaryItem) records.push_back(record);
        for (HTREEITEM c = ElementStore::child(tree, item); c != nullptr; c = ElementStore::next(tree, c))
            stack.push_back(c);
    }
    ElementStore::removeAll(tree);
    for (XMLTreeItem* record : records) delete record;  // each clears its partner's back link
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

LoadResult parseIntoPanel(XMLTreeView& panel, const wchar_t* path) {
    if (path == nullptr || path[0] == 0 || panel.tree == nullptr) return kLoadCancelled;
    bool url = isURLPath(path);
    if (!url) {
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) return kLoadCancelled;
        LARGE_INTEGER size{};
        GetFileSizeEx(file, &size);
        progressFileSize = size.QuadPart > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(size.QuadPart);
        CloseHandle(file);
    }

    panel.outputEncoding.reset();
    panel.resetEntityTable();
    panel.hasTallItems = 0;
    clearPanel(panel.tree, false);
    updateProgress(0);
    if (url)
        std::wcscpy(panel.detectedEncoding, L"UTF-8");
    else
        panel.detectEncoding(path);
    countHandlers.errorSeen = 0;
    applyParserOptions();
    countHandlers.panel = &panel;
    advancedHandler.panel = &panel;
    countHandlers.setLogPath(url ? L"www" : path);

    bool failed = false;
    try {
        xmlReader->parse(path);
    } catch (const xercesc::OutOfMemoryException&) {
        showParserException(L"Out of memory");
        failed = true;
    } catch (const xercesc::XMLException& e) {
        showParserException(e.getMessage());
        failed = true;
    } catch (const xercesc::SAXException& e) {
        showParserException(e.getMessage());
        failed = true;
    } catch (...) {
        showParserException(L"Unknown exception");
        failed = true;
    }
    countHandlers.closeLog();
    updateProgress(-1);
    if (failed || countHandlers.stopRequested()) {
        clearPanel(panel.tree, true);
        panel.fileName[0] = 0;
        return kLoadFailed;
    }
    panel.loaded = 1;
    std::wcsncpy(panel.fileName, path, kPathUnits - 1);
    panel.fileName[kPathUnits - 1] = 0;
    return kLoaded;
}
