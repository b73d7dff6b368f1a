// Every file of the user's that the program writes (saved results, option files,
// list blocks, the editor's text) goes through here: the new content goes to a
// scratch file in the target's folder and every write is checked. A new target is
// that scratch file, renamed once complete. An existing target is written over in
// place behind a copy of its old content beside it, and stays the same file; when a
// write fails the old content is put back, and should even that fail, the file is
// said to be damaged in a box that names the copy, which then stays.
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
// default) never fails. Putting a file's old content back after such a failure
// is not counted, unless restoreFails: then that fails too.
void setWriteFailureAfter(int64_t bytes, bool restoreFails = false);

// While alive, the writes to its handle() are kept in memory instead of going to a file,
// so that a block made by several writers reaches its file in one checked write. The
// handle is no file: only writeFileBytes (and with it writeText) may be given it.
class MemoryWriteSink {
public:
    // keep false: the writes are taken and dropped, for a walk of the writers that only
    // looks at what they would write.
    explicit MemoryWriteSink(bool keep = true);
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
    bool keep_;
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

    // Looks at target (links followed) and creates the scratch file beside the file it names;
    // nothing else is created or removed to find out. False (with error()) when it cannot be
    // made, or when the target may not be written: a read-only file, one we have no right to
    // write, a symbolic link that leads nowhere (ERROR_CANT_RESOLVE_FILENAME: it is neither
    // followed nor replaced). A scratch file that stands in for an existing file is for its
    // owner alone, to read and write (under Wine: mode 600).
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

    // Flushes the scratch file and puts its content at the target. A new target is the scratch
    // file, renamed. An existing one is written over in place behind a kept copy of its old
    // content (a "~verdalt....tmp" file beside it, for its owner alone; it needs room for the
    // whole old content), so it stays the same file: owner, access rights (under Wine its Unix
    // mode), attributes, hard links and the symbolic links that lead to it. False when anything
    // failed on the way: the old content is then back in the target, and error() tells why.
    // Should putting it back fail too, the target is damaged: a box says so, with the system's
    // message and the kept copy's full path, and the copy stays (keptCopy()). The scratch file
    // is gone either way.
    bool commit();
    // Removes the scratch file; the target is left as it was.
    void abandon();

    DWORD error() const { return error_; }
    // The full path of the copy that holds the old content of a target the last commit()
    // damaged; empty when the target holds a whole content.
    const std::wstring& keptCopy() const { return keptCopy_; }
    const std::wstring& target() const { return target_; }
    const std::wstring& scratchPath() const { return scratch_; }

    // The buffered writer of file, or null (writeFileBytes asks).
    static ReplacingFileWriter* bufferedWriterOf(HANDLE file);
    // Adds bytes to the buffer; false once anything failed.
    bool buffer(const void* bytes, DWORD size);

private:
    bool flushBuffer();
    void releaseBuffer();
    void moveScratchIntoPlace();
    void writeOverReplacedFile();
    void discardScratch();
    void reportDamage() const;

    HANDLE file_ = INVALID_HANDLE_VALUE;
    std::unique_ptr<char[]> buffer_;  // null while unbuffered
    DWORD buffered_ = 0;
    std::wstring target_;
    std::wstring replaced_;  // the file itself, links followed (maybe in the "\\?\" form); a new one: target_
    bool inPlace_ = false;   // replaced_ existed at begin(): it is written over, not renamed onto
    std::wstring scratch_;
    bool failed_ = false;
    DWORD error_ = 0;
    std::wstring keptCopy_;  // see keptCopy()
};
