#include "ui/dialogs/IgnoredElementsDialog.h"

#include <cwchar>
#include <string>
#include <vector>

#include "model/IgnoreList.h"
#include "ui/Commands.h"
#include "ui/Help.h"
#include "ui/OptionFileCommands.h"
#include "ui/dialogs/DialogLists.h"
#include "ui/dialogs/DialogRunner.h"
#include "ui/dialogs/IgnoreElementDialog.h"

const DWORD ignoredElementsHelpIds[] = {
    1075,       0x85F503F4, 997,        0x85F503F0, 1076,       0x85F503F1, 1072,       0x85F503F2, 1073,
    0x85F503F3, 1599,       0x85F50415, 1604,       0x85F5041A, 1605,       0x85F5041B, 0,          0,
};

namespace {

void fillIgnoredList(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_IGNORED_LIST);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    // Unsorted: an entry's index is its rule's index.
    for (uint32_t i = 0; i < ignoreList.count; ++i) {
        const wchar_t* path = ignoreList.rules[i]->path != nullptr ? ignoreList.rules[i]->path.get() : L"";
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
    }
    fitListExtent(list);
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    fillListFromNames(dialog, ignoreList.commonAttributes.attributeNames.get(), IDC_IGNORED_COMMON, false, true);
    fitListExtent(GetDlgItem(dialog, IDC_IGNORED_COMMON));
}

void removeSelectedRules(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_IGNORED_LIST);
    // Each removal moves the last rule into the hole, so the highest index goes first.
    bool any = false;
    for (LRESULT i = SendMessageW(list, LB_GETCOUNT, 0, 0); i-- > 0;) {
        if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        ignoreList.removeAt(static_cast<uint32_t>(i));
        any = true;
    }
    if (any) fillIgnoredList(dialog);
}

void editSelectedRule(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_IGNORED_LIST);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        ignoreList.currentRule = ignoreList.rules[i].get();
        // Owned by this dialog, which it disables while it is up: owned by the main window,
        // it would leave this one usable, and removing rules here would free the rule it edits.
        runIgnoreElementDialog(dialog, i + 1);
        fillIgnoredList(dialog);
        return;
    }
}

void removeCommonAttributes(HWND dialog) {
    deleteSelectedListItems(dialog, IDC_IGNORED_COMMON);
    ignoreList.commonAttributes.setAttributeNames(joinListItems(dialog, IDC_IGNORED_COMMON, true).c_str());
    reloadNeeded = true;
}

void removeAllRules(HWND dialog) {
    // The common attributes shaped the attribute hashes of the load.
    if (ignoreList.commonAttributes.attributeCount != 0) reloadNeeded = true;
    ignoreList.clear();
    fillIgnoredList(dialog);
}

// A rule's condition as one comparable text; empty without one.
std::wstring conditionKey(const IgnoreRule& rule) {
    const IgnoreCondition* c = rule.condition.get();
    if (c == nullptr) return std::wstring();
    return std::to_wstring(c->attributeHash) + L' ' + std::to_wstring(c->negate) + L' ' + std::to_wstring(c->test) +
           L' ' + std::to_wstring(c->ifNotExist) + L' ' + c->value;
}

std::wstring commonNames() {
    const wchar_t* names = ignoreList.commonAttributes.attributeNames.get();
    return names == nullptr ? std::wstring() : names;
}

void loadIgnoredElements(HWND dialog) {
    // Conditions and common attributes are applied while a document loads: a file that
    // brings new ones needs a new parse (rules with named attributes announce themselves).
    std::vector<std::wstring> conditionsBefore;
    for (uint32_t i = 0; i < ignoreList.count; ++i)
        conditionsBefore.push_back(conditionKey(*ignoreList.rules[i]));
    const std::wstring commonBefore = commonNames();
    loadListFile(dialog, kIgnoredElementRows, L"Load Ignored Elements");
    for (uint32_t i = 0; i < ignoreList.count; ++i) {
        const std::wstring before = i < conditionsBefore.size() ? conditionsBefore[i] : std::wstring();
        if (conditionKey(*ignoreList.rules[i]) != before) reloadNeeded = true;
    }
    if (commonNames() != commonBefore) reloadNeeded = true;
    fillIgnoredList(dialog);
}

void onIgnoredElementsCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_REMOVE_ALL_ELEMENTS:
            removeAllRules(dialog);
            break;
        case IDC_REMOVE_ELEMENT:
            removeSelectedRules(dialog);
            break;
        case IDC_EDIT_IGNORED:
            editSelectedRule(dialog);
            break;
        case IDC_LOAD_IGNORED:
            loadIgnoredElements(dialog);
            break;
        case IDC_SAVE_IGNORED:
            saveIgnoredElements(dialog);
            break;
        case IDC_REMOVE_COMMON_ATTRIBUTES:
            removeCommonAttributes(dialog);
            break;
        case IDC_DIALOG_HELP:
            showHelpTopic(dialog, L"htm/list.htm");
            break;
        case IDCANCEL:
            SendDlgItemMessageW(dialog, IDC_IGNORED_LIST, LB_RESETCONTENT, 0, 0);
            EndDialog(dialog, IDCANCEL);
            break;
        default:
            break;
    }
}

}  // namespace

INT_PTR CALLBACK ignoredElementsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            centreDialog(dialog);
            fillIgnoredList(dialog);
            return TRUE;
        case WM_COMMAND:
            onIgnoredElementsCommand(dialog, LOWORD(wParam));
            return TRUE;
        case WM_HELP:
        case WM_CONTEXTMENU:
            showDialogContextHelp(message, wParam, lParam, ignoredElementsHelpIds);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR runIgnoredElementsDialog(HWND owner) {
    return runModalDialog(owner, IDD_IGNORED_ELEMENTS, ignoredElementsDlgProc, 0);
}
