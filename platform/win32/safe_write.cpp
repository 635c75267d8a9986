#include "platform/safe_write.h"

#include "platform/file.h"
#include "platform/safe_write_name.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace qf {

namespace {

std::atomic<int> g_interrupted{0};

// The temporaries the console handler removes. A slot is claimed (1),
// filled and then published (2); the handler only reads published slots.
constexpr int kSlots = 16;
constexpr size_t kSlotPath = 4096;
struct Slot {
    std::atomic<int> state{0};
    wchar_t path[kSlotPath];
};
Slot g_slots[kSlots];

// Held by open() while it creates and lists a temporary, and for good by
// the handler once it starts removing them: no temporary is made that the
// clean-up misses, and an event that comes during the clean-up waits here
// until the process ends instead of ending it half-way.
SRWLOCK g_cleanup = SRWLOCK_INIT;

int claimSlot(const std::wstring& path) {
    if (path.size() >= kSlotPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (g_slots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_slots[i].path, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            g_slots[i].state.store(2);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0 && slot < kSlots) g_slots[slot].state.store(0);
}

// The console's events arrive on a thread of their own. The first Ctrl-C
// only asks the run to cancel (it then removes its temporaries itself); a
// second Ctrl-C, Ctrl-Break, closing the console, logging off or shutting
// down remove every temporary and end the process at once, whatever the
// main thread is doing.
BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT && g_interrupted.exchange(1) == 0) return TRUE;
    g_interrupted.store(1);
    AcquireSRWLockExclusive(&g_cleanup);
    for (Slot& s : g_slots)
        if (s.state.load() == 2) DeleteFileW(s.path);
    // What the system's own handler ends a program with on Ctrl-C.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(0xC000013AL));
    return TRUE;
}

std::wstring widen(const char* path, unsigned flags) {
    const UINT codePage = (flags & kSafeWriteUtf8Path) ? CP_UTF8 : CP_ACP;
    const int n = MultiByteToWideChar(codePage, 0, path, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, path, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

int errorOf(DWORD err) {
    switch (err) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return kSafeWriteNoSpace;
    case ERROR_FILE_TOO_LARGE:
        return kSafeWriteTooLarge;
    default:
        return kSafeWriteFailed;
    }
}

// The clock and the process, for the temporary's name.
uint64_t systemNameBits() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return uint64_t(now.QuadPart) ^ (uint64_t(GetCurrentProcessId()) << 40);
}

// Whatever the name holds must be a file on disk: not a folder, not a
// device ("NUL", "COM1"), not a pipe.
bool isDiskFile(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool disk = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
                      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
    return disk;
}

} // namespace

int SafeWrite::open(const char* target, unsigned flags) {
    restart(flags);
    const size_t length = target ? std::strlen(target) : 0;
    if (length == 0 || length >= sizeof target_) {
        setError(kSafeWriteCannotCreate, ERROR_FILENAME_EXCED_RANGE);
        return kFileCannotOpen;
    }
    std::memcpy(target_, target, length + 1);
    const std::wstring wideTarget = widen(target_, flags_);
    if (wideTarget.empty()) {
        setError(kSafeWriteCannotCreate, ERROR_INVALID_NAME);
        return kFileCannotOpen;
    }
    const DWORD attributes = GetFileAttributesW(wideTarget.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES || GetLastError() == ERROR_ACCESS_DENIED ||
        GetLastError() == ERROR_SHARING_VIOLATION) {
        if (!isDiskFile(wideTarget)) {
            setError(kSafeWriteNotRegular, 0);
            return kFileCannotOpen;
        }
        targetExists_ = true;
    }

    size_t folderLength = 0;
    for (size_t i = 0; i < length; ++i)
        if (target_[i] == '\\' || target_[i] == '/' || target_[i] == ':') folderLength = i + 1;
    for (uint32_t attempt = 0; attempt < 64; ++attempt) {
        const uint32_t bits = temporaryNameBits(systemNameBits(), this, attempt);
        if (!temporaryName(temporary_, sizeof temporary_, target_, folderLength, bits)) {
            setError(kSafeWriteCannotCreate, ERROR_FILENAME_EXCED_RANGE);
            return kFileCannotOpen;
        }
        const std::wstring wideTemporary = widen(temporary_, flags_);
        AcquireSRWLockExclusive(&g_cleanup);
        HANDLE h =
            CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD err = GetLastError();
        if (h != INVALID_HANDLE_VALUE) slot_ = claimSlot(wideTemporary);
        ReleaseSRWLockExclusive(&g_cleanup);
        if (h != INVALID_HANDLE_VALUE) {
            handle_ = h;
            position_ = 0;
            return kFileOk;
        }
        temporary_[0] = '\0';
        if (err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS) {
            setError(kSafeWriteCannotCreate, static_cast<int>(err));
            return kFileCannotOpen;
        }
    }
    setError(kSafeWriteCannotCreate, ERROR_FILE_EXISTS);
    return kFileCannotOpen;
}

int SafeWrite::writeAt(int64_t offset, const void* data, size_t count) {
    if (error_ != kSafeWriteOk) return kFileWriteFailed;
    if (!handle_ || offset < 0 || (!data && count)) {
        setError(kSafeWriteNotOpen, 0);
        return kFileWriteFailed;
    }
    LARGE_INTEGER at;
    at.QuadPart = offset;
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN)) {
        setError(kSafeWriteFailed, static_cast<int>(GetLastError()));
        return kFileWriteFailed;
    }
    const char* bytes = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        if (g_interrupted.load() != 0) {
            setError(kSafeWriteInterrupted, 0);
            return kFileWriteFailed;
        }
        const size_t left = count - done;
        const DWORD chunk = left > 0x1000000u ? 0x1000000u : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!WriteFile(handle_, bytes + done, chunk, &n, nullptr) || n == 0) {
            const DWORD err = GetLastError();
            setError(errorOf(err), static_cast<int>(err));
            return kFileWriteFailed;
        }
        done += n;
    }
    return kFileOk;
}

int SafeWrite::closeHandle() {
    if (!handle_) return kFileOk;
    const BOOL closed = CloseHandle(handle_);
    handle_ = nullptr;
    if (!closed) {
        const DWORD err = GetLastError();
        setError(errorOf(err), static_cast<int>(err));
        return kFileWriteFailed;
    }
    return kFileOk;
}

void SafeWrite::fail(int error) {
    const DWORD err = GetLastError();
    if (error == kSafeWriteOk) error = kSafeWriteFailed;
    if (error == kSafeWriteFailed && errorOf(err) != kSafeWriteFailed) error = errorOf(err);
    setError(error, errorOf(err) == error ? static_cast<int>(err) : 0);
}

int SafeWrite::commit() {
    if (!isOpen()) {
        setError(kSafeWriteNotOpen, 0);
        return kFileCannotOpen;
    }
    if (g_interrupted.load() != 0) setError(kSafeWriteInterrupted, 0);
    const std::wstring temporary = widen(temporary_, flags_);
    if (error_ == kSafeWriteOk && !handle_) {
        HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            setError(kSafeWriteFailed, static_cast<int>(GetLastError()));
        else
            handle_ = h;
    }
    if (error_ == kSafeWriteOk && !FlushFileBuffers(handle_)) {
        const DWORD err = GetLastError();
        setError(errorOf(err), static_cast<int>(err));
    }
    closeHandle();
    const std::wstring target = widen(target_, flags_);
    if (error_ == kSafeWriteOk && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
        !isDiskFile(target))
        setError(kSafeWriteNotRegular, 0);
    if (error_ == kSafeWriteOk && !MoveFileExW(temporary.c_str(), target.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        setError(kSafeWriteCannotReplace, static_cast<int>(GetLastError()));
    if (error_ != kSafeWriteOk) return abandonCommit();
    forget();
    return kFileOk;
}

void SafeWrite::forget() {
    releaseSlot(slot_);
    slot_ = -1;
    temporary_[0] = '\0';
}

void SafeWrite::discard() {
    if (handle_) {
        CloseHandle(handle_);
        handle_ = nullptr;
    }
    if (isOpen()) DeleteFileW(widen(temporary_, flags_).c_str());
    forget();
}

void installWriteSignalHandlers() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool writeInterruptRequested() {
    return g_interrupted.load() != 0;
}

void clearWriteInterrupt() {
    g_interrupted.store(0);
}

} // namespace qf
