#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <xercesc/sax/SAXParseException.hpp>

#include "model/DocumentHandlers.h"
#include "model/ElementStore.h"
#include "model/NameDictionary.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// Options that loading reads, put back after each test.
class DocumentLoadTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;


    std::vector<XMLTreeItem*> load(const std::string& xml) {
        EXPECT_EQ(loadXml(leftTreeView, xml, dir), kLoaded);
        return recordsInOrder(leftTreeView);
    }
};

struct TextCase {
    const char* xml;
    std::vector<std::wstring> texts;  // per element in document order
};

TEST_F(DocumentLoadTest, TextIsTrimmedSegmentBySegmentAndJoined) {
    const TextCase cases[] = {
        {"<a> x\n<b/>y</a>", {L"x y", L""}},
        {"<a>  \t\r\n  </a>", {L""}},
        {"<a>one <b> two </b> three</a>", {L"one three", L"two"}},
        {"<a>x<!--c-->y<?pi data?>z</a>", {L"xyz"}},
        {"<a><![CDATA[ <raw> ]]></a>", {L"<raw>"}},
        {"<a>&lt;&amp;&#65;</a>", {L"<&A"}},
        {"<a>\n  inner text \n  </a>", {L"inner text"}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.xml);
        auto records = load(c.xml);
        ASSERT_GE(records.size(), c.texts.size());
        for (size_t i = 0; i < c.texts.size(); ++i) {
            const std::wstring row = rowText(records[i]->text, records[i]->textLength);
            EXPECT_EQ(narrow(row), narrow(c.texts[i])) << "element " << i;
            EXPECT_EQ(row.size(), c.texts[i].size());
        }
    }
}

// "|" stands for a child's mark in the stored texts below.
std::wstring withMarks(const std::wstring& text) {
    std::wstring marked = text;
    for (wchar_t& c : marked)
        if (c == L'|') c = kChildMark;
    return marked;
}

// An element keeps where its children stood among its runs of text only when a run
// follows a child; every other element (data, pretty-printed documents, a text before all
// children) keeps its text as the runs joined, and so its hashes and its length.
TEST_F(DocumentLoadTest, TextRunsKeepThePlacesOfTheChildrenBetweenThem) {
    const struct {
        const char* xml;
        std::vector<std::wstring> stored;  // per element in document order
        std::vector<std::wstring> rows;
    } cases[] = {
        {"<r><a>1</a><b>2</b></r>", {L"", L"1", L"2"}, {L"", L"1", L"2"}},
        {"<r>\n  <a>1</a>\n  <b>2</b>\n</r>", {L"", L"1", L"2"}, {L"", L"1", L"2"}},
        {"<p>head <b>x</b>\n<i/></p>", {L"head", L"x", L""}, {L"head", L"x", L""}},
        {"<a> x\n<b/>y</a>", {L"x |y", L""}, {L"x y", L""}},
        {"<a>one <b> two </b> three</a>", {L"one | three", L"two"}, {L"one three", L"two"}},
        {"<p><b>x</b> tail</p>", {L"| tail", L"x"}, {L"tail", L"x"}},
        {"<p>the<b>x</b>module<i>y</i></p>", {L"the|module", L"x", L"y"}, {L"themodule", L"x", L"y"}},
        {"<p>a<b/><i/>c</p>", {L"a||c", L"", L""}, {L"ac", L"", L""}},
        {"<p>a <b/> <i/>\n c</p>", {L"a | | c", L"", L""}, {L"a c", L"", L""}},
        {"<p>a <b>x</b> c <i>y</i>d</p>", {L"a | c |d", L"x", L"y"}, {L"a c d", L"x", L"y"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        auto records = load(c.xml);
        ASSERT_GE(records.size(), c.stored.size());
        for (size_t i = 0; i < c.stored.size(); ++i) {
            EXPECT_EQ(textOf(records[i]), withMarks(c.stored[i])) << "element " << i;
            EXPECT_EQ(rowText(records[i]->text, records[i]->textLength), c.rows[i]) << "element " << i;
            EXPECT_EQ(shownText(records[i]->text, records[i]->textLength), c.rows[i]) << "element " << i;
        }
    }
    // The row's height counts the row's units: 70 of them fit in one line, with the places
    // of two children between them.
    OptionSet::DisplayFullMode = 1;
    OptionSet::HandleNewLine = 0;
    const XMLTreeItem* fits = load("<p>" + std::string(34, 'a') + " <b/> " + std::string(17, 'c') + " <i/> " +
                                   std::string(17, 'd') + "</p>")[0];
    EXPECT_EQ(rowText(fits->text, fits->textLength).size(), 70u);
    EXPECT_GT(fits->textLength, 70u);
    EXPECT_EQ(fits->textLines, 0u);
    OptionSet::DisplayFullMode = 0;
    // The hashes: those of the joined runs alone where no run follows a child, and other
    // ones, in every mode, where children stood between the runs.
    const struct {
        const char* first;
        const char* second;
        bool sameHashes;
    } hashes[] = {
        {"<r>\n text \n<a/>\n</r>", "<r>text</r>", true},     {"<r>one <b>x</b>\n</r>", "<r>one</r>", true},
        {"<r>the <a/> is</r>", "<r>the is</r>", false},       {"<r><a/>the is</r>", "<r>the is</r>", false},
        {"<r>the <a/> is</r>", "<r>the\n<a/>\nis</r>", true},
    };
    for (const auto& h : hashes) {
        SCOPED_TRACE(std::string(h.first) + " against " + h.second);
        const XMLTreeItem* first = load(h.first)[0];
        uint64_t firstHashes[4];
        std::copy(first->textHash, first->textHash + 4, firstHashes);
        const uint16_t firstWeight = first->textWeight;
        const XMLTreeItem* second = load(h.second)[0];
        EXPECT_EQ(firstWeight, second->textWeight);
        for (int mode = 0; mode < 4; ++mode)
            EXPECT_EQ(firstHashes[mode] == second->textHash[mode], h.sameHashes) << "mode " << mode;
    }
}

TEST_F(DocumentLoadTest, SummaryItemFollowsDocumentsOfTwoOrMoreElements) {
    auto one = load("<only/>");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(leftTreeView.summaryItem, nullptr);

    auto three = load("<r><a/><b/></r>");
    ASSERT_EQ(three.size(), 4u);
    XMLTreeItem* summary = leftTreeView.summaryItem;
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(three.back(), summary);
    EXPECT_TRUE(summary->isSummary());
    EXPECT_EQ(summary->descendantCount, 2u);
    EXPECT_EQ(summary->partner, summary);
    EXPECT_EQ(summary->pathHash, -1);
    EXPECT_EQ(ElementStore::parent(leftTreeView.tree, summary->treeItem), nullptr);
    EXPECT_EQ(ElementStore::selected(leftTreeView.tree), summary->treeItem);
    EXPECT_EQ(leftTreeView.loaded, 1);
}

TEST_F(DocumentLoadTest, AttributeTextUsesTheQuoteMarksAndKeepsEveryAttribute) {
    auto records = load("<e a=\"1\" b='2'/>");
    ASSERT_EQ(records.size(), 1u);
    std::wstring expected = std::wstring(L"a=") + kAttributeOpenQuote + L"1" + kAttributeCloseQuote + L" b=" +
                            kAttributeOpenQuote + L"2" + kAttributeCloseQuote;
    EXPECT_EQ(attributesOf(records[0]), expected);
    EXPECT_EQ(records[0]->attributesLength, 11);

    // Characters U+08FE and U+08FF in a document stay what they are.
    records = load("<e v=\"\xE0\xA3\xBE\xE0\xA3\xBF\"/>");
    expected = std::wstring(L"v=") + kAttributeOpenQuote + L"\x08FE\x08FF" + kAttributeCloseQuote;
    EXPECT_EQ(attributesOf(records[0]), expected);
}

TEST_F(DocumentLoadTest, DifferentAttributeValuesGiveDifferentHashes) {
    auto first = load("<r><e x=\"1\"/><e x=\"2\"/><e y=\"1\"/><e x=\"1\"/></r>");
    ASSERT_EQ(first.size(), 6u);
    for (int m = 0; m < 4; ++m) {
        EXPECT_NE(first[1]->attributeHash[m], first[2]->attributeHash[m]) << "mode " << m;
        EXPECT_NE(first[1]->attributeHash[m], first[3]->attributeHash[m]) << "mode " << m;
        EXPECT_EQ(first[1]->attributeHash[m], first[4]->attributeHash[m]) << "mode " << m;
        EXPECT_NE(first[1]->attributeHash[m], 0u);
    }
}

TEST_F(DocumentLoadTest, PathHashesFollowTheNameIds) {
    auto records = load("<a><b><c/></b></a>");
    ASSERT_EQ(records.size(), 4u);
    int32_t a = records[0]->nameId();
    int32_t b = records[1]->nameId();
    int32_t c = records[2]->nameId();
    EXPECT_EQ(records[0]->pathHash, a);
    EXPECT_EQ(records[1]->pathHash, static_cast<int32_t>(static_cast<uint32_t>(a) * 17u + static_cast<uint32_t>(b)));
    EXPECT_EQ(records[2]->pathHash,
              static_cast<int32_t>(static_cast<uint32_t>(records[1]->pathHash) * 17u + static_cast<uint32_t>(c)));

    // A list file's path text gives the same hash.
    wchar_t path[] = L" a > b >c ";
    int32_t id = 0;
    int32_t hash = 0;
    wchar_t* rest = internPathStep(path, 3, &id, &hash);
    rest = internPathStep(rest, 3, &id, &hash);
    internPathStep(rest, -1, &id, &hash);
    EXPECT_EQ(id, c);
    EXPECT_EQ(hash, records[2]->pathHash);
}

TEST_F(DocumentLoadTest, NamespacesCanBeIgnored) {
    const char* xml = "<r xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><p:a p:k=\"1\"/><q:a/></r>";
    auto records = load(xml);
    EXPECT_NE(records[1]->nameId(), records[2]->nameId());
    EXPECT_EQ(narrow(records[1]->nameText()), "p:a");

    // The comparison matches the local names; the records keep the names as written.
    OptionSet::IgnoreNamespaces = 1;
    records = load(xml);
    EXPECT_EQ(records[1]->nameId(), records[2]->nameId());
    EXPECT_EQ(narrow(records[1]->nameText()), "p:a");
    EXPECT_EQ(narrow(records[2]->nameText()), "q:a");
    EXPECT_EQ(narrow(attributesOf(records[1])).substr(0, 4), "p:k=");
}

TEST_F(DocumentLoadTest, RecordsKeepTheirSourcePositions) {
    auto records = load("<?xml version=\"1.0\"?>\n<root>\n      <c>t</c>\n  <d\n   x=\"1\"/>\n</root>");
    ASSERT_EQ(records.size(), 4u);
    // The declaration and the blanks outside the root element are no events, so the root
    // keeps the position of the document's start.
    EXPECT_EQ(records[0]->line, 0);
    EXPECT_EQ(records[0]->column, 1);
    EXPECT_EQ(narrow(records[1]->positionText()), "Line 3  Col 7");
    EXPECT_EQ(records[1]->lineSpan, 0);
    EXPECT_EQ(records[1]->endColumn, 15);
    EXPECT_EQ(records[2]->line, 3);
    EXPECT_EQ(records[2]->lineSpan, 1);
    EXPECT_EQ(records[0]->lineSpan, 5);
    EXPECT_EQ(leftTreeView.lineIndexCount, 6u);
}

TEST_F(DocumentLoadTest, ChildNameListsCountEachNameInOrderOfFirstAppearance) {
    auto records = load("<r><b/><a/><b/><c/><a/><b/></r>");
    XMLTreeItem* r = records[0];
    ASSERT_EQ(r->childCount, 6u);
    ASSERT_EQ(r->childNameCount, 3u);
    EXPECT_EQ(r->childNameIds[0], records[1]->nameId());
    EXPECT_EQ(r->childNameIds[1], records[2]->nameId());
    EXPECT_EQ(r->childNameIds[2], records[4]->nameId());
    EXPECT_EQ(r->childNameCounts[0], 3);
    EXPECT_EQ(r->childNameCounts[1], 2);
    EXPECT_EQ(r->childNameCounts[2], 1);
    EXPECT_EQ(records[1]->childNameCount, 0u);
}

// The list grows with the names: every child is in it, and no box is shown.
TEST_F(DocumentLoadTest, ChildNameListsHoldThousandsOfNames) {
    std::string xml = "<r>";
    for (int i = 0; i < 5000; ++i)
        xml += "<n" + std::to_string(i) + "/>";
    xml += "<n0/><n4999/></r>";
    BoxScript boxes;
    XMLTreeItem* r = load(xml)[0];
    ASSERT_EQ(r->childNameCount, 5000u);
    EXPECT_EQ(r->childNameCounts[0], 2);
    EXPECT_EQ(r->childNameCounts[2048], 1);
    EXPECT_EQ(r->childNameCounts[4999], 2);
    EXPECT_EQ(r->childNameIds[4999], elementNamed(leftTreeView, L"n4999")->nameId());
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(DocumentLoadTest, DoctypeAndInternalEntitiesReachThePanel) {
    dir.write(L"r.dtd", "<!ELEMENT r ANY>");
    auto records = load("<!DOCTYPE r PUBLIC \"-//Test//DTD R//EN\" \"r.dtd\" [\n"
                        "<!ENTITY twelve \"123456789012\">\n<!ENTITY empty \"\">\n]>\n<r>&twelve;</r>");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(narrow(leftTreeView.doctypeName), "r");
    EXPECT_EQ(narrow(leftTreeView.doctypePublicId), "-//Test//DTD R//EN");
    EXPECT_EQ(narrow(leftTreeView.doctypeSystemId), "r.dtd");
    EXPECT_EQ(narrow(textOf(records[0])), "123456789012");
    int32_t hash;
    uint32_t packed;
    EntityTable::keys(L"twelve", &hash, &packed);
    EXPECT_EQ(EntityTable::lookup(leftTreeView.entityTable.get(), hash, packed), 12);
    EntityTable::keys(L"empty", &hash, &packed);
    EXPECT_EQ(EntityTable::lookup(leftTreeView.entityTable.get(), hash, packed), 0);  // replaced by nothing
    EntityTable::keys(L"amp", &hash, &packed);
    EXPECT_EQ(EntityTable::lookup(leftTreeView.entityTable.get(), hash, packed), 1);

    load("<r/>");
    EXPECT_EQ(narrow(leftTreeView.doctypeName), "");
    EntityTable::keys(L"twelve", &hash, &packed);
    EXPECT_EQ(EntityTable::lookup(leftTreeView.entityTable.get(), hash, packed), 0);
}

struct EncodingCase {
    std::string bytes;
    unsigned codePage;
};

TEST_F(DocumentLoadTest, PanelEncodingComesFromTheDeclarationOrTheByteOrderMark) {
    const EncodingCase cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9</r>", 1252},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>", 28591},
        {"<?xml version=\"1.0\"?><r/>", 65001},
        {"<r/>", 65001},
        {std::string("\xFF\xFE<\0r\0/\0>\0", 10), 1200},
        {std::string("\xFE\xFF\0<\0r\0/\0>", 10), 1201},
        {std::string("\xEF\xBB\xBF<r/>"), 65001},
        // Read through the system's code pages, in the code page the editor and the writers use.
        {"<?xml version=\"1.0\" encoding=\"EUC-JP\"?>\n<r>\xC5\xEC</r>", 20932},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<r>\x93\x8C</r>", 932},
        {"<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n<r>\xB0\xA1</r>", 949},
        {"<?xml version=\"1.0\" encoding=\"Big5\"?>\n<r>\xA4\xA4</r>", 950},
        {"<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<r>\xD6\xD0</r>", 936},
        {"<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\n<r>\xF0</r>", 20866},
        {"<?xml version=\"1.0\" encoding=\"MacCyrillic\"?>\n<r>\x8F</r>", 10007},
        {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?>\n<r/>", 20127},
        // <?xml version="1.0" encoding="IBM500"?><root/> in EBCDIC.
        {"\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7F\xF1\x4B\xF0\x7F\x40\x85\x95\x83\x96\x84"
         "\x89\x95\x87\x7E\x7F\xC9\xC2\xD4\xF5\xF0\xF0\x7F\x6F\x6E\x4C\x99\x96\x96\xA3\x61\x6E",
         500},
    };
    for (const EncodingCase& c : cases) {
        SCOPED_TRACE(c.bytes);
        ASSERT_EQ(loadXml(leftTreeView, c.bytes, dir), kLoaded);
        EXPECT_EQ(leftTreeView.outputEncoding.codePage, c.codePage);
    }
}

TEST_F(DocumentLoadTest, ItemHeightsFollowTheDisplayMode) {
    std::string attrs(70, 'v');
    std::string xml = "<r><e a=\"" + attrs + "\">ten chars!</e><f>short</f></r>";
    OptionSet::DisplayFullMode = 1;
    auto records = load(xml);
    HWND tree = leftTreeView.tree;
    // 75 units of attribute text: 2 lines; 10 units of text: 1 line.
    EXPECT_EQ(ElementStore::height(tree, records[1]->treeItem), 4);
    EXPECT_EQ(ElementStore::height(tree, records[2]->treeItem), 1);
    EXPECT_EQ(ElementStore::height(tree, leftTreeView.summaryItem->treeItem), 20);

    OptionSet::DisplayFullMode = 0;
    records = load(xml);
    EXPECT_EQ(ElementStore::height(tree, records[1]->treeItem), 1);
    EXPECT_EQ(ElementStore::height(tree, leftTreeView.summaryItem->treeItem), 1);
}

TEST_F(DocumentLoadTest, TallItemsAreNotedOnThePanel) {
    OptionSet::DisplayFullMode = 1;
    OptionSet::HandleNewLine = 1;
    std::string text;
    for (int i = 0; i < 30; ++i) text += "line\n";
    load("<r><e>" + text + "x</e></r>");
    EXPECT_EQ(leftTreeView.hasTallItems, 1);
    load("<r><e>x</e></r>");
    EXPECT_EQ(leftTreeView.hasTallItems, 0);
}

// Long texts are cut at 65,535 units, never wrapped around to a short length.
TEST_F(DocumentLoadTest, LongTextsAreCutAtTheLengthLimit) {
    auto records = load("<r>" + std::string(70000, 'x') + "</r>");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->textLength, 65535);

    records = load("<r>" + std::string(40000, 'x') + "<c/>" + std::string(40000, 'y') + "</r>");
    EXPECT_EQ(records[0]->textLength, 65535);
    EXPECT_EQ(records[0]->text[65534], L'y');
    EXPECT_EQ(records[0]->text[65535], 0);

    std::string value(70000, 'v');
    records = load("<r a=\"" + value + "\"/>");
    EXPECT_EQ(records[0]->attributesLength, 0) << "an attribute that does not fit is left out whole";
}

TEST_F(DocumentLoadTest, BadInputFailsCleanly) {
    const char* cases[] = {
        "<a><b></a>",
        "",
        "<a>",
        "not xml at all",
        "<a x=\"1\" x=\"2\"/>",
    };
    for (const char* xml : cases) {
        SCOPED_TRACE(xml);
        load("<ok><x/></ok>");
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error");
        EXPECT_EQ(loadXml(leftTreeView, xml, dir), kLoadFailed);
        EXPECT_EQ(leftTreeView.loaded, 0);
        EXPECT_EQ(ElementStore::root(leftTreeView.tree), nullptr);
        EXPECT_EQ(leftTreeView.summaryItem, nullptr);
        EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
    }
    EXPECT_EQ(parseIntoPanel(leftTreeView, dir.file(L"missing.xml").c_str()), kLoadCancelled);
}

// The message names the encoding: the parser never starts to read the document in it.
TEST_F(DocumentLoadTest, AnEncodingThatCannotBeReadIsRefusedByName) {
    for (const char* encoding : {"ISO-2022-JP", "UTF-7", "EUC-TW", "x-no-such-encoding"}) {
        SCOPED_TRACE(encoding);
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error", IDNO);
        const std::string xml = std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>\n<r>a</r>";
        EXPECT_EQ(loadXml(leftTreeView, xml, dir), kLoadFailed);
        ASSERT_FALSE(boxes.shown().empty());
        const std::wstring& text = boxes.shown()[0].text;
        // The parser names it in capitals.
        std::wstring named = L"'" + widen(encoding) + L"'";
        for (wchar_t& unit : named)
            unit = static_cast<wchar_t>(std::towupper(unit));
        EXPECT_NE(text.find(named), std::wstring::npos) << narrow(text);
        EXPECT_EQ(text.find(L"code point"), std::wstring::npos) << narrow(text);
    }
}

// A byte sequence the code page lacks is named with the encoding; the parse ends there.
TEST_F(DocumentLoadTest, ABadByteIsNamedWithItsEncoding) {
    struct Case {
        const char* encoding;
        const char* bytes;
        const wchar_t* named;
    };
    const Case cases[] = {
        {"Shift_JIS", "\x81\x20", L"code point 0x8120 is invalid for 'SHIFT_JIS' encoding"},
        {"EUC-JP", "\xA1\x20", L"code point 0xA120 is invalid for 'EUC-JP' encoding"},
        {"EUC-KR", "\xB0\x20", L"code point 0xB020 is invalid for 'EUC-KR' encoding"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error", IDNO);
        const std::string xml =
            std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?>\n<r>a" + c.bytes + "</r>";
        EXPECT_EQ(loadXml(leftTreeView, xml, dir), kLoadFailed);
        ASSERT_FALSE(boxes.shown().empty());
        EXPECT_NE(boxes.shown()[0].text.find(c.named), std::wstring::npos) << narrow(boxes.shown()[0].text);
    }
}

TEST_F(DocumentLoadTest, DeepNestingLoadsAndClears) {
    const int depth = 10000;
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<d>";
    for (int i = 0; i < depth; ++i) xml += "</d>";
    auto records = load(xml);
    ASSERT_EQ(records.size(), static_cast<size_t>(depth) + 1);
    EXPECT_EQ(records[depth - 1]->childCount, 0u);
    EXPECT_EQ(records[0]->childCount, 1u);
    EXPECT_EQ(leftTreeView.summaryItem->descendantCount, static_cast<uint32_t>(depth - 1));
    clearPanel(leftTreeView.tree, true);
    EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
}

struct ScopeCase {
    const char* what;
    std::string xml;
    bool loads;
};

// The parser finds a prefix's declaration by jumping from level to level that declares
// prefixes, not by walking every level (which made deep documents quadratic): the
// declarations in force must stay exactly those of the open elements.
TEST_F(DocumentLoadTest, PrefixesResolveThroughDeepNestingWithinTheirScope) {
    auto levels = [](int n, const std::string& inner) {
        std::string xml;
        for (int i = 0; i < n; ++i)
            xml += "<d>";
        xml += inner;
        for (int i = 0; i < n; ++i)
            xml += "</d>";
        return xml;
    };
    const ScopeCase cases[] = {
        {"declared at the root, used deep", "<p:r xmlns:p=\"u\">" + levels(5000, "<p:b/>") + "</p:r>", true},
        {"declared at two levels, both used deep",
         "<r xmlns:p=\"u\">" + levels(2000, "<e xmlns:q=\"v\">" + levels(2000, "<p:b q:k=\"1\"/>") + "</e>") + "</r>",
         true},
        {"redeclared nearer",
         "<r xmlns:p=\"u\">" + levels(3000, "<p:e xmlns:p=\"w\">" + levels(10, "<p:b/>") + "</p:e>") + "</r>", true},
        {"default namespace deep", "<r xmlns=\"u\">" + levels(5000, "<b/>") + "</r>", true},
        {"declared in a closed sibling",
         "<r>" + levels(3000, "<x xmlns:p=\"u\"/><y>" + levels(5, "<p:b/>") + "</y>") + "</r>", false},
        {"declared in a closed branch at the same depth",
         "<r><x xmlns:p=\"u\">" + levels(3000, "") + "</x><y>" + levels(3000, "<p:b/>") + "</y></r>", false},
        {"declared below the use", "<r>" + levels(3000, "<p:b><c xmlns:p=\"u\"/></p:b>") + "</r>", false},
    };
    for (const ScopeCase& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.loads) {
            EXPECT_EQ(loadXml(leftTreeView, c.xml, dir), kLoaded);
            continue;
        }
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error");
        EXPECT_EQ(loadXml(leftTreeView, c.xml, dir), kLoadFailed);
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
}

TEST_F(DocumentLoadTest, ElementNamesAreSharedAcrossPanels) {
    load("<shared><x/></shared>");
    ASSERT_EQ(loadXml(rightTreeView, "<shared><y/></shared>", dir, L"right.xml"), kLoaded);
    auto left = recordsInOrder(leftTreeView);
    auto right = recordsInOrder(rightTreeView);
    EXPECT_EQ(left[0]->name, right[0]->name);
    EXPECT_EQ(left[0]->pathHash, right[0]->pathHash);
    EXPECT_EQ(left[0]->treeView, leftTreeView.tree);
    EXPECT_EQ(right[0]->treeView, rightTreeView.tree);
    EXPECT_EQ(panelFromTree(right[0]->treeView), &rightTreeView);
    EXPECT_EQ(otherPanelFromTree(right[0]->treeView), &leftTreeView);
}

// A reference as the element's texts keep it.
std::wstring kept(const std::wstring& name) {
    return std::wstring(1, kKeptReferenceMark) + name + L";";
}

// Offline, a document's external DTD is often out of reach: a file that is not there, a
// host that does not resolve, https (which the parser's own reader does not speak) or a
// system id that names no place at all. With "SchemaValidation" Auto the document loads
// without it and says so in its log, with no question that could cancel the load; a DTD
// that can be read still counts. Always refuses the document; Never does not look, and
// keeps what only the DTD declares as written.
TEST_F(DocumentLoadTest, AnExternalDTDOutOfReachIsLeftOutUnlessValidationIsAlways) {
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 1;
    OptionSet::UseExternalSchema = 0;
    OptionSet::ContinueAfterFatalError = 0;
    dir.write(L"present.dtd", "<!ELEMENT doc (#PCDATA|item)*>\n<!ELEMENT item EMPTY>\n<!ENTITY who \"world\">\n");
    struct Case {
        const char* what;
        std::string systemId;
        bool readable;
        const char* autoText;  // of doc, under Auto
        const char* reason;    // in the warning
    } cases[] = {
        {"a missing local file", "missing.dtd", false, "mine", "(the file cannot be opened)"},
        {"a host that does not resolve", "http://dtd.invalid/doc.dtd", false, "mine",
         "(unable to resolve host/address 'dtd.invalid')"},
        {"an https URL", "https://127.0.0.1:9/doc.dtd", false, "mine", "(unsupported protocol in URL)"},
        {"a urn", "urn:fontconfig:fonts.dtd", false, "mine", "(the file cannot be opened)"},
        {"a local DTD that declares an entity", "present.dtd", true, "mineworld", ""},
    };
    const std::wstring log = L"doc.xml.log";
    for (const Case& c : cases) {
        const std::string xml = "<!DOCTYPE doc SYSTEM \"" + c.systemId + "\" [<!ENTITY own \"mine\">]>\n<doc>&own;" +
                                (c.readable ? "&who;" : "") + "<item/></doc>";
        for (uint8_t validation : {0, 1, 2}) {
            SCOPED_TRACE(std::string(c.what) + ", SchemaValidation " + std::to_string(validation));
            OptionSet::SchemaValidation = validation;
            DeleteFileW(dir.file(log).c_str());
            BoxScript boxes;
            const bool refused = validation == 2 && !c.readable;
            if (refused) boxes.expectCaption(L"Fatal error");
            const int result = loadXml(leftTreeView, xml, dir);
            EXPECT_EQ(boxes.shown().size(), refused ? 1u : 0u);
            const std::string written = dir.read(log);
            if (refused) {
                EXPECT_EQ(result, kLoadFailed);
                EXPECT_EQ(written.rfind("Fatal error at ", 0), 0u) << written;
                EXPECT_FALSE(countHandlers.dtdNote.leftOut());
                continue;
            }
            ASSERT_EQ(result, kLoaded);
            XMLTreeItem* doc = elementNamed(leftTreeView, L"doc");
            ASSERT_NE(doc, nullptr);
            ASSERT_NE(elementNamed(leftTreeView, L"item"), nullptr);
            if (validation != 1) {
                EXPECT_EQ(narrow(textOf(doc)), c.autoText);
            } else {
                EXPECT_EQ(textOf(doc), L"mine" + (c.readable ? kept(L"who") : L""));
            }
            EXPECT_EQ(narrow(leftTreeView.doctypeSystemId), c.systemId);
            const std::string note = narrow(countHandlers.dtdNote.text());
            EXPECT_EQ(narrow(leftTreeView.loadNote), note);
            if (validation == 0 && !c.readable) {
                const std::string named = "): " + c.systemId;
                EXPECT_EQ(narrow(countHandlers.dtdNote.dtd()), c.systemId);
                EXPECT_EQ(note.rfind("Loaded without the external DTD (", 0), 0u) << note;
                ASSERT_GT(note.size(), named.size());
                EXPECT_EQ(note.substr(note.size() - named.size()), named) << note;
                EXPECT_NE(note.find(c.reason), std::string::npos) << note;
                EXPECT_EQ(written,
                          "Warning at line 1 column " + std::to_string(c.systemId.size() + 48) + " : " + note + "\r\n");
            } else if (validation == 1 && c.readable) {
                EXPECT_EQ(note,
                          "Loaded without the external DTD, 1 entity reference kept as written (\"SchemaValidation\" "
                          "is Never): " +
                              c.systemId);
                // Never reads no DTD: the line names the DOCTYPE, past its external id.
                EXPECT_EQ(written,
                          "Warning at line 1 column " + std::to_string(c.systemId.size() + 25) + " : " + note + "\r\n");
            } else {
                EXPECT_EQ(note, "");
                EXPECT_EQ(written, "");
            }
        }
    }
}

// The prolog is read again without the DTD; what was reported in it is reported once.
TEST_F(DocumentLoadTest, AReportBeforeAnUnreadableDTDIsMadeOnce) {
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 1;
    OptionSet::UseExternalSchema = 0;
    OptionSet::SchemaValidation = 0;
    OptionSet::ContinueAfterFatalError = 1;
    BoxScript boxes;
    boxes.expectCaption(L"Fatal error");
    EXPECT_EQ(loadXml(leftTreeView, "<!DOCTYPE doc SYSTEM \"missing.dtd\" [<!ENTITY own \"mine\" x>]>\n<doc/>", dir),
              kLoaded);
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(countHandlers.fatalSeen, 1);
    EXPECT_EQ(narrow(countHandlers.dtdNote.dtd()), "missing.dtd");
    const std::string written = dir.read(L"doc.xml.log");
    EXPECT_EQ(written.find("Fatal error at "), written.rfind("Fatal error at ")) << written;
    EXPECT_NE(written.find("\r\nWarning at "), std::string::npos) << written;
}

// UTF-16LE bytes with a byte order mark, of a text of ASCII units.
std::string utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// The IBM037 (EBCDIC) bytes of a text of printable ASCII units.
std::string ibm037(const std::string& ascii) {
    static const char kFromSpace[] =
        "\x40\x5A\x7F\x7B\x5B\x6C\x50\x7D\x4D\x5D\x5C\x4E\x6B\x60\x4B\x61\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\x7A"
        "\x5E\x4C\x7E\x6E\x6F\x7C\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xE2\xE3\xE4"
        "\xE5\xE6\xE7\xE8\xE9\xBA\xE0\xBB\xB0\x6D\x79\x81\x82\x83\x84\x85\x86\x87\x88\x89\x91\x92\x93\x94\x95\x96\x97"
        "\x98\x99\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xC0\x4F\xD0\xA1";
    std::string out;
    for (char c : ascii) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
        out += kFromSpace[c - 0x20];
    }
    return out;
}

// Where the external DTD is not read: it is not there, nothing listens where it is, its
// server answers 404, or "SchemaValidation" Never does not look. The roads one table of
// documents takes; without namespaces the parser reads attribute values another way.
struct DTDRoad {
    const char* what;
    std::string systemId;
    uint8_t validation;
    const char* reason;  // in the note; null: whatever the parser says
    uint8_t namespaces;
};

struct KeptCase {
    const char* what;
    // The document's bytes for the DTD's system id.
    std::function<std::string(const std::string&)> bytes;
    std::wstring text;        // of p; empty: not looked at
    std::wstring attributes;  // of p
    uint32_t count;           // references kept
};

// A port on 127.0.0.1 that nothing listens on.
int deadPort() {
    LoopbackServer::Options none;
    none.requests = 0;
    LoopbackServer server("", none);
    return server.port();
}

// The references only the DTD declares are kept as written, by the parser itself, in the
// texts and attribute values, in any encoding it reads and in any number; not in comments,
// CDATA or processing instructions; told apart from text that merely reads "&nbsp;" and from
// the document's own entities; and the note counts them on every road.
TEST_F(DocumentLoadTest, ReferencesOnlyAnUnreadDTDDeclaresAreKeptAsWrittenAndCounted) {
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 1;
    OptionSet::UseExternalSchema = 0;
    OptionSet::ContinueAfterFatalError = 0;
    LoopbackServer::Options notFound;
    notFound.status = "404 Not Found";
    notFound.requests = 1000;
    LoopbackServer server404("no such DTD", notFound);
    const DTDRoad roads[] = {
        {"a missing file", "missing.dtd", 0, "the file cannot be opened", 1},
        {"a missing file, no namespaces", "missing.dtd", 0, "the file cannot be opened", 0},
        {"a port nothing listens on", "http://127.0.0.1:" + std::to_string(deadPort()) + "/page.dtd", 0, nullptr, 1},
        {"a server answering 404", narrow(server404.url(L"/page.dtd")), 0, nullptr, 1},
        {"SchemaValidation Never", "missing.dtd", 1, "\"SchemaValidation\" is Never", 1},
        {"SchemaValidation Never, no namespaces", "missing.dtd", 1, "\"SchemaValidation\" is Never", 0},
    };
    auto page = [](const std::string& id) {
        return "<!DOCTYPE html SYSTEM \"" + id + "\" [<!ENTITY own \"mine\">]>\n" +
               "<html><p title=\"x&nbsp;y\">a&nbsp;b &own; &copy;&amp;nbsp;<!-- &c; --><![CDATA[&d;]]><?pi &e;?>"
               "&a:b;</p><last/></html>";
    };
    const std::wstring pageText = L"a" + kept(L"nbsp") + L"b mine " + kept(L"copy") + L"&nbsp;&d;" + kept(L"a:b");
    const std::wstring pageAttributes =
        std::wstring(L"title=") + kAttributeOpenQuote + L"x" + kept(L"nbsp") + L"y" + kAttributeCloseQuote;
    std::string many = "<p>";
    for (int i = 0; i < 100001; ++i)
        many += "&nbsp;";
    many += "</p><last/></r>";
    std::string names = "<p>";
    for (int i = 0; i <= 10000; ++i)
        names += "&n" + std::to_string(i) + ";";
    names += "</p><last/></r>";
    const KeptCase cases[] = {
        {"UTF-8", page, pageText, pageAttributes, 4},
        {"UTF-16", [&](const std::string& id) { return utf16(page(id)); }, pageText, pageAttributes, 4},
        {"a name beyond ASCII",
         [](const std::string& id) {
             return "<!DOCTYPE r SYSTEM \"" + id + "\">\n<r><p>caf\xC3\xA9: &caf\xC3\xA9;</p><last/></r>";
         },
         L"caf\u00E9: " + kept(L"caf\u00E9"), L"", 1},
        {"IBM037",
         [](const std::string& id) {
             return ibm037("<?xml version=\"1.0\" encoding=\"IBM037\"?><!DOCTYPE r SYSTEM \"" + id +
                           "\"><r><p a=\"&copy;\">a&nbsp;b</p><last/></r>");
         },
         L"a" + kept(L"nbsp") + L"b", std::wstring(L"a=") + kAttributeOpenQuote + kept(L"copy") + kAttributeCloseQuote,
         2},
        {"KOI8-R with Cyrillic names",
         [](const std::string& id) {
             // <p t="&знак;">Слово&пробел;</p>
             return "<?xml version=\"1.0\" encoding=\"KOI8-R\"?>\n<!DOCTYPE r SYSTEM \"" + id +
                    "\"><r><p t=\"&\xDA\xCE\xC1\xCB;\">\xF3\xCC\xCF\xD7\xCF&\xD0\xD2\xCF\xC2\xC5\xCC;</p><last/></r>";
         },
         L"\u0421\u043B\u043E\u0432\u043E" + kept(L"\u043F\u0440\u043E\u0431\u0435\u043B"),
         std::wstring(L"t=") + kAttributeOpenQuote + kept(L"\u0437\u043D\u0430\u043A") + kAttributeCloseQuote, 2},
        {"100,001 references", [&](const std::string& id) { return "<!DOCTYPE r SYSTEM \"" + id + "\">\n<r>" + many; },
         L"", L"", 100001},
        {"10,001 names", [&](const std::string& id) { return "<!DOCTYPE r SYSTEM \"" + id + "\">\n<r>" + names; }, L"",
         L"", 10001},
        {"defaults of the internal subset",
         [](const std::string& id) {
             return "<!DOCTYPE r SYSTEM \"" + id +
                    "\" [<!ELEMENT p EMPTY><!ATTLIST p d CDATA \"x&nbsp;y\" t NMTOKENS \" a  &nbsp;  b \">]>\n"
                    "<r><p/><last/></r>";
         },
         L"",
         std::wstring(L"d=") + kAttributeOpenQuote + L"x" + kept(L"nbsp") + L"y" + kAttributeCloseQuote + L" t=" +
             kAttributeOpenQuote + L"a " + kept(L"nbsp") + L" b" + kAttributeCloseQuote,
         2},
        {"no references to keep",
         [](const std::string& id) {
             return "<!DOCTYPE r SYSTEM \"" + id + "\">\n<r><p a=\"&lt;\">&amp;nbsp;<!-- &x; --></p><last/></r>";
         },
         L"&nbsp;", std::wstring(L"a=") + kAttributeOpenQuote + L"<" + kAttributeCloseQuote, 0},
    };
    for (const DTDRoad& road : roads) {
        OptionSet::SchemaValidation = road.validation;
        OptionSet::DoNamespaces = road.namespaces;
        for (const KeptCase& c : cases) {
            SCOPED_TRACE(std::string(road.what) + ", " + c.what);
            DeleteFileW(dir.file(L"doc.xml.log").c_str());
            BoxScript boxes;  // nothing is asked
            ASSERT_EQ(loadXml(leftTreeView, c.bytes(road.systemId), dir), kLoaded);
            EXPECT_EQ(boxes.shown().size(), 0u);
            EXPECT_NE(elementNamed(leftTreeView, L"last"), nullptr) << "loaded whole";
            XMLTreeItem* p = elementNamed(leftTreeView, L"p");
            ASSERT_NE(p, nullptr);
            if (!c.text.empty()) {
                EXPECT_EQ(textOf(p), c.text);
            }
            EXPECT_EQ(attributesOf(p), c.attributes);
            EXPECT_EQ(countHandlers.dtdNote.keptCount(), c.count);
            std::string note = narrow(leftTreeView.loadNote);
            const std::string log = dir.read(L"doc.xml.log");
            // The two documents of many references hold more text than an element keeps:
            // the note of the cut follows that of the DTD, in the log on a line of its own.
            const std::string cutNote = "; Loaded with some texts cut at 65,535 units: element p at line 2";
            const size_t cutAt = note.find("; Loaded with some texts cut");
            EXPECT_EQ(cutAt != std::string::npos, c.count > 10000) << note;
            if (cutAt != std::string::npos) {
                EXPECT_EQ(note.substr(cutAt), cutNote);
                EXPECT_NE(log.find(" : " + cutNote.substr(2) + "\r\n"), std::string::npos) << log;
                note = note.substr(0, cutAt);
            }
            if (road.validation == 1 && c.count == 0) {
                EXPECT_EQ(note, "");
                EXPECT_EQ(log, "");
                continue;
            }
            const std::string counted = c.count == 0 ? "Loaded without the external DTD ("
                                                     : "Loaded without the external DTD, " + std::to_string(c.count) +
                                                           " entity " + (c.count == 1 ? "reference" : "references") +
                                                           " kept as written (";
            EXPECT_EQ(note.rfind(counted, 0), 0u) << note;
            const std::string ending = "): " + road.systemId;
            ASSERT_GT(note.size(), ending.size()) << note;
            EXPECT_EQ(note.substr(note.size() - ending.size()), ending) << note;
            if (road.reason != nullptr) {
                EXPECT_EQ(note, counted + road.reason + ending);
            }
            EXPECT_EQ(log.rfind("Warning at line ", 0), 0u) << log;
            EXPECT_NE(log.find(" : " + note + "\r\n"), std::string::npos) << log;
            EXPECT_EQ(log.find("Loaded without"), log.rfind("Loaded without")) << "once: " << log;
        }
    }
}

// A load that fails loaded nothing without its DTD: the log says what failed and no more.
TEST_F(DocumentLoadTest, AFailedLoadLogsNoNoteOfWhatItLeftOut) {
    OptionSet::ShowErrorMessages = 0;
    OptionSet::LogErrorMessages = 1;
    OptionSet::UseExternalSchema = 0;
    const struct {
        const char* what;
        int validation;
        int continueAfterFatal;
        std::string xml;
        bool loads;
    } cases[] = {
        {"a broken tag, DTD missing", 0, 0, "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><p>&nbsp;</r>", false},
        {"a broken tag, Never", 1, 0, "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><p>&nbsp;</r>", false},
        {"no element before the error, read on", 0, 1, "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r<", false},
        {"a long text and a broken tag", 0, 0,
         "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><p>" + std::string(70000, 'a') + "</r>", false},
        {"a whole document", 0, 0, "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><p>&nbsp;</p></r>", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        OptionSet::SchemaValidation = c.validation;
        OptionSet::ContinueAfterFatalError = c.continueAfterFatal;
        DeleteFileW(dir.file(L"doc.xml.log").c_str());
        EXPECT_EQ(loadXml(leftTreeView, c.xml, dir), c.loads ? kLoaded : kLoadFailed);
        const std::string log = dir.read(L"doc.xml.log");
        EXPECT_EQ(log.find("Loaded with some"), std::string::npos) << log;
        if (c.loads) {
            EXPECT_NE(log.find("Loaded without the external DTD"), std::string::npos) << log;
        } else {
            EXPECT_NE(log.find("Fatal error at "), std::string::npos) << log;
            EXPECT_EQ(log.find("Loaded without"), std::string::npos) << log;
        }
    }
}

// The second pass without the DTD reports what is new: an external entity that is broken,
// content that is broken. Only exact repeats of the first pass's reports in the prolog
// are dropped, and a well-formed document loads whole, whatever its comments hold.
TEST_F(DocumentLoadTest, TheSecondPassDropsNoReportOfABrokenDocument) {
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 1;
    OptionSet::UseExternalSchema = 0;
    OptionSet::SchemaValidation = 0;
    OptionSet::ContinueAfterFatalError = 0;
    dir.write(L"ext.xml", "<a><b></a>");
    struct Case {
        const char* what;
        const char* xml;
        bool loads;
        const wchar_t* element;  // present when it loads
        std::wstring text;       // of that element
        uint32_t count;
    } cases[] = {
        {"a broken external entity",
         "<!DOCTYPE r SYSTEM \"missing.dtd\" [<!ENTITY ext SYSTEM \"ext.xml\">]><r><before/>&ext;<after/></r>", false,
         nullptr, L"", 0},
        {"broken content on the DOCTYPE's line", "<!DOCTYPE r SYSTEM \"missing.dtd\"><r><a></r>", false, nullptr, L"",
         0},
        {"broken content below", "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r>&nbsp;<a></r>", false, nullptr, L"", 0},
        {"a name in a comment", "<!DOCTYPE r SYSTEM \"missing.dtd\"><r><!-- see &a:b; --><x/></r>", true, L"x", L"", 0},
        {"a name in a comment and in a text",
         "<!DOCTYPE r SYSTEM \"missing.dtd\"><r><!-- see &a:b; --><x>&a:b;</x></r>", true, L"x", kept(L"a:b"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(dir.file(L"doc.xml.log").c_str());
        BoxScript boxes;
        if (!c.loads) boxes.expectCaption(L"Fatal error");
        const int result = loadXml(leftTreeView, c.xml, dir);
        if (!c.loads) {
            EXPECT_EQ(result, kLoadFailed);
            EXPECT_EQ(boxes.shown().size(), 1u);
            EXPECT_EQ(countHandlers.fatalSeen, 1);
            EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
            const std::string log = dir.read(L"doc.xml.log");
            EXPECT_NE(log.find("Fatal error at "), std::string::npos) << log;
            continue;
        }
        ASSERT_EQ(result, kLoaded);
        EXPECT_EQ(boxes.shown().size(), 0u);
        XMLTreeItem* element = elementNamed(leftTreeView, c.element);
        ASSERT_NE(element, nullptr);
        EXPECT_EQ(textOf(element), c.text);
        EXPECT_EQ(countHandlers.dtdNote.keptCount(), c.count);
        EXPECT_EQ(countHandlers.errorSeen, 0);
        EXPECT_EQ(countHandlers.fatalSeen, 0);
    }
}

// The second pass is one object's state, set from the start of the pass to its end on
// every way out, an exception's too. The first pass's reports in the document's prolog are
// kept; while the pass runs, each excuses one exact repeat, and nothing else is a repeat:
// not another entity's report at the same place, not another text, kind or place.
TEST(DTDRestart, ThePassEndsOnEveryWayOutAndOnlyExactRepeatsOfTheFirstPassAreDropped) {
    DTDRestart restart;
    restart.setDocument(L"file:///doc.xml");
    restart.expectDTD(L"page.dtd");
    EXPECT_FALSE(restart.takeRequest(L"other.dtd"));
    EXPECT_TRUE(restart.takeRequest(L"page.dtd"));
    EXPECT_FALSE(restart.takeRequest(L"page.dtd"));  // once
    using Kind = DTDRestart::Kind;
    struct Report {
        Kind kind;
        const wchar_t* systemId;
        XMLFileLoc line, column;
        const wchar_t* message;
    };
    const Report first[] = {{Kind::kWarning, L"file:///doc.xml", 1, 5, L"a warning"},
                            {Kind::kFatalError, L"file:///doc.xml", 1, 40, L"a fatal error"},
                            {Kind::kFatalError, L"file:///ext.xml", 1, 8, L"in another entity"}};
    for (const Report& r : first) {
        const xercesc::SAXParseException report(r.message, L"", r.systemId, r.line, r.column);
        EXPECT_FALSE(restart.isRepeat(r.kind, report));
    }
    restart.skip();
    restart.leaveProlog();
    const xercesc::SAXParseException later(L"after the prolog", L"", L"file:///doc.xml", 2, 1);
    EXPECT_FALSE(restart.isRepeat(Kind::kFatalError, later));
    const struct {
        Report report;
        bool repeat;
    } second[] = {
        {{Kind::kFatalError, L"file:///doc.xml", 1, 40, L"a fatal error"}, true},
        {{Kind::kFatalError, L"file:///doc.xml", 1, 40, L"a fatal error"}, false},  // used up
        {{Kind::kFatalError, L"file:///ext.xml", 1, 8, L"in another entity"}, false},
        {{Kind::kWarning, L"file:///ext.xml", 1, 5, L"a warning"}, false},
        {{Kind::kError, L"file:///doc.xml", 1, 5, L"a warning"}, false},
        {{Kind::kWarning, L"file:///doc.xml", 1, 6, L"a warning"}, false},
        {{Kind::kWarning, L"file:///doc.xml", 1, 5, L"another warning"}, false},
        {{Kind::kFatalError, L"file:///doc.xml", 2, 1, L"after the prolog"}, false},
        {{Kind::kWarning, L"file:///doc.xml", 1, 5, L"a warning"}, true},
    };
    try {
        DTDRestart::Pass pass(restart);
        EXPECT_TRUE(restart.running());
        for (const auto& r : second) {
            const xercesc::SAXParseException report(r.report.message, L"", r.report.systemId, r.report.line,
                                                    r.report.column);
            EXPECT_EQ(restart.isRepeat(r.report.kind, report), r.repeat)
                << narrow(r.report.message) << " " << r.report.line << ":" << r.report.column;
        }
        throw std::runtime_error("the second pass could not open the document");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(restart.running());
    EXPECT_TRUE(restart.skipped());
    restart.clear();
    EXPECT_FALSE(restart.skipped());
}

// A second pass that cannot read the document again fails the load, whatever
// "ContinueAfterFatalError" says: here its server answers once, so the first pass reads
// the document and the second finds nobody listening. It is reported, and nothing is loaded.
TEST_F(DocumentLoadTest, AFatalErrorInTheSecondPassFailsTheLoad) {
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 0;
    OptionSet::UseExternalSchema = 0;
    OptionSet::SchemaValidation = 0;
    const std::string dtd = "http://127.0.0.1:" + std::to_string(deadPort()) + "/page.dtd";
    for (uint8_t continueAfter : {0, 1}) {
        SCOPED_TRACE(continueAfter);
        OptionSet::ContinueAfterFatalError = continueAfter;
        LoopbackServer::Options once;
        once.requests = 1;
        LoopbackServer server("<!DOCTYPE r SYSTEM \"" + dtd + "\">\n<r>&nbsp;<a/></r>", once);
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error");
        EXPECT_EQ(parseIntoPanel(leftTreeView, server.url(L"/doc.xml").c_str()), kLoadFailed);
        EXPECT_EQ(server.requests(), 1);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_NE(boxes.shown()[0].text.find(L"the document cannot be read again without its external DTD"),
                  std::wstring::npos)
            << narrow(boxes.shown()[0].text);
        EXPECT_EQ(countHandlers.fatalSeen, 1);
        EXPECT_FALSE(countHandlers.dtdRestart.running());
        EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
        EXPECT_EQ(leftTreeView.loaded, 0);
    }
}

}  // namespace
