#include "model/NumberNormalization.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// What the recognising pass learns about a text that reads as a number.
struct NumberShape {
    const wchar_t* start = nullptr;        // first unit after the leading blanks
    const wchar_t* mantissaEnd = nullptr;  // the exponent mark or the terminator
    const wchar_t* decimalSeparator = nullptr;
    wchar_t sign = 0;
    int64_t exponent = 0;  // the value written after the exponent mark
};

// Decides which separator is decimal and which are group separators, and refuses
// everything that is not a number.
bool recognise(const wchar_t* text, NumberShape& shape) {
    const wchar_t* p = text;
    while (*p == L' ')
        ++p;
    if (*p == 0) return false;
    shape.start = p;

    bool seenDigit = false;
    const wchar_t* exponentMark = nullptr;
    wchar_t exponentSign = 0;
    int exponentDigits = 0;
    int64_t exponent = 0;
    const wchar_t* provisional = nullptr;
    int separators = 0;
    int digitsSinceSeparator = 0;
    for (; *p != 0; ++p) {
        const wchar_t c = *p;
        if (isDigit(c)) {
            if (exponentMark != nullptr) {
                // Capped just past the 32-bit range: such an exponent is refused below.
                if (exponent <= INT32_MAX) exponent = exponent * 10 + (c - L'0');
                ++exponentDigits;
            } else {
                seenDigit = true;
                ++digitsSinceSeparator;
            }
        } else if (c == L' ') {
            continue;
        } else if (c == L'+' || c == L'-') {
            if (!seenDigit) {
                if (shape.sign != 0) return false;
                shape.sign = c;
            } else if (exponentMark != nullptr && exponentDigits == 0 && exponentSign == 0) {
                exponentSign = c;
            } else {
                return false;
            }
        } else if (c == L'E' || c == L'e') {
            if (!seenDigit || exponentMark != nullptr) return false;
            exponentMark = p;
        } else if (c == L',' || c == L'.') {
            if (exponentMark != nullptr) return false;
            if (!seenDigit) {
                if (separators != 0) return false;
                shape.decimalSeparator = p;
            } else if (separators == 0) {
                if (digitsSinceSeparator > 3)
                    shape.decimalSeparator = p;
                else
                    provisional = p;
            } else {
                if (shape.decimalSeparator != nullptr || digitsSinceSeparator != 3) return false;
                if (c != *provisional) shape.decimalSeparator = p;
            }
            ++separators;
            digitsSinceSeparator = 0;
        } else {
            return false;
        }
    }
    if (!seenDigit) return false;
    if (exponentMark != nullptr && exponentDigits == 0) return false;
    if (shape.decimalSeparator == nullptr && provisional != nullptr && separators == 1)
        shape.decimalSeparator = provisional;
    shape.mantissaEnd = exponentMark != nullptr ? exponentMark : p;
    if (shape.decimalSeparator != nullptr) {
        bool digitFollows = false;
        for (const wchar_t* q = shape.decimalSeparator + 1; q < shape.mantissaEnd && !digitFollows; ++q)
            digitFollows = isDigit(*q);
        if (!digitFollows) return false;
    }
    if (exponent > INT32_MAX) return false;
    shape.exponent = exponentSign == L'-' ? -exponent : exponent;
    return true;
}

}  // namespace

bool normalizeNumber(const wchar_t* text, wchar_t* output, int decimalPlaces, int significantFigures) {
    if (text == nullptr || output == nullptr) return false;
    NumberShape shape;
    if (!recognise(text, shape)) return false;

    // Positions count the digits and the decimal separator of the mantissa only.
    int64_t position = 0;
    int64_t decimalPosition = 0;
    int64_t firstPosition = 0;
    const wchar_t* first = nullptr;
    for (const wchar_t* p = shape.start; p < shape.mantissaEnd; ++p) {
        if (isDigit(*p)) {
            ++position;
            if (first == nullptr && *p != L'0') {
                first = p;
                firstPosition = position;
            }
        } else if (p == shape.decimalSeparator) {
            decimalPosition = ++position;
        }
    }
    if (first == nullptr) {
        std::memcpy(output, L"0.0E0", sizeof(L"0.0E0"));
        return true;
    }
    if (shape.decimalSeparator == nullptr) decimalPosition = position + 1;
    int64_t exponent = decimalPosition - firstPosition;
    if (exponent > 0) --exponent;
    exponent += shape.exponent;
    if (exponent < INT32_MIN || exponent > INT32_MAX) return false;

    wchar_t result[kNormalizedNumberUnits];
    int used = 0;
    if (shape.sign == L'-') result[used++] = L'-';

    int64_t fractionLimit = INT64_MAX;
    if (decimalPlaces >= 0) {
        const int64_t kept = decimalPlaces + exponent;
        if (kept < 0) {
            std::memcpy(output, result, used * sizeof(wchar_t));
            std::memcpy(output + used, L"0.0E0", sizeof(L"0.0E0"));
            return true;
        }
        fractionLimit = kept;
    } else if (significantFigures >= 2) {
        fractionLimit = significantFigures - 1;
    }

    wchar_t exponentText[16];
    const int exponentLength = std::swprintf(exponentText, 16, L"%lld", static_cast<long long>(exponent));
    result[used++] = *first;
    result[used++] = L'.';
    // A mantissa too long for the output loses its last digits, as shortening would drop them.
    const int room = kNormalizedNumberUnits - 1 - used - 1 - exponentLength;
    if (fractionLimit > room) fractionLimit = room;

    const int fractionStart = used;
    int significantEnd = used;
    int64_t fractionDigits = 0;
    for (const wchar_t* p = first + 1; p < shape.mantissaEnd && fractionDigits < fractionLimit; ++p) {
        if (!isDigit(*p)) continue;
        result[used++] = *p;
        ++fractionDigits;
        if (*p != L'0') significantEnd = used;
    }
    used = significantEnd;
    if (used == fractionStart) result[used++] = L'0';
    result[used++] = L'E';
    std::memcpy(result + used, exponentText, (static_cast<size_t>(exponentLength) + 1) * sizeof(wchar_t));
    used += exponentLength + 1;
    std::memcpy(output, result, static_cast<size_t>(used) * sizeof(wchar_t));
    return true;
}
