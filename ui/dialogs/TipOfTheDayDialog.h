// Tip of the Day: one of the tips of the string table, the next one on demand, and
// the choice whether tips are shown at start. "TipOfTheDay" holds the id of the tip
// to show next, 0 when tips are off.
#pragma once

#include <windows.h>

// The tip after id: the first tip after the last one, and for 0 or any id outside the tips.
int nextTipId(int id);
// WM_DRAWITEM of the dialog: the band with the icon, the heading or the tip.
void drawTipControl(const DRAWITEMSTRUCT& item);
