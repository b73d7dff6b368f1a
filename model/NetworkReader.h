// The parser's reader of http: addresses: documents, DTDs and schemas on the network. Every
// read waits a bounded time, and a read on the thread that loads documents keeps that
// thread's windows alive while it waits.
#pragma once

#include <windows.h>

#include <string>

// How long a network read may bring no byte before the read is given up: a server that
// accepts the connection and then falls silent would otherwise hold the load for ever.
constexpr DWORD kNetworkSilenceLimit = 30000;

// Thrown out of the parse when a network read brought nothing for the silence limit. It is
// no parser exception, so that the parser passes it on instead of reporting it as its own.
struct NetworkSilence {
    std::wstring url;
    // Says what happened and names the address.
    std::wstring text;
};

// Thrown out of the parse when the user stopped a load that waited for the network.
struct NetworkWaitCancelled {};

// What the loading thread does while one of its network reads waits.
class NetworkWaiter {
public:
    virtual ~NetworkWaiter() = default;
    // Called at least a few times a second while a read of url waits, and at once when a
    // message comes for the thread. False stops the load (NetworkWaitCancelled).
    virtual bool keepWaiting(const wchar_t* url) = 0;
};

// Puts the program's reader in place of the parser's own; after the parser is initialised.
// The parser deletes it when it terminates.
void installNetworkReader();

// While alive, the reads of the calling thread call waiter as they wait. Reads on other
// threads (the first-start notice) only wait, under the same bound.
class NetworkWaitScope {
public:
    explicit NetworkWaitScope(NetworkWaiter& waiter);
    ~NetworkWaitScope();
    NetworkWaitScope(const NetworkWaitScope&) = delete;
    NetworkWaitScope& operator=(const NetworkWaitScope&) = delete;

private:
    NetworkWaiter* previous_;
    DWORD previousThread_;
};

// The bound in force; tests shorten it so that a silent server ends their load soon.
DWORD networkSilenceLimit();
void setNetworkSilenceLimit(DWORD milliseconds);

// The text of a read of url that brought nothing for milliseconds.
std::wstring networkSilenceText(const wchar_t* url, DWORD milliseconds);
