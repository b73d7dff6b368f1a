// The XML element window's figures: opening it on a large document against loading
// that document, and colouring passes on long lines and at the end of a large
// document against one at the top of an ordinary document.
#pragma once

#include <windows.h>

#include <string>

// Runs (or with list, names) the editor cases; only: one case by name, or all when empty.
void runEditorCases(HWND host, bool list, const std::string& only, bool large);
