#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <iterator>
#include <string>
#include <vector>

#include "settings/Registry.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/MainWindowFixture.h"
#include "ui/PathCombo.h"
#include "ui/Toolbars.h"

namespace {

// The entries of a combo box's list, top first.
std::vector<std::wstring> entries(HWND box) {
    std::vector<std::wstring> out;
    const int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[300] = {};
        SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        out.push_back(text);
    }
    return out;
}

class RecentListTest : public ::testing::Test {
protected:
    HWND window = CreateWindowExW(0,
                                  L"STATIC",
                                  L"host",
                                  WS_OVERLAPPEDWINDOW,
                                  0,
                                  0,
                                  400,
                                  300,
                                  nullptr,
                                  nullptr,
                                  GetModuleHandleW(nullptr),
                                  nullptr);
    HWND combo = makeCombo();
    std::wstring key = L"Software\\VerdaltTests\\recent-" + std::to_wstring(GetCurrentProcessId());

    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        setProgramKeyPath(key.c_str());
    }
    void TearDown() override {
        DestroyWindow(window);
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VerdaltTests");
        setProgramKeyPath(nullptr);
    }

    HWND makeCombo() {
        return CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN, 0, 0, 300, 140,
                               window, nullptr, GetModuleHandleW(nullptr), nullptr);
    }

    static std::wstring url(int n) { return L"http://host/file" + std::to_wstring(n) + L".xml"; }

    void store(const wchar_t* name, const std::wstring& value) {
        RegSetKeyValueW(HKEY_CURRENT_USER, (key + kLeftRecentSubkey).c_str(), name, REG_SZ, value.c_str(),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    bool stored(const wchar_t* name) {
        return RegGetValueW(HKEY_CURRENT_USER, (key + kLeftRecentSubkey).c_str(), name, RRF_RT_ANY, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
    }
};

TEST_F(RecentListTest, KeepsTwelveNewestFirst) {
    for (int i = 1; i <= 13; ++i)
        addRecentFile(combo, url(i).c_str(), false);
    const std::vector<std::wstring> list = entries(combo);
    ASSERT_EQ(list.size(), 12u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(list[i], url(13 - i)) << i;
    wchar_t shown[300] = {};
    GetWindowTextW(combo, shown, 300);
    EXPECT_EQ(std::wstring(shown), url(13)) << "the edit field shows the newest";
}

TEST_F(RecentListTest, AnEntryMatchesOnlyTheWholePathWithoutRegardToCase) {
    const std::wstring longer = L"http://host/a.xml.old";
    addRecentFile(combo, longer.c_str(), false);
    addRecentFile(combo, L"http://host/a.xml", false);
    addRecentFile(combo, L"http://host/b.xml", false);
    EXPECT_EQ(entries(combo), (std::vector<std::wstring>{L"http://host/b.xml", L"http://host/a.xml", longer}))
        << "a prefix of an entry is another file";
    addRecentFile(combo, L"HTTP://HOST/A.XML", false);
    EXPECT_EQ(entries(combo), (std::vector<std::wstring>{L"HTTP://HOST/A.XML", L"http://host/b.xml", longer}));
    removeRecentFile(combo, L"http://host/a", false);
    removeRecentFile(combo, L"http://host/A.xml", false);
    EXPECT_EQ(entries(combo), (std::vector<std::wstring>{L"http://host/b.xml", longer}));
}

TEST_F(RecentListTest, LocalFilesAreKeptWithTheirFullPath) {
    wchar_t full[MAX_PATH];
    GetFullPathNameW(L"relative.xml", MAX_PATH, full, nullptr);
    addRecentFile(combo, L"relative.xml", true);
    EXPECT_EQ(entries(combo), (std::vector<std::wstring>{full}));
}

TEST_F(RecentListTest, SavedListsComeBackAndRemovedEntriesStayRemoved) {
    for (int i = 1; i <= 3; ++i)
        addRecentFile(combo, url(i).c_str(), false);
    saveRecentList(combo, kLeftRecentSubkey, kRecentValueFormat);
    HWND second = makeCombo();
    loadRecentList(second, kLeftRecentSubkey, kRecentValueFormat, kRecentFileCount);
    EXPECT_EQ(entries(second), entries(combo));

    removeRecentFile(combo, url(2).c_str(), false);
    saveRecentList(combo, kLeftRecentSubkey, kRecentValueFormat);
    EXPECT_FALSE(stored(L"File3"));
    HWND third = makeCombo();
    loadRecentList(third, kLeftRecentSubkey, kRecentValueFormat, kRecentFileCount);
    EXPECT_EQ(entries(third), (std::vector<std::wstring>{url(3), url(1)}));
}

TEST_F(RecentListTest, ReadingStopsAtAMissingOrTooLongValue) {
    store(L"File1", url(1));
    store(L"File2", url(2));
    store(L"File4", url(4));
    store(L"File5", url(5));
    loadRecentList(combo, kLeftRecentSubkey, kRecentValueFormat, kRecentFileCount);
    EXPECT_EQ(entries(combo), (std::vector<std::wstring>{url(1), url(2)}));

    HWND second = makeCombo();
    store(L"File2", std::wstring(258, L'x'));
    store(L"File3", std::wstring(259, L'y'));
    store(L"File4", url(4));
    loadRecentList(second, kLeftRecentSubkey, kRecentValueFormat, kRecentFileCount);
    EXPECT_EQ(entries(second), (std::vector<std::wstring>{url(1), std::wstring(258, L'x')}));
}

TEST_F(RecentListTest, NoKeyGivesAnEmptyList) {
    loadRecentList(combo, kRightRecentSubkey, kRecentValueFormat, kRecentFileCount);
    EXPECT_TRUE(entries(combo).empty());
}

// The recent lists as the loads of the main window keep them.
class RecentFilesOfLoadsTest : public MainWindowFixture {
protected:
    OptionsSnapshot options;

    void SetUp() override {
        MainWindowFixture::SetUp();
        OptionSet::LoadSeparate = 0;
        start();
        SendMessageW(autoCompareBox, BM_SETCHECK, BST_UNCHECKED, 0);
    }

    static int entriesNaming(HWND box, const std::wstring& path) {
        int count = 0;
        for (const std::wstring& entry : entries(box))
            count += CompareStringOrdinal(entry.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL ? 1 : 0;
        return count;
    }

    // Entries File1, File2, ... of a stored list, up to the first missing one.
    std::vector<std::wstring> stored(const wchar_t* subkey) const {
        std::vector<std::wstring> out;
        for (int i = 1; i <= kRecentFileCount; ++i) {
            const std::wstring name = L"File" + std::to_wstring(i);
            if (!hasValue(name.c_str(), subkey)) break;
            out.push_back(textValue(name.c_str(), subkey));
        }
        return out;
    }

    static void typeAndLoad(XMLTreeView& panel, const std::wstring& typed) {
        SetWindowTextW(panel.pathCombo, typed.c_str());
        loadFromPathCombo(panel.pathCombo);
    }
};

// Whatever form a path is typed in, the list holds the file once, by its full path: a load
// moves that entry to the top, and a load that finds the file gone removes it. The stored
// lists are the lists shown.
TEST_F(RecentFilesOfLoadsTest, AFileTypedInAnyFormHasOneEntryAndLosesItWhenItIsGone) {
    const std::wstring full = dir.write(L"typed.xml", "<r/>");
    const std::wstring other = dir.write(L"other.xml", "<r/>");
    std::wstring slashed = full;
    for (wchar_t& unit : slashed)
        if (unit == L'\\') unit = L'/';
    std::wstring upper = full;
    for (wchar_t& unit : upper)
        unit = static_cast<wchar_t>(std::towupper(unit));
    const CurrentFolderGuard here;
    ASSERT_TRUE(here.enter(dir.path()));
    const struct Form {
        const char* what;
        std::wstring typed;
    } forms[] = {
        {"backslashes", full},
        {"forward slashes", slashed},
        {"a relative name", L"typed.xml"},
        {"a relative path with forward slashes", L"./sub/../typed.xml"},
        {"another case", upper},
    };
    const int count = static_cast<int>(std::size(forms));
    for (XMLTreeView* panel : {&leftTreeView, &rightTreeView}) {
        SCOPED_TRACE(panel == &leftTreeView ? "left" : "right");
        typeAndLoad(*panel, other);
        for (int i = 0; i < count; ++i) {
            const Form& first = forms[i];
            const Form& second = forms[(i + 1) % count];
            const Form& gone = forms[(i + 2) % count];
            SCOPED_TRACE(std::string(first.what) + ", then " + second.what + ", then gone, " + gone.what);
            dir.write(L"typed.xml", "<r/>");
            typeAndLoad(*panel, first.typed);
            typeAndLoad(*panel, second.typed);
            ASSERT_EQ(panel->loaded, 1);
            std::vector<std::wstring> list = entries(panel->pathCombo);
            ASSERT_EQ(list.size(), 2u);
            EXPECT_EQ(CompareStringOrdinal(list[0].c_str(), -1, full.c_str(), -1, TRUE), CSTR_EQUAL) << narrow(list[0]);
            EXPECT_EQ(list[1], other);

            DeleteFileW(full.c_str());
            {
                BoxScript boxes;
                boxes.expectCaption(L"Error");
                typeAndLoad(*panel, gone.typed);
                ASSERT_EQ(boxes.shown().size(), 1u);
                EXPECT_NE(boxes.shown()[0].text.find(L"XMLFileExists"), std::wstring::npos);
            }
            EXPECT_EQ(entriesNaming(panel->pathCombo, full), 0) << "the entry of the file that is gone";
            EXPECT_EQ(entries(panel->pathCombo), std::vector<std::wstring>{other});
        }
    }
    const std::vector<std::wstring> left = entries(leftTreeView.pathCombo);
    const std::vector<std::wstring> right = entries(rightTreeView.pathCombo);
    close();
    EXPECT_EQ(stored(kLeftRecentSubkey), left);
    EXPECT_EQ(stored(kRightRecentSubkey), right);
    EXPECT_EQ(stored(kLeftRecentSubkey), std::vector<std::wstring>{other});
}

}  // namespace
