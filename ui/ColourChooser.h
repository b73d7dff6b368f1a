// Every colour that the user chooses comes through the colour chooser here, which
// keeps the sixteen custom colours for the whole run.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <functional>

constexpr int kCustomColours = 16;
// Handed to every colour chooser; zero at start.
extern COLORREF customColours[kCustomColours];

// The colour chooser (fully open) starting at colour: the chosen colour, or colour
// itself when the user cancels.
COLORREF chooseColour(HWND owner, COLORREF colour);

// A handler answers the chooser instead of the platform (tests): it gets the filled
// record, writes the chosen colour into record.rgbResult and returns true, or returns
// false for Cancel.
using ColourChooserHandler = std::function<bool(CHOOSECOLORW& record)>;
void setColourChooserHandler(ColourChooserHandler handler);
