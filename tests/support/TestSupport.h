// Helpers shared by the test programs: answering message boxes, scratch files, and
// real tree views hosted in a real window.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

struct XMLTreeView;
struct XMLTreeItem;

// While alive, answers the program's message boxes from a script. A box that the
// script does not expect fails the test (and is answered with Cancel). Boxes are
// recorded in order either way.
class BoxScript {
public:
    struct Box {
        std::wstring text;
        std::wstring caption;
        UINT type;
        std::wstring helpTopic;  // messageHelpTopic while the box was up
    };
    BoxScript();
    ~BoxScript();
    BoxScript(const BoxScript&) = delete;
    BoxScript& operator=(const BoxScript&) = delete;

    // Expects the next box to have exactly this text and caption; answers it with answer.
    BoxScript& expect(const std::wstring& text, const std::wstring& caption, int answer = IDOK);
    // Expects a box with this caption, whatever its text.
    BoxScript& expectCaption(const std::wstring& caption, int answer = IDOK);
    const std::vector<Box>& shown() const { return shown_; }

private:
    struct Expected {
        std::wstring text;
        std::wstring caption;
        bool anyText;
        int answer;
    };
    std::deque<Expected> expected_;
    std::vector<Box> shown_;
};

// While alive, answers the program's Open and Save dialogs from a script: each
// expected dialog is answered with a file name, or cancelled with an empty one. A
// dialog that the script does not expect fails the test (and is cancelled). What each
// dialog was given is recorded.
class DialogScript {
public:
    struct Dialog {
        bool save;
        std::wstring title;
        std::wstring initialDir;  // empty when none was given
        DWORD flags;
        HWND owner;
    };
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    DialogScript& answer(const std::wstring& fileName);
    DialogScript& cancel() { return answer(L""); }
    const std::vector<Dialog>& shown() const { return shown_; }

private:
    std::deque<std::wstring> answers_;
    std::vector<Dialog> shown_;
};

// While alive, answers the program's own modal dialogs in order: each expected dialog
// (by template id) is handed to its action while it is up, inside its modal loop; the
// action ends it by clicking a button (a dialog left up is cancelled). A dialog that
// was not expected fails the test and is cancelled.
class ModalScript {
public:
    using Action = std::function<void(HWND dialog)>;
    ModalScript();
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    ModalScript& expect(int templateId, Action action);
    const std::vector<int>& shown() const { return shown_; }

private:
    std::deque<std::pair<int, Action>> expected_;
    std::vector<int> shown_;
};

// While alive, records every help window the program asks for (HtmlHelpW) instead of
// opening it; outside one, a help window fails the test.
class HelpRecorder {
public:
    struct Call {
        HWND caller;
        std::wstring file;
        UINT command;
        std::wstring topic;  // HH_DISPLAY_TOPIC: the topic, "<none>" for the default one
        DWORD_PTR data;
    };
    HelpRecorder();
    ~HelpRecorder();
    HelpRecorder(const HelpRecorder&) = delete;
    HelpRecorder& operator=(const HelpRecorder&) = delete;

    std::vector<Call> calls;
};

// While alive, answers the colour chooser from a script: each expected chooser is
// answered with a colour, or cancelled. A chooser that the script does not expect
// fails the test (and is cancelled). What each chooser was given is recorded.
class ColourScript {
public:
    struct Chooser {
        COLORREF initial;
        DWORD flags;
        const COLORREF* customColours;
        HWND owner;
    };
    ColourScript();
    ~ColourScript();
    ColourScript(const ColourScript&) = delete;
    ColourScript& operator=(const ColourScript&) = delete;

    ColourScript& answer(COLORREF colour);
    ColourScript& cancel();
    const std::vector<Chooser>& shown() const { return shown_; }

private:
    std::deque<std::pair<bool, COLORREF>> answers_;
    std::vector<Chooser> shown_;
};

// Clicks a dialog's button as the user would (BM_CLICK).
void clickButton(HWND dialog, int id);

// While alive, answers the program's font chooser from a script: each expected chooser
// is answered with a font, or cancelled. A chooser that the script does not expect fails
// the test (and is cancelled). What each chooser was given is recorded.
class FontChooserScript {
public:
    struct Chooser {
        LOGFONTW initial;
        DWORD flags;
        HWND owner;
    };
    FontChooserScript();
    ~FontChooserScript();
    FontChooserScript(const FontChooserScript&) = delete;
    FontChooserScript& operator=(const FontChooserScript&) = delete;

    FontChooserScript& answer(const LOGFONTW& font);
    FontChooserScript& cancel();
    const std::vector<Chooser>& shown() const { return shown_; }

private:
    struct Answer {
        bool chosen;
        LOGFONTW font;
    };
    std::deque<Answer> answers_;
    std::vector<Chooser> shown_;
};

// While alive, keeps a copy of every option value and of the comparison settings, and
// puts them back when it goes, so that a test can change options freely.
class OptionsSnapshot {
public:
    OptionsSnapshot();
    ~OptionsSnapshot();
    OptionsSnapshot(const OptionsSnapshot&) = delete;
    OptionsSnapshot& operator=(const OptionsSnapshot&) = delete;

    // Puts the values back now (a fixture that must act on the restored options calls it first).
    void restore() const;

private:
    struct Region {
        void* storage;
        std::vector<char> bytes;
    };
    std::vector<Region> regions_;
};

// While alive, the process's current folder may be changed freely: it is put back when the
// guard goes, on every way out of a test (a failed assertion returns early).
class CurrentFolderGuard {
public:
    CurrentFolderGuard();
    ~CurrentFolderGuard();
    CurrentFolderGuard(const CurrentFolderGuard&) = delete;
    CurrentFolderGuard& operator=(const CurrentFolderGuard&) = delete;

    // Makes folder the current one; false when the system refuses it.
    bool enter(const std::wstring& folder) const;

private:
    std::wstring previous_;
};

// A fresh folder under the temporary directory, removed with its files at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    // Writes the bytes as they stand and returns the full path.
    std::wstring write(const std::wstring& name, const std::string& bytes) const;
    std::string read(const std::wstring& name) const;
    // The names of the files in it, sorted.
    std::vector<std::wstring> names() const;

private:
    std::wstring path_;
};

// Empties the ignore list, the key element and entire element lists and the key attribute,
// and clears reloadNeeded: rule state that would otherwise pass from one test to the next.
void clearRuleLists();

// A top-level window holding the two panels' tree views for the time of a test.
class TestPanels {
public:
    TestPanels();
    ~TestPanels();
    TestPanels(const TestPanels&) = delete;
    TestPanels& operator=(const TestPanels&) = delete;

    HWND window() const { return window_; }

private:
    HWND window_;
};

// Loads XML text (UTF-8 bytes) into a panel through a scratch file; returns the load result.
int loadXml(XMLTreeView& panel, const std::string& xml, const TempDir& dir, const std::wstring& name = L"doc.xml");

// The panel's records in document order (the summary item last, when there is one).
std::vector<XMLTreeItem*> recordsInOrder(const XMLTreeView& panel);
// A record's own text and its attribute text as stored; empty when it has none.
std::wstring textOf(const XMLTreeItem* record);
std::wstring attributesOf(const XMLTreeItem* record);
// The first element of that name in document order (the summary item is none); null when none.
XMLTreeItem* elementNamed(const XMLTreeView& panel, const std::wstring& name);

// A 32-bit bitmap to paint into, standing in for a window's device context; its
// pixels can be read back.
class Canvas {
public:
    Canvas(int width, int height, COLORREF background = RGB(255, 255, 255));
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void clear();
    COLORREF pixel(int x, int y) const;  // CLR_INVALID outside the bitmap
    // The first and last column in the rows [top, bottom) holding this colour; -1 when none.
    std::pair<int, int> columns(COLORREF colour, int top = 0, int bottom = INT_MAX) const;
    int count(COLORREF colour, const RECT& area) const;
    // The last column holding anything but the background; -1 when nothing was drawn.
    int lastInkColumn() const;
    bool same(const Canvas& other) const;
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    uint32_t* bits_ = nullptr;
    int width_;
    int height_;
    COLORREF background_;
};

// A drop of the files, as the shell hands it to WM_DROPFILES; the receiver frees it.
HDROP dropOf(const std::vector<std::wstring>& files);

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

// The repository's sample file of that name, through Wine's drive of the Unix root.
std::wstring samplePath(const char* name);
