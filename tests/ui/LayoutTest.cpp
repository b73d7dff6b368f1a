#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"
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

// Each check box of the main toolbar shows its label whole at the default GUI font: the same
// box drawn far wider puts no pixel of its label at or past the real box's right edge. The
// boxes stand side by side from the right edge without covering one another.
TEST_F(LayoutWindowTest, TheCheckBoxLabelsAreWhole) {
    start();
    for (int width : {900, 640}) {
        SetWindowPos(mainWindow, nullptr, 0, 0, width, 500, SWP_NOZORDER | SWP_NOMOVE);
        RECT client;
        GetClientRect(mainWindow, &client);
        EXPECT_EQ(childRect(autoSelectBox).right, client.right);
        EXPECT_LE(childRect(autoLoadBox).right, childRect(autoCompareBox).left);
        EXPECT_LE(childRect(autoCompareBox).right, childRect(autoSelectBox).left);
        for (HWND box : {autoLoadBox, autoCompareBox, autoSelectBox}) {
            wchar_t label[32] = {};
            GetWindowTextW(box, label, 32);
            SCOPED_TRACE(narrow(label) + " at " + std::to_string(width));
            RECT own;
            GetClientRect(box, &own);
            const int wideWidth = 400;
            HWND wide = CreateWindowExW(0, L"BUTTON", label, WS_CHILD | BS_AUTOCHECKBOX, 0, 0, wideWidth, own.bottom,
                                        mainToolbar, nullptr, GetModuleHandleW(nullptr), nullptr);
            ASSERT_NE(wide, nullptr);
            SendMessageW(wide, WM_SETFONT, SendMessageW(box, WM_GETFONT, 0, 0), FALSE);
            Canvas canvas(wideWidth, own.bottom, GetSysColor(COLOR_BTNFACE));
            SendMessageW(wide, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
            GdiFlush();
            DestroyWindow(wide);
            const auto [first, last] = canvas.columns(GetSysColor(COLOR_BTNTEXT));
            ASSERT_GE(first, 0) << "the label is drawn";
            EXPECT_LT(last, own.right) << "the box is " << own.right << " pixels wide";
        }
    }
}

// The main window's parts as a screen sees them, for comparing one main window with another.
struct PartState {
    std::string name;
    RECT screen;
    bool shown;          // it and every window between it and the main window are visible
    std::string parent;  // the part (or "main window") it is a child of
};

struct MainWindowState {
    std::vector<PartState> parts;
    int edges[4];
    RECT panes[4];  // in the status bar's client area
};

std::vector<std::pair<const char*, HWND>> namedParts() {
    return {
        {"rebar", rebar},
        {"file toolbar", fileToolbar},
        {"main toolbar", mainToolbar},
        {"left path box", leftTreeView.pathCombo},
        {"left path edit", leftTreeView.pathEdit},
        {"right path box", rightTreeView.pathCombo},
        {"right path edit", rightTreeView.pathEdit},
        {"AutoLoad box", autoLoadBox},
        {"AutoCompare box", autoCompareBox},
        {"AutoSelect box", autoSelectBox},
        {"status bar", statusBar},
        {"left tree", leftTreeView.tree},
        {"right tree", rightTreeView.tree},
        {"tree splitter", treeSplitter},
    };
}

bool shownInMainWindow(HWND window) {
    for (; window != nullptr && window != mainWindow; window = GetParent(window))
        if ((GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) == 0) return false;
    return window == mainWindow;
}

MainWindowState mainWindowState() {
    MainWindowState state{};
    const auto parts = namedParts();
    for (const auto& [name, window] : parts) {
        PartState part{name, {}, shownInMainWindow(window), "none"};
        GetWindowRect(window, &part.screen);
        const HWND parent = GetParent(window);
        if (parent == mainWindow) part.parent = "main window";
        for (const auto& [parentName, candidate] : parts)
            if (candidate == parent) part.parent = parentName;
        state.parts.push_back(part);
    }
    SendMessageW(statusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(state.edges));
    for (int i = 0; i < 4; ++i)
        SendMessageW(statusBar, SB_GETRECT, i, reinterpret_cast<LPARAM>(&state.panes[i]));
    return state;
}

std::string text(const RECT& r) {
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

void resizeTo(int width, int height) {
    SetWindowPos(mainWindow, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

// The sizing loop that a drag of the size grip starts: one size after another between
// its enter and exit messages.
void dragSizeGrip() {
    SendMessageW(mainWindow, WM_ENTERSIZEMOVE, 0, 0);
    for (const SIZE size : {SIZE{812, 566}, SIZE{833, 580}, SIZE{871, 611}, SIZE{905, 634}})
        resizeTo(size.cx, size.cy);
    SendMessageW(mainWindow, WM_EXITSIZEMOVE, 0, 0);
}

struct ResizeCase {
    const char* what;
    void (*resize)();
};

const ResizeCase kResizes[] = {
    {"maximize", [] { ShowWindow(mainWindow, SW_MAXIMIZE); }},
    {"maximize, then restore",
     [] {
         ShowWindow(mainWindow, SW_MAXIMIZE);
         ShowWindow(mainWindow, SW_RESTORE);
     }},
    {"smaller", [] { resizeTo(640, 420); }},
    {"larger", [] { resizeTo(1100, 800); }},
    {"a drag of the size grip", dragSizeGrip},
    {"the same size once more",
     [] {
         RECT client;
         GetClientRect(mainWindow, &client);
         SendMessageW(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
     }},
};

class ResizeTest : public MainWindowFixture {
protected:
    // Starts the main window with this outer rectangle, as a start with these stored
    // positions does (a rectangle as large as the screen starts maximized). Shown, as the
    // user has it: a hidden window that is laid out again when it is shown hides the fault.
    void startAt(const RECT& bounds) {
        OptionSet::LeftMainPos = bounds.left;
        OptionSet::TopMainPos = bounds.top;
        OptionSet::RightMainPos = bounds.right;
        OptionSet::BottomMainPos = bounds.bottom;
        start(SW_SHOWNORMAL);
        pump();
    }

    // Where a fresh start puts the parts in a main window of the present one's size.
    MainWindowState freshStartLikeThis() {
        RECT bounds;
        GetWindowRect(mainWindow, &bounds);
        if (IsZoomed(mainWindow)) GetWindowRect(GetDesktopWindow(), &bounds);
        close();
        startAt(bounds);
        return mainWindowState();
    }

    static constexpr RECT kFirstBounds{40, 30, 840, 590};
};

TEST_F(ResizeTest, EveryPartIsWhereAFreshStartAtThatSizePutsIt) {
    for (const ResizeCase& c : kResizes) {
        startAt(kFirstBounds);
        c.resize();
        pump();
        const MainWindowState resized = mainWindowState();
        const MainWindowState fresh = freshStartLikeThis();
        ASSERT_EQ(resized.parts.size(), fresh.parts.size());
        for (size_t i = 0; i < fresh.parts.size(); ++i) {
            const PartState& got = resized.parts[i];
            const PartState& want = fresh.parts[i];
            EXPECT_TRUE(EqualRect(&got.screen, &want.screen))
                << c.what << ": " << want.name << " at " << text(got.screen) << ", a fresh start has "
                << text(want.screen);
            EXPECT_EQ(got.shown, want.shown) << c.what << ": " << want.name;
            EXPECT_EQ(got.parent, want.parent) << c.what << ": " << want.name;
        }
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(resized.edges[i], fresh.edges[i]) << c.what << ": status pane " << i;
            EXPECT_TRUE(EqualRect(&resized.panes[i], &fresh.panes[i]))
                << c.what << ": status pane " << i << " at " << text(resized.panes[i]) << ", a fresh start has "
                << text(fresh.panes[i]);
        }
        for (int i = 0; i + 1 < 4; ++i)
            EXPECT_LE(resized.panes[i].right, resized.panes[i + 1].left)
                << c.what << ": status panes " << i << ", " << i + 1 << " overlap";
        close();
    }
}

// The window under a screen point, found the way the mouse finds it but only among the
// main window's own children (other test programs share the display).
HWND childUnder(POINT screen) {
    HWND found = mainWindow;
    for (;;) {
        POINT inner = screen;
        ScreenToClient(found, &inner);
        HWND child = ChildWindowFromPointEx(found, inner, CWP_SKIPINVISIBLE | CWP_SKIPDISABLED | CWP_SKIPTRANSPARENT);
        if (child == nullptr || child == found) return found;
        found = child;
    }
}

// A toolbar that aligns itself with the top of the rebar at a layout puts the main toolbar
// over the path boxes.
TEST_F(ResizeTest, AfterEveryResizeAClickOnAPathBoxFocusesItForTyping) {
    for (const ResizeCase& c : kResizes) {
        startAt(kFirstBounds);
        c.resize();
        pump();
        for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
            const char* side = panel == &leftTreeView ? "left" : "right";
            RECT box;
            GetWindowRect(panel->pathEdit, &box);
            const POINT centre{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
            HWND hit = childUnder(centre);
            EXPECT_EQ(hit, panel->pathEdit) << c.what << ": the " << side << " path box is under another window";
            // No messages are pumped from here to the typing: other test programs share the
            // display, and one of their windows may take the focus away at the next pump.
            SetFocus(rightTreeView.tree);
            POINT inner = centre;
            ScreenToClient(hit, &inner);
            SendMessageW(hit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inner.x, inner.y));
            SendMessageW(hit, WM_LBUTTONUP, 0, MAKELPARAM(inner.x, inner.y));
            const HWND focused = GetFocus();
            EXPECT_EQ(focused, panel->pathEdit) << c.what << ": a click on the " << side << " path box";
            SendMessageW(focused, WM_CHAR, L'x', 1);
            wchar_t typed[16] = {};
            GetWindowTextW(panel->pathEdit, typed, 16);
            EXPECT_STREQ(typed, L"x") << c.what << ": typed into the " << side << " path box";
        }
        close();
    }
}

// Paints the status bar into a bitmap with a message longer than its pane.
void expectTheMessageInsideItsPane(const char* what) {
    std::wstring message = L"E#";
    while (message.size() < 400)
        message += L"Fatal error(s) in a document with a long name ";
    showStatusMessage(message.c_str());
    RECT client;
    GetClientRect(statusBar, &client);
    Canvas canvas(client.right, client.bottom);
    SendMessageW(statusBar, WM_PAINT, reinterpret_cast<WPARAM>(canvas.dc()), 0);
    GdiFlush();
    RECT pane;
    SendMessageW(statusBar, SB_GETRECT, kStatusMessage, reinterpret_cast<LPARAM>(&pane));
    const auto [first, last] = canvas.columns(RGB(128, 0, 0));
    EXPECT_GE(first, pane.left) << what;
    EXPECT_GT(last, first) << what << ": the message is drawn";
    EXPECT_LT(last, pane.right) << what << ": the message runs into the view pane at " << pane.right;
}

TEST_F(ResizeTest, TheStatusMessageStaysInItsPaneAtStartAndAfterEveryResize) {
    for (const ResizeCase& c : kResizes) {
        startAt(kFirstBounds);
        expectTheMessageInsideItsPane("a fresh start");
        c.resize();
        pump();
        expectTheMessageInsideItsPane(c.what);
        close();
    }
}

}  // namespace
