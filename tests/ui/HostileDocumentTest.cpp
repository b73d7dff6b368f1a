#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/sax2/DefaultHandler.hpp>

#include "model/DocumentHandlers.h"
#include "model/ElementStore.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "tests/support/PlainContentReader.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"

namespace {

const wchar_t kFatalBox[] =
    L"There were some fatal error(s) during loading!\n\nFile is not loaded\n\nPlease correct the error(s) and then "
    L"try again";
const char kExpansionLimitText[] =
    "parser has encountered more than '100000' entity expansions in the document; this is the limit imposed by the "
    "application";
const char kMemoryText[] = "out of memory";
const char kEntityOutputText[] =
    "entity references in the document deliver more than '134217728' characters; this is the limit imposed by the "
    "application";

std::string repeat(const std::string& piece, int count) {
    std::string out;
    out.reserve(piece.size() * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// Ten levels of ten references each: a thousand bytes that expand to some 3 * 10^9
// characters. prefix is "" for general entities, "% " for parameter entities.
std::string laughDeclarations(const std::string& prefix, char reference) {
    std::string out = "<!ENTITY " + prefix + "l0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        const std::string below = std::string(1, reference) + "l" + std::to_string(level - 1) + ";";
        out += "<!ENTITY " + prefix + "l" + std::to_string(level) + " \"" + repeat(below, 10) + "\">\n";
    }
    return out;
}

std::string laughs(const std::string& body) {
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ELEMENT lolz ANY><!ATTLIST lolz a CDATA #IMPLIED>\n" +
           laughDeclarations("", '&') + "]>\n" + body;
}

std::string oneBigEntity(int size, const std::string& body) {
    return "<!DOCTYPE q [<!ELEMENT q ANY><!ATTLIST q a CDATA #IMPLIED><!ENTITY big \"" +
           std::string(static_cast<size_t>(size), 'x') + "\">]>\n" + body;
}

size_t peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PeakWorkingSetSize;
}

void tick(HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

class HostileDocumentTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::ShowErrorMessages = 1;
        OptionSet::LogErrorMessages = 1;
        OptionSet::ContinueAfterFatalError = 0;
        OptionSet::SchemaValidation = 0;
        start();
        tick(autoLoadBox, false);
        tick(autoCompareBox, false);
    }
};

struct HostileCase {
    const char* what;
    std::string xml;
    const char* message;  // the parser's own words in the fatal-error box and the log
};

// Each document is refused as a fatal error within seconds (the ceiling below only
// guards against the hours an unbounded expansion takes), with little memory, and the
// panel takes the next document as usual.
TEST_F(HostileDocumentTest, ExpansionBombsAreRefusedAsFatalErrors) {
    dir.write(L"laughs.dtd", "<!ELEMENT r ANY>\n" + laughDeclarations("% ", '%') + "<!ENTITY g \"%l9;\">\n");
    const HostileCase cases[] = {
        {"billion laughs in content", laughs("<lolz>&l9;</lolz>"), kExpansionLimitText},
        {"billion laughs in an attribute value", laughs("<lolz a=\"&l9;\"/>"), kExpansionLimitText},
        {"billion laughs in an attribute's default value",
         "<!DOCTYPE lolz [\n<!ELEMENT lolz ANY>\n" + laughDeclarations("", '&') +
             "<!ATTLIST lolz a CDATA \"&l9;\">\n]>\n<lolz/>",
         kMemoryText},
        {"parameter entities in an external DTD", "<!DOCTYPE r SYSTEM \"laughs.dtd\">\n<r>&g;</r>", kMemoryText},
        {"one entity referenced past the limit", oneBigEntity(1000, "<q>" + repeat("&big;", 150000) + "</q>"),
         kExpansionLimitText},
        {"one large entity referenced many times in an attribute value",
         oneBigEntity(20000, "<q a=\"" + repeat("&big;", 50000) + "\"/>"), kMemoryText},
        {"one large entity referenced many times in content, under the expansion limit",
         oneBigEntity(500000, "<q>" + repeat("&big;", 99999) + "</q>"), kEntityOutputText},
        {"one large entity in an attribute of many elements, under the expansion limit",
         oneBigEntity(500000, "<q>" + repeat("<q a=\"&big;\"/>", 99999) + "</q>"), kEntityOutputText},
        {"a smaller entity in an attribute of many elements",
         oneBigEntity(50000, "<q>" + repeat("<q a=\"&big;\"/>", 50000) + "</q>"), kEntityOutputText},
        {"the same over start tags that run over many lines",
         oneBigEntity(50000, "<q>" + repeat("<q\n\na=\"&big;\"\n/>", 50000) + "</q>"), kEntityOutputText},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring shownText;
        const auto started = std::chrono::steady_clock::now();
        std::wstring path;
        {
            BoxScript boxes;
            boxes.expectCaption(L"Fatal error").expect(kFatalBox, L"XML Parser Fatal Error");
            path = load(leftTreeView, c.xml, L"hostile.xml");
            ASSERT_EQ(boxes.shown().size(), 2u);
            shownText = boxes.shown()[0].text;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LT(seconds, 60.0);
        EXPECT_NE(narrow(shownText).find(c.message), std::string::npos) << narrow(shownText);
        EXPECT_EQ(narrow(lastStatusMessage), "E#Fatal error(s)");
        EXPECT_EQ(leftTreeView.loaded, 0);
        EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
        EXPECT_EQ(countHandlers.logFile, nullptr);
        const std::string log = dir.read(L"hostile.xml.log");
        EXPECT_EQ(log.rfind("Fatal error at ", 0), 0u) << log;
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
        EXPECT_LT(peakWorkingSet(), size_t{200} << 20);

        load(leftTreeView, "<after><a/></after>", L"after.xml");
        EXPECT_EQ(narrow(lastStatusMessage), "O#Loaded successfully");
        EXPECT_EQ(leftTreeView.loaded, 1);
        ASSERT_NE(elementNamed(leftTreeView, L"a"), nullptr);
    }
}

// "ContinueAfterFatalError" lets a parse read on past its fatal errors, but not past
// the limit: the parser would go on expanding.
TEST_F(HostileDocumentTest, TheLimitHoldsWhenFatalErrorsAreContinued) {
    OptionSet::ContinueAfterFatalError = 1;
    BoxScript boxes;
    boxes.expectCaption(L"Fatal error").expect(kFatalBox, L"XML Parser Fatal Error");
    load(leftTreeView, laughs("<lolz>&l9;</lolz>"), L"hostile.xml");
    EXPECT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(narrow(lastStatusMessage), "E#Fatal error(s)");
    EXPECT_EQ(leftTreeView.loaded, 0);
    const std::string log = dir.read(L"hostile.xml.log");
    EXPECT_EQ(log.find("Fatal error at "), log.rfind("Fatal error at ")) << "one line: " << log;
}

// Nor past the bound of what entity references deliver.
TEST_F(HostileDocumentTest, TheEntityOutputBoundHoldsWhenFatalErrorsAreContinued) {
    OptionSet::ContinueAfterFatalError = 1;
    BoxScript boxes;
    boxes.expectCaption(L"Fatal error").expect(kFatalBox, L"XML Parser Fatal Error");
    load(leftTreeView, oneBigEntity(500000, "<q>" + repeat("&big;", 99999) + "</q>"), L"hostile.xml");
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_NE(narrow(boxes.shown()[0].text).find(kEntityOutputText), std::string::npos);
    EXPECT_EQ(narrow(lastStatusMessage), "E#Fatal error(s)");
    EXPECT_EQ(leftTreeView.loaded, 0);
    const std::string log = dir.read(L"hostile.xml.log");
    EXPECT_EQ(log.find("Fatal error at "), log.rfind("Fatal error at ")) << "one line: " << log;
}

// Entities that honest documents use freely load as before: neither predefined entities
// nor character references count against the limit. A value of 250,000 characters is more
// than an element's attribute text holds: that attribute is left out whole, and said so;
// a text as long is cut at its bound, and said so too.
TEST_F(HostileDocumentTest, HonestEntityUseLoads) {
    struct Case {
        const char* what;
        std::string xml;
        size_t textLength;   // of the element t, at least
        const char* status;  // after the load
    } cases[] = {
        {"10,000 references to a short internal entity",
         "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT t ANY><!ENTITY e \"ab\">]><r><t>" + repeat("&e;", 10000) + "</t></r>",
         20000, "O#Loaded successfully"},
        {"500,000 predefined and character references",
         "<r b=\"&amp;&lt;&#65;&#x42;\" a=\"" + repeat("&amp;&lt;&#65;&#x42;", 62500) + "\"><t>" +
             repeat("&amp;&lt;&#65;&#x42;", 62500) + "</t></r>",
         60000,
         "W#Loaded without some attributes too long to keep: element r at line 1 lost a; Loaded with some texts cut "
         "at 65,535 units: element t at line 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(leftTreeView, c.xml, L"honest.xml");
        EXPECT_EQ(narrow(lastStatusMessage), c.status);
        EXPECT_EQ(leftTreeView.loaded, 1);
        XMLTreeItem* t = elementNamed(leftTreeView, L"t");
        ASSERT_NE(t, nullptr);
        EXPECT_GE(t->textLength, c.textLength);
    }
    XMLTreeItem* r = elementNamed(leftTreeView, L"r");
    ASSERT_NE(r->attributes, nullptr);
    EXPECT_EQ(std::wstring(r->attributes, r->attributesLength),
              std::wstring(L"b=") + kAttributeOpenQuote + L"&<AB" + kAttributeCloseQuote);
}

// The memory bounds leave room for values far larger than honest documents hold (though
// not an element's attribute text).
TEST_F(HostileDocumentTest, LargeValuesStayWithinTheMemoryBounds) {
    const std::string large(8u << 20, 'v');
    load(leftTreeView, "<r a=\"" + large + "\"><!--" + large + "--><t>" + large + "</t></r>", L"large.xml");
    EXPECT_EQ(narrow(lastStatusMessage),
              "W#Loaded without some attributes too long to keep: element r at line 1 lost a; Loaded with some texts "
              "cut at 65,535 units: element t at line 1");
    EXPECT_EQ(leftTreeView.loaded, 1);
    ASSERT_NE(elementNamed(leftTreeView, L"t"), nullptr);
}

// The attributes of an element as the record holds them: name and value, in order.
std::vector<std::pair<std::wstring, std::wstring>> attributesOf(const XMLTreeItem& element) {
    std::vector<std::pair<std::wstring, std::wstring>> out;
    element.forEachAttribute([&](const wchar_t* name, int nameLength, const wchar_t* value, int valueLength) {
        out.emplace_back(std::wstring(name, static_cast<size_t>(nameLength)),
                         std::wstring(value, static_cast<size_t>(valueLength)));
        return true;
    });
    return out;
}

std::string described(const std::vector<std::pair<std::wstring, std::wstring>>& attributes) {
    std::string out;
    for (const auto& [name, value] : attributes)
        out += narrow(name) + "(" + std::to_string(value.size()) + ") ";
    return out;
}

// An element keeps its attributes whole: values that entities or declared defaults make
// long load as the parser reads them. Only where a start tag's attributes pass the 65,535
// units of attribute text a record holds are the ones that do not fit left out, each whole,
// and the load says which element lost which. A saved element is a whole tag.
TEST_F(HostileDocumentTest, AnElementKeepsItsAttributesWhole) {
    const std::string x5000(5000, 'x');
    const std::string x40000(40000, 'x');
    struct Case {
        const char* what;
        std::string xml;
        std::string kept;  // of the element q inside the root: each name and value length
        const char* note;  // what the status says after "W#"; null for "Loaded successfully"
    } cases[] = {
        {"a 5,000-character entity in one attribute, attributes after it",
         "<!DOCTYPE q [<!ELEMENT q ANY><!ATTLIST q a CDATA #IMPLIED b CDATA #IMPLIED c CDATA #IMPLIED>"
         "<!ENTITY big \"" +
             x5000 + "\">]>\n<q><q a=\"&big;\" b=\"1\" c=\"two\"/></q>",
         "a(5000) b(1) c(3) ", nullptr},
        {"long declared defaults",
         "<!DOCTYPE q [<!ELEMENT q ANY><!ATTLIST q e CDATA #IMPLIED d1 CDATA \"" + std::string(3000, 'd') +
             "\" d2 CDATA \"" + std::string(4000, 'f') + "\">]>\n<q><q e=\"1\"/></q>",
         "e(1) d1(3000) d2(4000) ", nullptr},
        {"a literal value after references in the content",
         oneBigEntity(10, "<q>&big;&big;<q a=\"" + std::string(20000, 'v') + "\"/></q>"), "a(20000) ", nullptr},
        {"a large entity and literal text in one value",
         oneBigEntity(20000, "<q><q a=\"" + std::string(20000, 'v') + "&big;\"/></q>"), "a(40000) ", nullptr},
        {"the record's limit: what does not fit is left out whole, what fits after it stays",
         "<!DOCTYPE q [<!ELEMENT q ANY><!ATTLIST q a CDATA #IMPLIED b CDATA #IMPLIED c CDATA #IMPLIED>"
         "<!ENTITY big \"" +
             x40000 + "\">]>\n<q>\n<q a=\"&big;\" b=\"&big;\" c=\"3\"/></q>",
         "a(40000) c(1) ", "Loaded without some attributes too long to keep: element q at line 3 lost b"},
        {"one literal value past the limit", "<q><q a=\"" + std::string(70000, 'v') + "\" z=\"1\"/></q>", "z(1) ",
         "Loaded without some attributes too long to keep: element q at line 1 lost a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(dir.file(L"values.xml.log").c_str());
        load(leftTreeView, c.xml, L"values.xml");
        EXPECT_EQ(narrow(lastStatusMessage), c.note == nullptr ? "O#Loaded successfully" : std::string("W#") + c.note);
        std::vector<XMLTreeItem*> records = recordsInOrder(leftTreeView);
        ASSERT_GE(records.size(), 2u);
        XMLTreeItem* q = records[1];
        const auto kept = attributesOf(*q);
        EXPECT_EQ(described(kept), c.kept);
        const std::string log = dir.read(L"values.xml.log");
        if (c.note == nullptr) {
            EXPECT_EQ(log, "");
        } else {
            EXPECT_EQ(log.rfind("Warning at line ", 0), 0u) << log;
            EXPECT_NE(log.find(c.note), std::string::npos) << log;
        }

        // Save XML Element writes the tag the tree shows, and another parser reads it.
        ElementStore::select(leftTreeView.tree, nullptr);
        ElementStore::select(leftTreeView.tree, q->treeItem);
        ASSERT_EQ(currentElement, q);
        const std::wstring saved = dir.file(L"element.xml");
        {
            DialogScript dialogs;
            dialogs.answer(saved);
            BoxScript boxes;
            SendMessageW(mainWindow, WM_COMMAND, IDM_SAVE_ELEMENT, 0);
            EXPECT_EQ(dialogs.shown().size(), 1u);
        }
        const PlainDocument document = readPlain(saved);
        ASSERT_TRUE(document.wellFormed) << narrow(document.firstError);
        ASSERT_EQ(document.elements.size(), 1u);
        EXPECT_TRUE(document.elements[0].attributes == kept) << described(document.elements[0].attributes);
        DeleteFileW(saved.c_str());
    }
}

// What references add to attribute texts beyond the tags as written is kept up to a bound
// for the whole document, far below what the entity meter lets through: past it, the
// attributes that references made long are left out whole and counted in the note, while
// literal attributes stay.
TEST_F(HostileDocumentTest, WhatReferencesAddToAttributesIsKeptUpToABound) {
    const int elements = 1200;  // 36 million units from references, 32 million kept
    load(leftTreeView,
         "<!DOCTYPE q [<!ELEMENT q ANY><!ATTLIST q a CDATA #IMPLIED b CDATA #IMPLIED><!ENTITY big \"" +
             std::string(30000, 'x') + "\">]>\n<q>\n" + repeat("<q a=\"&big;\" b=\"1\"/>\n", elements) + "</q>",
         L"many.xml");
    const std::string status = narrow(lastStatusMessage);
    EXPECT_EQ(status.rfind("W#Loaded without some attributes too long to keep: element q at line ", 0), 0u) << status;
    std::vector<XMLTreeItem*> records = recordsInOrder(leftTreeView);
    ASSERT_EQ(records.size(), static_cast<size_t>(elements) + 2);
    int whole = 0;
    for (int i = 1; i <= elements; ++i) {
        const auto kept = attributesOf(*records[static_cast<size_t>(i)]);
        ASSERT_FALSE(kept.empty());
        EXPECT_EQ(kept.back(), std::make_pair(std::wstring(L"b"), std::wstring(L"1")));
        if (kept.size() == 2) {
            EXPECT_EQ(kept[0].second.size(), 30000u);
            ++whole;
        }
    }
    // Each kept value adds some 30,000 units to what its tag holds as written.
    EXPECT_NEAR(whole, static_cast<double>(SAX2CountHandlers::kAttributeTextFromReferences) / 30000, 3);
    const std::string more = "; " + std::to_string(elements - whole - 3) + " more elements";
    EXPECT_EQ(status.substr(status.size() - more.size()), more) << status;
}

// Counts the content events that reach the handlers once they have asked to stop.
class LateEventCounter : public xercesc::DefaultHandler {
public:
    int late = 0;

    void setDocumentLocator(const xercesc::Locator* const locator) override {
        countHandlers.setDocumentLocator(locator);
    }
    void startDocument() override { countHandlers.startDocument(); }
    void endDocument() override { countHandlers.endDocument(); }
    void startElement(const XMLCh* const uri,
                      const XMLCh* const localname,
                      const XMLCh* const qname,
                      const xercesc::Attributes& attrs) override {
        if (countHandlers.stopRequested()) ++late;
        countHandlers.startElement(uri, localname, qname, attrs);
    }
    void endElement(const XMLCh* const uri, const XMLCh* const localname, const XMLCh* const qname) override {
        if (countHandlers.stopRequested()) ++late;
        countHandlers.endElement(uri, localname, qname);
    }
    void characters(const XMLCh* const chars, const XMLSize_t length) override {
        if (countHandlers.stopRequested()) ++late;
        countHandlers.characters(chars, length);
    }
};

TEST_F(HostileDocumentTest, CancelEndsTheParseAtOnce) {
    // A validity error in the first element, then 200,000 more.
    const std::string xml =
        "<!DOCTYPE r [<!ELEMENT r (e)*><!ELEMENT e EMPTY>]>\n<r><e>x</e>\n" + repeat("<e/>\n", 200000) + "</r>\n";
    LateEventCounter counter;
    xmlReader->setContentHandler(&counter);
    {
        BoxScript boxes;
        boxes.expectCaption(L"Error", IDCANCEL);
        load(leftTreeView, xml, L"big.xml");
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
    xmlReader->setContentHandler(&countHandlers);
    EXPECT_LT(counter.late, 10);
    EXPECT_EQ(narrow(lastStatusMessage), "W#Canceled");
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
    EXPECT_EQ(countHandlers.logFile, nullptr);

    load(leftTreeView, "<after/>", L"after.xml");
    EXPECT_EQ(leftTreeView.loaded, 1);
}

}  // namespace
