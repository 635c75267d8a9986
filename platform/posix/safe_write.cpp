#include "platform/safe_write.h"

#include "platform/file.h"
#include "platform/safe_write_name.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

namespace {

// ------------------------------------------------------- signal handlers

// The temporaries the handlers remove. A slot is claimed (1), filled and
// then published (2); the handlers only read published slots.
constexpr int kSlots = 16;
constexpr size_t kSlotPath = 4096;
struct Slot {
    std::atomic<int> state{0};
    char path[kSlotPath];
};
Slot g_slots[kSlots];

std::atomic<int> g_interrupted{0};
// Counts SIGXFSZ: a writer that saw it during its life failed, whatever its
// own writer reported.
std::atomic<unsigned> g_sizeLimitHits{0};

static_assert(std::atomic<int>::is_always_lock_free, "the handlers need lock-free flags");

int claimSlot(const char* path) {
    if (std::strlen(path) >= kSlotPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_slots[i].path, path, std::strlen(path) + 1);
            g_slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0 && slot < kSlots) g_slots[slot].state.store(0);
}

void removeTemporaries() {
    for (Slot& s : g_slots)
        if (s.state.load() == 2) ::unlink(s.path);
}

extern "C" void onTerminate(int sig) {
    removeTemporaries();
    ::signal(sig, SIG_DFL);
    ::raise(sig); // delivered, with the default action, once this returns
}

extern "C" void onInterrupt(int sig) {
    if (g_interrupted.exchange(1) != 0) onTerminate(sig);
}

extern "C" void onSizeLimit(int) {
    g_sizeLimitHits.fetch_add(1);
}

void handle(int sig, void (*handler)(int)) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(sig, &action, nullptr);
}

// ----------------------------------------------------------------- names

int errorOf(int err) {
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return kSafeWriteNoSpace;
    case EFBIG:
        return kSafeWriteTooLarge;
    default:
        return kSafeWriteFailed;
    }
}

bool copyBounded(char* to, size_t room, const char* from, size_t length) {
    if (length >= room) return false;
    std::memcpy(to, from, length);
    to[length] = '\0';
    return true;
}

// The clock and the process, for the temporary's name.
uint64_t systemNameBits() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 30) ^ (uint64_t(::getpid()) << 40);
}

} // namespace

int SafeWrite::open(const char* target, unsigned flags) {
    restart(flags);
    if (!target || !*target || !copyBounded(target_, sizeof target_, target, std::strlen(target))) {
        setError(kSafeWriteCannotCreate, ENAMETOOLONG);
        return kFileCannotOpen;
    }
    struct stat info;
    if (::lstat(target_, &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            struct stat linked;
            if (::stat(target_, &linked) == 0) {
                // Replace the file the link names, and keep the link.
                if (!S_ISREG(linked.st_mode)) {
                    setError(kSafeWriteNotRegular, 0);
                    return kFileCannotOpen;
                }
                char resolved[PATH_MAX];
                if (!::realpath(target_, resolved) ||
                    !copyBounded(target_, sizeof target_, resolved, std::strlen(resolved))) {
                    setError(kSafeWriteCannotCreate, errno);
                    return kFileCannotOpen;
                }
                info = linked;
                targetExists_ = true;
            }
            // A dangling link is replaced by the new file.
        } else if (!S_ISREG(info.st_mode)) {
            setError(kSafeWriteNotRegular, 0);
            return kFileCannotOpen;
        } else {
            targetExists_ = true;
        }
        targetMode_ = static_cast<unsigned>(info.st_mode & 07777);
    } else if (errno != ENOENT) {
        setError(kSafeWriteCannotCreate, errno);
        return kFileCannotOpen;
    }

    // "<folder>/.qf-XXXXXXXX<extension>"
    const char* slash = std::strrchr(target_, '/');
    const size_t folderLength = slash ? size_t(slash - target_) + 1 : 0;
    for (uint32_t attempt = 0; attempt < 64; ++attempt) {
        const uint32_t bits = temporaryNameBits(systemNameBits(), this, attempt);
        if (!temporaryName(temporary_, sizeof temporary_, target_, folderLength, bits)) {
            setError(kSafeWriteCannotCreate, ENAMETOOLONG);
            return kFileCannotOpen;
        }
        // Claimed before the file exists, so no moment passes in which an
        // interrupt could leave it behind.
        slot_ = claimSlot(temporary_);
        // A file being replaced may be private: its content is not shown to
        // others while the temporary is written.
        const mode_t mode = targetExists_ ? 0600 : 0666;
        int fd;
        do {
            fd = ::open(temporary_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            handle_ = fd;
            position_ = 0;
            sizeLimitHits_ = g_sizeLimitHits.load();
            return kFileOk;
        }
        const int err = errno;
        releaseSlot(slot_);
        slot_ = -1;
        temporary_[0] = '\0';
        if (err != EEXIST) {
            setError(kSafeWriteCannotCreate, err);
            return kFileCannotOpen;
        }
    }
    setError(kSafeWriteCannotCreate, EEXIST);
    return kFileCannotOpen;
}

int SafeWrite::writeAt(int64_t offset, const void* data, size_t count) {
    if (error_ != kSafeWriteOk) return kFileWriteFailed;
    if (handle_ < 0 || offset < 0 || (!data && count)) {
        setError(kSafeWriteNotOpen, 0);
        return kFileWriteFailed;
    }
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        if (g_interrupted.load() != 0) {
            setError(kSafeWriteInterrupted, 0);
            return kFileWriteFailed;
        }
        const ssize_t n = ::pwrite(handle_, bytes + done, count - done,
                                   static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            setError(n < 0 ? errorOf(errno) : kSafeWriteFailed, n < 0 ? errno : 0);
            return kFileWriteFailed;
        }
        done += static_cast<size_t>(n);
    }
    return kFileOk;
}

int SafeWrite::closeHandle() {
    if (handle_ < 0) return kFileOk;
    const int result = ::close(handle_);
    handle_ = -1;
    if (result != 0 && errno != EINTR) {
        setError(errorOf(errno), errno);
        return kFileWriteFailed;
    }
    return kFileOk;
}

void SafeWrite::fail(int error) {
    // errno may be stale; it is taken only when it names a cause of its own.
    const int err = errno;
    if (error == kSafeWriteOk) error = kSafeWriteFailed;
    if (sizeLimitHits_ != g_sizeLimitHits.load()) error = kSafeWriteTooLarge;
    if (error == kSafeWriteFailed && errorOf(err) != kSafeWriteFailed) error = errorOf(err);
    setError(error, errorOf(err) == error ? err : 0);
}

int SafeWrite::commit() {
    if (!isOpen()) {
        setError(kSafeWriteNotOpen, 0);
        return kFileCannotOpen;
    }
    if (g_interrupted.load() != 0) setError(kSafeWriteInterrupted, 0);
    if (sizeLimitHits_ != g_sizeLimitHits.load()) setError(kSafeWriteTooLarge, EFBIG);
    int fd = handle_;
    if (error_ == kSafeWriteOk && fd < 0) {
        // Handed over: the writer's file, perhaps renamed onto this name.
        do {
            fd = ::open(temporary_, O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        struct stat info;
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
            setError(kSafeWriteFailed, fd < 0 ? errno : 0);
        handle_ = fd;
    }
    if (error_ == kSafeWriteOk && ::fsync(handle_) != 0) setError(errorOf(errno), errno);
    // The file system may refuse permission bits (FAT); that costs nothing.
    if (error_ == kSafeWriteOk && targetExists_) ::fchmod(handle_, mode_t(targetMode_));
    closeHandle();
    if (error_ == kSafeWriteOk) {
        // Something other than a file may have taken the target's name
        // since open().
        struct stat info;
        if (::lstat(target_, &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
            setError(kSafeWriteNotRegular, 0);
    }
    if (error_ == kSafeWriteOk && ::rename(temporary_, target_) != 0)
        setError(kSafeWriteCannotReplace, errno);
    if (error_ != kSafeWriteOk) return abandonCommit();
    // The new name itself on the disk: sync the folder (best effort).
    const char* slash = std::strrchr(target_, '/');
    char folder[kMaxPath];
    if (slash ? copyBounded(folder, sizeof folder, target_, size_t(slash - target_) + 1)
              : copyBounded(folder, sizeof folder, ".", 1)) {
        const int dir = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    forget();
    return kFileOk;
}

void SafeWrite::forget() {
    releaseSlot(slot_);
    slot_ = -1;
    temporary_[0] = '\0';
}

void SafeWrite::discard() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
    if (isOpen()) ::unlink(temporary_);
    forget();
}

void installWriteSignalHandlers() {
    handle(SIGINT, onInterrupt);
    handle(SIGTERM, onTerminate);
    handle(SIGHUP, onTerminate);
    handle(SIGXFSZ, onSizeLimit);
}

bool writeInterruptRequested() {
    return g_interrupted.load() != 0;
}

void clearWriteInterrupt() {
    g_interrupted.store(0);
}

} // namespace qf
