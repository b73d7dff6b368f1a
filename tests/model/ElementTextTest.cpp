#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/OptionSet.h"
#include "settings/XmlOutput.h"
#include "tests/support/PlainContentReader.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// An element's text gathered from runs of mixed content: text, inline elements, text.
class ElementTextTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;

    std::vector<XMLTreeItem*> load(const std::string& xml) {
        EXPECT_EQ(loadXml(leftTreeView, xml, dir), kLoaded);
        return recordsInOrder(leftTreeView);
    }
};

struct MixedCase {
    const char* what;
    std::string xml;
    std::vector<std::wstring> texts;  // per element in document order
};

TEST_F(ElementTextTest, RunsAroundInlineElementsKeepTheirWordsApart) {
    const MixedCase cases[] = {
        {"a page footer",
         "<p>Maintained in the <a>damned-lies</a> module on <a>git.gnome.org</a></p>",
         {L"Maintained in the module on", L"damned-lies", L"git.gnome.org"}},
        {"white space before the inline element only", "<p>the <a/>module</p>", {L"the module", L""}},
        {"white space after it only", "<p>the<a/> module</p>", {L"the module", L""}},
        {"a line break and indentation on both sides", "<p>the\n   <a>x</a>\n\tmodule</p>", {L"the module", L"x"}},
        {"no white space at the join", "<p>the<a/>module</p>", {L"themodule", L""}},
        {"white space inside the inline element is its own", "<p>the<a> x </a>module</p>", {L"themodule", L"x"}},
        {"a run of white space alone between two inline elements",
         "<p>the<a/> <b/>module</p>",
         {L"the module", L"", L""}},
        {"white space at the start and the end of the whole text",
         "<p> <a/> the <b/> module <c/> </p>",
         {L"the module", L"", L"", L""}},
        {"each open element joins its own runs", "<p>a <b>c <i/>d</b> e</p>", {L"a e", L"c d", L""}},
        {"a long join stays one blank", "<p>one \n\n  <a/>\n\n  two<b/>three</p>", {L"one twothree", L"", L""}},
    };
    for (const MixedCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto records = load(c.xml);
        ASSERT_GE(records.size(), c.texts.size());
        // The row reads the runs joined; where the children stood is kept beside them.
        for (size_t i = 0; i < c.texts.size(); ++i) {
            const std::wstring row = shownText(records[i]->text, records[i]->textLength);
            EXPECT_EQ(narrow(row), narrow(c.texts[i])) << "element " << i;
            EXPECT_EQ(row.size(), c.texts[i].size()) << "element " << i;
        }
    }
}

// The joining blank counts against the 65,535 units a text holds, and a text never ends
// in a blank that nothing follows.
TEST_F(ElementTextTest, TheJoiningBlankStaysWithinTheTextBound) {
    const std::string full(65534, 'x');
    const struct {
        const char* what;
        std::string xml;
        std::wstring expected;
    } cases[] = {
        {"room for the blank and one unit", "<p>" + std::string(65533, 'x') + " <a/>yz</p>",
         std::wstring(65533, L'x') + L" y"},
        {"room for the blank only", "<p>" + full + " <a/>y</p>", std::wstring(65534, L'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto records = load(c.xml);
        ASSERT_GE(records.size(), 1u);
        EXPECT_EQ(records[0]->textLength, c.expected.size());
        EXPECT_TRUE(textOf(records[0]) == c.expected);
    }
}

// A text cut at its 65,535 units is cut before a character beyond U+FFFF or a reference kept
// as written that would not fit whole, in one run or in a later one: the saved element reads
// back without a broken reference or a stand-in character, and the load's note names it.
TEST_F(ElementTextTest, ATextIsCutBeforeWhatItCannotHoldWhole) {
    OptionSet::InsertPI = 0;
    OptionSet::PrintDoctype = 0;
    OptionSet::SchemaValidation = 0;
    const std::string doctype = "<!DOCTYPE r SYSTEM \"missing.dtd\">\n";
    const std::wstring kept = std::wstring(1, kKeptReferenceMark) + L"nbsp;";
    const struct {
        const char* what;
        std::string body;  // the content of <p>
        std::wstring text;
        bool cut;
    } cases[] = {
        {"a reference across the bound", std::string(65531, 'a') + "&nbsp;", std::wstring(65531, L'a'), true},
        {"a reference just inside it", std::string(65529, 'a') + "&nbsp;b", std::wstring(65529, L'a') + kept, true},
        {"a character across the bound", std::string(65534, 'a') + "\xF0\x9F\x98\x80", std::wstring(65534, L'a'), true},
        {"a character that ends the text at the bound", std::string(65533, 'a') + "\xF0\x9F\x98\x80" + std::string("b"),
         std::wstring(65533, L'a') + L"\U0001F600", true},
        {"a reference in a later run", std::string(40000, 'a') + "<b/>" + std::string(25533, 'a') + "&nbsp;",
         std::wstring(65533, L'a'), true},
        {"a character in a later run", std::string(40000, 'a') + "<b/>" + std::string(25534, 'a') + "\xF0\x9F\x98\x80",
         std::wstring(65534, L'a'), true},
        {"a text that fits", std::string(65529, 'a') + "&nbsp;", std::wstring(65529, L'a') + kept, false},
    };
    EncodingSpec spec;
    spec.setName(L"UTF-8");
    spec.endOfLine = 2;
    const DoctypeFields fields{L"r", L"", L"missing.dtd"};
    int saved = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto records = load(doctype + "<r>\n<p>" + c.body + "</p></r>");
        const XMLTreeItem* p = elementNamed(leftTreeView, L"p");
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(textOf(p) == c.text) << p->textLength << " units, ending "
                                         << narrow(textOf(p).substr(textOf(p).size() > 8 ? textOf(p).size() - 8 : 0));
        const std::string note = narrow(leftTreeView.loadNote);
        const bool named =
            note.find("Loaded with some texts cut at 65,535 units: element p at line 3") != std::string::npos;
        EXPECT_EQ(named, c.cut) << note;

        const std::wstring name = L"cut" + std::to_wstring(++saved) + L".xml";
        ASSERT_EQ(writeXmlOutput(dir.file(name).c_str(), *p, 568, &spec, fields), 0u);
        const PlainDocument back = readPlain(dir.file(name));
        ASSERT_TRUE(back.wellFormed) << narrow(back.firstError);
        const PlainElement* savedP = back.named(L"p");
        ASSERT_NE(savedP, nullptr);
        // The plain reader leaves out the reference its missing DTD would declare.
        std::wstring expected;
        for (size_t i = 0; i < c.text.size(); ++i) {
            if (c.text[i] == kKeptReferenceMark && (i == 0 || c.text[i - 1] < 0xD800 || c.text[i - 1] > 0xDBFF)) {
                i = c.text.find(L';', i);
                continue;
            }
            expected += c.text[i];
        }
        // The line breaks around a child are the file's, not the text's.
        std::wstring own = savedP->text;
        while (!own.empty() && own.back() <= L' ')
            own.pop_back();
        EXPECT_TRUE(own == expected) << own.size();
        EXPECT_EQ(own.find(L'\uFFFD'), std::wstring::npos);
    }
}

// What a saved element holds is its document's text, each run where it stood: another
// parser reads the words apart, with the white space the document has around the children.
TEST_F(ElementTextTest, ASavedElementKeepsTheWordsApart) {
    OptionSet::InsertPI = 0;
    OptionSet::PrintDoctype = 0;
    auto records = load("<div><p>Maintained in the <a>damned-lies</a> module on <a>git.gnome.org</a></p></div>");
    ASSERT_GE(records.size(), 2u);
    EncodingSpec spec;
    spec.setName(L"UTF-8");
    spec.endOfLine = 2;
    const std::wstring path = dir.file(L"saved.xml");
    ASSERT_EQ(writeXmlOutput(path.c_str(), *records[1], 568, &spec, DoctypeFields{}), 0u);

    const PlainDocument saved = readPlain(path);
    ASSERT_TRUE(saved.wellFormed) << narrow(saved.firstError) << "\n" << dir.read(L"saved.xml");
    const PlainElement* p = saved.named(L"p");
    ASSERT_NE(p, nullptr);
    std::wstring own = p->text;
    while (!own.empty() && own.back() <= L' ')
        own.pop_back();
    EXPECT_EQ(narrow(own), "Maintained in the  module on");
    ASSERT_EQ(saved.elements.size(), 3u);
    EXPECT_EQ(narrow(saved.elements[1].text), "damned-lies");
}

}  // namespace
