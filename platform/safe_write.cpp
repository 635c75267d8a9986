// The system-free half of SafeWrite; the system calls are in posix/ and
// win32/.
#include "platform/safe_write.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/safe_write_name.h"

namespace qf {

namespace {

// The extension the temporary keeps: the target's, when it is short.
size_t extensionLength(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot == name) return 0;
    const size_t n = std::strlen(dot);
    return n <= 10 ? n : 0;
}

} // namespace

uint32_t temporaryNameBits(uint64_t systemBits, const void* salt, uint32_t attempt) {
    // Process-wide: two writers of one process that start in the same clock
    // tick, at the same address one after the other, still get other names.
    static std::atomic<uint32_t> serial{0};
    uint64_t x = systemBits ^ reinterpret_cast<uintptr_t>(salt) ^
                 (uint64_t(serial.fetch_add(1)) << 20) ^ attempt;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return static_cast<uint32_t>(x);
}

bool temporaryName(char* out, size_t room, const char* target, size_t folderLength, uint32_t bits) {
    const char* name = target + folderLength;
    const size_t extension = extensionLength(name);
    char leaf[32];
    std::snprintf(leaf, sizeof leaf, ".qf-%08x", static_cast<unsigned>(bits));
    const size_t leafLength = std::strlen(leaf);
    if (folderLength + leafLength + extension >= room) return false;
    std::memcpy(out, target, folderLength);
    std::memcpy(out + folderLength, leaf, leafLength);
    std::memcpy(out + folderLength + leafLength, name + std::strlen(name) - extension, extension);
    out[folderLength + leafLength + extension] = '\0';
    return true;
}

SafeWrite::~SafeWrite() {
    discard();
}

int SafeWrite::setError(int error, int systemError) {
    if (error_ == kSafeWriteOk) {
        error_ = error;
        systemError_ = systemError;
    }
    return error_;
}

void SafeWrite::restart(unsigned flags) {
    discard();
    error_ = kSafeWriteOk;
    systemError_ = 0;
    flags_ = flags;
    targetExists_ = false;
}

int SafeWrite::abandonCommit() {
    discard();
    return error_ == kSafeWriteCannotReplace || error_ == kSafeWriteNotRegular ? kFileCannotOpen
                                                                               : kFileWriteFailed;
}

int SafeWrite::write(const void* data, size_t count) {
    if (writeAt(position_, data, count) != kFileOk) return kFileWriteFailed;
    position_ += static_cast<int64_t>(count);
    return kFileOk;
}

const char* SafeWrite::handOver() {
    if (!isOpen()) return nullptr;
    closeHandle();
    return temporary_;
}

const char* safeWriteErrorText(int error) {
    switch (error) {
    case kSafeWriteOk:
        return "no error";
    case kSafeWriteNotRegular:
        return "not a regular file";
    case kSafeWriteCannotCreate:
        return "cannot create a file in its folder";
    case kSafeWriteNoSpace:
        return "no space left on the disk";
    case kSafeWriteTooLarge:
        return "file too large";
    case kSafeWriteInterrupted:
        return "interrupted";
    case kSafeWriteCannotReplace:
        return "cannot replace the existing file";
    case kSafeWriteNotOpen:
        return "no file open";
    default:
        return "write error";
    }
}

} // namespace qf
