#include "tests/support/TestSupport.h"

#include <commctrl.h>
#include <htmlhelp.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "model/CompareSettings.h"
#include "model/ElementStore.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/MessageBox.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/ColourChooser.h"
#include "ui/FileDialogs.h"
#include "ui/Help.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/TreeFont.h"
#include "ui/TreeFont.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/XMLTreeView.h"

namespace {
int unexpectedBox(HWND, const wchar_t* text, const wchar_t* caption, UINT) {
    ADD_FAILURE() << "unexpected message box: [" << narrow(caption ? caption : L"") << "] "
                  << narrow(text ? text : L"");
    return IDCANCEL;
}
}  // namespace

void installUnexpectedBoxHandler() {
    setBoxHandler(unexpectedBox);
}

BoxScript::BoxScript() {
    setBoxHandler([this](HWND, const wchar_t* text, const wchar_t* caption, UINT type) {
        std::wstring t = text ? text : L"";
        std::wstring c = caption ? caption : L"";
        shown_.push_back(Box{t, c, type, messageHelpTopic != nullptr ? messageHelpTopic : L""});
        if (expected_.empty()) {
            ADD_FAILURE() << "unexpected message box: [" << narrow(c) << "] " << narrow(t);
            return IDCANCEL;
        }
        Expected e = expected_.front();
        expected_.pop_front();
        EXPECT_EQ(narrow(e.caption), narrow(c)) << "box text: " << narrow(t);
        if (!e.anyText) {
            EXPECT_EQ(narrow(e.text), narrow(t));
        }
        return e.answer;
    });
}

BoxScript::~BoxScript() {
    for (const Expected& e : expected_)
        ADD_FAILURE() << "expected message box not shown: [" << narrow(e.caption) << "] " << narrow(e.text);
    installUnexpectedBoxHandler();
}

BoxScript& BoxScript::expect(const std::wstring& text, const std::wstring& caption, int answer) {
    expected_.push_back(Expected{text, caption, false, answer});
    return *this;
}

BoxScript& BoxScript::expectCaption(const std::wstring& caption, int answer) {
    expected_.push_back(Expected{L"", caption, true, answer});
    return *this;
}

void installUnexpectedDialogHandler() {
    setFileDialogHandler([](OPENFILENAMEW& record, bool) {
        ADD_FAILURE() << "unexpected file dialog: " << narrow(record.lpstrTitle ? record.lpstrTitle : L"");
        return false;
    });
}

DialogScript::DialogScript() {
    setFileDialogHandler([this](OPENFILENAMEW& record, bool save) {
        shown_.push_back(Dialog{save, record.lpstrTitle ? record.lpstrTitle : L"",
                                record.lpstrInitialDir ? record.lpstrInitialDir : L"", record.Flags,
                                record.hwndOwner});
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected file dialog: " << narrow(shown_.back().title);
            return false;
        }
        std::wstring name = answers_.front();
        answers_.pop_front();
        if (name.empty()) return false;
        lstrcpynW(record.lpstrFile, name.c_str(), static_cast<int>(record.nMaxFile));
        return true;
    });
}

DialogScript::~DialogScript() {
    for (const std::wstring& name : answers_) ADD_FAILURE() << "expected file dialog not shown: " << narrow(name);
    installUnexpectedDialogHandler();
}

DialogScript& DialogScript::answer(const std::wstring& fileName) {
    answers_.push_back(fileName);
    return *this;
}

void installUnexpectedColourHandler() {
    setColourChooserHandler([](CHOOSECOLORW&) {
        ADD_FAILURE() << "unexpected colour chooser";
        return false;
    });
}

ColourScript::ColourScript() {
    setColourChooserHandler([this](CHOOSECOLORW& record) {
        shown_.push_back(Chooser{record.rgbResult, record.Flags, record.lpCustColors, record.hwndOwner});
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected colour chooser";
            return false;
        }
        const auto [chosen, colour] = answers_.front();
        answers_.pop_front();
        if (chosen) record.rgbResult = colour;
        return chosen;
    });
}

ColourScript::~ColourScript() {
    if (!answers_.empty()) ADD_FAILURE() << answers_.size() << " expected colour chooser(s) not shown";
    installUnexpectedColourHandler();
}

ColourScript& ColourScript::answer(COLORREF colour) {
    answers_.emplace_back(true, colour);
    return *this;
}

ColourScript& ColourScript::cancel() {
    answers_.emplace_back(false, 0);
    return *this;
}

void installUnexpectedModalHandler() {
    setDialogTestHandler([](HWND dialog, int templateId) {
        ADD_FAILURE() << "unexpected dialog " << templateId;
        EndDialog(dialog, IDCANCEL);
    });
}

void installUnexpectedHelpHandler() {
    setHtmlHelpHandler([](HWND, const wchar_t* file, UINT command, DWORD_PTR) -> HWND {
        ADD_FAILURE() << "unexpected help window: " << narrow(file) << " command " << command;
        return nullptr;
    });
}

HelpRecorder::HelpRecorder() {
    setHtmlHelpHandler([this](HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) -> HWND {
        std::wstring topic;
        if (command == HH_DISPLAY_TOPIC) topic = data == 0 ? L"<none>" : reinterpret_cast<const wchar_t*>(data);
        calls.push_back(Call{caller, file, command, topic, data});
        return nullptr;
    });
}

HelpRecorder::~HelpRecorder() {
    installUnexpectedHelpHandler();
    initHelpPath();
}

ModalScript::ModalScript() {
    setDialogTestHandler([this](HWND dialog, int templateId) {
        shown_.push_back(templateId);
        if (expected_.empty()) {
            ADD_FAILURE() << "unexpected dialog " << templateId;
            EndDialog(dialog, IDCANCEL);
            return;
        }
        auto [id, action] = std::move(expected_.front());
        expected_.pop_front();
        EXPECT_EQ(id, templateId);
        if (action) action(dialog);
    });
}

ModalScript::~ModalScript() {
    for (const auto& e : expected_) ADD_FAILURE() << "expected dialog not shown: " << e.first;
    installUnexpectedModalHandler();
}

ModalScript& ModalScript::expect(int templateId, Action action) {
    expected_.emplace_back(templateId, std::move(action));
    return *this;
}

void clickButton(HWND dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void installUnexpectedFontChooser() {
    setFontChooserHandler([](CHOOSEFONTW&) {
        ADD_FAILURE() << "unexpected font chooser";
        return false;
    });
}

FontChooserScript::FontChooserScript() {
    setFontChooserHandler([this](CHOOSEFONTW& record) {
        shown_.push_back(
            Chooser{record.lpLogFont != nullptr ? *record.lpLogFont : LOGFONTW{}, record.Flags, record.hwndOwner});
        if (answers_.empty()) {
            ADD_FAILURE() << "unexpected font chooser";
            return false;
        }
        const Answer answer = answers_.front();
        answers_.pop_front();
        if (answer.chosen && record.lpLogFont != nullptr) *record.lpLogFont = answer.font;
        return answer.chosen;
    });
}

FontChooserScript::~FontChooserScript() {
    for (size_t i = 0; i < answers_.size(); ++i)
        ADD_FAILURE() << "expected font chooser not shown";
    installUnexpectedFontChooser();
}

FontChooserScript& FontChooserScript::answer(const LOGFONTW& font) {
    answers_.push_back(Answer{true, font});
    return *this;
}

FontChooserScript& FontChooserScript::cancel() {
    answers_.push_back(Answer{false, LOGFONTW{}});
    return *this;
}

OptionsSnapshot::OptionsSnapshot() {
    auto keep = [](void* storage, size_t bytes, void* context) {
        const char* begin = static_cast<const char*>(storage);
        static_cast<std::vector<Region>*>(context)->push_back({storage, std::vector<char>(begin, begin + bytes)});
    };
    forEachOptionStorage(keep, &regions_);
    keep(&compareSettings, sizeof(compareSettings), &regions_);
}

OptionsSnapshot::~OptionsSnapshot() {
    restore();
}

void OptionsSnapshot::restore() const {
    for (const Region& r : regions_) std::memcpy(r.storage, r.bytes.data(), r.bytes.size());
}

CurrentFolderGuard::CurrentFolderGuard() {
    const DWORD units = GetCurrentDirectoryW(0, nullptr);
    previous_.assign(units, L'\0');
    previous_.resize(units != 0 ? GetCurrentDirectoryW(units, &previous_[0]) : 0);
}

CurrentFolderGuard::~CurrentFolderGuard() {
    if (!previous_.empty()) SetCurrentDirectoryW(previous_.c_str());
}

bool CurrentFolderGuard::enter(const std::wstring& folder) const {
    return SetCurrentDirectoryW(folder.c_str()) != FALSE;
}

TempDir::TempDir() {
    static int counter = 0;
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    // Wine numbers processes anew with each wineserver, so a folder of an earlier run (one that
    // kept a subfolder) can have this name: only a folder made here is taken.
    do {
        path_ = std::wstring(base) + L"verdalt-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
    } while (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
}

TempDir::~TempDir() {
    for (const std::wstring& name : names())
        DeleteFileW(file(name).c_str());
    RemoveDirectoryW(path_.c_str());
}

std::vector<std::wstring> TempDir::names() const {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") out.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end());
    return out;
}

void clearRuleLists() {
    ignoreList.clear();
    keyElementList = KeyElementList();
    entireElementList = EntireElementList();
    keyAttributeSpec.clear();
    reloadNeeded = false;
}

std::wstring TempDir::write(const std::wstring& name, const std::string& bytes) const {
    std::wstring full = file(name);
    HANDLE h = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return full;
}

std::string TempDir::read(const std::wstring& name) const {
    std::string bytes;
    HANDLE h = CreateFileW(file(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

namespace {
HWND createTestTree(HWND parent) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"XML",
                           WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_NOTOOLTIPS, 0, 0, 300, 400,
                           parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}
}  // namespace

TestPanels::TestPanels() {
    window_ = CreateWindowExW(0, L"STATIC", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    leftTreeView.tree = createTestTree(window_);
    rightTreeView.tree = createTestTree(window_);
}

TestPanels::~TestPanels() {
    clearPanel(leftTreeView.tree, true);
    clearPanel(rightTreeView.tree, true);
    ElementStore::detach(leftTreeView.tree);
    ElementStore::detach(rightTreeView.tree);
    DestroyWindow(window_);
    leftTreeView.tree = nullptr;
    rightTreeView.tree = nullptr;
}

int loadXml(XMLTreeView& panel, const std::string& xml, const TempDir& dir, const std::wstring& name) {
    std::wstring path = dir.write(name, xml);
    return parseIntoPanel(panel, path.c_str());
}

std::wstring textOf(const XMLTreeItem* record) {
    return record->text == nullptr ? std::wstring() : std::wstring(record->text, record->textLength);
}

std::wstring attributesOf(const XMLTreeItem* record) {
    return record->attributes == nullptr ? std::wstring() : std::wstring(record->attributes, record->attributesLength);
}

std::vector<XMLTreeItem*> recordsInOrder(const XMLTreeView& panel) {
    std::vector<XMLTreeItem*> out;
    HWND tree = panel.tree;
    std::vector<HTREEITEM> stack;
    std::vector<HTREEITEM> roots;
    for (HTREEITEM i = ElementStore::root(tree); i != nullptr; i = ElementStore::next(tree, i)) roots.push_back(i);
    for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.push_back(*it);
    while (!stack.empty()) {
        HTREEITEM item = stack.back();
        stack.pop_back();
        out.push_back(ElementStore::record(tree, item));
        std::vector<HTREEITEM> children;
        for (HTREEITEM c = ElementStore::child(tree, item); c != nullptr; c = ElementStore::next(tree, c))
            children.push_back(c);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
    return out;
}

Canvas::Canvas(int width, int height, COLORREF background)
    : width_(width), height_(height), background_(background) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    clear();
}

Canvas::~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void Canvas::clear() {
    RECT all{0, 0, width_, height_};
    HBRUSH brush = CreateSolidBrush(background_);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
    GdiFlush();
}

COLORREF Canvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const uint32_t p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

std::pair<int, int> Canvas::columns(COLORREF colour, int top, int bottom) const {
    int first = -1, last = -1;
    for (int x = 0; x < width_; ++x)
        for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y)
            if (pixel(x, y) == colour) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

int Canvas::count(COLORREF colour, const RECT& area) const {
    int n = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (pixel(x, y) == colour) ++n;
    return n;
}

int Canvas::lastInkColumn() const {
    for (int x = width_ - 1; x >= 0; --x)
        for (int y = 0; y < height_; ++y)
            if (pixel(x, y) != background_) return x;
    return -1;
}

bool Canvas::same(const Canvas& other) const {
    return width_ == other.width_ && height_ == other.height_ &&
           std::memcmp(bits_, other.bits_, sizeof(uint32_t) * width_ * height_) == 0;
}

HDROP dropOf(const std::vector<std::wstring>& files) {
    size_t units = 1;
    for (const std::wstring& file : files)
        units += file.size() + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    for (const std::wstring& file : files) {
        wcscpy(names, file.c_str());
        names += file.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

XMLTreeItem* elementNamed(const XMLTreeView& panel, const std::wstring& name) {
    for (XMLTreeItem* record : recordsInOrder(panel))
        if (record != nullptr && !record->isSummary() && name == record->nameText()) return record;
    return nullptr;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::wstring samplePath(const char* name) {
    std::string path = __FILE__;
    path = path.substr(0, path.rfind("/tests/")) + "/samples/" + name;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return widen(path);
}
