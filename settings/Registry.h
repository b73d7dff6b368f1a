// Where the program keeps its values in the registry.
#pragma once

#include <windows.h>

// The program's key under HKEY_CURRENT_USER: "Software\Verdalt", or the scratch key a
// test has set. Subkeys are appended to it ("\Colors", "\LIST1", ...).
const wchar_t* programKeyPath();
// The path is copied; null or an empty path brings back the default.
void setProgramKeyPath(const wchar_t* path);
