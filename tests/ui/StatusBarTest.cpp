#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <utility>

#include "tests/support/TestSupport.h"
#include "ui/StatusBar.h"

namespace {

class ProgressTest : public ::testing::Test {
protected:
    HWND window = CreateWindowExW(0,
                                  L"STATIC",
                                  L"host",
                                  WS_OVERLAPPEDWINDOW,
                                  0,
                                  0,
                                  600,
                                  200,
                                  nullptr,
                                  nullptr,
                                  GetModuleHandleW(nullptr),
                                  nullptr);
    void SetUp() override { ASSERT_NE(createStatusBar(window), nullptr); }
    void TearDown() override {
        DestroyWindow(window);
        statusBar = progressBar = nullptr;
        progressFileSize = 100;
    }
    int position() const { return static_cast<int>(SendMessageW(progressBar, PBM_GETPOS, 0, 0)); }
};

TEST_F(ProgressTest, StartsAdvancesAndEnds) {
    progressFileSize = 1000;
    updateProgress(0);
    EXPECT_TRUE(IsWindowVisible(progressBar) || !IsWindowVisible(window));
    updateProgress(20);
    EXPECT_EQ(progressPercent, 2);
    EXPECT_EQ(position(), 2);
    updateProgress(5);  // 2.5 %: the bar does not move
    EXPECT_EQ(progressPercent, 2);
    updateProgress(475);
    EXPECT_EQ(progressPercent, 50);
    EXPECT_EQ(position(), 50);
    updateProgress(-1);
    EXPECT_EQ(progressTotal, 0u);
    EXPECT_EQ(progressPercent, 0);
    EXPECT_EQ(position(), 0);
    EXPECT_FALSE(IsWindowVisible(progressBar));
}

TEST_F(ProgressTest, LargeCountsAndUnknownSizesAreSafe) {
    progressFileSize = 0xFFFFFFF0u;
    updateProgress(0);
    updateProgress(0x7FFFFFF0);
    EXPECT_EQ(progressPercent, 49);  // 64-bit arithmetic: no overflow to a small number
    progressFileSize = 0;
    updateProgress(0);
    updateProgress(1000);
    EXPECT_EQ(progressPercent, 0);
    updateProgress(-1);
}

}  // namespace

namespace {

// Draws the message part into a white bitmap, as the status bar would have it drawn.
class MessageCanvas : public Canvas {
public:
    static constexpr int kWidth = 900;
    static constexpr int kHeight = 24;
    static constexpr int kPartRight = 700;

    MessageCanvas() : Canvas(kWidth, kHeight) {}

    // itemData null: a redraw request without a text.
    void draw(const wchar_t* itemData, COLORREF dcColour = RGB(0, 0, 0)) {
        clear();
        SetTextColor(dc(), dcColour);
        DRAWITEMSTRUCT item{};
        item.CtlID = kStatusBarId;
        item.itemID = 1;
        item.hDC = dc();
        item.rcItem = RECT{120, 0, kPartRight, kHeight};
        item.itemData = reinterpret_cast<ULONG_PTR>(itemData);
        drawStatusMessage(&item);
        GdiFlush();
    }
};

// The width of a text in the bold status font.
int boldWidth(HDC dc, const wchar_t* text) {
    LOGFONTW font{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&font);
    HGDIOBJ old = SelectObject(dc, bold);
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    SelectObject(dc, old);
    DeleteObject(bold);
    return size.cx;
}

TEST(StatusMessageTest, TypeLettersPickTheColour) {
    struct Case {
        const wchar_t* message;
        COLORREF colour;
    } cases[] = {
        {L"E#Fatal error(s)", RGB(128, 0, 0)},
        {L"W#Canceled", RGB(128, 128, 0)},
        {L"O#Loaded successfully", GetSysColor(COLOR_WINDOWTEXT)},
        {L"X#Any other letter", GetSysColor(COLOR_WINDOWTEXT)},
    };
    MessageCanvas canvas;
    for (const Case& c : cases) {
        canvas.draw(c.message, RGB(0, 0, 255));
        const auto [first, last] = canvas.columns(c.colour);
        EXPECT_GE(first, kStatusTextX) << narrow(c.message);
        EXPECT_GT(last - first, 20) << narrow(c.message);
        EXPECT_EQ(canvas.columns(RGB(0, 0, 255)).first, -1) << narrow(c.message) << ": not the DC's colour";
    }
}

TEST(StatusMessageTest, ComparisonRowsSideBySideInTheirColours) {
    const wchar_t summary[] =
        L"R#Identical  :  8\nDeleted    :  1\nAdded      :  3\nDifferent  :  1\nIgnored    :  2\nSixth      :  9\n"
        L"\nToo many differences?\nYou may change comparison settings\n";
    const COLORREF first = RGB(200, 0, 200);
    MessageCanvas canvas;
    canvas.draw(summary, first);
    const auto identical = canvas.columns(first);
    const auto darkRed = canvas.columns(RGB(128, 0, 0));
    const auto green = canvas.columns(RGB(0, 128, 0));
    const auto navy = canvas.columns(RGB(0, 0, 128));
    EXPECT_GE(identical.first, kStatusTextX) << "row 1 keeps the DC's text colour";
    EXPECT_GT(darkRed.first, identical.second) << "rows 2 and 3 follow";
    EXPECT_GT(green.first, darkRed.second);
    EXPECT_GT(navy.first, green.second);

    // The rows are drawn without their blanks, 10 pixels apart, the sixth in the fifth's
    // colour, and nothing after the empty row.
    const wchar_t* rows[] = {L"Identical:8", L"Deleted:1", L"Added:3", L"Different:1", L"Ignored:2", L"Sixth:9"};
    int x = kStatusTextX;
    for (const wchar_t* row : rows)
        x += boldWidth(canvas.dc(), row) + 10;
    const int end = x - 10;
    const int sixthStart = end - boldWidth(canvas.dc(), L"Sixth:9");
    EXPECT_GT(navy.second, sixthStart);
    EXPECT_LE(canvas.lastInkColumn(), end + 1);
    EXPECT_GE(canvas.lastInkColumn(), end - 4);
}

TEST(StatusMessageTest, TextsThatAreNotTypedOrUnfinishedRowsDrawNothing) {
    MessageCanvas canvas;
    for (const wchar_t* text : {L"Loaded", L"", L"R#Identical:  1"}) {
        canvas.draw(text);
        EXPECT_EQ(canvas.lastInkColumn(), -1) << narrow(text);
    }
}

TEST(StatusMessageTest, ALongMessageStopsAtTheEdgeOfItsPart) {
    std::wstring text = L"E#";
    std::wstring rows = L"R#";
    while (text.size() < 300) {
        text += L"Fatal error(s) in a long name ";
        rows += L"Identical  :  12345\n";
    }
    rows += L"\n";
    MessageCanvas canvas;
    for (const std::wstring& message : {text, rows}) {
        canvas.draw(message.c_str());
        EXPECT_GT(canvas.lastInkColumn(), kStatusTextX) << narrow(message.substr(0, 2));
        EXPECT_LT(canvas.lastInkColumn(), MessageCanvas::kPartRight) << narrow(message.substr(0, 2));
    }
}

TEST(StatusMessageTest, ARedrawShowsTheStatusBarsOwnCopy) {
    wchar_t producer[32] = L"E#Fatal error(s)";
    MessageCanvas before;
    before.draw(producer);
    wcscpy(producer, L"O#Something else");
    MessageCanvas redrawn;
    redrawn.draw(nullptr);
    EXPECT_TRUE(redrawn.same(before));
    EXPECT_STREQ(lastStatusMessage, L"E#Fatal error(s)");
}

TEST_F(ProgressTest, PartsAndTheViewText) {
    setStatusParts(800);
    int edges[4] = {};
    ASSERT_EQ(SendMessageW(statusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 4);
    EXPECT_EQ(edges[0], 120);
    EXPECT_EQ(edges[1], 560);
    EXPECT_EQ(edges[2], 680);
    EXPECT_EQ(edges[3], -1);
    setStatusParts(100);
    SendMessageW(statusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges));
    EXPECT_LE(edges[0], edges[1]);
    EXPECT_LE(edges[1], edges[2]);

    struct Case {
        int mode;
        const wchar_t* text;
    } cases[] = {{1086, L"View: Normal"}, {1087, L"View: Differences"}, {1088, L"View: Similarities"}};
    for (const Case& c : cases) {
        showViewMode(c.mode);
        wchar_t text[64] = {};
        SendMessageW(statusBar, SB_GETTEXTW, kStatusView, reinterpret_cast<LPARAM>(text));
        EXPECT_STREQ(text, c.text);
    }
}

}  // namespace
