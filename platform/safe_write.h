// Writing a file so that it appears under its name only once complete.
//
// The bytes go to a new temporary file beside the target, under a short
// name of its own (a leading dot, random hex digits and the target's
// extension when that is short, so writers that choose the format by the
// extension still see it). commit() flushes the temporary to the disk,
// gives it the target's permission bits and moves it over the target in one
// step; every failure, and the destructor of an uncommitted writer, removes
// the temporary and leaves an existing target as it was. Several writers of
// one target never share a temporary: the last commit wins, and it is
// always a complete file.
//
// Only a regular file (or a missing one) is replaced: a target that is a
// folder, a pipe or a device is refused. A symbolic link to a regular file
// stays a link; the file it names is replaced.
//
// Typical use:
//     SafeWrite out;
//     if (out.open(path) != kFileOk) ... out.error() tells why
//     out.write(bytes, n) ...            (or: writer opens out.handOver())
//     if (out.commit() != kFileOk) ...   out.error() tells why
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h" // the results: kFileOk, kFileCannotOpen, kFileWriteFailed

namespace qf {

// Why a safe write failed. What the system said is in systemError().
enum SafeWriteError : int {
    kSafeWriteOk = 0,
    kSafeWriteNotRegular = 1,    // the target is a folder, pipe, device or other non-file
    kSafeWriteCannotCreate = 2,  // no temporary could be made beside the target
    kSafeWriteNoSpace = 3,       // the disk (or the user's quota) is full
    kSafeWriteTooLarge = 4,      // beyond the process's file-size limit or the file system's
    kSafeWriteInterrupted = 5,   // an interrupt arrived (see installWriteSignalHandlers)
    kSafeWriteFailed = 6,        // another failure to write, flush or close
    kSafeWriteCannotReplace = 7, // the complete temporary could not take the target's place
    kSafeWriteNotOpen = 8,       // used without a successful open()
};

// A short English phrase for an error ("no space left on the disk", "file
// too large", ...), without the file's name.
const char* safeWriteErrorText(int error);

// Options of SafeWrite::open, combined with |.
enum SafeWriteFlags : unsigned {
    kSafeWriteDefault = 0,
    // Windows: the target's path is UTF-8 (the command-line tool's paths)
    // rather than in the system code page (the module's). No effect on
    // Linux, where paths are bytes.
    kSafeWriteUtf8Path = 1u << 0,
};

class SafeWrite {
  public:
    SafeWrite() = default;
    // Removes the temporary unless commit() succeeded.
    ~SafeWrite();
    SafeWrite(const SafeWrite&) = delete;
    SafeWrite& operator=(const SafeWrite&) = delete;

    // Checks the target and creates an empty temporary beside it, open for
    // write(). kFileOk, or kFileCannotOpen with error() kSafeWriteNotRegular
    // or kSafeWriteCannotCreate. A writer already open is discarded first.
    int open(const char* target, unsigned flags = kSafeWriteDefault);

    // Appends `count` bytes to the temporary. kFileOk, or kFileWriteFailed
    // with error() set (kSafeWriteNoSpace, kSafeWriteTooLarge,
    // kSafeWriteInterrupted, kSafeWriteFailed); after a failure every
    // further write and commit() fail.
    int write(const void* data, size_t count);
    // Writes `count` bytes at `offset` from the file's start, for writers
    // that go back to fill in lengths; the same results as write().
    int writeAt(int64_t offset, const void* data, size_t count);

    // For writers that open the file themselves by name (File, image
    // libraries): closes the helper's own handle and returns the
    // temporary's path in the encoding open() was given, or null when no
    // temporary is open. The writer must have closed its file before
    // commit(); write() fails after a hand-over. A writer may also replace
    // the temporary by renaming its own file onto this name.
    const char* handOver();

    // Records a failure the caller's own writer met (an image library's
    // error, a File write that failed), so that the temporary is not
    // committed; `error` is a SafeWriteError. The system's last error is
    // taken as the cause when it names one (a full disk, the size limit).
    void fail(int error = kSafeWriteFailed);

    // Flushes the temporary to the disk, gives it the permission bits of
    // the existing target (of a new file: the defaults the umask leaves),
    // and moves it over the target. kFileOk; else kFileWriteFailed or
    // kFileCannotOpen with error() telling why, the temporary removed and
    // the target as it was. Refused after an interrupt.
    int commit();

    // Removes the temporary (nothing to do when none is open).
    void discard();

    // The failure so far, kSafeWriteOk while there was none.
    int error() const { return error_; }
    // What the system reported with it (errno, or the Windows error code);
    // 0 when it reported nothing.
    int systemError() const { return systemError_; }
    // The temporary's path while it exists, else "".
    const char* temporaryPath() const { return temporary_; }
    bool isOpen() const { return temporary_[0] != '\0'; }

  private:
    static constexpr size_t kMaxPath = 4096;
    int setError(int error, int systemError);
    // open()'s start: any writer discarded, no error, the new flags.
    void restart(unsigned flags);
    // A commit that failed: the temporary removed, and commit()'s result
    // for error().
    int abandonCommit();
    int closeHandle();
    void forget();

    // The path the rename replaces (a symbolic link's target on Linux).
    char target_[kMaxPath] = {};
    char temporary_[kMaxPath] = {};
    unsigned flags_ = 0;
    bool targetExists_ = false;
    unsigned targetMode_ = 0;
    int slot_ = -1;              // in the interrupt handlers' list of temporaries
    int64_t position_ = 0;       // where write() appends
    unsigned sizeLimitHits_ = 0; // file-size-limit signals seen before open()
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int handle_ = -1;
#endif
    int error_ = kSafeWriteOk;
    int systemError_ = 0;
};

// For command-line programs only (a module inside an editor leaves the
// host's signals alone). Installs handlers for the life of the process:
// the first interrupt (SIGINT, Ctrl-C) sets a flag that
// writeInterruptRequested() reports and that makes every SafeWrite refuse
// further writes and commits; a second interrupt, SIGTERM or SIGHUP
// removes every open temporary and ends the process the usual way; SIGXFSZ
// (the file-size limit) is turned into a write failure that reports
// kSafeWriteTooLarge. On Windows a console handler does the same: the
// first Ctrl-C sets the flag; a second one, Ctrl-Break, closing the
// console, logging off or shutting down remove every open temporary and
// end the process.
void installWriteSignalHandlers();

// True once an interrupt arrived after installWriteSignalHandlers().
bool writeInterruptRequested();

// Forgets an interrupt (a program that has reported it and goes on).
void clearWriteInterrupt();

} // namespace qf
