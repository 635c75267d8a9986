#include "host/handle_suite.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace qf::host {
namespace {

// A handle is the address of the block's master pointer, so `*handle` is the
// data exactly as a module expects. `data` must stay the first member.
struct HandleBlock {
    char* data;
    int32_t size;
    int32_t capacity;
    int32_t lockCount;
    int64_t serial;
};
static_assert(offsetof(HandleBlock, data) == 0);

struct BufferBlock {
    char* data;
    int32_t size;
};

// Buffers the suite reports as available beyond those handed out.
constexpr int64_t kBufferBudget = int64_t(1) << 30;

struct Registry {
    std::mutex mutex;
    std::unordered_set<HandleBlock*> handles;
    std::unordered_set<BufferBlock*> buffers;
    int64_t bufferBytes = 0;
    HandleStats stats;
    int64_t failAt = 0; // countdown to a refused allocation; 0 = off
    // The module's own calls: how many so far, and the countdown to a
    // refused one of each kind (0 = off).
    int64_t moduleCalls[kModuleHandleCallKinds] = {};
    int64_t moduleFailAt[kModuleHandleCallKinds] = {};
    int64_t serials = 0;
};

Registry& registry() {
    static Registry* r = new Registry; // never destroyed: handles may be freed at exit
    return *r;
}

HandleBlock* findLocked(Registry& r, Handle h) {
    if (!h) return nullptr;
    auto* block = reinterpret_cast<HandleBlock*>(h);
    if (r.handles.count(block) == 0) {
        ++r.stats.rejected;
        return nullptr;
    }
    return block;
}

char* allocateZeroed(int32_t size) {
    // At least one byte so that locking an empty handle still yields a pointer.
    return static_cast<char*>(std::calloc(size_t(size > 0 ? size : 1), 1));
}

// Counts one call of the module's and answers whether it is to fail.
bool moduleCallFails(ModuleHandleCall call) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto i = size_t(call);
    ++r.moduleCalls[i];
    return r.moduleFailAt[i] > 0 && --r.moduleFailAt[i] == 0;
}

// --- handle suite procedures -------------------------------------------------

Handle procNew(int32 size) {
    if (moduleCallFails(ModuleHandleCall::newHandle)) return nullptr;
    return newHandle(size);
}
void procDispose(Handle h) {
    disposeHandle(h);
}
int32 procGetSize(Handle h) {
    return handleSize(h);
}
OSErr procSetSize(Handle h, int32 size) {
    if (moduleCallFails(ModuleHandleCall::setSize)) return memFullErr;
    return setHandleSize(h, size);
}
Ptr procLock(Handle h, Boolean) {
    if (moduleCallFails(ModuleHandleCall::lock)) return nullptr;
    return lockHandle(h);
}
void procUnlock(Handle h) {
    unlockHandle(h);
}
void procRecoverSpace(int32) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    ++r.stats.recoverSpaceCalls;
}
void procDisposeRegular(Handle h) {
    disposeHandle(h);
}
int32 procGetSizeUnknown(Handle) {
    return 0;
}
OSErr procSetSizeIgnored(Handle, int32) {
    if (moduleCallFails(ModuleHandleCall::setSize)) return memFullErr;
    return noErr;
}

// --- buffer suite procedures -------------------------------------------------

BufferBlock* findBuffer(Registry& r, BufferID id) {
    auto* block = reinterpret_cast<BufferBlock*>(id);
    if (!block || r.buffers.count(block) == 0) return nullptr;
    return block;
}

OSErr bufAllocate(int32 size, BufferID* id) {
    if (!id) return paramErr;
    *id = nullptr;
    if (size < 0) return paramErr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.bufferBytes + size > kBufferBudget) return memFullErr;
    auto* block = static_cast<BufferBlock*>(std::malloc(sizeof(BufferBlock)));
    if (!block) return memFullErr;
    block->data = allocateZeroed(size);
    block->size = size;
    if (!block->data) {
        std::free(block);
        return memFullErr;
    }
    try {
        r.buffers.insert(block);
    } catch (...) {
        std::free(block->data);
        std::free(block);
        return memFullErr;
    }
    r.bufferBytes += size;
    *id = reinterpret_cast<BufferID>(block);
    return noErr;
}

Ptr bufLock(BufferID id, Boolean) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    BufferBlock* block = findBuffer(r, id);
    return block ? block->data : nullptr;
}

void bufUnlock(BufferID) {}

void bufFree(BufferID id) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    BufferBlock* block = findBuffer(r, id);
    if (!block) return;
    r.buffers.erase(block);
    r.bufferBytes -= block->size;
    std::free(block->data);
    std::free(block);
}

int32 bufSpace() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    int64_t left = kBufferBudget - r.bufferBytes;
    return int32(left > INT32_MAX ? INT32_MAX : (left < 0 ? 0 : left));
}

} // namespace

Handle newHandle(int32_t size) {
    if (size < 0) return nullptr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.failAt > 0 && --r.failAt == 0) return nullptr;
    auto* block = static_cast<HandleBlock*>(std::malloc(sizeof(HandleBlock)));
    if (!block) return nullptr;
    block->data = allocateZeroed(size);
    if (!block->data) {
        std::free(block);
        return nullptr;
    }
    block->size = size;
    block->capacity = size;
    block->lockCount = 0;
    block->serial = ++r.serials;
    try {
        r.handles.insert(block);
    } catch (...) {
        std::free(block->data);
        std::free(block);
        return nullptr;
    }
    ++r.stats.created;
    return reinterpret_cast<Handle>(block);
}

void disposeHandle(Handle h) {
    if (!h) return;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    HandleBlock* block = findLocked(r, h);
    if (!block) return;
    r.handles.erase(block);
    ++r.stats.disposed;
    std::free(block->data);
    std::free(block);
}

int32_t handleSize(Handle h) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    HandleBlock* block = findLocked(r, h);
    return block ? block->size : 0;
}

OSErr setHandleSize(Handle h, int32_t size) {
    if (size < 0) return paramErr;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    HandleBlock* block = findLocked(r, h);
    if (!block) return nilHandleErr;
    if (block->lockCount > 0) {
        // A locked block must not move: it can only change within its room.
        if (size > block->capacity) return memFullErr;
        if (size > block->size)
            std::memset(block->data + block->size, 0, size_t(size - block->size));
        block->size = size;
        return noErr;
    }
    // An unlocked block moves, as it may in any editor; a module that kept a
    // pointer across an unlock finds out here rather than in the field.
    char* moved = allocateZeroed(size);
    if (!moved) return memFullErr;
    std::memcpy(moved, block->data, size_t(size < block->size ? size : block->size));
    std::free(block->data);
    block->data = moved;
    block->size = size;
    block->capacity = size;
    return noErr;
}

char* lockHandle(Handle h) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    HandleBlock* block = findLocked(r, h);
    if (!block) return nullptr;
    ++block->lockCount;
    ++r.stats.locks;
    return block->data;
}

void unlockHandle(Handle h) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    HandleBlock* block = findLocked(r, h);
    if (!block) return;
    if (block->lockCount > 0) --block->lockCount;
    ++r.stats.unlocks;
}

bool isLiveHandle(Handle h) {
    if (!h) return false;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.handles.count(reinterpret_cast<HandleBlock*>(h)) != 0;
}

int32_t handleLockCount(Handle h) {
    if (!h) return -1;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(reinterpret_cast<HandleBlock*>(h));
    return it == r.handles.end() ? -1 : (*it)->lockCount;
}

int64_t handleSerial(Handle h) {
    if (!h) return 0;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(reinterpret_cast<HandleBlock*>(h));
    return it == r.handles.end() ? 0 : (*it)->serial;
}

HandleStats handleStats() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    HandleStats s = r.stats;
    s.live = int64_t(r.handles.size());
    return s;
}

void failNewHandleAt(int64_t n) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.failAt = n > 0 ? n : 0;
}

void failModuleHandleCallAt(ModuleHandleCall call, int64_t n) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.moduleFailAt[size_t(call)] = n > 0 ? n : 0;
}

int64_t moduleHandleCalls(ModuleHandleCall call) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.moduleCalls[size_t(call)];
}

int64_t liveBufferCount() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return int64_t(r.buffers.size());
}

HandleProcs* handleProcs(HandleSizing sizing) {
    static HandleProcs tracked = {
        1,           8,        procNew,    procDispose,      procGetSize,
        procSetSize, procLock, procUnlock, procRecoverSpace, procDisposeRegular,
    };
    static HandleProcs unknown = {
        1,
        8,
        procNew,
        procDispose,
        procGetSizeUnknown,
        procSetSizeIgnored,
        procLock,
        procUnlock,
        procRecoverSpace,
        procDisposeRegular,
    };
    return sizing == HandleSizing::unknown ? &unknown : &tracked;
}

BufferProcs* bufferProcs() {
    static BufferProcs procs = {2, 5, bufAllocate, bufLock, bufUnlock, bufFree, bufSpace};
    return &procs;
}

} // namespace qf::host
