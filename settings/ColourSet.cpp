#include "settings/ColourSet.h"

#include <cwchar>

#include "settings/Registry.h"

ColourSet colourSet{};

namespace {

struct ColourValue {
    const wchar_t* name;
    int slot;
};

// The registry order, which is not the slot order: the run text colours come before
// the run backgrounds.
constexpr ColourValue kColourValues[kColourSlots] = {
    {L"Header_1", kChangedHeaderSlot},
    {L"Header_2", kUnpairedHeaderSlot},
    {L"Header_4", kSelectedChangedHeaderSlot},
    {L"Header_5", kSelectedUnpairedHeaderSlot},
    {L"HeaderText_1", kChangedHeaderTextSlot},
    {L"HeaderText_2", kUnpairedHeaderTextSlot},
    {L"Text_1", kChangedRunTextSlot},
    {L"Text_2", kDifferingRunTextSlot},
    {L"Bk_1", kChangedRunBackgroundSlot},
    {L"Bk_2", kDifferingRunBackgroundSlot},
    {L"DeletedElement", kUnpairedElementTextSlot},
};

constexpr wchar_t kColoursSubkey[] = L"\\Colors";
// The program's key path holds at most 255 units.
constexpr size_t kSubkeyPathUnits = 256 + sizeof(kColoursSubkey) / sizeof(wchar_t);

void colourKeyPath(wchar_t (&path)[kSubkeyPathUnits]) {
    std::swprintf(path, kSubkeyPathUnits, L"%ls%ls", programKeyPath(), kColoursSubkey);
}

}  // namespace

const wchar_t* colourValueName(int slot) {
    for (const ColourValue& value : kColourValues)
        if (value.slot == slot) return value.name;
    return nullptr;
}

void loadColours(ColourSet& colours) {
    wchar_t path[kSubkeyPathUnits];
    colourKeyPath(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    for (const ColourValue& value : kColourValues) {
        DWORD type = 0;
        DWORD data = 0;
        DWORD size = sizeof(data);
        // A longer value of another type fails with ERROR_MORE_DATA; a short one succeeds,
        // so the type decides.
        if (RegQueryValueExW(key, value.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof(data))
            colours.slots[value.slot] = data;
    }
    RegCloseKey(key);
}

void saveColours(const ColourSet& colours) {
    wchar_t path[kSubkeyPathUnits];
    colourKeyPath(path);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, const_cast<wchar_t*>(L""), REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const ColourValue& value : kColourValues) {
        const DWORD data = colours.slots[value.slot];
        RegSetValueExW(key, value.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
    }
    RegCloseKey(key);
}
