#include "ui/editor/ContentWindow.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/EditorFixture.h"
#include "ui/Layout.h"
#include "ui/editor/EditorSync.h"

namespace {

// Forty lines, the deep element d on line 31 (0-based 30).
std::string deepDocument() {
    std::string xml = "<?xml version=\"1.0\"?>\n<root>\n";
    for (int i = 0; i < 28; ++i)
        xml += "  <item n=\"" + std::to_string(i) + "\">text</item>\n";
    xml += "  <a><b><c>\n      <deep id=\"7\">here</deep></c></b></a>\n";
    for (int i = 0; i < 8; ++i)
        xml += "  <tail/>\n";
    xml += "</root>\n";
    return xml;
}

class ContentWindowTest : public EditorFixture {};

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

}  // namespace
