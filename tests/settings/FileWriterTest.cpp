#include "settings/FileWriter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "model/MessageBox.h"
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

// The owner and access rights of a file as SDDL text (under Wine they follow its Unix owner
// and mode bits); empty when they cannot be read.
std::wstring accessRightsOf(const std::wstring& path) {
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), parts, nullptr, 0, &needed);
    std::vector<char> descriptor(needed);
    if (needed == 0 || !GetFileSecurityW(path.c_str(), parts, descriptor.data(), needed, &needed)) {
        return L"";
    }
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, parts, &text,
                                                              nullptr)) {
        return L"";
    }
    std::wstring out = text;
    LocalFree(text);
    return out;
}

// The file a path names as Windows sees it: which file (volume and index), how many names it
// has, its attributes.
struct FileObject {
    DWORD volume = 0;
    uint64_t index = 0;
    DWORD links = 0;
    DWORD attributes = 0;
    bool operator==(const FileObject& other) const {
        return volume == other.volume && index == other.index && links == other.links && attributes == other.attributes;
    }
};

void PrintTo(const FileObject& file, std::ostream* out) {
    *out << "file " << file.volume << ":" << file.index << " with " << file.links << " names, attributes "
         << file.attributes;
}

FileObject fileObjectOf(const std::wstring& path) {
    FileObject out;
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION information = {};
    if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information)) {
        out.volume = information.dwVolumeSerialNumber;
        out.index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        out.links = information.nNumberOfLinks;
        out.attributes = information.dwFileAttributes;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return out;
}

// The host side of Wine, for what no Windows call shows or sets: Unix modes, owners and
// symbolic links. Not under Wine, available() is false and the tests that need it skip.
class Host {
public:
    Host() {
        using UnixName = char*(CDECL*)(const wchar_t*);
        unixName_ = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    }
    bool available() const { return unixName_ != nullptr; }

    // The host's name of a file, in single quotes for the shell.
    std::string quoted(const std::wstring& path) const {
        char* name = unixName_ != nullptr ? unixName_(path.c_str()) : nullptr;
        std::string out = name != nullptr ? "'" + std::string(name) + "'" : std::string("''");
        HeapFree(GetProcessHeap(), 0, name);
        return out;
    }

    // Runs a shell command (no double quotes or backslashes in it) and returns what it printed.
    // Wine starts a host program detached, so its end is seen by its output file, which the
    // shell renames into place once the command is done.
    std::string run(const std::string& command) const {
        const std::wstring output = outputs_.file(L"out" + std::to_wstring(++runs_));
        const std::wstring partial = output + L".part";
        std::string line = "/bin/sh -c \"" + command + " > " + quoted(partial) + " 2>&1; mv " + quoted(partial) + " " +
                           quoted(output) + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA("Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            return "<not started>";
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int attempt = 0; attempt < 2000; ++attempt) {
            if (GetFileAttributesW(output.c_str()) != INVALID_FILE_ATTRIBUTES) {
                const std::string printed = outputs_.read(output.substr(outputs_.path().size() + 1));
                DeleteFileW(output.c_str());
                return printed;
            }
            Sleep(5);
        }
        return "<no answer>";
    }

    // "mode uid:gid inode links" of the file a path names, links followed.
    std::string identityOf(const std::wstring& path) const {
        return run("stat -L -c '%a %u:%g %i %h' " + quoted(path));
    }
    std::string modeOf(const std::wstring& path) const { return run("stat -L -c %a " + quoted(path)); }
    bool chmod(const std::wstring& path, const char* mode) const {
        return run(std::string("chmod ") + mode + " " + quoted(path) + " && echo done") == "done\n";
    }
    bool chown(const std::wstring& path, const char* owner) const {
        return run(std::string("chown ") + owner + " " + quoted(path) + " && echo done") == "done\n";
    }
    // A symbolic link at link that leads to target's host name, which need not exist.
    bool symlink(const std::wstring& link, const std::wstring& target) const {
        return run("ln -s " + quoted(target) + " " + quoted(link) + " && echo done") == "done\n";
    }
    std::string readLink(const std::wstring& link) const { return run("readlink " + quoted(link)); }
    void remove(const std::wstring& path) const { run("rm -f " + quoted(path)); }

private:
    char*(CDECL* unixName_)(const wchar_t*) = nullptr;
    TempDir outputs_;
    mutable int runs_ = 0;
};

// Makes link a symbolic link to the existing file target. Wine 8 answers CreateSymbolicLinkW
// with success and makes nothing, so under Wine the link is made by the host.
bool makeSymbolicLink(const Host& host, const std::wstring& link, const std::wstring& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), 0) &&
        GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    return host.available() && host.symlink(link, target);
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

// A hard-linked target is written over in place: it stays one file, and both its names show
// the new content.
TEST_F(FileWriterTest, AHardLinkedTargetStaysOneFileUnderBothNames) {
    const std::wstring target = dir.write(L"target.xml", "old bytes");
    ASSERT_TRUE(CreateHardLinkW(dir.file(L"other.xml").c_str(), target.c_str(), nullptr));
    const FileObject before = fileObjectOf(target);
    ASSERT_EQ(before.links, 2u);
    ASSERT_TRUE(replaceWith(target, "new bytes"));
    EXPECT_EQ(dir.read(L"target.xml"), "new bytes");
    EXPECT_EQ(dir.read(L"other.xml"), "new bytes");
    EXPECT_EQ(fileObjectOf(target), before);
    EXPECT_EQ(fileObjectOf(dir.file(L"other.xml")), before);
    EXPECT_EQ(dir.names(), (std::vector<std::wstring>{L"other.xml", L"target.xml"}));
}

// Saving to a symbolic link writes the file it leads to, in that file's folder, and leaves
// the link a link; a read-only file behind a link is refused like a read-only target.
TEST_F(FileWriterTest, ASymbolicLinkIsWrittenThroughAndStaysALink) {
    Host host;
    TempDir elsewhere;
    const std::wstring real = elsewhere.write(L"real.xml", "old bytes");
    const std::wstring link = dir.file(L"link.xml");
    ASSERT_TRUE(makeSymbolicLink(host, link, real));
    if (host.available()) {
        ASSERT_TRUE(host.chmod(real, "600"));
    }
    const std::wstring rightsBefore = accessRightsOf(real);
    const std::string identityBefore = host.available() ? host.identityOf(real) : "";

    ASSERT_TRUE(replaceWith(link, "new bytes"));
    EXPECT_EQ(elsewhere.read(L"real.xml"), "new bytes");
    EXPECT_EQ(dir.read(L"link.xml"), "new bytes");
    EXPECT_EQ(accessRightsOf(real), rightsBefore);
    if (host.available()) {
        EXPECT_EQ(host.identityOf(real), identityBefore);
        EXPECT_EQ(host.readLink(link), host.quoted(real).substr(1, host.quoted(real).size() - 2) + "\n");
    }
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

// A link to a file that does not exist is refused with a reason of its own: writing would
// either put a plain file in the link's place or make a file somewhere the user never named.
TEST_F(FileWriterTest, ADanglingLinkIsRefusedAndStaysALink) {
    Host host;
    if (!host.available()) GTEST_SKIP() << "needs the host to make the link";
    TempDir elsewhere;
    const std::wstring missing = elsewhere.file(L"missing.xml");
    const std::wstring link = dir.file(L"dangling.xml");
    ASSERT_TRUE(host.symlink(link, missing));
    const std::string leadsTo = host.readLink(link);

    ReplacingFileWriter writer;
    EXPECT_FALSE(writer.begin(link.c_str()));
    EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_FALSE(writer.commit());
    EXPECT_EQ(host.readLink(link), leadsTo);
    EXPECT_EQ(GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(elsewhere.names().empty());
    EXPECT_TRUE(dir.names().empty()) << "no scratch file is left";
    host.remove(link);
}

// Every change of the names in a folder while it is alive, in order, as the system reports
// them (FILE_ACTION_ADDED, ..._REMOVED, ..._RENAMED_OLD_NAME, ..._RENAMED_NEW_NAME).
class FolderWatch {
public:
    struct Change {
        DWORD action;
        std::wstring name;
    };
    explicit FolderWatch(const std::wstring& folder) : folder_(folder) {
        folderHandle_ =
            CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        overlapped_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        watching_ = folderHandle_ != INVALID_HANDLE_VALUE && overlapped_.hEvent != nullptr && ask();
    }
    ~FolderWatch() {
        if (folderHandle_ != INVALID_HANDLE_VALUE) {
            CancelIo(folderHandle_);
            CloseHandle(folderHandle_);
        }
        if (overlapped_.hEvent != nullptr) CloseHandle(overlapped_.hEvent);
    }
    bool watching() const { return watching_; }

    // Every change up to now. The reports come late; a marker file made and removed here is the
    // last change, so all before it are in once it is seen.
    std::vector<Change> changes() {
        const std::wstring marker = folder_ + L"\\watch.marker";
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        DeleteFileW(marker.c_str());
        std::vector<Change> out;
        bool markerGone = false;
        while (watching_ && !markerGone && WaitForSingleObject(overlapped_.hEvent, 10000) == WAIT_OBJECT_0) {
            DWORD got = 0;
            if (!GetOverlappedResult(folderHandle_, &overlapped_, &got, FALSE)) break;
            for (size_t at = 0; got != 0;) {
                const auto* change = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + at);
                const std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
                if (name == L"watch.marker") {
                    markerGone = markerGone || change->Action == FILE_ACTION_REMOVED;
                } else {
                    out.push_back({change->Action, name});
                }
                if (change->NextEntryOffset == 0) break;
                at += change->NextEntryOffset;
            }
            ResetEvent(overlapped_.hEvent);
            if (!ask()) break;
        }
        EXPECT_TRUE(markerGone) << "the folder's changes were not all reported";
        return out;
    }

private:
    bool ask() {
        return ReadDirectoryChangesW(folderHandle_, buffer_, sizeof(buffer_), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME,
                                     nullptr, &overlapped_, nullptr) != FALSE;
    }

    std::wstring folder_;
    HANDLE folderHandle_ = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped_ = {};
    alignas(DWORD) char buffer_[64 * 1024];
    bool watching_ = false;
};

// A save to a new name creates no file under that name to find out what the name is: the
// target's name appears once, when the complete scratch file is renamed to it. A probe that
// made and removed a file there would leave it where the folder lets us create but not remove
// (under Wine no right refuses a removal to the user who runs these tests, so the test watches
// the folder instead), and the rename would then fail.
TEST_F(FileWriterTest, ASaveToANewNameMakesNoOtherFileUnderThatName) {
    const std::wstring target = dir.file(L"fresh.xml");
    FolderWatch watch(dir.path());
    ASSERT_TRUE(watch.watching());
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.begin(target.c_str()));
    const std::wstring scratch = writer.scratchPath().substr(dir.path().size() + 1);
    EXPECT_TRUE(writer.write("abc", 3));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(dir.read(L"fresh.xml"), "abc");
    EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"fresh.xml"});
    std::vector<std::wstring> seen;
    for (const FolderWatch::Change& change : watch.changes())
        seen.push_back(std::to_wstring(change.action) + L" " + change.name);
    const std::vector<std::wstring> expected = {
        std::to_wstring(FILE_ACTION_ADDED) + L" " + scratch,
        std::to_wstring(FILE_ACTION_RENAMED_OLD_NAME) + L" " + scratch,
        std::to_wstring(FILE_ACTION_RENAMED_NEW_NAME) + L" fresh.xml",
    };
    EXPECT_EQ(seen, expected);
}

// A save over an existing file keeps everything that is the file's own: its Unix mode and
// owner, the owner and access rights Windows reads from them, its index and its names. A
// read-only file is refused and stays as it was.
TEST_F(FileWriterTest, ASaveKeepsTheModeOwnerAndAccessOfTheFileItReplaces) {
    Host host;
    if (!host.available()) GTEST_SKIP() << "needs the host to set Unix modes";
    struct Case {
        const char* mode;
        const char* owner;  // null: the one who runs the tests
        bool refused;
    };
    const Case cases[] = {
        {"600", nullptr, false},       {"640", nullptr, false}, {"644", nullptr, false},
        {"755", nullptr, false},       {"660", nullptr, false}, {"604", nullptr, false},
        {"644", "65534:65534", false}, {"444", nullptr, true},  {"400", nullptr, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.mode) + (row.owner != nullptr ? std::string(" ") + row.owner : ""));
        const std::wstring target = dir.write(L"kept.xml", "old bytes");
        ASSERT_TRUE(host.chmod(target, row.mode));
        if (row.owner != nullptr && !host.chown(target, row.owner)) {
            continue;  // only root may give a file away
        }
        const std::string identity = host.identityOf(target);
        const std::wstring rights = accessRightsOf(target);
        const FileObject object = fileObjectOf(target);
        ASSERT_EQ(identity.substr(0, identity.find(' ')), row.mode);

        EXPECT_EQ(replaceWith(target, "new bytes"), !row.refused);
        EXPECT_EQ(dir.read(L"kept.xml"), row.refused ? "old bytes" : "new bytes");
        EXPECT_EQ(host.identityOf(target), identity);
        EXPECT_EQ(accessRightsOf(target), rights);
        EXPECT_EQ(fileObjectOf(target), object);
        EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"kept.xml"});
        host.chmod(target, "644");
        DeleteFileW(target.c_str());
    }
}

// Until the save is complete the new content stands in a scratch file that only its owner may
// read and write (mode 600 under Wine): a private file's new content is never readable wider,
// and what a crash leaves its owner can open.
TEST_F(FileWriterTest, TheScratchFileOfAnExistingTargetIsForItsOwnerToReadAndWrite) {
    Host host;
    if (!host.available()) GTEST_SKIP() << "needs the host to read Unix modes";
    const std::wstring target = dir.write(L"private.xml", "old bytes");
    ASSERT_TRUE(host.chmod(target, "600"));
    ReplacingFileWriter writer;
    ASSERT_TRUE(writer.begin(target.c_str()));
    ASSERT_TRUE(writer.write("new bytes", 9));
    EXPECT_EQ(host.modeOf(writer.scratchPath()), "600\n");
    EXPECT_EQ(GetFileAttributesW(writer.scratchPath().c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(host.modeOf(target), "600\n");
    EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"private.xml"});
}

// A write that fails at any step (the scratch file, the kept copy of the old content, the new
// content over the old) leaves the old content, the mode and the file itself, and no file of
// ours; one byte more and the save goes through. New content both shorter and longer than the
// old: the old is put back whole and cut to its own length.
TEST_F(FileWriterTest, AWriteFailureAtAnyStepLeavesTheOldContentAndAccess) {
    Host host;
    const std::pair<std::string, std::string> contents[] = {{"0123456789", "abc"}, {"abc", "0123456789"}};
    for (const auto& [oldContent, newContent] : contents) {
        SCOPED_TRACE(oldContent + " -> " + newContent);
        const std::wstring target = dir.write(L"kept.xml", oldContent);
        if (host.available()) {
            ASSERT_TRUE(host.chmod(target, "640"));
        }
        const std::string identity = host.available() ? host.identityOf(target) : "";
        const std::wstring rights = accessRightsOf(target);
        const FileObject object = fileObjectOf(target);
        // The scratch file takes the new bytes, the kept copy the old, the target the new.
        const int64_t everyByte = static_cast<int64_t>(2 * newContent.size() + oldContent.size());
        for (int64_t budget = 0; budget < everyByte; ++budget) {
            SCOPED_TRACE(budget);
            setWriteFailureAfter(budget);
            EXPECT_FALSE(replaceWith(target, newContent));
            setWriteFailureAfter(-1);
            EXPECT_EQ(dir.read(L"kept.xml"), oldContent);
            EXPECT_EQ(accessRightsOf(target), rights);
            EXPECT_EQ(fileObjectOf(target), object);
            if (host.available()) {
                EXPECT_EQ(host.identityOf(target), identity);
            }
            EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"kept.xml"});
        }
        setWriteFailureAfter(everyByte);
        EXPECT_TRUE(replaceWith(target, newContent));
        setWriteFailureAfter(-1);
        EXPECT_EQ(dir.read(L"kept.xml"), newContent);
        if (host.available()) {
            EXPECT_EQ(host.identityOf(target), identity);
        }
    }
}

// The text of a box line by line.
std::vector<std::wstring> linesOf(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

// The bytes of a file opened by its name, as the user would open it; "<cannot open>" when the
// system refuses.
std::string contentOf(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
    std::string bytes;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

// A write that fails at any byte while the new content goes over the old, with putting the old
// content back failing too: a box says the file is damaged, with the system's reason and the
// full path of the copy that holds the old content; the copy opens by that name, holds the old
// content whole and is its owner's to read and write. A failure before the file is touched
// damages nothing and says nothing here.
TEST_F(FileWriterTest, AFailedRestoreSaysTheFileIsDamagedAndNamesTheKeptCopy) {
    Host host;
    wchar_t diskFull[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_DISK_FULL,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), diskFull, 512, nullptr);
    std::wstring reason = diskFull;
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    ASSERT_FALSE(reason.empty());
    const std::pair<std::string, std::string> contents[] = {{"old content", "new bytes"}, {"old", "new longer bytes"}};
    for (const auto& [oldContent, newContent] : contents) {
        SCOPED_TRACE(oldContent + " -> " + newContent);
        const std::wstring target = dir.write(L"kept.xml", oldContent);
        if (host.available()) {
            ASSERT_TRUE(host.chmod(target, "640"));
        }
        // The scratch file takes the new bytes, the copy the old ones, then the target the new.
        const int64_t touched = static_cast<int64_t>(newContent.size() + oldContent.size());
        const int64_t everyByte = touched + static_cast<int64_t>(newContent.size());
        for (int64_t budget = 0; budget <= everyByte; ++budget) {
            SCOPED_TRACE(budget);
            const bool damaged = budget >= touched && budget < everyByte;
            BoxScript boxes;
            if (damaged) boxes.expectCaption(L"Error");
            setWriteFailureAfter(budget, true);
            ReplacingFileWriter writer;
            ASSERT_TRUE(writer.begin(target.c_str()));
            EXPECT_EQ(writer.write(newContent.data(), static_cast<DWORD>(newContent.size())),
                      budget >= static_cast<int64_t>(newContent.size()));
            EXPECT_EQ(writer.commit(), budget == everyByte);
            setWriteFailureAfter(-1);
            if (!damaged) {
                EXPECT_TRUE(writer.keptCopy().empty());
                EXPECT_TRUE(boxes.shown().empty());
                EXPECT_EQ(dir.read(L"kept.xml"), budget == everyByte ? newContent : oldContent);
                EXPECT_EQ(dir.names(), std::vector<std::wstring>{L"kept.xml"});
                dir.write(L"kept.xml", oldContent);
                continue;
            }
            EXPECT_EQ(writer.error(), static_cast<DWORD>(ERROR_DISK_FULL));
            ASSERT_EQ(boxes.shown().size(), 1u);
            const std::wstring& text = boxes.shown()[0].text;
            EXPECT_EQ(boxes.shown()[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
            const std::vector<std::wstring> lines = linesOf(text);
            // The file, that it is damaged, the system's reason, and the copy on a line of its own.
            ASSERT_GE(lines.size(), 6u) << narrow(text);
            EXPECT_EQ(lines[1], target) << narrow(text);
            EXPECT_EQ(lines[2].rfind(L"is damaged", 0), 0u) << narrow(text);
            EXPECT_EQ(lines[3], reason) << narrow(text);
            const auto intro = std::find(lines.begin(), lines.end(), L"The old content is whole in the file");
            ASSERT_NE(intro, lines.end()) << narrow(text);
            ASSERT_NE(intro + 1, lines.end()) << narrow(text);
            const std::wstring copy = *(intro + 1);
            EXPECT_EQ(copy, writer.keptCopy());
            // Full path, beside the file.
            ASSERT_EQ(copy.rfind(dir.path() + L"\\~verdalt", 0), 0u) << narrow(copy);
            const std::wstring copyName = copy.substr(dir.path().size() + 1);
            EXPECT_EQ(dir.names(), (std::vector<std::wstring>{L"kept.xml", copyName}));
            EXPECT_EQ(contentOf(copy), oldContent);
            EXPECT_EQ(GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
            if (host.available()) {
                EXPECT_EQ(host.modeOf(copy), "600\n");
                EXPECT_EQ(host.modeOf(target), "640\n");
            }
            if (budget > touched) {
                EXPECT_NE(dir.read(L"kept.xml"), oldContent) << "the file holds new bytes over old ones";
            }
            EXPECT_TRUE(DeleteFileW(copy.c_str())) << "its owner can remove it";
            dir.write(L"kept.xml", oldContent);
        }
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
