// List and combo box texts read at their own length, and the lists of attribute
// names that the rule dialogs (Ignore Element, Ignored Elements, Key Attribute) share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct XMLTreeItem;
struct IgnoreRule;

// Joined names: at most this many names and units, whole names only.
constexpr int kMaxJoinedNames = 128;
constexpr size_t kMaxJoinedUnits = 2048;

std::wstring controlText(HWND control);
std::wstring listItemText(HWND list, int index);
std::wstring comboItemText(HWND combo, int index);

// The index of the entry that equals text exactly, case included; -1 when none.
// (LB_FINDSTRINGEXACT and CB_FINDSTRINGEXACT ignore case: "ID" is not "id".)
int findListItem(HWND list, const std::wstring& text);
int findComboItem(HWND combo, const std::wstring& text);

// Adds a non-empty text to a multi-select list unless an entry equals it exactly;
// the new entry is selected when asked.
void addUniqueListItem(HWND dialog, int listId, const wchar_t* text, bool select);
// Optionally empties the list, then adds each name of a blank-separated names text.
void fillListFromNames(HWND dialog, const wchar_t* names, int listId, bool select, bool clear);
// Deletes the selected entries, last first.
void deleteSelectedListItems(HWND dialog, int listId);
// The texts of every entry (all) or of the selected ones, joined by single blanks: at
// most kMaxJoinedNames names and kMaxJoinedUnits units; a name that does not fit is
// left out, never cut.
std::wstring joinListItems(HWND dialog, int listId, bool all);

// Lets a list scroll sideways as far as its widest entry, so that long names and
// paths are not cut off at its right edge.
void fitListExtent(HWND list);
// Widens a combo box's drop-down list to its widest entry (at most the screen's width).
void fitComboDroppedWidth(HWND combo);

// The attribute names of an element in their order: each runs from the start of an
// attribute up to the "=" before its opening quote mark.
std::vector<std::wstring> attributeNamesOf(const XMLTreeItem& element);
// Whether the rule names this attribute (by hashName under "XMLAttributeCaseSensitive").
bool ruleHasAttribute(const IgnoreRule& rule, const std::wstring& name);
