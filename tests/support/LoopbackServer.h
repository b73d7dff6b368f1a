// A small HTTP server on 127.0.0.1 for the time of a test, so that URL loads run offline.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "model/NetworkReader.h"

// Answers every request with the same body, at most a few requests, and stops by
// itself after a few seconds without one.
class LoopbackServer {
public:
    struct Options {
        // Requests answered before the server stops listening.
        int requests = 4;
        // The status line's code and text.
        std::string status = "200 OK";
        // Runs on the server's thread before each answer.
        std::function<void()> beforeAnswer;
        // Where the first stalledAnswers answers fall silent: before the first byte, or after
        // the head and half the body (whose Content-Length is the whole body's).
        enum class Stall { kNever, kBeforeReply, kHalfway };
        Stall stall = Stall::kNever;
        int stalledAnswers = 1;
        // Runs on the server's thread once an answer has fallen silent.
        std::function<void()> whileStalled;
        // A silent answer ends when the reader hangs up, or after this long.
        unsigned stallMilliseconds = 8000;
    };

    explicit LoopbackServer(std::string body);
    LoopbackServer(std::string body, Options options);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const;
    int requests() const;
    // http://127.0.0.1:port followed by path.
    std::wstring url(const std::wstring& path) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Shortens the program's wait for a silent server for the time of a test.
class SilenceLimit {
public:
    explicit SilenceLimit(DWORD milliseconds) : saved_(networkSilenceLimit()) { setNetworkSilenceLimit(milliseconds); }
    ~SilenceLimit() { setNetworkSilenceLimit(saved_); }
    SilenceLimit(const SilenceLimit&) = delete;
    SilenceLimit& operator=(const SilenceLimit&) = delete;

private:
    DWORD saved_;
};
