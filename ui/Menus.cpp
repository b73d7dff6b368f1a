#include "ui/Menus.h"

#include <commctrl.h>

#include "model/MessageBox.h"
#include "ui/CommandHandlers.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"
#include "ui/Toolbars.h"
#include "ui/XMLTreeView.h"

HMENU treePopupMenu = nullptr;
int saveElementsFilePosition = -1;
int saveElementsPopupPosition = -1;
int insertReplaceXmlPosition = -1;
int insertReplacePopupPosition = -1;

namespace {

constexpr int kMenuTextUnits = 256;

const int kElementMenuCommands[] = {IDM_FIND,          IDM_RELOAD,          IDM_SAVE_ELEMENT,      IDM_UNUSED_F4,
                                    IDM_OPEN_EDITOR,   IDM_IGNORE_ELEMENTS, IDM_IGNORE_PARTICULAR, IDM_KEY_ELEMENT,
                                    IDM_KEY_ATTRIBUTE, IDM_SAVE_KEYS,       IDM_EXPAND_NODES,      IDM_COLLAPSE_NODES};
const int kResultCommands[] = {IDM_SAVE_REPORT, IDM_SAVE_DIFFERENCES, IDM_MERGE};

UINT enabledFlag(bool enable) {
    return enable ? MF_ENABLED : MF_GRAYED;
}

HMENU menuBar() {
    return mainWindow != nullptr ? GetMenu(mainWindow) : nullptr;
}

void enableByPosition(HMENU menu, int position, bool enable) {
    if (menu != nullptr && position >= 0) EnableMenuItem(menu, position, MF_BYPOSITION | enabledFlag(enable));
}

}  // namespace

int findMenuItem(HMENU menu, const wchar_t* text) {
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t itemText[kMenuTextUnits] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STRING;
        info.dwTypeData = itemText;
        info.cch = kMenuTextUnits;
        if (!GetMenuItemInfoW(menu, position, TRUE, &info)) continue;
        const wchar_t* s = text;
        const wchar_t* t = itemText;
        bool equal = true;
        while (*s != 0) {
            if (*s <= L'0') {
                while (*s != 0 && *s <= L'0')
                    ++s;
                while (*t != 0 && *t <= L'0')
                    ++t;
                continue;
            }
            while (*t != 0 && *t <= L'0')
                ++t;
            if (*s != *t) {
                equal = false;
                break;
            }
            ++s;
            ++t;
        }
        if (equal && *t == 0) return position;
    }
    return -1;
}

int appendSubmenuCopy(int* positionOut, HMENU menu, const wchar_t* text) {
    const int position = findMenuItem(menu, text);
    HMENU submenu = position >= 0 ? GetSubMenu(menu, position) : nullptr;
    if (submenu == nullptr) {
        showBox(mainWindow, text, L"Error:Menu Item not found", MB_ICONERROR | MB_YESNO);
        return -1;
    }
    *positionOut = GetMenuItemCount(treePopupMenu);
    AppendMenuW(treePopupMenu, MF_POPUP | MF_GRAYED, reinterpret_cast<UINT_PTR>(submenu), text);
    return position;
}

bool createTreePopupMenu(HWND mainWindow) {
    HMENU bar = GetMenu(mainWindow);
    treePopupMenu = CreatePopupMenu();
    if (bar == nullptr || treePopupMenu == nullptr) return false;
    AppendMenuW(treePopupMenu, MF_STRING | MF_GRAYED, IDM_COMPARE_ELEMENTS, L"Compare Elements");
    AppendMenuW(treePopupMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(treePopupMenu, MF_STRING, IDM_SAVE_ELEMENT, L"Save XML Element");
    AppendMenuW(treePopupMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(treePopupMenu, MF_STRING | MF_GRAYED, IDM_SAVE_REPORT, L"Save Report");
    AppendMenuW(treePopupMenu, MF_STRING | MF_GRAYED, IDM_SAVE_DIFFERENCES, L"Save Differences");
    AppendMenuW(treePopupMenu, MF_STRING | MF_GRAYED, IDM_MERGE, L"Merge XML Elements");
    saveElementsFilePosition =
        appendSubmenuCopy(&saveElementsPopupPosition, GetSubMenu(bar, kFileMenu), L"Save Elements");
    if (saveElementsFilePosition < 0) return false;
    AppendMenuW(treePopupMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(treePopupMenu, MF_STRING, IDM_IGNORE_ELEMENTS, L"Ignore Elements");
    AppendMenuW(treePopupMenu, MF_STRING, IDM_IGNORE_PARTICULAR, L"Ignore Particular Element");
    AppendMenuW(treePopupMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(treePopupMenu, MF_STRING, IDM_KEY_ELEMENT, L"Key Element");
    AppendMenuW(treePopupMenu, MF_STRING, IDM_KEY_ATTRIBUTE, L"Key Attribute");
    AppendMenuW(treePopupMenu, MF_SEPARATOR, 0, nullptr);
    insertReplaceXmlPosition =
        appendSubmenuCopy(&insertReplacePopupPosition, GetSubMenu(bar, kXmlMenu), L"Insert and Replace");
    if (insertReplaceXmlPosition < 0) return false;
    AppendMenuW(treePopupMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(treePopupMenu, MF_STRING, IDM_EXPAND_NODES, L"Expand Nodes");
    AppendMenuW(treePopupMenu, MF_STRING, IDM_COLLAPSE_NODES, L"Collapse Nodes");
    return true;
}

void destroyTreePopupMenu() {
    if (treePopupMenu == nullptr) return;
    // The submenus belong to the menu bar, which destroys them with the window.
    for (int position : {insertReplacePopupPosition, saveElementsPopupPosition})
        if (position >= 0) RemoveMenu(treePopupMenu, position, MF_BYPOSITION);
    DestroyMenu(treePopupMenu);
    treePopupMenu = nullptr;
    saveElementsFilePosition = saveElementsPopupPosition = -1;
    insertReplaceXmlPosition = insertReplacePopupPosition = -1;
}

void enableCompareCommands() {
    const bool both = leftTreeView.loaded && rightTreeView.loaded;
    const BYTE state = both ? TBSTATE_ENABLED : 0;
    setButtonState(mainToolbar, kCompareFilesButton, state);
    setButtonState(mainToolbar, kCompareElementsButton, state);
    if (HMENU bar = menuBar()) {
        EnableMenuItem(bar, IDM_COMPARE_FILES, MF_BYCOMMAND | enabledFlag(both));
        EnableMenuItem(bar, IDM_COMPARE_ELEMENTS, MF_BYCOMMAND | enabledFlag(both));
    }
    if (treePopupMenu != nullptr) EnableMenuItem(treePopupMenu, IDM_COMPARE_ELEMENTS, MF_BYCOMMAND | enabledFlag(both));
}

void enableElementCommands(bool enable) {
    for (int i = 0; i < kElementButtons; ++i)
        setButtonState(mainToolbar, kFirstElementButton + i, enable ? TBSTATE_ENABLED : 0);
    if (HMENU bar = menuBar())
        for (int command : kElementMenuCommands)
            EnableMenuItem(bar, command, MF_BYCOMMAND | enabledFlag(enable));
}

void enableResultCommands() {
    const bool enable = filesCompared != 0;
    if (HMENU bar = menuBar()) {
        for (int command : kResultCommands)
            EnableMenuItem(bar, command, MF_BYCOMMAND | enabledFlag(enable));
        enableByPosition(GetSubMenu(bar, kFileMenu), saveElementsFilePosition, enable);
        enableByPosition(GetSubMenu(bar, kXmlMenu), insertReplaceXmlPosition, enable);
    }
    if (treePopupMenu != nullptr) {
        for (int command : kResultCommands)
            EnableMenuItem(treePopupMenu, command, MF_BYCOMMAND | enabledFlag(enable));
        enableByPosition(treePopupMenu, saveElementsPopupPosition, enable);
        enableByPosition(treePopupMenu, insertReplacePopupPosition, enable);
    }
}
