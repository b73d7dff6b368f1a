#include "ui/dialogs/KeyAttributeDialog.h"

#include <gtest/gtest.h>

#include <string>

#include "model/MessageBox.h"
#include "tests/ui/RuleCommandsFixture.h"
#include "ui/Commands.h"

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
    keyAttribute(
        L"a",
        [](HWND dialog) {
            EXPECT_FALSE(checked(dialog, IDC_KEY_ATTRIBUTE_BOX));
            EXPECT_EQ(entries(dialog, IDC_KEY_ATTRIBUTE_LIST), (std::vector<std::wstring>{L"id", L"code"}));
            EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_GETCURSEL, 0, 0), LB_ERR);
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
            SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 1, 0);
            clickButton(dialog, IDOK);
        },
        true);
    EXPECT_EQ(keyPath(), L"r>a|code");

    // Reopened: ticked with its attribute selected; OK unchanged asks nothing.
    keyAttribute(
        L"a",
        [](HWND dialog) {
            EXPECT_TRUE(checked(dialog, IDC_KEY_ATTRIBUTE_BOX));
            EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_GETCURSEL, 0, 0), 1);
            clickButton(dialog, IDOK);
        },
        false);
    EXPECT_EQ(keyPath(), L"r>a|code");

    // Another element: its box starts cleared; OK with it cleared keeps a's key attribute.
    keyAttribute(
        L"b",
        [](HWND dialog) {
            EXPECT_FALSE(checked(dialog, IDC_KEY_ATTRIBUTE_BOX));
            clickButton(dialog, IDOK);
        },
        false);
    EXPECT_EQ(keyPath(), L"r>a|code");

    // Cancel changes nothing.
    keyAttribute(
        L"b",
        [](HWND dialog) {
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
            SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
            clickButton(dialog, IDCANCEL);
        },
        false);
    EXPECT_EQ(keyPath(), L"r>a|code");

    // The same attribute name on another element is a change.
    keyAttribute(
        L"b",
        [](HWND dialog) {
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
            SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
            clickButton(dialog, IDOK);
        },
        true);
    EXPECT_EQ(keyPath(), L"r>b|id");
    keyAttribute(
        L"a",
        [](HWND dialog) {
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
            SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
            clickButton(dialog, IDOK);
        },
        true);
    EXPECT_EQ(keyPath(), L"r>a|id");

    // Ticked without a selection clears it, and asks.
    keyAttribute(
        L"c",
        [](HWND dialog) {
            EXPECT_TRUE(entries(dialog, IDC_KEY_ATTRIBUTE_LIST).empty());
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
            clickButton(dialog, IDOK);
        },
        true);
    EXPECT_FALSE(keyAttributeSpec.isSet());

    // Set again, then cleared by unticking on its own element.
    keyAttribute(
        L"b",
        [](HWND dialog) {
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, true);
            SendDlgItemMessageW(dialog, IDC_KEY_ATTRIBUTE_LIST, LB_SETCURSEL, 0, 0);
            clickButton(dialog, IDOK);
        },
        true);
    keyAttribute(
        L"b",
        [](HWND dialog) {
            setCheck(dialog, IDC_KEY_ATTRIBUTE_BOX, false);
            clickButton(dialog, IDOK);
        },
        true);
    EXPECT_FALSE(keyAttributeSpec.isSet());
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

}  // namespace
