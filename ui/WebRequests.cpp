#include "ui/WebRequests.h"

#include "ui/ExternalPrograms.h"

#include <cwchar>
#include <string>

#include "model/ParserSetup.h"

uint16_t processorArchitecture = 0;
int32_t wow64Process = 0;
uint32_t windowsVersion = 0;

namespace {

constexpr size_t kUrlUnits = 512;

HANDLE noticeThread = nullptr;
wchar_t noticeUrl[kUrlUnits];

std::wstring pageUrl(const wchar_t* path) {
    return std::wstring(L"http://") + kMakerWebHost + path;
}

void formatTime(wchar_t* text, size_t units, const SYSTEMTIME& time) {
    std::swprintf(text, units, L"%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
}

void formatDate(wchar_t* text, size_t units, const SYSTEMTIME& time) {
    std::swprintf(text, units, L"%02u/%02u/%02u", time.wMonth, time.wDay, time.wYear % 100);
}

// The parser fetches a URL with a blocking name lookup and a blocking connect, with no
// time limit of their own. So the notice is parsed on a thread of its own with a reader
// of its own, and start-up never waits for the network. The reply is parsed under the
// bounds of every other parse: a host that answers with an entity bomb is refused as a
// panel's load would refuse it.
DWORD WINAPI sendNotice(void* url) {
    parseDetached(static_cast<const XMLCh*>(url));
    return 0;
}

}  // namespace

int querySystemInfo(bool withArchitecture) {
    if (withArchitecture) {
        SYSTEM_INFO info{};
        GetNativeSystemInfo(&info);
        processorArchitecture = info.wProcessorArchitecture;
        BOOL wow = FALSE;
        if (wow64Process == 0 && IsWow64Process(GetCurrentProcess(), &wow)) wow64Process = wow ? 1 : 0;
    }
    OSVERSIONINFOEXW extended{};
    extended.dwOSVersionInfoSize = sizeof(extended);
    OSVERSIONINFOW basic{};
    basic.dwOSVersionInfoSize = sizeof(basic);
    DWORD major = 0;
    DWORD minor = 0;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
        major = extended.dwMajorVersion;
        minor = extended.dwMinorVersion;
    } else if (GetVersionExW(&basic)) {
        major = basic.dwMajorVersion;
        minor = basic.dwMinorVersion;
    } else {
        return 0;
    }
    windowsVersion = (major << 8) | minor;
    return static_cast<int>(major);
}

void formatNoticeUrl(wchar_t* url, size_t units, const SYSTEMTIME& time) {
    wchar_t clock[16];
    wchar_t date[16];
    formatTime(clock, 16, time);
    formatDate(date, 16, time);
    std::swprintf(url, units, L"http://%ls/misc/checkversion.php?os=%x&sid=%x&wow=%d&date=%ls+%ls&version=%ls",
                  kMakerWebHost, windowsVersion, processorArchitecture, wow64Process, clock, date, kVersionText);
}

void checkVersion() {
    querySystemInfo(true);
    initParser();
    if (xmlReader == nullptr || noticeThread != nullptr) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    formatNoticeUrl(noticeUrl, kUrlUnits, now);
    noticeThread = CreateThread(nullptr, 0, sendNotice, noticeUrl, 0, nullptr);
}

bool noticePending() {
    return noticeThread != nullptr && WaitForSingleObject(noticeThread, 0) == WAIT_TIMEOUT;
}

void waitForNotice() {
    if (noticeThread == nullptr) return;
    WaitForSingleObject(noticeThread, INFINITE);
    CloseHandle(noticeThread);
    noticeThread = nullptr;
}

void shutDownParser() {
    // The parser's shared state would go from under a notice still waiting for the network,
    // and that wait has no end of its own: the process is ending, so the parser is left as it is.
    if (!noticePending()) terminateParser();
}

void openUrl(const wchar_t* target) {
    // Named by its full path: a bare "rundll32" would be looked for in the current and
    // the program's folder first. url.dll is then found in rundll32's own folder.
    const std::wstring program = systemFilePath(L"rundll32.exe");
    if (program.empty() || target == nullptr) return;
    startProcess((L"\"" + program + L"\" url.dll, FileProtocolHandler " + target).c_str());
}

void onWebHome(HWND, int) {
    openUrl(pageUrl(L"/").c_str());
}

void onCheckUpdates(HWND, int) {
    openUrl(pageUrl(L"/check_update.php?version=551").c_str());
}

void onSupport(HWND, int) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t clock[16];
    wchar_t date[16];
    formatTime(clock, 16, now);
    formatDate(date, 16, now);
    wchar_t query[128];
    std::swprintf(query, 128, L"/support.php?error=Support&info=%ls+%ls+(%ls)", clock, date, kVersionText);
    openUrl(pageUrl(query).c_str());
}
