#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/ui/MainWindowFixture.h"
#include "ui/Layout.h"
#include "ui/Splitter.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"

// Found by argument lookup from the test macros, so beside Placement's own namespace.
static bool operator==(const Placement& a, const Placement& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

static std::ostream& operator<<(std::ostream& out, const Placement& p) {
    return out << "(" << p.x << ", " << p.y << ") " << p.width << " x " << p.height;
}

namespace {

TEST(MainLayoutTest, GeometryForEachArrangement) {
    struct Case {
        const char* what;
        int width, height, top, bottom, percent, share;
        bool sideBySide, contentOpen;
        Placement left, right, splitter, contentSplitter, contentWindow;
    } cases[] = {
        // clang-format off
        {"side by side", 800, 600, 50, 20, 50, 100, true, false,
         {0, 50, 399, 530}, {403, 50, 397, 530}, {400, 50, 4, 530}, {}, {}},
        {"side by side at 30 percent", 1000, 600, 50, 20, 30, 100, true, false,
         {0, 50, 299, 530}, {303, 50, 697, 530}, {300, 50, 4, 530}, {}, {}},
        {"stacked", 800, 600, 50, 20, 50, 100, false, false,
         {0, 50, 800, 264}, {0, 318, 800, 262}, {0, 315, 800, 4}, {}, {}},
        {"element window open", 800, 600, 50, 20, 50, 50, true, true,
         {0, 50, 399, 265}, {403, 50, 397, 265}, {400, 50, 4, 265}, {0, 315, 800, 4}, {0, 319, 800, 261}},
        {"tiny, side by side", 3, 5, 50, 20, 50, 100, true, false,
         {0, 50, 0, 0}, {4, 50, 0, 0}, {1, 50, 4, 0}, {}, {}},
        {"tiny, stacked", 3, 5, 50, 20, 50, 100, false, false,
         {0, 50, 3, 0}, {0, 53, 3, 0}, {0, 50, 3, 4}, {}, {}},
        {"tiny, element window open", 3, 5, 50, 20, 50, 50, true, true,
         {0, 50, 0, 0}, {4, 50, 0, 0}, {1, 50, 4, 0}, {0, 50, 3, 4}, {0, 54, 3, 0}},
        {"no area at all", 0, 0, 0, 0, 50, 100, true, false,
         {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 0, 4, 0}, {}, {}},
        // clang-format on
    };
    for (const Case& c : cases) {
        const MainLayout layout =
            computeMainLayout(c.width, c.height, c.top, c.bottom, c.percent, c.share, c.sideBySide, c.contentOpen);
        EXPECT_EQ(layout.leftTree, c.left) << c.what;
        EXPECT_EQ(layout.rightTree, c.right) << c.what;
        EXPECT_EQ(layout.treeSplitter, c.splitter) << c.what;
        EXPECT_EQ(layout.contentOpen, c.contentOpen) << c.what;
        if (c.contentOpen) {
            EXPECT_EQ(layout.contentSplitter, c.contentSplitter) << c.what;
            EXPECT_EQ(layout.contentWindow, c.contentWindow) << c.what;
        }
    }
}

using LayoutWindowTest = MainWindowFixture;

RECT childRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(LayoutWindowTest, ResizingPlacesTheTreesTheBarsAndTheStatusParts) {
    start();
    for (int width : {900, 640}) {
        SetWindowPos(mainWindow, nullptr, 0, 0, width, 500, SWP_NOZORDER | SWP_NOMOVE);
        RECT client;
        GetClientRect(mainWindow, &client);
        const MainLayout expected =
            computeMainLayout(client.right, client.bottom, toolbarHeight, statusHeight, 50, 100, true, false);
        const RECT left = childRect(leftTreeView.tree);
        EXPECT_EQ(left.left, expected.leftTree.x);
        EXPECT_EQ(left.top, expected.leftTree.y);
        EXPECT_EQ(left.right - left.left, expected.leftTree.width);
        EXPECT_EQ(left.bottom - left.top, expected.leftTree.height);
        EXPECT_EQ(childRect(rightTreeView.tree).left, expected.rightTree.x);
        EXPECT_EQ(childRect(treeSplitter).left, expected.treeSplitter.x);

        const RECT combo = childRect(leftTreeView.pathCombo);
        EXPECT_EQ(combo.left, 2);
        EXPECT_EQ(combo.right - combo.left, client.right / 2 - 30);
        EXPECT_EQ(childRect(rightTreeView.pathCombo).left, client.right / 2 + 2);
        EXPECT_EQ(childRect(autoSelectBox).left, client.right - 80);
        const RECT status = childRect(statusBar);
        EXPECT_EQ(status.bottom, client.bottom);

        int edges[4] = {};
        ASSERT_EQ(SendMessageW(statusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 4);
        EXPECT_EQ(edges[0], 120);
        EXPECT_EQ(edges[1], client.right - 240);
        EXPECT_EQ(edges[2], client.right - 120);
        EXPECT_EQ(edges[3], -1);
        wchar_t view[64] = {};
        SendMessageW(statusBar, SB_GETTEXTW, kStatusView, reinterpret_cast<LPARAM>(view));
        EXPECT_STREQ(view, L"View: Normal");
    }
}

}  // namespace
