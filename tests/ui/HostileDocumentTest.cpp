#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <xercesc/sax2/DefaultHandler.hpp>

#include "model/DocumentHandlers.h"
#include "model/ElementStore.h"
#include "model/ParserSetup.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"

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
// nor character references count against the limit.
TEST_F(HostileDocumentTest, HonestEntityUseLoads) {
    struct Case {
        const char* what;
        std::string xml;
        size_t textLength;  // of the element t, at least
    } cases[] = {
        {"10,000 references to a short internal entity",
         "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT t ANY><!ENTITY e \"ab\">]><r><t>" + repeat("&e;", 10000) + "</t></r>",
         20000},
        {"500,000 predefined and character references",
         "<r a=\"" + repeat("&amp;&lt;&#65;&#x42;", 62500) + "\"><t>" + repeat("&amp;&lt;&#65;&#x42;", 62500) +
             "</t></r>",
         60000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(leftTreeView, c.xml, L"honest.xml");
        EXPECT_EQ(narrow(lastStatusMessage), "O#Loaded successfully");
        EXPECT_EQ(leftTreeView.loaded, 1);
        XMLTreeItem* t = elementNamed(leftTreeView, L"t");
        ASSERT_NE(t, nullptr);
        EXPECT_GE(t->textLength, c.textLength);
    }
    XMLTreeItem* r = elementNamed(leftTreeView, L"r");
    ASSERT_NE(r->attributes, nullptr);
    EXPECT_EQ(std::wstring(r->attributes, 7), std::wstring(L"a=") + kAttributeOpenQuote + L"&<AB");
}

// The memory bounds leave room for values far larger than honest documents hold.
TEST_F(HostileDocumentTest, LargeValuesStayWithinTheMemoryBounds) {
    const std::string large(8u << 20, 'v');
    load(leftTreeView, "<r a=\"" + large + "\"><!--" + large + "--><t>" + large + "</t></r>", L"large.xml");
    EXPECT_EQ(narrow(lastStatusMessage), "O#Loaded successfully");
    EXPECT_EQ(leftTreeView.loaded, 1);
    ASSERT_NE(elementNamed(leftTreeView, L"t"), nullptr);
}

// Of an element's attribute text the panel keeps what the start tag as written holds
// (up to 65,535 units), and of what references add to it 4,096 units more.
TEST_F(HostileDocumentTest, WhatAnAttributeKeepsIsBoundedByTheTagAsWritten) {
    const std::string literal(20000, 'v');
    struct Case {
        const char* what;
        std::string xml;
        size_t least, most;  // of the attribute text of q
    } cases[] = {
        {"a literal value after references in the content",
         oneBigEntity(10, "<q>&big;&big;<q a=\"" + literal + "\"/></q>"), 20004, 20004},
        {"a literal value past the bound of a text", "<q><q a=\"" + std::string(70000, 'v') + "\"/></q>", 65535,
         65535},
        {"a value from a large entity", oneBigEntity(20000, "<q><q a=\"&big;\"/></q>"), 4096, 4096 + 20},
        {"a value from a large entity and literal text",
         oneBigEntity(20000, "<q><q a=\"" + literal + "&big;\"/></q>"), 24096, 24096 + 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(leftTreeView, c.xml, L"values.xml");
        EXPECT_EQ(narrow(lastStatusMessage), "O#Loaded successfully");
        std::vector<XMLTreeItem*> records = recordsInOrder(leftTreeView);
        ASSERT_GE(records.size(), 2u);
        XMLTreeItem* q = records[1];
        EXPECT_GE(q->attributesLength, c.least);
        EXPECT_LE(q->attributesLength, c.most);
    }
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
