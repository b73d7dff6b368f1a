// The canonical form of a number written in a text, so that 1,000.50, 1000.5 and
// 1.0005E3 hash alike.
#pragma once

// Room for the canonical form: 47 units and the terminator.
constexpr int kNormalizedNumberUnits = 48;

// True when text reads as a number: output (kNormalizedNumberUnits units) then holds
// its canonical form: an optional "-", one non-zero digit, ".", at least one digit,
// "E" and the decimal exponent (zero is 0.0E0). decimalPlaces of 0 or more keeps that
// many digits after the decimal point of the number as written; otherwise
// significantFigures of 2 or more keeps that many digits. False leaves output as it
// was: not a number, or an exponent beyond 32 bits.
bool normalizeNumber(const wchar_t* text, wchar_t* output, int decimalPlaces, int significantFigures);
