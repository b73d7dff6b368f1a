// Results of namespaced documents: every file a save command writes declares the
// namespaces its names use, bound as the names' own documents bind them, whatever element
// was selected and whichever side the elements come from; "IgnoreNamespaces" changes the
// comparison, never what is written.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"
#include "tests/support/PlainContentReader.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/ElementCommands.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

namespace {

// A default namespace and two prefixes on the root, ex bound again lower down; the partner
// binds ex to another namespace. Every leaf's text tells the side it comes from.
const char kLeft[] =
    "<policy xmlns=\"urn:example:policy\" xmlns:ex=\"urn:example:notes\" xmlns:dc=\"urn:example:dc\">"
    "<action id=\"a1\" dc:owner=\"o\">"
    "<ex:note ex:level=\"2\">left note</ex:note>"
    "<group xmlns:ex=\"urn:example:other\"><ex:item ex:k=\"1\">left item</ex:item></group>"
    "<m>left m</m>"
    "</action>"
    "<dc:title>t</dc:title>"
    "</policy>";
const char kRight[] =
    "<policy xmlns=\"urn:example:policy\" xmlns:ex=\"urn:example:partner\" xmlns:dc=\"urn:example:dc\">"
    "<action id=\"a1\" dc:owner=\"o\">"
    "<ex:note ex:level=\"3\">right note</ex:note>"
    "<m>right m</m>"
    "<ex:extra ex:v=\"1\"/>"
    "</action>"
    "<dc:title>t</dc:title>"
    "</policy>";

std::wstring localOf(const std::wstring& name) {
    const size_t colon = name.find(L':');
    return colon == std::wstring::npos ? name : name.substr(colon + 1);
}

std::wstring trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// An element's identity across the files of a test: its local name and its own text (the
// fixtures give elements of one local name in different namespaces different texts). A
// report writes a text among comments, so only the last line counts.
std::wstring keyOf(const PlainElement& e) {
    std::wstring text = trimmed(e.text);
    const size_t lastBreak = text.find_last_of(L"\n");
    if (lastBreak != std::wstring::npos) text = trimmed(text.substr(lastBreak + 1));
    return localOf(e.name) + L"|" + text;
}

// The namespace of each element and attribute of the source documents, by key.
using NamespaceMap = std::map<std::wstring, std::wstring>;

void addNamespaces(const PlainDocument& document, NamespaceMap* map) {
    for (const PlainElement& e : document.elements) {
        const std::wstring key = keyOf(e);
        (*map)[key] = e.uri;
        (*map)[localOf(e.name) + L"|"] = e.uri;  // a report's lists name elements without text
        for (size_t i = 0; i < e.attributes.size(); ++i)
            (*map)[key + L"@" + localOf(e.attributes[i].first)] = e.attributeUris[i];
    }
}

// What of the written file is not in the namespace its source gave it; empty when all is.
std::string misplacedNames(const PlainDocument& written, const NamespaceMap& sources) {
    std::string wrong;
    for (const PlainElement& e : written.elements) {
        const std::wstring key = keyOf(e);
        auto found = sources.find(key);
        if (found == sources.end()) found = sources.find(localOf(e.name) + L"|");
        if (found == sources.end() || found->second != e.uri) wrong += narrow(e.name) + " in {" + narrow(e.uri) + "}\n";
        for (size_t i = 0; i < e.attributes.size(); ++i) {
            auto attribute = sources.find(key + L"@" + localOf(e.attributes[i].first));
            if (attribute == sources.end() || attribute->second != e.attributeUris[i])
                wrong +=
                    narrow(e.name) + "@" + narrow(e.attributes[i].first) + " in {" + narrow(e.attributeUris[i]) + "}\n";
        }
    }
    return wrong;
}

class NamespaceResultsTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;
    int saved = 0;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::OpenAfterSave = 0;
        OptionSet::UseEncoding = 0;
        OptionSet::InsertPI = 0;
        OptionSet::PrintDoctype = 0;
        OptionSet::IgnoreOrderElements = 0;
        OptionSet::IgnoreNamespaces = 0;
        OptionSet::DoNamespaces = 1;
        start();
    }

    void TearDown() override {
        currentOutputSpec = &defaultWriterSpec;
        MainWindowFixture::TearDown();
    }

    void loadPair(const std::string& left, const std::string& right) {
        emptyBothPanels();
        load(leftTreeView, left, L"left.xml");
        load(rightTreeView, right, L"right.xml");
        ASSERT_EQ(filesCompared, 1);
    }

    static void select(XMLTreeItem* element) {
        ASSERT_NE(element, nullptr);
        const HWND tree = element->treeView;
        ElementStore::select(tree, nullptr);
        ElementStore::select(tree, element->treeItem);
        ASSERT_EQ(currentElement, element);
    }

    static XMLTreeItem* root(const XMLTreeView& panel) {
        return ElementStore::record(panel.tree, ElementStore::root(panel.tree));
    }

    // Runs a save command through its dialog; the path of the file.
    std::wstring saveCommand(int id) {
        const std::wstring path = dir.file(L"result" + std::to_wstring(++saved) + L".xml");
        DialogScript dialogs;
        dialogs.answer(path);
        BoxScript boxes;
        SendMessageW(mainWindow, WM_COMMAND, id, 0);
        EXPECT_TRUE(boxes.shown().empty());
        return path;
    }

    // The first record in panel whose name is name, in document order.
    static XMLTreeItem* named(const XMLTreeView& panel, const std::wstring& name) { return elementNamed(panel, name); }
};

// Every save command, on a child of the root and on the root, from either side: each file
// reads with namespaces, every element and attribute in the namespace its own document gave
// it, and the program reads it back without a message.
TEST_F(NamespaceResultsTest, EveryResultDeclaresWhatItsNamesUse) {
    NamespaceMap sources;
    {
        const std::wstring left = dir.write(L"sourceLeft.xml", kLeft);
        const std::wstring right = dir.write(L"sourceRight.xml", kRight);
        const PlainDocument l = readPlain(left, true);
        const PlainDocument r = readPlain(right, true);
        ASSERT_TRUE(l.wellFormed && r.wellFormed);
        addNamespaces(l, &sources);
        addNamespaces(r, &sources);
    }
    struct Case {
        const char* what;
        int command;
        const wchar_t* selected;
        bool fromRight;
        int insertPI;
    };
    const Case cases[] = {
        {"Save XML Element of a child", IDM_SAVE_ELEMENT, L"action", false, 0},
        {"Save XML Element of the root", IDM_SAVE_ELEMENT, L"policy", false, 0},
        {"Save XML Element of a prefixed leaf", IDM_SAVE_ELEMENT, L"ex:note", false, 0},
        {"Save Differences of a child", IDM_SAVE_DIFFERENCES, L"action", false, 0},
        {"Save Differences of the root", IDM_SAVE_DIFFERENCES, L"policy", false, 0},
        {"Save Differences of a child with markers", IDM_SAVE_DIFFERENCES, L"action", false, 1},
        {"Merge of a child", IDM_MERGE, L"action", false, 0},
        {"Merge of a child from the right", IDM_MERGE, L"action", true, 0},
        {"Merge of the root", IDM_MERGE, L"policy", false, 0},
        {"Merge of the root with markers", IDM_MERGE, L"policy", false, 1},
        {"Save Deleted And Changed Elements of a child", IDM_SAVE_DELETED_CHANGED, L"action", false, 0},
        {"Save Common Elements of the root", IDM_SAVE_COMMON, L"policy", false, 0},
        {"the report of a child", IDM_SAVE_REPORT, L"action", false, 0},
        {"the report of the root", IDM_SAVE_REPORT, L"policy", false, 0},
        {"the report of the root from the right", IDM_SAVE_REPORT, L"policy", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OptionSet::InsertPI = c.insertPI;
        loadPair(kLeft, kRight);
        select(named(c.fromRight ? rightTreeView : leftTreeView, c.selected));
        const std::wstring path = saveCommand(c.command);
        const std::string bytes = dir.read(path.substr(path.find_last_of(L'\\') + 1));
        const PlainDocument written = readPlain(path, true);
        EXPECT_TRUE(written.wellFormed) << narrow(written.firstError) << "\n" << bytes;
        if (!written.wellFormed) continue;
        EXPECT_FALSE(written.elements.empty()) << bytes;
        EXPECT_EQ(misplacedNames(written, sources), "") << bytes;
        BoxScript noBoxes;
        EXPECT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded) << bytes;
    }
}

// A saved element reads back into the program and compares identical to its source: the
// root as it is, a part whose top now declares what its ancestors did once the declarations
// are left out of the comparison.
TEST_F(NamespaceResultsTest, ASavedElementComparesIdenticalToItsSource) {
    struct Case {
        const wchar_t* selected;
        int ignoreNamespaces;
    };
    const Case cases[] = {{L"policy", 0}, {L"policy", 1}, {L"action", 1}, {L"group", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.selected) + " IgnoreNamespaces " + std::to_string(c.ignoreNamespaces));
        OptionSet::IgnoreNamespaces = c.ignoreNamespaces;
        loadPair(kLeft, kRight);
        select(named(leftTreeView, c.selected));
        const std::wstring path = saveCommand(IDM_SAVE_ELEMENT);
        const PlainDocument written = readPlain(path, true);
        ASSERT_TRUE(written.wellFormed) << narrow(written.firstError);
        ASSERT_FALSE(written.elements.empty());
        EXPECT_EQ(written.elements[0].uri, L"urn:example:policy");
        BoxScript noBoxes;
        ASSERT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded);
        XMLTreeItem* source = named(leftTreeView, c.selected);
        XMLTreeItem* copy = root(rightTreeView);
        ASSERT_NE(source, nullptr);
        ASSERT_NE(copy, nullptr);
        compareTrees(source, copy);
        EXPECT_EQ(source->partner, copy);
        EXPECT_TRUE(source->equals(copy));
        EXPECT_EQ(comparisonCounters.differentCount, 0u);
    }
}

// An element copied from the other document keeps the namespaces its names had there,
// through Insert Element and Replace Element with, and so do the attributes Synchronize
// Elements takes from the partner; a save of the root reads back.
TEST_F(NamespaceResultsTest, ACopyFromTheOtherDocumentKeepsItsNamespaces) {
    const char left[] = "<doc xmlns=\"urn:example:left\"><a>1</a><b/></doc>";
    const char right[] =
        "<doc xmlns=\"urn:example:left\" xmlns:ex=\"urn:example:notes\"><a ex:level=\"1\">2</a>"
        "<ex:note ex:level=\"2\"><ex:line>x</ex:line><plain/></ex:note></doc>";
    enum Command { kInsert, kReplace, kSynchronize };
    struct Case {
        const char* what;
        Command command;
        const wchar_t* taken;    // the right element the left a takes from
        const wchar_t* checked;  // the element of the written file that came over
    };
    const Case cases[] = {
        {"Insert Element", kInsert, L"ex:note", L"ex:note"},
        {"Replace Element with", kReplace, L"ex:note", L"ex:note"},
        {"Synchronize Elements", kSynchronize, L"a", L"a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(left, right);
        XMLTreeItem* target = named(leftTreeView, L"a");
        XMLTreeItem* taken = named(rightTreeView, c.taken);
        ASSERT_NE(target, nullptr);
        ASSERT_NE(taken, nullptr);
        switch (c.command) {
            case kInsert:
                insertSelected(target, taken);
                break;
            case kReplace:
                replaceSelected(target, taken);
                break;
            case kSynchronize:
                synchronizeSelected(target, taken);
                break;
        }
        select(root(leftTreeView));
        const std::wstring path = saveCommand(IDM_SAVE_ELEMENT);
        const std::string bytes = dir.read(path.substr(path.find_last_of(L'\\') + 1));
        const PlainDocument written = readPlain(path, true);
        ASSERT_TRUE(written.wellFormed) << narrow(written.firstError) << "\n" << bytes;
        const PlainElement* copied = written.named(c.checked);
        ASSERT_NE(copied, nullptr) << bytes;
        EXPECT_EQ(copied->uri, c.command == kSynchronize ? L"urn:example:left" : L"urn:example:notes");
        ASSERT_EQ(copied->attributes.size(), 1u) << bytes;
        EXPECT_EQ(copied->attributes[0].first, L"ex:level");
        EXPECT_EQ(copied->attributeUris[0], L"urn:example:notes");
        if (c.command != kSynchronize) {
            ASSERT_NE(written.named(L"plain"), nullptr);
            EXPECT_EQ(written.named(L"plain")->uri, L"urn:example:left");
        }
        EXPECT_EQ(written.named(L"doc")->uri, L"urn:example:left");
        BoxScript noBoxes;
        EXPECT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded) << bytes;
    }
}

// With "IgnoreNamespaces" on, the prefixed and the default-namespace forms of one document
// compare identical, while the tree and every save keep the names and declarations.
TEST_F(NamespaceResultsTest, IgnoringNamespacesKeepsNamesAndDeclarations) {
    OptionSet::IgnoreNamespaces = 1;
    const char prefixed[] =
        "<svg:svg xmlns:svg=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"10\"><svg:g id=\"g1\"><svg:rect width=\"2\"/></svg:g>"
        "<svg:a href=\"#one\" xlink:href=\"#two\"><svg:circle r=\"1\"/></svg:a></svg:svg>";
    const char plain[] =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
        "width=\"10\"><g id=\"g1\"><rect width=\"2\"/></g>"
        "<a href=\"#one\" xlink:href=\"#two\"><circle r=\"1\"/></a></svg>";
    loadPair(prefixed, plain);
    XMLTreeItem* left = root(leftTreeView);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(narrow(left->nameText()), "svg:svg");
    ASSERT_NE(left->partner, nullptr);
    EXPECT_TRUE(left->equals(left->partner));
    EXPECT_EQ(comparisonCounters.differentCount, 0u);

    struct Case {
        const char* what;
        XMLTreeView* panel;
        const wchar_t* selected;
        const wchar_t* anchor;  // the name of the a element in that file
    };
    const Case cases[] = {
        {"the prefixed root", &leftTreeView, L"svg:svg", L"svg:a"},
        {"the prefixed a", &leftTreeView, L"svg:a", L"svg:a"},
        {"the plain a", &rightTreeView, L"a", L"a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(prefixed, plain);
        select(named(*c.panel, c.selected));
        const std::wstring path = saveCommand(IDM_SAVE_ELEMENT);
        const std::string bytes = dir.read(path.substr(path.find_last_of(L'\\') + 1));
        const PlainDocument written = readPlain(path, true);
        ASSERT_TRUE(written.wellFormed) << narrow(written.firstError) << "\n" << bytes;
        const PlainElement* anchor = written.named(c.anchor);
        ASSERT_NE(anchor, nullptr) << bytes;
        EXPECT_EQ(anchor->uri, L"http://www.w3.org/2000/svg");
        std::vector<std::wstring> attributes;
        for (size_t i = 0; i < anchor->attributes.size(); ++i)
            attributes.push_back(anchor->attributes[i].first + L"{" + anchor->attributeUris[i] + L"}=" +
                                 anchor->attributes[i].second);
        EXPECT_EQ(attributes,
                  (std::vector<std::wstring>{L"href{}=#one", L"xlink:href{http://www.w3.org/1999/xlink}=#two"}))
            << bytes;
        for (const PlainElement& e : written.elements)
            EXPECT_EQ(e.uri, L"http://www.w3.org/2000/svg") << narrow(e.name);
        BoxScript noBoxes;
        EXPECT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded) << bytes;
    }
}

// Under "IgnoreNamespaces" the attributes of a pair are matched by their local names and
// the declarations are no difference: the report of the prefixed form against the
// default-namespace form names only the attribute that differs, in a file that reads back.
TEST_F(NamespaceResultsTest, IgnoringNamespacesReportsOnlyWhatDiffers) {
    OptionSet::IgnoreNamespaces = 1;
    const char prefixed[] =
        "<svg:svg xmlns:svg=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">"
        "<svg:g><svg:rect width=\"2\" xlink:title=\"r\"/></svg:g></svg:svg>";
    const char plain[] =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:l=\"http://www.w3.org/1999/xlink\">"
        "<g><rect width=\"3\" l:title=\"r\"/></g></svg>";
    loadPair(prefixed, plain);
    select(root(leftTreeView));
    const std::wstring path = saveCommand(IDM_SAVE_REPORT);
    std::string bytes = dir.read(path.substr(path.find_last_of(L'\\') + 1));
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
    std::vector<std::string> comments;
    for (size_t at = bytes.find("<!--"); at != std::string::npos; at = bytes.find("<!--", at + 1))
        comments.push_back(bytes.substr(at, bytes.find("-->", at) + 3 - at));
    EXPECT_EQ(comments, std::vector<std::string>{"<!--  width=\"3\" -->"}) << bytes;
    const PlainDocument written = readPlain(path, true);
    ASSERT_TRUE(written.wellFormed) << narrow(written.firstError) << "\n" << bytes;
    const PlainElement* rect = written.named(L"svg:rect");
    ASSERT_NE(rect, nullptr) << bytes;
    EXPECT_EQ(rect->uri, L"http://www.w3.org/2000/svg");
    ASSERT_EQ(rect->attributes.size(), 1u) << bytes;
    EXPECT_EQ(rect->attributes[0].first + L"=" + rect->attributes[0].second, L"width=2");
}

// A report that would hold nothing is not written: a box says why, and no file is asked
// for.
TEST_F(NamespaceResultsTest, AReportOfNothingWritesNoFile) {
    struct Case {
        const char* what;
        const char* left;
        const char* right;
        const wchar_t* selected;
        const wchar_t* message;
    };
    const Case cases[] = {
        {"identical documents", kLeft, kLeft, L"policy",
         L"The element and its partner are identical: there is nothing to report.\nNo report was saved."},
        {"an element without partner", kLeft, kRight, L"group",
         L"The element has no partner in the other file: there is nothing to report.\nNo report was saved."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(c.left, c.right);
        select(named(leftTreeView, c.selected));
        const std::vector<std::wstring> before = dir.names();
        DialogScript dialogs;
        BoxScript boxes;
        boxes.expect(c.message, L"Save Report");
        SendMessageW(mainWindow, WM_COMMAND, IDM_SAVE_REPORT, 0);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_TRUE(dialogs.shown().empty());
        EXPECT_EQ(dir.names(), before);
    }
}

}  // namespace
