#include "settings/FileWriter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "settings/EncodingSpec.h"
#include "tests/support/TestSupport.h"

namespace {

class FileWriterTest : public ::testing::Test {
protected:
    TempDir dir;
    void TearDown() override { setWriteFailureAfter(-1); }
};

// Writes bytes to path through the replacing writer; false when any step failed.
bool replaceWith(const std::wstring& path, const std::string& bytes) {
    ReplacingFileWriter writer;
    return writer.begin(path.c_str()) && writer.write(bytes.data(), static_cast<DWORD>(bytes.size())) &&
           writer.commit();
}

// The access rights of a file as SDDL text; empty when they cannot be read.
std::wstring accessRightsOf(const std::wstring& path) {
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::vector<char> descriptor(needed);
    if (needed == 0 || !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) {
        return L"";
    }
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return L"";
    }
    std::wstring out = text;
    LocalFree(text);
    return out;
}

// Makes link a symbolic link to the existing file target. Wine 8 answers CreateSymbolicLinkW
// with success and makes nothing, so under Wine the link is made by the host's ln on the
// files' Unix names.
bool makeSymbolicLink(const std::wstring& link, const std::wstring& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) &&
        GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) return false;
    char* linkName = unixName(link.c_str());
    char* targetName = unixName(target.c_str());
    std::string command;
    if (linkName != nullptr && targetName != nullptr) {
        command = std::string("/bin/ln -s \"") + targetName + "\" \"" + linkName + "\"";
    }
    HeapFree(GetProcessHeap(), 0, linkName);
    HeapFree(GetProcessHeap(), 0, targetName);
    if (command.empty()) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine starts a host program detached: its handle tells nothing of when ln is done, so the
    // link itself is awaited.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(10);
    }
    return false;
}

TEST_F(FileWriterTest, NewContentReplacesTheTargetOnlyWhenComplete) {
    const std::wstring target = dir.write(L"out.xml", "old bytes");
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.begin(target.c_str()));
    EXPECT_TRUE(writer.write("new ", 4));
    EXPECT_TRUE(writeText(writer.handle(), L"text", -1));
    EXPECT_EQ(dir.read(L"out.xml"), "old bytes") << "the target changes only at commit";
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(dir.read(L"out.xml"), "new text");
    EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"out.xml"});
}

TEST_F(FileWriterTest, CreatesATargetThatDidNotExist) {
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.begin(dir.file(L"fresh.txt").c_str()));
    EXPECT_TRUE(writer.write("abc", 3));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(dir.read(L"fresh.txt"), "abc");
}

// A write that fails part-way, a writer dropped before commit, and a target that cannot be
// replaced all leave the old bytes and no scratch file behind.
TEST_F(FileWriterTest, FailuresLeaveTheTargetAndNoScratchFile) {
    enum class Failure { ShortWrite, Dropped, ReadOnlyTarget };
    for (Failure failure : {Failure::ShortWrite, Failure::Dropped, Failure::ReadOnlyTarget}) {
        SCOPED_TRACE(static_cast<int>(failure));
        const std::wstring target = dir.write(L"keep.txt", "old bytes");
        if (failure == Failure::ReadOnlyTarget) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
        {
            ReplacingFileWriter writer;
            if (failure == Failure::ReadOnlyTarget) {
                // Refused at once, before anything is written.
                EXPECT_FALSE(writer.begin(target.c_str()));
                EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
                SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
                ASSERT_TRUE(writer.begin(target.c_str()));
                SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
            } else {
                ASSERT_TRUE(writer.begin(target.c_str()));
            }
            if (failure == Failure::ShortWrite) setWriteFailureAfter(5);
            const bool first = writer.write("12345", 5);
            const bool second = writer.write("67890", 5);
            if (failure == Failure::ShortWrite) {
                EXPECT_TRUE(first);
                EXPECT_FALSE(second);
                EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_DISK_FULL));
                EXPECT_FALSE(writer.commit());
            } else if (failure == Failure::ReadOnlyTarget) {
                EXPECT_FALSE(writer.commit()) << "a target made read-only meanwhile is not replaced";
                EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
            }
            setWriteFailureAfter(-1);
        }
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(dir.read(L"keep.txt"), "old bytes");
        EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"keep.txt"});
    }
}

// The replaced file keeps its attributes and access rights: the scratch file's defaults
// do not take their place.
TEST_F(FileWriterTest, AReplacedTargetKeepsItsAttributesAndAccessRights) {
    const DWORD cases[] = {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE,
                           FILE_ATTRIBUTE_ARCHIVE};
    for (DWORD attributes : cases) {
        SCOPED_TRACE(attributes);
        const std::wstring target = dir.write(L"kept.xml", "old bytes");
        ASSERT_TRUE(SetFileAttributesW(target.c_str(), attributes));
        // Everyone may write: not what a new file gets.
        PSECURITY_DESCRIPTOR rights = nullptr;
        ASSERT_TRUE(
            ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;FA;;;WD)", SDDL_REVISION_1, &rights, nullptr));
        EXPECT_TRUE(SetFileSecurityW(target.c_str(), DACL_SECURITY_INFORMATION, rights));
        LocalFree(rights);
        const std::wstring rightsBefore = accessRightsOf(target);
        ASSERT_NE(rightsBefore, accessRightsOf(dir.write(L"plain.txt", "")));
        DeleteFileW(dir.file(L"plain.txt").c_str());

        ASSERT_TRUE(replaceWith(target, "new bytes"));
        EXPECT_EQ(dir.read(L"kept.xml"), "new bytes");
        EXPECT_EQ(GetFileAttributesW(target.c_str()), attributes);
        EXPECT_EQ(accessRightsOf(target), rightsBefore);
        EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"kept.xml"});
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// A hard-linked target gets the new content under its name; its other name keeps the old
// file whole (the old content is not lost, and is never half-written).
TEST_F(FileWriterTest, TheOtherNameOfAHardLinkedTargetKeepsTheOldFile) {
    const std::wstring target = dir.write(L"target.xml", "old bytes");
    ASSERT_TRUE(CreateHardLinkW(dir.file(L"other.xml").c_str(), target.c_str(), nullptr));
    ASSERT_TRUE(replaceWith(target, "new bytes"));
    EXPECT_EQ(dir.read(L"target.xml"), "new bytes");
    EXPECT_EQ(dir.read(L"other.xml"), "old bytes");
    EXPECT_EQ(dir.names(), (std::vector<std::wstring>{L"other.xml", L"target.xml"}));
}

// Saving to a symbolic link writes the file it leads to, in that file's folder, and leaves
// the link a link; a read-only file behind a link is refused like a read-only target.
TEST_F(FileWriterTest, ASymbolicLinkIsWrittenThroughAndStaysALink) {
    TempDir elsewhere;
    const std::wstring real = elsewhere.write(L"real.xml", "old bytes");
    const std::wstring link = dir.file(L"link.xml");
    ASSERT_TRUE(makeSymbolicLink(link, real));

    ASSERT_TRUE(replaceWith(link, "new bytes"));
    EXPECT_EQ(elsewhere.read(L"real.xml"), "new bytes");
    EXPECT_EQ(dir.read(L"link.xml"), "new bytes");
    EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"link.xml"});
    EXPECT_EQ(elsewhere.names(), std::vector<std::wstring>{L"real.xml"});
    // Still a link: a later change of the real file shows through it.
    elsewhere.write(L"real.xml", "later bytes");
    EXPECT_EQ(dir.read(L"link.xml"), "later bytes");

    SetFileAttributesW(real.c_str(), FILE_ATTRIBUTE_READONLY);
    ReplacingFileWriter writer;
    EXPECT_FALSE(writer.begin(link.c_str()));
    EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetFileAttributesW(real.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(dir.read(L"link.xml"), "later bytes");
}

TEST_F(FileWriterTest, AMissingFolderFailsAtTheStart) {
    ReplacingFileWriter writer;
    EXPECT_FALSE(writer.begin(dir.file(L"no such folder\\out.txt").c_str()));
    EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(writer.commit());
}

TEST_F(FileWriterTest, TheWriteFailureSeamCountsBytesAcrossWrites) {
    const std::wstring path = dir.file(L"raw.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    setWriteFailureAfter(6);
    EXPECT_TRUE(writeFileBytes(file, "abcd", 4));
    EXPECT_FALSE(writeFileBytes(file, "efgh", 4));
    EXPECT_FALSE(writeFileBytes(file, "ijkl", 4));
    setWriteFailureAfter(-1);
    EXPECT_TRUE(writeFileBytes(file, "mn", 2));
    CloseHandle(file);
    EXPECT_EQ(dir.read(L"raw.bin"), "abcdefmn");
}

// A sink keeps what is written to its handle, leaves every other handle to its file, and
// takes nothing from the write-failure budget: only the one write to the file counts.
TEST_F(FileWriterTest, AMemorySinkCollectsABlockForOneWrite) {
    const std::wstring path = dir.file(L"block.txt");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    setWriteFailureAfter(4);
    MemoryWriteSink outer;
    {
        MemoryWriteSink inner;
        EXPECT_TRUE(writeText(outer.handle(), L"one ", -1));
        EXPECT_TRUE(writeText(inner.handle(), L"inner", -1));
        EXPECT_TRUE(writeFileBytes(file, "file", 4));
        EXPECT_TRUE(writeText(outer.handle(), L"two", -1));
        EXPECT_EQ(inner.bytes(), "inner");
    }
    EXPECT_TRUE(writeText(outer.handle(), L"!", -1));
    EXPECT_EQ(outer.bytes(), "one two!");
    EXPECT_FALSE(writeFileBytes(file, outer.bytes().data(), static_cast<DWORD>(outer.bytes().size())));
    setWriteFailureAfter(-1);
    CloseHandle(file);
    EXPECT_EQ(dir.read(L"block.txt"), "file");
}

// Pieces of every size, small ones, one across the buffer's end and one larger than the
// buffer, reach the file in order.
TEST_F(FileWriterTest, BufferedPiecesReachTheTargetInOrder) {
    const std::wstring target = dir.file(L"buffered.bin");
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.begin(target.c_str()));
    ASSERT_TRUE(writer.useOutputBuffer());
    std::string expected;
    const size_t sizes[] = {1, 7, 4096, 60000, 3000, ReplacingFileWriter::kOutputBufferBytes + 10, 5};
    char next = 'a';
    for (size_t size : sizes) {
        const std::string piece(size, next);
        next = static_cast<char>(next + 1);
        EXPECT_TRUE(writeFileBytes(writer.handle(), piece.data(), static_cast<DWORD>(piece.size())));
        expected += piece;
    }
    EXPECT_TRUE(writeText(writer.handle(), L"tail", -1));
    expected += "tail";
    EXPECT_TRUE(writer.write("!", 1));
    expected += "!";
    EXPECT_TRUE(writer.commit());
    EXPECT_EQ(dir.read(L"buffered.bin"), expected);
}

TEST_F(FileWriterTest, ABufferedWriteThatFailsFailsTheCommit) {
    const std::wstring target = dir.write(L"kept.bin", "old");
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.begin(target.c_str()));
    ASSERT_TRUE(writer.useOutputBuffer());
    setWriteFailureAfter(100);
    const std::string piece(ReplacingFileWriter::kOutputBufferBytes - 1, 'x');
    EXPECT_TRUE(writeFileBytes(writer.handle(), piece.data(), static_cast<DWORD>(piece.size())));
    // The piece that overflows the buffer sends it to the file, where the write fails.
    EXPECT_FALSE(writeFileBytes(writer.handle(), "yy", 2));
    EXPECT_FALSE(writeFileBytes(writer.handle(), "z", 1));
    EXPECT_FALSE(writer.commit());
    EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(dir.read(L"kept.bin"), "old");
    EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"kept.bin"});
}

}  // namespace
