#include "settings/FileWriter.h"

#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "model/MessageBox.h"
#include "model/ParseMessages.h"

namespace {

int64_t failureBudget = -1;
bool restoreFailsToo = false;
// The sinks alive now, the newest first (single thread).
MemoryWriteSink* newestSink = nullptr;

// The writers whose handles are buffered now; a save has one, the slots leave room for a
// writer that is begun while another one is still open.
constexpr int kBufferedWriterSlots = 4;
ReplacingFileWriter* bufferedWriters[kBufferedWriterSlots] = {};

// The folder part of path, with its trailing separator; empty for a bare name.
std::wstring folderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Windows refuses to replace a read-only file and Wine does not: refuse it here, so a file
// the user protected stays as it is on both.
bool isReadOnly(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// The path of the file an open handle reaches, every symbolic link on the way followed (Wine
// keeps Unix links and follows them when a file is opened). It may come in the "\\?\" form,
// which every call it is handed to here accepts. Empty when the system cannot tell.
std::wstring finalPathOf(HANDLE file) {
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring path;
    // Too small a buffer gets the size it needs (with the NUL), a large enough one the length.
    DWORD answer = GetFinalPathNameByHandleW(file, nullptr, 0, kFlags);
    while (answer > path.size()) {
        path.assign(answer, L'\0');
        answer = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()), kFlags);
    }
    path.resize(answer);
    return path;
}

// Whether a name that cannot be opened is held all the same, by a symbolic link that leads
// nowhere: a rename onto it would put a plain file in the link's place. Only asked after an
// open found no file. Windows lists such a link in its folder (a reparse point); Wine leaves it
// out of every listing, and a search for its exact name answers "no more files" where a free
// name answers "not found". Nothing is created or removed to find out.
bool leadsNowhere(const std::wstring& path) {
    if (path.find_first_of(L"*?") != std::wstring::npos) return false;  // no file has such a name
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        return true;
    }
    return GetLastError() == ERROR_NO_MORE_FILES;
}

// What a save finds at its target before anything is written.
struct TargetFile {
    bool exists = false;
    std::wstring path;  // the file itself, links followed; the target's own name when it is new
    DWORD refusal = 0;  // why the target cannot be written, 0 when it can
};

TargetFile lookAtTarget(const std::wstring& target) {
    TargetFile found;
    found.path = target;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            // A missing folder, a file we may not write, one another program holds.
            found.refusal = error;
        } else if (leadsNowhere(target)) {
            found.refusal = ERROR_CANT_RESOLVE_FILENAME;
        }
        return found;
    }
    found.exists = true;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileInformationByHandle(file, &information) &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        found.refusal = ERROR_ACCESS_DENIED;
    }
    const std::wstring behind = finalPathOf(file);
    if (!behind.empty()) found.path = behind;
    CloseHandle(file);
    return found;
}

// Who may read a scratch file: the folder's defaults (a new target gets them anyway), or only
// the file's owner, for a file that holds content of an existing one: the new content before
// it is in place, the old content while the new is written over it.
enum class ScratchRights { FolderDefaults, OwnerOnly };

// The SDDL text of the user this process runs as; empty when the system cannot tell.
std::wstring processUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    wchar_t* text = nullptr;
    std::wstring out;
    if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
        out = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return out;
}

// The descriptors that give a new file to its owner alone, to read, write and remove, tried in
// order until the system takes one. A file stays readable and writable by its owner from the
// moment it exists, so that whatever a crash leaves can be opened by name.
// - Wine turns a list into Unix mode bits and gives an entry for a user of the caller's token to
//   the group as well (mode 640 under the usual umask). Only an entry for the file's owner, when
//   that owner is not in the token, maps to the owner's bits alone: the Owner Rights SID as owner
//   and as the one entry gives mode 600, and Wine shows the file as the user's.
// - Windows refuses an owner outside the caller's token (ERROR_INVALID_OWNER); there an entry for
//   the user who runs the program is the owner-only list.
std::vector<std::wstring> ownerOnlyDescriptors() {
    constexpr const wchar_t* kRights = L"FRFWSD";  // read, write and delete; no execute
    std::vector<std::wstring> out;
    out.push_back(std::wstring(L"O:OWD:P(A;;") + kRights + L";;;OW)");
    const std::wstring user = processUserSid();
    if (!user.empty()) out.push_back(std::wstring(L"D:P(A;;") + kRights + L";;;" + user + L")");
    return out;
}

// A new file of our own in folder with one descriptor (none: the folder's defaults), open for
// reading, writing and removing. path gets its name.
HANDLE createScratchFileWith(const std::wstring& folder, const wchar_t* descriptor, std::wstring& path) {
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, FALSE};
    PSECURITY_DESCRIPTOR rights = nullptr;
    if (descriptor != nullptr) {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor, SDDL_REVISION_1, &rights, nullptr)) {
            return INVALID_HANDLE_VALUE;
        }
        attributes.lpSecurityDescriptor = rights;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (unsigned attempt = 0; attempt < 64 && file == INVALID_HANDLE_VALUE; ++attempt) {
        wchar_t name[32];
        std::swprintf(name, 32, L"~verdalt%08lx.tmp", static_cast<unsigned long>(seed + attempt * 7919u));
        const std::wstring candidate = folder + name;
        file = CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, &attributes, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            path = candidate;
        } else if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    const DWORD error = GetLastError();
    LocalFree(rights);
    SetLastError(error);
    return file;
}

HANDLE createScratchFile(const std::wstring& folder, ScratchRights rights, std::wstring& path) {
    if (rights == ScratchRights::FolderDefaults) return createScratchFileWith(folder, nullptr, path);
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_INVALID_SECURITY_DESCR;
    for (const std::wstring& descriptor : ownerOnlyDescriptors()) {
        file = createScratchFileWith(folder, descriptor.c_str(), path);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        // Only a descriptor the system does not take is worth another try.
        if (error != ERROR_INVALID_OWNER && error != ERROR_INVALID_SECURITY_DESCR && error != ERROR_INVALID_SID &&
            error != ERROR_INVALID_ACL && error != ERROR_INVALID_PARAMETER) {
            break;
        }
    }
    SetLastError(error);
    return file;
}

// A path as the user knows it: without the "\\?\" form that the final path of a file comes in.
std::wstring shownPath(const std::wstring& path) {
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

// The system's text for an error, without its line end; the number when there is none.
std::wstring systemMessage(DWORD error) {
    std::wstring text = systemErrorText(error);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return L"Error " + std::to_wstring(error) + L".";
    return text;
}

bool seekToStart(HANDLE file) {
    LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

// Removes a file made by createScratchFile through its handle, and closes the handle. It is
// emptied first, so that no content of it stays behind should the removal fail.
void removeScratchFile(HANDLE file) {
    if (seekToStart(file)) SetEndOfFile(file);
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
    CloseHandle(file);
}

}  // namespace

void setWriteFailureAfter(int64_t bytes, bool restoreFails) {
    failureBudget = bytes;
    restoreFailsToo = restoreFails;
}

namespace {

// One WriteFile that writes all of bytes, or false with the reason.
bool writeWhole(HANDLE file, const void* bytes, DWORD size) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr)) {
        return false;
    }
    if (written != size) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

// writeWhole, cut short where the tests' failure budget ends.
bool writeToFile(HANDLE file, const void* bytes, DWORD size) {
    if (failureBudget >= 0 && static_cast<int64_t>(size) > failureBudget) {
        const DWORD allowed = static_cast<DWORD>(failureBudget);
        failureBudget = 0;
        if (allowed > 0) writeWhole(file, bytes, allowed);
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    if (failureBudget >= 0) failureBudget -= size;
    return writeWhole(file, bytes, size);
}

// How a copy writes: through the tests' failure budget, or past it (putting back the old
// content, which must not fail only because a test made the save fail).
enum class Budget { Counted, Exempt };

// Writes the whole content of `from` over `to` from its start, cuts `to` where that content
// ends and flushes it. False with the last error.
bool copyContent(HANDLE from, HANDLE to, char* buffer, DWORD bufferSize, Budget budget) {
    if (!seekToStart(from) || !seekToStart(to)) {
        return false;
    }
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer, bufferSize, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            break;
        }
        const bool written = budget == Budget::Counted ? writeToFile(to, buffer, got) : writeWhole(to, buffer, got);
        if (!written) {
            return false;
        }
    }
    return SetEndOfFile(to) && FlushFileBuffers(to);
}

}  // namespace

MemoryWriteSink::MemoryWriteSink(bool keep) : keep_(keep), outer_(newestSink) {
    newestSink = this;
}

MemoryWriteSink::~MemoryWriteSink() {
    // Sinks live on the stack, so they end newest first.
    newestSink = outer_;
}

void MemoryWriteSink::clear() {
    bytes_.clear();
    failed_ = false;
}

bool writeFileBytes(HANDLE file, const void* bytes, DWORD size) {
    if (size == 0) {
        return true;
    }
    for (MemoryWriteSink* sink = newestSink; sink != nullptr; sink = sink->outer_) {
        if (sink->handle() != file) continue;
        if (!sink->keep_) return true;
        try {
            sink->bytes_.append(static_cast<const char*>(bytes), size);
        } catch (const std::bad_alloc&) {
            sink->failed_ = true;
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return true;
    }
    if (ReplacingFileWriter* writer = ReplacingFileWriter::bufferedWriterOf(file)) {
        return writer->buffer(bytes, size);
    }
    return writeToFile(file, bytes, size);
}

ReplacingFileWriter* ReplacingFileWriter::bufferedWriterOf(HANDLE file) {
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        return nullptr;
    }
    for (ReplacingFileWriter* writer : bufferedWriters) {
        if (writer != nullptr && writer->file_ == file) {
            return writer;
        }
    }
    return nullptr;
}

bool ReplacingFileWriter::useOutputBuffer() {
    if (file_ == INVALID_HANDLE_VALUE || failed_) {
        return false;
    }
    if (buffer_) {
        return true;
    }
    for (ReplacingFileWriter*& slot : bufferedWriters) {
        if (slot == nullptr) {
            buffer_.reset(new (std::nothrow) char[kOutputBufferBytes]);
            if (!buffer_) {
                return false;
            }
            buffered_ = 0;
            slot = this;
            return true;
        }
    }
    return false;
}

bool ReplacingFileWriter::buffer(const void* bytes, DWORD size) {
    if (failed_) {
        SetLastError(error_);
        return false;
    }
    if (size > kOutputBufferBytes - buffered_ && !flushBuffer()) {
        return false;
    }
    if (size >= kOutputBufferBytes) {
        if (!writeToFile(file_, bytes, size)) {
            markFailed(GetLastError());
            return false;
        }
        return true;
    }
    std::memcpy(buffer_.get() + buffered_, bytes, size);
    buffered_ += size;
    return true;
}

bool ReplacingFileWriter::flushBuffer() {
    if (!buffer_ || buffered_ == 0) {
        return !failed_;
    }
    const DWORD size = buffered_;
    buffered_ = 0;
    if (!writeToFile(file_, buffer_.get(), size)) {
        markFailed(GetLastError());
        return false;
    }
    return true;
}

void ReplacingFileWriter::releaseBuffer() {
    for (ReplacingFileWriter*& slot : bufferedWriters) {
        if (slot == this) {
            slot = nullptr;
        }
    }
    buffer_.reset();
    buffered_ = 0;
}

ReplacingFileWriter::~ReplacingFileWriter() {
    abandon();
}

bool ReplacingFileWriter::begin(const wchar_t* target) {
    abandon();
    failed_ = false;
    error_ = 0;
    keptCopy_.clear();
    if (target == nullptr || target[0] == 0) {
        markFailed(ERROR_INVALID_NAME);
        return false;
    }
    target_ = target;
    const TargetFile found = lookAtTarget(target_);
    if (found.refusal != 0) {
        markFailed(found.refusal);
        return false;
    }
    replaced_ = found.path;
    inPlace_ = found.exists;
    // Beside the file, so that a new one moves in on the same volume; a file that holds the
    // content of an existing one is for the owner alone.
    file_ = createScratchFile(folderOf(replaced_), inPlace_ ? ScratchRights::OwnerOnly : ScratchRights::FolderDefaults,
                              scratch_);
    if (file_ == INVALID_HANDLE_VALUE) {
        markFailed(GetLastError());
        return false;
    }
    return true;
}

bool ReplacingFileWriter::write(const void* bytes, DWORD size) {
    if (failed_ || file_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (buffer_) {
        return buffer(bytes, size);
    }
    if (!writeToFile(file_, bytes, size)) {
        markFailed(GetLastError());
        return false;
    }
    return true;
}

void ReplacingFileWriter::markFailed(DWORD error) {
    if (!failed_) {
        failed_ = true;
        error_ = error != 0 ? error : ERROR_WRITE_FAULT;
    }
}

bool ReplacingFileWriter::commit() {
    if (file_ == INVALID_HANDLE_VALUE) {
        if (!failed_) markFailed(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!failed_) {
        flushBuffer();
    }
    releaseBuffer();
    if (!failed_ && !FlushFileBuffers(file_)) {
        markFailed(GetLastError());
    }
    if (!failed_ && isReadOnly(replaced_)) {
        markFailed(ERROR_ACCESS_DENIED);
    }
    if (!failed_) {
        if (inPlace_) {
            writeOverReplacedFile();
        } else {
            moveScratchIntoPlace();
        }
    }
    discardScratch();
    if (!keptCopy_.empty()) reportDamage();
    return !failed_;
}

// The one failure that leaves the user's file without its content: said at once, with where
// the content is, before the caller reports the failed save as it reports any other.
void ReplacingFileWriter::reportDamage() const {
    const std::wstring text = L"The file\n" + shownPath(target_) +
                              L"\nis damaged: its new content could not be written whole, and its old content "
                              L"could not be put back.\n" +
                              systemMessage(error_) + L"\n\nThe old content is whole in the file\n" + keptCopy_ +
                              L"\nCopy that file over the damaged one once the cause is mended.";
    showBox(boxOwnerWindow, text.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

// A new file: one rename, which either happens whole or leaves nothing. Not onto a file
// that appeared meanwhile: that one would lose what is its own.
void ReplacingFileWriter::moveScratchIntoPlace() {
    if (!CloseHandle(file_)) {
        markFailed(GetLastError());
    }
    file_ = INVALID_HANDLE_VALUE;
    if (!failed_ && !MoveFileExW(scratch_.c_str(), replaced_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        markFailed(GetLastError());
    }
    if (!failed_) {
        scratch_.clear();
    }
}

// An existing file is written over in place, behind a copy of its old content, so that it
// stays the same file: its owner, its access rights (under Wine its Unix mode, which no Windows
// call sets exactly), its attributes, its other hard links and the links that lead to it. A
// rename would keep none of these for sure. Steps:
// 1. the old content goes to a copy beside the file, as private as the scratch file (its
//    owner may read and write it from the moment it exists, so a crash leaves it usable);
// 2. the new content is written over the old one from the start, and the file cut to its end;
// 3. when that fails, the old content is written back from the copy;
// 4. the copy is removed once the file holds a whole content again (the new one or the old);
//    when putting the old content back failed too, it stays, is the one place where the old
//    content is whole, and keptCopy() names it.
void ReplacingFileWriter::writeOverReplacedFile() {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kOutputBufferBytes]);
    if (!buffer) {
        markFailed(ERROR_NOT_ENOUGH_MEMORY);
        return;
    }
    HANDLE replaced = CreateFileW(replaced_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (replaced == INVALID_HANDLE_VALUE) {
        markFailed(GetLastError());
        return;
    }
    std::wstring keptPath;
    HANDLE kept = createScratchFile(folderOf(replaced_), ScratchRights::OwnerOnly, keptPath);
    if (kept == INVALID_HANDLE_VALUE) {
        markFailed(GetLastError());
    } else if (!copyContent(replaced, kept, buffer.get(), kOutputBufferBytes, Budget::Counted)) {
        markFailed(GetLastError());
    } else if (!copyContent(file_, replaced, buffer.get(), kOutputBufferBytes, Budget::Counted)) {
        markFailed(GetLastError());
        const Budget restoring = restoreFailsToo ? Budget::Counted : Budget::Exempt;
        if (!copyContent(kept, replaced, buffer.get(), kOutputBufferBytes, restoring)) {
            FlushFileBuffers(kept);
            CloseHandle(kept);
            kept = INVALID_HANDLE_VALUE;
            keptCopy_ = shownPath(keptPath);
        }
    }
    if (kept != INVALID_HANDLE_VALUE) {
        removeScratchFile(kept);
    }
    CloseHandle(replaced);
}

void ReplacingFileWriter::discardScratch() {
    if (file_ != INVALID_HANDLE_VALUE) {
        removeScratchFile(file_);
        file_ = INVALID_HANDLE_VALUE;
    } else if (!scratch_.empty()) {
        DeleteFileW(scratch_.c_str());  // closed for a rename that failed: it has the folder's rights
    }
    scratch_.clear();
}

void ReplacingFileWriter::abandon() {
    releaseBuffer();
    discardScratch();
}
