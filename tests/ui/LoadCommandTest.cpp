#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "model/Comparison.h"
#include "model/DocumentHandlers.h"
#include "model/ElementStore.h"
#include "model/MessageBox.h"
#include "model/NetworkReader.h"
#include "model/XMLTreeItem.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/PlainReader.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/CommandLine.h"
#include "ui/Commands.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"
#include "ui/TreeViews.h"

void installUnexpectedBoxHandler();

namespace {

const char kDocument[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><root><a x=\"1\">text</a><b/></root>";
// Validity errors only: the element declared empty has children.
const char kErrorsDocument[] = "<!DOCTYPE r [<!ELEMENT r EMPTY>]>\n<r><b/></r>\n";
const char kFatalDocument[] = "<r><a></r>";
// A second root element: a fatal error after the whole first element was read.
const char kSecondRootDocument[] = "<r><a/></r><r/>";
const char kMissingDTDDocument[] = "<!DOCTYPE r SYSTEM \"missing.dtd\">\n<r><a/></r>";

const wchar_t kFatalBox[] =
    L"There were some fatal error(s) during loading!\n\nFile is not loaded\n\nPlease correct the error(s) and then "
    L"try again";
const wchar_t kErrorBox[] = L"There were some error(s) during loading!\n\nFile is loaded";

std::wstring status() {
    return lastStatusMessage;
}

std::wstring comboEntry(HWND combo, int index) {
    wchar_t text[MAX_PATH] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) < MAX_PATH)
        SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring editText(const XMLTreeView& panel) {
    wchar_t text[MAX_PATH] = {};
    GetWindowTextW(panel.pathEdit, text, MAX_PATH);
    return text;
}

void tick(HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

class LoadCommandTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::ShowErrorMessages = 0;
        OptionSet::LogErrorMessages = 0;
        OptionSet::LoadSeparate = 1;
        OptionSet::LeftDir[0] = OptionSet::RightDir[0] = 0;
        start();
        tick(autoLoadBox, false);
        tick(autoCompareBox, false);
    }

public:
    void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }
};

// Every road into a panel ends the same way: the document, its name, its recent entry
// and the status text.
TEST_F(LoadCommandTest, EveryRoadLoadsThePanelAndReportsIt) {
    const std::wstring path = dir.write(L"road.xml", kDocument);
    struct Road {
        const char* what;
        XMLTreeView* panel;
        void (*load)(LoadCommandTest& test, const std::wstring& path);
    } roads[] = {
        {"Open First File", &leftTreeView,
         [](LoadCommandTest& t, const std::wstring& p) {
             DialogScript dialogs;
             dialogs.answer(p);
             t.command(IDM_OPEN_FIRST);
             ASSERT_EQ(dialogs.shown().size(), 1u);
             EXPECT_EQ(narrow(dialogs.shown()[0].title), "Open XML File");
             EXPECT_FALSE(dialogs.shown()[0].save);
         }},
        {"Open Second File", &rightTreeView,
         [](LoadCommandTest& t, const std::wstring& p) {
             DialogScript dialogs;
             dialogs.answer(p);
             t.command(IDM_OPEN_SECOND);
         }},
        {"path box", &rightTreeView,
         [](LoadCommandTest&, const std::wstring& p) {
             SetWindowTextW(rightTreeView.pathCombo, p.c_str());
             loadFromPathCombo(rightTreeView.pathCombo);
         }},
        {"dropped file", &leftTreeView,
         [](LoadCommandTest&, const std::wstring& p) { dropFiles(leftTreeView.tree, dropOf({p})); }},
        {"command line", &leftTreeView,
         [](LoadCommandTest&, const std::wstring& p) {
             std::wstring line = L"verdalt \"" + p + L"\"";
             processCommandLine(line.data());
         }},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.what);
        for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
            clearPanel(panel->tree, true);
            panel->fileName[0] = 0;
        }
        SendMessageW(road.panel->pathCombo, CB_RESETCONTENT, 0, 0);
        showStatusMessage(L"O#");

        road.load(*this, path);

        EXPECT_EQ(road.panel->loaded, 1);
        EXPECT_EQ(std::wstring(road.panel->fileName), path);
        EXPECT_EQ(narrow(status()), "O#Loaded successfully");
        EXPECT_EQ(comboEntry(road.panel->pathCombo, 0), path);
        EXPECT_STREQ(road.panel->outputEncoding.name, L"ISO-8859-1");
        EXPECT_NE(ElementStore::root(road.panel->tree), nullptr);
        EXPECT_EQ(GetFocus(), road.panel->tree);
    }
}

TEST_F(LoadCommandTest, EachLoadResultHasItsStatusBoxAndPanelState) {
    struct Case {
        const char* what;
        const char* xml;
        uint8_t continueAfterFatal;
        const wchar_t* box;  // null: none
        const wchar_t* caption;
        UINT boxType;
        const char* status;
        int loaded;
        uint8_t schemaValidation = 0;
    } cases[] = {
        {"well formed", kDocument, 0, nullptr, nullptr, 0, "O#Loaded successfully", 1},
        {"validity errors", kErrorsDocument, 0, kErrorBox, L"XML Parser Error", MB_ICONWARNING | MB_HELP,
         "E#Loaded with error(s)", 1},
        {"fatal error", kFatalDocument, 0, kFatalBox, L"XML Parser Fatal Error", MB_ICONERROR | MB_HELP,
         "E#Fatal error(s)", 0},
        // Read on past a fatal error, a document is still not a whole one.
        {"fatal error passed over", kSecondRootDocument, 1, nullptr, nullptr, 0, "E#Fatal error(s)", 1},
        {"fatal error passed over in the content", kFatalDocument, 1, nullptr, nullptr, 0, "E#Fatal error(s)", 1},
        // The parse ends in the prolog: nothing to show, so nothing is loaded.
        {"fatal error passed over before the root", kMissingDTDDocument, 1, kFatalBox, L"XML Parser Fatal Error",
         MB_ICONERROR | MB_HELP, "E#Fatal error(s)", 0, 2},
        {"an external DTD out of reach", kMissingDTDDocument, 0, nullptr, nullptr, 0,
         "W#Loaded without the external DTD (the file cannot be opened): missing.dtd", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OptionSet::ContinueAfterFatalError = c.continueAfterFatal;
        OptionSet::SchemaValidation = c.schemaValidation;
        std::vector<const wchar_t*> topics;
        std::vector<UINT> types;
        setBoxHandler([&](HWND, const wchar_t* text, const wchar_t* caption, UINT type) {
            topics.push_back(messageHelpTopic);
            types.push_back(type);
            EXPECT_NE(c.box, nullptr) << "unexpected box: " << narrow(text);
            if (c.box != nullptr) {
                EXPECT_EQ(narrow(text), narrow(c.box));
                EXPECT_EQ(narrow(caption), narrow(c.caption));
            }
            return IDOK;
        });
        load(leftTreeView, c.xml, L"result.xml");
        installUnexpectedBoxHandler();

        EXPECT_EQ(narrow(status()), c.status);
        EXPECT_EQ(leftTreeView.loaded, c.loaded);
        EXPECT_EQ(leftTreeView.fileName[0] != 0, c.loaded != 0);
        EXPECT_EQ(ElementStore::root(leftTreeView.tree) != nullptr, c.loaded != 0);
        ASSERT_EQ(types.size(), c.box != nullptr ? 1u : 0u);
        if (c.box != nullptr) {
            EXPECT_EQ(types[0], c.boxType);
            EXPECT_STREQ(topics[0], L"htm/validat.htm");
        }
        EXPECT_EQ(messageHelpTopic, nullptr);
    }
}

TEST_F(LoadCommandTest, CancelInAParseMessageStopsTheLoad) {
    OptionSet::ShowErrorMessages = 1;
    BoxScript boxes;
    boxes.expectCaption(L"Error", IDCANCEL);
    load(leftTreeView, kErrorsDocument, L"errors.xml");
    EXPECT_EQ(narrow(status()), "W#Canceled");
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(SendMessageW(leftTreeView.pathCombo, CB_GETCOUNT, 0, 0), 0) << "no recent entry";
}

// A URL is not checked for existence; nothing listens at this one, which the parser
// reports as a fatal error. Its log is "www.log" in the current folder, closed again.
TEST_F(LoadCommandTest, AnUnreachableURLFailsWithItsLogClosed) {
    OptionSet::LogErrorMessages = 1;
    load(leftTreeView, kDocument, L"before.xml");
    SendMessageW(leftTreeView.pathCombo, CB_RESETCONTENT, 0, 0);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.path().c_str());

    BoxScript boxes;
    boxes.expect(kFatalBox, L"XML Parser Fatal Error");
    SetWindowTextW(leftTreeView.pathCombo, L"http://127.0.0.1:1/nothing.xml");
    loadFromPathCombo(leftTreeView.pathCombo);
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(ElementStore::root(leftTreeView.tree), nullptr);
    EXPECT_STREQ(leftTreeView.fileName, L"");
    EXPECT_EQ(countHandlers.logFile, nullptr);
    EXPECT_NE(dir.read(L"www.log").find("Fatal error at"), std::string::npos);
    EXPECT_EQ(SendMessageW(leftTreeView.pathCombo, CB_GETCOUNT, 0, 0), 0) << "no recent entry";
    DeleteFileW(dir.file(L"www.log").c_str());
}

// Cancel in a parse-message box ends that parse only: a URL that cannot be opened next
// is still reported in its own box and in its log.
TEST_F(LoadCommandTest, AnUnreachableURLAfterACancelledParseIsReported) {
    OptionSet::ShowErrorMessages = 1;
    OptionSet::LogErrorMessages = 1;
    {
        BoxScript boxes;
        boxes.expectCaption(L"Error", IDCANCEL);
        load(leftTreeView, "<!DOCTYPE r [<!ELEMENT r EMPTY>]><r>x</r>", L"invalid.xml");
    }
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.path().c_str());
    BoxScript boxes;
    boxes.expectCaption(L"Fatal error", IDOK);
    boxes.expect(kFatalBox, L"XML Parser Fatal Error");
    SetWindowTextW(leftTreeView.pathCombo, L"http://127.0.0.1:1/nothing.xml");
    loadFromPathCombo(leftTreeView.pathCombo);
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(boxes.shown().size(), 2u);
    EXPECT_NE(dir.read(L"www.log").find("Fatal error at"), std::string::npos);
    DeleteFileW(dir.file(L"www.log").c_str());
}

// An Atom feed long enough that half of it leaves the parser wanting more.
std::string feedDocument() {
    std::string feed = "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Feed</title>";
    for (int i = 0; i < 200; ++i)
        feed +=
            "<entry><id>urn:entry:" + std::to_string(i) + "</id><title>Entry " + std::to_string(i) + "</title></entry>";
    return feed + "</feed>";
}

// A server that accepts the request and then sends nothing more, before its first byte or
// after half the document (with the whole length announced), ends the load with a message
// that names the address, not the program: meanwhile the window answers messages. The
// panel is left as after any failed load, and the next load from the same server works.
TEST_F(LoadCommandTest, AStalledServerFailsTheLoadWhileTheWindowAnswers) {
    OptionSet::ShowErrorMessages = 1;
    const DWORD kLimit = 2000;
    SilenceLimit limit(kLimit);
    struct StallCase {
        const char* name;
        LoopbackServer::Options::Stall stall;
    };
    const StallCase cases[] = {
        {"before the first byte", LoopbackServer::Options::Stall::kBeforeReply},
        {"after half the document", LoopbackServer::Options::Stall::kHalfway},
    };
    for (const StallCase& c : cases) {
        SCOPED_TRACE(c.name);
        load(leftTreeView, kDocument, L"before.xml");
        std::atomic<bool> answered{false};
        LoopbackServer::Options options;
        options.requests = 2;
        options.stall = c.stall;
        options.whileStalled = [&answered] {
            DWORD_PTR result = 0;
            answered = SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 1500, &result) != 0;
        };
        LoopbackServer server(feedDocument(), options);
        const std::wstring url = server.url(L"/atom1.xml");
        {
            BoxScript boxes;
            boxes.expectCaption(L"Fatal error");
            boxes.expect(kFatalBox, L"XML Parser Fatal Error");
            SetWindowTextW(leftTreeView.pathCombo, url.c_str());
            EXPECT_EQ(loadFromPathCombo(leftTreeView.pathCombo), kLoadFailed);
            ASSERT_EQ(boxes.shown().size(), 2u);
            const std::wstring& message = boxes.shown()[0].text;
            EXPECT_EQ(message.rfind(L"Fatal error at " + url + L"\n", 0), 0u) << narrow(message);
            EXPECT_NE(message.find(networkSilenceText(url.c_str(), kLimit)), std::wstring::npos) << narrow(message);
            // Halfway, the message says where the document stopped coming.
            const bool halfway = c.stall == LoopbackServer::Options::Stall::kHalfway;
            EXPECT_EQ(message.find(L"\nline 0 column 0\n") == std::wstring::npos, halfway) << narrow(message);
        }
        EXPECT_TRUE(answered) << "the window answered while the load waited";
        EXPECT_EQ(narrow(status()), "E#Fatal error(s)");
        EXPECT_EQ(leftTreeView.loaded, 0);
        EXPECT_EQ(ElementStore::root(leftTreeView.tree), nullptr);
        EXPECT_EQ(editText(leftTreeView), L"");
        EXPECT_EQ(comboEntry(leftTreeView.pathCombo, 0), dir.file(L"before.xml")) << "the address is not listed";

        BoxScript none;
        SetWindowTextW(leftTreeView.pathCombo, url.c_str());
        EXPECT_EQ(loadFromPathCombo(leftTreeView.pathCombo), kLoaded);
        EXPECT_EQ(server.requests(), 2);
        XMLTreeItem* last = elementNamed(leftTreeView, L"entry");
        EXPECT_NE(last, nullptr);
        EXPECT_EQ(narrow(status()), "O#Loaded successfully");
    }
}

// Esc stops a load that waits for the network, as Cancel in a parse-message box does:
// no box, the panel empty, the status "W#Canceled". Other keys and clicks meanwhile are
// dropped, as under a modal box.
TEST_F(LoadCommandTest, EscStopsALoadThatWaitsForTheNetwork) {
    load(leftTreeView, kDocument, L"before.xml");
    LoopbackServer::Options options;
    options.requests = 1;
    options.stall = LoopbackServer::Options::Stall::kHalfway;
    HWND tree = leftTreeView.tree;
    options.whileStalled = [tree] {
        PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(tree, WM_KEYDOWN, 'A', 0);
        PostMessageW(tree, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    LoopbackServer server(feedDocument(), options);
    BoxScript none;
    SetWindowTextW(leftTreeView.pathCombo, server.url(L"/atom1.xml").c_str());
    EXPECT_EQ(loadFromPathCombo(leftTreeView.pathCombo), kLoadFailed);
    EXPECT_EQ(narrow(status()), "W#Canceled");
    EXPECT_EQ(leftTreeView.loaded, 0);
    EXPECT_EQ(ElementStore::root(leftTreeView.tree), nullptr);
    EXPECT_FALSE(isParseRunning());
    MSG left{};
    EXPECT_FALSE(PeekMessageW(&left, tree, WM_KEYFIRST, WM_MOUSELAST, PM_NOREMOVE)) << "the input went with the wait";
}

// A cancelled dialog or a missing file leaves the document that is loaded as it was,
// with its encoding, its folder and its entities.
TEST_F(LoadCommandTest, ACancelledDialogOrAMissingFileKeepsTheLoadedDocument) {
    const std::wstring path = load(leftTreeView, kDocument, L"kept.xml");
    ASSERT_EQ(leftTreeView.loaded, 1);
    XMLTreeItem* root = ElementStore::record(leftTreeView.tree, ElementStore::root(leftTreeView.tree));
    const std::wstring missing = dir.file(L"missing.xml");
    SendMessageW(leftTreeView.pathCombo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(missing.c_str()));
    wcscpy(leftTreeView.folder, L"C:\\somewhere\\");
    const EntityTable* entities = leftTreeView.entityTable.get();

    struct Case {
        const char* what;
        void (*load)(const std::wstring& missing);
    } cases[] = {
        {"cancelled dialog",
         [](const std::wstring&) {
             DialogScript dialogs;
             dialogs.cancel();
             EXPECT_EQ(leftTreeView.loadDocument(mainWindow, nullptr, 1, 1), kLoadCancelled);
         }},
        {"missing file typed into the path box",
         [](const std::wstring& m) {
             BoxScript boxes;
             boxes.expectCaption(L"Error");
             SetWindowTextW(leftTreeView.pathCombo, m.c_str());
             EXPECT_EQ(loadFromPathCombo(leftTreeView.pathCombo), kLoadCancelled);
             ASSERT_EQ(boxes.shown().size(), 1u);
             EXPECT_NE(boxes.shown()[0].text.find(L"XMLFileExists"), std::wstring::npos);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.load(missing);
        EXPECT_EQ(leftTreeView.loaded, 1);
        EXPECT_EQ(std::wstring(leftTreeView.fileName), path);
        EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::root(leftTreeView.tree)), root);
        EXPECT_STREQ(leftTreeView.outputEncoding.name, L"ISO-8859-1");
        EXPECT_STREQ(leftTreeView.folder, L"C:\\somewhere\\");
        EXPECT_EQ(leftTreeView.entityTable.get(), entities);
        EXPECT_EQ(editText(leftTreeView), path) << "the edit field shows the document still loaded";
    }
    EXPECT_EQ(SendMessageW(leftTreeView.pathCombo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(missing.c_str())),
              CB_ERR)
        << "the missing file's entry is gone";
}

// Whatever form a local path is typed in, the one path Windows opens is what is checked,
// parsed and named in the panel, the path box, the recent list and the title; a path that
// cannot be opened leaves the loaded document, its name and the title as they were.
TEST_F(LoadCommandTest, EveryFormOfALocalPathLoadsTheFileItNames) {
    // Under Wine a leading slash may also name the Unix root, which is Z:: in a folder on
    // Z:, with Z: the current drive, both readings name the same file.
    struct Folder {
        std::wstring path = L"Z:\\tmp\\verdalt-paths-" + std::to_wstring(GetCurrentProcessId());
        // Blanks, "#", "%" and a letter beyond ASCII: the parser takes none of them for URL syntax.
        std::wstring file = path + L"\\typed #1 %41 \u00e9.xml";
        Folder() {
            CreateDirectoryW(path.c_str(), nullptr);
            HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            WriteFile(h, kDocument, sizeof(kDocument) - 1, &written, nullptr);
            CloseHandle(h);
        }
        ~Folder() {
            DeleteFileW(file.c_str());
            RemoveDirectoryW(path.c_str());
        }
    } folderOnZ;
    const std::wstring& here = folderOnZ.path;
    const std::wstring& full = folderOnZ.file;
    ASSERT_NE(GetFileAttributesW(full.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring drive = L"Z:";
    std::wstring slashed = full.substr(2);
    for (wchar_t& unit : slashed)
        if (unit == L'\\') unit = L'/';
    const std::wstring folder = slashed.substr(0, slashed.rfind(L'/'));
    // Declared after the folder: the current folder is put back before the folder is removed.
    const CurrentFolderGuard currentFolder;
    ASSERT_TRUE(currentFolder.enter(here));
    const struct Case {
        const char* what;
        std::wstring typed;
        bool loads;
    } cases[] = {
        {"forward slashes from the drive's root", slashed, true},
        {"a drive letter and forward slashes", drive + slashed, true},
        {"a relative name", L"typed #1 %41 \u00e9.xml", true},
        {"a relative path with forward slashes", L"sub/../typed #1 %41 \u00e9.xml", true},
        {"a missing file with forward slashes", folder + L"/missing.xml", false},
        {"a path too long for a panel", std::wstring(300, L'n') + L".xml", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring before = load(leftTreeView, kDocument, L"before.xml");
        const XMLTreeItem* root = ElementStore::record(leftTreeView.tree, ElementStore::root(leftTreeView.tree));
        wchar_t title[1024] = {};
        GetWindowTextW(mainWindow, title, 1024);
        const std::wstring titleBefore = title;
        ASSERT_EQ(titleBefore, before + L" -  [Verdalt]") << "a load names its file in the title";
        {
            BoxScript boxes;
            if (!c.loads) boxes.expectCaption(L"Error");
            SetWindowTextW(leftTreeView.pathCombo, c.typed.c_str());
            loadFromPathCombo(leftTreeView.pathCombo);
            if (!c.loads) {
                ASSERT_EQ(boxes.shown().size(), 1u);
                EXPECT_NE(boxes.shown()[0].text.find(L"XMLFileExists"), std::wstring::npos);
            }
        }
        GetWindowTextW(mainWindow, title, 1024);
        EXPECT_EQ(leftTreeView.loaded, 1);
        if (c.loads) {
            EXPECT_EQ(narrow(status()), "O#Loaded successfully");
            EXPECT_EQ(std::wstring(leftTreeView.fileName), full);
            EXPECT_EQ(editText(leftTreeView), full);
            EXPECT_EQ(comboEntry(leftTreeView.pathCombo, 0), full);
            EXPECT_EQ(std::wstring(title), full + L" -  [Verdalt]");
            EXPECT_NE(ElementStore::root(leftTreeView.tree), nullptr);
        } else {
            EXPECT_EQ(ElementStore::record(leftTreeView.tree, ElementStore::root(leftTreeView.tree)), root)
                << "the document loaded before is still there";
            EXPECT_EQ(std::wstring(leftTreeView.fileName), before);
            EXPECT_EQ(editText(leftTreeView), before);
            EXPECT_EQ(std::wstring(title), titleBefore);
        }
    }
}

TEST_F(LoadCommandTest, TheFileOfTheSameNameFollowsIntoTheOtherPanel) {
    TempDir leftDir, rightDir;
    const std::wstring chosen = leftDir.write(L"x.xml", kDocument);
    const std::wstring same = rightDir.write(L"x.xml", "<root><a/></root>");
    tick(autoLoadBox, true);

    struct Case {
        const char* what;
        int loadSeparate;
        bool autoLoadTicked;
        bool otherFolderSet;
        bool otherFileThere;
        bool followed;
    } cases[] = {
        {"all conditions hold", 1, true, true, true, true},
        {"LoadSeparate is off", 0, true, true, true, false},
        {"the AutoLoad box is clear", 1, false, true, true, false},
        {"the other panel has no folder", 1, true, false, true, false},
        {"the other file is missing", 1, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearPanel(leftTreeView.tree, true);
        clearPanel(rightTreeView.tree, true);
        rightTreeView.fileName[0] = 0;
        OptionSet::LoadSeparate = c.loadSeparate;
        tick(autoLoadBox, c.autoLoadTicked);
        tick(autoCompareBox, true);
        wcscpy(leftTreeView.folder, leftDir.path().c_str());
        wcscpy(rightTreeView.folder, c.otherFolderSet ? (rightDir.path() + L"\\").c_str() : L"");
        if (!c.otherFileThere) DeleteFileW(same.c_str());

        DialogScript dialogs;
        dialogs.answer(chosen);
        BoxScript boxes;
        if (c.loadSeparate && c.autoLoadTicked && c.otherFolderSet && !c.otherFileThere) boxes.expectCaption(L"Error");
        command(IDM_OPEN_FIRST);

        EXPECT_EQ(leftTreeView.loaded, 1);
        if (c.loadSeparate) {
            EXPECT_EQ(std::wstring(leftTreeView.folder), leftDir.path() + L"\\") << "the dialog keeps where it went";
        } else {
            EXPECT_STREQ(leftTreeView.folder, L"");
        }
        EXPECT_EQ(rightTreeView.loaded, c.followed ? 1 : 0);
        if (c.followed) {
            EXPECT_EQ(std::wstring(rightTreeView.fileName), same);
            EXPECT_STREQ(rightTreeView.folder, L"") << "a load without the dialog empties the folder";
        }
        if (!c.otherFileThere && c.loadSeparate) {
            EXPECT_EQ(filesCompared, 0) << "no comparison after a missing file";
        }
        if (!c.otherFileThere) rightDir.write(L"x.xml", "<root><a/></root>");
    }
}

// A parse-message box pumps messages: a load asked for meanwhile must wait its turn,
// not start a second parse into the same handlers.
TEST_F(LoadCommandTest, NoLoadStartsWhileAParseIsRunning) {
    OptionSet::ShowErrorMessages = 1;
    const std::wstring other = dir.write(L"other.xml", kDocument);
    SetWindowTextW(rightTreeView.pathCombo, other.c_str());
    int boxes = 0;
    setBoxHandler([&](HWND, const wchar_t*, const wchar_t* caption, UINT) {
        ++boxes;
        if (std::wstring(caption) == L"Error") {
            EXPECT_TRUE(isParseRunning());
            loadFromPathCombo(rightTreeView.pathCombo);
            dropFiles(rightTreeView.tree, dropOf({other}));
            EXPECT_EQ(rightTreeView.loaded, 0) << "ignored while the parse runs";
        }
        return IDOK;
    });
    load(leftTreeView, kErrorsDocument, L"errors.xml");
    installUnexpectedBoxHandler();
    EXPECT_GE(boxes, 2) << "the parse message and the load result";
    EXPECT_EQ(leftTreeView.loaded, 1);
    EXPECT_FALSE(isParseRunning());
    loadFromPathCombo(rightTreeView.pathCombo);
    EXPECT_EQ(rightTreeView.loaded, 1) << "afterwards loads run again";
}

// The records of a cleared panel are freed: no selection, partner or navigation target
// of the other side may still point at them.
TEST_F(LoadCommandTest, ReloadingOnePanelLeavesNothingPointingAtItsOldRecords) {
    load(leftTreeView, "<r><a>1</a><b/></r>", L"left.xml");
    load(rightTreeView, "<r><a>2</a><b/></r>", L"right.xml");
    XMLTreeItem* leftRoot = ElementStore::record(leftTreeView.tree, ElementStore::root(leftTreeView.tree));
    XMLTreeItem* rightRoot = ElementStore::record(rightTreeView.tree, ElementStore::root(rightTreeView.tree));
    compareTrees(leftRoot, rightRoot);
    filesCompared = 1;
    tick(autoSelectBox, true);
    XMLTreeItem* a = ElementStore::record(leftTreeView.tree, ElementStore::child(leftTreeView.tree, leftRoot->treeItem));
    SetFocus(leftTreeView.tree);
    ElementStore::select(leftTreeView.tree, a->treeItem);
    ASSERT_EQ(currentElement, a);
    ASSERT_NE(currentPartner, nullptr);
    ASSERT_EQ(currentPartner->treeView, rightTreeView.tree);

    load(rightTreeView, "<r><a>3</a></r>", L"right2.xml");
    EXPECT_EQ(currentPartner, nullptr);
    EXPECT_EQ(currentNavigator, nullptr);
    EXPECT_EQ(filesCompared, 0);
    EXPECT_EQ(a->partner, nullptr);
}

// Two pages offline, each without its DTD: the references only the DTD declares decide
// the comparison as written, the warning stays in the status bar after the automatic
// comparison, and a saved element writes the references back as they stand.
TEST_F(LoadCommandTest, ReferencesKeptWithoutTheDTDCompareAndSaveAsWritten) {
    OptionSet::SchemaValidation = 0;
    OptionSet::OpenAfterSave = 0;
    OptionSet::UseEncoding = 0;
    OptionSet::InsertPI = 0;
    OptionSet::PrintDoctype = 0;
    tick(autoCompareBox, true);
    auto page = [](const std::string& p) {
        return "<!DOCTYPE html SYSTEM \"missing.dtd\">\n<html><h>&amp; &lt;</h>" + p + "</html>";
    };
    const std::string left = page("<p title=\"x&nbsp;y\">a&nbsp;b</p>");
    const std::string leftNote =
        "Left: Loaded without the external DTD, 2 entity references kept as written (the file cannot be opened): "
        "missing.dtd";
    struct Case {
        const char* what;
        std::string right;
        bool identical;
        const char* rightNote;  // after the left's in the status bar; null: none
    } cases[] = {
        {"the same references", page("<p title=\"x&nbsp;y\">a&nbsp;b</p>"), true,
         "Right: Loaded without the external DTD, 2 entity references kept as written"},
        {"another reference in the text", page("<p title=\"x&nbsp;y\">a&copy;b</p>"), false,
         "Right: Loaded without the external DTD, 2 entity references kept as written"},
        {"another reference in the attribute", page("<p title=\"x&copy;y\">a&nbsp;b</p>"), false,
         "Right: Loaded without the external DTD, 2 entity references kept as written"},
        {"no reference", page("<p title=\"xy\">ab</p>"), false,
         "Right: Loaded without the external DTD (the file cannot be opened): missing.dtd"},
        {"text that reads like the reference", page("<p title=\"x&amp;nbsp;y\">a&amp;nbsp;b</p>"), false,
         "Right: Loaded without the external DTD (the file cannot be opened): missing.dtd"},
        {"no DTD at all", "<html><h>&amp; &lt;</h><p title=\"x&amp;nbsp;y\">a&amp;nbsp;b</p></html>", false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emptyBothPanels();
        load(leftTreeView, left, L"left.xml");
        load(rightTreeView, c.right, L"right.xml");
        ASSERT_EQ(filesCompared, 1);
        EXPECT_EQ(comparisonCounters.differentCount == 0, c.identical);
        const std::string shown = narrow(status());
        EXPECT_EQ(shown.rfind(c.identical ? "W#Two XML Documents are identical ! " : "W#Identical: ", 0), 0u)
            << shown;
        if (!c.identical) {
            // Every count of the summary, on one line before the notes.
            const std::string counts = "Different: " + std::to_string(comparisonCounters.differentCount) +
                                       ", Ignored: " + std::to_string(comparisonCounters.ignoredCount) + ". Left: ";
            EXPECT_NE(shown.find(", Deleted: "), std::string::npos) << shown;
            EXPECT_NE(shown.find(", Added: "), std::string::npos) << shown;
            EXPECT_NE(shown.find(counts), std::string::npos) << shown;
        }
        EXPECT_NE(shown.find(leftNote), std::string::npos) << shown;
        if (c.rightNote != nullptr) {
            EXPECT_NE(shown.find(c.rightNote), std::string::npos) << shown;
        } else {
            EXPECT_EQ(shown.find("Right: "), std::string::npos) << shown;
        }
    }

    XMLTreeItem* p = elementNamed(leftTreeView, L"html");
    ASSERT_NE(p, nullptr);
    ElementStore::select(leftTreeView.tree, nullptr);
    ElementStore::select(leftTreeView.tree, p->treeItem);
    DialogScript dialogs;
    dialogs.answer(dir.file(L"saved.xml"));
    BoxScript boxes;
    command(IDM_SAVE_ELEMENT);
    // The saved page reads as the page did: a parser that leaves the DTD out finds nothing
    // wrong, and the program reads the same references and the same escaped text back.
    const std::wstring saved = dir.file(L"saved.xml");
    EXPECT_EQ(plain_reader::problemsOf(saved), "") << dir.read(L"saved.xml");
    ASSERT_EQ(parseIntoPanel(rightTreeView, saved.c_str()), kLoaded) << dir.read(L"saved.xml");
    EXPECT_EQ(std::wstring(rightTreeView.doctypeName), L"html");
    EXPECT_EQ(std::wstring(rightTreeView.doctypeSystemId), L"missing.dtd");
    const std::wstring kept = std::wstring(1, kKeptReferenceMark) + L"nbsp;";
    const XMLTreeItem* h = elementNamed(rightTreeView, L"h");
    const XMLTreeItem* savedP = elementNamed(rightTreeView, L"p");
    ASSERT_NE(h, nullptr);
    ASSERT_NE(savedP, nullptr);
    EXPECT_EQ(std::wstring(h->text, h->textLength), L"& <");
    EXPECT_EQ(std::wstring(savedP->text, savedP->textLength), L"a" + kept + L"b");
    EXPECT_EQ(std::wstring(savedP->attributes, savedP->attributesLength),
              L"title=" + std::wstring(1, kAttributeOpenQuote) + L"x" + kept + L"y" + kAttributeCloseQuote);
}

}  // namespace
