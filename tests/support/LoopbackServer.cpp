#include <windows.h>
#include <winsock2.h>

#include "tests/support/LoopbackServer.h"

#include <atomic>
#include <thread>

namespace {
constexpr size_t kPiece = 1u << 16;
}  // namespace

struct LoopbackServer::State {
    std::string body;
    Options options;
    SOCKET listener = INVALID_SOCKET;
    int port = 0;
    std::atomic<bool> stop{false};
    std::atomic<int> requests{0};
    std::thread thread;

    // Sends nothing more on client until the reader hangs up or the stall's time is over, then
    // closes the connection.
    void stall(SOCKET client) {
        if (options.whileStalled) options.whileStalled();
        const DWORD start = GetTickCount();
        while (!stop && GetTickCount() - start < options.stallMilliseconds) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(client, &readable);
            timeval wait{0, 50000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            char buffer[256];
            if (recv(client, buffer, sizeof(buffer), 0) <= 0) break;
        }
        closesocket(client);
    }

    void serve() {
        for (int served = 0; served < options.requests && !stop;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener, &readable);
            timeval wait{0, 100000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
            SOCKET client = accept(listener, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                int got = recv(client, buffer, sizeof(buffer), 0);
                if (got <= 0) break;
                request.append(buffer, static_cast<size_t>(got));
            }
            ++requests;
            if (options.beforeAnswer) options.beforeAnswer();
            const bool stalls = options.stall != Options::Stall::kNever && served < options.stalledAnswers;
            if (stalls && options.stall == Options::Stall::kBeforeReply) {
                stall(client);
                ++served;
                continue;
            }
            std::string reply =
                "HTTP/1.0 " + options.status + "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n";
            send(client, reply.data(), static_cast<int>(reply.size()), 0);
            const size_t end = stalls ? body.size() / 2 : body.size();
            // A large body goes in pieces: a reader that stops early closes its end.
            for (size_t sent = 0; sent < end;) {
                const size_t left = end - sent;
                const int piece = static_cast<int>(left < kPiece ? left : kPiece);
                const int done = send(client, body.data() + sent, piece, 0);
                if (done <= 0) break;
                sent += static_cast<size_t>(done);
            }
            if (stalls) {
                stall(client);
                ++served;
                continue;
            }
            shutdown(client, SD_SEND);
            closesocket(client);
            ++served;
        }
        // Served out: a later request finds nobody listening.
        closesocket(listener);
        listener = INVALID_SOCKET;
    }
};

LoopbackServer::LoopbackServer(std::string body) : LoopbackServer(std::move(body), Options()) {}

LoopbackServer::LoopbackServer(std::string body, Options options) : state_(std::make_unique<State>()) {
    state_->body = std::move(body);
    state_->options = std::move(options);
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    state_->listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(state_->listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(state_->listener, 4);
    int length = sizeof(address);
    getsockname(state_->listener, reinterpret_cast<sockaddr*>(&address), &length);
    state_->port = ntohs(address.sin_port);
    state_->thread = std::thread([state = state_.get()] { state->serve(); });
}

LoopbackServer::~LoopbackServer() {
    state_->stop = true;
    state_->thread.join();
    if (state_->listener != INVALID_SOCKET) closesocket(state_->listener);
    WSACleanup();
}

int LoopbackServer::port() const {
    return state_->port;
}

int LoopbackServer::requests() const {
    return state_->requests;
}

std::wstring LoopbackServer::url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(state_->port) + path;
}
