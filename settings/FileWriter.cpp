#include "settings/FileWriter.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

int64_t failureBudget = -1;
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

// The file that a save to path changes: the file a symbolic link at path (or in its folders)
// leads to, so that the link stays a link; path itself when it names no file yet or cannot be
// followed. Wine keeps Unix links and follows them when the file is opened.
std::wstring fileBehind(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return path;
    }
    std::wstring finalPath(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &finalPath[0], static_cast<DWORD>(finalPath.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= finalPath.size()) {
        finalPath.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, &finalPath[0], static_cast<DWORD>(finalPath.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(file);
    if (length == 0 || length >= finalPath.size()) {
        return path;
    }
    finalPath.resize(length);
    // The answer is "\\?\C:\..." or "\\?\UNC\server\...". The plain form is kept where it is
    // short enough for every call that takes it (the scratch name is added to its folder).
    static const wchar_t kLocal[] = L"\\\\?\\";
    static const wchar_t kShare[] = L"\\\\?\\UNC\\";
    constexpr size_t kRoomForScratchName = 24;
    if (finalPath.compare(0, 4, kLocal) != 0) {
        return path;
    }
    if (length + kRoomForScratchName >= MAX_PATH) {
        return finalPath;
    }
    if (finalPath.compare(0, 8, kShare) == 0) {
        return L"\\" + finalPath.substr(7);
    }
    if (finalPath.size() > 6 && finalPath[5] == L':' && finalPath[6] == L'\\') {
        return finalPath.substr(4);
    }
    return path;
}

// Gives the scratch file what the replaced file has: its attributes (read-only aside, which is
// refused before) and its access rights; a rename alone would leave the new file with the
// scratch file's defaults. True when there is nothing to keep (no old file, a volume without
// access rights); false with the last error when the scratch file would not take them.
bool carryIdentity(const std::wstring& from, const std::wstring& to) {
    const DWORD attributes = GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return true;  // gone meanwhile: nothing to keep
    }
    constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_TEMPORARY;
    const DWORD kept = attributes & kSettable;
    if (!SetFileAttributesW(to.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
        return false;
    }
    DWORD needed = 0;
    GetFileSecurityW(from.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0) {
        return true;  // a volume without access rights
    }
    std::unique_ptr<char[]> descriptor(new (std::nothrow) char[needed]);
    if (!descriptor) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!GetFileSecurityW(from.c_str(), DACL_SECURITY_INFORMATION, descriptor.get(), needed, &needed)) {
        return true;
    }
    return SetFileSecurityW(to.c_str(), DACL_SECURITY_INFORMATION, descriptor.get()) != FALSE;
}

}  // namespace

void setWriteFailureAfter(int64_t bytes) {
    failureBudget = bytes;
}

namespace {

bool writeToFile(HANDLE file, const void* bytes, DWORD size) {
    DWORD allowed = size;
    bool injected = false;
    if (failureBudget >= 0) {
        if (static_cast<int64_t>(size) > failureBudget) {
            allowed = static_cast<DWORD>(failureBudget);
            injected = true;
        }
        failureBudget -= allowed;
    }
    DWORD written = 0;
    if (allowed > 0 && !WriteFile(file, bytes, allowed, &written, nullptr)) {
        return false;
    }
    if (injected) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    if (written != size) {
        SetLastError(ERROR_DISK_FULL);
        return false;
    }
    return true;
}

}  // namespace

MemoryWriteSink::MemoryWriteSink() : outer_(newestSink) {
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
    if (target == nullptr || target[0] == 0) {
        error_ = ERROR_INVALID_NAME;
        failed_ = true;
        return false;
    }
    target_ = target;
    replaced_ = fileBehind(target_);
    if (isReadOnly(replaced_)) {
        error_ = ERROR_ACCESS_DENIED;
        failed_ = true;
        return false;
    }
    const std::wstring folder = folderOf(replaced_);
    // A name of our own in the replaced file's folder, so that the final move stays on one volume.
    const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (unsigned attempt = 0; attempt < 64; ++attempt) {
        wchar_t name[32];
        std::swprintf(name, 32, L"~verdalt%08lx.tmp", static_cast<unsigned long>(seed + attempt * 7919u));
        std::wstring candidate = folder + name;
        HANDLE file =
            CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            file_ = file;
            scratch_ = std::move(candidate);
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            error_ = error;
            break;
        }
        error_ = error;
    }
    failed_ = true;
    return false;
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
    if (!CloseHandle(file_) && !failed_) {
        markFailed(GetLastError());
    }
    file_ = INVALID_HANDLE_VALUE;
    if (!failed_ && isReadOnly(replaced_)) {
        markFailed(ERROR_ACCESS_DENIED);
    }
    if (!failed_ && !carryIdentity(replaced_, scratch_)) {
        markFailed(GetLastError());
    }
    // One rename, which either happens whole or leaves the old file. Not ReplaceFileW: Wine's
    // deletes the old file before it moves the new one in, and leaves a file of its own
    // behind when the old one is open.
    if (!failed_ &&
        !MoveFileExW(scratch_.c_str(), replaced_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        markFailed(GetLastError());
    }
    if (failed_) {
        DeleteFileW(scratch_.c_str());
        scratch_.clear();
        return false;
    }
    scratch_.clear();
    return true;
}

void ReplacingFileWriter::abandon() {
    releaseBuffer();
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
    if (!scratch_.empty()) {
        DeleteFileW(scratch_.c_str());
        scratch_.clear();
    }
}
