#include "settings/ColourSet.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "settings/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

// The registry value of each slot.
const wchar_t* const kSlotValues[kColourSlots] = {
    L"Header_1", L"Header_2", L"Header_4", L"Header_5", L"HeaderText_1",   L"HeaderText_2",
    L"Bk_1",     L"Bk_2",     L"Text_1",   L"Text_2",   L"DeletedElement",
};

class ColourSetTest : public ::testing::Test {
protected:
    std::wstring key;
    std::wstring colours;

    void SetUp() override {
        key = L"Software\\VerdaltTests\\colours-" + std::to_wstring(GetCurrentProcessId());
        colours = key + L"\\Colors";
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        setProgramKeyPath(key.c_str());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VerdaltTests");
        setProgramKeyPath(nullptr);
    }

    static ColourSet numbered(COLORREF base) {
        ColourSet set{};
        for (int slot = 0; slot < kColourSlots; ++slot)
            set.slots[slot] = base + static_cast<COLORREF>(slot);
        return set;
    }
    void store(const wchar_t* name, DWORD type, const void* data, DWORD bytes) const {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, colours.c_str(), name, type, data, bytes), ERROR_SUCCESS);
    }
    bool stored(const wchar_t* name, DWORD* value) const {
        DWORD size = sizeof(*value);
        return RegGetValueW(HKEY_CURRENT_USER, colours.c_str(), name, RRF_RT_REG_DWORD, nullptr, value, &size) ==
               ERROR_SUCCESS;
    }
};

TEST_F(ColourSetTest, WithoutTheSubkeyTheSlotsStayAndASaveWritesAllEleven) {
    ColourSet set = numbered(0x00102030);
    loadColours(set);
    for (int slot = 0; slot < kColourSlots; ++slot)
        EXPECT_EQ(set.slots[slot], 0x00102030u + slot) << slot;

    saveColours(set);
    for (int slot = 0; slot < kColourSlots; ++slot) {
        DWORD value = 0;
        ASSERT_TRUE(stored(kSlotValues[slot], &value)) << narrow(kSlotValues[slot]);
        EXPECT_EQ(value, 0x00102030u + slot) << narrow(kSlotValues[slot]);
    }
    DWORD values = 0;
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, colours.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(opened);
    EXPECT_EQ(values, static_cast<DWORD>(kColourSlots));
}

TEST_F(ColourSetTest, EachValueGoesToItsOwnSlot) {
    for (int slot = 0; slot < kColourSlots; ++slot) {
        const DWORD value = 0x00A00000u + static_cast<DWORD>(slot);
        store(kSlotValues[slot], REG_DWORD, &value, sizeof(value));
    }
    ColourSet set{};
    loadColours(set);
    for (int slot = 0; slot < kColourSlots; ++slot)
        EXPECT_EQ(set.slots[slot], 0x00A00000u + slot) << narrow(kSlotValues[slot]);
}

// A value of another type is passed over alone, even when it is no longer than a
// number; the values after it are still read.
TEST_F(ColourSetTest, ValuesOfAnotherTypeAreIgnoredOneByOne) {
    struct Case {
        const wchar_t* name;
        int slot;
        DWORD type;
        const void* data;
        DWORD bytes;
    };
    const wchar_t shortText[] = L"7";
    const wchar_t longText[] = L"16777215";
    const BYTE binary[4] = {1, 2, 3, 4};
    const Case cases[] = {
        {L"Bk_1", 6, REG_SZ, shortText, sizeof(shortText)},
        {L"Header_2", 1, REG_SZ, longText, sizeof(longText)},
        {L"Text_1", 8, REG_BINARY, binary, sizeof(binary)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.name));
        RegDeleteTreeW(HKEY_CURRENT_USER, colours.c_str());
        for (int slot = 0; slot < kColourSlots; ++slot) {
            const DWORD value = 0x00050000u + static_cast<DWORD>(slot);
            if (slot == c.slot)
                store(kSlotValues[slot], c.type, c.data, c.bytes);
            else
                store(kSlotValues[slot], REG_DWORD, &value, sizeof(value));
        }
        ColourSet set = numbered(0x00000100);
        loadColours(set);
        for (int slot = 0; slot < kColourSlots; ++slot)
            EXPECT_EQ(set.slots[slot], (slot == c.slot ? 0x00000100u : 0x00050000u) + slot) << slot;
    }
}

}  // namespace
