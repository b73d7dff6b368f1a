// winsock2.h and ws2tcpip.h before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "model/NetworkReader.h"

#include <xercesc/util/Janitor.hpp>
#include <xercesc/util/NetAccessors/BinHTTPInputStreamCommon.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLNetAccessor.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLURL.hpp>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <memory>

namespace {

std::atomic<NetworkWaiter*> loadingWaiter{nullptr};
std::atomic<DWORD> loadingThread{0};
std::atomic<DWORD> silenceLimit{kNetworkSilenceLimit};

// How often a waiting read on the loading thread asks its waiter, when no message comes.
constexpr DWORD kWaiterTick = 100;
// The redirections one request follows, as the parser's own reader did.
constexpr int kMostRedirects = 6;

const XMLCh kReaderName[] = L"VerdaltNetReader";

// One http: request and its answer. The socket never blocks: every wait for it goes through
// await, which bounds it and lets the loading thread's windows work meanwhile.
class BoundedHTTPStream : public xercesc::BinHTTPInputStreamCommon {
public:
    BoundedHTTPStream(const xercesc::XMLURL& source, const xercesc::XMLNetHTTPInfo* info)
        : BinHTTPInputStreamCommon(source.getMemoryManager()), manager_(source.getMemoryManager()) {
        event_ = WSACreateEvent();
        try {
            open(source, info);
        } catch (...) {
            release();
            throw;
        }
    }
    ~BoundedHTTPStream() override { release(); }
    BoundedHTTPStream(const BoundedHTTPStream&) = delete;
    BoundedHTTPStream& operator=(const BoundedHTTPStream&) = delete;

protected:
    bool send(const char* buffer, XMLSize_t length) override {
        const ULONGLONG started = GetTickCount64();
        for (XMLSize_t done = 0; done < length;) {
            const XMLSize_t left = length - done;
            const int piece = left > INT_MAX ? INT_MAX : static_cast<int>(left);
            const int sent = ::send(socket_, buffer + done, piece, 0);
            if (sent != SOCKET_ERROR) {
                done += static_cast<XMLSize_t>(sent);
                continue;
            }
            if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
            WSANETWORKEVENTS events{};
            await(started, events);
        }
        return true;
    }

    int receive(char* buffer, XMLSize_t length) override {
        const int wanted = length > INT_MAX ? INT_MAX : static_cast<int>(length);
        const ULONGLONG started = GetTickCount64();
        for (;;) {
            const int got = ::recv(socket_, buffer, wanted, 0);
            if (got != SOCKET_ERROR) return got;
            if (WSAGetLastError() != WSAEWOULDBLOCK) return -1;
            WSANETWORKEVENTS events{};
            await(started, events);
        }
    }

private:
    [[noreturn]] void fail(xercesc::XMLExcepts::Codes code, const XMLCh* text) {
        ThrowXMLwithMemMgr1(xercesc::NetAccessorException, code, text, manager_);
    }

    void open(const xercesc::XMLURL& source, const xercesc::XMLNetHTTPInfo* info) {
        if (event_ == WSA_INVALID_EVENT) fail(xercesc::XMLExcepts::NetAcc_CreateSocket, source.getURLText());
        xercesc::XMLURL url(source);
        for (int redirects = 0;; ++redirects) {
            url_ = url.getURLText() != nullptr ? url.getURLText() : L"";
            connectTo(url);
            const int status = sendRequest(url, info);
            if (status == 200) return;
            if (status < 300 || status > 307 || redirects == kMostRedirects)
                fail(xercesc::XMLExcepts::File_CouldNotOpenFile, url.getURLText());
            XMLCh* location = findHeader("Location");
            xercesc::ArrayJanitor<XMLCh> keep(location, manager_);
            if (location == nullptr || location[0] == 0)
                fail(xercesc::XMLExcepts::File_CouldNotOpenFile, url.getURLText());
            xercesc::XMLURL next(manager_);
            next.setURL(url, location);
            if (next.getProtocol() != xercesc::XMLURL::HTTP)
                fail(xercesc::XMLExcepts::File_CouldNotOpenFile, next.getURLText());
            url = next;
        }
    }

    void connectTo(const xercesc::XMLURL& url) {
        closeSocket();
        const XMLCh* host = url.getHost();
        if (host == nullptr) fail(xercesc::XMLExcepts::File_CouldNotOpenFile, url.getURLText());
        char* hostName = xercesc::XMLString::transcode(host, manager_);
        xercesc::ArrayJanitor<char> keepName(hostName, manager_);
        char port[16];
        std::snprintf(port, sizeof(port), "%u", url.getPortNum());
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(hostName, port, &hints, &found) != 0 || found == nullptr)
            fail(xercesc::XMLExcepts::NetAcc_TargetResolution, host);
        std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> keepFound(found, freeaddrinfo);
        for (addrinfo* address = found; address != nullptr; address = address->ai_next) {
            if (connectOne(*address)) return;
        }
        fail(xercesc::XMLExcepts::NetAcc_ConnSocket, url.getURLText());
    }

    bool connectOne(const addrinfo& address) {
        closeSocket();
        socket_ = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
        if (socket_ == INVALID_SOCKET) return false;
        // The event makes the socket non-blocking.
        if (WSAEventSelect(socket_, event_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) return false;
        if (::connect(socket_, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return true;
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        const ULONGLONG started = GetTickCount64();
        for (;;) {
            WSANETWORKEVENTS events{};
            await(started, events);
            if (events.lNetworkEvents & FD_CONNECT) return events.iErrorCode[FD_CONNECT_BIT] == 0;
        }
    }

    // Waits until the socket has news (in events), keeping the loading thread's windows alive.
    // Throws NetworkSilence when nothing came since started for the limit, NetworkWaitCancelled
    // when the waiter stops the load. The caller tries its operation again after each return.
    void await(ULONGLONG started, WSANETWORKEVENTS& events) {
        const DWORD limit = silenceLimit;
        NetworkWaiter* waiter = loadingThread == GetCurrentThreadId() ? loadingWaiter.load() : nullptr;
        for (;;) {
            const ULONGLONG waited = GetTickCount64() - started;
            if (waited >= limit) throw NetworkSilence{url_, networkSilenceText(url_.c_str(), limit)};
            DWORD wait = static_cast<DWORD>(limit - waited);
            DWORD result = 0;
            if (waiter != nullptr) {
                result = MsgWaitForMultipleObjectsEx(1, &event_, std::min(wait, kWaiterTick), QS_ALLINPUT,
                                                     MWMO_INPUTAVAILABLE);
            } else {
                result = WaitForSingleObject(event_, wait);
            }
            if (result == WAIT_OBJECT_0) {
                WSAEnumNetworkEvents(socket_, event_, &events);
                return;
            }
            if (result == WAIT_FAILED) fail(xercesc::XMLExcepts::NetAcc_ReadSocket, url_.c_str());
            if (waiter != nullptr && !waiter->keepWaiting(url_.c_str())) throw NetworkWaitCancelled{};
        }
    }

    void closeSocket() {
        if (socket_ == INVALID_SOCKET) return;
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

    void release() {
        closeSocket();
        if (event_ != WSA_INVALID_EVENT) WSACloseEvent(event_);
        event_ = WSA_INVALID_EVENT;
    }

    xercesc::MemoryManager* manager_;
    SOCKET socket_ = INVALID_SOCKET;
    WSAEVENT event_ = WSA_INVALID_EVENT;
    std::wstring url_;
};

class BoundedNetAccessor : public xercesc::XMLNetAccessor {
public:
    BoundedNetAccessor() {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~BoundedNetAccessor() override {
        if (started_) WSACleanup();
    }
    BoundedNetAccessor(const BoundedNetAccessor&) = delete;
    BoundedNetAccessor& operator=(const BoundedNetAccessor&) = delete;

    const XMLCh* getId() const override { return kReaderName; }

    xercesc::BinInputStream* makeNew(const xercesc::XMLURL& url, const xercesc::XMLNetHTTPInfo* info) override {
        if (url.getProtocol() != xercesc::XMLURL::HTTP)
            ThrowXMLwithMemMgr(xercesc::MalformedURLException, xercesc::XMLExcepts::URL_UnsupportedProto,
                               url.getMemoryManager());
        if (!started_)
            ThrowXMLwithMemMgr(xercesc::NetAccessorException, xercesc::XMLExcepts::NetAcc_InitFailed,
                               url.getMemoryManager());
        return new (url.getMemoryManager()) BoundedHTTPStream(url, info);
    }

private:
    bool started_ = false;
};

}  // namespace

void installNetworkReader() {
    xercesc::XMLNetAccessor*& reader = xercesc::XMLPlatformUtils::fgNetAccessor;
    if (dynamic_cast<BoundedNetAccessor*>(reader) != nullptr) return;
    delete reader;
    reader = new BoundedNetAccessor();
}

NetworkWaitScope::NetworkWaitScope(NetworkWaiter& waiter)
    : previous_(loadingWaiter.load()), previousThread_(loadingThread.load()) {
    loadingThread = GetCurrentThreadId();
    loadingWaiter = &waiter;
}

NetworkWaitScope::~NetworkWaitScope() {
    loadingWaiter = previous_;
    loadingThread = previousThread_;
}

DWORD networkSilenceLimit() {
    return silenceLimit;
}

void setNetworkSilenceLimit(DWORD milliseconds) {
    silenceLimit = milliseconds;
}

std::wstring networkSilenceText(const wchar_t* url, DWORD milliseconds) {
    const DWORD seconds = (milliseconds + 999) / 1000;
    return L"the server of '" + std::wstring(url != nullptr ? url : L"") + L"' sent nothing for " +
           std::to_wstring(seconds) + (seconds == 1 ? L" second" : L" seconds");
}
