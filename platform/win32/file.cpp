#include "platform/file.h"

#include <windows.h>

namespace qf {

namespace {

// Only files on disk: a path that names a folder, device or pipe is
// refused, as on Linux.
bool isDiskFile(HANDLE handle) {
    if (GetFileType(handle) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(handle, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

HANDLE openChecked(const char* path, DWORD access, DWORD share, DWORD disposition) {
    if (!path || !*path) return INVALID_HANDLE_VALUE;
    HANDLE handle =
        CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return handle;
    if (!isDiskFile(handle)) {
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

} // namespace

// kOpenOwnedOnly has no meaning here: the temporary folder belongs to the
// user.
int File::openForReading(const char* path, unsigned) {
    close();
    // Readers let writers carry on: a file being written can be read, and
    // a file being read can be written or deleted.
    HANDLE handle = openChecked(
        path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return kFileCannotOpen;
    handle_ = handle;
    writer_ = false;
    return kFileOk;
}

int File::openForWriting(const char* path, unsigned) {
    close();
    // One writer at a time, any number of readers.
    HANDLE handle = openChecked(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) return kFileCannotOpen;
    handle_ = handle;
    writer_ = true;
    return kFileOk;
}

int File::read(void* buffer, size_t count, size_t* got) {
    size_t done = 0;
    if (handle_ != kNoHandle && (buffer || count == 0)) {
        char* bytes = static_cast<char*>(buffer);
        while (done < count) {
            const size_t left = count - done;
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
            DWORD n = 0;
            if (!ReadFile(handle_, bytes + done, chunk, &n, nullptr) || n == 0) break;
            done += n;
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
        const size_t left = count - done;
        const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!WriteFile(handle_, bytes + done, chunk, &n, nullptr) || n == 0) {
            return kFileWriteFailed;
        }
        done += n;
    }
    return kFileOk;
}

int File::seek(int64_t offset, SeekOrigin origin) {
    const int failed = writer_ ? kFileWriteFailed : kFileReadFailed;
    if (handle_ == kNoHandle) return failed;
    DWORD method;
    switch (origin) {
    case kSeekFromStart:
        method = FILE_BEGIN;
        break;
    case kSeekFromCurrent:
        method = FILE_CURRENT;
        break;
    case kSeekFromEnd:
        method = FILE_END;
        break;
    default:
        return failed;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    return SetFilePointerEx(handle_, distance, nullptr, method) ? kFileOk : failed;
}

int64_t File::position() const {
    if (handle_ == kNoHandle) return -1;
    LARGE_INTEGER zero, here;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(handle_, zero, &here, FILE_CURRENT)) return -1;
    return here.QuadPart;
}

int64_t File::size() const {
    if (handle_ == kNoHandle) return -1;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) return -1;
    return size.QuadPart;
}

int File::setEndOfFile() {
    if (handle_ == kNoHandle || !writer_) return kFileWriteFailed;
    return SetEndOfFile(handle_) ? kFileOk : kFileWriteFailed;
}

int File::close() {
    if (handle_ == kNoHandle) return kFileOk;
    const BOOL closed = CloseHandle(handle_);
    const bool wasWriter = writer_;
    handle_ = kNoHandle;
    writer_ = false;
    return (!closed && wasWriter) ? kFileWriteFailed : kFileOk;
}

bool fileExists(const char* path) {
    if (!path || !*path) return false;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool isOwnedRegularFile(const char* path) {
    return fileExists(path);
}

int replaceFile(const char* from, const char* to) {
    if (!from || !to || !*from || !*to) return kFileCannotOpen;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? kFileOk
               : kFileCannotOpen;
}

// A removal succeeds when the name is gone afterwards, whoever removed it.
static int removedOrGone(BOOL removed) {
    if (removed) return kFileOk;
    const DWORD error = GetLastError();
    return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? kFileOk
                                                                            : kFileCannotOpen;
}

int deleteFile(const char* path) {
    if (!path || !*path) return kFileCannotOpen;
    return removedOrGone(DeleteFileA(path));
}

int deleteEmptyFolder(const char* path) {
    if (!path || !*path) return kFileCannotOpen;
    return removedOrGone(RemoveDirectoryA(path));
}

int createFolder(const char* path) {
    if (!path || !*path) return kFileCannotOpen;
    if (CreateDirectoryA(path, nullptr)) return kFileOk;
    const DWORD attributes = GetFileAttributesA(path);
    return (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
               ? kFileOk
               : kFileCannotOpen;
}

} // namespace qf
