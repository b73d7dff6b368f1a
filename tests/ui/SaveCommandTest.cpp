#include "ui/SaveCommand.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/XMLTreeItem.h"
#include "settings/EncodingSpec.h"
#include "settings/FileWriter.h"
#include "settings/OptionSet.h"
#include "tests/support/PlainContentReader.h"
#include "tests/support/PlainReader.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"
#include "ui/ElementCommands.h"
#include "ui/ExternalPrograms.h"
#include "ui/TreeViews.h"
#include "ui/XMLTreeView.h"

namespace {

const char kLeft[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r><a>1</a><b/></r>";
const char kRight[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><a>2</a></r>";

struct Start {
    std::wstring kind;
    std::wstring target;
    std::wstring parameters;
};

class SaveCommandTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;
    std::vector<Start> starts;
    INT_PTR startResult = 42;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::OpenAfterSave = 0;
        OptionSet::UseEncoding = 0;
        OptionSet::InsertPI = 0;
        OptionSet::PrintDoctype = 0;
        OptionSet::IgnoreOrderElements = 0;
        setProgramStartHandler([this](const wchar_t* kind, const wchar_t* target, const wchar_t* parameters) {
            starts.push_back({kind, target ? target : L"", parameters ? parameters : L""});
            return startResult;
        });
        start();
    }

    void TearDown() override {
        setProgramStartHandler(nullptr);
        setWriteFailureAfter(-1);
        currentOutputSpec = &defaultWriterSpec;
        MainWindowFixture::TearDown();
    }

    // Both documents loaded and compared, and an element of the left selected.
    void loadAndSelect(const wchar_t* name = L"r", XMLTreeView& panel = leftTreeView) {
        load(leftTreeView, kLeft, L"left.xml");
        load(rightTreeView, kRight, L"right.xml");
        ASSERT_EQ(filesCompared, 1);
        select(name, panel);
    }

    static void select(const wchar_t* name, XMLTreeView& panel) {
        XMLTreeItem* element = elementNamed(panel, name);
        ASSERT_NE(element, nullptr);
        // AutoSelect may have selected it already, as the partner of an earlier choice: a
        // selection that does not change is not reported.
        ElementStore::select(panel.tree, nullptr);
        ElementStore::select(panel.tree, element->treeItem);
        ASSERT_EQ(currentElement, element);
    }

    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }

    static std::string firstLine(const std::string& bytes) { return bytes.substr(0, bytes.find('\r')); }
};

TEST_F(SaveCommandTest, WithoutASelectedElementNothingIsAsked) {
    BoxScript boxes;
    boxes.expect(L"Select the element you want to save", L"Error");
    DialogScript dialogs;
    ASSERT_EQ(currentElement, nullptr);
    command(IDM_SAVE_DIFFERENCES);
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(SaveCommandTest, ACancelledDialogWritesNothing) {
    loadAndSelect();
    const std::vector<std::wstring> before = dir.names();
    DialogScript dialogs;
    dialogs.cancel();
    BoxScript boxes;
    boxes.expect(L"You must specify a file!", L"Error");
    command(IDM_SAVE_ELEMENT);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_TRUE(dialogs.shown()[0].save);
    EXPECT_EQ(dialogs.shown()[0].title, L"Save XML file");
    EXPECT_EQ(dir.names(), before);
}

struct NameCase {
    const char* what;
    std::wstring typed;
    std::wstring written;
};

TEST_F(SaveCommandTest, ABareNameGetsTheExtension) {
    loadAndSelect(L"a");
    CreateDirectoryW(dir.file(L"my.dir").c_str(), nullptr);
    const NameCase cases[] = {
        {"a bare name", L"result", L"result.xml"},
        {"a name with an extension", L"result.txt", L"result.txt"},
        {"a folder with a dot", L"my.dir\\out", L"my.dir\\out"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        DialogScript dialogs;
        dialogs.answer(dir.file(c.typed));
        BoxScript boxes;
        command(IDM_SAVE_ELEMENT);
        EXPECT_EQ(dir.read(c.written), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<a>1</a>\r\n");
    }
}

// The dialog asked about "report"; the file written is "report.xml", which is asked about here.
TEST_F(SaveCommandTest, AnExistingExtendedNameIsAskedAbout) {
    loadAndSelect(L"a");
    const std::wstring existing = dir.write(L"report.xml", "old bytes");
    const std::wstring question = existing + L" already exists.\nDo you want to replace it?";
    {
        DialogScript dialogs;
        dialogs.answer(dir.file(L"report"));
        BoxScript boxes;
        boxes.expect(question, L"Confirm", IDNO);
        command(IDM_SAVE_ELEMENT);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING));
    }
    EXPECT_EQ(dir.read(L"report.xml"), "old bytes");
    {
        DialogScript dialogs;
        dialogs.answer(dir.file(L"report"));
        BoxScript boxes;
        boxes.expect(question, L"Confirm", IDYES);
        command(IDM_SAVE_ELEMENT);
    }
    EXPECT_EQ(dir.read(L"report.xml"), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<a>1</a>\r\n");
}

TEST_F(SaveCommandTest, TheEncodingIsTheOptionsOrThePanels) {
    loadAndSelect(L"a");
    struct Case {
        int useEncoding;
        XMLTreeView* panel;
        std::string expected;
    };
    OptionSet::EncodingString.setName(L"UTF-16BE");
    OptionSet::EncodingString.endOfLine = 2;
    const Case cases[] = {
        {0, &leftTreeView, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<a>1</a>\r\n"},
        {0, &rightTreeView, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<a>2</a>\r\n"},
        {1, &leftTreeView, std::string("\xFE\xFF", 2) + std::string("\0<\0?\0x\0m\0l", 10)},
        {1, &rightTreeView, std::string("\xFE\xFF", 2) + std::string("\0<\0?\0x\0m\0l", 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.useEncoding) + (c.panel == &leftTreeView ? " left" : " right"));
        OptionSet::UseEncoding = c.useEncoding;
        select(L"a", *c.panel);
        DialogScript dialogs;
        dialogs.answer(dir.file(L"encoded.xml"));
        BoxScript boxes;
        command(IDM_SAVE_ELEMENT);
        const std::string bytes = dir.read(L"encoded.xml");
        // The save's encoding is its own: the writers' record is the default one again.
        EXPECT_EQ(currentOutputSpec, &defaultWriterSpec);
        if (c.useEncoding) {
            EXPECT_EQ(bytes.substr(0, c.expected.size()), c.expected);
            EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\0>\0\n", 4)) << "the option's end of line";
        } else {
            EXPECT_EQ(bytes, c.expected);
        }
    }
}

TEST_F(SaveCommandTest, AFailedWriteKeepsTheFileAndSaysWhy) {
    loadAndSelect();
    const std::wstring target = dir.write(L"kept.xml", "old bytes");
    enum class Failure { WriteFails, TargetLocked };
    for (Failure failure : {Failure::WriteFails, Failure::TargetLocked}) {
        SCOPED_TRACE(static_cast<int>(failure));
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (failure == Failure::WriteFails) {
            setWriteFailureAfter(10);
        } else {
            // Open without delete sharing, as an editor holding the file would.
            lock = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        }
        DialogScript dialogs;
        dialogs.answer(target);
        BoxScript boxes;
        boxes.expectCaption(L"Error");
        command(IDM_MERGE);
        setWriteFailureAfter(-1);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        ASSERT_EQ(boxes.shown().size(), 1u);
        const std::wstring& text = boxes.shown()[0].text;
        EXPECT_EQ(text.substr(0, text.find(L'\n', text.find(L'\n') + 1) + 1), L"ProcessWtiteToFile\n" + target + L"\n");
        EXPECT_EQ(dir.read(L"kept.xml"), "old bytes");
        EXPECT_EQ(dir.names(), (std::vector<std::wstring>{L"kept.xml", L"left.xml", L"right.xml"}));
        EXPECT_TRUE(starts.empty());
    }
}

// Open after save writes to a temporary file without a dialog and hands it on.
TEST_F(SaveCommandTest, OpenAfterSaveAsksNothingAndHandsTheFileOn) {
    loadAndSelect(L"a");
    OptionSet::OpenAfterSave = 1;
    DialogScript noDialogs;
    struct Case {
        const wchar_t* application;
        INT_PTR result;
    };
    const Case cases[] = {
        {L"DEFAULT", 42}, {L"C:\\Program Files\\Viewer\\view.exe", 42}, {L"C:\\missing\\view.exe", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.application));
        std::wcscpy(OptionSet::ExternalApplication, c.application);
        startResult = c.result;
        starts.clear();
        BoxScript boxes;
        if (c.result <= 32) boxes.expect(L"Application not found", L"Open with external application");
        command(IDM_SAVE_ELEMENT);
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].kind, L"open");
        const bool byShell = c.application[0] == L'D';
        const std::wstring written = byShell ? starts[0].target : starts[0].parameters.substr(1);
        const std::wstring path = byShell ? written : written.substr(0, written.size() - 1);
        if (byShell) {
            EXPECT_TRUE(starts[0].parameters.empty());
        } else {
            EXPECT_EQ(starts[0].target, c.application);
            EXPECT_EQ(starts[0].parameters, L"\"" + path + L"\"");
        }
        HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << "the file is written before it is opened";
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        DeleteFileW(path.c_str());
    }
    EXPECT_TRUE(noDialogs.shown().empty());
}

// The names of the elements and attributes of a panel, in document order.
std::vector<std::wstring> namesOf(const XMLTreeView& panel) {
    std::vector<std::wstring> names;
    for (const XMLTreeItem* e : recordsInOrder(panel)) {
        names.push_back(e->nameText());
        if (e->attributes != nullptr) names.emplace_back(e->attributes, e->attributesLength);
    }
    return names;
}

// What is written reads back with the names as they were; a name the output encoding
// cannot hold, or an encoding the parser cannot read, gets a box before the file is asked
// for, and nothing is written.
TEST_F(SaveCommandTest, NamesReadBackAsWrittenOrTheSaveIsRefused) {
    const std::string left =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><caf\xC3\xA9 t=\"\xC3\xA9\">1</caf\xC3\xA9>"
        "<\xD0\x96 n=\"1\"/><e \xD0\x96=\"1\"/></r>";
    const std::wstring cafe = L"caf\u00E9";
    const std::wstring advice =
        L"Nothing was saved. Choose an output encoding that holds it, such as UTF-8, under "
        L"\"Use specific Encoding\" in the Options.";
    struct Case {
        const char* what;
        const wchar_t* encoding;
        std::wstring selected;
        std::string declaration;  // empty: refused
        std::wstring box;
    };
    const Case cases[] = {
        {"UTF-8", L"UTF-8", L"r", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", L""},
        {"no encoding: UTF-8, declared", L"<none>", L"r", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", L""},
        {"windows-1252 holds e acute", L"windows-1252", cafe, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>", L""},
        {"windows-1252 lacks an element name", L"windows-1252", L"r", "",
         L"The name of the element \"r>\u0416\" cannot be written in the encoding windows-1252.\n" + advice},
        {"windows-1252 lacks an attribute name", L"windows-1252", L"e", "",
         L"The attribute name \"\u0416\" of the element \"r>e\" cannot be written in the encoding windows-1252.\n" +
             advice},
        {"a quote after the name", L"UTF-8\"", L"r", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", L""},
        {"a quote inside the name", L"windows-1252\"x", cafe, "<?xml version=\"1.0\" encoding=\"windows-1252\"?>", L""},
        {"UTF-7", L"UTF-7", L"r", "",
         L"A file in the encoding UTF-7 cannot be read back by this program.\nNothing was saved. Choose another "
         L"output encoding, such as UTF-8, under \"Use specific Encoding\" in the Options."},
    };
    OptionSet::UseEncoding = 1;
    int saved = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(leftTreeView, left, L"left.xml");
        load(rightTreeView, "<r/>", L"right.xml");
        select(c.selected.c_str(), leftTreeView);
        const XMLTreeItem* element = currentElement;
        OptionSet::EncodingString.setName(c.encoding);
        OptionSet::EncodingString.endOfLine = 1;
        const std::wstring name = L"names" + std::to_wstring(++saved) + L".xml";
        {
            DialogScript dialogs;
            if (!c.declaration.empty()) dialogs.answer(dir.file(name));
            BoxScript boxes;
            if (!c.box.empty()) boxes.expect(c.box, L"Error");
            command(IDM_SAVE_DIFFERENCES);
            EXPECT_EQ(dialogs.shown().size(), c.declaration.empty() ? 0u : 1u);
        }
        // UTF-8 chosen for "<none>" was this save's alone: neither the writers' record nor the
        // option keeps it.
        EXPECT_EQ(currentOutputSpec, &defaultWriterSpec);
        if (std::wstring(c.encoding) == L"<none>") {
            EXPECT_STREQ(OptionSet::EncodingString.name, L"<none>");
        }
        if (c.declaration.empty()) {
            EXPECT_EQ(GetFileAttributesW(dir.file(name).c_str()), INVALID_FILE_ATTRIBUTES);
            continue;
        }
        EXPECT_EQ(firstLine(dir.read(name)), c.declaration);
        // The root pairs with a root of the same own content, the others have no partner:
        // either way the selected element is written whole.
        std::vector<std::wstring> expected = namesOf(leftTreeView);
        if (element->parent() != nullptr)
            expected = {element->nameText(), {element->attributes, element->attributesLength}};
        BoxScript noBoxes;
        ASSERT_EQ(parseIntoPanel(rightTreeView, dir.file(name).c_str()), kLoaded);
        EXPECT_EQ(namesOf(rightTreeView), expected);
    }
}

// A reference kept as written goes out with its name as the document has it, so its name is
// one of the save's names: an encoding that lacks it refuses the save with the box of the
// other names, and under "<none>" the file is UTF-8. A file is never written broken.
TEST_F(SaveCommandTest, AKeptReferenceNameIsWrittenWholeOrTheSaveIsRefused) {
    OptionSet::SchemaValidation = 0;
    OptionSet::ShowErrorMessages = 0;
    const std::string doctype = "<!DOCTYPE r SYSTEM \"missing.dtd\">";
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + doctype + "<r><p>x</p></r>";
    // &пр; and &café;
    const std::string cyrillic = doctype + "<r><p>x&\xD0\xBF\xD1\x80;</p></r>";
    const std::string cafe = doctype + "<r><p a=\"&caf\xC3\xA9;\">x&caf\xC3\xA9;</p></r>";
    // <!DOCTYPE Ж ...><Ж><p>&nbsp;</p></Ж>: the DOCTYPE line goes with the paragraph.
    const std::string cyrillicRoot = "<!DOCTYPE \xD0\x96 SYSTEM \"missing.dtd\"><\xD0\x96><p>x&nbsp;</p></\xD0\x96>";
    const std::wstring advice =
        L".\nNothing was saved. Choose an output encoding that holds it, such as UTF-8, under "
        L"\"Use specific Encoding\" in the Options.";
    const std::wstring keptCafe = std::wstring(1, kKeptReferenceMark) + L"caf\u00E9;";
    struct Case {
        const char* what;
        const std::string& left;
        const std::string& right;
        const wchar_t* selected;  // in the left panel
        int command;
        const wchar_t* encoding;  // null: the panel's
        std::wstring box;         // empty: written
        std::string declared;     // the encoding the file declares
    };
    const Case cases[] = {
        {"Save Differences of a Latin-1 page against a Cyrillic name", latin1, cyrillic, L"r", IDM_SAVE_DIFFERENCES,
         nullptr,
         L"The entity reference \"&\u043F\u0440;\" in the element \"r>p\" cannot be written in the encoding "
         L"ISO-8859-1" +
             advice,
         ""},
        {"the same in UTF-8", latin1, cyrillic, L"r", IDM_SAVE_DIFFERENCES, L"UTF-8", L"", "UTF-8"},
        {"Save XML Element under <none>", cafe, latin1, L"p", IDM_SAVE_ELEMENT, L"<none>", L"", "UTF-8"},
        {"Save XML Element in windows-1252", cafe, latin1, L"p", IDM_SAVE_ELEMENT, L"windows-1252", L"",
         "windows-1252"},
        {"Save XML Element in US-ASCII", cafe, latin1, L"p", IDM_SAVE_ELEMENT, L"US-ASCII",
         L"The entity reference \"&caf\u00E9;\" in the element \"r>p\" cannot be written in the encoding US-ASCII" +
             advice,
         ""},
        {"a DOCTYPE name windows-1252 lacks", cyrillicRoot, latin1, L"p", IDM_SAVE_ELEMENT, L"windows-1252",
         L"The DOCTYPE name \"\u0416\" cannot be written in the encoding windows-1252" + advice, ""},
        {"Save XML Element in KOI8-R", cafe, latin1, L"p", IDM_SAVE_ELEMENT, L"KOI8-R",
         L"The entity reference \"&caf\u00E9;\" in the element \"r>p\" cannot be written in the encoding KOI8-R" +
             advice,
         ""},
    };
    int saved = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyBothPanels();
        load(leftTreeView, c.left, L"left.xml");
        load(rightTreeView, c.right, L"right.xml");
        select(c.selected, leftTreeView);
        OptionSet::UseEncoding = c.encoding != nullptr;
        if (c.encoding != nullptr) {
            OptionSet::EncodingString.setName(c.encoding);
            OptionSet::EncodingString.endOfLine = 1;
        }
        const std::wstring name = L"reference" + std::to_wstring(++saved) + L".xml";
        {
            DialogScript dialogs;
            if (c.box.empty()) dialogs.answer(dir.file(name));
            BoxScript boxes;
            if (!c.box.empty()) boxes.expect(c.box, L"Error");
            command(c.command);
        }
        if (!c.box.empty()) {
            EXPECT_EQ(GetFileAttributesW(dir.file(name).c_str()), INVALID_FILE_ATTRIBUTES);
            continue;
        }
        const std::string bytes = dir.read(name);
        EXPECT_EQ(firstLine(bytes), "<?xml version=\"1.0\" encoding=\"" + c.declared + "\"?>");
        EXPECT_EQ(plain_reader::problemsOf(dir.file(name)), "") << bytes;
        BoxScript noBoxes;
        ASSERT_EQ(parseIntoPanel(rightTreeView, dir.file(name).c_str()), kLoaded) << bytes;
        // The references read back as the page has them.
        std::vector<std::wstring> texts;
        for (const XMLTreeItem* e : recordsInOrder(rightTreeView))
            if (!e->isSummary() && e->textLength != 0) texts.emplace_back(e->text, e->textLength);
        if (c.left == cafe) {
            const XMLTreeItem* p = elementNamed(rightTreeView, L"p");
            ASSERT_NE(p, nullptr);
            EXPECT_TRUE(textOf(p) == L"x" + keptCafe);
            EXPECT_TRUE(attributesOf(p) == std::wstring(L"a=") + kAttributeOpenQuote + keptCafe + kAttributeCloseQuote);
        } else {
            const std::wstring keptCyrillic = std::wstring(1, kKeptReferenceMark) + L"\u043F\u0440;";
            EXPECT_NE(std::find(texts.begin(), texts.end(), L"x" + keptCyrillic), texts.end());
        }
    }
}

// A record as a document would have it: a reference kept without its DTD with its bare
// ampersand, the text's own ampersand escaped, the attribute text's quote marks as quotes.
std::string shown(const wchar_t* units, int count) {
    std::wstring out;
    for (int i = 0; units != nullptr && i < count; ++i) {
        const wchar_t c = units[i];
        if (c == L'&')
            out += L"&amp;";
        else if (c == kKeptReferenceMark)
            out += L'&';
        else
            out += c == kAttributeOpenQuote || c == kAttributeCloseQuote ? L'"' : c;
    }
    return narrow(out);
}

// The elements of a panel in document order: "name attributes|text".
std::vector<std::string> recordsOf(const XMLTreeView& panel) {
    std::vector<std::string> records;
    for (const XMLTreeItem* e : recordsInOrder(panel)) {
        if (e->isSummary()) continue;
        std::string record = narrow(e->nameText());
        if (e->attributes != nullptr && e->attributesLength > 0)
            record += " " + shown(e->attributes, e->attributesLength);
        records.push_back(record + "|" + shown(e->text, e->textLength));
    }
    return records;
}

// Offline, the references only a page's DTD declares stay in its texts as written. Every
// result that holds one gets the DOCTYPE of the page whose references it holds (the
// selected side's first), so that a parser that does not read the DTD reads it without an
// error, and the program reads the same references back. A result without one is as it
// always was.
TEST_F(SaveCommandTest, EveryResultHoldingKeptReferencesReadsBackAsThePageDid) {
    OptionSet::SchemaValidation = 0;
    OptionSet::ShowErrorMessages = 0;
    const std::string strict = "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"missing.dtd\">\n";
    const std::string other = "<!DOCTYPE html SYSTEM \"other.dtd\">\n";
    const std::string strictLine = "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"missing.dtd\">";
    const std::string otherLine = "<!DOCTYPE html SYSTEM \"other.dtd\">";
    const std::string nbsp = strict + "<html><h>&amp; &lt;</h><p title=\"x&nbsp;y\">a&nbsp;b</p><q>1</q></html>";
    const std::string copy = other + "<html><h>&amp; &lt;</h><p title=\"x&copy;y\">a&copy;b</p><q>2</q></html>";
    const std::string plain = "<html><h>&amp; &lt;</h><p title=\"xy\">ab</p><q>1</q></html>";
    const std::string ownP = "p title=\"x&nbsp;y\"|a&nbsp;b";
    const std::string partnerP = "p title=\"x&copy;y\"|a&copy;b";
    struct Case {
        const char* what;
        const std::string& left;
        std::string right;
        bool fromRight;  // the selection is in the right panel
        const wchar_t* selected;
        int command;
        bool copied;          // the selection is first replaced by a copy of its partner
        std::string doctype;  // the line after the declaration; empty: none
        std::vector<std::string> records;
        std::string body;  // when not empty, all that follows the declaration
    };
    // clang-format off
    const Case cases[] = {
        {"Save XML Element of a paragraph", nbsp, copy, false, L"p", IDM_SAVE_ELEMENT, false, strictLine, {ownP}, ""},
        {"Save Differences", nbsp, copy, false, L"html", IDM_SAVE_DIFFERENCES, false, strictLine,
         {"html|", ownP, partnerP, "q|1", "q|2"}, ""},
        {"Merge", nbsp, copy, false, L"html", IDM_MERGE, false, strictLine,
         {"html|", "h|&amp; <", ownP, "q|1", partnerP, "q|2"}, ""},
        {"Merge from the right", nbsp, copy, true, L"html", IDM_MERGE, false, otherLine,
         {"html|", "h|&amp; <", partnerP, "q|2", ownP, "q|1"}, ""},
        {"the report", nbsp, copy, false, L"html", IDM_SAVE_REPORT, false, strictLine, {"html|", ownP, "q|1"}, ""},
        {"Save Changed Elements", nbsp, copy, false, L"html", IDM_SAVE_CHANGED, false, strictLine,
         {"html|", ownP, "q|1"}, ""},
        {"only the partner's references: its DOCTYPE", plain, copy, false, L"html", IDM_SAVE_DIFFERENCES,
         false, otherLine, {"html|", "p title=\"xy\"|ab", partnerP, "q|1", "q|2"}, ""},
        {"the references only in equal elements, which are left out", nbsp,
         strict + "<html><h>&amp; &lt;</h><p title=\"x&nbsp;y\">a&nbsp;b</p><q>2</q></html>", false, L"html",
         IDM_SAVE_DIFFERENCES, false, "", {"html|", "q|1", "q|2"}, "<html>\n<q>1</q>\n<q>2</q>\n</html>\n"},
        {"a page without references", plain, "<html><h>&amp; &lt;</h><p title=\"xy\">ab</p><q>2</q></html>", false,
         L"p", IDM_SAVE_ELEMENT, false, "", {"p title=\"xy\"|ab"}, "<p title=\"xy\">ab</p>\n"},
        {"a paragraph copied from the other page, which has the DOCTYPE", plain, copy, false, L"p", IDM_SAVE_ELEMENT,
         true, otherLine, {partnerP}, ""},
    };
    // clang-format on
    int saved = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyBothPanels();
        load(leftTreeView, c.left, L"left.xml");
        load(rightTreeView, c.right, L"right.xml");
        ASSERT_EQ(filesCompared, 1);
        select(c.selected, c.fromRight ? rightTreeView : leftTreeView);
        if (c.copied) {
            ASSERT_NE(currentElement->partner, nullptr);
            replaceSelected(currentElement, currentElement->partner);
            select(c.selected, leftTreeView);
        }
        const std::wstring name = L"kept" + std::to_wstring(++saved) + L".xml";
        {
            DialogScript dialogs;
            dialogs.answer(dir.file(name));
            BoxScript boxes;
            command(c.command);
        }
        std::string bytes = dir.read(name);
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\r'), bytes.end());
        const std::string afterDeclaration = bytes.substr(bytes.find('\n') + 1);
        const std::string second = afterDeclaration.substr(0, afterDeclaration.find('\n'));
        if (c.doctype.empty()) {
            EXPECT_EQ(second.rfind("<!DOCTYPE", 0), std::string::npos) << bytes;
        } else {
            EXPECT_EQ(second, c.doctype) << bytes;
        }
        if (!c.body.empty()) {
            EXPECT_EQ(afterDeclaration, c.body);
        }
        EXPECT_EQ(plain_reader::problemsOf(dir.file(name)), "") << bytes;
        BoxScript noBoxes;
        ASSERT_EQ(parseIntoPanel(rightTreeView, dir.file(name).c_str()), kLoaded) << bytes;
        EXPECT_EQ(recordsOf(rightTreeView), c.records) << bytes;
    }
}

// A save writes the tree as it is shown: in the Differences or Similarities view the
// elements the view removed are in no result, and Normal brings them back.
TEST_F(SaveCommandTest, ASaveInAThinnedViewWritesTheThinnedTree) {
    using Names = std::vector<std::wstring>;
    const struct Case {
        int view;
        int save;
        Names written;
    } cases[] = {
        {IDM_VIEW_DIFFERENCES, IDM_SAVE_ELEMENT, {L"r", L"diff", L"gone"}},
        {IDM_VIEW_SIMILARITIES, IDM_SAVE_ELEMENT, {L"r", L"same", L"k"}},
        {IDM_VIEW_NORMAL, IDM_SAVE_ELEMENT, {L"r", L"same", L"k", L"diff", L"gone"}},
        {IDM_VIEW_SIMILARITIES, IDM_MERGE, {L"r", L"same", L"k"}},
    };
    load(leftTreeView, "<r><same><k/></same><diff>1</diff><gone/></r>", L"left.xml");
    load(rightTreeView, "<r><same><k/></same><diff>2</diff></r>", L"right.xml");
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.view) + " " + std::to_string(c.save));
        command(c.view);
        ASSERT_EQ(filesCompared, 1);
        select(L"r", leftTreeView);
        const std::wstring path = dir.file(L"thinned" + std::to_wstring(++n) + L".xml");
        {
            DialogScript dialogs;
            dialogs.answer(path);
            BoxScript boxes;
            command(c.save);
        }
        const PlainDocument written = readPlain(path);
        ASSERT_TRUE(written.wellFormed) << narrow(written.firstError);
        Names names;
        for (const PlainElement& e : written.elements)
            names.push_back(e.name);
        EXPECT_EQ(names, c.written);
    }
    command(IDM_VIEW_NORMAL);
    viewFiltered = 0;
}

}  // namespace
