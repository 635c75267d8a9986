// Files as the plug-in uses them: presets files, the cached settings file,
// memory dots, undo files, exported pages and pictures.
//
// Writers open with open-always semantics: the file is created when it is
// missing and is NOT truncated when it exists; a writer that wants the file
// to end where its data ends calls setEndOfFile() after writing. Readers
// open existing files only and share them: a file open for writing can be
// opened for reading at the same time (and the other way round).
#pragma once

#include <cstddef>
#include <cstdint>

namespace qf {

// The system's file-operation results.
enum FileStatus : int {
    kFileOk = 0,
    kFileCannotOpen = 99,   // cannot open or create (also: rename, delete, folder creation failed)
    kFileReadFailed = -19,  // a read delivered fewer bytes than asked, or failed
    kFileWriteFailed = -20, // a write, set-end-of-file or the closing of a written file failed
};

// Options of File::openForReading / File::openForWriting, combined with |.
enum FileOpenFlags : unsigned {
    kOpenDefault = 0,
    // For files in the shared temporary folder (cached settings, memory
    // dots, undo files). On Linux the file is refused (kFileCannotOpen)
    // unless it is a regular file owned by the current user reached without
    // following a symbolic link as its last component; a file created by
    // the writer gets mode 0600. On Windows the flag has no effect: the
    // temporary folder is private to the user there.
    kOpenOwnedOnly = 1u << 0,
};

enum SeekOrigin : int {
    kSeekFromStart = 0,
    kSeekFromCurrent = 1,
    kSeekFromEnd = 2,
};

// One open file; closed by close() or by the destructor. Move-only.
// Only regular files are opened; folders, devices and pipes are refused.
class File {
  public:
    File() = default;
    ~File() { close(); }
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file for reading with shared access.
    // kFileOk or kFileCannotOpen. A file already open in this object is
    // closed first.
    int openForReading(const char* path, unsigned flags = kOpenDefault);
    // Opens for writing, creating the file when it is missing and keeping
    // its content when it exists; the position is at the start.
    // kFileOk or kFileCannotOpen.
    int openForWriting(const char* path, unsigned flags = kOpenDefault);

    bool isOpen() const { return handle_ != kNoHandle; }
    bool isWriter() const { return writer_; }

    // Reads exactly `count` bytes. kFileOk, or kFileReadFailed when fewer
    // arrived (end of file or error); `got`, when given, receives the number
    // of bytes actually read either way.
    int read(void* buffer, size_t count, size_t* got = nullptr);
    // Writes all `count` bytes. kFileOk or kFileWriteFailed.
    int write(const void* buffer, size_t count);
    // Moves the position. kFileOk, or kFileReadFailed on a reader and
    // kFileWriteFailed on a writer when the position is not possible
    // (negative, or no file open). Seeking past the end is allowed; a read
    // there fails.
    int seek(int64_t offset, SeekOrigin origin = kSeekFromStart);
    // The current position, or -1 when no file is open.
    int64_t position() const;
    // The size in bytes, or -1 when no file is open or it cannot be told.
    int64_t size() const;
    // Cuts the file at the current position. kFileOk or kFileWriteFailed
    // (also when the file is open for reading only).
    int setEndOfFile();
    // Closes the file. kFileOk, or kFileWriteFailed when the system reports
    // a failure closing a file that was written. Closing a closed File is
    // kFileOk.
    int close();

  private:
#ifdef _WIN32
    using Handle = void*;
    static constexpr Handle kNoHandle = nullptr;
#else
    using Handle = int;
    static constexpr Handle kNoHandle = -1;
#endif
    Handle handle_ = kNoHandle;
    bool writer_ = false;
};

// True when `path` names an existing regular file (symbolic links are
// followed).
bool fileExists(const char* path);

// Linux: true when `path` itself (not the target of a symbolic link) is a
// regular file owned by the current user. Windows: the same as fileExists.
bool isOwnedRegularFile(const char* path);

// Moves `from` to `to` in one step, replacing `to` when it exists, so that
// a reader sees either the old or the new file and never a half-written
// one (write to a temporary name in the same folder, then replace).
// kFileOk or kFileCannotOpen.
int replaceFile(const char* from, const char* to);

// Deletes a file. kFileOk, also when there was no such file; else
// kFileCannotOpen.
int deleteFile(const char* path);

// Creates a folder (its parent must exist). kFileOk when it was created or
// already exists as a folder; else kFileCannotOpen.
int createFolder(const char* path);

// Removes a folder that is empty. kFileOk, also when there was no such
// folder; else kFileCannotOpen (it holds something, or may not be removed).
int deleteEmptyFolder(const char* path);

} // namespace qf
