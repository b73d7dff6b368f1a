#include "ui/TreeFont.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <set>
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

// The face and character height the tree is really drawn in.
struct DrawnFont {
    std::wstring face;
    int height;
};
DrawnFont drawnFontOf(HWND tree) {
    HDC dc = GetDC(tree);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(tree, dc);
    return {face, static_cast<int>(metrics.tmHeight - metrics.tmInternalLeading)};
}

int CALLBACK addFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM faces) {
    reinterpret_cast<std::set<std::wstring>*>(faces)->insert(font->lfFaceName);
    return 1;
}
std::set<std::wstring> installedFaces() {
    std::set<std::wstring> faces;
    HDC dc = GetDC(nullptr);
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(dc, &query, addFace, reinterpret_cast<LPARAM>(&faces), 0);
    ReleaseDC(nullptr, dc);
    return faces;
}

// An installed horizontal face other than the one given.
std::wstring anotherFace(const std::wstring& other) {
    for (const std::wstring& face : installedFaces())
        if (face[0] != L'@' && face != other) return face;
    ADD_FAILURE() << "no second font installed";
    return L"";
}

constexpr DWORD kChooserFlags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_FORCEFONTEXIST | CF_NOVERTFONTS;

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
    const std::wstring face = anotherFace(drawnFontOf(leftTreeView.tree).face);
    LOGFONTW chosen = systemFixed();
    chosen.lfHeight = -24;
    chosen.lfWeight = FW_BOLD;
    chosen.lfItalic = 1;
    lstrcpynW(chosen.lfFaceName, face.c_str(), LF_FACESIZE);
    FontChooserScript chooser;
    chooser.answer(chosen);
    SendMessageW(mainWindow, WM_COMMAND, IDM_FONT_TREE, 0);

    ASSERT_EQ(chooser.shown().size(), 1u);
    EXPECT_EQ(chooser.shown()[0].flags, kChooserFlags);
    EXPECT_EQ(chooser.shown()[0].owner, mainWindow);
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
    EXPECT_EQ(textValue(L"FaceName", L"\\Font1"), face);
    for (const wchar_t* name : {L"CharSet", L"PitchAndFamily", L"Underline", L"Width", L"ItemHeight"})
        EXPECT_TRUE(hasValue(name, L"\\Font1")) << narrow(name);
    EXPECT_GT(numberValue(L"ItemHeight", L"\\Font1"), 0u);
}

// The chooser opens on the face and size the trees are drawn in, whatever the stored
// description says: a face that is not installed is not in the chooser's list, which
// then falls back to its first entry (a vertical "@" face under Wine) at its smallest size.
TEST_F(TreeFontTest, TheChooserStartsAtTheTreesFont) {
    const std::set<std::wstring> installed = installedFaces();
    const std::wstring face = anotherFace(L"");
    struct Case {
        const char* what;
        std::wstring storedFace;  // empty: no font stored
        int storedHeight;
    } cases[] = {
        {"the tree view's own font", L"", 0},
        {"a stored installed face", face, -19},
        {"a stored face that is not installed", L"No Such Font Here", -15},
        {"a stored vertical face", L"@" + face, -13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeW(HKEY_CURRENT_USER, fontKey().c_str());
        if (!c.storedFace.empty()) {
            storeNumber(L"Height", static_cast<DWORD>(c.storedHeight));
            storeText(L"FaceName", c.storedFace, true);
        }
        start();
        const DrawnFont drawn = drawnFontOf(leftTreeView.tree);
        FontChooserScript chooser;
        chooser.cancel();
        SendMessageW(mainWindow, WM_COMMAND, IDM_FONT_TREE, 0);
        ASSERT_EQ(chooser.shown().size(), 1u);
        const LOGFONTW& initial = chooser.shown()[0].initial;
        EXPECT_EQ(chooser.shown()[0].flags, kChooserFlags);
        const std::wstring initialFace = initial.lfFaceName;
        EXPECT_EQ(narrow(initialFace), narrow(drawn.face[0] == L'@' ? drawn.face.substr(1) : drawn.face));
        EXPECT_EQ(installed.count(initialFace), 1u) << narrow(initialFace) << " is installed";
        EXPECT_NE(initialFace[0], L'@');
        EXPECT_EQ(initial.lfHeight, -drawn.height) << "the character height, which the chooser shows in points";
        if (c.storedHeight != 0) {
            EXPECT_EQ(initial.lfHeight, c.storedHeight);
        }
        close();
    }
}

// A name that no installed font has (the chooser under Wine takes what is typed into
// its face box), or a vertical face, is refused with a message and changes nothing.
TEST_F(TreeFontTest, OnlyAnInstalledHorizontalFaceIsTaken) {
    const std::wstring face = anotherFace(L"");
    struct Case {
        std::wstring face;
        std::wstring message;
    } cases[] = {
        {L"No Such Font Here", L"The font \"No Such Font Here\" is not installed."},
        {L"", L"The font \"\" is not installed."},
        {L"@" + face, L"The font \"@" + face + L"\" is a vertical font and cannot be used in the trees."},
    };
    start();
    const HFONT leftBefore = reinterpret_cast<HFONT>(SendMessageW(leftTreeView.tree, WM_GETFONT, 0, 0));
    const HFONT rightBefore = reinterpret_cast<HFONT>(SendMessageW(rightTreeView.tree, WM_GETFONT, 0, 0));
    const int itemHeight = TreeView_GetItemHeight(leftTreeView.tree);
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.face));
        LOGFONTW chosen = systemFixed();
        chosen.lfHeight = -16;
        lstrcpynW(chosen.lfFaceName, c.face.c_str(), LF_FACESIZE);
        FontChooserScript chooser;
        chooser.answer(chosen);
        BoxScript boxes;
        boxes.expect(c.message, L"Error");
        SendMessageW(mainWindow, WM_COMMAND, IDM_FONT_TREE, 0);
        EXPECT_EQ(treeFont, nullptr);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(leftTreeView.tree, WM_GETFONT, 0, 0)), leftBefore);
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(rightTreeView.tree, WM_GETFONT, 0, 0)), rightBefore);
        EXPECT_EQ(TreeView_GetItemHeight(leftTreeView.tree), itemHeight);
        EXPECT_EQ(itemPainter->font, leftBefore);
    }
    // An installed face is taken.
    LOGFONTW chosen = systemFixed();
    chosen.lfHeight = -16;
    lstrcpynW(chosen.lfFaceName, face.c_str(), LF_FACESIZE);
    FontChooserScript chooser;
    chooser.answer(chosen);
    SendMessageW(mainWindow, WM_COMMAND, IDM_FONT_TREE, 0);
    ASSERT_NE(treeFont, nullptr);
    EXPECT_EQ(narrow(drawnFontOf(leftTreeView.tree).face), narrow(face));
    close();
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
