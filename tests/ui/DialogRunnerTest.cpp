#include "ui/dialogs/DialogRunner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "tests/support/TestSupport.h"
#include "ui/dialogs/KeyAttributeDialogRes.h"

namespace {

// Desktop 1280 x 1024; the dialog is 400 x 300 unless a case says otherwise.
TEST(CentreDialogTest, CentresOnTheParentUnlessTooNearTheDesktopsEdge) {
    struct Case {
        RECT parent;
        int width, height;
        bool moved;
        POINT position;
    } cases[] = {
        {{0, 0, 1280, 1024}, 400, 300, true, {440, 362}},   {{100, 50, 601, 451}, 400, 300, true, {150, 100}},
        {{100, 50, 600, 151}, 400, 300, true, {150, -49}},   // halves rounded toward zero
        {{0, 0, 300, 200}, 400, 300, true, {-50, -50}},      // larger than its parent
        {{1000, 0, 1758, 400}, 400, 300, true, {1179, 50}},  // 1179 < 1280 - 100
        {{1000, 0, 1760, 400}, 400, 300, false, {}},         // 1180 is too near the right edge
        {{0, 800, 400, 1386}, 400, 300, true, {0, 943}},     // 943 < 1024 - 80
        {{0, 800, 400, 1388}, 400, 300, false, {}},          // 944 is too near the bottom
    };
    const RECT desktop{0, 0, 1280, 1024};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.parent.left << "," << c.parent.top << "," << c.parent.right << ","
                                        << c.parent.bottom);
        POINT position{-1, -1};
        ASSERT_EQ(centredPosition(desktop, c.parent, c.width, c.height, &position), c.moved);
        if (c.moved) {
            EXPECT_EQ(position.x, c.position.x);
            EXPECT_EQ(position.y, c.position.y);
        }
    }
}

INT_PTR CALLBACK endingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 7 : IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// EndDialog only marks a dialog as ended: the runner must not cancel, after the test's
// handler, a dialog that the handler ended itself.
TEST(DialogRunnerTest, ADialogEndedByTheTestKeepsItsResultAndOneLeftUpIsCancelled) {
    struct Case {
        bool clickOk;
        INT_PTR result;
    } cases[] = {{true, 7}, {false, IDCANCEL}};
    for (const Case& c : cases) {
        ModalScript dialogs;
        dialogs.expect(IDD_KEY_ATTRIBUTE, [&c](HWND dialog) {
            if (c.clickOk) SendMessageW(dialog, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(runModalDialog(nullptr, IDD_KEY_ATTRIBUTE, endingProcedure, 0), c.result);
        EXPECT_EQ(dialogs.shown(), std::vector<int>{IDD_KEY_ATTRIBUTE});
    }
}

}  // namespace
