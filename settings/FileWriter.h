// Every file of the user's that the program writes (saved results, option files,
// list blocks, the editor's text) goes through here: the new content goes to a
// scratch file in the target's folder, every write is checked, and only a
// complete file replaces the target. On any failure the target is untouched.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

// One checked write: false unless every byte was written. Every writer of the
// user's files writes through this, so tests can make a write fail.
bool writeFileBytes(HANDLE file, const void* bytes, DWORD size);

// Tests: the write that would take the bytes written since this call past
// `bytes` fails with ERROR_DISK_FULL after writing only what fits; -1 (the
// default) never fails.
void setWriteFailureAfter(int64_t bytes);

// While alive, the writes to its handle() are kept in memory instead of going to a file,
// so that a block made by several writers reaches its file in one checked write. The
// handle is no file: only writeFileBytes (and with it writeText) may be given it.
class MemoryWriteSink {
public:
    MemoryWriteSink();
    ~MemoryWriteSink();
    MemoryWriteSink(const MemoryWriteSink&) = delete;
    MemoryWriteSink& operator=(const MemoryWriteSink&) = delete;

    HANDLE handle() const { return reinterpret_cast<HANDLE>(const_cast<MemoryWriteSink*>(this)); }
    const std::string& bytes() const { return bytes_; }
    // A write that could not be kept (no memory) makes the sink failed.
    bool failed() const { return failed_; }
    void clear();

private:
    friend bool writeFileBytes(HANDLE file, const void* bytes, DWORD size);

    std::string bytes_;
    bool failed_ = false;
    MemoryWriteSink* outer_;  // the sink alive before this one, not owned
};

class ReplacingFileWriter {
public:
    ReplacingFileWriter() = default;
    ReplacingFileWriter(const ReplacingFileWriter&) = delete;
    ReplacingFileWriter& operator=(const ReplacingFileWriter&) = delete;
    // An unfinished file is removed: the target stays as it was.
    ~ReplacingFileWriter();

    // Creates the scratch file beside target (beside the file it leads to, when it is a
    // symbolic link). False (with error()) when it cannot be made.
    bool begin(const wchar_t* target);
    // From here on, every write to handle() (writeText, writeFileBytes, write()) collects in a
    // bounded buffer that goes to the file in pieces of kOutputBufferBytes; commit() writes the
    // rest. Writers that emit many small pieces would otherwise make one system call each.
    // A failed piece is remembered and the bytes after it are dropped.
    static constexpr DWORD kOutputBufferBytes = 64 * 1024;
    bool useOutputBuffer();
    // The scratch file's handle, for writeText and the other writers.
    HANDLE handle() const { return file_; }
    // A checked write; a failure is remembered and makes commit() fail.
    bool write(const void* bytes, DWORD size);
    // Remembers a failure of a write made directly through handle().
    void markFailed(DWORD error = ERROR_WRITE_FAULT);
    bool failed() const { return failed_; }

    // Flushes and closes the scratch file and puts it in the target's place. An existing
    // target keeps its attributes and access rights; a target that is a symbolic link
    // stays one, and the file it leads to gets the new content (another hard link of that
    // file keeps the old content: the old file is never written over in place). False when anything
    // failed on the way: the scratch file is then removed and the target left as it was.
    // error() tells why.
    bool commit();
    // Removes the scratch file; the target is left as it was.
    void abandon();

    DWORD error() const { return error_; }
    const std::wstring& target() const { return target_; }
    const std::wstring& scratchPath() const { return scratch_; }

    // The buffered writer of file, or null (writeFileBytes asks).
    static ReplacingFileWriter* bufferedWriterOf(HANDLE file);
    // Adds bytes to the buffer; false once anything failed.
    bool buffer(const void* bytes, DWORD size);

private:
    bool flushBuffer();
    void releaseBuffer();

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<char[]> buffer_;  // null while unbuffered
    DWORD buffered_ = 0;
    std::wstring target_;
    std::wstring replaced_;  // the file a link at target_ leads to, else target_
    std::wstring scratch_;
    bool failed_ = false;
    DWORD error_ = 0;
};
