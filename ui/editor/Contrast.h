// How readable one colour is on another: the relative luminance of a colour and the
// contrast ratio of two (1 for equal colours, 21 for black on white).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>

// Relative luminance of a colour, 0 black to 1 white.
inline double luminance(COLORREF colour) {
    auto linear = [](BYTE value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(GetRValue(colour)) + 0.7152 * linear(GetGValue(colour)) + 0.0722 * linear(GetBValue(colour));
}

inline double luminanceContrast(double la, double lb) {
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

inline double contrast(COLORREF a, COLORREF b) {
    return luminanceContrast(luminance(a), luminance(b));
}
