#include "ui/editor/UnsavedEdits.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/FileWriter.h"
#include "tests/ui/EditorFixture.h"
#include "ui/CompareCommand.h"
#include "ui/Layout.h"

namespace {

const std::string kLeft = "<root>\n<x/>\n</root>\n";
const std::string kEdited = "<root>\n<new/><x/>\n</root>\n";
const std::string kOther = "<other>\n<z/>\n</other>\n";

// What the editor's text looks like: a line break is one position.
std::wstring shown(const std::string& bytes) {
    std::wstring out;
    for (char c : bytes)
        out += c == '\n' ? L'\r' : static_cast<wchar_t>(c);
    return out;
}

enum class Action { kOpen, kPathBox, kReload, kReloadQuestion, kCloseEditor, kExit, kCloseBox };
enum class Answer { kYes, kNo, kCancel, kYesFailingSave };

class UnsavedEditsTest : public EditorFixture {
protected:
    void TearDown() override {
        setWriteFailureAfter(-1);
        EditorFixture::TearDown();
    }

    // left.xml in the left panel, open in the editor with "<new/>" typed before <x/>.
    void editLeft() {
        if (mainWindow == nullptr) start();
        load(leftTreeView, kLeft, L"left.xml");
        load(rightTreeView, "<root><y/></root>", L"right.xml");
        openAt(elementNamed(leftTreeView, L"x"));
        ASSERT_NE(leftTreeView.editor, nullptr);
        select(leftTreeView.editor, 7, 7);
        SendMessageW(leftTreeView.editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"<new/>"));
        pump();
        ASSERT_EQ(leftTreeView.editorModified, 1);
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
            case Action::kReload:
                SendMessageW(mainWindow, WM_COMMAND, IDM_RELOAD, 0);
                break;
            case Action::kReloadQuestion:
                reloadAfterChange(mainWindow, false);
                break;
            case Action::kCloseEditor:
                click(contentPane.closeButton);
                break;
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
    };
    const Case cases[] = {
        {Action::kOpen, "Open", true, false, false},
        {Action::kPathBox, "path box", true, false, false},
        {Action::kReload, "Reload", false, false, false},
        {Action::kReloadQuestion, "reload question", false, false, false},
        {Action::kCloseEditor, "close the editor window", false, true, false},
        {Action::kExit, "Exit", false, true, true},
        {Action::kCloseBox, "the window's close box", false, true, true},
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
            editLeft();
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
            EXPECT_TRUE(dir.read(L"left.xml") == (r.answer == Answer::kYes ? kEdited : kLeft));
            if (kept) {
                // Nothing happened: the window, the document and the typed text stay.
                ASSERT_NE(mainWindow, nullptr);
                ASSERT_NE(leftTreeView.editor, nullptr);
                EXPECT_EQ(text(leftTreeView.editor), shown(kEdited));
                EXPECT_EQ(leftTreeView.editorModified, 1);
                EXPECT_STREQ(leftTreeView.fileName, path.c_str());
                EXPECT_NE(elementNamed(leftTreeView, L"x"), nullptr);
                wchar_t box[kPathUnits] = {};
                GetWindowTextW(leftTreeView.pathCombo, box, kPathUnits);
                EXPECT_STREQ(box, path.c_str());
            } else if (c.windowGoes) {
                EXPECT_EQ(mainWindow, nullptr);
            } else if (c.editorGoes) {
                EXPECT_EQ(contentPane.window, nullptr);
                EXPECT_EQ(leftTreeView.editor, nullptr);
                // A saved text is what the tree shows from then on.
                EXPECT_EQ(elementNamed(leftTreeView, L"new") != nullptr, r.answer == Answer::kYes);
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

}  // namespace
