#include "ui/editor/EditorFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "tests/ui/EditorFixture.h"
#include "ui/Layout.h"

namespace {

std::string encode(const std::wstring& text, const std::string& encoding, bool bom) {
    std::string out;
    if (encoding == "UTF-16LE" || encoding == "UTF-16BE" || encoding == "UTF-16") {
        const bool big = encoding == "UTF-16BE";
        if (bom) out += big ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
        for (wchar_t c : text) {
            const char low = static_cast<char>(c & 0xFF);
            const char high = static_cast<char>(c >> 8);
            out += big ? std::string{high, low} : std::string{low, high};
        }
        return out;
    }
    const UINT codePage = encoding == "UTF-8"          ? 65001
                          : encoding == "windows-1252" ? 1252
                          : encoding == "ISO-8859-1"   ? 28591
                                                       : 932;
    if (bom) out = "\xEF\xBB\xBF";
    const int size =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), 0);
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return out + bytes;
}

// A document of several stream blocks whose characters fall on every offset of a block
// end: lines of rising length, each with the encoding's wide characters.
std::wstring document(const std::wstring& declared,
                      const std::wstring& wide,
                      const std::wstring& eol,
                      bool longFirstLine) {
    std::wstring text;
    if (!declared.empty()) text += L"<?xml version=\"1.0\" encoding=\"" + declared + L"\"?>";
    if (longFirstLine) {
        text += L"<root long=\"" + std::wstring(5000, L'x') + L"\">";
    } else {
        text += eol + L"<root>";
    }
    for (int i = 0; i < 400; ++i) {
        text += eol + L"  <e i=\"" + std::to_wstring(i) + L"\">" + std::wstring(static_cast<size_t>(i % 9), L'a') +
                wide + L"</e>";
    }
    return text + eol + L"</root>" + eol;
}

struct RoundTrip {
    const char* encoding;  // how the test writes the bytes
    const wchar_t* declared;
    bool bom;
    const wchar_t* wide;
};

const RoundTrip kRoundTrips[] = {
    {"UTF-8", L"UTF-8", false, L"\u00e9\u20ac\U0001F600"},    {"UTF-8", L"", true, L"\u00e9\u20ac\U0001F600"},
    {"UTF-8", L"", false, L"\u00e9\u20ac\U0001F600"},         {"UTF-16LE", L"UTF-16", true, L"\u00e9\u20ac\U0001F600"},
    {"UTF-16BE", L"UTF-16", true, L"\u00e9\u20ac\U0001F600"}, {"windows-1252", L"windows-1252", false, L"\u00e9\u20ac"},
    {"ISO-8859-1", L"ISO-8859-1", false, L"\u00e9\u00fe"},
};

const wchar_t* const kLineEnds[] = {L"\n", L"\r\n", L"\r"};

class EditorFileTest : public EditorFixture {
protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        EditorFixture::TearDown();
    }

    // Loads the bytes on the left, something on the right, and opens the editor at the root.
    void openBytes(const std::string& bytes, const std::wstring& name = L"doc.xml") {
        const std::wstring path = dir.write(name, bytes);
        leftTreeView.loadDocument(mainWindow, path.c_str(), 0, 0);
        ASSERT_TRUE(leftTreeView.loaded) << narrow(name);
        openAt(elementNamed(leftTreeView, L"root"));
        ASSERT_NE(leftTreeView.editor, nullptr);
    }

    void saveAs(const std::wstring& name) {
        DialogScript dialogs;
        dialogs.answer(dir.file(name));
        click(contentPane.saveAsButton);
    }

    void type(LONG at, const wchar_t* what) {
        select(leftTreeView.editor, at, at);
        SendMessageW(leftTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(what));
        pump();
    }

    std::vector<std::wstring> files() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((dir.path() + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return names;
    }
};

TEST_F(EditorFileTest, SaveAsOfTheLoadedTextGivesTheSameBytes) {
    for (const RoundTrip& c : kRoundTrips) {
        for (const wchar_t* eol : kLineEnds) {
            for (bool longFirstLine : {false, true}) {
                std::wstring text = document(c.declared, c.wide, eol, longFirstLine);
                const std::string bytes = encode(text, c.encoding, c.bom);
                SCOPED_TRACE(std::string(c.encoding) + (c.bom ? " BOM" : "") + " eol " +
                             std::to_string(std::wstring(eol).size() == 2 ? 1
                                            : eol[0] == L'\n'             ? 2
                                                                          : 3) +
                             (longFirstLine ? " long first line" : ""));
                openBytes(bytes, L"in.xml");
                saveAs(L"out.xml");
                EXPECT_TRUE(dir.read(L"out.xml") == bytes);
                EXPECT_STREQ(leftTreeView.fileName, dir.file(L"out.xml").c_str());
                SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);  // closes the window
            }
        }
    }
}

TEST_F(EditorFileTest, AUtf16FileWithoutByteOrderMarkGainsOne) {
    const std::wstring text = document(L"UTF-16", L"\u00e9", L"\r\n", false);
    openBytes(encode(text, "UTF-16LE", false));
    saveAs(L"out.xml");
    EXPECT_TRUE(dir.read(L"out.xml") == encode(text, "UTF-16LE", true));
}

TEST_F(EditorFileTest, AnEditChangesOnlyItsOwnBytes) {
    struct Case {
        const char* encoding;
        const wchar_t* declared;
        const wchar_t* eol;
    };
    for (const Case& c : {Case{"UTF-8", L"UTF-8", L"\n"}, Case{"UTF-16BE", L"UTF-16", L"\r\n"},
                          Case{"ISO-8859-1", L"ISO-8859-1", L"\r"}}) {
        SCOPED_TRACE(c.encoding);
        const std::wstring text = document(c.declared, L"\u00e9", c.eol, false);
        openBytes(encode(text, c.encoding, std::string(c.encoding) == "UTF-16BE"));
        // Editor positions count a line break as one unit.
        const size_t at = text.find(L"<e i=\"200\"");
        std::wstring before = text.substr(0, at);
        size_t breaks = 0;
        for (size_t k = 0; k < before.size(); ++k)
            if (before[k] == L'\n' && k > 0 && before[k - 1] == L'\r') ++breaks;
        type(static_cast<LONG>(at - breaks), L"<new/>");
        EXPECT_EQ(leftTreeView.editorModified, 1);
        click(contentPane.saveButton);
        std::wstring edited = text;
        edited.insert(at, L"<new/>");
        EXPECT_TRUE(dir.read(L"doc.xml") == encode(edited, c.encoding, std::string(c.encoding) == "UTF-16BE"));
        EXPECT_NE(elementNamed(leftTreeView, L"new"), nullptr);  // the panel was loaded again
        EXPECT_EQ(leftTreeView.editorModified, 0);
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);
    }
}

TEST_F(EditorFileTest, AFailedSaveLeavesTheFileAndTheEditorAsTheyWere) {
    const std::string bytes = encode(document(L"UTF-8", L"\u00e9", L"\n", false), "UTF-8", false);
    struct Case {
        const char* name;
        bool readOnly;
        int64_t failAfter;
    };
    for (const Case& c : {Case{"first write fails", false, 0}, Case{"a later write fails", false, 5000},
                          Case{"read-only target", true, -1}}) {
        SCOPED_TRACE(c.name);
        openBytes(bytes);
        type(0, L" ");
        const std::wstring edited = text(leftTreeView.editor);
        if (c.readOnly) SetFileAttributesW(dir.file(L"doc.xml").c_str(), FILE_ATTRIBUTE_READONLY);
        setWriteFailureAfter(c.failAfter);
        {
            BoxScript boxes;
            boxes.expectCaption(L"Error");
            click(contentPane.saveButton);
            ASSERT_EQ(boxes.shown().size(), 1u);
            EXPECT_NE(boxes.shown()[0].text.find(L"XMLTreeView::saveFile"), std::wstring::npos);
        }
        setWriteFailureAfter(-1);
        SetFileAttributesW(dir.file(L"doc.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(dir.read(L"doc.xml") == bytes);
        EXPECT_EQ(files(), std::vector<std::wstring>{L"doc.xml"});
        EXPECT_EQ(leftTreeView.editorModified, 1);
        EXPECT_EQ(text(leftTreeView.editor), edited);
        BoxScript boxes;
        boxes.expect(L"Save changes to " + dir.file(L"doc.xml") + L"?", L"Verdalt", IDNO);
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);
    }
}

TEST_F(EditorFileTest, ATextThatDoesNotParseStaysInTheEditorAndCanBeSavedAgain) {
    const std::wstring fatalBox =
        L"There were some fatal error(s) during loading!\n\nFile is not loaded\n\n"
        L"Please correct the error(s) and then try again";
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    openBytes(declaration + "<root>\n<a>\xC3\xA9</a>\n</root>\n");
    type(static_cast<LONG>(text(leftTreeView.editor).find(L"<a>")), L"<b>");
    // Written each time in the encoding it was read with.
    const std::string broken = declaration + "<root>\n<b><a>\xC3\xA9</a>\n</root>\n";
    const std::wstring edited = text(leftTreeView.editor);
    auto expectKept = [&](const wchar_t* name) {
        EXPECT_EQ(leftTreeView.loaded, 0);
        EXPECT_STREQ(leftTreeView.fileName, dir.file(name).c_str());
        EXPECT_EQ(text(leftTreeView.editor), edited);
        // The file holds the text as it stands: nothing is unsaved until the next change.
        EXPECT_EQ(leftTreeView.editorModified, 0);
        EXPECT_FALSE(IsWindowEnabled(contentPane.saveButton));
        wchar_t caption[64] = {};
        GetWindowTextW(leftTreeView.pathButton, caption, 64);
        EXPECT_STREQ(caption, name);
    };
    struct Step {
        const wchar_t* saveAs;  // null: Save
        const wchar_t* name;
    };
    // Save writes the text, whose reload fails; Save As then writes it to a new name, and
    // that reload fails as well.
    for (const Step& step : {Step{nullptr, L"doc.xml"}, Step{L"copy.xml", L"copy.xml"}}) {
        SCOPED_TRACE(narrow(step.name));
        BoxScript boxes;
        boxes.expectCaption(L"Fatal error", IDNO).expect(fatalBox, L"XML Parser Fatal Error");
        if (step.saveAs != nullptr)
            saveAs(step.saveAs);
        else
            click(contentPane.saveButton);
        EXPECT_TRUE(dir.read(step.name) == broken);
        expectKept(step.name);
    }
    // Mended, the text saves and loads again.
    type(static_cast<LONG>(edited.find(L"</a>") + 4), L"</b>");
    EXPECT_EQ(leftTreeView.editorModified, 1);
    click(contentPane.saveButton);
    EXPECT_TRUE(dir.read(L"copy.xml") == declaration + "<root>\n<b><a>\xC3\xA9</a></b>\n</root>\n");
    EXPECT_EQ(leftTreeView.loaded, 1);
    EXPECT_EQ(leftTreeView.editorModified, 0);
    EXPECT_NE(elementNamed(leftTreeView, L"b"), nullptr);
    EXPECT_TRUE(dir.read(L"doc.xml") == broken);
}

// A large text goes into the editor in pieces: no border between two of them shows in
// the text or in what is saved, whatever the line breaks and wide characters there.
TEST_F(EditorFileTest, ATextOfManyPiecesIsTakenInWhole) {
    for (const wchar_t* eol : kLineEnds) {
        SCOPED_TRACE(eol[0] == L'\n' ? "LF" : eol[1] == L'\n' ? "CR LF" : "CR");
        std::wstring text = L"<root>";
        for (int i = 0; text.size() < 300000; ++i)
            text += eol + (L"<e>" + std::wstring(static_cast<size_t>(i % 13), L'a') + L"\U0001F600</e>");
        text += eol + std::wstring(L"</root>") + eol;
        const std::string bytes = encode(text, "UTF-8", false);
        openBytes(bytes);
        std::wstring shown;
        for (size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == L'\n' && i > 0 && text[i - 1] == L'\r')) shown += text[i] == L'\n' ? L'\r' : text[i];
        EXPECT_TRUE(this->text(leftTreeView.editor) == shown);
        saveAs(L"copy.xml");
        EXPECT_TRUE(dir.read(L"copy.xml") == bytes);
        SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_EDITOR, 0);
        pump();
    }
}

TEST_F(EditorFileTest, ACancelledSaveAsWritesNothing) {
    const std::string bytes = encode(document(L"UTF-8", L"\u00e9", L"\n", false), "UTF-8", false);
    openBytes(bytes);
    type(0, L" ");
    DialogScript dialogs;
    dialogs.cancel();
    click(contentPane.saveAsButton);
    EXPECT_TRUE(dir.read(L"doc.xml") == bytes);
    EXPECT_EQ(leftTreeView.editorModified, 1);
}

TEST_F(EditorFileTest, ACharacterTheEncodingLacksIsAskedAboutAndNoWritesNothing) {
    const std::string bytes = encode(document(L"windows-1252", L"\u00e9", L"\r\n", false), "windows-1252", false);
    openBytes(bytes);
    type(0, L"\u03a9");
    {
        BoxScript boxes;
        boxes.expectCaption(L"Warning!", IDNO);
        click(contentPane.saveButton);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_NE(boxes.shown()[0].text.find(L"windows-1252"), std::wstring::npos);
        EXPECT_TRUE(boxes.shown()[0].type & MB_DEFBUTTON2);
    }
    EXPECT_TRUE(dir.read(L"doc.xml") == bytes);
    EXPECT_EQ(files(), std::vector<std::wstring>{L"doc.xml"});
    EXPECT_EQ(leftTreeView.editorModified, 1);
}

// The parser reads IBM1047 by itself; a system without the code page cannot read the file
// into the editor, nor write it back.
TEST_F(EditorFileTest, AnEncodingTheProgramDoesNotKnowIsAskedAbout) {
    if (IsValidCodePage(1047)) GTEST_SKIP() << "this system converts IBM1047";
    // <?xml version="1.0" encoding="IBM1047"?><root/> in EBCDIC.
    const std::string bytes =
        "\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7F\xF1\x4B\xF0\x7F\x40\x85\x95\x83"
        "\x96\x84\x89\x95\x87\x7E\x7F\xC9\xC2\xD4\xF1\xF0\xF4\xF7\x7F\x6F\x6E\x4C\x99\x96\x96\xA3\x61\x6E";
    openBytes(bytes);
    type(0, L" ");
    BoxScript boxes;
    boxes.expectCaption(L"Warning!", IDNO);
    click(contentPane.saveButton);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_NE(boxes.shown()[0].text.find(L"IBM1047"), std::wstring::npos);
    EXPECT_TRUE(dir.read(L"doc.xml") == bytes);
}

TEST_F(EditorFileTest, TypingWorksInADocumentLargerThanTheDefaultLimit) {
    const std::string bytes = "<root>" + std::string(40000, 'a') + "</root>";
    openBytes(bytes);
    const size_t before = text(leftTreeView.editor).size();
    select(leftTreeView.editor, 6, 6);
    SendMessageW(leftTreeView.editor, WM_CHAR, L'b', 0);
    EXPECT_EQ(text(leftTreeView.editor).size(), before + 1);
}

TEST(EditorStreamTest, BlocksNeverSplitALineBreakOrASurrogatePair) {
    struct Case {
        std::wstring text;
        size_t room;
        size_t units;
    };
    const Case cases[] = {
        {L"abc\r\ndef", 4, 3}, {L"abc\rdef", 4, 3}, {L"ab\xD83D\xDE00x", 3, 2},
        {L"abcd", 4, 4},       {L"abcdef", 4, 4},   {L"\r\n", 1, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(streamBlockUnits(c.text.data(), c.text.size(), c.room), c.units);
}

TEST(EditorStreamTest, TheFirstLineBreakDecidesTheEndOfLineWhereverItLies) {
    EncodingSpec utf8;
    utf8.setName(L"UTF-8");
    struct Case {
        std::string bytes;
        int32_t style;
    };
    const Case cases[] = {
        {std::string(9000, 'a') + "\r\nb\nc", 1}, {"a\nb\r\n", 2}, {"a\rb", 3}, {"a\r", 3}, {"abc", 0}};
    for (const Case& c : cases) {
        int32_t style = -1;
        decodeEditorText(c.bytes, utf8, &style);
        EXPECT_EQ(style, c.style);
    }
}

}  // namespace
