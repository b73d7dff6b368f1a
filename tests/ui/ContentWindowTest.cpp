#include "ui/editor/ContentWindow.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <string>

#include "tests/ui/EditorFixture.h"
#include "ui/Layout.h"
#include "ui/Splitter.h"
#include "ui/StatusBar.h"
#include "ui/dialogs/KeyAttributeDialogRes.h"
#include "ui/dialogs/OptionsDialogRes.h"
#include "ui/editor/Contrast.h"
#include "ui/editor/EditorSync.h"

namespace {

// Seventy lines, the deep element d on line 31 (0-based 30), far enough from the end
// for an editor of the window's height to bring it to its second line.
std::string deepDocument() {
    std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
    for (int i = 0; i < 28; ++i)
        xml += "  <item n=\"" + std::to_string(i) + "\">text</item>\n";
    xml += "  <a><b><c>\n      <deep id=\"7\">here</deep></c></b></a>\n";
    for (int i = 0; i < 38; ++i)
        xml += "  <tail/>\n";
    xml += "</root>\n";
    return xml;
}

// With VERDALT_SHOTS naming a folder, a picture of the window as the screen shows it
// goes there as NAME.bmp, for a person to look at; otherwise nothing is written.
void saveShot(HWND window, const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VERDALT_SHOTS", folder, MAX_PATH) == 0) return;
    RECT r{};
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const DWORD rowBytes = static_cast<DWORD>((width * 3 + 3) & ~3);
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + imageBytes),
                          0, 0, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))};
    const std::wstring path = std::wstring(folder) + L"\\" + name + L".bmp";
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, &file, sizeof(file), &written, nullptr);
        WriteFile(out, &info.bmiHeader, sizeof(info.bmiHeader), &written, nullptr);
        WriteFile(out, bits, imageBytes, &written, nullptr);
        CloseHandle(out);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

class ContentWindowTest : public EditorFixture {
protected:
    // Draws a caption button as its window does and measures its text against its fill:
    // the best contrast of any pixel inside the frame.
    static double captionContrast(HWND button) {
        RECT r{};
        GetClientRect(button, &r);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        DRAWITEMSTRUCT draw{ODT_BUTTON, 0, 0, ODA_DRAWENTIRE, 0, button, dc, r, 0};
        SendMessageW(contentPane.window, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
        const double fill = luminance(GetPixel(dc, 2, r.bottom - 2));
        double best = 1;
        for (int y = 2; y < r.bottom - 1; ++y) {
            for (int x = 3; x < r.right - 2; ++x) {
                const double l = luminance(GetPixel(dc, x, y));
                best = std::max(best, luminanceContrast(l, fill));
            }
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return best;
    }
};

TEST_F(ContentWindowTest, F3OnADeepElementShowsItsSideAtTheElementWithItsNameSelected) {
    load(leftTreeView, deepDocument(), L"left.xml");
    load(rightTreeView, "<root><other/></root>", L"right.xml");
    XMLTreeItem* deep = elementNamed(leftTreeView, L"deep");
    ASSERT_NE(deep, nullptr);
    ASSERT_EQ(deep->line, 31);
    openAt(deep);

    for (HWND control : {contentPane.window, contentPane.splitter, contentPane.saveButton, contentPane.saveAsButton,
                         contentPane.synchronizeLabel, contentPane.editorBox, contentPane.treeViewBox,
                         contentPane.closeButton, contentPane.tooltip, leftTreeView.editor, rightTreeView.editor,
                         leftTreeView.pathButton, rightTreeView.pathButton})
        EXPECT_TRUE(IsWindow(control));
    EXPECT_EQ(contentShare, 50);
    EXPECT_EQ(currentEditorPanel, &leftTreeView);
    EXPECT_TRUE(visible(leftTreeView.editor));
    EXPECT_FALSE(visible(rightTreeView.editor));
    EXPECT_EQ(SendMessageW(contentPane.editorBox, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(contentPane.treeViewBox, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(contentPane.saveButton));

    HWND editor = leftTreeView.editor;
    EXPECT_EQ(firstVisibleLine(editor), deep->line - 1);
    const CHARRANGE name = selection(editor);
    const std::wstring all = text(editor);
    EXPECT_EQ(all.substr(name.cpMin, name.cpMax - name.cpMin), L"deep");
    EXPECT_EQ(SendMessageW(editor, EM_EXLINEFROMCHAR, 0, name.cpMin), deep->line);
    wchar_t caption[64] = {};
    GetWindowTextW(leftTreeView.pathButton, caption, 64);
    EXPECT_STREQ(caption, L"left.xml");
    // The editor holds the file as it stands, a line break counting one position.
    EXPECT_EQ(all.substr(0, 28), L"<?xml version=\"1.0\"?>\r<root>");
}

// The element at index n among the root's children.
XMLTreeItem* nthItem(const XMLTreeView& panel, int n) {
    HTREEITEM item = ElementStore::child(panel.tree, rootElement(panel)->treeItem);
    for (int i = 0; i < n && item != nullptr; ++i)
        item = ElementStore::next(panel.tree, item);
    return item == nullptr ? nullptr : XMLTreeItem::fromHandle(panel.tree, item);
}

bool rowInView(HWND tree) {
    RECT row{};
    RECT client{};
    GetClientRect(tree, &client);
    return ElementStore::itemRect(tree, ElementStore::selected(tree), false, &row) && row.top >= 0 &&
           row.bottom <= client.bottom;
}

// F3 halves the trees' height: an element selected near the foot of a tree stays in
// view in both, and once the window closes the trees are drawn whole again.
TEST_F(ContentWindowTest, F3KeepsEachTreesSelectedElementInView) {
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    std::string xml = "<root>\n";
    for (int i = 0; i < 300; ++i)
        xml += "  <item n=\"" + std::to_string(i) + "\">text " + std::to_string(i) + "</item>\n";
    xml += "</root>\n";
    load(leftTreeView, xml, L"left.xml");
    load(rightTreeView, xml, L"right.xml");
    for (int n : {60, 200, 299}) {
        SCOPED_TRACE(n);
        XMLTreeItem* left = nthItem(leftTreeView, n);
        XMLTreeItem* right = nthItem(rightTreeView, n);
        ASSERT_NE(left, nullptr);
        ASSERT_NE(right, nullptr);
        // Each selection scrolls its tree only as far as it must: to the foot of the tree.
        ElementStore::select(rightTreeView.tree, right->treeItem);
        ElementStore::select(leftTreeView.tree, left->treeItem);
        pump();
        ASSERT_TRUE(rowInView(leftTreeView.tree));
        ASSERT_TRUE(rowInView(rightTreeView.tree));
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);
        pump();
        ASSERT_NE(contentPane.window, nullptr);
        EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::selected(leftTreeView.tree)), left);
        EXPECT_TRUE(rowInView(leftTreeView.tree));
        EXPECT_TRUE(rowInView(rightTreeView.tree));
        // Coming into view vertically does not scroll the root's name out sideways.
        EXPECT_EQ(GetScrollPos(leftTreeView.tree, SB_HORZ), 0);
        EXPECT_EQ(GetScrollPos(rightTreeView.tree, SB_HORZ), 0);
        if (n == 200) saveShot(mainWindow, L"f3-open");
        click(contentPane.closeButton);
        ASSERT_EQ(contentPane.window, nullptr);
        UpdateWindow(mainWindow);
        pump();
        if (n == 200) saveShot(mainWindow, L"f3-closed");
    }
}

TEST_F(ContentWindowTest, ACaptionClickShowsTheOtherDocumentAndReopeningLoadsAgain) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    load(rightTreeView, "<top>\n<y/>\n</top>", L"right.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    click(rightTreeView.pathButton);
    EXPECT_EQ(currentEditorPanel, &rightTreeView);
    EXPECT_TRUE(visible(rightTreeView.editor));
    EXPECT_FALSE(visible(leftTreeView.editor));
    EXPECT_EQ(text(rightTreeView.editor), L"<top>\r<y/>\r</top>");

    click(contentPane.closeButton);
    EXPECT_EQ(contentPane.window, nullptr);
    EXPECT_EQ(leftTreeView.editor, nullptr);
    EXPECT_EQ(contentShare, 100);
    openAt(elementNamed(rightTreeView, L"y"));
    ASSERT_NE(rightTreeView.editor, nullptr);
    EXPECT_EQ(text(leftTreeView.editor), L"<root><x/></root>");
    EXPECT_EQ(currentEditorPanel, &rightTreeView);
}

TEST_F(ContentWindowTest, EditingMarksTheCaptionAndEnablesSave) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    load(rightTreeView, "<root><x/></root>", L"right.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    select(leftTreeView.editor, 6, 6);
    // A paste has no key release: the change alone marks the text.
    SendMessageW(leftTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<y/>"));
    pump();
    EXPECT_EQ(leftTreeView.editorModified, 1);
    EXPECT_TRUE(IsWindowEnabled(contentPane.saveButton));
}

TEST_F(ContentWindowTest, EveryCaptionIsReadableShownOrNotModifiedOrNot) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    load(rightTreeView, "<root><x/></root>", L"right.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    for (bool modified : {false, true}) {
        if (modified) {
            for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
                select(panel->editor, 6, 6);
                SendMessageW(panel->editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<y/>"));
                pump();
                ASSERT_EQ(panel->editorModified, 1);
            }
        }
        for (XMLTreeView* shown : {&rightTreeView, &leftTreeView}) {
            click(shown->pathButton);
            ASSERT_EQ(currentEditorPanel, shown);
            for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
                SCOPED_TRACE(std::string(panel == &leftTreeView ? "left" : "right") +
                             (panel == shown ? " shown" : " hidden") + (modified ? " modified" : ""));
                EXPECT_GE(captionContrast(panel->pathButton), 4.5);
            }
        }
    }
}

TEST_F(ContentWindowTest, AWindowThatCannotBeMadeWholeLeavesNothingOpen) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    // Without its splitter's class the window cannot be made whole.
    ASSERT_TRUE(UnregisterClassW(L"ContentSplitter", moduleInstance));
    openAt(elementNamed(leftTreeView, L"x"));
    EXPECT_EQ(contentPane.window, nullptr);
    EXPECT_EQ(FindWindowExW(mainWindow, nullptr, L"XMLContent", nullptr), nullptr);
    EXPECT_EQ(leftTreeView.editor, nullptr);
    EXPECT_EQ(contentShare, 100);
    ASSERT_NE(registerChildClass(splitterWndProc, L"ContentSplitter"), 0);
    openAt(elementNamed(leftTreeView, L"x"));
    EXPECT_NE(contentPane.splitter, nullptr);
    EXPECT_NE(leftTreeView.editor, nullptr);
    EXPECT_EQ(contentShare, 50);
}

TEST_F(ContentWindowTest, AColouringAskedForAnEditorThatIsGoneDoesNothing) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    HWND editor = leftTreeView.editor;
    PostMessageW(contentPane.window, kColourLinesMessage, 0, reinterpret_cast<LPARAM>(editor));
    click(contentPane.closeButton);
    EXPECT_EQ(panelFromEditor(editor), nullptr);
    openAt(elementNamed(leftTreeView, L"x"));
    SendMessageW(contentPane.window, kColourLinesMessage, 0, reinterpret_cast<LPARAM>(editor));
    pump();
    EXPECT_EQ(currentEditorPanel, &leftTreeView);
}

std::wstring firstVisibleText(HWND editor) {
    wchar_t line[256] = {};
    line[0] = static_cast<wchar_t>(std::size(line) - 1);
    const LRESULT units = SendMessageW(editor, EM_GETLINE, SendMessageW(editor, EM_GETFIRSTVISIBLELINE, 0, 0),
                                       reinterpret_cast<LPARAM>(line));
    return std::wstring(line, static_cast<size_t>(units));
}

// Wine's rich edit takes minutes to empty a large text: each load makes a new editor.
TEST_F(ContentWindowTest, EachLoadMakesTheEditorAnew) {
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    load(rightTreeView, "<top><y/></top>", L"right.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    struct Case {
        const char* what;
        std::function<void()> act;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"another document", [this] { load(leftTreeView, "<other><z/></other>", L"other.xml"); },
         L"<other><z/></other>"},
        {"the same document again", [this] { load(leftTreeView, "<root><x/></root>", L"left.xml"); },
         L"<root><x/></root>"},
        {"Reload",
         [] {
             SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
             pump();
         },
         L"<root><x/></root>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HWND before = leftTreeView.editor;
        HWND caption = leftTreeView.pathButton;
        c.act();
        pump();
        EXPECT_FALSE(IsWindow(before));
        ASSERT_TRUE(IsWindow(leftTreeView.editor));
        EXPECT_EQ(text(leftTreeView.editor), c.text);
        EXPECT_EQ(leftTreeView.pathButton, caption);
        EXPECT_EQ(GetParent(leftTreeView.editor), contentPane.window);
        EXPECT_EQ(SendMessageW(leftTreeView.editor, EM_GETEVENTMASK, 0, 0),
                  SendMessageW(rightTreeView.editor, EM_GETEVENTMASK, 0, 0));
        // The comparison after the load may show the partner's side: one editor is shown.
        ASSERT_NE(currentEditorPanel, nullptr);
        EXPECT_TRUE(visible(currentEditorPanel->editor));
        EXPECT_FALSE(visible((currentEditorPanel == &leftTreeView ? rightTreeView : leftTreeView).editor));
    }
}

// A large text goes into its editor in pieces, each one at the end of the last: the
// editor still stands at the text's start, as shown by a caption click.
TEST_F(ContentWindowTest, AnEditorOfALargeTextStandsAtItsStart) {
    std::string xml = "<root>\n";
    for (int i = 0; i < 6000; ++i)
        xml += "<item n=\"" + std::to_string(i) + "\">some text of the item</item>\n";
    load(leftTreeView, "<root><x/></root>", L"left.xml");
    load(rightTreeView, xml + "</root>\n", L"right.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    ASSERT_GT(text(rightTreeView.editor).size(), 200000u);
    EXPECT_EQ(selection(rightTreeView.editor).cpMax, 0);
    click(rightTreeView.pathButton);
    ASSERT_EQ(currentEditorPanel, &rightTreeView);
    EXPECT_EQ(firstVisibleLine(rightTreeView.editor), 0);
}

// After each way of loading the shown side again, the screen shows that side's text:
// what the keys edit. The other side's editor, hidden, stays hidden.
TEST_F(ContentWindowTest, AfterEachReloadTheScreenShowsTheReloadedText) {
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    const std::string leftXml = "<left>\n<a>left text</a>\n</left>\n";
    const std::string rightXml = "<right>\n<a id=\"1\">right text</a>\n</right>\n";
    struct Case {
        const char* what;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"Save",
         [] {
             select(rightTreeView.editor, 0, 0);
             SendMessageW(rightTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<!--x-->"));
             pump();
             click(contentPane.saveButton);
         }},
        {"Reload",
         [] {
             SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
             pump();
         }},
        {"caption switch",
         [] {
             click(leftTreeView.pathButton);
             click(rightTreeView.pathButton);
         }},
        {"Options OK",
         [] {
             BoxScript boxes;
             boxes.expectCaption(L"Options were changed", IDYES);
             ModalScript dialogs;
             dialogs.expect(IDD_OPTIONS, [](HWND dialog) {
                 // Ignore Namespaces, on the second page: an option that takes a reload.
                 SendDlgItemMessageW(dialog, IDC_OPT_PAGES, LB_SETCURSEL, 1, 0);
                 SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_PAGES, LBN_SELCHANGE),
                              reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_OPT_PAGES)));
                 clickButton(dialog, 1089);
                 clickButton(dialog, IDOK);
             });
             SendMessageW(mainWindow, WM_COMMAND, IDM_OPTIONS, 0);
             pump();
         }},
        {"Key Attribute",
         [] {
             ElementStore::select(rightTreeView.tree, elementNamed(rightTreeView, L"a")->treeItem);
             pump();
             BoxScript boxes;
             boxes.expectCaption(L"Options were changed", IDYES);
             ModalScript dialogs;
             dialogs.expect(IDD_KEY_ATTRIBUTE, [](HWND dialog) {
                 clickButton(dialog, IDC_KEY_ATTRIBUTE_BOX);
                 SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
                 clickButton(dialog, IDOK);
             });
             SendMessageW(mainWindow, WM_COMMAND, IDM_KEY_ATTRIBUTE, 0);
             pump();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(leftTreeView, leftXml, L"left.xml");
        load(rightTreeView, rightXml, L"right.xml");
        if (contentPane.window == nullptr) openAt(elementNamed(leftTreeView, L"a"));
        click(rightTreeView.pathButton);
        ASSERT_EQ(currentEditorPanel, &rightTreeView);
        c.act();
        pump();
        ASSERT_EQ(currentEditorPanel, &rightTreeView);
        HWND editor = rightTreeView.editor;
        EXPECT_TRUE(IsWindowVisible(editor));
        EXPECT_FALSE(visible(leftTreeView.editor));
        EXPECT_NE(firstVisibleText(editor).find(L"<right>"), std::wstring::npos);
    }
}

// What the status bar's progress bar was told while the window opened, and whether
// the cursor was the wait cursor each time.
struct ProgressSeen {
    std::vector<int> positions;
    bool waitCursorThroughout = true;
    int paintsAfterAPosition = 0;  // paints of the bar, each after a new position
    bool painting = false;         // a new position waits for its paint
    bool shot = false;
};
ProgressSeen progressSeen;
WNDPROC progressProcedure = nullptr;

LRESULT CALLBACK recordProgress(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PBM_SETPOS && wParam != 0) {
        progressSeen.positions.push_back(static_cast<int>(wParam));
        if (GetCursor() != LoadCursorW(nullptr, IDC_WAIT)) progressSeen.waitCursorThroughout = false;
        progressSeen.painting = true;
    }
    const LRESULT result = CallWindowProcW(progressProcedure, window, message, wParam, lParam);
    if (message == WM_PAINT && progressSeen.painting) {
        progressSeen.painting = false;
        ++progressSeen.paintsAfterAPosition;
        // Half way, the screen as the user sees it while the editor takes in the text.
        if (!progressSeen.shot && !progressSeen.positions.empty() && progressSeen.positions.back() >= 50) {
            progressSeen.shot = true;
            saveShot(mainWindow, L"editor-opening");
        }
    }
    return result;
}

TEST_F(ContentWindowTest, OpeningOnALargeDocumentShowsTheLoadsProgress) {
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    std::string xml = "<root>\n";
    // Several of the pieces the editor takes the text in.
    for (int i = 0; i < 6000; ++i)
        xml += "<item n=\"" + std::to_string(i) + "\">some text of the item</item>\n";
    load(leftTreeView, xml + "</root>\n", L"large.xml");
    RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    progressSeen = ProgressSeen{};
    progressProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(progressBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordProgress)));
    openAt(elementNamed(leftTreeView, L"root"));
    SetWindowLongPtrW(progressBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(progressProcedure));

    ASSERT_GE(progressSeen.positions.size(), 5u);
    for (size_t i = 1; i < progressSeen.positions.size(); ++i)
        EXPECT_GT(progressSeen.positions[i], progressSeen.positions[i - 1]);
    EXPECT_EQ(progressSeen.positions.back(), 100);
    // Each step is on the screen before the next: none waits for the end of the load.
    EXPECT_EQ(progressSeen.paintsAfterAPosition, static_cast<int>(progressSeen.positions.size()));
    EXPECT_TRUE(progressSeen.waitCursorThroughout);
    EXPECT_FALSE(visible(progressBar));
    EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
}

}  // namespace
