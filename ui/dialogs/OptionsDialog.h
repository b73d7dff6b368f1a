// The "XML Options" dialog: every option on seven pages and the eleven difference
// colours with a live example. After OK the files are reloaded, the trees measured
// anew, the files compared again or the trees only repainted, as the change needs.
#pragma once

#include <windows.h>

// Runs the dialog owned by owner and acts on what OK changed. Cancel puts back the
// option values of the opening (the folder the file dialogs remember stays).
void showOptions(HWND owner);

// The fill colour of a sample drawn without one: the brush already selected stays.
constexpr COLORREF kNoFill = CLR_INVALID;

// One framed sample of the colour example: the rectangle around the text measured
// in font, filled with fill unless it is kNoFill, framed with the selected pen, and the
// text on background in textColour. Returns the text's width.
int drawColourSample(HDC dc,
                     int left,
                     int top,
                     const wchar_t* text,
                     COLORREF background,
                     COLORREF textColour,
                     COLORREF fill,
                     HFONT font);
// WM_DRAWITEM of the dialog: the swatch of the colour chosen in the list, or the
// example of six rows in the colours being edited.
void drawColourExample(HWND dialog, const DRAWITEMSTRUCT& item);
