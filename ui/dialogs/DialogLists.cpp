#include "ui/dialogs/DialogLists.h"

#include <cwchar>

#include "model/IgnoreList.h"
#include "model/NamespaceScope.h"
#include "model/TextServices.h"
#include "model/XMLTreeItem.h"
#include "settings/OptionSet.h"

namespace {

std::wstring itemText(HWND control, UINT lengthMessage, UINT textMessage, int index) {
    const LRESULT length = SendMessageW(control, lengthMessage, static_cast<WPARAM>(index), 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(control, textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
    return text;
}

int findItem(HWND control, UINT countMessage, UINT lengthMessage, UINT textMessage, const std::wstring& text) {
    const LRESULT count = SendMessageW(control, countMessage, 0, 0);
    for (int i = 0; i < count; ++i) {
        if (itemText(control, lengthMessage, textMessage, i) == text) return i;
    }
    return -1;
}

// The width in pixels of the widest entry, in the control's font.
LONG widestEntry(HWND control, UINT countMessage, std::wstring (*entry)(HWND, int)) {
    HDC dc = GetDC(control);
    if (dc == nullptr) return 0;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (LRESULT i = 0, n = SendMessageW(control, countMessage, 0, 0); i < n; ++i) {
        const std::wstring text = entry(control, static_cast<int>(i));
        SIZE size{};
        if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size) && size.cx > widest)
            widest = size.cx;
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return widest;
}

}  // namespace

std::wstring controlText(HWND control) {
    const int length = GetWindowTextLengthW(control);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(control, &text[0], length + 1);
    text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
    return text;
}

std::wstring listItemText(HWND list, int index) {
    return itemText(list, LB_GETTEXTLEN, LB_GETTEXT, index);
}

std::wstring comboItemText(HWND combo, int index) {
    return itemText(combo, CB_GETLBTEXTLEN, CB_GETLBTEXT, index);
}

int findListItem(HWND list, const std::wstring& text) {
    return findItem(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, text);
}

int findComboItem(HWND combo, const std::wstring& text) {
    return findItem(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, text);
}

void addUniqueListItem(HWND dialog, int listId, const wchar_t* text, bool select) {
    if (text == nullptr || text[0] == 0) return;
    HWND list = GetDlgItem(dialog, listId);
    if (findListItem(list, text) >= 0) return;
    const LRESULT index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (index >= 0 && select) SendMessageW(list, LB_SETSEL, TRUE, index);
}

void fillListFromNames(HWND dialog, const wchar_t* names, int listId, bool select, bool clear) {
    if (clear) SendDlgItemMessageW(dialog, listId, LB_RESETCONTENT, 0, 0);
    if (names == nullptr) return;
    // Names are separated by U+0020 only, as the rules read them.
    for (const wchar_t* p = names; *p != 0;) {
        while (*p == L' ')
            ++p;
        const wchar_t* end = p;
        while (*end != 0 && *end != L' ')
            ++end;
        if (end != p) addUniqueListItem(dialog, listId, std::wstring(p, end).c_str(), select);
        p = end;
    }
}

void deleteSelectedListItems(HWND dialog, int listId) {
    HWND list = GetDlgItem(dialog, listId);
    for (LRESULT i = SendMessageW(list, LB_GETCOUNT, 0, 0); i-- > 0;) {
        if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
            SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
    }
}

std::wstring joinListItems(HWND dialog, int listId, bool all) {
    HWND list = GetDlgItem(dialog, listId);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    std::wstring joined;
    int names = 0;
    for (int i = 0; i < count && names < kMaxJoinedNames; ++i) {
        if (!all && SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        const std::wstring name = listItemText(list, i);
        if (name.empty()) continue;
        const size_t needed = name.size() + (joined.empty() ? 0 : 1);
        if (joined.size() + needed > kMaxJoinedUnits) continue;
        if (!joined.empty()) joined += L' ';
        joined += name;
        ++names;
    }
    return joined;
}

void fitListExtent(HWND list) {
    SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widestEntry(list, LB_GETCOUNT, listItemText) + 8),
                 0);
}

void fitComboDroppedWidth(HWND combo) {
    LONG width = widestEntry(combo, CB_GETCOUNT, comboItemText) + 2 * GetSystemMetrics(SM_CXVSCROLL);
    if (width > GetSystemMetrics(SM_CXSCREEN)) width = GetSystemMetrics(SM_CXSCREEN);
    SendMessageW(combo, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(width), 0);
}

std::vector<std::wstring> attributeNamesOf(const XMLTreeItem& element) {
    std::vector<std::wstring> names;
    element.forEachAttribute([&](const wchar_t* name, int length, const wchar_t*, int) {
        names.emplace_back(name, static_cast<size_t>(length));
        return true;
    });
    return names;
}

bool ruleHasAttribute(const IgnoreRule& rule, const std::wstring& name) {
    std::wstring trimmed = name;
    trimXmlWhiteSpace(&trimmed[0]);
    trimmed.resize(std::wcslen(trimmed.c_str()));
    return rule.hasAttributeId(comparedAttributeNameHash(trimmed.c_str(), static_cast<int>(trimmed.size())));
}
