#include <windows.h>

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
