#include "ui/editor/UnsavedEdits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/FileWriter.h"
#include "tests/ui/EditorFixture.h"
#include "ui/CompareCommand.h"
#include "ui/Layout.h"
#include "ui/Menus.h"
#include "ui/StatusBar.h"
#include "ui/Toolbars.h"

namespace {

const std::string kLeft = "<root>\n<x/>\n</root>\n";
const std::string kEdited = "<root>\n<new/><x/>\n</root>\n";
const std::string kOther = "<other>\n<z/>\n</other>\n";
// left.xml as another program left it: it no longer parses.
const std::string kBroken = "<root>\n<x>\n</root>\n";
const wchar_t kFatalBox[] =
    L"There were some fatal error(s) during loading!\n\nFile is not loaded\n\n"
    L"Please correct the error(s) and then try again";

// What the editor's text looks like: a line break is one position.
std::wstring shown(const std::string& bytes) {
    std::wstring out;
    for (char c : bytes)
        out += c == '\n' ? L'\r' : static_cast<wchar_t>(c);
    return out;
}

enum class Action { kOpen, kPathBox, kDrop, kAutoLoad, kReload, kReloadQuestion, kCloseEditor, kExit, kCloseBox };
enum class Answer { kYes, kNo, kCancel, kYesFailingSave };

class UnsavedEditsTest : public EditorFixture {
protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        EditorFixture::TearDown();
    }

    // The file of the same name as left.xml in another folder, for AutoLoad.
    TempDir second;

    // left.xml in the left panel, open in the editor. Kept: the file then changed on
    // disk and its reload failed, and the editor kept the text it had. Then "<new/>" is
    // typed before <x/>.
    void editLeft(bool kept = false) {
        if (mainWindow == nullptr) start();
        leftTreeView.folder[0] = rightTreeView.folder[0] = 0;
        load(leftTreeView, kLeft, L"left.xml");
        load(rightTreeView, "<root><y/></root>", L"right.xml");
        openAt(elementNamed(leftTreeView, L"x"));
        ASSERT_NE(leftTreeView.editor, nullptr);
        if (kept) keepAfterAFailedReload();
        select(leftTreeView.editor, 7, 7);
        SendMessageW(leftTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<new/>"));
        pump();
        ASSERT_EQ(leftTreeView.editorModified, 1);
    }

    void keepAfterAFailedReload() {
        dir.write(L"left.xml", kBroken);
        {
            BoxScript boxes;
            boxes.expectCaption(L"Fatal error", IDNO).expect(kFatalBox, L"XML Parser Fatal Error");
            SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
            pump();
        }
        ASSERT_EQ(leftTreeView.loaded, 0);
        ASSERT_EQ(text(leftTreeView.editor), shown(kLeft));
        // The text is what the file held when it was read: nothing of the user's to save.
        ASSERT_EQ(leftTreeView.editorModified, 0);
    }

    void run(Action action) {
        switch (action) {
            case Action::kOpen: {
                DialogScript dialogs;
                dialogs.answer(dir.file(L"other.xml"));
                SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_FIRST, 0);
                break;
            }
            case Action::kPathBox:
                SetWindowTextW(leftTreeView.pathCombo, dir.file(L"other.xml").c_str());
                loadFromPathCombo(leftTreeView.pathCombo);
                break;
            case Action::kDrop:
                dropFiles(leftTreeView.tree, dropOf({dir.file(L"other.xml")}));
                break;
            case Action::kAutoLoad: {
                // The right panel's Open brings left.xml of the left panel's folder along.
                second.write(L"left.xml", "<root><y/></root>");
                OptionSet::LoadSeparate = 1;
                SendMessageW(autoLoadBox, BM_SETCHECK, BST_CHECKED, 0);
                std::wcscpy(leftTreeView.folder, (dir.path() + L"\\").c_str());
                std::wcscpy(rightTreeView.folder, (second.path() + L"\\").c_str());
                DialogScript dialogs;
                dialogs.answer(second.file(L"left.xml"));
                SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_SECOND, 0);
                SendMessageW(autoLoadBox, BM_SETCHECK, BST_UNCHECKED, 0);
                break;
            }
            case Action::kReload:
                SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
                break;
            case Action::kReloadQuestion:
                reloadAfterChange(mainWindow, false);
                break;
            case Action::kCloseEditor: {
                // Whatever the answer, closing the window asks for no file.
                DialogScript dialogs;
                click(contentPane.closeButton);
                EXPECT_TRUE(dialogs.shown().empty());
                break;
            }
            case Action::kExit:
                SendMessageW(mainWindow, WM_COMMAND, IDM_EXIT, 0);
                break;
            case Action::kCloseBox:
                SendMessageW(mainWindow, WM_CLOSE, 0, 0);
                break;
        }
        pump();
    }
};

TEST_F(UnsavedEditsTest, EveryRoadThatDropsAModifiedTextAsksFirst) {
    dir.write(L"other.xml", kOther);
    struct Case {
        Action action;
        const char* name;
        bool loadsOther;  // a load of other.xml; otherwise left.xml is loaded again or the editor goes
        bool editorGoes;
        bool windowGoes;
        bool kept = false;  // the text was kept after a failed reload, then changed
    };
    const Case cases[] = {
        {Action::kOpen, "Open", true, false, false},
        {Action::kPathBox, "path box", true, false, false},
        {Action::kDrop, "drag and drop", true, false, false},
        {Action::kAutoLoad, "AutoLoad from the other panel's Open", false, false, false},
        {Action::kReload, "Reload", false, false, false},
        {Action::kReloadQuestion, "reload question", false, false, false},
        {Action::kCloseEditor, "close the editor window", false, true, false},
        {Action::kExit, "Exit", false, true, true},
        {Action::kCloseBox, "the window's close box", false, true, true},
        {Action::kOpen, "kept text, Open", true, false, false, true},
        {Action::kCloseEditor, "kept text, close the editor window", false, true, false, true},
        {Action::kExit, "kept text, Exit", false, true, true, true},
    };
    struct Reply {
        Answer answer;
        const char* name;
    };
    const Reply replies[] = {{Answer::kYes, "Yes"},
                             {Answer::kNo, "No"},
                             {Answer::kCancel, "Cancel"},
                             {Answer::kYesFailingSave, "Yes, save fails"}};
    for (const Case& c : cases) {
        for (const Reply& r : replies) {
            SCOPED_TRACE(std::string(c.name) + " / " + r.name);
            editLeft(c.kept);
            const std::wstring path = dir.file(L"left.xml");
            {
                BoxScript boxes;
                if (c.action == Action::kReloadQuestion) boxes.expectCaption(L"Options were changed", IDYES);
                const bool yes = r.answer == Answer::kYes || r.answer == Answer::kYesFailingSave;
                boxes.expect(L"Save changes to " + path + L"?", L"Verdalt",
                             yes                       ? IDYES
                             : r.answer == Answer::kNo ? IDNO
                                                       : IDCANCEL);
                if (r.answer == Answer::kYesFailingSave) {
                    setWriteFailureAfter(0);
                    boxes.expectCaption(L"Error");
                }
                run(c.action);
                setWriteFailureAfter(-1);
            }
            const bool kept = r.answer == Answer::kCancel || r.answer == Answer::kYesFailingSave;
            EXPECT_TRUE(dir.read(L"left.xml") == (r.answer == Answer::kYes ? kEdited : c.kept ? kBroken : kLeft));
            if (kept) {
                // Nothing happened: the window, the document (none for a kept text) and
                // the typed text stay.
                ASSERT_NE(mainWindow, nullptr);
                ASSERT_NE(leftTreeView.editor, nullptr);
                EXPECT_EQ(text(leftTreeView.editor), shown(kEdited));
                EXPECT_EQ(leftTreeView.editorModified, 1);
                EXPECT_STREQ(leftTreeView.fileName, path.c_str());
                EXPECT_EQ(elementNamed(leftTreeView, L"x") != nullptr, !c.kept);
                if (!c.kept) {
                    wchar_t box[kPathUnits] = {};
                    GetWindowTextW(leftTreeView.pathCombo, box, kPathUnits);
                    EXPECT_STREQ(box, path.c_str());
                }
            } else if (c.windowGoes) {
                EXPECT_EQ(mainWindow, nullptr);
            } else if (c.editorGoes) {
                EXPECT_EQ(contentPane.window, nullptr);
                EXPECT_EQ(leftTreeView.editor, nullptr);
                // A saved text is what the tree shows from then on, a kept one's as well.
                EXPECT_EQ(elementNamed(leftTreeView, L"new") != nullptr, r.answer == Answer::kYes);
                EXPECT_EQ(leftTreeView.loaded, r.answer == Answer::kYes || !c.kept ? 1 : 0);
            } else {
                ASSERT_NE(leftTreeView.editor, nullptr);
                const std::string now = c.loadsOther ? kOther : r.answer == Answer::kYes ? kEdited : kLeft;
                EXPECT_EQ(text(leftTreeView.editor), shown(now));
                EXPECT_EQ(leftTreeView.editorModified, 0);
            }
            close();
        }
    }
}

TEST_F(UnsavedEditsTest, AnUnmodifiedTextGoesWithoutAQuestion) {
    load(leftTreeView, kLeft, L"left.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    BoxScript boxes;  // any box fails
    SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
    pump();
    click(contentPane.closeButton);
    EXPECT_EQ(contentPane.window, nullptr);
    SendMessageW(mainWindow, WM_COMMAND, IDM_EXIT, 0);
    pump();
    EXPECT_EQ(mainWindow, nullptr);
}

// Another program changed the file, which then failed to load: the editor keeps the text
// it read, which is not the user's to save. Nothing asks about it, and the newer file
// stays as the other program left it.
TEST_F(UnsavedEditsTest, AKeptTextCountsAsChangedOnlyOnceTheUserChangesIt) {
    load(leftTreeView, kLeft, L"left.xml");
    load(rightTreeView, "<root><y/></root>", L"right.xml");
    openAt(elementNamed(leftTreeView, L"x"));
    keepAfterAFailedReload();
    click(leftTreeView.pathButton);
    EXPECT_FALSE(IsWindowEnabled(contentPane.saveButton));
    wchar_t caption[64] = {};
    GetWindowTextW(leftTreeView.pathButton, caption, 64);
    EXPECT_STREQ(caption, L"left.xml");
    {
        BoxScript boxes;  // any box fails
        click(contentPane.closeButton);
        EXPECT_EQ(contentPane.window, nullptr);
        openAt(elementNamed(rightTreeView, L"y"));
        SendMessageW(mainWindow, WM_COMMAND, IDM_EXIT, 0);
        pump();
    }
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_TRUE(dir.read(L"left.xml") == kBroken);
}

// Typed into after the failed reload, the text asks, and Yes on closing the window
// writes it and loads the tree from the file it wrote, without asking for a file.
TEST_F(UnsavedEditsTest, YesOnAChangedKeptTextLoadsTheTreeFromTheFileWritten) {
    editLeft(true);
    {
        BoxScript boxes;
        boxes.expect(L"Save changes to " + dir.file(L"left.xml") + L"?", L"Verdalt", IDYES);
        DialogScript dialogs;
        click(contentPane.closeButton);
        EXPECT_TRUE(dialogs.shown().empty());
        EXPECT_EQ(boxes.shown().size(), 1u);
    }
    EXPECT_TRUE(dir.read(L"left.xml") == kEdited);
    EXPECT_EQ(leftTreeView.loaded, 1);
    EXPECT_STREQ(leftTreeView.fileName, dir.file(L"left.xml").c_str());
    EXPECT_NE(elementNamed(leftTreeView, L"new"), nullptr);
    wchar_t box[kPathUnits] = {};
    GetWindowTextW(leftTreeView.pathCombo, box, kPathUnits);
    EXPECT_STREQ(box, dir.file(L"left.xml").c_str());
}

// "No" lets the edits go. Should the load that follows fail, the editor holds the file's
// own last text or nothing, and no edit after that saves the ones let go, whether to the
// file or to a new name.
TEST_F(UnsavedEditsTest, ATextLetGoIsNotKeptWhenTheLoadThatFollowsFails) {
    enum class Road { kReloadBroken, kReloadLocked, kOpenBroken };
    const struct Case {
        Road road;
        const char* what;
        std::string leftAfter;  // left.xml as the road leaves it
    } cases[] = {
        {Road::kReloadBroken, "Reload of a file that no longer parses", kBroken},
        {Road::kReloadLocked, "Reload of a file another program holds open", kLeft},
        {Road::kOpenBroken, "Open of another file that does not parse", kLeft},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileW(dir.file(L"saved.xml").c_str());
        editLeft();
        const std::wstring path = dir.write(L"left.xml", c.leftAfter);
        {
            BoxScript boxes;
            boxes.expect(L"Save changes to " + path + L"?", L"Verdalt", IDNO);
            if (c.road == Road::kReloadLocked) {
                boxes.expectCaption(L"Error");
            } else {
                boxes.expectCaption(L"Fatal error", IDNO).expect(kFatalBox, L"XML Parser Fatal Error");
            }
            HANDLE held = INVALID_HANDLE_VALUE;
            if (c.road == Road::kReloadLocked) {
                held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
                ASSERT_NE(held, INVALID_HANDLE_VALUE);
            }
            if (c.road == Road::kOpenBroken) {
                dir.write(L"other.xml", kBroken);
                DialogScript dialogs;
                dialogs.answer(dir.file(L"other.xml"));
                SendMessageW(mainWindow, WM_COMMAND, IDM_OPEN_FIRST, 0);
            } else {
                SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
            }
            pump();
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            EXPECT_EQ(boxes.shown().size(), c.road == Road::kReloadLocked ? 2u : 3u);
        }
        ASSERT_EQ(leftTreeView.loaded, 0);
        ASSERT_NE(leftTreeView.editor, nullptr);
        const std::wstring held = text(leftTreeView.editor);
        EXPECT_TRUE(held.empty() || held == shown(kLeft)) << "the editor holds the edits let go";
        EXPECT_EQ(leftTreeView.editorModified, 0);
        // The user goes back to the left text with its caption, types and saves, then
        // saves under a new name. The left editor holds nothing to show: the right one
        // stays shown, and its own text is what both saves write.
        {
            BoxScript boxes;  // any box fails
            click(leftTreeView.pathButton);
            XMLTreeView* shownPanel = currentEditorPanel;
            ASSERT_NE(shownPanel, nullptr);
            const LONG end = static_cast<LONG>(text(shownPanel->editor).size());
            select(shownPanel->editor, end, end);
            SendMessageW(shownPanel->editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L" "));
            pump();
            click(contentPane.saveButton);
            DialogScript dialogs;
            dialogs.answer(dir.file(L"saved.xml"));
            click(contentPane.saveAsButton);
            EXPECT_EQ(shownPanel, &rightTreeView);
        }
        EXPECT_TRUE(dir.read(L"left.xml") == c.leftAfter) << dir.read(L"left.xml");
        EXPECT_EQ(dir.read(L"right.xml"), "<root><y/></root> ");
        EXPECT_EQ(dir.read(L"saved.xml"), "<root><y/></root> ");
        close();
    }
}

TEST_F(UnsavedEditsTest, AReloadOfBothSidesAsksForEachBeforeEitherIsReloaded) {
    editLeft();
    select(rightTreeView.editor, 6, 6);
    SendMessageW(rightTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<r/>"));
    pump();
    ASSERT_EQ(rightTreeView.editorModified, 1);
    {
        BoxScript boxes;
        boxes.expect(L"Save changes to " + dir.file(L"left.xml") + L"?", L"Verdalt", IDNO);
        boxes.expect(L"Save changes to " + dir.file(L"right.xml") + L"?", L"Verdalt", IDCANCEL);
        SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
        pump();
    }
    // The right side's Cancel stops the whole reload: the left text was neither reloaded
    // nor let go.
    EXPECT_EQ(text(leftTreeView.editor), shown(kEdited));
    EXPECT_EQ(leftTreeView.editorModified, 1);
    EXPECT_EQ(text(rightTreeView.editor), L"<root><r/><y/></root>");
    EXPECT_EQ(rightTreeView.editorModified, 1);
}

// Leaving a thinned view reloads both files, so an edited text is asked about first.
// Cancel keeps the text and the thinned trees, and with them the view: its menu tick,
// its status pane and the option all still name the view the trees show, so that a save
// that follows writes what the window says. Yes and No change the view as asked.
TEST_F(UnsavedEditsTest, ACancelledViewChangeLeavesTheViewTheTreesShow) {
    using Names = std::vector<std::wstring>;
    const std::string left = "<root>\n<x/>\n<s/>\n</root>\n";
    const std::string right = "<root><y/><s/></root>";
    const struct Case {
        const char* what;
        int from, to;
        Answer answer;
        const wchar_t* opened;  // the element whose text is edited
    } cases[] = {
        {"Differences, then Normal", IDM_VIEW_DIFFERENCES, IDM_VIEW_NORMAL, Answer::kCancel, L"x"},
        {"Differences, then Similarities", IDM_VIEW_DIFFERENCES, IDM_VIEW_SIMILARITIES, Answer::kCancel, L"x"},
        {"Similarities, then Normal", IDM_VIEW_SIMILARITIES, IDM_VIEW_NORMAL, Answer::kCancel, L"s"},
        {"Similarities, then Differences", IDM_VIEW_SIMILARITIES, IDM_VIEW_DIFFERENCES, Answer::kCancel, L"s"},
        {"Differences, then Normal, a failed save", IDM_VIEW_DIFFERENCES, IDM_VIEW_NORMAL, Answer::kYesFailingSave,
         L"x"},
        {"Differences, then Normal, No", IDM_VIEW_DIFFERENCES, IDM_VIEW_NORMAL, Answer::kNo, L"x"},
        {"Similarities, then Normal, Yes", IDM_VIEW_SIMILARITIES, IDM_VIEW_NORMAL, Answer::kYes, L"s"},
    };
    const auto names = [](const XMLTreeView& panel) {
        Names out;
        for (XMLTreeItem* record : recordsInOrder(panel))
            if (record != nullptr && !record->isSummary()) out.push_back(record->nameText());
        return out;
    };
    const auto expectView = [](int view, const char* when) {
        EXPECT_EQ(OptionSet::ViewMode, view) << when;
        HMENU menu = GetSubMenu(GetMenu(mainWindow), kViewMenu);
        for (int id : {IDM_VIEW_NORMAL, IDM_VIEW_DIFFERENCES, IDM_VIEW_SIMILARITIES})
            EXPECT_EQ((GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0, id == view) << when << ", item " << id;
        wchar_t status[64] = {};
        SendMessageW(statusBar, SB_GETTEXTW, kStatusView, reinterpret_cast<LPARAM>(status));
        EXPECT_STREQ(status, view == IDM_VIEW_NORMAL        ? L"View: Normal"
                             : view == IDM_VIEW_DIFFERENCES ? L"View: Differences"
                                                            : L"View: Similarities")
            << when;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (mainWindow == nullptr) start();
        const std::wstring path = load(leftTreeView, left, L"left.xml");
        load(rightTreeView, right, L"right.xml");
        SendMessageW(mainWindow, WM_COMMAND, c.from, 0);
        ASSERT_EQ(viewFiltered, 1);
        openAt(elementNamed(leftTreeView, c.opened));
        ASSERT_NE(leftTreeView.editor, nullptr);
        select(leftTreeView.editor, 7, 7);
        SendMessageW(leftTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<new/>"));
        pump();
        ASSERT_EQ(leftTreeView.editorModified, 1);
        const Names thinnedLeft = names(leftTreeView);
        const Names thinnedRight = names(rightTreeView);
        ASSERT_LT(thinnedLeft.size(), 3u) << "the view thinned the trees";
        {
            BoxScript boxes;
            boxes.expect(L"Save changes to " + path + L"?", L"Verdalt",
                         c.answer == Answer::kYes || c.answer == Answer::kYesFailingSave ? IDYES
                         : c.answer == Answer::kNo                                       ? IDNO
                                                                                         : IDCANCEL);
            if (c.answer == Answer::kYesFailingSave) {
                setWriteFailureAfter(0);
                boxes.expectCaption(L"Error");
            }
            SendMessageW(mainWindow, WM_COMMAND, c.to, 0);
            pump();
            setWriteFailureAfter(-1);
        }
        if (c.answer == Answer::kCancel || c.answer == Answer::kYesFailingSave) {
            expectView(c.from, "kept");
            EXPECT_EQ(viewFiltered, 1);
            EXPECT_EQ(names(leftTreeView), thinnedLeft);
            EXPECT_EQ(names(rightTreeView), thinnedRight);
            EXPECT_EQ(leftTreeView.editorModified, 1);
            EXPECT_EQ(dir.read(L"left.xml"), left);
        } else {
            expectView(c.to, "changed");
            EXPECT_EQ(leftTreeView.editorModified, 0);
            EXPECT_EQ(viewFiltered, c.to == IDM_VIEW_NORMAL ? 0 : 1);
            EXPECT_EQ(elementNamed(leftTreeView, L"new") != nullptr, c.answer == Answer::kYes);
        }
        close();
        OptionSet::ViewMode = IDM_VIEW_NORMAL;
        viewFiltered = 0;
    }
}

}  // namespace
