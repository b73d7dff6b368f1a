// A main window started the way the program starts it, under a scratch registry key,
// for the interface tests; it is closed and its key deleted afterwards.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/OptionSet.h"
#include "settings/Registry.h"
#include "tests/support/TestSupport.h"
#include "ui/CommandHandlers.h"
#include "ui/Layout.h"
#include "ui/MainWindow.h"
#include "ui/WebRequests.h"
#include "ui/XMLTreeView.h"

inline int noticeCount = 0;

class MainWindowFixture : public ::testing::Test {
protected:
    std::wstring key;
    TempDir dir;

    void SetUp() override {
        static int counter = 0;
        key =
            L"Software\\VerdaltTests\\ui-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        setProgramKeyPath(key.c_str());
        noticeCount = 0;
        firstStartNotice = [] { ++noticeCount; };
        OptionSet::TipOfTheDay = 0;
        OptionSet::ApplicationVersion = OptionSet::kApplicationVersion;
        OptionSet::LeftMainPos = OptionSet::TopMainPos = OptionSet::RightMainPos = OptionSet::BottomMainPos = -111;
        OptionSet::AutoCompare = 1;
        OptionSet::AutoLoad = 0;
        OptionSet::AutoSelect = 1;
        OptionSet::SplitVertically = 1;
        OptionSet::ViewMode = 1086;
        OptionSet::ShowErrorMessages = 1;
        OptionSet::AutoScroll = 1;
        // No summary box after the comparison that follows every second load; tests of the box turn it on.
        OptionSet::ResultView = 0;
        saveAtExit = 1;
        filesCompared = 0;
        ctrlHeld = 0;
        splitPercent = 50;
        contentShare = 100;
    }

    void TearDown() override {
        close();
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VerdaltTests");
        setProgramKeyPath(nullptr);
        firstStartNotice = checkVersion;
    }

    // Hidden unless a test needs to see painting: without a window manager, hiding or
    // closing a shown window makes Wine wait for the display.
    HWND start(int show = SW_HIDE) {
        HWND window = startMainWindow(GetModuleHandleW(nullptr), show);
        EXPECT_NE(window, nullptr);
        return window;
    }

    // Destroys the main window as its Exit command does and takes the loop's WM_QUIT.
    void close() {
        if (mainWindow != nullptr) DestroyWindow(mainWindow);
        pump();
    }

    static void pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    // Both panels empty and nothing compared, between the cases of a table.
    static void emptyBothPanels() {
        clearPanel(leftTreeView.tree, true);
        clearPanel(rightTreeView.tree, true);
        leftTreeView.loaded = rightTreeView.loaded = 0;
        filesCompared = 0;
    }

    // Loads XML text into a panel the way a path typed into its combo box is loaded.
    std::wstring load(XMLTreeView& panel, const std::string& xml, const std::wstring& name) {
        std::wstring path = dir.write(name, xml);
        SetWindowTextW(panel.pathCombo, path.c_str());
        loadFromPathCombo(panel.pathCombo);
        return path;
    }

    std::wstring keyOf(const wchar_t* subkey = L"") const { return key + subkey; }

    bool hasValue(const wchar_t* name, const wchar_t* subkey = L"") const {
        return RegGetValueW(HKEY_CURRENT_USER, keyOf(subkey).c_str(), name, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

    DWORD numberValue(const wchar_t* name, const wchar_t* subkey = L"") const {
        DWORD value = 0;
        DWORD size = sizeof(value);
        RegGetValueW(HKEY_CURRENT_USER, keyOf(subkey).c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        return value;
    }

    std::wstring textValue(const wchar_t* name, const wchar_t* subkey = L"") const {
        wchar_t value[1024] = {};
        DWORD size = sizeof(value);
        RegGetValueW(HKEY_CURRENT_USER, keyOf(subkey).c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size);
        return value;
    }

    void setNumber(const wchar_t* name, DWORD value) const {
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_DWORD, &value, sizeof(value));
    }
};
