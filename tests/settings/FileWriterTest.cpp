#include "settings/FileWriter.h"

#include <gtest/gtest.h>

#include <windows.h>

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
