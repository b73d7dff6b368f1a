#include "ui/editor/EditorSync.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/EditorFixture.h"
#include "ui/Layout.h"
#include "ui/Toolbars.h"

namespace {

// Line 0 the root, then element e<i> on line i.
std::string numbered(int count, const std::string& prefix = "e") {
    std::string xml = "<root>\n";
    for (int i = 1; i <= count; ++i)
        xml += "<" + prefix + std::to_string(i) + ">t" + std::to_string(i) + "</" + prefix + std::to_string(i) + ">\n";
    return xml + "</root>\n";
}

class EditorSyncTest : public EditorFixture {
protected:
    static XMLTreeItem* selectedIn(const XMLTreeView& panel) {
        return ElementStore::record(panel.tree, ElementStore::selected(panel.tree));
    }

    static std::wstring selectedText(HWND editor) {
        const CHARRANGE range = selection(editor);
        return text(editor).substr(range.cpMin, range.cpMax - range.cpMin);
    }

    static LONG positionOf(HWND editor, const std::wstring& what) { return static_cast<LONG>(text(editor).find(what)); }

    static bool isLive(const XMLTreeItem* record) {
        for (const XMLTreeView* panel : {&leftTreeView, &rightTreeView})
            for (XMLTreeItem* r : recordsInOrder(*panel))
                if (r == record) return true;
        return false;
    }
};

TEST_F(EditorSyncTest, TheEditorFollowsTheTreeOnlyWhenTheElementIsOutOfItsFirstLines) {
    load(leftTreeView, numbered(120), L"left.xml");
    openAt(elementNamed(leftTreeView, L"root"));
    HWND editor = leftTreeView.editor;
    struct Case {
        const wchar_t* element;
        int firstVisible;
    };
    // Three lines below the first visible one: no scroll; ten below: to the second line.
    const Case cases[] = {{L"e3", 0}, {L"e10", 9}, {L"e12", 9}, {L"e60", 59}, {L"e20", 19}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.element));
        XMLTreeItem* element = elementNamed(leftTreeView, c.element);
        ElementStore::select(leftTreeView.tree, element->treeItem);
        pump();
        EXPECT_EQ(firstVisibleLine(editor), c.firstVisible);
        EXPECT_EQ(selectedText(editor), c.element);
        // The program's own selection does not move the tree back.
        EXPECT_EQ(selectedIn(leftTreeView), element);
    }
}

TEST_F(EditorSyncTest, ASelectionInTheEditorSelectsItsElementAndACaretDoesNot) {
    load(leftTreeView,
         "<?xml version=\"1.0\"?>\n<!-- before the root -->\n\n<root>\n<a><b>xx</b><c>yy</c></a>\n<d>line one\n"
         "line two</d>\n</root>\n",
         L"left.xml");
    openAt(elementNamed(leftTreeView, L"root"));
    HWND editor = leftTreeView.editor;
    struct Case {
        const wchar_t* what;
        bool selectText;
        const wchar_t* element;  // selected in the tree afterwards
    };
    const Case cases[] = {
        {L"yy", true, L"c"},                              // several start tags on the line: the one clicked
        {L"xx", true, L"b"},      {L"<a>", false, L"b"},  // a caret alone moves nothing
        {L"two", true, L"d"},                             // a line inside a text that no element starts on
        {L"before", true, L"d"},                          // text before the root selects nothing
        {L"<root>", true, L"root"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.what));
        const LONG at = positionOf(editor, c.what);
        select(editor, at, c.selectText ? at + 2 : at);
        XMLTreeItem* selected = selectedIn(leftTreeView);
        ASSERT_NE(selected, nullptr);
        EXPECT_EQ(std::wstring(selected->nameText()), c.element);
    }
}

TEST_F(EditorSyncTest, ThePartnerMovesTheHiddenEditor) {
    load(leftTreeView, numbered(80), L"left.xml");
    load(rightTreeView, numbered(80), L"right.xml");
    ASSERT_EQ(filesCompared, 1);
    openAt(elementNamed(leftTreeView, L"root"));
    XMLTreeItem* left = elementNamed(leftTreeView, L"e50");
    SetFocus(leftTreeView.tree);
    ElementStore::select(leftTreeView.tree, left->treeItem);
    pump();
    EXPECT_EQ(selectedIn(rightTreeView), left->partner);
    EXPECT_EQ(currentEditorPanel, &leftTreeView);
    EXPECT_FALSE(visible(rightTreeView.editor));
    EXPECT_EQ(firstVisibleLine(rightTreeView.editor), 49);
    EXPECT_EQ(selectedText(rightTreeView.editor), L"e50");
}

TEST_F(EditorSyncTest, SelectingAfterRecordsWereFreedReadsOnlyLiveRecords) {
    load(leftTreeView, numbered(40), L"left.xml");
    openAt(elementNamed(leftTreeView, L"e5"));
    HWND editor = leftTreeView.editor;

    // A reload: the editor is loaded again with the new records.
    load(leftTreeView, numbered(40, "f"), L"left2.xml");
    editor = leftTreeView.editor;
    LONG at = positionOf(editor, L"t30");
    select(editor, at, at + 2);
    EXPECT_EQ(std::wstring(selectedIn(leftTreeView)->nameText()), L"f30");

    // A view that removes elements: the index is rebuilt from the records that are left.
    load(rightTreeView, numbered(40, "f"), L"right.xml");
    OptionSet::ViewMode = IDM_VIEW_DIFFERENCES;
    SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
    pump();
    at = positionOf(editor, L"t20");
    select(editor, at, at + 2);
    XMLTreeItem* selected = selectedIn(leftTreeView);
    if (selected != nullptr) {
        EXPECT_TRUE(isLive(selected));
    }
    OptionSet::ViewMode = IDM_VIEW_NORMAL;

    // A reload that fails leaves the panel empty: the editor's text selects nothing.
    {
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error", IDNO).expectCaption(L"XML Parser Fatal Error");
        load(leftTreeView, "<root><broken></root>", L"broken.xml");
    }
    at = positionOf(editor, L"t10");
    select(editor, at, at + 2);
    EXPECT_EQ(ElementStore::selected(leftTreeView.tree), nullptr);
    PostMessageW(contentPane.window, kColourLinesMessage, 0, reinterpret_cast<LPARAM>(editor));
    pump();
}

// Taller than 65,535 pixels: the editor's 16-bit scroll answers are scaled down.
TEST_F(EditorSyncTest, F3OnALargeDocumentPutsTheElementOnTheSecondVisibleLine) {
    std::string xml = "<root>\n";
    for (int i = 1; i < 40000; ++i)
        xml += "<r" + std::to_string(i) + " n=\"" + std::to_string(i) + "\">text</r" + std::to_string(i) + ">\n";
    load(leftTreeView, xml + "</root>\n", L"large.xml");
    struct Case {
        const wchar_t* element;
        int line;
    };
    const Case cases[] = {{L"r1", 1}, {L"r20000", 20000}, {L"r39950", 39950}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.element));
        XMLTreeItem* element = elementNamed(leftTreeView, c.element);
        ASSERT_NE(element, nullptr);
        ASSERT_EQ(element->line, c.line);
        openAt(element);
        HWND editor = leftTreeView.editor;
        EXPECT_EQ(firstVisibleLine(editor), std::max(c.line - 1, 0));
        EXPECT_EQ(selectedText(editor), c.element);
        // The selected name is on screen, a line below the top.
        const CHARRANGE name = selection(editor);
        POINTL at{};
        SendMessageW(editor, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), name.cpMin);
        POINTL top{};
        SendMessageW(editor, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&top),
                     SendMessageW(editor, EM_LINEINDEX, firstVisibleLine(editor), 0));
        RECT client{};
        GetClientRect(editor, &client);
        EXPECT_GT(at.y, top.y);
        EXPECT_LT(at.y, client.bottom);
        // F3 again closes the window.
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);
        pump();
        ASSERT_EQ(contentPane.window, nullptr);
    }
}

}  // namespace
