#include "ui/Help.h"

void initHelpPath() {}
void onHelp(const HELPINFO*) {}
void showContextHelp(const HELPINFO*, UINT, WPARAM, const DWORD*) {}
