#include "ui/Help.h"

void initHelpPath() {}
void onHelp(const HELPINFO*) {}
void showHelpTopic(HWND, const wchar_t*) {}
void showContextHelp(const HELPINFO*, UINT, WPARAM, const DWORD*) {}
