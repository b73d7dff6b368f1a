#include "ui/editor/XMLHighlighter.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/EditorFixture.h"
#include "ui/Layout.h"
#include "ui/Toolbars.h"
#include "ui/editor/ColouringCache.h"

namespace {

struct Look {
    COLORREF colour;
    bool bold;
    bool italic;
    bool pink;  // the difference background
};

class EditorColouringTest : public EditorFixture {
protected:
    // The format of the character at the n-th occurrence of what in the editor's text.
    static Look lookAt(HWND editor, const std::wstring& what, int occurrence = 1, int offset = 0) {
        const std::wstring all = text(editor);
        size_t at = std::wstring::npos;
        for (int k = 0; k < occurrence; ++k)
            at = all.find(what, at == std::wstring::npos ? 0 : at + 1);
        EXPECT_NE(at, std::wstring::npos) << narrow(what);
        const LONG p = static_cast<LONG>(at) + offset;
        select(editor, p, p + 1);
        CHARFORMAT2W format{};
        format.cbSize = sizeof(format);
        SendMessageW(editor, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        const bool pink = !(format.dwEffects & CFE_AUTOBACKCOLOR) && format.crBackColor == kDifferenceBackground;
        return Look{format.crTextColor, (format.dwEffects & CFE_BOLD) != 0, (format.dwEffects & CFE_ITALIC) != 0, pink};
    }

    static void expectLook(HWND editor, const std::wstring& what, int occurrence, int offset, const Look& want) {
        SCOPED_TRACE(narrow(what) + " +" + std::to_string(offset));
        const Look got = lookAt(editor, what, occurrence, offset);
        EXPECT_EQ(got.colour, want.colour);
        EXPECT_EQ(got.bold, want.bold);
        EXPECT_EQ(got.italic, want.italic);
        EXPECT_EQ(got.pink, want.pink);
    }
};

const Look kMarkup{kMarkupColour, false, false, false};
const Look kValue{kValueColour, true, false, false};
const Look kContent{kContentColour, false, false, false};
const Look kComment{kCommentColour, false, true, false};
const Look kInstruction{kInstructionColour, true, false, false};
const Look kReference{kReferenceColour, true, true, false};
const Look kCDataMarker{kCDataMarkerColour, true, false, false};
const Look kDifference{kDifferenceColour, false, false, true};

TEST_F(EditorColouringTest, EachPartOfTheSyntaxHasItsColourAndEffects) {
    load(leftTreeView,
         "<?xml version=\"1.0\"?>\n<!-- note -->\n<root a=\"val\" b='sq'>\n  <?pi data?>\n"
         "  <t>xx &amp; yy &#65; zz</t>\n  <c><![CDATA[raw <no>]]></c>\n</root>\n",
         L"left.xml");
    openAt(elementNamed(leftTreeView, L"t"));
    HWND editor = leftTreeView.editor;
    struct Case {
        const wchar_t* what;
        int offset;
        Look look;
    };
    const Case cases[] = {
        {L"<root", 0, kMarkup},      {L"<root", 1, kMarkup},    {L"val", 1, kValue},
        {L"sq", 0, kMarkup},         {L"note", 0, kComment},    {L"pi data", 0, kInstruction},
        {L"xx", 0, kContent},        {L"&amp;", 0, kReference}, {L"&amp;", 4, kReference},
        {L"yy", 0, kContent},        {L"&#65;", 2, kReference}, {L"zz", 1, kContent},
        {L"CDATA", 0, kCDataMarker}, {L"raw", 0, kContent},     {L"<no>", 1, kContent},
        {L"</c>", 1, kMarkup},
    };
    for (const Case& c : cases)
        expectLook(editor, c.what, 1, c.offset, c.look);
    EXPECT_EQ(leftTreeView.editorModified, 0);
    EXPECT_EQ(SendMessageW(editor, EM_GETMODIFY, 0, 0), 0);
}

TEST_F(EditorColouringTest, DifferencesArePinkOnlyWhileAComparisonFindsThem) {
    SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
    load(leftTreeView, "<root>\n<k id=\"1\">abc &amp; def</k>\n<same/>\n</root>\n", L"left.xml");
    load(rightTreeView,
         "<root>\n<k id=\"2\">abc &amp; dxf</k>\n<same/>\n<added n=\"1\"><child>t</child></added>\n"
         "<link href=\"http://a/\">after</link>\n</root>\n",
         L"right.xml");
    openAt(elementNamed(rightTreeView, L"added"));
    HWND right = rightTreeView.editor;
    expectLook(right, L"<added", 1, 1, kMarkup);
    expectLook(right, L"2", 1, 0, kValue);

    SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
    pump();
    // The element without partner, whole, with its children.
    expectLook(right, L"<added", 1, 0, kDifference);
    expectLook(right, L"child", 1, 0, kDifference);
    expectLook(right, L">t<", 1, 1, kDifference);
    expectLook(right, L"</added>", 1, 7, kDifference);
    // A value's last '/' ends no empty element: the text after the tag is the element's own.
    expectLook(right, L"after", 1, 0, kDifference);
    // In the changed element only the differing characters.
    expectLook(right, L"\"2\"", 1, 1, Look{kDifferenceColour, true, false, true});
    expectLook(right, L"id=", 1, 0, kMarkup);
    expectLook(right, L"dxf", 1, 1, kDifference);
    expectLook(right, L"abc", 1, 0, kContent);
    expectLook(right, L"<same", 1, 1, kMarkup);

    click(leftTreeView.pathButton);
    HWND left = leftTreeView.editor;
    expectLook(left, L"def", 1, 1, kDifference);
    expectLook(left, L"abc", 1, 1, kContent);

    // The same file on both sides: a new comparison finds nothing, and no pink stays.
    load(rightTreeView, "<root>\n<k id=\"1\">abc &amp; def</k>\n<same/>\n</root>\n", L"right2.xml");
    SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
    pump();
    click(leftTreeView.pathButton);
    expectLook(left, L"def", 1, 1, kContent);
    expectLook(left, L"1", 1, 0, kValue);
}

TEST_F(EditorColouringTest, ScrollingBackOverColouredLinesMakesNoFormatCall) {
    std::string xml = "<root>\n";
    for (int i = 0; i < 300; ++i)
        xml += "  <e a=\"" + std::to_string(i) + "\">t</e>\n";
    xml += "</root>\n";
    load(leftTreeView, xml, L"left.xml");
    openAt(elementNamed(leftTreeView, L"root"));
    HWND editor = leftTreeView.editor;
    auto scrollTo = [&](int line) {
        SendMessageW(editor, EM_LINESCROLL, 0, line - firstVisibleLine(editor));
        leftTreeView.highlighter.colouringState = kColouringWanted;
        SendMessageW(contentPane.window, kColourLinesMessage, 0, reinterpret_cast<LPARAM>(editor));
    };
    scrollTo(150);
    EXPECT_EQ(firstVisibleLine(editor), 150);
    expectLook(editor, L"\"160\"", 1, 1, kValue);
    const int64_t before = colouringStats.formatCalls;
    scrollTo(0);
    scrollTo(150);
    EXPECT_EQ(colouringStats.formatCalls, before);
    EXPECT_EQ(firstVisibleLine(editor), 150);
}

TEST(ColouringCacheTest, AWantedRangeColouredBeforeNeedsNoColouring) {
    ColouringCache cache;
    cache.resize(300);
    int32_t os = 0;
    int32_t oe = 0;
    EXPECT_TRUE(cache.clip(10, 50, 100, 900, &os, &oe));
    EXPECT_FALSE(cache.clip(10, 50, 100, 900, &os, &oe));
    // Lines typed since the load: the cache grows instead of being read past its end.
    EXPECT_TRUE(cache.clip(400, 440, 8000, 9000, &os, &oe));
    cache.reset();
    EXPECT_TRUE(cache.clip(10, 50, 100, 900, &os, &oe));
}

// A reference kept as written (its DTD left out) stands in the element's text as in the
// editor: the characters after it line up, and only the differing ones are pink.
TEST_F(EditorColouringTest, AReferenceKeptWithoutItsDTDLinesUpWithTheText) {
    OptionSet::SchemaValidation = 0;
    OptionSet::ShowErrorMessages = 0;
    SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
    const std::string doctype = "<!DOCTYPE root SYSTEM \"missing.dtd\">\n";
    load(leftTreeView, doctype + "<root>\n<k>abc&nbsp;xyz &copy; def</k>\n</root>\n", L"left.xml");
    load(rightTreeView, doctype + "<root>\n<k>abc&nbsp;xyz &copy; dxf</k>\n</root>\n", L"right.xml");
    SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
    pump();
    openAt(elementNamed(leftTreeView, L"k"));
    HWND left = leftTreeView.editor;
    expectLook(left, L"abc", 1, 2, kContent);
    expectLook(left, L"&nbsp;", 1, 0, kReference);
    expectLook(left, L"xyz", 1, 0, kContent);
    expectLook(left, L"xyz", 1, 2, kContent);
    expectLook(left, L"&copy;", 1, 1, kReference);
    expectLook(left, L"def", 1, 1, kDifference);
}

// A difference inside a reference kept as written is marked in the element's text as in
// an attribute, in both editors: the differing name is pink, the words around it are not.
TEST_F(EditorColouringTest, ADifferenceInsideAKeptReferenceIsMarkedInBothEditors) {
    OptionSet::SchemaValidation = 0;
    OptionSet::ShowErrorMessages = 0;
    SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
    const std::string doctype = "<!DOCTYPE root SYSTEM \"missing.dtd\">\n";
    struct Case {
        int highlightChars;
        const char* left;
        const char* right;
        const wchar_t* leftName;   // the differing name as the left editor shows it
        const wchar_t* rightName;  // and the right one
    } cases[] = {
        {0, "<k>abc &nbsp; def</k>", "<k>abc &copy; def</k>", L"nbsp", L"copy"},
        {1, "<k>abc &nbsp; def</k>", "<k>abc &copy; def</k>", L"nbsp", L"copy"},
        {0, "<k>abc x&nbsp;y def</k>", "<k>abc x&copy;y def</k>", L"nbsp", L"copy"},
        {1, "<k>abc&nbsp;def</k>", "<k>abc&ensp;def</k>", L"nbsp", L"ensp"},
        // As in an attribute.
        {0, "<k a=\"x&nbsp;y\">abc def</k>", "<k a=\"x&copy;y\">abc def</k>", L"nbsp", L"copy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.left) + " against " + c.right + (c.highlightChars ? ", by characters" : ""));
        OptionSet::HighlightChars = c.highlightChars;
        load(leftTreeView, doctype + "<root>\n" + c.left + "\n</root>\n", L"left.xml");
        load(rightTreeView, doctype + "<root>\n" + c.right + "\n</root>\n", L"right.xml");
        SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
        pump();
        XMLTreeItem* leftElement = elementNamed(leftTreeView, L"k");
        ASSERT_NE(leftElement, nullptr);
        ASSERT_TRUE(leftElement->textDiffers() || leftElement->attributesDiffer());
        // The right editor first, then the left one by its path button.
        openAt(elementNamed(rightTreeView, L"k"));
        for (XMLTreeView* panel : {&rightTreeView, &leftTreeView}) {
            const wchar_t* name = panel == &leftTreeView ? c.leftName : c.rightName;
            SCOPED_TRACE(narrow(name));
            if (panel == &leftTreeView) click(leftTreeView.pathButton);
            HWND editor = panel->editor;
            const Look first = lookAt(editor, name, 1, 0);
            EXPECT_TRUE(first.pink) << "the name's first letter";
            EXPECT_EQ(first.colour, kDifferenceColour);
            expectLook(editor, L"abc", 1, 0, kContent);
            expectLook(editor, L"def", 1, 2, kContent);
            expectLook(editor, L"</k>", 1, 1, kMarkup);
        }
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);  // closes the element window
        pump();
    }
}

// A paragraph whose inline element stands a word away from its partner's: the element
// window marks where their runs differ, the word before the element's place, and leaves
// the inline element as it is.
TEST_F(EditorColouringTest, ARunMovedAroundAnInlineElementIsMarkedWhereItDiffers) {
    SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
    const struct {
        const char* left;
        const char* right;
        const wchar_t* marked;  // the word marked, in the left editor
        const wchar_t* plain;   // a word left as it is after the inline elements
    } cases[] = {
        {"<p>the <b>module</b> is here</p>", "<p>the is here <b>module</b></p>", L"the", L"here"},
        // After an inline element, where the text goes on.
        {"<p>The <i>x</i> tool applies a <b>module</b> to a page</p>",
         "<p>The <i>x</i> tool applies a to a <b>module</b> page</p>", L"applies a", L"page"},
    };
    for (int highlightChars : {0, 1}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(highlightChars ? "by characters: " : "by words: ") + c.left);
            OptionSet::HighlightChars = highlightChars;
            load(leftTreeView, std::string("<root>\n") + c.left + "\n</root>\n", L"left.xml");
            load(rightTreeView, std::string("<root>\n") + c.right + "\n</root>\n", L"right.xml");
            SendMessageW(mainWindow, WM_COMMAND, IDM_COMPARE_FILES, 0);
            pump();
            XMLTreeItem* paragraph = elementNamed(leftTreeView, L"p");
            ASSERT_NE(paragraph, nullptr);
            ASSERT_TRUE(paragraph->textDiffers());
            openAt(paragraph);
            HWND left = leftTreeView.editor;
            const int last = static_cast<int>(std::wcslen(c.marked)) - 1;
            expectLook(left, L"<p>", 1, 1, kMarkup);
            expectLook(left, c.marked, 1, last, kDifference);
            expectLook(left, L"module", 1, 0, kContent);
            expectLook(left, c.plain, 1, 1, kContent);
            SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);  // closes the element window
            pump();
        }
    }
}

}  // namespace
