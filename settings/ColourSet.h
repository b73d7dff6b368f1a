// The eleven difference colours that the user can change, kept in the registry under
// the program's key, subkey "\Colors", as REG_DWORD COLORREF values.
#pragma once

#include <windows.h>

constexpr int kColourSlots = 11;

// Slot order: the order in which the Options dialog lists the colours.
enum ColourSlot {
    kChangedHeaderSlot = 0,           // "Header_1"
    kUnpairedHeaderSlot = 1,          // "Header_2"
    kSelectedChangedHeaderSlot = 2,   // "Header_4"
    kSelectedUnpairedHeaderSlot = 3,  // "Header_5"
    kChangedHeaderTextSlot = 4,       // "HeaderText_1"
    kUnpairedHeaderTextSlot = 5,      // "HeaderText_2"
    kChangedRunBackgroundSlot = 6,    // "Bk_1"
    kDifferingRunBackgroundSlot = 7,  // "Bk_2"
    kChangedRunTextSlot = 8,          // "Text_1"
    kDifferingRunTextSlot = 9,        // "Text_2"
    kUnpairedElementTextSlot = 10,    // "DeletedElement"
};

struct ColourSet {
    COLORREF slots[kColourSlots];
};

// The scratch copy between the painter and the Options dialog.
extern ColourSet colourSet;

// The registry value name of a slot.
const wchar_t* colourValueName(int slot);

// Reads the values present under the "\Colors" subkey over the slots: a value counts
// only as a REG_DWORD; a missing subkey or value, or one of another type, leaves its
// slot as it was. Failures are silent.
void loadColours(ColourSet& colours);
// Writes the eleven slots as REG_DWORD values, creating the subkey when needed.
// Failures are silent.
void saveColours(const ColourSet& colours);
