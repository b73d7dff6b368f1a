#include "ui/Splitter.h"

#include <gtest/gtest.h>

#include "tests/ui/EditorFixture.h"
#include "ui/Layout.h"

namespace {

TEST(SplitterPercentTest, ReleasePositionsBecomePercentagesWithinTheArea) {
    struct Case {
        bool vertical;
        int mouse;
        int width;
        int height;
        int top;
        int bottom;
        int percent;
    };
    const Case cases[] = {
        {true, 500, 1000, 600, 50, 20, 50},   // the middle of a 1,000-pixel client area
        {true, 333, 1000, 600, 50, 20, 33},   // integer arithmetic
        {false, 315, 1000, 600, 50, 20, 50},  // the tree area is 530 high below a 50-pixel bar
        {true, 0, 1000, 600, 50, 20, 1},      // kept reachable at the edges
        {true, 1200, 1000, 600, 50, 20, 99}, {false, 10, 1000, 600, 50, 20, 1},  // above the area
        {true, 10, 0, 600, 50, 20, -1},                                          // an empty area moves nothing
        {false, 10, 1000, 60, 50, 20, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(splitterPercent(c.vertical, c.mouse, c.width, c.height, c.top, c.bottom), c.percent)
            << c.mouse << " " << c.width << "x" << c.height;
}

class SplitterTest : public EditorFixture {
protected:
    static LPARAM at(HWND splitter, POINT mainPoint) {
        MapWindowPoints(mainWindow, splitter, &mainPoint, 1);
        return MAKELPARAM(static_cast<short>(mainPoint.x), static_cast<short>(mainPoint.y));
    }

    static RECT client() {
        RECT r{};
        GetClientRect(mainWindow, &r);
        return r;
    }

    // Drags from the splitter's own place to the point and lets go.
    static void drag(HWND splitter, POINT to) {
        SendMessageW(splitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
        SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, at(splitter, POINT{to.x / 2, to.y / 2}));
        SendMessageW(splitter, WM_MOUSEMOVE, MK_LBUTTON, at(splitter, to));
        SendMessageW(splitter, WM_LBUTTONUP, 0, at(splitter, to));
    }

    static int width(HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        return r.right - r.left;
    }
};

TEST_F(SplitterTest, DragsMoveTheirBorderAndLayTheWindowOutOnlyOnAChange) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    const RECT area = client();
    const int treeArea = area.bottom - toolbarHeight - statusHeight;
    struct Case {
        const char* name;
        HWND splitter;
        POINT to;
        int32_t* value;
        int expected;
    };
    const Case cases[] = {
        {"tree splitter to a quarter", treeSplitter, {area.right / 4, toolbarHeight + 10}, &splitPercent, 25},
        {"tree splitter back to the middle", treeSplitter, {area.right / 2, toolbarHeight + 10}, &splitPercent, 50},
        {"content splitter to 30 percent",
         contentPane.splitter,
         {10, toolbarHeight + treeArea * 30 / 100 + 1},
         &contentShare,
         30},
        {"content splitter past the bottom", contentPane.splitter, {10, area.bottom + 50}, &contentShare, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drag(c.splitter, c.to);
        EXPECT_EQ(*c.value, c.expected);
    }
    EXPECT_NEAR(width(leftTreeView.tree), area.right / 2, 2);

    // The same percentage again: nothing is laid out (a tree moved by hand stays where it is).
    MoveWindow(leftTreeView.tree, 0, toolbarHeight, 17, 17, FALSE);
    drag(treeSplitter, POINT{area.right / 2, toolbarHeight + 10});
    EXPECT_EQ(width(leftTreeView.tree), 17);
}

TEST_F(SplitterTest, AStackedTreeSplitterTakesTheHeight) {
    OptionSet::SplitVertically = 0;
    applySplitOrientation(mainWindow);
    layoutMainWindow(nullptr);
    const RECT area = client();
    const int treeArea = area.bottom - toolbarHeight - statusHeight;
    drag(treeSplitter, POINT{area.right / 2, toolbarHeight + treeArea / 5 + 1});
    EXPECT_EQ(splitPercent, 20);
}

TEST_F(SplitterTest, AReleaseWithoutAPressOrAfterTheCaptureWasLostMovesNothing) {
    const RECT area = client();
    const LPARAM quarter = at(treeSplitter, POINT{area.right / 4, toolbarHeight + 10});
    SendMessageW(treeSplitter, WM_LBUTTONUP, 0, quarter);
    EXPECT_EQ(splitPercent, 50);

    SendMessageW(treeSplitter, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    SendMessageW(treeSplitter, WM_MOUSEMOVE, MK_LBUTTON, quarter);
    SendMessageW(treeSplitter, WM_CAPTURECHANGED, 0, 0);
    SendMessageW(treeSplitter, WM_LBUTTONUP, 0, quarter);
    EXPECT_EQ(splitPercent, 50);
    RECT clip{};
    RECT desktop{};
    GetClipCursor(&clip);
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_TRUE(EqualRect(&clip, &desktop));
}

}  // namespace
