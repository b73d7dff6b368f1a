// The eleven difference colours that the user can change, kept in the registry under
// the program's key, subkey "\Colors", as REG_DWORD COLORREF values.
#pragma once

#include <windows.h>

constexpr int kColourSlots = 11;

struct ColourSet {
    COLORREF slots[kColourSlots];
};

// The scratch copy between the painter and the Options dialog.
extern ColourSet colourSet;
