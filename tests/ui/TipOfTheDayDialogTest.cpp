#include "ui/dialogs/TipOfTheDayDialog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/dialogs/TipOfTheDayDialogRes.h"

namespace {

class TipOfTheDayTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;
};

// The tip the dialog shows: drawing it settles the id first.
int shownTip(HWND dialog) {
    HWND tip = GetDlgItem(dialog, IDC_TIP_TEXT);
    InvalidateRect(tip, nullptr, TRUE);
    UpdateWindow(tip);
    return OptionSet::TipOfTheDay;
}

TEST_F(TipOfTheDayTest, StoredValueActionsAndTheValueAfterwards) {
    const struct Case {
        const char* what;
        int32_t stored;
        bool boxTicked;     // as the dialog opens
        int firstTip;       // shown as it opens
        const char* steps;  // N Next Tip, T the box, C Close, E Escape, X the close box
        int lastTip;        // shown before the last step
        int32_t after;
    } cases[] = {
        {"Close shows the next tip at the next start", 1801, true, 1801, "C", 1801, 1802},
        {"after the last tip the first", 1843, true, 1843, "C", 1843, 1801},
        {"Next Tip from the last tip", 1843, true, 1843, "NC", 1801, 1802},
        {"two Next Tips", 1810, true, 1810, "NNC", 1812, 1813},
        {"the box cleared turns tips off", 1810, true, 1810, "TC", 1810, 0},
        {"tips off from the menu: the first tip, the box clear", 0, false, 1801, "C", 1801, 0},
        {"tips off, the box ticked turns them on", 0, false, 1801, "TC", 1801, 1802},
        {"tips off and Escape: still off", 0, false, 1801, "E", 1801, 0},
        {"tips off, Next Tip and the close box: still off", 0, false, 1801, "NX", 1802, 0},
        {"Escape after Next Tip keeps the advanced id", 1805, true, 1805, "NE", 1806, 1806},
        {"the close box reads no box", 1805, true, 1805, "TX", 1805, 1805},
        {"a stored 5000 shows the first tip", 5000, true, 1801, "C", 1801, 1802},
        {"a stored 1800 shows the first tip", 1800, true, 1801, "NC", 1802, 1803},
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OptionSet::TipOfTheDay = c.stored;
        ModalScript script;
        script.expect(IDD_TIP_OF_THE_DAY, [&](HWND dialog) {
            wchar_t caption[64] = {};
            GetWindowTextW(dialog, caption, 64);
            EXPECT_STREQ(caption, L"Tip of the Day");
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_TIP_SHOW_AT_START) == BST_CHECKED, c.boxTicked);
            EXPECT_EQ(shownTip(dialog), c.firstTip);
            for (const char* step = c.steps; *step != 0; ++step) {
                if (step[1] == 0) {
                    EXPECT_EQ(shownTip(dialog), c.lastTip);
                }
                switch (*step) {
                    case 'N':
                        clickButton(dialog, IDC_TIP_NEXT);
                        EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open";
                        break;
                    case 'T':
                        clickButton(dialog, IDC_TIP_SHOW_AT_START);
                        break;
                    case 'C':
                        clickButton(dialog, IDOK);
                        break;
                    case 'E':
                        // What the dialog manager sends for the Escape key.
                        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                        break;
                    case 'X':
                        // The dialog manager posts the close box's IDCANCEL.
                        SendMessageW(dialog, WM_CLOSE, 0, 0);
                        for (MSG message; PeekMessageW(&message, dialog, 0, 0, PM_REMOVE);)
                            DispatchMessageW(&message);
                        break;
                }
            }
            EXPECT_FALSE(IsWindowVisible(dialog)) << "ended";
        });
        SendMessageW(mainWindow, WM_COMMAND, IDM_TIP_OF_THE_DAY, 0);
        EXPECT_EQ(OptionSet::TipOfTheDay, c.after);
    }
}

TEST_F(TipOfTheDayTest, NextTipIds) {
    const struct Case {
        int id, next;
    } cases[] = {{0, 1801}, {1801, 1802}, {1842, 1843}, {1843, 1801}, {5000, 1801}, {-3, 1801}};
    for (const Case& c : cases)
        EXPECT_EQ(nextTipId(c.id), c.next) << c.id;
}

TEST_F(TipOfTheDayTest, ShownAtStartWhenTipsAreOnAndNotWhenOff) {
    for (int32_t stored : {1820, 0}) {
        OptionSet::TipOfTheDay = stored;
        ModalScript script;
        if (stored != 0) script.expect(IDD_TIP_OF_THE_DAY, [](HWND dialog) { clickButton(dialog, IDOK); });
        start();
        EXPECT_EQ(script.shown().size(), stored != 0 ? 1u : 0u);
        EXPECT_EQ(OptionSet::TipOfTheDay, stored != 0 ? 1821 : 0);
        close();
    }
}

TEST_F(TipOfTheDayTest, EveryTipHasItsTextAndTheControlsDrawTheirParts) {
    start();
    for (int id = IDS_FIRST_TIP; id <= IDS_LAST_TIP; ++id) {
        wchar_t tip[600] = {};
        const int length = LoadStringW(GetModuleHandleW(nullptr), id, tip, 600);
        EXPECT_GT(length, 20) << id;
        EXPECT_LE(length, 510) << id;
    }
    wchar_t tip[600] = {};
    LoadStringW(GetModuleHandleW(nullptr), IDS_FIRST_TIP, tip, 600);
    EXPECT_STREQ(tip, L"You can load XML files, by using drag and drop operations.");
    LoadStringW(GetModuleHandleW(nullptr), IDS_LAST_TIP, tip, 600);
    EXPECT_STREQ(tip, L"You can compare XML files by key attribute, by choosing the element and pressing Shift-F2.");

    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const RECT area{0, 0, 300, 120};
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.rcItem = area;

    Canvas band(300, 120, RGB(1, 2, 3));
    item.hDC = band.dc();
    item.CtlID = IDC_TIP_BAND;
    drawTipControl(item);
    EXPECT_EQ(band.pixel(2, 2), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(band.pixel(200, 100), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_GT(band.count(RGB(255, 236, 120), RECT{12, 6, 44, 38}), 50) << "the bulb of the icon at (12, 6)";

    for (int id : {IDC_TIP_HEADING, IDC_TIP_TEXT}) {
        Canvas canvas(300, 120, RGB(1, 2, 3));
        item.hDC = canvas.dc();
        item.CtlID = static_cast<UINT>(id);
        OptionSet::TipOfTheDay = 1801;
        drawTipControl(item);
        EXPECT_EQ(canvas.count(RGB(1, 2, 3), area), 0) << id << ": filled";
        const int ink = 300 * 120 - canvas.count(window, area);
        EXPECT_GT(ink, 30) << id << ": text drawn";
    }
    OptionSet::TipOfTheDay = 9000;
    Canvas canvas(300, 120);
    item.hDC = canvas.dc();
    item.CtlID = IDC_TIP_TEXT;
    drawTipControl(item);
    EXPECT_EQ(OptionSet::TipOfTheDay, 1801) << "an id outside the tips is replaced before drawing";
}

}  // namespace
