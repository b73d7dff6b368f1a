#include "bench/EditorBenchmark.h"

#include <richedit.h>

#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "ui/CommandHandlers.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/XMLTreeView.h"
#include "ui/editor/ContentWindow.h"
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

double openWindow() {
    const double start = now();
    createXMLContentWindow(mainWindow);
    MoveWindow(contentPane.window, 0, 0, 1000, 560, FALSE);
    loadEditors(rootElement(leftTreeView));
    return now() - start;
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
    if (list) {
        for (const std::string& name : {openCase, longCase, endCase})
            std::printf("%s\n", name.c_str());
        return;
    }
    const bool wanted[] = {only.empty() || only == openCase, only.empty() || only == longCase,
                           only.empty() || only == endCase};
    if (!wanted[0] && !wanted[1] && !wanted[2]) return;

    mainWindow = host;
    moduleInstance = GetModuleHandleW(nullptr);
    if (LoadLibraryW(L"Msftedit.dll") != nullptr) richEditClass = L"RICHEDIT50W";
    registerContentWindowClasses();
    const Pass ordinary = ordinaryPass();

    if (wanted[0] || wanted[2]) {
        double load = 0;
        if (!loadLeft(records(elements), &load)) return;
        const double open = openWindow();
        if (wanted[0]) {
            figure(openCase, "elements", static_cast<double>(ElementStore::itemCount(leftTreeView.tree)));
            figure(openCase, "load_s", load);
            figure(openCase, "open_s", open);
            figure(openCase, "open/load", open / load);
            reportPass(openCase, colourPass(5), ordinary);
        }
        if (wanted[2]) {
            SendMessageW(leftTreeView.editor, EM_LINESCROLL, 0, elements);
            reportPass(endCase, colourPass(5), ordinary);
        }
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
