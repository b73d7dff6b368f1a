// winsock2.h before windows.h, psapi.h after it.
#include <winsock2.h>

#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "model/DocumentHandlers.h"
#include "model/ElementStore.h"
#include "model/NetworkReader.h"
#include "model/ParserSetup.h"
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

// A port on 127.0.0.1 that nothing listens on.
int deadPort() {
    LoopbackServer::Options none;
    none.requests = 0;
    LoopbackServer server("", none);
    return server.port();
}

// The DTD is out of reach, and the second pass without it fetches the document again
// through the parser: nothing of it is held beside the parse. The document loads with
// its references kept and counted.
TEST(URLLoad, ADocumentOnTheNetworkIsFetchedAgainWhenItsDTDIsLeftOut) {
    TestPanels panels;
    OptionsSnapshot options;
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 0;
    OptionSet::UseExternalSchema = 0;
    OptionSet::SchemaValidation = 0;
    LoopbackServer::Options twice;
    twice.requests = 2;
    // Longer than the parser's first reads, so that the second pass reads what the first left unread.
    const std::string filler(60000, 'x');
    const std::string dtd = "http://127.0.0.1:" + std::to_string(deadPort()) + "/page.dtd";
    std::string body = "<!DOCTYPE page SYSTEM \"" + dtd + "\">\n<page><p a=\"&copy;\">a&nbsp;b</p>";
    for (int i = 0; i < 4; ++i)
        body += "<q>" + filler + "</q>";
    LoopbackServer server(body + "<last/></page>", twice);
    BoxScript boxes;  // nothing is asked
    const std::wstring url = server.url(L"/page.xml");
    ASSERT_EQ(parseIntoPanel(leftTreeView, url.c_str()), kLoaded);
    EXPECT_EQ(server.requests(), 2);
    XMLTreeItem* p = elementNamed(leftTreeView, L"p");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::wstring(p->text, p->textLength), L"a" + std::wstring(1, kKeptReferenceMark) + L"nbsp;b");
    EXPECT_EQ(recordsInOrder(leftTreeView).size(), 8u);  // with the summary
    EXPECT_NE(elementNamed(leftTreeView, L"last"), nullptr);
    const std::string note = narrow(leftTreeView.loadNote);
    EXPECT_EQ(note.rfind("Loaded without the external DTD, 2 entity references kept as written (", 0), 0u) << note;
    EXPECT_NE(note.find("): " + dtd), std::string::npos) << note;
}

// A DTD whose server takes the request and then says nothing is left out as one that does
// not answer, once the wait for it is over; the note says why. Under Always the load fails
// with the same text, naming the DTD's address.
TEST(URLLoad, ADTDWhoseServerFallsSilentIsLeftOutAfterTheWait) {
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 0;
    OptionSet::UseExternalSchema = 0;
    OptionSet::ContinueAfterFatalError = 0;
    SilenceLimit limit(1000);
    for (int32_t validation : {0, 2}) {
        SCOPED_TRACE(validation);
        OptionSet::SchemaValidation = validation;
        LoopbackServer::Options silent;
        silent.requests = 1;
        silent.stall = LoopbackServer::Options::Stall::kBeforeReply;
        LoopbackServer server("<!ELEMENT doc (#PCDATA)>\n", silent);
        const std::wstring dtd = server.url(L"/doc.dtd");
        const std::wstring text = networkSilenceText(dtd.c_str(), 1000);
        BoxScript boxes;
        if (validation == 2) boxes.expectCaption(L"Fatal error");
        const int result = loadXml(leftTreeView, "<!DOCTYPE doc SYSTEM \"" + narrow(dtd) + "\">\n<doc>text</doc>", dir);
        if (validation == 0) {
            EXPECT_EQ(result, kLoaded);
            EXPECT_NE(elementNamed(leftTreeView, L"doc"), nullptr);
            const std::wstring note = leftTreeView.loadNote;
            EXPECT_EQ(note.rfind(L"Loaded without the external DTD (" + text + L")", 0), 0u) << narrow(note);
        } else {
            EXPECT_EQ(result, kLoadFailed);
            ASSERT_EQ(boxes.shown().size(), 1u);
            EXPECT_NE(boxes.shown()[0].text.find(text), std::wstring::npos) << narrow(boxes.shown()[0].text);
        }
    }
}

// The memory the process has committed (Wine fills in the page file use, not the private use).
size_t committedMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PagefileUsage;
}

// Answers each request, at most two, with a head and then one piece again and again, with
// no length, until it has sent a bound of bytes in all, the time is up or the reader hangs
// up; then it stops by itself. While it sends it samples the memory the process holds.
class EndlessServer {
public:
    EndlessServer(std::string head, std::string piece, size_t bound, DWORD milliseconds)
        : head_(std::move(head)), piece_(std::move(piece)), bound_(bound), milliseconds_(milliseconds) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener_, 4);
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~EndlessServer() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    EndlessServer(const EndlessServer&) = delete;
    EndlessServer& operator=(const EndlessServer&) = delete;

    std::wstring url(const std::wstring& path) const { return L"http://127.0.0.1:" + std::to_wstring(port_) + path; }
    int requests() const { return requests_; }
    size_t sent() const { return sent_; }
    // The most memory the process held while the server sent.
    size_t largestUse() const { return largest_; }

private:
    void serve() {
        const DWORD start = GetTickCount();
        auto timeLeft = [&] { return GetTickCount() - start < milliseconds_; };
        while (requests_ < 2 && !stop_ && timeLeft() && sent_ < bound_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener_, &readable);
            timeval wait{0, 100000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int got = recv(client, buffer, sizeof(buffer), 0);
                if (got <= 0) break;
                request.append(buffer, static_cast<size_t>(got));
            }
            ++requests_;
            const std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n" + head_;
            bool open = send(client, reply.data(), static_cast<int>(reply.size()), 0) > 0;
            while (open && !stop_ && timeLeft() && sent_ < bound_) {
                const int done = send(client, piece_.data(), static_cast<int>(piece_.size()), 0);
                open = done > 0;
                if (open) sent_ += static_cast<size_t>(done);
                sample();
            }
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }
    void sample() {
        const size_t use = committedMemory();
        if (use > largest_) largest_ = use;
    }

    std::string head_;
    std::string piece_;
    size_t bound_;
    DWORD milliseconds_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::atomic<size_t> sent_{0};
    std::atomic<size_t> largest_{0};
    std::thread thread_;
};

// A document on the network that never ends, under a DTD out of reach: the second pass
// reads it as it comes, within the parser's bounds, and nothing of it is kept beside the
// parse. When the answer stops, the document is refused as not whole, and the memory the
// process held stayed far below what was sent.
TEST(URLLoad, ADocumentWithoutEndIsRefusedWithinTheMemoryBudget) {
    TestPanels panels;
    OptionsSnapshot options;
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 0;
    OptionSet::UseExternalSchema = 0;
    OptionSet::SchemaValidation = 0;
    OptionSet::ContinueAfterFatalError = 0;
    const std::string dtd = "http://127.0.0.1:" + std::to_string(deadPort()) + "/page.dtd";
    std::string piece;
    while (piece.size() < (64u << 10))
        piece += "words and more words &nbsp; ";
    constexpr size_t kBound = 160u << 20;
    constexpr size_t kHeld = 48u << 20;
    static_assert(kHeld < kParserMemoryBudget && kHeld * 3 < kBound, "what is sent dwarfs what may be held");
    const size_t before = committedMemory();
    ASSERT_GT(before, 0u);
    EndlessServer server("<!DOCTYPE page SYSTEM \"" + dtd + "\">\n<page><p>", piece, kBound, 120000);
    BoxScript boxes;
    boxes.expectCaption(L"Fatal error");
    EXPECT_EQ(parseIntoPanel(leftTreeView, server.url(L"/endless.xml").c_str()), kLoadFailed);
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(server.requests(), 2);
    EXPECT_GE(server.sent(), kBound) << "the server ran out of time";
    ASSERT_GT(server.largestUse(), 0u);
    const size_t held = server.largestUse() > before ? server.largestUse() - before : 0;
    EXPECT_LT(held, kHeld) << "held " << (held >> 20) << " MB of " << (server.sent() >> 20) << " MB sent";
    EXPECT_EQ(ElementStore::itemCount(leftTreeView.tree), 0u);
}

}  // namespace
