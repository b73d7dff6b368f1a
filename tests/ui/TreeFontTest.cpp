#include "ui/TreeFont.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/ItemPainter.h"

namespace {

LOGFONTW systemFixed() {
    LOGFONTW font{};
    GetObjectW(GetStockObject(SYSTEM_FIXED_FONT), sizeof(font), &font);
    return font;
}

LOGFONTW fontOf(HWND tree) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font;
}

class TreeFontTest : public MainWindowFixture {
protected:
    std::wstring fontKey() const { return keyOf(L"\\Font1"); }

    void storeNumber(const wchar_t* name, DWORD value) const {
        RegSetKeyValueW(HKEY_CURRENT_USER, fontKey().c_str(), name, REG_DWORD, &value, sizeof(value));
    }
    // The bytes as given: no NUL is added.
    void storeText(const wchar_t* name, const std::wstring& text, bool withNul) const {
        const DWORD bytes = static_cast<DWORD>((text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t));
        RegSetKeyValueW(HKEY_CURRENT_USER, fontKey().c_str(), name, REG_SZ, text.c_str(), bytes);
    }
    bool fontKeyExists() const {
        HKEY handle = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, fontKey().c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
        RegCloseKey(handle);
        return true;
    }
};

TEST_F(TreeFontTest, StoredFontIsReadOverTheSystemFixedFont) {
    const std::wstring face31(31, L'F');
    const std::wstring face32(32, L'G');
    struct Case {
        const char* what;
        std::wstring face;  // empty: none stored
        bool withNul;
        const std::wstring expectedFace;
    } cases[] = {
        {"only the height", L"", true, systemFixed().lfFaceName},
        {"a face of 31 units", face31, true, face31},
        {"a face of 32 units without its NUL", face32, false, systemFixed().lfFaceName},
        {"a face of 32 units with its NUL", face32, true, systemFixed().lfFaceName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, fontKey().c_str());
        storeNumber(L"Height", static_cast<DWORD>(-19));
        if (!c.face.empty()) storeText(L"FaceName", c.face, c.withNul);
        start();
        ASSERT_NE(treeFont, nullptr);
        EXPECT_EQ(treeLogFont.lfHeight, -19);
        EXPECT_EQ(treeLogFont.lfWeight, systemFixed().lfWeight);
        EXPECT_EQ(std::wstring(treeLogFont.lfFaceName), c.expectedFace);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(leftTreeView.tree, WM_GETFONT, 0, 0)), treeFont);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(rightTreeView.tree, WM_GETFONT, 0, 0)), treeFont);
        close();
        EXPECT_EQ(treeFont, nullptr) << "the font goes with the window";
    }
}

TEST_F(TreeFontTest, AChosenFontReachesBothTreesThePainterAndTheRegistry) {
    start();
    const int oldItemHeight = TreeView_GetItemHeight(leftTreeView.tree);
    LOGFONTW chosen = systemFixed();
    chosen.lfHeight = -24;
    chosen.lfWeight = FW_BOLD;
    chosen.lfItalic = 1;
    lstrcpynW(chosen.lfFaceName, L"Courier New", LF_FACESIZE);
    FontChooserScript chooser;
    chooser.answer(chosen);
    SendMessageW(mainWindow, WM_COMMAND, IDM_FONT_TREE, 0);

    ASSERT_EQ(chooser.shown().size(), 1u);
    EXPECT_EQ(chooser.shown()[0].flags, static_cast<DWORD>(CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT));
    EXPECT_EQ(chooser.shown()[0].owner, mainWindow);
    EXPECT_EQ(std::wstring(chooser.shown()[0].initial.lfFaceName), systemFixed().lfFaceName)
        << "the first choice starts at the system fixed font";
    ASSERT_NE(treeFont, nullptr);
    for (HWND tree : {leftTreeView.tree, rightTreeView.tree}) {
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0)), treeFont);
        EXPECT_EQ(fontOf(tree).lfHeight, -24);
    }
    const int itemHeight = TreeView_GetItemHeight(leftTreeView.tree);
    EXPECT_GT(itemHeight, oldItemHeight);
    EXPECT_EQ(TreeView_GetItemHeight(rightTreeView.tree), itemHeight);
    ASSERT_NE(itemPainter, nullptr);
    EXPECT_EQ(itemPainter->font, treeFont);
    EXPECT_EQ(itemPainter->lineHeight, itemHeight);

    // A second choice starts from the first and replaces it.
    HFONT first = treeFont;
    chosen.lfHeight = -16;
    chooser.answer(chosen);
    chooseTreeFont(mainWindow);
    EXPECT_EQ(chooser.shown()[1].initial.lfHeight, -24);
    EXPECT_NE(treeFont, first);
    EXPECT_EQ(GetObjectType(first), 0u) << "the old font is deleted";

    close();
    EXPECT_EQ(numberValue(L"Height", L"\\Font1"), static_cast<DWORD>(-16));
    EXPECT_EQ(numberValue(L"Weight", L"\\Font1"), static_cast<DWORD>(FW_BOLD));
    EXPECT_EQ(numberValue(L"Italic", L"\\Font1"), 1u);
    EXPECT_EQ(textValue(L"FaceName", L"\\Font1"), L"Courier New");
    for (const wchar_t* name : {L"CharSet", L"PitchAndFamily", L"Underline", L"Width", L"ItemHeight"})
        EXPECT_TRUE(hasValue(name, L"\\Font1")) << narrow(name);
    EXPECT_GT(numberValue(L"ItemHeight", L"\\Font1"), 0u);
}

TEST_F(TreeFontTest, CancelChangesNothingAndNoFontIsStored) {
    start();
    const HFONT before = reinterpret_cast<HFONT>(SendMessageW(leftTreeView.tree, WM_GETFONT, 0, 0));
    const int itemHeight = TreeView_GetItemHeight(leftTreeView.tree);
    const int lineHeight = itemPainter->lineHeight;
    FontChooserScript chooser;
    chooser.cancel();
    SendMessageW(mainWindow, WM_COMMAND, IDM_FONT_TREE, 0);
    EXPECT_EQ(chooser.shown().size(), 1u);
    EXPECT_EQ(treeFont, nullptr);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(leftTreeView.tree, WM_GETFONT, 0, 0)), before);
    EXPECT_EQ(TreeView_GetItemHeight(leftTreeView.tree), itemHeight);
    EXPECT_EQ(itemPainter->lineHeight, lineHeight);
    close();
    EXPECT_FALSE(fontKeyExists()) << "without a font no \\Font1 key is made";
}

}  // namespace
