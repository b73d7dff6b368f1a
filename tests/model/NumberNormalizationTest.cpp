#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "model/NumberNormalization.h"
#include "tests/support/TestSupport.h"

namespace {

struct NumberCase {
    const wchar_t* text;
    int decimalPlaces;
    int significantFigures;
    const wchar_t* result;
};

std::string run(const wchar_t* text, int decimalPlaces, int significantFigures, bool* accepted) {
    wchar_t output[kNormalizedNumberUnits + 8];
    std::wmemset(output, L'#', kNormalizedNumberUnits + 8);
    output[kNormalizedNumberUnits + 7] = 0;
    *accepted = normalizeNumber(text, output, decimalPlaces, significantFigures);
    // Nothing is written past the 48 units the callers provide.
    for (int i = kNormalizedNumberUnits; i < kNormalizedNumberUnits + 7; ++i)
        EXPECT_EQ(output[i], L'#');
    return *accepted ? narrow(output) : std::string();
}

TEST(NormalizeNumber, CanonicalFormsAndShortening) {
    const NumberCase cases[] = {
        {L"123.45", -1, 0, L"1.2345E2"},
        {L"0.00123", -1, 0, L"1.23E-3"},
        {L"-0.5", -1, 0, L"-5.0E-1"},
        {L"+7", -1, 0, L"7.0E0"},
        {L".5", -1, 0, L"5.0E-1"},
        {L"100", -1, 0, L"1.0E2"},
        {L"-0", -1, 0, L"0.0E0"},
        {L"1e-3", -1, 0, L"1.0E-3"},
        {L"1,000,000.25", -1, 0, L"1.00000025E6"},
        {L"123.456", 1, 0, L"1.234E2"},
        {L"99.99", 0, 0, L"9.9E1"},
        {L"0.05", 1, 0, L"0.0E0"},
        {L"-0.05", 1, 0, L"-0.0E0"},
        {L"123.456", -1, 2, L"1.2E2"},
        {L"123.456", -1, 1, L"1.23456E2"},
        {L"0.000123456", -1, 3, L"1.23E-4"},
        // Separators: a lone separator after one to three digits is decimal, repeated
        // ones are group separators, a different later one is decimal.
        {L"1,234", -1, 0, L"1.234E0"},
        {L"12,34", -1, 0, L"1.234E1"},
        {L"1,234,567", -1, 0, L"1.234567E6"},
        {L"1,234.5", -1, 0, L"1.2345E3"},
        {L"1.234,5", -1, 0, L"1.2345E3"},
        {L"12345.6", -1, 0, L"1.23456E4"},
        {L"1,234,", -1, 0, L"1.234E3"},
        {L"1.234.567", -1, 0, L"1.234567E6"},
        // Blanks count nowhere; leading ones are skipped.
        {L"  1 000", -1, 0, L"1.0E3"},
        {L"1 000,5", -1, 0, L"1.0005E3"},
        {L"1.0005E3", -1, 0, L"1.0005E3"},
        {L"1000.5", -1, 0, L"1.0005E3"},
        {L"1,000.50", -1, 0, L"1.0005E3"},
        {L"2.5e+3", -1, 0, L"2.5E3"},
        {L"0E7", -1, 0, L"0.0E0"},
        {L"000.000", -1, 0, L"0.0E0"},
        {L"-00120", -1, 0, L"-1.2E2"},
        {L"5", 3, 0, L"5.0E0"},
        {L"1.5", 0, 4, L"1.0E0"},  // decimal places win over significant figures
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(narrow(c.text) + " D=" + std::to_string(c.decimalPlaces) +
                     " S=" + std::to_string(c.significantFigures));
        bool accepted = false;
        EXPECT_EQ(run(c.text, c.decimalPlaces, c.significantFigures, &accepted), narrow(c.result));
        EXPECT_TRUE(accepted);
    }
}

TEST(NormalizeNumber, TextsThatAreNotNumbersLeaveTheOutputAlone) {
    const wchar_t* cases[] = {
        L"abc",
        L"1E",
        L"E5",
        L"--1",
        L"1-",
        L"5.",
        L"1,234.",
        L"1\t2",
        L"12a",
        L"",
        L"   ",
        L"+",
        L".",
        L"1.2.3",
        L"1,23,456",
        L"1,234.5,6",
        L"1e5e5",
        L"1.5e2.1",
        L"1e--3",
        L"., 5",
        L"1,5E",
        L"0x10",
        // An exponent beyond 32 bits is left as written.
        L"1e99999999999",
        L"1e-4294967296",
    };
    for (const wchar_t* text : cases) {
        SCOPED_TRACE(narrow(text));
        wchar_t output[kNormalizedNumberUnits] = L"unchanged";
        EXPECT_FALSE(normalizeNumber(text, output, -1, 0));
        EXPECT_EQ(narrow(output), "unchanged");
    }
    wchar_t output[kNormalizedNumberUnits] = L"unchanged";
    EXPECT_FALSE(normalizeNumber(nullptr, output, -1, 0));
}

TEST(NormalizeNumber, LongNumbersStayWithinTheOutput) {
    bool accepted = false;
    // A long mantissa loses its last digits; equal long numbers stay equal.
    std::wstring digits = L"1." + std::wstring(200, L'3');
    std::string result = run(digits.c_str(), -1, 0, &accepted);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(result.size(), 47u);
    EXPECT_EQ(result.substr(0, 3), "1.3");
    EXPECT_EQ(result.substr(result.size() - 2), "E0");

    std::wstring negative = L"-" + std::wstring(100, L'9') + L"e-2147483000";
    result = run(negative.c_str(), -1, 0, &accepted);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(result.size(), 47u);
    EXPECT_EQ(result.substr(result.size() - 12), "E-2147482901");

    // Many zeros shrink to nothing; the exponent still fits.
    std::wstring zeros = L"1" + std::wstring(60000, L'0');
    EXPECT_EQ(run(zeros.c_str(), -1, 0, &accepted), "1.0E60000");

    // The exponent written and the place of the point together must fit in 32 bits.
    std::wstring tooLarge = L"1" + std::wstring(10, L'0') + L"e2147483647";
    run(tooLarge.c_str(), -1, 0, &accepted);
    EXPECT_FALSE(accepted);
}

}  // namespace
