#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "ui/StatusBar.h"

namespace {

class ProgressTest : public ::testing::Test {
protected:
    HWND window = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
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
