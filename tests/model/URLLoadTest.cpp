#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "model/XMLTreeItem.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

namespace {

// A one-document HTTP server on 127.0.0.1 for the time of a test. It answers at
// most a few requests and stops by itself after a few seconds without one.
class LoopbackServer {
public:
    explicit LoopbackServer(std::string body) : body_(std::move(body)) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listener_, 4);
        int length = sizeof(address);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }

    int port() const { return port_; }
    int requests() const { return requests_; }

private:
    void serve() {
        for (int served = 0; served < 4 && !stop_;) {
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
                int got = recv(client, buffer, sizeof(buffer), 0);
                if (got <= 0) break;
                request.append(buffer, static_cast<size_t>(got));
            }
            ++requests_;
            std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
                                std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
            send(client, reply.data(), static_cast<int>(reply.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
            ++served;
        }
    }

    std::string body_;
    SOCKET listener_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

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

}  // namespace
