// Measures loading, comparing, saving and clearing on generated documents, against the
// parser's own SAX2 parse of the same bytes as the floor. Prints one line per figure:
// "case figure value". The "road-" cases take the user's road through the main
// window: its load commands, Compare Files and the clearing of both panels, with
// every message pumped and painted.
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

#include "bench/BenchSupport.h"
#include "bench/EditorBenchmark.h"
#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "settings/Registry.h"
#include "settings/XmlOutput.h"
#include "ui/Commands.h"
#include "ui/FileDialogs.h"
#include "ui/MainWindow.h"
#include "ui/TreeCommands.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

namespace {

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

enum class Shape { Flat, Nested, Siblings, Deep, Prose };

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
    case Shape::Deep: {
        // One chain of `elements` levels, each with a short text; a changed level differs in
        // its text, and the deepest level always differs, so that a difference sits at the bottom.
        for (int level = 0; level < elements; ++level) {
            uint32_t r = random.next();
            bool e = edit() || (changed && level == elements - 1);
            out += "<level>";
            out += e ? "changed" : "v" + std::to_string(r % 10);
        }
        for (int level = 0; level < elements; ++level)
            out += "</level>";
        out += "\n";
        break;
    }
    case Shape::Prose: {
        // Paragraphs of text around inline elements at the start, in the middle and at the end
        // of their runs; a changed paragraph has an inline element moved by one word.
        out += "<html><body>\n";
        for (int i = 0; i < elements / 4; ++i) {
            uint32_t r = random.next();
            const std::string word = "w" + std::to_string(r % 500);
            const std::string bold = "<b>" + std::to_string(r % 97) + "</b>";
            out += "<p>" + bold + " item " + std::to_string(i) +
                   (edit() ? " is " + word + " <a href=\"#x\">" : " is <a href=\"#x\">" + word + " ") +
                   "linked</a> for the details of " + word + " and more <i>" + std::to_string(r % 13) + "</i></p>\n";
        }
        out += "</body></html>\n";
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

int64_t fileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The left root under each of the save modes measured, into a temporary file, against the
// parser's own parse of the left file.
void measureSaves(const std::string& name, const XMLTreeItem& leftRoot, double leftParse) {
    struct Save {
        const char* figure;
        int mode;
    };
    const Save saves[] = {{"save_element", 568}, {"save_differences", 980}, {"merge", 981}, {"report", 986}};
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"verdalt-bench-out.xml";
    for (const Save& save : saves) {
        const double start = now();
        const DWORD error = writeXmlOutput(path.c_str(), leftRoot, save.mode, &leftTreeView.outputEncoding,
                                           DoctypeFields{nullptr, nullptr, nullptr});
        const double seconds = now() - start;
        // A report of identical documents holds nothing and is not written.
        if (error == kNothingToReportError) continue;
        if (error != ERROR_SUCCESS) std::fprintf(stderr, "%s: save %d failed: %lu\n", name.c_str(), save.mode, error);
        const std::string figureName = save.figure;
        figure(name, (figureName + "_s").c_str(), seconds);
        figure(name, (figureName + "_bytes").c_str(), static_cast<double>(fileSize(path)));
        figure(name, (figureName + "/parse").c_str(), seconds / leftParse);
        DeleteFileW(path.c_str());
    }
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


void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

size_t displayItems() {
    return ElementStore::displayItemCount(leftTreeView.tree) + ElementStore::displayItemCount(rightTreeView.tree);
}

// The user's road: the main window shown, both files opened through the Open commands
// (the file dialog answered by its seam), Compare Files with its summary box (answered
// by the box seam), then both panels cleared.
int runRoad(const std::string& name, Shape shape, int elements, bool expandDifferences) {
    setProgramKeyPath(L"Software\\VerdaltBench");
    firstStartNotice = [] {};
    OptionSet::ApplicationVersion = OptionSet::kApplicationVersion;
    OptionSet::TipOfTheDay = 0;
    OptionSet::AutoCompare = 0;  // Compare Files is its own step
    OptionSet::AutoLoad = 0;
    OptionSet::ResultView = 1;
    OptionSet::ExpandDiff = expandDifferences ? 1 : 0;
    OptionSet::DisplayFullMode = 0;
    std::string left = generate(shape, elements, false);
    std::string right = generate(shape, elements, true);
    std::wstring leftPath = writeTemp(left, L"verdalt-road-left.xml");
    std::wstring rightPath = writeTemp(right, L"verdalt-road-right.xml");
    const double parse = rawParse(left) + rawParse(right);
    const double input = static_cast<double>(left.size() + right.size());
    int boxes = 0;
    setBoxHandler([&boxes](HWND, const wchar_t*, const wchar_t*, UINT) {
        ++boxes;
        return IDOK;
    });
    std::wstring answer;
    setFileDialogHandler([&answer](OPENFILENAMEW& record, bool) {
        wcsncpy(record.lpstrFile, answer.c_str(), record.nMaxFile - 1);
        record.lpstrFile[record.nMaxFile - 1] = 0;
        return true;
    });

    double start = now();
    HWND window = startMainWindow(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
    if (window == nullptr) return 3;
    pump();
    figure(name, "window_s", now() - start);
    figure(name, "parse_s", parse);

    auto step = [&](const char* what, const std::function<void()>& act) {
        ElementStore::displayClock.enabled = true;
        ElementStore::displayClock.ticks = 0;
        double begin = now();
        act();
        double acted = now();
        UpdateWindow(window);
        pump();
        double seconds = now() - begin;
        ElementStore::displayClock.enabled = false;
        figure(name, (std::string(what) + "_store_messages_s").c_str(), ticksToSeconds(ElementStore::displayClock.ticks));
        figure(name, (std::string(what) + "_paint_s").c_str(), now() - acted);
        figure(name, (std::string(what) + "_s").c_str(), seconds);
        figure(name, (std::string(what) + "/parse").c_str(), seconds / parse);
        figure(name, (std::string(what) + "_display_items").c_str(), static_cast<double>(displayItems()));
        return seconds;
    };
    double load = step("load", [&] {
        answer = leftPath;
        SendMessageW(window, WM_COMMAND, IDM_OPEN_FIRST, 0);
        answer = rightPath;
        SendMessageW(window, WM_COMMAND, IDM_OPEN_SECOND, 0);
    });
    figure(name, "elements",
           static_cast<double>(ElementStore::itemCount(leftTreeView.tree) + ElementStore::itemCount(rightTreeView.tree)));
    double compare = step("compare", [&] { SendMessageW(window, WM_COMMAND, IDM_COMPARE_FILES, 0); });
    figure(name, "compare/load", compare / load);
    figure(name, "load_compare/parse", (load + compare) / parse);
    // Per element, so that sizes compare: flat from one size to the next when every step is linear.
    const size_t count = ElementStore::itemCount(leftTreeView.tree) + ElementStore::itemCount(rightTreeView.tree);
    figure(name, "load_compare_us_per_element", (load + compare) * 1e6 / static_cast<double>(count));
    figure(name, "summary_boxes", boxes);
    figure(name, "identical_pairs", comparisonCounters.identicalCount);
    figure(name, "different_pairs", comparisonCounters.differentCount);
    figure(name, "peak/input", static_cast<double>(peakWorkingSet()) / input);
    double clear = step("clear", [&] {
        clearPanel(leftTreeView.tree, true);
        clearPanel(rightTreeView.tree, true);
    });
    figure(name, "clear/load", clear / load);
    saveAtExit = 0;
    DestroyWindow(window);
    pump();
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VerdaltBench");
    DeleteFileW(leftPath.c_str());
    DeleteFileW(rightPath.c_str());
    return 0;
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
    // --small: the 100,000-element cases only; --deep: the deep-nesting cases only; --list: the
    // case names; --case NAME: that case alone (the peak working set is the process's, so each
    // case wants a process of its own).
    bool large = true;
    bool deepOnly = false;
    bool list = false;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--small") large = false;
        if (a == L"--deep") deepOnly = true;
        if (a == L"--list") list = true;
        if (a == L"--case" && i + 1 < argc) {
            std::wstring w = argv[++i];
            only.assign(w.begin(), w.end());
        }
    }

    // The road: flat and nested at 100,000, 200,000 and 400,000 elements, the wide shape,
    // one root with 100,000 and 200,000 children, and one chain of 10,000, 30,000 and
    // 100,000 levels, also with the differences expanded.
    struct Road {
        const char* name;
        Shape shape;
        int elements;
        bool small;
        bool expandDifferences = false;  // "ExpandDiff": the compare step gives every differing chain its items
    };
    const Road roads[] = {
        {"road-flat-100k", Shape::Flat, 100000, true},       {"road-flat-200k", Shape::Flat, 200000, false},
        {"road-flat-400k", Shape::Flat, 400000, false},      {"road-nested-100k", Shape::Nested, 100000, true},
        {"road-nested-200k", Shape::Nested, 200000, false},  {"road-nested-400k", Shape::Nested, 400000, false},
        {"road-siblings-400k", Shape::Siblings, 400000, false}, {"road-wide-100k", Shape::Siblings, 100001, true},
        {"road-wide-200k", Shape::Siblings, 200001, false},
        {"road-deep-10k", Shape::Deep, 10000, true},         {"road-deep-30k", Shape::Deep, 30000, true},
        {"road-deep-100k", Shape::Deep, 100000, true},      {"road-deep-expand-10k", Shape::Deep, 10000, true, true},
        {"road-deep-expand-30k", Shape::Deep, 30000, true, true},
    };
    for (const Road& road : roads) {
        if (!large && !road.small) continue;
        if (deepOnly && road.shape != Shape::Deep) continue;
        if (list) std::printf("%s\n", road.name);
        if (only == road.name) {
            int result = runRoad(road.name, road.shape, road.elements, road.expandDifferences);
            terminateParser();
            return result;
        }
    }
    if (deepOnly) {
        terminateParser();
        return 0;
    }

    HWND host = CreateWindowExW(0, L"STATIC", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    leftTreeView.tree = makeTree(host);
    rightTreeView.tree = makeTree(host);

    struct Case {
        const char* name;
        Shape shape;
    };
    const Case shapes[] = {
        {"flat", Shape::Flat}, {"nested", Shape::Nested}, {"siblings", Shape::Siblings}, {"prose", Shape::Prose}};
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

                double leftParse = rawParse(left);
                double parse = leftParse + rawParse(right);
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

                // Expand and Collapse Nodes on the whole left tree.
                currentElement = nullptr;
                start = now();
                expandCollapseNodes(IDM_EXPAND_NODES);
                figure(name, "expand_nodes_s", now() - start);
                start = now();
                expandCollapseNodes(IDM_COLLAPSE_NODES);
                figure(name, "collapse_nodes_s", now() - start);
                figure(name, "parse_left_s", leftParse);
                measureSaves(name, *leftRoot, leftParse);

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
