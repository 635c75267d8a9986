#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf {

namespace {

// Opens without blocking (a FIFO planted under the expected name must not
// hang the caller), then insists on a regular file and, when asked, on
// one the current user owns.
int openChecked(const char* path, int access, unsigned flags, int& fd) {
    fd = -1;
    if (!path || !*path) return kFileCannotOpen;
    int oflags = access | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    mode_t mode = 0666; // narrowed by the umask
    if (flags & kOpenOwnedOnly) {
        oflags |= O_NOFOLLOW;
        mode = 0600;
    }
    int handle;
    do {
        handle = ::open(path, oflags, mode);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) return kFileCannotOpen;
    struct stat info;
    bool acceptable = ::fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
    if (acceptable && (flags & kOpenOwnedOnly)) acceptable = info.st_uid == ::geteuid();
    if (acceptable) {
        const int current = ::fcntl(handle, F_GETFL);
        acceptable = current >= 0 && ::fcntl(handle, F_SETFL, current & ~O_NONBLOCK) == 0;
    }
    if (!acceptable) {
        ::close(handle);
        return kFileCannotOpen;
    }
    fd = handle;
    return kFileOk;
}

} // namespace

int File::openForReading(const char* path, unsigned flags) {
    close();
    int fd;
    const int status = openChecked(path, O_RDONLY, flags, fd);
    if (status != kFileOk) return status;
    handle_ = fd;
    writer_ = false;
    return kFileOk;
}

int File::openForWriting(const char* path, unsigned flags) {
    close();
    int fd;
    const int status = openChecked(path, O_WRONLY | O_CREAT, flags, fd);
    if (status != kFileOk) return status;
    handle_ = fd;
    writer_ = true;
    return kFileOk;
}

int File::read(void* buffer, size_t count, size_t* got) {
    size_t done = 0;
    if (handle_ != kNoHandle && (buffer || count == 0)) {
        char* bytes = static_cast<char*>(buffer);
        while (done < count) {
            const ssize_t n = ::read(handle_, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
    }
    if (got) *got = done;
    return (handle_ != kNoHandle && done == count) ? kFileOk : kFileReadFailed;
}

int File::write(const void* buffer, size_t count) {
    if (handle_ == kNoHandle || !writer_ || (!buffer && count)) return kFileWriteFailed;
    const char* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(handle_, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return kFileWriteFailed;
        done += static_cast<size_t>(n);
    }
    return kFileOk;
}

int File::seek(int64_t offset, SeekOrigin origin) {
    const int failed = writer_ ? kFileWriteFailed : kFileReadFailed;
    if (handle_ == kNoHandle) return failed;
    int whence;
    switch (origin) {
    case kSeekFromStart:
        whence = SEEK_SET;
        break;
    case kSeekFromCurrent:
        whence = SEEK_CUR;
        break;
    case kSeekFromEnd:
        whence = SEEK_END;
        break;
    default:
        return failed;
    }
    return ::lseek(handle_, static_cast<off_t>(offset), whence) < 0 ? failed : kFileOk;
}

int64_t File::position() const {
    if (handle_ == kNoHandle) return -1;
    return static_cast<int64_t>(::lseek(handle_, 0, SEEK_CUR));
}

int64_t File::size() const {
    if (handle_ == kNoHandle) return -1;
    struct stat info;
    if (::fstat(handle_, &info) != 0) return -1;
    return static_cast<int64_t>(info.st_size);
}

int File::setEndOfFile() {
    if (handle_ == kNoHandle || !writer_) return kFileWriteFailed;
    const off_t here = ::lseek(handle_, 0, SEEK_CUR);
    if (here < 0) return kFileWriteFailed;
    int result;
    do {
        result = ::ftruncate(handle_, here);
    } while (result != 0 && errno == EINTR);
    return result == 0 ? kFileOk : kFileWriteFailed;
}

int File::close() {
    if (handle_ == kNoHandle) return kFileOk;
    // No retry on EINTR: the descriptor is gone either way on Linux.
    const int result = ::close(handle_);
    const bool wasWriter = writer_;
    handle_ = kNoHandle;
    writer_ = false;
    return (result != 0 && wasWriter && errno != EINTR) ? kFileWriteFailed : kFileOk;
}

bool fileExists(const char* path) {
    struct stat info;
    return path && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isOwnedRegularFile(const char* path) {
    struct stat info;
    return path && ::lstat(path, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
}

int replaceFile(const char* from, const char* to) {
    if (!from || !to || !*from || !*to) return kFileCannotOpen;
    return ::rename(from, to) == 0 ? kFileOk : kFileCannotOpen;
}

int deleteFile(const char* path) {
    if (!path || !*path) return kFileCannotOpen;
    if (::unlink(path) == 0 || errno == ENOENT) return kFileOk;
    return kFileCannotOpen;
}

int deleteEmptyFolder(const char* path) {
    if (!path || !*path) return kFileCannotOpen;
    if (::rmdir(path) == 0 || errno == ENOENT) return kFileOk;
    return kFileCannotOpen;
}

int createFolder(const char* path) {
    if (!path || !*path) return kFileCannotOpen;
    if (::mkdir(path, 0777) == 0) return kFileOk;
    struct stat info;
    if (errno == EEXIST && ::stat(path, &info) == 0 && S_ISDIR(info.st_mode)) return kFileOk;
    return kFileCannotOpen;
}

} // namespace qf
