#include "ui/dialogs/KeyAttributeDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/MessageBox.h"
#include "settings/OptionSet.h"
#include "tests/ui/RuleCommandsFixture.h"
#include "ui/Commands.h"
#include "ui/CompareCommand.h"

namespace {

class KeyCommandsTest : public RuleCommandsFixture {
protected:
    void SetUp() override {
        RuleCommandsFixture::SetUp();
        std::string xml = "<r><a id='1' code='x'><k>1</k></a><b id='2'/><c/>";
        for (int i = 0; i < 14; ++i)
            xml += "<p" + std::to_string(i) + "><q/></p" + std::to_string(i) + ">";
        xml += "</r>";
        loadBoth(xml, xml);
    }

    // Runs Shift+F2 with an action on the dialog; the reload question, when expected, is answered No.
    void keyAttribute(const std::wstring& element, std::function<void(HWND)> action, bool question) {
        select(leftTreeView, element);
        BoxScript boxes;
        if (question) boxes.expect(kReloadQuestion, kReloadCaption, IDNO);
        ModalScript dialogs;
        dialogs.expect(IDD_KEY_ATTRIBUTE, std::move(action));
        command(IDM_KEY_ATTRIBUTE);
    }

    static std::wstring keyPath() { return keyAttributeSpec.path ? keyAttributeSpec.path.get() : L"<none>"; }
};

TEST_F(KeyCommandsTest, KeyElementTogglesPairsOfAChildAndItsParentUpToTwelve) {
    select(leftTreeView, L"r");
    command(IDM_KEY_ELEMENT);
    EXPECT_EQ(keyElementList.count, 0);  // a top-level element keys nothing

    select(leftTreeView, L"k");
    command(IDM_KEY_ELEMENT);
    ASSERT_EQ(keyElementList.count, 1);
    EXPECT_STREQ(keyElementList.paths[0].get(), L"r>a>k");
    command(IDM_KEY_ELEMENT_OFF);
    EXPECT_EQ(keyElementList.count, 0);

    for (int i = 0; i < 13; ++i) {
        select(leftTreeView, L"p" + std::to_wstring(i));
        command(i % 2 ? IDM_KEY_ELEMENT : IDM_KEY_ELEMENT_OFF);
    }
    EXPECT_EQ(keyElementList.count, KeyElementList::kMaxPairs);
    EXPECT_STREQ(keyElementList.paths[11].get(), L"r>p11");
}

TEST_F(KeyCommandsTest, EntireElementTogglesUpToFourEntries) {
    select(leftTreeView, L"a");
    command(IDM_ENTIRE_ELEMENT);
    ASSERT_EQ(entireElementList.count, 1);
    command(IDM_ENTIRE_ELEMENT);
    EXPECT_EQ(entireElementList.count, 0);
    for (const wchar_t* name : {L"a", L"b", L"c", L"k", L"p0"}) {
        select(leftTreeView, name);
        command(IDM_ENTIRE_ELEMENT);
    }
    EXPECT_EQ(entireElementList.count, EntireElementList::kMaxEntries);
    EXPECT_FALSE(entireElementList.contains(*elementNamed(leftTreeView, L"p0")));
}

TEST_F(KeyCommandsTest, KeyAttributeDialogSetsChangesAndClearsTheKeyAttribute) {
    // One run of the dialog a row, in order: what it opens with, what the user does, whether
    // the reload question follows, and the key attribute after it (null: none).
    struct Step {
        const wchar_t* element;
        bool boxBefore;
        int selectedBefore;  // LB_ERR: nothing selected
        std::vector<std::wstring> names;
        bool tick;
        int select;  // LB_ERR: the selection is left as it is
        int button;
        bool question;
        const wchar_t* key;
    } steps[] = {
        {L"a", false, LB_ERR, {L"id", L"code"}, true, 1, IDOK, true, L"r>a|code"},
        // Reopened: ticked with its attribute selected; OK unchanged asks nothing.
        {L"a", true, 1, {L"id", L"code"}, true, LB_ERR, IDOK, false, L"r>a|code"},
        // Another element: its box starts cleared; OK with it cleared keeps a's key attribute.
        {L"b", false, LB_ERR, {L"id"}, false, LB_ERR, IDOK, false, L"r>a|code"},
        // Cancel changes nothing.
        {L"b", false, LB_ERR, {L"id"}, true, 0, IDCANCEL, false, L"r>a|code"},
        // The same attribute name on another element is a change.
        {L"b", false, LB_ERR, {L"id"}, true, 0, IDOK, true, L"r>b|id"},
        {L"a", false, LB_ERR, {L"id", L"code"}, true, 0, IDOK, true, L"r>a|id"},
        // Ticked without a selection clears it, and asks.
        {L"c", false, LB_ERR, {}, true, LB_ERR, IDOK, true, nullptr},
        // Set again, then cleared by unticking on its own element.
        {L"b", false, LB_ERR, {L"id"}, true, 0, IDOK, true, L"r>b|id"},
        {L"b", true, 0, {L"id"}, false, LB_ERR, IDOK, true, nullptr},
    };
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE(testing::Message() << "step " << i);
        keyAttribute(
            s.element,
            [&s](HWND dialog) {
                EXPECT_EQ(checked(dialog, IDC_KEY_ATTRIBUTE_BOX), s.boxBefore);
                EXPECT_EQ(entries(dialog, IDC_KEY_ATTRIBUTE_LIST), s.names);
                EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_GETCURSEL, 0, 0), s.selectedBefore);
                setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, s.tick);
                if (s.select != LB_ERR)
                    SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, static_cast<WPARAM>(s.select), 0);
                clickButton(dialog, s.button);
            },
            s.question);
        EXPECT_EQ(keyAttributeSpec.isSet(), s.key != nullptr);
        if (s.key != nullptr) {
            EXPECT_EQ(keyPath(), s.key);
        }
    }
}

TEST_F(KeyCommandsTest, TheReloadQuestionAnsweredYesReloadsAndCompares) {
    select(leftTreeView, L"a")->line = 12345;  // a mark that a new record does not carry
    BoxScript boxes;
    boxes.expect(kReloadQuestion, kReloadCaption, IDYES);
    ModalScript dialogs;
    dialogs.expect(IDD_KEY_ATTRIBUTE, [](HWND dialog) {
        setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
        SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
        clickButton(dialog, IDOK);
    });
    filesCompared = 0;
    command(IDM_KEY_ATTRIBUTE);
    EXPECT_NE(elementNamed(leftTreeView, L"a")->line, 12345);  // new records
    EXPECT_EQ(filesCompared, 1);
    EXPECT_EQ(keyPath(), L"r>a|id");
}

// A key attribute read by Load Key Elements pairs nothing until the documents are read
// again: the reload question follows whenever the file changed it, and Yes gives the
// keyed result. Key elements alone, and a file that sets the same key attribute again,
// ask nothing.
TEST_F(KeyCommandsTest, LoadKeyElementsAsksToReloadWhenTheKeyAttributeChanged) {
    OptionSet::IgnoreOrderElements = 1;
    // Unkeyed, the first a on the left pairs with the first on the right (the same text);
    // keyed by id, with the second.
    loadBoth("<r><a id=\"1\" n=\"p\">x</a><a id=\"2\" n=\"q\">y</a></r>",
             "<r><a id=\"2\" n=\"p\">x</a><a id=\"1\" n=\"q\">y</a></r>");
    struct Step {
        const char* what;
        std::string rows;
        int answer;  // 0: no question
        const wchar_t* partnerText;
    } steps[] = {
        {"key elements only", "KeyElement=r>a>k\r\n", 0, L"x"},
        {"a key attribute, not reloaded", "KeyAttribute=r>a|n\r\n", IDNO, L"x"},
        {"the same key attribute again", "KeyAttribute=r>a|n\r\n", 0, L"x"},
        {"another key attribute, reloaded", "KeyAttribute=r>a|id\r\n", IDYES, L"y"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        XMLTreeItem* first = elementNamed(leftTreeView, L"a");
        ASSERT_NE(first, nullptr);
        first->line = 12345;  // a mark that a new record does not carry
        const std::wstring file = dir.write(L"keys.txt", s.rows);
        DialogScript files;
        files.answer(file);
        BoxScript boxes;
        if (s.answer != 0) boxes.expect(kReloadQuestion, kReloadCaption, s.answer);
        command(IDM_LOAD_KEYS);
        EXPECT_EQ(boxes.shown().size(), s.answer != 0 ? 1u : 0u);
        first = elementNamed(leftTreeView, L"a");
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->line == 12345, s.answer != IDYES) << "reloaded only after Yes";
        if (s.answer == IDYES) {
            EXPECT_EQ(filesCompared, 1);
        } else {
            filesCompared = compareFiles();
        }
        ASSERT_NE(first->partner, nullptr);
        EXPECT_EQ(std::wstring(first->partner->text, first->partner->textLength), s.partnerText);
    }
    EXPECT_EQ(keyPath(), L"r>a|id");
}

}  // namespace
