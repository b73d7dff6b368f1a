// The fixture of the rule command tests: the real main window with two small
// documents loaded and compared, a clean ignore list and key lists, and helpers that
// drive the rule dialogs' controls.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ElementStore.h"
#include "model/IgnoreList.h"
#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/TreeViews.h"
#include "ui/dialogs/DialogLists.h"

inline const std::wstring kReloadQuestion =
    L"These changes will take effect only after reloading files\n\nDo you want to reload file(s)?";
inline const std::wstring kReloadCaption = L"Options were changed";

class RuleCommandsFixture : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        clearRuleLists();
        start();
    }

    void TearDown() override {
        MainWindowFixture::TearDown();
        clearRuleLists();
    }

    void loadBoth(const std::string& left, const std::string& right) {
        load(leftTreeView, left, L"left.xml");
        load(rightTreeView, right, L"right.xml");
    }

    static XMLTreeItem* select(XMLTreeView& panel, const std::wstring& name) {
        XMLTreeItem* e = elementNamed(panel, name);
        EXPECT_NE(e, nullptr) << narrow(name);
        // Selecting the item that is already selected notifies nothing.
        ElementStore::select(panel.tree, nullptr);
        if (e != nullptr) ElementStore::select(panel.tree, e->treeItem);
        EXPECT_EQ(currentElement, e);
        return e;
    }

    static void command(int id) { SendMessageW(mainWindow, WM_COMMAND, id, 0); }

    static bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    static bool enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    // A check box or radio set as the user sets it, with its click notification.
    static void setCheck(HWND dialog, int id, bool on) {
        if (checked(dialog, id) != on) clickButton(dialog, id);
    }
    static std::vector<std::wstring> entries(HWND dialog, int id) {
        std::vector<std::wstring> out;
        HWND list = GetDlgItem(dialog, id);
        for (LRESULT i = 0, n = SendMessageW(list, LB_GETCOUNT, 0, 0); i < n; ++i)
            out.push_back(listItemText(list, static_cast<int>(i)));
        return out;
    }
    static std::vector<std::wstring> selectedEntries(HWND dialog, int id) {
        std::vector<std::wstring> out;
        HWND list = GetDlgItem(dialog, id);
        for (LRESULT i = 0, n = SendMessageW(list, LB_GETCOUNT, 0, 0); i < n; ++i)
            if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
                out.push_back(listItemText(list, static_cast<int>(i)));
        return out;
    }
    static void selectEntry(HWND dialog, int id, const std::wstring& text, bool on = true) {
        HWND list = GetDlgItem(dialog, id);
        const int index = findListItem(list, text);
        ASSERT_GE(index, 0) << narrow(text);
        SendMessageW(list, LB_SETSEL, on ? TRUE : FALSE, index);
    }
    static void chooseCombo(HWND dialog, int id, int index) {
        SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    static std::wstring text(HWND dialog, int id) { return controlText(GetDlgItem(dialog, id)); }
    static std::wstring comboText(HWND dialog, int id) {
        HWND combo = GetDlgItem(dialog, id);
        const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        return selected < 0 ? std::wstring() : comboItemText(combo, static_cast<int>(selected));
    }
    static std::wstring common() {
        const wchar_t* names = ignoreList.commonAttributes.attributeNames.get();
        return names == nullptr ? L"" : names;
    }
    static std::wstring rulePath(uint32_t i) { return ignoreList.rules[i]->path.get(); }
};
