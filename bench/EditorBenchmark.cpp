#include "bench/EditorBenchmark.h"

#include <psapi.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "ui/CommandDispatch.h"
#include "ui/CommandHandlers.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
#include "ui/editor/EditorFile.h"
#include "ui/editor/EditorSync.h"
#include "ui/editor/XMLHighlighter.h"

namespace {

// Records of five elements each, one record a line.
std::string records(int elements) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<export>\n";
    for (int i = 0; i < elements / 5; ++i)
        out += "<record id=\"" + std::to_string(i) + "\" type=\"t" + std::to_string(i % 7) + "\"><name>Name " +
               std::to_string(i) + "</name><value>" + std::to_string(i % 997) + ".50</value><note>ok &amp; " +
               "fine</note><date>2026-01-1" + std::to_string(i % 10) + "</date></record>\n";
    return out + "</export>\n";
}

// Ten elements whose texts are lines of 100,000 characters, with a reference now and then.
std::string longLines() {
    std::string out = "<root>\n";
    for (int i = 0; i < 10; ++i) {
        out += "<line n=\"" + std::to_string(i) + "\">";
        for (int k = 0; k < 10000; ++k)
            out += k % 100 == 99 ? "one &amp; " : "some words";
        out += "</line>\n";
    }
    return out + "</root>\n";
}

// One element a line.
std::string lines(int count) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<list>\n";
    for (int i = 0; i < count - 3; ++i)
        out += "<item n=\"" + std::to_string(i) + "\">Item number " + std::to_string(i) + " of the list</item>\n";
    return out + "</list>\n";
}

struct Source {
    const std::wstring* text;
    size_t position;
};

DWORD CALLBACK readBlock(DWORD_PTR cookie, LPBYTE buffer, LONG bytes, LONG* handed) {
    auto* source = reinterpret_cast<Source*>(cookie);
    const size_t units = streamBlockUnits(source->text->data() + source->position,
                                          source->text->size() - source->position, static_cast<size_t>(bytes) / 2);
    std::memcpy(buffer, source->text->data() + source->position, units * 2);
    source->position += units;
    *handed = static_cast<LONG>(units * 2);
    return 0;
}

// The floor of opening the window: a bare editor of the window's size, in the
// editor's font, taking in the same text.
double bareEditorSeconds(HWND host, const std::string& bytes) {
    EncodingSpec spec;
    spec.codePage = CP_UTF8;
    const std::wstring text = decodeEditorText(bytes, spec, nullptr);
    RECT size{0, 0, 1000, 542};
    if (leftTreeView.editor != nullptr) GetWindowRect(leftTreeView.editor, &size);
    const double start = now();
    HWND editor = CreateWindowExW(
        WS_EX_CLIENTEDGE, richEditClass, L"",
        WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 0, 18,
        size.right - size.left, size.bottom - size.top, host, nullptr, moduleInstance, nullptr);
    SendMessageW(editor, EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
    CHARFORMAT2W base{};
    base.cbSize = sizeof(base);
    base.dwMask = CFM_FACE;
    std::wcscpy(base.szFaceName, L"Courier New");
    SendMessageW(editor, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&base));
    Source source{&text, 0};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, readBlock};
    SendMessageW(editor, EM_STREAMIN, SF_TEXT | SF_UNICODE, reinterpret_cast<LPARAM>(&stream));
    const double seconds = now() - start;
    DestroyWindow(editor);
    return seconds;
}

bool loadLeft(const std::string& bytes, double* loadSeconds) {
    const std::wstring path = writeTemp(bytes, L"verdalt-bench-editor.xml");
    const double start = now();
    const bool loaded = parseIntoPanel(leftTreeView, path.c_str()) == kLoaded;
    *loadSeconds = now() - start;
    return loaded;
}

void closeWindow() {
    destroyEditors();
    if (contentPane.window != nullptr) DestroyWindow(contentPane.window);
    if (contentPane.splitter != nullptr) DestroyWindow(contentPane.splitter);
    if (contentPane.tooltip != nullptr) DestroyWindow(contentPane.tooltip);
    contentPane = ContentPane{};
}

// As F3 opens it: the window made, both editors loaded, the main window laid out.
double openWindow() {
    const double start = now();
    openXMLEditor(rootElement(leftTreeView));
    return now() - start;
}

// A real document of that size: the MIME database Debian installs (empty when absent).
constexpr wchar_t kMimeDatabase[] = L"Z:\\usr\\share\\mime\\packages\\freedesktop.org.xml";

std::string fileBytes(const wchar_t* path) {
    std::string bytes;
    std::FILE* file = _wfopen(path, L"rb");
    if (file == nullptr) return bytes;
    char block[1 << 16];
    for (size_t got; (got = std::fread(block, 1, sizeof(block), file)) > 0;)
        bytes.append(block, got);
    std::fclose(file);
    return bytes;
}

// The process's memory now and at its highest so far, in megabytes.
struct Memory {
    double workingSet;
    double peakWorkingSet;
    double pagefile;
    double peakPagefile;
};
Memory memoryNow() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    constexpr double kMegabyte = 1024.0 * 1024.0;
    return Memory{counters.WorkingSetSize / kMegabyte, counters.PeakWorkingSetSize / kMegabyte,
                  counters.PagefileUsage / kMegabyte, counters.PeakPagefileUsage / kMegabyte};
}

// The memory the window (or a bare editor) takes on a document: what the process held
// just before, and its peak after. Each of the two runs in a process of its own (the
// peak cannot be reset), so that one's peak is not the other's.
void memoryCase(const std::string& name, HWND host, const std::string& bytes, bool bare) {
    if (bytes.empty()) return;
    double load = 0;
    if (!bare && !loadLeft(bytes, &load)) return;
    const Memory before = memoryNow();
    const double seconds = bare ? bareEditorSeconds(host, bytes) : openWindow();
    const Memory after = memoryNow();
    figure(name, "input_MB", bytes.size() / (1024.0 * 1024.0));
    figure(name, bare ? "bare_editor_s" : "open_s", seconds);
    figure(name, "working_set_before_MB", before.workingSet);
    figure(name, "peak_working_set_MB", after.peakWorkingSet);
    figure(name, "peak_working_set_growth_MB", after.peakWorkingSet - before.workingSet);
    figure(name, "pagefile_before_MB", before.pagefile);
    figure(name, "peak_pagefile_MB", after.peakPagefile);
    figure(name, "peak_pagefile_growth_MB", after.peakPagefile - before.pagefile);
    if (!bare) {
        closeWindow();
        clearPanel(leftTreeView.tree, true);
    }
}

// One colouring pass at the editor's present place, all of it to be coloured again.
struct Pass {
    double seconds;
    double formatCalls;
    double selectionCalls;
};
Pass colourPass(int repeats) {
    Pass pass{0, 0, 0};
    const ColouringStats before = colouringStats;
    for (int r = 0; r < repeats; ++r) {
        leftTreeView.colourCache.reset();
        leftTreeView.highlighter.colouringState = kColouringWanted;
        const double start = now();
        colourVisibleLines(leftTreeView, nullptr);
        pass.seconds += now() - start;
    }
    pass.seconds /= repeats;
    pass.formatCalls = static_cast<double>(colouringStats.formatCalls - before.formatCalls) / repeats;
    pass.selectionCalls = static_cast<double>(colouringStats.selectionCalls - before.selectionCalls) / repeats;
    return pass;
}

void reportPass(const std::string& name, const Pass& pass, const Pass& ordinary) {
    figure(name, "pass_s", pass.seconds);
    figure(name, "pass_format_calls", pass.formatCalls);
    figure(name, "pass_selection_calls", pass.selectionCalls);
    figure(name, "pass/ordinary_pass", pass.seconds / ordinary.seconds);
}

Pass ordinaryPass() {
    double load = 0;
    loadLeft(records(5000), &load);
    openWindow();
    const Pass pass = colourPass(20);
    closeWindow();
    clearPanel(leftTreeView.tree, true);
    return pass;
}

}  // namespace

void runEditorCases(HWND host, bool list, const std::string& only, bool large) {
    const int elements = large ? 400000 : 100000;
    const std::string openCase = "editor-open-" + std::to_string(elements / 1000) + "k";
    const std::string longCase = "editor-pass-long-lines";
    const std::string endCase = "editor-pass-end-" + std::to_string(elements / 1000) + "k";
    const std::string smallCase = "editor-small-after-50k-lines";
    // The window against a bare editor on the same text, each in its own process.
    const std::string memoryRecords = "editor-memory-" + std::to_string(elements / 1000) + "k";
    const bool mimeThere = GetFileAttributesW(kMimeDatabase) != INVALID_FILE_ATTRIBUTES;
    std::vector<std::string> memoryCases = {memoryRecords + "-window", memoryRecords + "-bare"};
    if (mimeThere) memoryCases.insert(memoryCases.end(), {"editor-memory-mime-window", "editor-memory-mime-bare"});
    if (list) {
        for (const std::string& name : {openCase, longCase, endCase, smallCase})
            std::printf("%s\n", name.c_str());
        for (const std::string& name : memoryCases)
            std::printf("%s\n", name.c_str());
        return;
    }
    const bool wanted[] = {only.empty() || only == openCase, only.empty() || only == longCase,
                           only.empty() || only == endCase, only.empty() || only == smallCase};
    // Run alone only: after another case the peak would be that case's.
    const bool memoryWanted = std::find(memoryCases.begin(), memoryCases.end(), only) != memoryCases.end();
    if (!wanted[0] && !wanted[1] && !wanted[2] && !wanted[3] && !memoryWanted) return;

    mainWindow = host;
    moduleInstance = GetModuleHandleW(nullptr);
    if (LoadLibraryW(L"Msftedit.dll") != nullptr) richEditClass = L"RICHEDIT50W";
    registerContentWindowClasses();
    if (memoryWanted) {
        const bool bare = only.size() > 5 && only.compare(only.size() - 5, 5, "-bare") == 0;
        memoryCase(only, host, only.rfind("editor-memory-mime", 0) == 0 ? fileBytes(kMimeDatabase) : records(elements),
                   bare);
        return;
    }
    const Pass ordinary = ordinaryPass();

    if (wanted[0] || wanted[2]) {
        double load = 0;
        if (!loadLeft(records(elements), &load)) return;
        const double open = openWindow();
        if (wanted[0]) {
            const double bare = bareEditorSeconds(host, records(elements));
            figure(openCase, "elements", static_cast<double>(ElementStore::itemCount(leftTreeView.tree)));
            figure(openCase, "load_s", load);
            figure(openCase, "open_s", open);
            figure(openCase, "open/load", open / load);
            figure(openCase, "bare_editor_s", bare);
            figure(openCase, "open/bare_editor", open / bare);
            reportPass(openCase, colourPass(5), ordinary);
        }
        if (wanted[2]) {
            SendMessageW(leftTreeView.editor, EM_LINESCROLL, 0, elements);
            reportPass(endCase, colourPass(5), ordinary);
        }
        closeWindow();
        clearPanel(leftTreeView.tree, true);
    }
    if (wanted[3]) {
        // The window open on a large document, then a small file loaded into that side:
        // against the same small load, from the same large document, without the window.
        const std::string large = lines(50000);
        const std::wstring small = writeTemp(records(50), L"verdalt-bench-small.xml");
        double load = 0;
        if (!loadLeft(large, &load)) return;
        double start = now();
        parseIntoPanel(leftTreeView, small.c_str());
        const double without = now() - start;
        if (!loadLeft(large, &load)) return;
        const double open = openWindow();
        const double largeLines = static_cast<double>(SendMessageW(leftTreeView.editor, EM_GETLINECOUNT, 0, 0));
        const double bare = bareEditorSeconds(host, large);
        start = now();
        parseIntoPanel(leftTreeView, small.c_str());
        prepareEditor(leftTreeView, rootElement(leftTreeView));
        const double with = now() - start;
        figure(smallCase, "large_lines", largeLines);
        figure(smallCase, "large_open_s", open);
        figure(smallCase, "large_bare_editor_s", bare);
        figure(smallCase, "large_open/bare_editor", open / bare);
        figure(smallCase, "small_without_window_s", without);
        figure(smallCase, "small_with_window_s", with);
        figure(smallCase, "small_with/without_window", with / without);
        closeWindow();
        clearPanel(leftTreeView.tree, true);
    }
    if (wanted[1]) {
        double load = 0;
        if (!loadLeft(longLines(), &load)) return;
        openWindow();
        SendMessageW(leftTreeView.editor, EM_LINESCROLL, 0, 4);
        reportPass(longCase, colourPass(3), ordinary);
        closeWindow();
        clearPanel(leftTreeView.tree, true);
    }
}
