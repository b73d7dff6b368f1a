#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "model/DocumentHandlers.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

TEST(URLLoad, DocumentIsReadFromALoopbackServer) {
    TestPanels panels;
    LoopbackServer server("<?xml version=\"1.0\"?><remote><item id=\"1\">over http</item></remote>");
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/doc.xml";
    ASSERT_TRUE(isURLPath(url.c_str()));
    ASSERT_EQ(parseIntoPanel(leftTreeView, url.c_str()), kLoaded);
    auto records = recordsInOrder(leftTreeView);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_STREQ(records[0]->nameText(), L"remote");
    EXPECT_EQ(std::wstring(records[1]->text, records[1]->textLength), L"over http");
    EXPECT_EQ(narrow(leftTreeView.fileName), narrow(url));
    EXPECT_GE(server.requests(), 1);
}

// A DTD on the network that answers is read, once, with its entities, under Auto and Always.
TEST(URLLoad, AReachableExternalDTDIsFetchedOnceAndCounts) {
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
    OptionSet::ShowErrorMessages = 1;
    OptionSet::UseExternalSchema = 0;
    for (uint8_t validation : {0, 2}) {
        SCOPED_TRACE(validation);
        OptionSet::SchemaValidation = validation;
        LoopbackServer server("<!ELEMENT doc (#PCDATA)>\n<!ENTITY who \"world\">\n");
        BoxScript boxes;  // nothing is asked
        const std::string xml =
            "<!DOCTYPE doc SYSTEM \"" + narrow(server.url(L"/doc.dtd")) + "\">\n<doc>hello &who;</doc>";
        ASSERT_EQ(loadXml(leftTreeView, xml, dir), kLoaded);
        XMLTreeItem* doc = elementNamed(leftTreeView, L"doc");
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(std::wstring(doc->text, doc->textLength), L"hello world");
        EXPECT_EQ(server.requests(), 1);
    }
}

// A server that answers once: the document comes, its DTD beside it does not. The
// second pass without the DTD reads what the first one fetched, so the document loads
// with its references kept, and the server was asked once.
TEST(URLLoad, ADocumentOnTheNetworkIsReadOnceWhenItsDTDIsLeftOut) {
    TestPanels panels;
    OptionsSnapshot options;
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 0;
    OptionSet::UseExternalSchema = 0;
    OptionSet::SchemaValidation = 0;
    LoopbackServer::Options once;
    once.requests = 1;
    // Longer than the parser's first reads, so that the second pass needs what the first left unread.
    const std::string filler(60000, 'x');
    std::string body = "<!DOCTYPE page SYSTEM \"page.dtd\">\n<page><p a=\"&copy;\">a&nbsp;b</p>";
    for (int i = 0; i < 4; ++i)
        body += "<q>" + filler + "</q>";
    LoopbackServer server(body + "<last/></page>", once);
    BoxScript boxes;  // nothing is asked
    const std::wstring url = server.url(L"/page.xml");
    ASSERT_EQ(parseIntoPanel(leftTreeView, url.c_str()), kLoaded);
    EXPECT_EQ(server.requests(), 1);
    XMLTreeItem* p = elementNamed(leftTreeView, L"p");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::wstring(p->text, p->textLength), L"a" + std::wstring(1, kKeptReferenceMark) + L"nbsp;b");
    EXPECT_EQ(recordsInOrder(leftTreeView).size(), 8u);  // with the summary
    EXPECT_NE(elementNamed(leftTreeView, L"last"), nullptr);
    const std::string note = narrow(countHandlers.skippedDtdNote);
    EXPECT_EQ(note.rfind("Loaded without the external DTD, 2 entity references kept as written (", 0), 0u) << note;
    EXPECT_NE(note.find("): page.dtd"), std::string::npos) << note;
}

}  // namespace
