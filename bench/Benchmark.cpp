// Measures loading (and, where built, comparing) on generated documents, against
// the parser's own SAX2 parse of the same bytes as the floor. Prints one line per
// figure: "case figure value".
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "model/MessageBox.h"
#include "model/ParserSetup.h"
#include "settings/OptionSet.h"
#include "bench/EditorBenchmark.h"
#include "ui/XMLTreeView.h"

namespace {

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ticksToSeconds(int64_t ticks) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) / static_cast<double>(f.QuadPart);
}

// A deterministic generator, so that every run measures the same documents.
struct Random {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

enum class Shape { Flat, Nested, Siblings };

// About `elements` elements; with `changed`, about 1% of them are changed, added,
// deleted or moved relative to the same call without it.
std::string generate(Shape shape, int elements, bool changed) {
    Random random{12345};
    Random edits{777};
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    auto edit = [&]() { return changed && edits.next() % 100 == 0; };
    switch (shape) {
    case Shape::Flat: {
        out += "<export>\n";
        int records = elements / 5;
        std::string moved;
        for (int i = 0; i < records; ++i) {
            uint32_t r = random.next();
            bool e = edit();
            int kind = e ? static_cast<int>(edits.next() % 4) : -1;
            if (kind == 2) continue;  // deleted
            std::string rec = "<record id=\"" + std::to_string(i) + "\" type=\"t" + std::to_string(r % 7) + "\">" +
                              "<name>Name " + std::to_string(r % 100000) + "</name><value>" +
                              std::to_string(kind == 0 ? r % 997 + 1 : r % 997) + ".50</value><date>2026-0" +
                              std::to_string(1 + r % 9) + "-1" + std::to_string(r % 10) + "</date><note>" +
                              (r % 3 ? "ok" : "check this record") + "</note></record>\n";
            if (kind == 3) {
                moved += rec;
                continue;
            }
            out += rec;
            if (kind == 1) out += "<record id=\"new" + std::to_string(i) + "\"><name>added</name></record>\n";
        }
        out += moved + "</export>\n";
        break;
    }
    case Shape::Nested: {
        // Fan-out 4 down to a depth that gives the element count.
        int made = 0;
        std::vector<int> stack;
        out += "<tree>";
        ++made;
        std::function<void(int)> grow = [&](int depth) {
            for (int c = 0; c < 4 && made < elements; ++c) {
                uint32_t r = random.next();
                bool e = edit();
                ++made;
                out += "<node level=\"" + std::to_string(depth) + "\" n=\"" + std::to_string(c) + "\">";
                out += e ? "changed" : "v" + std::to_string(r % 1000);
                if (depth < 9) grow(depth + 1);
                out += "</node>";
            }
        };
        grow(1);
        out += "</tree>\n";
        break;
    }
    case Shape::Siblings: {
        out += "<list>\n";
        for (int i = 1; i < elements; ++i) {
            uint32_t r = random.next();
            bool e = edit();
            out += "<item k=\"" + std::to_string(r % 50000) + "\">" + std::to_string(e ? r % 991 + 1 : r % 991) +
                   "</item>\n";
        }
        out += "</list>\n";
        break;
    }
    }
    return out;
}

class EmptyHandler : public xercesc::DefaultHandler {};

double rawParse(const std::string& bytes) {
    xercesc::SAX2XMLReader* reader = xercesc::XMLReaderFactory::createXMLReader();
    EmptyHandler handler;
    reader->setContentHandler(&handler);
    reader->setErrorHandler(&handler);
    xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(), "bench");
    double start = now();
    reader->parse(source);
    double seconds = now() - start;
    delete reader;
    return seconds;
}

std::wstring writeTemp(const std::string& bytes, const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

size_t peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize;
}

HWND makeTree(HWND parent) {
    return CreateWindowExW(0, WC_TREEVIEWW, L"XML", WS_CHILD | TVS_HASBUTTONS, 0, 0, 400, 400, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void figure(const std::string& name, const char* what, double value) {
    std::printf("%s %s %.6g\n", name.c_str(), what, value);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (!setupParser()) return 2;
    setBoxHandler([](HWND, const wchar_t* text, const wchar_t*, UINT) {
        std::fwprintf(stderr, L"box: %ls\n", text);
        return IDOK;
    });
    OptionSet::DisplayFullMode = 0;
    // --small: the 100,000-element cases only; --list: the case names; --case NAME: that case
    // alone (the peak working set is the process's, so each case wants a process of its own).
    bool large = true;
    bool list = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--small") large = false;
        if (a == L"--list") list = true;
        if (a == L"--case" && i + 1 < argc) {
            std::wstring w = argv[++i];
            only.assign(w.begin(), w.end());
        }
    }

    HWND host = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    leftTreeView.tree = makeTree(host);
    rightTreeView.tree = makeTree(host);

    struct Case {
        const char* name;
        Shape shape;
    };
    const Case shapes[] = {{"flat", Shape::Flat}, {"nested", Shape::Nested}, {"siblings", Shape::Siblings}};
    std::vector<int> sizes = {100000};
    if (large) sizes.push_back(400000);
    for (const Case& shape : shapes) {
        double perElement[2] = {0, 0};
        for (size_t s = 0; s < sizes.size(); ++s) {
            for (bool changed : {false, true}) {
                std::string name = std::string(shape.name) + "-" + std::to_string(sizes[s] / 1000) + "k" +
                                   (changed ? "-1pct" : "-identical");
                if (list) {
                    std::printf("%s\n", name.c_str());
                    continue;
                }
                if (!only.empty() && only != name) continue;
                std::string left = generate(shape.shape, sizes[s], false);
                std::string right = generate(shape.shape, sizes[s], changed);
                std::wstring leftPath = writeTemp(left, L"verdalt-bench-left.xml");
                std::wstring rightPath = writeTemp(right, L"verdalt-bench-right.xml");

                double parse = rawParse(left) + rawParse(right);
                ElementStore::displayClock.enabled = true;
                ElementStore::displayClock.ticks = 0;
                double start = now();
                parseIntoPanel(leftTreeView, leftPath.c_str());
                parseIntoPanel(rightTreeView, rightPath.c_str());
                double load = now() - start;
                double display = ticksToSeconds(ElementStore::displayClock.ticks);
                size_t count = ElementStore::itemCount(leftTreeView.tree) + ElementStore::itemCount(rightTreeView.tree);
                double own = load - display;

                figure(name, "elements", static_cast<double>(count));
                figure(name, "parse_s", parse);
                figure(name, "load_s", load);
                figure(name, "load_display_s", display);
                figure(name, "load_own_s", own);
                figure(name, "load/parse", load / parse);
                figure(name, "load_own/parse", own / parse);
                figure(name, "own_us_per_element", own * 1e6 / static_cast<double>(count));
                figure(name, "peak/input",
                       static_cast<double>(peakWorkingSet()) / static_cast<double>(left.size() + right.size()));
                if (!changed) perElement[s] = own / static_cast<double>(count);

                XMLTreeItem* leftRoot = XMLTreeItem::fromHandle(leftTreeView.tree, ElementStore::root(leftTreeView.tree));
                XMLTreeItem* rightRoot =
                    XMLTreeItem::fromHandle(rightTreeView.tree, ElementStore::root(rightTreeView.tree));
                ElementStore::displayClock.ticks = 0;
                start = now();
                compareTrees(leftRoot, rightRoot);
                double compare = now() - start;
                figure(name, "compare_s", compare);
                figure(name, "compare_display_s", ticksToSeconds(ElementStore::displayClock.ticks));
                figure(name, "compare/load", compare / load);
                figure(name, "compare/load_own", compare / own);
                figure(name, "identical_pairs", comparisonCounters.identicalCount);
                figure(name, "different_pairs", comparisonCounters.differentCount);
                figure(name, "peak_after_compare/input",
                       static_cast<double>(peakWorkingSet()) / static_cast<double>(left.size() + right.size()));

                start = now();
                ElementStore::displayClock.ticks = 0;
                clearPanel(leftTreeView.tree, true);
                clearPanel(rightTreeView.tree, true);
                figure(name, "clear_s", now() - start);
                figure(name, "clear_display_s", ticksToSeconds(ElementStore::displayClock.ticks));
                ElementStore::displayClock.enabled = false;
                DeleteFileW(leftPath.c_str());
                DeleteFileW(rightPath.c_str());
            }
        }
        if (sizes.size() > 1 && perElement[0] > 0 && perElement[1] > 0)
            figure(shape.name, "own_per_element_growth_100k_to_400k", perElement[1] / perElement[0]);
    }
    runEditorCases(host, list, only, large);
    DestroyWindow(host);
    terminateParser();
    return 0;
}
