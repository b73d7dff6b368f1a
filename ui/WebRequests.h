// The program's contacts with the maker's web host: its pages, opened in the
// associated application, and the notice sent once at the very first start.
#pragma once

#include <windows.h>

#include <cstdint>

// The maker's web host. A reserved name that never resolves: nothing is ever sent anywhere.
constexpr wchar_t kMakerWebHost[] = L"verdalt.invalid";
constexpr wchar_t kVersionText[] = L"5.51";

extern uint16_t processorArchitecture;
extern int32_t wow64Process;
// (major << 8) | minor of the running Windows.
extern uint32_t windowsVersion;

// Fills the version (and, when asked, the processor architecture and the WOW64 flag);
// returns the major version, 0 when it cannot be read.
int querySystemInfo(bool withArchitecture);

// The notice's URL for the values of querySystemInfo and a local time.
void formatNoticeUrl(wchar_t* url, size_t units, const SYSTEMTIME& time);
// Sends the first-start notice through the XML parser; any reply and any failure are ignored.
void checkVersion();
// Whether a notice is still on its way (the parser must then outlive the program's own use).
bool noticePending();
// Waits until the notice has been sent or has failed.
void waitForNotice();
// The parser's shut-down at every exit of the program: terminateParser, unless the notice
// is still inside the parser.
void shutDownParser();

// Opens a URL or a file with the application associated with it.
void openUrl(const wchar_t* target);
void onWebHome(HWND window, int command);
void onCheckUpdates(HWND window, int command);
void onSupport(HWND window, int command);
