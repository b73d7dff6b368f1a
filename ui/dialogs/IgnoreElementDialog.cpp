#include "ui/dialogs/IgnoreElementDialog.h"

#include <string>

#include "model/IgnoreList.h"
#include "model/MessageBox.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"
#include "ui/Help.h"
#include "ui/TreeViews.h"
#include "ui/dialogs/DialogLists.h"
#include "ui/dialogs/DialogRunner.h"

const DWORD ignoreElementHelpIds[] = {
    1588, 0x85F5040A, 1589, 0x85F5040B, 1590, 0x85F5040C, 1591, 0x85F5040D, 1594, 0x85F5040E, 1595, 0x85F5040F,
    1596, 0x85F503EE, 1597, 0x85F50410, 1592, 0x85F50412, 1593, 0x85F50413, 1598, 0x85F50414, 1603, 0x85F50419,
    1604, 0x85F5041A, 1605, 0x85F5041B, 1610, 0x85F50420, 1611, 0x85F50421, 1612, 0x85F50422, 1613, 0x85F50423,
    1614, 0x85F50424, 1615, 0x85F50425, 0,    0,
};

namespace {

constexpr int kNoMode = -1;
constexpr int kConditionValueUnits = IgnoreCondition::kValueUnits - 1;
const wchar_t* const kTestNames[] = {L"length equals", L"length less than", L"length great than", L"equals",
                                     L"contains"};

// What one run of the dialog works on. The rule is held here, not read back from the
// list's current rule: painting the trees while the dialog is up looks rules up, and
// every lookup moves the current rule.
struct IgnoreElementDialogState {
    int parameter;         // 0: the element; n > 0: rule n - 1
    XMLTreeItem* element;  // the element of parameter 0, not owned
    IgnoreRule* rule;      // the rule being edited, owned by the list; null when none
    bool reloadNeededBefore;
};

IgnoreElementDialogState* stateOf(HWND dialog) {
    return reinterpret_cast<IgnoreElementDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void check(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void enable(HWND dialog, int id, bool on) {
    EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE);
}

void enableConditionControls(HWND dialog) {
    const bool on = IsWindowEnabled(GetDlgItem(dialog, IDC_CONDITION)) && isChecked(dialog, IDC_CONDITION);
    for (int id = IDC_CONDITION_NOT; id <= IDC_CONDITION_IF_NOT_EXIST; ++id)
        enable(dialog, id, on);
    enable(dialog, IDC_CONDITION_CASE, on);
}

void enableIgnoreControls(HWND dialog, bool on) {
    for (int id = IDC_IGNORE_MODE_FIRST; id <= IDC_IGNORE_MODE_LAST; ++id)
        enable(dialog, id, on);
    for (int id = IDC_IGNORE_BY_NAME; id <= IDC_IGNORE_ONLY_SELECTED; ++id)
        enable(dialog, id, on);
    enable(dialog, IDC_CONDITION, on);
    enableConditionControls(dialog);
}

void checkMode(HWND dialog, int mode) {
    for (int i = 0; i <= IgnoreRule::kMaxMode; ++i)
        check(dialog, IDC_IGNORE_MODE_FIRST + i, i == mode);
}

void checkNameKind(HWND dialog, int id) {
    for (int i = IDC_IGNORE_BY_NAME; i <= IDC_IGNORE_ONLY_SELECTED; ++i)
        check(dialog, i, i == id);
}

void setIgnoreDefaults(HWND dialog) {
    checkMode(dialog, 0);
    checkNameKind(dialog, OptionSet::IgnoreElementsByFullName ? IDC_IGNORE_BY_FULL_NAME : IDC_IGNORE_BY_NAME);
}

void fillOperatorCombo(HWND combo) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const wchar_t* name : kTestNames)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

void initConditionControls(HWND dialog, const IgnoreRule* rule) {
    HWND item = GetDlgItem(dialog, IDC_CONDITION_ITEM);
    SendMessageW(item, CB_RESETCONTENT, 0, 0);
    SendMessageW(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Content of element"));
    HWND attributes = GetDlgItem(dialog, IDC_ELEMENT_ATTRIBUTES);
    const LRESULT count = SendMessageW(attributes, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        const std::wstring name = listItemText(attributes, i);
        SendMessageW(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    fillOperatorCombo(GetDlgItem(dialog, IDC_CONDITION_TEST));
    SendMessageW(item, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageW(dialog, IDC_CONDITION_VALUE, EM_LIMITTEXT, kConditionValueUnits, 0);

    const IgnoreCondition* condition = rule == nullptr ? nullptr : rule->condition.get();
    if (condition != nullptr) {
        check(dialog, IDC_CONDITION, true);
        SetDlgItemTextW(dialog, IDC_CONDITION_VALUE, condition->value);
        check(dialog, IDC_CONDITION_NOT, condition->negate != 0);
        check(dialog, IDC_CONDITION_IF_NOT_EXIST, condition->ifNotExist != 0);
        const bool withCase = condition->test < IgnoreCondition::kEqualsNoCase;
        check(dialog, IDC_CONDITION_CASE, withCase);
        SendDlgItemMessageW(dialog, IDC_CONDITION_TEST, CB_SETCURSEL, withCase ? condition->test : condition->test - 2,
                            0);
        if (condition->attributeHash != 0) {
            int index = findComboItem(item, condition->attributeName);
            if (index < 0)
                index = static_cast<int>(
                    SendMessageW(item, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(condition->attributeName)));
            SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
    }
    fitComboDroppedWidth(item);
    enableConditionControls(dialog);
}

void initIgnoreElementDialog(HWND dialog, IgnoreElementDialogState* state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    centreDialog(dialog);
    state->reloadNeededBefore = reloadNeeded;

    int mode = kNoMode;
    bool ignored = false;
    std::wstring title = L"Ignore Element: ";
    if (state->parameter > 0) {
        title += state->rule->path != nullptr ? state->rule->path.get() : L"";
        mode = state->rule->mode;
        ignored = true;
    } else {
        title += state->element->nameText();
        state->rule = ignoreList.ruleFor(*state->element);
        if (state->rule != nullptr) {
            mode = state->rule->mode;
            ignored = true;
        } else {
            ignored = (state->element->flags & 7) != 0 || state->element->ignoreState >= 3;
        }
    }
    SetWindowTextW(dialog, title.c_str());

    check(dialog, IDC_IGNORE_ELEMENT, ignored);
    if (!ignored) {
        setIgnoreDefaults(dialog);
    } else if (mode != kNoMode) {
        const bool byFullPath = state->rule->pathHash != state->rule->nameId;
        checkNameKind(dialog, byFullPath ? IDC_IGNORE_BY_FULL_NAME : IDC_IGNORE_BY_NAME);
        checkMode(dialog, mode);
    } else {
        checkNameKind(dialog, IDC_IGNORE_ONLY_SELECTED);
        checkMode(dialog, state->element->flags & 7);  // 0, the entire element, for a marked element
    }

    if (state->parameter == 0) {
        for (const std::wstring& name : attributeNamesOf(*state->element)) {
            const bool selected = state->rule != nullptr && ruleHasAttribute(*state->rule, name);
            addUniqueListItem(dialog, IDC_ELEMENT_ATTRIBUTES, name.c_str(), selected);
        }
    }
    if (mode == 4 || mode == 5)
        fillListFromNames(dialog, state->rule->attributeNames.get(), IDC_ELEMENT_ATTRIBUTES, true, false);
    fillListFromNames(dialog, ignoreList.commonAttributes.attributeNames.get(), IDC_COMMON_ATTRIBUTES, false, true);
    fitListExtent(GetDlgItem(dialog, IDC_ELEMENT_ATTRIBUTES));
    fitListExtent(GetDlgItem(dialog, IDC_COMMON_ATTRIBUTES));
    initConditionControls(dialog, state->rule);
    enableIgnoreControls(dialog, ignored);
}

void copyToCommonAttributes(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_ELEMENT_ATTRIBUTES);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i) {
        if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        addUniqueListItem(dialog, IDC_COMMON_ATTRIBUTES, listItemText(list, i).c_str(), false);
    }
}

// The condition's value as OK takes it. The edit's limit holds only for typing: a text
// set from outside may be longer.
std::wstring conditionValue(HWND dialog) {
    return controlText(GetDlgItem(dialog, IDC_CONDITION_VALUE)).substr(0, kConditionValueUnits);
}

// The tested attribute's name; empty for the element's text.
std::wstring conditionAttribute(HWND dialog) {
    HWND item = GetDlgItem(dialog, IDC_CONDITION_ITEM);
    const LRESULT selected = SendMessageW(item, CB_GETCURSEL, 0, 0);
    return selected > 0 ? comboItemText(item, static_cast<int>(selected)) : std::wstring();
}

// Whether OK may apply the dialog: a condition is matched by the whole attribute name,
// and one the condition cannot hold would never match. False after a box.
bool conditionNameFits(HWND dialog) {
    if (!isChecked(dialog, IDC_IGNORE_ELEMENT) || isChecked(dialog, IDC_IGNORE_ONLY_SELECTED)) return true;
    if (!isChecked(dialog, IDC_CONDITION) || conditionValue(dialog).empty()) return true;
    const std::wstring attribute = conditionAttribute(dialog);
    if (attribute.size() <= static_cast<size_t>(IgnoreCondition::kMaxNameUnits)) return true;
    const std::wstring message = L"The attribute name is " + std::to_wstring(attribute.size()) +
                                 L" characters long: a condition can test attributes of up to " +
                                 std::to_wstring(IgnoreCondition::kMaxNameUnits) +
                                 L" characters.\nChoose another attribute or the content of the element.";
    showBox(dialog, message.c_str(), L"Ignore Element", MB_ICONERROR);
    return false;
}

void applyCondition(HWND dialog, IgnoreRule& rule) {
    const std::wstring value = conditionValue(dialog);
    if (isChecked(dialog, IDC_CONDITION) && !value.empty()) {
        const std::wstring attribute = conditionAttribute(dialog);
        int test = static_cast<int>(SendDlgItemMessageW(dialog, IDC_CONDITION_TEST, CB_GETCURSEL, 0, 0));
        if (test < 0) test = 0;
        if (test > 2 && !isChecked(dialog, IDC_CONDITION_CASE)) test += 2;
        const bool same =
            rule.setCondition(attribute.empty() ? nullptr : attribute.c_str(), isChecked(dialog, IDC_CONDITION_NOT),
                              test, isChecked(dialog, IDC_CONDITION_IF_NOT_EXIST), value.c_str());
        if (!same) reloadNeeded = true;
    } else if (rule.condition != nullptr) {
        reloadNeeded = true;
        rule.condition.reset();
    }
}

// OK: the dialog's choices go into the list and the element.
void applyIgnoreElementDialog(HWND dialog, IgnoreElementDialogState* state) {
    const std::wstring common = joinListItems(dialog, IDC_COMMON_ATTRIBUTES, true);
    ignoreList.commonAttributes.setAttributeNames(common.c_str());

    XMLTreeItem* element = state->element;  // null while a rule of the list is edited
    if (!isChecked(dialog, IDC_IGNORE_ELEMENT)) {
        if (state->rule != nullptr && state->rule->condition != nullptr) reloadNeeded = true;
        if (element == nullptr) {
            ignoreList.removeAt(static_cast<uint32_t>(state->parameter - 1));
        } else {
            element->clearIgnoreMarks();
            ignoreList.removeElement(*element);
        }
        return;
    }

    const int mode = checkedIgnoreMode(dialog);
    if (isChecked(dialog, IDC_IGNORE_ONLY_SELECTED)) {
        if (element == nullptr) return;
        element->flags = static_cast<uint8_t>((element->flags & 0xF0) | mode);
        if (mode == 0) {
            element->ignoreState = 3;
        } else {
            element->flags |= 0x08;  // the comparison's preparation keeps this mode
            element->ignoreState = 0;
        }
        return;
    }

    IgnoreRule* rule = state->rule;
    if (element != nullptr) {
        const int index = ignoreList.addElement(*element, isChecked(dialog, IDC_IGNORE_BY_FULL_NAME));
        if (index < 0) return;  // the list is full: its box was shown, nothing changes
        rule = ignoreList.rules[index].get();
        element->flags = static_cast<uint8_t>((element->flags & 0xF0) | mode);
    }
    if (rule == nullptr) return;
    // Named attributes shaped the attribute hashes of the load: taking them away needs a
    // new parse as much as giving them.
    if (rule->mode >= 4) reloadNeeded = true;
    ignoreList.currentRule = rule;
    ignoreList.setCurrentMode(mode);

    const std::wstring named = joinListItems(dialog, IDC_ELEMENT_ATTRIBUTES, false);
    if ((mode == 4 || mode == 5) && !named.empty())
        rule->setAttributeNames(named.c_str());
    else
        rule->clearAttributeNames();
    applyCondition(dialog, *rule);
    if (element != nullptr) element->ignoreState = mode == 0 ? 1 : 0;
}

void onIgnoreElementCommand(HWND dialog, int id) {
    IgnoreElementDialogState* state = stateOf(dialog);
    switch (id) {
        case IDC_IGNORE_ELEMENT:
            enableIgnoreControls(dialog, isChecked(dialog, IDC_IGNORE_ELEMENT));
            break;
        case IDC_CONDITION:
            enableConditionControls(dialog);
            break;
        case IDC_ADD_COMMON:
            copyToCommonAttributes(dialog);
            fitListExtent(GetDlgItem(dialog, IDC_COMMON_ATTRIBUTES));
            reloadNeeded = true;
            break;
        case IDC_REMOVE_COMMON:
            deleteSelectedListItems(dialog, IDC_COMMON_ATTRIBUTES);
            reloadNeeded = true;
            break;
        case IDC_DIALOG_HELP:
            showHelpTopic(dialog, L"htm/igndlg.htm");
            break;
        case IDOK:
            if (!conditionNameFits(dialog)) break;  // the dialog stays open, nothing applied
            applyIgnoreElementDialog(dialog, state);
            EndDialog(dialog, IDOK);
            break;
        case IDCANCEL:
            // Nothing is applied, and what the buttons announced is taken back.
            reloadNeeded = state->reloadNeededBefore;
            EndDialog(dialog, IDCANCEL);
            break;
        default:
            break;
    }
}

}  // namespace

int checkedIgnoreMode(HWND dialog) {
    for (int i = 0; i <= IgnoreRule::kMaxMode; ++i) {
        if (isChecked(dialog, IDC_IGNORE_MODE_FIRST + i)) return i;
    }
    return 0;
}

INT_PTR CALLBACK ignoreElementDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            initIgnoreElementDialog(dialog, reinterpret_cast<IgnoreElementDialogState*>(lParam));
            return TRUE;
        case WM_COMMAND:
            onIgnoreElementCommand(dialog, LOWORD(wParam));
            return TRUE;
        case WM_HELP:
        case WM_CONTEXTMENU:
            showDialogContextHelp(message, wParam, lParam, ignoreElementHelpIds);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR runIgnoreElementDialog(HWND owner, int parameter) {
    IgnoreElementDialogState state{parameter, nullptr, nullptr, false};
    if (parameter > 0) {
        if (static_cast<uint32_t>(parameter) > ignoreList.count) return IDCANCEL;
        state.rule = ignoreList.rules[parameter - 1].get();
    } else {
        state.element = currentElement;
        if (state.element == nullptr) return IDCANCEL;
    }
    return runModalDialog(owner, IDD_IGNORE_ELEMENT, ignoreElementDlgProc, reinterpret_cast<LPARAM>(&state));
}
