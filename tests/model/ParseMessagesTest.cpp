#include <gtest/gtest.h>

#include <xercesc/sax/SAXParseException.hpp>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "model/DocumentHandlers.h"
#include "model/MessageBox.h"
#include "model/ParseMessages.h"
#include "settings/OptionSet.h"
#include "tests/support/TestSupport.h"
#include "ui/XMLTreeView.h"

void installUnexpectedBoxHandler();

namespace {

constexpr UINT kWarningBox = MB_OKCANCEL | MB_HELP | MB_ICONWARNING;
constexpr UINT kErrorBox = MB_OKCANCEL | MB_HELP | MB_ICONERROR;

// One warning (line 6), two validity errors (line 8), then a fatal error at the second root (line 9).
const char kMixedDoc[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE r [\n"
    "<!ELEMENT r (a)*>\n"
    "<!ELEMENT a EMPTY>\n"
    "<!ATTLIST a x CDATA #IMPLIED>\n"
    "<!ATTLIST a x CDATA #IMPLIED>\n"
    "]>\n"
    "<r><a y=\"1\"/><a z=\"2\"/></r>\n"
    "<r/>\n";

const char kWarningText[] = "attribute 'x' has already been declared for element 'a'";
const char kFirstErrorText[] = "attribute 'y' is not declared for element 'a'";
const char kSecondErrorText[] = "attribute 'z' is not declared for element 'a'";
const char kFatalText[] = "comment or processing instruction expected";

const char kMixedLog[] =
    "Error at line 8 column 14 : attribute 'y' is not declared for element 'a'\r\n"
    "Error at line 8 column 24 : attribute 'z' is not declared for element 'a'\r\n"
    "Fatal error at line 9 column 1 : comment or processing instruction expected\r\n";

// Three validity errors on line 2, then a fatal error on line 3.
const char kErrorsThenFatalDoc[] = "<!DOCTYPE r [<!ELEMENT r EMPTY>]>\n<r><b/><c/></r>\n<";

std::wstring parseBox(const std::wstring& kind,
                      const std::wstring& path,
                      const std::wstring& position,
                      const char* message) {
    return kind + L" at " + path + L"\n" + position + L"\n" + widen(message) + L"\nContinue?";
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

xercesc::SAXParseException parseException(const wchar_t* message, const wchar_t* systemId, int line, int column) {
    return xercesc::SAXParseException(message, L"", systemId, static_cast<XMLFileLoc>(line),
                                      static_cast<XMLFileLoc>(column));
}

// The switches that parse messages read, put back after each test. The boxes get the
// test window as their owner, as they get the main window in the program.
class ParseMessagesTest : public ::testing::Test {
protected:
    TestPanels panels;
    TempDir dir;
    OptionsSnapshot options;
    HWND savedOwner = boxOwnerWindow;

    void SetUp() override {
        boxOwnerWindow = panels.window();
        OptionSet::messageBoxes = 1;
        OptionSet::consoleOutput = 1;
    }

    void TearDown() override {
        countHandlers.closeLog();
        countHandlers.logPath[0] = 0;
        countHandlers.cancelled = 0;
        boxOwnerWindow = savedOwner;
    }

    void setSwitches(int show, int log) {
        OptionSet::ShowErrorMessages = show;
        OptionSet::LogErrorMessages = log;
    }

    // The load of a local file names its log after the file.
    LoadResult parse(const std::wstring& path) {
        countHandlers.setLogPath(path.c_str());
        return parseIntoPanel(leftTreeView, path.c_str());
    }
};

TEST_F(ParseMessagesTest, EachReportAsksWithItsKindIconAndPosition) {
    setSwitches(1, 0);
    std::wstring path = dir.write(L"doc.xml", kMixedDoc);
    BoxScript script;
    script.expect(parseBox(L"Warning", path, L"line 6 column 14", kWarningText), L"Warning")
        .expect(parseBox(L"Error", path, L"line 8 column 14", kFirstErrorText), L"Error")
        .expect(parseBox(L"Error", path, L"line 8 column 24", kSecondErrorText), L"Error")
        .expect(parseBox(L"Fatal error", path, L"line 9 column 1", kFatalText), L"Fatal error");

    EXPECT_EQ(parse(path), kLoadFailed);

    const std::vector<UINT> types = {kWarningBox, kErrorBox, kErrorBox, kErrorBox};
    ASSERT_EQ(script.shown().size(), types.size());
    for (size_t i = 0; i < types.size(); ++i)
        EXPECT_EQ(script.shown()[i].type, types[i]) << "box " << i;
    EXPECT_EQ(countHandlers.errorSeen, 1);
    EXPECT_EQ(countHandlers.fatalSeen, 1);
    EXPECT_EQ(countHandlers.cancelled, 0);
    EXPECT_EQ(narrow(countHandlers.message), kFatalText);
    EXPECT_EQ(narrow(countHandlers.position), "line 9 column 1");
    EXPECT_EQ(countHandlers.systemId, path);
    EXPECT_FALSE(fileExists(path + L".log"));
}

TEST_F(ParseMessagesTest, LogHoldsErrorsAndFatalErrorsWithoutBoxes) {
    setSwitches(0, 1);
    std::wstring path = dir.write(L"doc.xml", kMixedDoc);

    EXPECT_EQ(parse(path), kLoadFailed);

    EXPECT_EQ(dir.read(L"doc.xml.log"), kMixedLog);
    EXPECT_EQ(countHandlers.errorSeen, 1);
    EXPECT_EQ(countHandlers.fatalSeen, 1);
    // Closed when the parse ended: nothing holds the file any more.
    EXPECT_TRUE(DeleteFileW((path + L".log").c_str()));
}

// A log line about another file than the document, its DTD here, names that file; a line
// about the document itself reads as always.
TEST_F(ParseMessagesTest, LogNamesTheFileOfAnErrorOutsideTheDocument) {
    setSwitches(0, 1);
    OptionSet::SchemaValidation = 0;
    OptionSet::ContinueAfterFatalError = 0;
    dir.write(L"broken.dtd", "<!ELEMENT r ANY>\n<!ELEMENT a oops>\n");
    struct LogCase {
        const char* xml;
        const char* start;     // the line's start
        const char* fileName;  // the file it names, or null
    };
    const LogCase cases[] = {
        {"<!DOCTYPE r SYSTEM \"broken.dtd\">\n<r/>", "Fatal error at line 2 column ", "broken.dtd"},
        {"<r>\n<a></r>", "Fatal error at line 2 column ", nullptr},
    };
    for (const LogCase& c : cases) {
        SCOPED_TRACE(c.xml);
        const std::wstring path = dir.write(L"doc.xml", c.xml);
        EXPECT_EQ(parse(path), kLoadFailed);
        const std::string log = dir.read(L"doc.xml.log");
        EXPECT_EQ(log.rfind(c.start, 0), 0u) << log;
        ASSERT_EQ(log.find("\r\n"), log.size() - 2) << "one line: " << log;
        const size_t named = log.find(" in ");
        if (c.fileName == nullptr) {
            EXPECT_EQ(named, std::string::npos) << log;
        } else {
            ASSERT_NE(named, std::string::npos) << log;
            const size_t end = log.find(" : ", named);
            ASSERT_NE(end, std::string::npos) << log;
            const std::string file = log.substr(named + 4, end - named - 4);
            EXPECT_GE(file.size(), std::strlen(c.fileName)) << log;
            EXPECT_EQ(file.substr(file.size() - std::strlen(c.fileName)), c.fileName) << log;
            EXPECT_EQ(log.find(" in ", end), std::string::npos) << log;
        }
        EXPECT_TRUE(DeleteFileW((path + L".log").c_str()));
    }
}

TEST_F(ParseMessagesTest, LogIsReplacedAtTheFirstMessageOfAParse) {
    setSwitches(0, 1);
    std::wstring clean = dir.write(L"clean.xml", "<r><a/></r>");
    dir.write(L"clean.xml.log", "stale\r\n");
    EXPECT_EQ(parse(clean), kLoaded);
    EXPECT_EQ(dir.read(L"clean.xml.log"), "stale\r\n");

    std::wstring path = dir.write(L"doc.xml", kMixedDoc);
    dir.write(L"doc.xml.log", "stale line from an earlier parse\r\n");
    EXPECT_EQ(parse(path), kLoadFailed);
    EXPECT_EQ(dir.read(L"doc.xml.log"), kMixedLog);
    EXPECT_EQ(parse(path), kLoadFailed);
    EXPECT_EQ(dir.read(L"doc.xml.log"), kMixedLog);

    // With logging off a parse leaves the previous log as it is.
    setSwitches(0, 0);
    EXPECT_EQ(parse(path), kLoadFailed);
    EXPECT_EQ(dir.read(L"doc.xml.log"), kMixedLog);
}

TEST_F(ParseMessagesTest, CancelStopsTheParseAndSilencesLaterReports) {
    setSwitches(1, 1);
    std::wstring path = dir.write(L"doc.xml", kErrorsThenFatalDoc);
    BoxScript script;
    script.expect(parseBox(L"Error", path, L"line 2 column 8", "no declaration found for element 'b'"), L"Error",
                  IDCANCEL);

    EXPECT_EQ(parse(path), kLoadFailed);

    EXPECT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(countHandlers.cancelled, 1);
    EXPECT_TRUE(countHandlers.stopRequested());
    EXPECT_EQ(countHandlers.errorSeen, 1);
    // The parse ends with the tag that was cancelled: the fatal error further on is
    // never read, so nothing of it is counted, shown or logged.
    EXPECT_EQ(countHandlers.fatalSeen, 0);
    EXPECT_EQ(narrow(countHandlers.position), "line 2 column 8");
    EXPECT_EQ(dir.read(L"doc.xml.log"), "Error at line 2 column 8 : no declaration found for element 'b'\r\n");
    EXPECT_EQ(recordsInOrder(leftTreeView).size(), 0u);
}

TEST_F(ParseMessagesTest, OkGoesOnWithTheParse) {
    setSwitches(1, 0);
    std::wstring path = dir.write(L"doc.xml", "<!DOCTYPE r [<!ELEMENT r EMPTY>]>\n<r><b/></r>");
    BoxScript script;
    script.expectCaption(L"Error").expectCaption(L"Error");

    EXPECT_EQ(parse(path), kLoaded);

    EXPECT_EQ(countHandlers.cancelled, 0);
    EXPECT_EQ(countHandlers.errorSeen, 1);
    EXPECT_EQ(recordsInOrder(leftTreeView).size(), 3u);
}

TEST_F(ParseMessagesTest, MessageSwitchesOffShowNothing) {
    std::wstring path = dir.write(L"doc.xml", kMixedDoc);
    OptionSet::messageBoxes = 0;
    OptionSet::consoleOutput = 0;
    setSwitches(1, 0);
    EXPECT_EQ(parse(path), kLoadFailed);
    EXPECT_EQ(countHandlers.cancelled, 0);
    EXPECT_EQ(countHandlers.fatalSeen, 1);
}

struct LogPathCase {
    size_t length;  // units of the XML file's path
    int logging;
    bool logged;
};

TEST_F(ParseMessagesTest, LogPathMustLeaveRoomForItsExtension) {
    const LogPathCase cases[] = {
        {80, 1, true}, {255, 1, true}, {256, 1, false}, {259, 1, false}, {4000, 1, false}, {80, 0, false},
    };
    setSwitches(0, 1);
    // In a folder that does not exist, so that no log file can be left behind.
    std::wstring folder = dir.file(L"missing\\");
    for (const LogPathCase& c : cases) {
        SCOPED_TRACE(c.length);
        OptionSet::LogErrorMessages = c.logging;
        std::wstring path = folder + std::wstring(c.length - folder.size(), L'p');
        std::wmemset(countHandlers.logPath, L'#', 259);
        countHandlers.setLogPath(path.c_str());
        EXPECT_EQ(countHandlers.logPath, c.logged ? path + L".log" : L"");
        EXPECT_EQ(countHandlers.logFile, nullptr);
        countHandlers.error(parseException(L"broken", path.c_str(), 1, 2));
        countHandlers.closeLog();
    }
    countHandlers.errorSeen = 0;
}

TEST_F(ParseMessagesTest, NewLogPathClosesTheOpenLog) {
    setSwitches(0, 1);
    std::wstring first = dir.file(L"first.xml");
    countHandlers.setLogPath(first.c_str());
    countHandlers.error(parseException(L"first problem", first.c_str(), 3, 7));
    ASSERT_NE(countHandlers.logFile, nullptr);
    ASSERT_NE(countHandlers.logFile, INVALID_HANDLE_VALUE);
    // Open without delete sharing, so the file cannot go while the log holds it.
    EXPECT_FALSE(DeleteFileW((first + L".log").c_str()));

    countHandlers.setLogPath(dir.file(L"second.xml").c_str());
    EXPECT_EQ(countHandlers.logFile, nullptr);
    EXPECT_EQ(dir.read(L"first.xml.log"), "Error at line 3 column 7 : first problem\r\n");
    EXPECT_TRUE(DeleteFileW((first + L".log").c_str()));
}

TEST_F(ParseMessagesTest, UrlLogIsWwwLogInTheCurrentFolder) {
    setSwitches(0, 1);
    wchar_t savedFolder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, savedFolder);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));

    countHandlers.setLogPath(L"www");
    countHandlers.warning(parseException(L"only a warning", L"http://example.org/a.xml", 1, 1));
    countHandlers.fatalError(parseException(L"bad tag", L"http://example.org/a.xml", 4, 2));
    countHandlers.closeLog();

    SetCurrentDirectoryW(savedFolder);
    EXPECT_EQ(dir.read(L"www.log"), "Fatal error at line 4 column 2 : bad tag\r\n");
    countHandlers.fatalSeen = 0;
}

TEST_F(ParseMessagesTest, ReportTextsAreCutToTheirFields) {
    setSwitches(1, 1);
    std::wstring longMessage(2000, L'm');
    std::wstring longId(600, L's');
    countHandlers.setLogPath(dir.file(L"cut.xml").c_str());
    BoxScript script;
    script.expect(
        L"Error at " + longId.substr(0, 259) + L"\nline 3 column 4\n" + longMessage.substr(0, 511) + L"\nContinue?",
        L"Error");

    countHandlers.error(parseException(longMessage.c_str(), longId.c_str(), 3, 4));
    countHandlers.closeLog();

    EXPECT_EQ(std::wcslen(countHandlers.message), 511u);
    EXPECT_EQ(std::wcslen(countHandlers.systemId), 259u);
    EXPECT_EQ(dir.read(L"cut.xml.log"), "Error at line 3 column 4 : " + std::string(511, 'm') + "\r\n");
    countHandlers.errorSeen = 0;
}

// Points the standard output at a file until finish, which gives what was written.
class StandardOutputCapture {
public:
    explicit StandardOutputCapture(const TempDir& dir) : dir_(dir), saved_(GetStdHandle(STD_OUTPUT_HANDLE)) {
        file_ = CreateFileW(dir.file(L"stdout.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, file_);
    }
    ~StandardOutputCapture() { finish(); }
    StandardOutputCapture(const StandardOutputCapture&) = delete;
    StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;

    std::string finish() {
        if (file_ != nullptr) {
            SetStdHandle(STD_OUTPUT_HANDLE, saved_);
            CloseHandle(file_);
            file_ = nullptr;
        }
        return dir_.read(L"stdout.txt");
    }

private:
    const TempDir& dir_;
    HANDLE saved_;
    HANDLE file_;
};

struct ShowCase {
    const wchar_t* format;
    const wchar_t* argument;
    int boxes;
    int console;
    bool owned;
    const wchar_t* boxText;  // null: no box
    const char* consoleText;
};

TEST(ShowMessageTest, FillsTheFormatBreaksAtDollarAndFollowsTheSwitches) {
    const ShowCase cases[] = {
        {L"Exception message is:\n%s", L"no such file", 1, 0, true, L"Exception message is:\nno such file", ""},
        {L"Exception message is:\n%s", L" \t\r\n", 1, 0, true, L"Exception message is:\n%s", ""},
        {L"Exception message is:\n%s", nullptr, 1, 0, true, L"Exception message is:\n%s", ""},
        {L"Bad tag$Continue?", nullptr, 1, 1, false, L"Bad tag\nContinue?", "Bad tag\r\n"},
        {L"%s$Continue?", L"a$b", 1, 1, false, L"a\nb$Continue?", "a\r\n"},
        {L"No question here", nullptr, 0, 1, false, nullptr, "No question here\r\n"},
        {L"Owned boxes skip the console$Continue?", nullptr, 1, 1, true, L"Owned boxes skip the console\nContinue?",
         ""},
        {L"Nothing at all", nullptr, 0, 0, false, nullptr, ""},
        {L"Nothing owned", nullptr, 0, 1, true, nullptr, ""},
    };
    int32_t savedBoxes = OptionSet::messageBoxes;
    int32_t savedConsole = OptionSet::consoleOutput;
    TestPanels panels;
    TempDir dir;
    for (const ShowCase& c : cases) {
        SCOPED_TRACE(narrow(c.format));
        OptionSet::messageBoxes = c.boxes;
        OptionSet::consoleOutput = c.console;
        StandardOutputCapture output(dir);
        BoxScript script;
        if (c.boxText != nullptr) script.expect(c.boxText, L"Caption", IDRETRY);

        int answer = showMessage(c.format, c.argument, L"Caption", MB_RETRYCANCEL | MB_ICONWARNING,
                                 c.owned ? panels.window() : nullptr);

        EXPECT_EQ(answer, c.boxText != nullptr ? IDRETRY : 0);
        for (const BoxScript::Box& box : script.shown())
            EXPECT_EQ(box.type, static_cast<UINT>(MB_RETRYCANCEL | MB_ICONWARNING));
        EXPECT_EQ(output.finish(), c.consoleText);
    }
    OptionSet::messageBoxes = savedBoxes;
    OptionSet::consoleOutput = savedConsole;
}

TEST(ShowMessageTest, FilledTextIsCutAt1023Units) {
    std::wstring argument(3000, L'x');
    BoxScript script;
    script.expect(L"Exception message is:\n" + argument.substr(0, 1023 - 22), L"Exception");
    int32_t savedConsole = OptionSet::consoleOutput;
    OptionSet::consoleOutput = 0;
    showMessage(L"Exception message is:\n%s", argument.c_str(), L"Exception", MB_OK | MB_ICONWARNING, nullptr);
    OptionSet::consoleOutput = savedConsole;
}

struct BoxSeen {
    HWND owner;
    std::wstring topic;
    std::wstring caption;
};

TEST_F(ParseMessagesTest, BoxesNameTheirOwnerAndHelpTopic) {
    setSwitches(1, 0);
    std::vector<BoxSeen> seen;
    setBoxHandler([&seen](HWND owner, const wchar_t*, const wchar_t* caption, UINT) {
        seen.push_back(BoxSeen{owner, messageHelpTopic ? messageHelpTopic : L"<none>", caption});
        return IDOK;
    });
    countHandlers.warning(parseException(L"w", L"a.xml", 1, 1));
    showMessage(L"Exception message is:\n%s", L"boom", L"Exception", MB_OK | MB_ICONWARNING, boxOwnerWindow);
    SetLastError(ERROR_FILE_NOT_FOUND);
    showSystemError(L"XMLFileExists", L"a.xml");
    installUnexpectedBoxHandler();

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].owner, panels.window());
    EXPECT_EQ(narrow(seen[0].topic), "htm/validat.htm");
    EXPECT_EQ(seen[1].owner, panels.window());
    EXPECT_EQ(narrow(seen[1].topic), "htm/validat.htm");
    EXPECT_EQ(seen[2].owner, nullptr);
    EXPECT_EQ(narrow(seen[2].topic), "<none>");
    EXPECT_EQ(messageHelpTopic, nullptr);
}

std::wstring systemMessage(DWORD code) {
    wchar_t text[2048] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 2048, nullptr);
    return text;
}

TEST(ShowSystemErrorTest, MissingFileGivesOperationPathAndSystemMessage) {
    TempDir dir;
    std::wstring path = dir.file(L"missing.xml");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(file, INVALID_HANDLE_VALUE);
    std::wstring reason = systemMessage(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(reason.empty());

    BoxScript script;
    script.expect(L"XMLFileExists\n" + path + L"\n" + reason, L"Error");
    showSystemError(L"XMLFileExists", path.c_str(), -1);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].type, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

struct SystemErrorCase {
    const wchar_t* operation;
    const wchar_t* fileName;
    const wchar_t* lines;  // before the system's message
};

TEST(ShowSystemErrorTest, MissingNamesAreLeftOutWithTheirLines) {
    const SystemErrorCase cases[] = {
        {L"LoadOptions", nullptr, L"LoadOptions\n"},
        {nullptr, L"C:\\options.txt", L"C:\\options.txt\n"},
        {nullptr, nullptr, L""},
    };
    std::wstring reason = systemMessage(ERROR_ACCESS_DENIED);
    for (const SystemErrorCase& c : cases) {
        BoxScript script;
        script.expect(c.lines + reason, L"Error");
        SetLastError(ERROR_FILE_NOT_FOUND);
        showSystemError(c.operation, c.fileName, ERROR_ACCESS_DENIED);
    }
}

TEST(ShowSystemErrorTest, TextIsCutAt2047Units) {
    std::wstring longName(3000, L'n');
    BoxScript script;
    script.expect(L"ProcessWtiteToFile\n" + longName.substr(0, 2047 - 19), L"Error");
    showSystemError(L"ProcessWtiteToFile", longName.c_str(), ERROR_ACCESS_DENIED);
}

}  // namespace
