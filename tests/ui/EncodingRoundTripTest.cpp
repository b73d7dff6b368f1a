// Documents in the encodings the parser reads through the system's code pages, with the
// bytes of their characters written out here: each loads, shows in the element window as
// in the tree, saves an edit back in its own bytes, and gives result files that read back.
#include <gtest/gtest.h>

#include <string>

#include "settings/EncodingSpec.h"
#include "tests/ui/EditorFixture.h"

namespace {

struct EncodingCase {
    const wchar_t* declared;
    const char* bytes;  // the characters below in the declared encoding
    const wchar_t* characters;
};

const EncodingCase kEncodings[] = {
    {L"EUC-JP", "\xC5\xEC\xB5\xFE", L"\u6771\u4EAC"},
    {L"Shift_JIS", "\x93\x8C\x8B\x9E", L"\u6771\u4EAC"},
    {L"EUC-KR", "\xB0\xA1\xB3\xAA", L"\uAC00\uB098"},
    {L"Big5", "\xA4\xA4\xA4\xE5", L"\u4E2D\u6587"},
    {L"GB2312", "\xD6\xD0\xCE\xC4", L"\u4E2D\u6587"},
    {L"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4", L"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {L"MacCyrillic", "\x8F\xF0\xE8\xE2\xE5\xF2", L"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {L"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2", L"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {L"ISO-8859-5", "\xBF\xE0\xD8\xD2\xD5\xE2", L"\u041F\u0440\u0438\u0432\u0435\u0442"},
    {L"UTF-16", "\x1F\x04\x40\x04\x38\x04", L"\u041F\u0440\u0438"},
};

bool isUtf16(const EncodingCase& c) {
    return std::wstring(c.declared) == L"UTF-16";
}

// ASCII markup as the encoding writes it.
std::string markup(const std::string& text, const EncodingCase& c) {
    if (!isUtf16(c)) return text;
    std::string wide;
    for (char unit : text) {
        wide += unit;
        wide += '\0';
    }
    return wide;
}

// The document, split where the test types: head, then the characters and the tail.
struct Document {
    std::string head;
    std::string tail;
    std::wstring wideHead;
    std::wstring wideTail;
};

Document documentIn(const EncodingCase& c) {
    const std::string declared = narrow(c.declared);
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"" + declared + "\"?>\n";
    Document d;
    d.head = (isUtf16(c) ? std::string("\xFF\xFE", 2) : "") + markup(declaration + "<root a=\"", c) + c.bytes +
             markup("\">\n<e>", c);
    d.tail = c.bytes + markup("</e>\n</root>\n", c);
    d.wideHead = widen(declaration) + L"<root a=\"" + c.characters + L"\">\n<e>";
    d.wideTail = std::wstring(c.characters) + L"</e>\n</root>\n";
    return d;
}

std::wstring withNewLines(std::wstring text) {
    for (wchar_t& unit : text)
        if (unit == L'\r') unit = L'\n';
    return text;
}

class EncodingRoundTripTest : public EditorFixture {
protected:
    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }
};

TEST_F(EncodingRoundTripTest, EveryEncodingLoadsShowsSavesAndWritesResultsInItsOwnBytes) {
    for (const EncodingCase& c : kEncodings) {
        SCOPED_TRACE(narrow(c.declared));
        const Document d = documentIn(c);
        const std::string bytes = d.head + d.tail;
        const std::wstring path = dir.write(L"doc.xml", bytes);
        {
            BoxScript noBoxes;
            leftTreeView.loadDocument(mainWindow, path.c_str(), 0, 0);
        }
        ASSERT_TRUE(leftTreeView.loaded);
        const XMLTreeItem* e = elementNamed(leftTreeView, L"e");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(std::wstring(e->text, e->textLength), c.characters);

        // The element window shows what the tree shows.
        openAt(elementNamed(leftTreeView, L"root"));
        ASSERT_NE(leftTreeView.editor, nullptr);
        EXPECT_EQ(withNewLines(text(leftTreeView.editor)), d.wideHead + d.wideTail);

        // An edit is saved in the encoding; every other byte stays as it was.
        select(leftTreeView.editor, static_cast<LONG>(d.wideHead.size()), static_cast<LONG>(d.wideHead.size()));
        SendMessageW(leftTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(c.characters));
        pump();
        {
            BoxScript noBoxes;
            click(contentPane.saveButton);
        }
        EXPECT_TRUE(dir.read(L"doc.xml") == d.head + c.bytes + d.tail);
        command(IDM_OPEN_EDITOR);  // closes the window

        // A result file of the edited document is written in its encoding, the characters as
        // they are.
        XMLTreeItem* root = elementNamed(leftTreeView, L"root");
        ASSERT_NE(root, nullptr);
        ElementStore::select(leftTreeView.tree, nullptr);
        ElementStore::select(leftTreeView.tree, root->treeItem);
        ASSERT_EQ(currentElement, root);
        {
            DialogScript dialogs;
            dialogs.answer(dir.file(L"result.xml"));
            BoxScript noBoxes;
            command(IDM_SAVE_ELEMENT);
        }
        const std::string result = dir.read(L"result.xml");
        const std::string declaration = markup("<?xml version=\"1.0\" encoding=\"" + narrow(c.declared) + "\"?>", c);
        EXPECT_EQ(result.find(declaration), isUtf16(c) ? 2u : 0u);
        EXPECT_NE(result.find(c.bytes), std::string::npos);
        EXPECT_EQ(result.find(markup("&#", c)), std::string::npos);
        {
            BoxScript noBoxes;
            ASSERT_EQ(parseIntoPanel(rightTreeView, dir.file(L"result.xml").c_str()), kLoaded);
        }
        const XMLTreeItem* written = elementNamed(rightTreeView, L"e");
        ASSERT_NE(written, nullptr);
        EXPECT_EQ(std::wstring(written->text, written->textLength), std::wstring(c.characters) + c.characters);
    }
}

struct LackedCase {
    const char* declared;
    const char* character;  // as a reference in the document
    const wchar_t* unit;    // what it reads as
    const char* ownBytes;   // the EUC form's own character beside it
    const wchar_t* ownUnit;
    std::string written;  // the character in the result file
};

// A result written under a declaration is in that encoding: a character that only the
// superset whose code page writes it has is a character reference under the EUC form's
// name, and its bytes only under a name of the superset.
TEST_F(EncodingRoundTripTest, ACharacterTheDeclaredEncodingLacksIsWrittenAsAReference) {
    const LackedCase cases[] = {
        {"EUC-KR", "&#xAC02;", L"\uAC02", "\xB0\xA1", L"\uAC00", "&#xAC02;"},
        {"GB2312", "&#x4E02;", L"\u4E02", "\xD6\xD0", L"\u4E2D", "&#x4E02;"},
        {"EUC-JP", "&#x4E02;", L"\u4E02", "\xC5\xEC", L"\u6771", "&#x4E02;"},
        {"KS_C_5601-1987", "&#xAC02;", L"\uAC02", "\xB0\xA1", L"\uAC00", "\x81\x41"},
        {"GBK", "&#x4E02;", L"\u4E02", "\xD6\xD0", L"\u4E2D", "\x81\x40"},
    };
    for (const LackedCase& c : cases) {
        SCOPED_TRACE(c.declared);
        const std::string document = std::string("<?xml version=\"1.0\" encoding=\"") + c.declared + "\"?>\n<root><e>" +
                                     c.character + c.ownBytes + "</e></root>\n";
        const std::wstring path = dir.write(L"lacked.xml", document);
        {
            BoxScript noBoxes;
            leftTreeView.loadDocument(mainWindow, path.c_str(), 0, 0);
        }
        ASSERT_TRUE(leftTreeView.loaded);
        XMLTreeItem* root = elementNamed(leftTreeView, L"root");
        ASSERT_NE(root, nullptr);
        ElementStore::select(leftTreeView.tree, nullptr);
        ElementStore::select(leftTreeView.tree, root->treeItem);
        {
            DialogScript dialogs;
            dialogs.answer(dir.file(L"lacked-result.xml"));
            BoxScript noBoxes;
            command(IDM_SAVE_ELEMENT);
        }
        const std::string result = dir.read(L"lacked-result.xml");
        EXPECT_EQ(result.find(std::string("encoding=\"") + c.declared + "\""), 20u) << result;
        EXPECT_NE(result.find(c.written + c.ownBytes), std::string::npos) << result;
        {
            BoxScript noBoxes;
            ASSERT_EQ(parseIntoPanel(rightTreeView, dir.file(L"lacked-result.xml").c_str()), kLoaded);
        }
        const XMLTreeItem* e = elementNamed(rightTreeView, L"e");
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(std::wstring(e->text, e->textLength), std::wstring(c.unit) + c.ownUnit);
    }
}

}  // namespace
