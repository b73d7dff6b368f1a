#include "settings/XmlWriter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/ElementStore.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"
#include "settings/XmlOutput.h"
#include "tests/support/PlainContentReader.h"
#include "tests/support/PlainReader.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// The own side (left) against its partner (right): an equal leaf, a changed text, an
// element each side has alone, and a subtree with one equal and one changed leaf.
const char kLeft[] =
    "<root v=\"1\"><same>s</same><changed>new</changed><added/><sub><leaf>a</leaf><leaf>b</leaf></sub></root>";
const char kRight[] =
    "<root v=\"2\"><same>s</same><changed>old</changed><gone>g</gone><sub><leaf>a</leaf><leaf>c</leaf></sub></root>";

class XmlWriterTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
    EncodingSpec spec;
    int outputs = 0;

    void SetUp() override {
        OptionSet::IgnoreOrderElements = 0;
        OptionSet::InsertPI = 0;
        OptionSet::IncludeIgnoredElements = 0;
        OptionSet::PrintDoctype = 0;
        OptionSet::ShowErrorMessages = 1;
        spec.setName(L"UTF-8");
        spec.endOfLine = 2;
    }

    void TearDown() override {
        entireElementList = EntireElementList();
        ignoreList.clear();
        setWriteFailureAfter(-1);
        currentOutputSpec = &defaultWriterSpec;
    }

    void loadPair(const std::string& left, const std::string& right) {
        ASSERT_EQ(loadXml(leftTreeView, left, dir, L"left.xml"), kLoaded);
        ASSERT_EQ(loadXml(rightTreeView, right, dir, L"right.xml"), kLoaded);
        compare();
    }

    static void compare() { compareTrees(root(leftTreeView), root(rightTreeView)); }

    static XMLTreeItem* root(const XMLTreeView& panel) {
        return ElementStore::record(panel.tree, ElementStore::root(panel.tree));
    }

    // The whole output file, each in a file of its own.
    std::string saveWhole(const XMLTreeItem* element, int mode, std::wstring* pathOut = nullptr) {
        const std::wstring name = L"out" + std::to_wstring(++outputs) + L".xml";
        const std::wstring path = dir.file(name);
        EXPECT_EQ(writeXmlOutput(path.c_str(), *element, mode, &spec, DoctypeFields{}), 0u);
        if (pathOut) *pathOut = path;
        return dir.read(name);
    }

    // The output after its declaration line.
    std::string save(const XMLTreeItem* element, int mode, std::wstring* pathOut = nullptr) {
        const std::string bytes = saveWhole(element, mode, pathOut);
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        EXPECT_EQ(bytes.substr(0, declaration.size()), declaration);
        return bytes.substr(declaration.size());
    }

    // Each file parses again without a message box.
    void expectParses(const std::vector<std::wstring>& paths) {
        BoxScript boxes;
        for (const std::wstring& path : paths)
            EXPECT_EQ(parseIntoPanel(leftTreeView, path.c_str()), kLoaded) << narrow(path);
        EXPECT_TRUE(boxes.shown().empty());
    }
};

struct ModeCase {
    int insertPI;
    int mode;
    const char* expected;
};

TEST_F(XmlWriterTest, EverySaveModeWritesWhatItsFilterKeeps) {
    const ModeCase cases[] = {
        {0, 568,
         "<root v=\"1\">\n<same>s</same>\n<changed>new</changed>\n<added/>\n<sub>\n<leaf>a</leaf>\n"
         "<leaf>b</leaf>\n</sub>\n</root>\n"},
        // The selected pair differs in its own content: it is written paired, the partner's
        // differing attributes in a comment before it, so that the file has one root.
        {0, 980,
         "<!-- v=\"2\" -->\n<root v=\"1\">\n<changed>new</changed>\n<changed>old</changed>\n<added/>\n<sub>\n"
         "<leaf>b</leaf>\n<leaf>c</leaf>\n</sub>\n<gone>g</gone>\n</root>\n"},
        // Merge holds both sides: the partner's children that differ or that the own side
        // lacks come before the end tag, at every level the pair is written paired.
        {0, 981,
         "<!-- v=\"2\" -->\n<root v=\"1\">\n<same>s</same>\n<changed>new</changed>\n<added/>\n<sub>\n"
         "<leaf>a</leaf>\n<leaf>b</leaf>\n<leaf>c</leaf>\n</sub>\n<changed>old</changed>\n<gone>g</gone>\n"
         "</root>\n"},
        {0, 982, "<root v=\"1\">\n<same>s</same>\n<sub>\n<leaf>a</leaf>\n</sub>\n</root>\n"},
        {0, 983, "<root v=\"1\">\n<changed>new</changed>\n<sub>\n<leaf>b</leaf>\n</sub>\n</root>\n"},
        {0, 984, "<root v=\"1\">\n<added/>\n</root>\n"},
        {0, 985, "<root v=\"1\">\n<changed>new</changed>\n<added/>\n<sub>\n<leaf>b</leaf>\n</sub>\n</root>\n"},
        {0, 986,
         "<!--  v=\"2\" -->\n<root v=\"1\">\n<!-- Unique element(s) in first file -->\n<added/>\n"
         "<changed>\n<!-- old -->\nnew\n</changed>\n<sub>\n<leaf>\n<!-- c -->\nb\n</leaf>\n</sub>\n"
         "<!-- Unique element(s) in second file -->\n<gone/>\n</root>\n"},
        {1, 568,
         "<root v=\"1\">\n<same>s</same>\n<changed><?start_value_changed?>\nold<?end_value_changed?>\n"
         "new</changed>\n<added/>\n<sub>\n<leaf>a</leaf>\n<leaf><?start_value_changed?>\n"
         "c<?end_value_changed?>\nb</leaf>\n</sub>\n</root>\n"},
        {1, 980,
         "<!-- v=\"2\" -->\n<root v=\"1\">\n<changed><?start_value_changed?>\nold<?end_value_changed?>\n"
         "new</changed>\n<?start_elements_added?>\n<added/>\n<?end_elements_added?>\n<sub>\n"
         "<leaf><?start_value_changed?>\nc<?end_value_changed?>\nb</leaf>\n</sub>\n"
         "<?start_elements_deleted?>\n<gone>g</gone>\n<?end_elements_deleted?>\n</root>\n"},
        // Merge: each child whose own content differs comes again, in the partner's version,
        // in the block of the partner's children.
        {1, 981,
         "<!-- v=\"2\" -->\n<root v=\"1\">\n<same>s</same>\n<changed><?start_value_changed?>\n"
         "old<?end_value_changed?>\nnew</changed>\n<?start_elements_added?>\n<added/>\n"
         "<?end_elements_added?>\n<sub>\n<leaf>a</leaf>\n<leaf><?start_value_changed?>\n"
         "c<?end_value_changed?>\nb</leaf>\n<?start_elements_deleted?>\n<leaf><?start_value_changed?>\n"
         "b<?end_value_changed?>\nc</leaf>\n<?end_elements_deleted?>\n</sub>\n"
         "<?start_elements_deleted?>\n<changed><?start_value_changed?>\nnew<?end_value_changed?>\n"
         "old</changed>\n<gone>g</gone>\n<?end_elements_deleted?>\n</root>\n"},
        {1, 982, "<root v=\"1\">\n<same>s</same>\n<sub>\n<leaf>a</leaf>\n</sub>\n</root>\n"},
        {1, 983,
         "<root v=\"1\">\n<changed><?start_value_changed?>\nold<?end_value_changed?>\nnew</changed>\n"
         "<sub>\n<leaf><?start_value_changed?>\nc<?end_value_changed?>\nb</leaf>\n</sub>\n</root>\n"},
        {1, 984, "<root v=\"1\">\n<added/>\n</root>\n"},
        {1, 985,
         "<root v=\"1\">\n<changed><?start_value_changed?>\nold<?end_value_changed?>\nnew</changed>\n"
         "<added/>\n<sub>\n<leaf><?start_value_changed?>\nc<?end_value_changed?>\nb</leaf>\n</sub>\n"
         "</root>\n"},
        {1, 986,
         "<!--  v=\"2\" -->\n<root v=\"1\">\n<!-- Unique element(s) in first file -->\n<added/>\n"
         "<changed>\n<!-- old -->\nnew\n</changed>\n<sub>\n<leaf>\n<!-- c -->\nb\n</leaf>\n</sub>\n"
         "<!-- Unique element(s) in second file -->\n<gone/>\n</root>\n"},
    };
    loadPair(kLeft, kRight);
    std::vector<std::wstring> written;
    for (const ModeCase& c : cases) {
        OptionSet::InsertPI = c.insertPI;
        std::wstring path;
        EXPECT_EQ(save(root(leftTreeView), c.mode, &path), c.expected)
            << "InsertPI " << c.insertPI << " mode " << c.mode;
        written.push_back(path);
    }
    expectParses(written);
}

struct EdgeCase {
    const char* what;
    const char* left;
    const char* right;
    int insertPI;
    int mode;
    const char* selected;  // the element saved, by name on the left
    const char* expected;
};

TEST_F(XmlWriterTest, EdgeCasesOfTheElementForms) {
    const EdgeCase cases[] = {
        {"a partner-only child begins its block on the start tag's line", "<r><e>t</e><k/></r>",
         "<r><e>t<x/></e><k/></r>", 1, 980, "r",
         "<r>\n<e>t<?start_elements_deleted?>\n<x/>\n<?end_elements_deleted?>\n</e>\n</r>\n"},
        {"two partner-only children split by a matched one share one block", "<r><m/></r>", "<r><a/><m/><b>2</b></r>",
         1, 981, "r", "<r>\n<m/>\n<?start_elements_deleted?>\n<a/>\n<b>2</b>\n<?end_elements_deleted?>\n</r>\n"},
        {"Common keeps a changed element whose subtree holds an equal pair", "<r><p a=\"1\"><q/></p><z>1</z></r>",
         "<r><p a=\"2\"><q/></p><z>2</z></r>", 0, 982, "r", "<r>\n<p a=\"1\">\n<q/>\n</p>\n</r>\n"},
        {"Save Differences of an equal element keeps only its own tags", "<r>t<a>1</a><b/></r>", "<r>t<a>1</a><b/></r>",
         0, 980, "r", "<r>t\n</r>\n"},
        {"Save XML Element of an empty leaf", "<r><e/><f>1</f></r>", "<r><e/><f>2</f></r>", 0, 568, "e", "<e/>\n"},
        {"a selected element without partner is marked added", "<r><n>1</n></r>", "<r/>", 1, 980, "n",
         "<?start_elements_added?>\n<n>1</n>\n<?end_elements_added?>\n"},
        {"paired without children or text: start and end tag on one line", "<r><e a=\"1\"/></r>",
         "<r><e a=\"1\"><c/></e></r>", 0, 981, "r", "<r>\n<e a=\"1\"><c/>\n</e>\n</r>\n"},
        {"the attribute comment names the partner's attributes", "<r><e a=\"1\" b=\"x\">t</e></r>",
         "<r><e a=\"2\" b=\"x\">t</e></r>", 1, 980, "e", "<!-- a=\"2\" b=\"x\" -->\n<e a=\"1\" b=\"x\">t</e>\n"},
        {"Deleted keeps an element with a child of its own alone", "<r><p><c/><c/></p><s>1</s></r>",
         "<r><p><c/></p><s>2</s></r>", 0, 984, "r", "<r>\n<p>\n<c/>\n</p>\n</r>\n"},
    };
    std::vector<std::wstring> written;
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(c.left, c.right);
        OptionSet::InsertPI = c.insertPI;
        std::wstring path;
        EXPECT_EQ(save(elementNamed(leftTreeView, widen(c.selected)), c.mode, &path), c.expected);
        written.push_back(path);
    }
    expectParses(written);
}

struct RootPairCase {
    const char* what;
    const char* left;
    const char* right;
    const char* differences;  // Save Differences without markers, after the declaration
    const char* merge;        // Merge without markers
};

// Roots that differ in their own content: every save, with markers and without, is one
// document; without markers Save Differences and Merge keep the partner's differing
// name, attributes and text in one comment before the element, and Merge holds every
// element of both sides.
TEST_F(XmlWriterTest, RootsThatDifferInTheirOwnContentSaveIntoOneDocument) {
    const RootPairCase cases[] = {
        {"attributes", "<r a=\"1\" k=\"s\"><c>x</c><d/></r>", "<r a=\"2\" k=\"s\"><c>y</c><f/></r>",
         "<!-- a=\"2\" k=\"s\" -->\n<r a=\"1\" k=\"s\">\n<c>x</c>\n<c>y</c>\n<d/>\n<f/>\n</r>\n",
         "<!-- a=\"2\" k=\"s\" -->\n<r a=\"1\" k=\"s\">\n<c>x</c>\n<d/>\n<c>y</c>\n<f/>\n</r>\n"},
        {"an updated stamp", "<r updated=\"1\"><c/></r>", "<r updated=\"2\"><c/><g>right</g></r>",
         "<!-- updated=\"2\" -->\n<r updated=\"1\">\n<g>right</g>\n</r>\n",
         "<!-- updated=\"2\" -->\n<r updated=\"1\">\n<c/>\n<g>right</g>\n</r>\n"},
        {"text", "<r>one<c>x</c></r>", "<r>two<c>x</c><e/></r>", "<!-- two -->\n<r>one\n<e/>\n</r>\n",
         "<!-- two -->\n<r>one\n<c>x</c>\n<e/>\n</r>\n"},
        {"attributes and text", "<r a=\"1\">one</r>", "<r a=\"2\">t&lt;--o</r>",
         "<!-- a=\"2\" t&lt;- -o -->\n<r a=\"1\">one</r>\n", "<!-- a=\"2\" t&lt;- -o -->\n<r a=\"1\">one</r>\n"},
        {"a partner with neither", "<r a=\"1\">one<c/></r>", "<r><c/></r>", "<r a=\"1\">one\n</r>\n",
         "<r a=\"1\">one\n<c/>\n</r>\n"},
        {"name", "<r><c>1</c></r>", "<s><c>2</c><h/></s>", "<!-- s -->\n<r>\n<c>1</c>\n<c>2</c>\n<h/>\n</r>\n",
         "<!-- s -->\n<r>\n<c>1</c>\n<c>2</c>\n<h/>\n</r>\n"},
        {"name, attributes and text", "<r a=\"1\">x<c/></r>", "<s a=\"2\">y<c/><h/></s>",
         "<!-- s a=\"2\" y -->\n<r a=\"1\">x\n<h/>\n</r>\n", "<!-- s a=\"2\" y -->\n<r a=\"1\">x\n<c/>\n<h/>\n</r>\n"},
    };
    std::vector<std::wstring> written;
    for (const RootPairCase& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(c.left, c.right);
        ASSERT_FALSE(root(leftTreeView)->sameOwnContent(root(rightTreeView)));
        for (int insertPI : {0, 1}) {
            OptionSet::InsertPI = insertPI;
            for (const XMLTreeView* side : {&leftTreeView, &rightTreeView}) {
                for (int mode : {568, 980, 981, 982, 983, 984, 985, 986}) {
                    std::wstring path;
                    const std::string out = save(root(*side), mode, &path);
                    if (insertPI == 0 && side == &leftTreeView) {
                        if (mode == 980) {
                            EXPECT_EQ(out, c.differences);
                        }
                        if (mode == 981) {
                            EXPECT_EQ(out, c.merge);
                        }
                    }
                    // With markers the partner's name goes into the comment as well.
                    if (insertPI == 1 && (mode == 980 || mode == 981) && side == &leftTreeView &&
                        std::string(c.what).rfind("name", 0) == 0) {
                        EXPECT_EQ(out.rfind("<!-- s", 0), 0u) << out;
                    }
                    written.push_back(path);
                }
            }
        }
    }
    expectParses(written);
}

TEST_F(XmlWriterTest, IgnoredElementsAreLeftOutUnlessIncluded) {
    ASSERT_EQ(loadXml(leftTreeView, "<r><a>1</a><x>i</x></r>", dir, L"left.xml"), kLoaded);
    ASSERT_EQ(loadXml(rightTreeView, "<r><a>2</a></r>", dir, L"right.xml"), kLoaded);
    ignoreList.addElement(*elementNamed(leftTreeView, L"x"), false);
    ignoreList.setCurrentMode(0);
    compare();
    ASSERT_NE(elementNamed(leftTreeView, L"x")->ignoreState, 0);
    OptionSet::InsertPI = 1;
    const XMLTreeItem* r = root(leftTreeView);
    // No empty block of added elements announces the ignored one.
    EXPECT_EQ(save(r, 980), "<r>\n<a><?start_value_changed?>\n2<?end_value_changed?>\n1</a>\n</r>\n");
    EXPECT_EQ(save(r, 568), "<r>\n<a><?start_value_changed?>\n2<?end_value_changed?>\n1</a>\n</r>\n");
    OptionSet::IncludeIgnoredElements = 1;
    EXPECT_EQ(save(r, 980),
              "<r>\n<a><?start_value_changed?>\n2<?end_value_changed?>\n1</a>\n"
              "<?start_elements_added?>\n<x>i</x>\n<?end_elements_added?>\n</r>\n");
    EXPECT_EQ(save(r, 984), "<r>\n<x>i</x>\n</r>\n");
    EXPECT_EQ(save(r, 982), "<r>\n</r>\n");
}

TEST_F(XmlWriterTest, AnEntireElementIsWrittenWithItsWholeSubtree) {
    loadPair("<r><e><s>1</s><d>2</d></e><f><s>1</s><d>2</d></f></r>",
             "<r><e><s>1</s><d>3</d></e><f><s>1</s><d>3</d></f></r>");
    ASSERT_TRUE(entireElementList.addPath(L"r>e"));
    EXPECT_EQ(save(root(leftTreeView), 983), "<r>\n<e>\n<s>1</s>\n<d>2</d>\n</e>\n<f>\n<d>2</d>\n</f>\n</r>\n");
}

struct ReportCase {
    const char* what;
    const char* left;
    const char* right;
    const char* expected;
};

TEST_F(XmlWriterTest, ReportEdgeCases) {
    const ReportCase cases[] = {
        {"a changed leaf whose attribute differs", "<e b=\"1\" c=\"x\">t</e>", "<e b=\"2\" c=\"x\">t</e>",
         "<!--  b=\"2\" -->\n<e b=\"1\"/>\n"},
        {"a difference in a grandchild, equal siblings left out", "<r><s/><c><g>1</g></c><s/></r>",
         "<r><s/><c><g>2</g></c><s/></r>", "<r>\n<c>\n<g>\n<!-- 2 -->\n1\n</g>\n</c>\n</r>\n"},
        {"xmlns attributes at the selected element, only differing ones below",
         "<r xmlns:p=\"urn:p\" a=\"1\"><c xmlns:q=\"urn:q\" k=\"1\"/></r>",
         "<r xmlns:p=\"urn:p\" a=\"2\"><c xmlns:q=\"urn:q\" k=\"2\"/></r>",
         "<!--  a=\"2\" -->\n<r xmlns:p=\"urn:p\" a=\"1\">\n<!--  k=\"2\" -->\n<c k=\"1\"/>\n</r>\n"},
        {"two children only the first file has", "<r><u a=\"1\">x</u><v><w/></v><m>1</m></r>", "<r><m>2</m></r>",
         "<r>\n<!-- Unique element(s) in first file -->\n<u/>\n<v/>\n<m>\n<!-- 2 -->\n1\n</m>\n</r>\n"},
        {"a childless element lists none of its partner's children", "<r>1</r>", "<r>2<c/></r>",
         "<r>\n<!-- 2 -->\n1\n</r>\n"},
        {"a double hyphen in a comment", "<r a=\"x\">a--b</r>", "<r a=\"y--\">c---d</r>",
         "<!--  a=\"y- -\" -->\n<r a=\"x\">\n<!-- c- - -d -->\na--b\n</r>\n"},
    };
    std::vector<std::wstring> written;
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(c.left, c.right);
        std::wstring path;
        EXPECT_EQ(save(root(leftTreeView), 986, &path), c.expected);
        written.push_back(path);
    }
    expectParses(written);
}

// Every changed attribute the record holds is in the report, whatever its length, with the
// partner's value in the comment before it; each report reads back with a plain reader.
TEST_F(XmlWriterTest, TheReportHoldsEveryChangedAttributeWhateverItsLength) {
    const struct {
        const char* what;
        size_t length;
    } cases[] = {{"10 characters", 10}, {"5,000 characters", 5000}, {"65,000 characters", 65000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string own = std::string(c.length - 1, 'x') + "y";
        const std::string partner = std::string(c.length, 'x');
        loadPair("<r><p a=\"" + own + "\" b=\"1\"/></r>", "<r><p a=\"" + partner + "\" b=\"2\"/></r>");
        std::wstring path;
        const std::string report = save(root(leftTreeView), 986, &path);
        EXPECT_EQ(report, "<r>\n<!--  a=\"" + partner + "\" b=\"2\" -->\n<p a=\"" + own + "\" b=\"1\"/>\n</r>\n");
        const PlainDocument back = readPlain(path);
        ASSERT_TRUE(back.wellFormed) << narrow(back.firstError);
        const PlainElement* p = back.named(L"p");
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->attributes.size(), 2u);
        EXPECT_TRUE(p->attributes[0].second == widen(own));
    }
}

// A report of an element that is equal to its partner, has none or is ignored would be the
// XML declaration alone, which no parser reads: it is refused, and a file already at the
// path stays as it was.
TEST_F(XmlWriterTest, AReportThatWouldHoldNothingIsRefused) {
    struct Case {
        const char* what;
        const char* left;
        const char* right;
        const wchar_t* reported;
        bool ignored;
    };
    const Case cases[] = {
        {"an element equal to its partner", "<r><a>1</a></r>", "<r><a>1</a></r>", L"r", false},
        {"an element without partner", "<r><n>1</n></r>", "<r/>", L"n", false},
        {"an ignored element", "<r><a>1</a></r>", "<r><a>2</a></r>", L"a", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        loadPair(c.left, c.right);
        XMLTreeItem* element = elementNamed(leftTreeView, c.reported);
        ASSERT_NE(element, nullptr);
        if (c.ignored) element->ignoreState = 4;
        const std::wstring path = dir.write(L"report.xml", "<kept/>");
        EXPECT_EQ(writeXmlOutput(path.c_str(), *element, 986, &spec, DoctypeFields{}), kNothingToReportError);
        EXPECT_EQ(dir.read(L"report.xml"), "<kept/>");
    }
}

TEST_F(XmlWriterTest, ReportLeavesOutAPartnerTextItsRuleIgnores) {
    loadPair("<r>one</r>", "<r>two</r>");
    root(rightTreeView)->flags |= kTextIgnoredFlag;
    EXPECT_EQ(save(root(leftTreeView), 986), "<r>\none\n</r>\n");
}

// Quotes, markup characters and what the output encoding lacks, in text, attributes
// and comments; each output parses again.
TEST_F(XmlWriterTest, EscapingFollowsTheOutputEncoding) {
    loadPair("<r q=\"a&quot;b'c\">x &lt; &amp; &gt; \xC3\xA9 \xD0\x96 \xF0\x9F\x98\x80</r>", "<r q=\"a--b\">y</r>");
    OptionSet::InsertPI = 1;
    struct Case {
        const wchar_t* encoding;
        std::string declaration;
        std::string body;
    };
    const std::string comment = "<!-- q=\"a- -b\" -->\n";
    const Case cases[] = {
        {L"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
         comment + "<r q=\"a&quot;b'c\"><?start_value_changed?>\ny<?end_value_changed?>\n"
                   "x &lt; &amp; &gt; \xC3\xA9 \xD0\x96 \xF0\x9F\x98\x80</r>\n"},
        {L"windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n",
         comment + "<r q=\"a&quot;b'c\"><?start_value_changed?>\ny<?end_value_changed?>\n"
                   "x &lt; &amp; &gt; \xE9 &#x416; &#x1F600;</r>\n"},
        {L"<none>", "<?xml version=\"1.0\"?>\n",
         comment + "<r q=\"a&quot;b'c\"><?start_value_changed?>\ny<?end_value_changed?>\n"
                   "x &lt; &amp; &gt; &#xE9; &#x416; &#x1F600;</r>\n"},
    };
    std::vector<std::wstring> written;
    for (const Case& c : cases) {
        spec.setName(c.encoding);
        spec.endOfLine = 2;
        std::wstring path;
        EXPECT_EQ(saveWhole(root(leftTreeView), 980, &path), c.declaration + c.body) << narrow(c.encoding);
        written.push_back(path);
    }
    expectParses(written);
}

// A name the output encoding lacks, on either side of the pair, refuses the save before
// anything is written, under the commands that write that side's names; "<none>" writes
// UTF-8 instead; UTF-7, which the parser cannot read, is refused.
TEST_F(XmlWriterTest, ANameTheEncodingLacksIsNeverWrittenWrong) {
    loadPair("<r><a>1</a></r>", "<r><a>2</a><\xD0\x96/></r>");
    const std::wstring target = dir.file(L"kept.xml");
    struct Case {
        const wchar_t* encoding;
        int mode;
        bool lacking;  // a name that is written lacks in the encoding
        DWORD result;
        const char* declaration;
    };
    const Case cases[] = {
        {L"windows-1252", 568, false, 0, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"},
        {L"windows-1252", 983, false, 0, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"},
        {L"windows-1252", 980, true, kUnwritableNameError, nullptr},
        {L"windows-1252", 981, true, kUnwritableNameError, nullptr},
        {L"windows-1252", 986, true, kUnwritableNameError, nullptr},
        {L"<none>", 568, false, 0, "<?xml version=\"1.0\"?>\n"},
        {L"<none>", 981, true, 0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"},
        {L"UTF-8", 981, false, 0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"},
        {L"UTF-7", 568, false, kUnreadableEncodingError, nullptr},
    };
    std::vector<std::wstring> written;
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.encoding) + " " + std::to_string(c.mode));
        spec.setName(c.encoding);
        spec.endOfLine = 2;
        dir.write(L"kept.xml", "old content");
        const UnwritableName found = findUnwritableName(*root(leftTreeView), c.mode, spec);
        EXPECT_EQ(found.element != nullptr, c.lacking);
        if (found.element != nullptr) {
            EXPECT_STREQ(found.element->nameText(), L"\u0416");
        }
        EXPECT_EQ(writeXmlOutput(target.c_str(), *root(leftTreeView), c.mode, &spec, DoctypeFields{}), c.result);
        const std::string bytes = dir.read(L"kept.xml");
        if (c.declaration == nullptr) {
            EXPECT_EQ(bytes, "old content");
            continue;
        }
        EXPECT_EQ(bytes.substr(0, std::string(c.declaration).size()), c.declaration);
        const std::wstring copy = dir.write(L"names" + std::to_wstring(written.size()) + L".xml", bytes);
        written.push_back(copy);
    }
    expectParses(written);
    // The attribute names of an element count as names; their values do not.
    loadPair("<r><e \xD0\x96=\"1\"/><f g=\"\xD0\x96\"/></r>", "<r/>");
    spec.setName(L"windows-1252");
    UnwritableName found = findUnwritableName(*elementNamed(leftTreeView, L"e"), 568, spec);
    EXPECT_STREQ(found.element != nullptr ? found.element->nameText() : L"", L"e");
    EXPECT_EQ(found.attribute, L"\u0416");
    EXPECT_EQ(findUnwritableName(*elementNamed(leftTreeView, L"f"), 568, spec).element, nullptr);
}

// Every encoding the Options dialog offers, those documents declare that the parser reads
// through the system's code pages, and UTF-7 typed in: each gives a file that loads again,
// except UTF-7, which is refused before anything is written.
// Each offered encoding writes its own bytes under its own declaration: a character it has
// comes out as that encoding's bytes (one it lacks as a reference), never in a fall-back to
// ASCII under no declaration. A code page this system lacks resets the record before any save.
TEST_F(XmlWriterTest, EveryOfferedEncodingReadsBackOrIsRefused) {
    struct Case {
        const wchar_t* encoding;
        UINT codePage;            // of the file's bytes; 20127 for ASCII
        const wchar_t* declared;  // the declaration's encoding; null for none
        const wchar_t* character;
        std::string bytes;  // the character as written
        DWORD result;
    };
    const Case cases[] = {
        {L"ISO-8859-1", 28591, L"ISO-8859-1", L"\u00E9", "\xE9", 0},
        {L"ISO-8859-2", 28592, L"ISO-8859-2", L"\u0159", "\xF8", 0},
        {L"ISO-8859-3", 28593, L"ISO-8859-3", L"\u011D", "\xF8", 0},
        {L"ISO-8859-4", 28594, L"ISO-8859-4", L"\u0101", "\xE0", 0},
        {L"ISO-8859-5", 28595, L"ISO-8859-5", L"\u0416", "\xB6", 0},
        {L"ISO-8859-6", 28596, L"ISO-8859-6", L"\u0634", "\xD4", 0},
        {L"ISO-8859-7", 28597, L"ISO-8859-7", L"\u03A9", "\xD9", 0},
        {L"ISO-8859-8", 28598, L"ISO-8859-8", L"\u05D0", "\xE0", 0},
        {L"ISO-8859-9", 28599, L"ISO-8859-9", L"\u015F", "\xFE", 0},
        {L"ISO-8859-13", 28603, L"ISO-8859-13", L"\u0105", "\xE0", 0},
        {L"ISO-8859-15", 28605, L"ISO-8859-15", L"\u20AC", "\xA4", 0},
        {L"Windows-1250", 1250, L"Windows-1250", L"\u0159", "\xF8", 0},
        {L"Windows-1251", 1251, L"Windows-1251", L"\u0416", "\xC6", 0},
        {L"Windows-1252", 1252, L"Windows-1252", L"\u20AC", "\x80", 0},
        {L"Windows-1253", 1253, L"Windows-1253", L"\u03A9", "\xD9", 0},
        {L"Windows-1254", 1254, L"Windows-1254", L"\u015F", "\xFE", 0},
        {L"Windows-1255", 1255, L"Windows-1255", L"\u05D0", "\xE0", 0},
        {L"Windows-1256", 1256, L"Windows-1256", L"\u0634", "\xD4", 0},
        {L"Windows-1257", 1257, L"Windows-1257", L"\u0105", "\xE0", 0},
        {L"Windows-1258", 1258, L"Windows-1258", L"\u20AB", "\xFE", 0},
        {L"IBM437", 437, L"IBM437", L"\u00E9", "\x82", 0},
        {L"IBM737", 737, L"IBM737", L"\u03A9", "\x97", 0},
        {L"IBM850", 850, L"IBM850", L"\u00E9", "\x82", 0},
        {L"IBM852", 852, L"IBM852", L"\u0159", "\xFD", 0},
        {L"IBM858", 858, L"IBM858", L"\u20AC", "\xD5", 0},
        {L"IBM860", 860, L"IBM860", L"\u00E9", "\x82", 0},
        {L"IBM866", 866, L"IBM866", L"\u0416", "\x86", 0},
        {L"IBM869", 869, L"IBM869", L"\u03A9", "\xD5", 0},
        {L"IBM1047", 1047, L"IBM1047", L"\u00E9", "\x51", 0},
        {L"IBM1140", 1140, L"IBM1140", L"\u20AC", "\x9F", 0},
        {L"IBM037", 37, L"IBM037", L"\u00E9", "\x51", 0},
        {L"UTF-8", 65001, L"UTF-8", L"\u00E9", "\xC3\xA9", 0},
        {L"Unicode", 1200, L"UTF-16LE", L"\u00E9", std::string("\xE9\x00", 2), 0},
        {L"UTF-16", 1200, L"UTF-16", L"\u00E9", std::string("\xE9\x00", 2), 0},
        {L"UTF-16LE", 1200, L"UTF-16LE", L"\u00E9", std::string("\xE9\x00", 2), 0},
        {L"UTF-16BE", 1201, L"UTF-16BE", L"\u00E9", std::string("\x00\xE9", 2), 0},
        {L"KOI8-R", 20866, L"KOI8-R", L"\u0416", "\xF6", 0},
        {L"KOI8-U", 21866, L"KOI8-U", L"\u0454", "\xA4", 0},
        {L"MacCyrillic", 10007, L"MacCyrillic", L"\u0416", "\x86", 0},
        {L"macintosh", 10000, L"macintosh", L"\u00E9", "\x8E", 0},
        {L"EUC-JP", 20932, L"EUC-JP", L"\u6771", "\xC5\xEC", 0},
        {L"Shift_JIS", 932, L"Shift_JIS", L"\u6771", "\x93\x8C", 0},
        {L"EUC-KR", 949, L"EUC-KR", L"\uAC00", "\xB0\xA1", 0},
        {L"Big5", 950, L"Big5", L"\u4E2D", "\xA4\xA4", 0},
        {L"GB2312", 936, L"GB2312", L"\u4E2D", "\xD6\xD0", 0},
        // What the encoding lacks is a character reference.
        {L"US-ASCII", 20127, L"US-ASCII", L"\u00E9", "&#xE9;", 0},
        {L"<none>", 20127, nullptr, L"\u00E9", "&#xE9;", 0},
        {L"UTF-7", 65000, L"UTF-7", L"\u00E9", "", kUnreadableEncodingError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.encoding));
        const std::wstring character = c.character;
        loadPair("<r a=\"" + narrow(character) + "\"><c>" + narrow(character) + "</c></r>", "<r/>");
        spec.setName(c.encoding);
        spec.endOfLine = 2;
        if (c.codePage != 20127 && c.codePage != 1200 && c.codePage != 1201 && !IsValidCodePage(c.codePage)) {
            EXPECT_EQ(spec.kind, 0u);
            continue;
        }
        const std::wstring name = L"offered-" + std::to_wstring(&c - cases) + L".xml";
        const std::wstring path = dir.file(name);
        const DWORD result = writeXmlOutput(path.c_str(), *root(leftTreeView), 568, &spec, DoctypeFields{});
        EXPECT_EQ(result, c.result);
        if (result != 0) {
            EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
            continue;
        }
        const std::string bytes = dir.read(name);

        // The character's own bytes, in the attribute and in the text.
        size_t found = 0;
        for (size_t at = bytes.find(c.bytes); at != std::string::npos; at = bytes.find(c.bytes, at + 1))
            ++found;
        EXPECT_EQ(found, 2u);

        // The whole file in the encoding the declaration names.
        std::wstring text;
        if (c.codePage == 1200 || c.codePage == 1201) {
            const bool big = c.codePage == 1201;
            ASSERT_GE(bytes.size(), 2u);
            EXPECT_EQ(bytes.substr(0, 2), big ? "\xFE\xFF" : "\xFF\xFE");
            for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
                const auto first = static_cast<unsigned char>(bytes[i]);
                const auto second = static_cast<unsigned char>(bytes[i + 1]);
                text += static_cast<wchar_t>(big ? first << 8 | second : second << 8 | first);
            }
        } else {
            const int units = MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                                  static_cast<int>(bytes.size()), nullptr, 0);
            ASSERT_GT(units, 0);
            text.resize(static_cast<size_t>(units));
            MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                &text[0], units);
        }
        const std::wstring declaration = c.declared != nullptr
                                             ? L"<?xml version=\"1.0\" encoding=\"" + std::wstring(c.declared) + L"\"?>"
                                             : L"<?xml version=\"1.0\"?>";
        const std::wstring written = c.bytes[0] == '&' ? L"&#xE9;" : character;
        EXPECT_EQ(narrow(text), narrow(declaration + L"\n<r a=\"" + written + L"\">\n<c>" + written + L"</c>\n</r>\n"));

        // And the parser reads it back as the same characters.
        BoxScript boxes;
        ASSERT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded);
        const XMLTreeItem* back = elementNamed(rightTreeView, L"c");
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(std::wstring(back->text, back->textLength), character);
        EXPECT_TRUE(boxes.shown().empty());
    }
}

// The bytes of text (already escaped for the encoding) with "\n" as the end of line.
std::string encoded(const std::wstring& text, const std::wstring& encoding, int endOfLine) {
    const wchar_t* ends[] = {L"", L"\r\n", L"\n", L"\r"};
    std::wstring lines;
    for (wchar_t c : text) {
        if (c == L'\n')
            lines += ends[endOfLine];
        else
            lines += c;
    }
    std::string bytes;
    if (encoding == L"UTF-16LE" || encoding == L"UTF-16BE") {
        const bool big = encoding == L"UTF-16BE";
        bytes += big ? "\xFE\xFF" : "\xFF\xFE";
        for (wchar_t c : lines) {
            const char high = static_cast<char>(c >> 8);
            const char low = static_cast<char>(c & 0xFF);
            bytes += big ? high : low;
            bytes += big ? low : high;
        }
        return bytes;
    }
    const UINT codePage = encoding == L"UTF-8" ? CP_UTF8 : 1252;
    const int size =
        WideCharToMultiByte(codePage, 0, lines.c_str(), static_cast<int>(lines.size()), nullptr, 0, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(size));
    WideCharToMultiByte(codePage, 0, lines.c_str(), static_cast<int>(lines.size()), bytes.data(), size, nullptr,
                        nullptr);
    return bytes;
}

TEST_F(XmlWriterTest, OneOutputInEveryEncodingAndEndOfLine) {
    loadPair("<r a=\"\xC3\xA9\"><c>x</c><d/></r>", "<r a=\"e\"><c>y</c></r>");
    OptionSet::InsertPI = 1;
    const std::wstring body =
        L"<!-- a=\"e\" -->\n<r a=\"%E\">\n<c><?start_value_changed?>\ny<?end_value_changed?>\n"
        L"x</c>\n<?start_elements_added?>\n<d/>\n<?end_elements_added?>\n</r>\n";
    struct Case {
        const wchar_t* encoding;
        const wchar_t* declaration;
        const wchar_t* eAcute;
    };
    const Case cases[] = {
        {L"UTF-8", L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", L"\u00E9"},
        {L"UTF-16LE", L"<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>\n", L"\u00E9"},
        {L"UTF-16BE", L"<?xml version=\"1.0\" encoding=\"UTF-16BE\"?>\n", L"\u00E9"},
        {L"windows-1252", L"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n", L"\u00E9"},
        {L"<none>", L"<?xml version=\"1.0\"?>\n", L"&#xE9;"},
    };
    std::vector<std::wstring> written;
    for (const Case& c : cases) {
        for (int endOfLine = 0; endOfLine < 4; ++endOfLine) {
            spec.setName(c.encoding);
            spec.endOfLine = endOfLine;
            std::wstring text = std::wstring(c.declaration) + body;
            text.replace(text.find(L"%E"), 2, c.eAcute);
            std::wstring path;
            EXPECT_EQ(saveWhole(root(leftTreeView), 980, &path), encoded(text, c.encoding, endOfLine))
                << narrow(c.encoding) << " end of line " << endOfLine;
            written.push_back(path);
        }
    }
    expectParses(written);
}

// Save XML Element of the root reads back into a tree that compares identical to its source.
TEST_F(XmlWriterTest, SavedElementReloadsIntoAnIdenticalTree) {
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><doc id=\"q&quot;'\" t=\"&lt;&amp;&gt;\">head<a>1 &amp; 2</a>"
        "<b x=\"\xC3\xA9\xD0\x96\"><c>\xF0\x9F\x98\x80 -- &lt;x&gt;</c><c/></b><d>\xE2\x82\xAC</d></doc>";
    for (const wchar_t* encoding : {L"UTF-8", L"UTF-16BE", L"windows-1252", L"<none>"}) {
        SCOPED_TRACE(narrow(encoding));
        spec.setName(encoding);
        spec.endOfLine = 1;
        ASSERT_EQ(loadXml(leftTreeView, document, dir, L"left.xml"), kLoaded);
        std::wstring path;
        saveWhole(root(leftTreeView), 568, &path);
        BoxScript boxes;
        ASSERT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded);
        compare();
        EXPECT_EQ(comparisonCounters.differentCount, 0u);
        EXPECT_EQ(comparisonCounters.identicalCount, 6u);
        EXPECT_TRUE(root(leftTreeView)->equals(root(rightTreeView)));
    }
}

// A reference kept as written goes out with its bare "&" and the text's own "&" escaped;
// a character beyond U+FFFF whose second half is the mark's unit (U+10FFFF) goes out as
// itself, or as a character reference where the encoding lacks it, at the start of the
// text and on either side of a kept reference. The file reads back into the same text.
TEST_F(XmlWriterTest, AKeptReferenceIsWrittenAsTheDocumentHasIt) {
    OptionSet::SchemaValidation = 0;
    OptionSet::UseExternalSchema = 0;
    OptionSet::PrintDoctype = 1;
    const DoctypeFields doctype{L"r", L"", L"missing.dtd"};
    struct Case {
        const wchar_t* encoding;
        const char* text;     // the element's text in the document, in UTF-8
        const char* written;  // the element as written
    } cases[] = {
        {L"UTF-8", "a&nbsp;b &amp; \xF4\x8F\xBF\xBF&copy;", "<r>a&nbsp;b &amp; \xF4\x8F\xBF\xBF&copy;</r>"},
        {L"windows-1252", "a&nbsp;b &amp; \xF4\x8F\xBF\xBF&copy;", "<r>a&nbsp;b &amp; &#x10FFFF;&copy;</r>"},
        {L"UTF-8", "\xF4\x8F\xBF\xBF&nbsp;\xF4\x8F\xBF\xBF", "<r>\xF4\x8F\xBF\xBF&nbsp;\xF4\x8F\xBF\xBF</r>"},
        {L"windows-1252", "\xF4\x8F\xBF\xBF&nbsp;\xF4\x8F\xBF\xBF", "<r>&#x10FFFF;&nbsp;&#x10FFFF;</r>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.encoding) + " " + c.text);
        spec.setName(c.encoding);
        spec.endOfLine = 1;
        BoxScript boxes;  // nothing is asked
        ASSERT_EQ(loadXml(leftTreeView, std::string("<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r>") + c.text + "</r>", dir,
                          L"left.xml"),
                  kLoaded);
        const std::wstring name = L"kept" + std::to_wstring(++outputs) + L".xml";
        const std::wstring path = dir.file(name);
        ASSERT_EQ(writeXmlOutput(path.c_str(), *root(leftTreeView), 568, &spec, doctype), 0u);
        std::string bytes = dir.read(name);
        while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
            bytes.pop_back();
        const size_t body = bytes.find("<r>");
        ASSERT_NE(body, std::string::npos) << bytes;
        EXPECT_EQ(bytes.substr(body), c.written);
        ASSERT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded) << bytes;
        const XMLTreeItem* source = root(leftTreeView);
        const XMLTreeItem* back = root(rightTreeView);
        EXPECT_EQ(std::wstring(back->text, back->textLength), std::wstring(source->text, source->textLength));
    }
}

// The content of every element of the name in a file as another parser reads it: its
// character data with "<child>" where each child starts, white space as one blank.
std::vector<std::wstring> contentsNamed(const PlainDocument& document, const std::wstring& name) {
    std::vector<std::wstring> contents;
    for (const PlainElement& e : document.elements) {
        if (e.name != name) continue;
        std::wstring collapsed;
        for (wchar_t c : e.content) {
            const bool blank = c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
            if (!blank) {
                collapsed += c;
            } else if (!collapsed.empty() && collapsed.back() != L' ') {
                collapsed += L' ';
            }
        }
        if (!collapsed.empty() && collapsed.back() == L' ') collapsed.pop_back();
        contents.push_back(collapsed);
    }
    return contents;
}

// The runs alone: the children's places taken out, white space as one blank.
std::wstring runsOf(std::wstring content) {
    for (size_t open = content.find(L'<'); open != std::wstring::npos; open = content.find(L'<', open)) {
        const size_t close = content.find(L'>', open);
        content.replace(open, close - open + 1, L" ");
    }
    std::wstring collapsed;
    for (wchar_t c : content) {
        if (c != L' ' || (!collapsed.empty() && collapsed.back() != L' ')) collapsed += c;
    }
    if (!collapsed.empty() && collapsed.back() == L' ') collapsed.pop_back();
    return collapsed;
}

// A page whose runs of text stand around inline elements at their start, in their middle
// and at their end, with references kept as written and numbers among them; the partner
// has one inline element moved by a word. Every save writes each run and child where its
// document has it, as another parser reads the file, and the saved element loads into an
// element identical to its source.
TEST_F(XmlWriterTest, RunsAndInlineElementsAreWrittenInTheirDocumentsOrder) {
    OptionSet::SchemaValidation = 0;
    OptionSet::UseExternalSchema = 0;
    const std::string head = "<!DOCTYPE html SYSTEM \"missing.dtd\">\n<html><body>\n";
    const std::string tail =
        "<p>keep <em>this</em>text, <code>1.5</code>.</p>\n<ul>\n  <li>one</li>\n  <li>two <b>2</b></li>\n</ul>\n"
        "</body></html>\n";
    const std::string left = head +
                             "<p><b>Note:</b> the <a href=\"m.html\">module</a> is maintained&nbsp;here,"
                             " for 12.50&euro; <i>net</i></p>\n" +
                             tail;
    const std::string right = head +
                              "<p><b>Note:</b> the is <a href=\"m.html\">module</a> maintained&nbsp;here,"
                              " for 12.50&euro; <i>net</i></p>\n" +
                              tail;
    const DoctypeFields doctype{L"html", L"", L"missing.dtd"};
    BoxScript boxes;  // nothing is asked
    ASSERT_EQ(loadXml(leftTreeView, left, dir, L"left.xml"), kLoaded);
    ASSERT_EQ(loadXml(rightTreeView, right, dir, L"right.xml"), kLoaded);
    compare();
    const PlainDocument leftPlain = readPlain(dir.file(L"left.xml"));
    const PlainDocument rightPlain = readPlain(dir.file(L"right.xml"));
    ASSERT_TRUE(leftPlain.wellFormed) << narrow(leftPlain.firstError);
    const std::vector<std::wstring> ownParagraphs = contentsNamed(leftPlain, L"p");
    const std::vector<std::wstring> partnerParagraphs = contentsNamed(rightPlain, L"p");
    ASSERT_EQ(ownParagraphs.size(), 2u);
    ASSERT_NE(ownParagraphs[0], partnerParagraphs[0]);
    const std::vector<std::wstring> items = contentsNamed(leftPlain, L"li");

    const struct {
        int mode;
        int insertPI;
        std::vector<std::wstring> paragraphs;  // as the output holds them
        bool runsOnly;                         // the mode leaves the (equal) children out
    } cases[] = {
        {568, 0, ownParagraphs, false},
        {568, 1, ownParagraphs, false},
        // The changed paragraph is written on both sides.
        {980, 0, {ownParagraphs[0], partnerParagraphs[0]}, true},
        {980, 1, {ownParagraphs[0]}, true},
        {981, 0, {ownParagraphs[0], ownParagraphs[1], partnerParagraphs[0]}, false},
        {981, 1, {ownParagraphs[0], ownParagraphs[1], partnerParagraphs[0]}, false},
        {982, 0, ownParagraphs, false},
        {983, 0, {ownParagraphs[0]}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " InsertPI " + std::to_string(c.insertPI));
        OptionSet::InsertPI = c.insertPI;
        const std::wstring path = dir.file(L"out" + std::to_wstring(++outputs) + L".xml");
        ASSERT_EQ(writeXmlOutput(path.c_str(), *root(leftTreeView), c.mode, &spec, doctype), 0u);
        const PlainDocument written = readPlain(path);
        ASSERT_TRUE(written.wellFormed) << narrow(written.firstError);
        const std::vector<std::wstring> paragraphs = contentsNamed(written, L"p");
        ASSERT_EQ(paragraphs.size(), c.paragraphs.size());
        for (size_t i = 0; i < paragraphs.size(); ++i) {
            if (c.runsOnly) {
                // After the value-changed block, when there is one.
                const std::wstring runs = runsOf(paragraphs[i]);
                const std::wstring expected = runsOf(c.paragraphs[i]);
                EXPECT_EQ(runs.substr(runs.size() - std::min(runs.size(), expected.size())), expected);
                if (c.insertPI == 0) {
                    EXPECT_EQ(runs, expected);
                }
                continue;
            }
            // The value-changed block comes first, with the partner's text as its row reads.
            const std::wstring& expected = c.paragraphs[i];
            EXPECT_EQ(paragraphs[i].substr(paragraphs[i].size() - std::min(paragraphs[i].size(), expected.size())),
                      expected)
                << narrow(paragraphs[i]);
            if (c.insertPI == 0) {
                EXPECT_EQ(paragraphs[i], expected);
            }
        }
        if (c.mode == 568) {
            EXPECT_EQ(contentsNamed(written, L"li"), items);
        }
        if (c.mode == 568 && c.insertPI == 0) {
            ASSERT_EQ(parseIntoPanel(rightTreeView, path.c_str()), kLoaded);
            compare();
            EXPECT_EQ(comparisonCounters.differentCount, 0u);
            EXPECT_TRUE(root(leftTreeView)->equals(root(rightTreeView)));
            ASSERT_EQ(loadXml(rightTreeView, right, dir, L"right.xml"), kLoaded);
            compare();
        }
    }
    // The report holds the changed paragraph's runs in their order, each after the child
    // it follows.
    const std::wstring path = dir.file(L"report.xml");
    ASSERT_EQ(writeXmlOutput(path.c_str(), *root(leftTreeView), 986, &spec, doctype), 0u);
    const PlainDocument report = readPlain(path);
    ASSERT_TRUE(report.wellFormed) << narrow(report.firstError);
    const std::vector<std::wstring> reported = contentsNamed(report, L"p");
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(runsOf(reported[0]), runsOf(ownParagraphs[0]));
    EXPECT_TRUE(boxes.shown().empty());
}

// Data and pretty-printed documents, and text before all children, are written as they
// always were.
TEST_F(XmlWriterTest, ElementsWithoutRunsAfterChildrenKeepTheirBytes) {
    const struct {
        const char* xml;
        const char* written;
    } cases[] = {
        {"<r><a>1</a><b k=\"v\">2</b><c/></r>", "<r>\n<a>1</a>\n<b k=\"v\">2</b>\n<c/>\n</r>\n"},
        {"<r>\n  <a>1</a>\n  <b>\n    <c>x</c>\n  </b>\n</r>\n", "<r>\n<a>1</a>\n<b>\n<c>x</c>\n</b>\n</r>\n"},
        {"<p>head text <b>x</b>\n<i/></p>", "<p>head text\n<b>x</b>\n<i/>\n</p>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        ASSERT_EQ(loadXml(leftTreeView, c.xml, dir, L"left.xml"), kLoaded);
        EXPECT_EQ(save(root(leftTreeView), 568), c.written);
    }
}

struct DoctypeCase {
    const char* what;
    std::wstring name;
    std::wstring publicId;
    std::wstring systemId;
    const wchar_t* expected;  // null: no line
};

TEST(DoctypeLine, IsBuiltFromTheThreeFields) {
    const std::wstring longId(470 - 3 - 8, L'x');
    const DoctypeCase cases[] = {
        {"system id only", L"doc", L"", L"doc.dtd", L"<!DOCTYPE doc SYSTEM \"doc.dtd\">"},
        {"public and system id", L"html", L"-//W3C//DTD XHTML 1.0//EN", L"x.dtd",
         L"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0//EN\" \"x.dtd\">"},
        {"public id only", L"doc", L"-//P//EN", L"", L"<!DOCTYPE doc PUBLIC \"-//P//EN\" \"\">"},
        {"no name", L"", L"", L"doc.dtd", nullptr},
        {"no id", L"doc", L"", L"", nullptr},
        {"470 characters fit", L"doc", L"public!!", longId, L"*"},
        {"471 characters are left out", L"doc", L"public!!!", longId, nullptr},
        {"a double quote in the system id", L"doc", L"", L"a\"b.dtd", L"<!DOCTYPE doc SYSTEM 'a\"b.dtd'>"},
        {"a double quote in the system id after a public id", L"doc", L"-//P//EN", L"a\"b.dtd",
         L"<!DOCTYPE doc PUBLIC \"-//P//EN\" 'a\"b.dtd'>"},
        {"both quotes in the system id", L"doc", L"", L"a\"b'c", nullptr},
    };
    for (const DoctypeCase& c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t line[kDoctypeLineUnits];
        const int built =
            formatDoctypeLine(c.name.c_str(), c.publicId.c_str(), c.systemId.c_str(), line, kDoctypeLineUnits);
        EXPECT_EQ(built, c.expected != nullptr ? 1 : 0);
        if (c.expected != nullptr && std::wstring(c.expected) != L"*") {
            EXPECT_EQ(std::wstring(line), c.expected);
        }
    }
}

// The DOCTYPE line names the same DTD in every encoding: a character of the system id the
// encoding lacks goes out as its UTF-8 bytes, each as %HH, never as a stand-in.
TEST_F(XmlWriterTest, TheDoctypeLineNamesTheSameDtdInEveryEncoding) {
    OptionSet::PrintDoctype = 1;
    ASSERT_EQ(loadXml(leftTreeView, "<r/>", dir), kLoaded);
    const DoctypeFields doctype{L"r", L"", L"dtd/caf\u00E9-\u0416-\U0001F600.dtd"};
    const struct {
        const wchar_t* encoding;
        std::string line;  // in the file's bytes
    } cases[] = {
        {L"UTF-8", "<!DOCTYPE r SYSTEM \"dtd/caf\xC3\xA9-\xD0\x96-\xF0\x9F\x98\x80.dtd\">"},
        {L"ISO-8859-1", "<!DOCTYPE r SYSTEM \"dtd/caf\xE9-%D0%96-%F0%9F%98%80.dtd\">"},
        {L"KOI8-R", "<!DOCTYPE r SYSTEM \"dtd/caf%C3%A9-\xF6-%F0%9F%98%80.dtd\">"},
        {L"US-ASCII", "<!DOCTYPE r SYSTEM \"dtd/caf%C3%A9-%D0%96-%F0%9F%98%80.dtd\">"},
        {L"<none>", "<!DOCTYPE r SYSTEM \"dtd/caf%C3%A9-%D0%96-%F0%9F%98%80.dtd\">"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(narrow(c.encoding));
        EncodingSpec output;
        output.setName(c.encoding);
        output.endOfLine = 2;
        const std::wstring name = L"doctype" + std::to_wstring(++outputs) + L".xml";
        ASSERT_EQ(writeXmlOutput(dir.file(name).c_str(), *root(leftTreeView), 568, &output, doctype), 0u);
        const std::string bytes = dir.read(name);
        const size_t start = bytes.find('\n') + 1;
        EXPECT_EQ(bytes.substr(start, bytes.find('\n', start) - start), c.line);
    }
}

TEST_F(XmlWriterTest, DoctypeLineOnlyForTheRoot) {
    loadPair("<r><c>1</c></r>", "<r><c>2</c></r>");
    OptionSet::PrintDoctype = 1;
    const DoctypeFields doctype{L"r", L"", L"r.dtd"};
    const std::wstring path = dir.file(L"doctype.xml");
    ASSERT_EQ(writeXmlOutput(path.c_str(), *root(leftTreeView), 568, &spec, doctype), 0u);
    EXPECT_EQ(dir.read(L"doctype.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n<r>\n<c>1</c>\n</r>\n");
    ASSERT_EQ(writeXmlOutput(path.c_str(), *elementNamed(leftTreeView, L"c"), 568, &spec, doctype), 0u);
    EXPECT_EQ(dir.read(L"doctype.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<c>1</c>\n");
}

// An element whose texts hold references kept without their DTD is written under its
// document's DOCTYPE, whatever the element and the option, so that a parser that does
// not read the DTD takes the file as it took the document, and the program reads the same
// references back. Without one written as markup, the output is as it always was.
TEST_F(XmlWriterTest, KeptReferencesAreWrittenUnderTheirDocumentsDoctype) {
    loadPair("<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><p t=\"x&nbsp;y\">a&nbsp;b</p><c>1</c><m>z</m></r>",
             "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><p t=\"xy\">ab</p><c>2</c><m>w&copy;</m></r>");
    const std::wstring longSystemId = L"http://example.invalid/" + std::wstring(230, L'd') + L".dtd";
    const std::wstring longPublicId = L"-//Example//DTD " + std::wstring(200, L'P') + L"//EN";
    const std::string longLine =
        "<!DOCTYPE r PUBLIC \"" + narrow(longPublicId) + "\" \"" + narrow(longSystemId) + "\">\n";
    struct Case {
        const char* what;
        const wchar_t* element;
        int mode;
        int printDoctype;
        DoctypeFields doctype;
        std::string expected;  // after the declaration
    };
    const DoctypeFields system{L"r", L"", L"missing.dtd"};
    const std::string systemLine = "<!DOCTYPE r SYSTEM \"missing.dtd\">\n";
    // clang-format off
    const Case cases[] = {
        {"a child, the option off", L"p", 568, 0, system, systemLine + "<p t=\"x&nbsp;y\">a&nbsp;b</p>\n"},
        {"the root, the option on: one line", L"r", 568, 1, system,
         systemLine + "<r>\n<p t=\"x&nbsp;y\">a&nbsp;b</p>\n<c>1</c>\n<m>z</m>\n</r>\n"},
        {"a line longer than the option's", L"p", 568, 0, {L"r", longPublicId.c_str(), longSystemId.c_str()},
         longLine + "<p t=\"x&nbsp;y\">a&nbsp;b</p>\n"},
        {"Save Changed Elements", L"r", 983, 0, system,
         systemLine + "<r>\n<p t=\"x&nbsp;y\">a&nbsp;b</p>\n<c>1</c>\n<m>z</m>\n</r>\n"},
        {"no reference in the element, the option on", L"c", 568, 1, system, "<c>1</c>\n"},
        {"the partner's reference only in a comment of the report", L"m", 986, 0, system,
         "<m>\n<!-- w&copy; -->\nz\n</m>\n"},
    };
    // clang-format on
    std::vector<std::wstring> written;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OptionSet::PrintDoctype = c.printDoctype;
        const XMLTreeItem* element = elementNamed(leftTreeView, c.element);
        ASSERT_NE(element, nullptr);
        const std::wstring path = dir.file(L"kept" + std::to_wstring(written.size()) + L".xml");
        ASSERT_EQ(writeXmlOutput(path.c_str(), *element, c.mode, &spec, c.doctype), 0u);
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        const std::string bytes = dir.read(path.substr(dir.path().size() + 1));
        ASSERT_EQ(bytes.substr(0, declaration.size()), declaration);
        EXPECT_EQ(bytes.substr(declaration.size()), c.expected);
        EXPECT_EQ(plain_reader::problemsOf(path), "");
        written.push_back(path);
    }
    // The element saved alone reads back with the very references it has.
    const XMLTreeItem* p = elementNamed(leftTreeView, L"p");
    BoxScript boxes;
    ASSERT_EQ(parseIntoPanel(rightTreeView, written[0].c_str()), kLoaded);
    const XMLTreeItem* back = root(rightTreeView);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::wstring(back->text, back->textLength), std::wstring(p->text, p->textLength));
    EXPECT_EQ(std::wstring(back->attributes, back->attributesLength), std::wstring(p->attributes, p->attributesLength));
    EXPECT_NE(std::wstring(back->text, back->textLength).find(kKeptReferenceMark), std::wstring::npos);
    expectParses(written);
}

// A write that fails anywhere, inside the first buffer or after several, leaves the old
// file as it was and no scratch file behind.
TEST_F(XmlWriterTest, AFailedWriteKeepsTheOldFile) {
    std::string big = "<r>";
    for (int i = 0; i < 10000; ++i)
        big += "<item n=\"" + std::to_string(i) + "\">some text here</item>";
    big += "</r>";
    loadPair(big, "<r/>");
    const std::wstring target = dir.write(L"kept.xml", "old content");
    for (int64_t failAfter : {0, 10, 65536, 65537, 200000}) {
        setWriteFailureAfter(failAfter);
        EXPECT_EQ(writeXmlOutput(target.c_str(), *root(leftTreeView), 568, &spec, DoctypeFields{}),
                  static_cast<DWORD>(ERROR_DISK_FULL))
            << failAfter;
        setWriteFailureAfter(-1);
        EXPECT_EQ(dir.read(L"kept.xml"), "old content");
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir.path() + L"\\~verdalt*").c_str(), &data);
        EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "scratch file left behind";
        if (find != INVALID_HANDLE_VALUE) FindClose(find);
    }
    EXPECT_EQ(writeXmlOutput(target.c_str(), *root(leftTreeView), 568, &spec, DoctypeFields{}), 0u);
    EXPECT_GT(dir.read(L"kept.xml").size(), 200000u);
}

TEST_F(XmlWriterTest, ADocumentTenThousandLevelsDeepSavesInEveryMode) {
    const int depth = 10000;
    std::string left;
    std::string right;
    for (int i = 0; i < depth; ++i)
        left += "<a>";
    right = left;
    left += "x";
    right += "y";
    for (int i = 0; i < depth; ++i) {
        left += "</a>";
        right += "</a>";
    }
    loadPair(left, right);
    OptionSet::InsertPI = 1;
    std::vector<std::wstring> written;
    for (int mode : {568, 980, 981, 982, 983, 984, 985, 986}) {
        SCOPED_TRACE(mode);
        std::wstring path;
        const std::string out = save(root(leftTreeView), mode, &path);
        size_t starts = 0;
        for (size_t at = out.find("<a>"); at != std::string::npos; at = out.find("<a>", at + 1))
            ++starts;
        // Common and Deleted keep nothing below the root (no pair is equal, no element is
        // alone); Merge adds the partner's version of the leaf.
        const size_t expectedStarts = mode == 982 || mode == 984 ? 1u : static_cast<size_t>(depth + (mode == 981));
        EXPECT_EQ(starts, expectedStarts);
        if (mode != 984 && mode != 982) {
            EXPECT_NE(out.find(mode == 986 ? "<!-- y -->\nx\n</a>" : "x</a>"), std::string::npos);
        }
        written.push_back(path);
    }
    expectParses(written);
}

// What ./scripts/run shows: every save of the samples, whose roots differ in an
// attribute, loads again, with and without markers.
TEST_F(XmlWriterTest, TheSamplesSaveIntoFilesThatLoadAgain) {
    ASSERT_EQ(parseIntoPanel(leftTreeView, samplePath("left.xml").c_str()), kLoaded);
    ASSERT_EQ(parseIntoPanel(rightTreeView, samplePath("right.xml").c_str()), kLoaded);
    OptionSet::IgnoreOrderElements = 1;
    compare();
    ASSERT_GT(comparisonCounters.differentCount, 0u);
    spec = leftTreeView.outputEncoding;
    spec.endOfLine = 1;
    std::vector<std::wstring> written;
    for (int insertPI : {0, 1}) {
        OptionSet::InsertPI = insertPI;
        for (int mode : {568, 980, 981, 982, 983, 984, 985, 986}) {
            std::wstring path;
            const std::string out = saveWhole(root(leftTreeView), mode, &path);
            EXPECT_NE(out.find("<catalog"), std::string::npos);
            written.push_back(path);
        }
    }
    expectParses(written);
}

}  // namespace
