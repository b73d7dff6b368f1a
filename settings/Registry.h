// Where the program keeps its values in the registry.
#pragma once

#include <windows.h>

// The program's key under HKEY_CURRENT_USER: "Software\Verdalt", or the scratch key a
// test has set. Subkeys are appended to it ("\Colors", "\LIST1", ...).
const wchar_t* programKeyPath();
void setProgramKeyPath(const wchar_t* path);
