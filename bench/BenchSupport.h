// What every benchmark case uses: a clock, the figure lines, and input files.
#pragma once

#include <windows.h>

#include <string>

// Seconds on the performance counter.
double now();
// One output line: "case figure value".
void figure(const std::string& name, const char* what, double value);
// Writes the bytes to a file of that name in the temporary folder; returns its path.
std::wstring writeTemp(const std::string& bytes, const wchar_t* name);
