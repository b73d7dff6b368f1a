#include "ui/dialogs/KeyAttributeDialog.h"

#include <string>

#include "model/KeyLists.h"
#include "model/XMLTreeItem.h"
#include "ui/Help.h"
#include "ui/dialogs/DialogLists.h"
#include "ui/dialogs/DialogRunner.h"

const DWORD keyAttributeHelpIds[] = {1602, 0x85F50417, 1598, 0x85F50418, 0, 0};

namespace {

XMLTreeItem* elementOf(HWND dialog) {
    return reinterpret_cast<XMLTreeItem*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void initKeyAttributeDialog(HWND dialog, XMLTreeItem* element) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(element));
    centreDialog(dialog);
    const bool keyed = keyAttributeSpec.namesElement(*element);
    CheckDlgButton(dialog, IDC_KEY_ATTRIBUTE_BOX, keyed ? BST_CHECKED : BST_UNCHECKED);
    HWND list = GetDlgItem(dialog, IDC_KEY_ATTRIBUTE_LIST);
    for (const std::wstring& name : attributeNamesOf(*element)) {
        if (findListItem(list, name) >= 0) continue;
        const LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        std::wstring trimmed = name;  // matchesName trims in place
        if (keyed && index >= 0 && keyAttributeSpec.matchesName(&trimmed[0]))
            SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    fitListExtent(list);
}

void applyKeyAttributeDialog(HWND dialog, XMLTreeItem* element) {
    HWND list = GetDlgItem(dialog, IDC_KEY_ATTRIBUTE_LIST);
    const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (IsDlgButtonChecked(dialog, IDC_KEY_ATTRIBUTE_BOX) == BST_CHECKED) {
        if (selected >= 0)
            keyAttributeSpec.set(element, listItemText(list, static_cast<int>(selected)).c_str());
        else
            keyAttributeSpec.clear();
    } else if (keyAttributeSpec.namesElement(*element)) {
        // Clearing the box takes back only this element's key attribute; another
        // element's stays.
        keyAttributeSpec.clear();
    }
}

void onKeyAttributeCommand(HWND dialog, int id) {
    switch (id) {
        case IDOK:
            applyKeyAttributeDialog(dialog, elementOf(dialog));
            EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_DIALOG_HELP:
            showHelpTopic(dialog, L"htm/cmpkeyat.htm");
            break;
        default:
            break;
    }
}

}  // namespace

INT_PTR CALLBACK keyAttributeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            initKeyAttributeDialog(dialog, reinterpret_cast<XMLTreeItem*>(lParam));
            return TRUE;
        case WM_COMMAND:
            onKeyAttributeCommand(dialog, LOWORD(wParam));
            return TRUE;
        case WM_HELP:
        case WM_CONTEXTMENU:
            showDialogContextHelp(message, wParam, lParam, keyAttributeHelpIds);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR runKeyAttributeDialog(HWND owner, XMLTreeItem* element) {
    if (element == nullptr) return IDCANCEL;
    return runModalDialog(owner, IDD_KEY_ATTRIBUTE, keyAttributeDlgProc, reinterpret_cast<LPARAM>(element));
}
