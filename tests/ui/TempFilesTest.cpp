#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "tests/support/TestSupport.h"
#include "ui/ExternalPrograms.h"
#include "ui/TempFiles.h"
#include "ui/WebRequests.h"

namespace {

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The temporary directory is a scratch folder and the clock stands still for the test.
class TempFilesTest : public ::testing::Test {
protected:
    TempDir root;
    std::wstring folder;

    void SetUp() override {
        setTempDirectory(root.path().c_str());
        setTempClock([] { return 0x1234u; });
        folder = root.path() + L"\\Verdalt";
    }
    void TearDown() override {
        deleteTempFiles(TempCleanup::kExit);
        deleteTempFiles(TempCleanup::kStart);
        RemoveDirectoryW(folder.c_str());
        setTempDirectory(nullptr);
        setTempClock(nullptr);
    }
    // The counter of a name made at 0x1234 seconds ("...\temp1234<counter>.xml").
    static unsigned counterOf(const std::wstring& name) {
        const size_t at = name.rfind(L"\\temp1234");
        return static_cast<unsigned>(std::wcstoul(name.c_str() + at + 9, nullptr, 16));
    }
};

TEST_F(TempFilesTest, OnlyTheProgramsOwnFilesAreDeleted) {
    // Others' files in the temporary directory itself, with the names the program uses.
    const std::wstring others[] = {root.write(L"temp1234.xml", "x"), root.write(L"template.xml", "x")};
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring left = root.write(L"Verdalt\\temp5.xml", "earlier run");
    const std::wstring leftUpper = root.write(L"Verdalt\\TEMPab.XML", "earlier run");
    const std::wstring notOurs = root.write(L"Verdalt\\notes.xml", "kept");

    deleteTempFiles(TempCleanup::kStart);
    EXPECT_FALSE(exists(left));
    EXPECT_FALSE(exists(leftUpper));
    EXPECT_TRUE(exists(notOurs));

    const std::wstring first = makeTempFileName();
    const std::wstring second = makeTempFileName();
    EXPECT_NE(first, second) << "two names in one second";
    EXPECT_EQ(first.rfind(folder + L"\\temp1234", 0), 0u) << narrow(first);
    EXPECT_TRUE(exists(first));
    EXPECT_TRUE(exists(second));
    // Another run's file made meanwhile is not this run's to delete.
    const std::wstring otherRun = root.write(L"Verdalt\\temp99999.xml", "another run");

    deleteTempFiles(TempCleanup::kExit);
    EXPECT_FALSE(exists(first));
    EXPECT_FALSE(exists(second));
    EXPECT_TRUE(exists(otherRun));
    EXPECT_TRUE(exists(notOurs));
    for (const std::wstring& path : others)
        EXPECT_TRUE(exists(path)) << narrow(path);
    DeleteFileW(otherRun.c_str());
    DeleteFileW(notOurs.c_str());
}

TEST_F(TempFilesTest, ANameInUseIsSkippedAndLeftAlone) {
    const std::wstring first = makeTempFileName();
    ASSERT_FALSE(first.empty());
    wchar_t taken[MAX_PATH];
    std::swprintf(taken, MAX_PATH, L"%ls\\temp1234%x.xml", folder.c_str(), counterOf(first) + 1);
    root.write(std::wstring(taken).substr(root.path().size() + 1), "another run's result");
    const std::wstring next = makeTempFileName();
    EXPECT_EQ(counterOf(next), counterOf(first) + 2);
    EXPECT_EQ(root.read(std::wstring(taken).substr(root.path().size() + 1)), "another run's result");
    DeleteFileW(taken);
}

TEST_F(TempFilesTest, ANameThatWouldNotFitIsNotMade) {
    // Nested folders bring the program's folder to 243 units, so that a name fits only
    // while the time and the counter are short.
    std::wstring deep = root.path();
    while (deep.size() < 243 - 8 - 10) {
        deep += L"\\dddddddd";
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    deep += L"\\" + std::wstring(243 - 8 - deep.size() - 1, L'e');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    setTempDirectory(deep.c_str());
    ASSERT_EQ(deep.size() + 8, 243u);

    setTempClock([] { return 0x12345678u; });
    EXPECT_EQ(makeTempFileName(), nullptr);
    setTempClock([] { return 1u; });
    const wchar_t* name = makeTempFileName();
    ASSERT_NE(name, nullptr);
    EXPECT_LT(std::wcslen(name), static_cast<size_t>(MAX_PATH));
    EXPECT_TRUE(exists(name));
    deleteTempFiles(TempCleanup::kExit);
    RemoveDirectoryW((deep + L"\\Verdalt").c_str());
    while (deep.size() > root.path().size()) {
        RemoveDirectoryW(deep.c_str());
        deep.erase(deep.rfind(L'\\'));
    }
}

TEST(OpenUrlTest, TheProtocolHandlerIsStartedFromTheSystemFolder) {
    std::wstring started;
    setProgramStartHandler([&started](const wchar_t* kind, const wchar_t* target, const wchar_t*) -> INT_PTR {
        EXPECT_STREQ(kind, L"process");
        started = target;
        return 33;
    });
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    onWebHome(nullptr, 0);
    setProgramStartHandler(nullptr);
    EXPECT_EQ(_wcsicmp(started.c_str(), (L"\"" + std::wstring(system) +
                                         L"\\rundll32.exe\" url.dll, FileProtocolHandler http://verdalt.invalid/")
                                            .c_str()),
              0)
        << narrow(started);
}

}  // namespace
