// The host's memory services as a module sees them: the handle suite
// (relocatable blocks the module locks and unlocks) and the buffer suite.
//
// Handles are process-wide, like the memory manager of an editor: the
// `parameters` handle and the module's data handle outlive a filtering run.
// Every procedure validates the handle it is given against the live set, so a
// stale or made-up handle from a module is refused instead of dereferenced.
#pragma once

#include "plugin/host_api.h"

#include <cstdint>

namespace qf::host {

// How the handle suite reports sizes to the module. Some editors answer 0
// from getSizeProc for every handle, even one the module allocated itself
// with a known size, and ignore setSizeProc while reporting success.
enum class HandleSizing {
    tracked, // the size as allocated or last set; setSizeProc resizes
    unknown, // getSizeProc answers 0; setSizeProc does nothing and returns noErr
};

// The suites handed to the module in the filter record. Both forms of the
// handle suite share the same handles; only what the module is told of
// their sizes differs.
HandleProcs* handleProcs(HandleSizing sizing = HandleSizing::tracked);
BufferProcs* bufferProcs();

// The same operations for the host's own use and for tests (always the
// real sizes).
Handle newHandle(int32_t size); // zero-filled; null when size < 0 or memory is out
void disposeHandle(Handle h);   // ignores null and unknown handles
int32_t handleSize(Handle h);   // 0 for null and unknown handles
OSErr setHandleSize(Handle h, int32_t size);
char* lockHandle(Handle h); // null for null and unknown handles
void unlockHandle(Handle h);
bool isLiveHandle(Handle h);
int32_t handleLockCount(Handle h); // -1 for unknown handles
// A number unique to each handle ever made (0 for unknown handles): tells a
// handle from a later one that happens to reuse its address.
int64_t handleSerial(Handle h);

// A handle locked for as long as this lives: `data()` is null when the
// handle is null or unknown, and only a lock that took is undone.
class LockedHandle {
  public:
    explicit LockedHandle(Handle h) : handle_(h), data_(lockHandle(h)) {}
    ~LockedHandle() {
        if (data_) unlockHandle(handle_);
    }
    LockedHandle(LockedHandle&& other) noexcept : handle_(other.handle_), data_(other.data_) {
        other.data_ = nullptr;
    }
    LockedHandle& operator=(LockedHandle&&) = delete;
    LockedHandle(const LockedHandle&) = delete;
    LockedHandle& operator=(const LockedHandle&) = delete;

    char* data() const { return data_; }

  private:
    Handle handle_;
    char* data_;
};

// Counters for tests: handles alive now, and handle-suite calls so far.
struct HandleStats {
    int64_t live = 0;
    int64_t created = 0;
    int64_t disposed = 0;
    int64_t locks = 0;
    int64_t unlocks = 0;
    int64_t recoverSpaceCalls = 0;
    int64_t rejected = 0; // calls with a handle that is not alive
};
HandleStats handleStats();

// Test hook: the n-th newHandle call from now on fails (0 switches it off).
void failNewHandleAt(int64_t n);

// The procedures of the handle suite a module calls and can see fail.
enum class ModuleHandleCall { newHandle, lock, setSize };
constexpr int kModuleHandleCallKinds = 3;

// Test hook for the module's calls only (the host's own use is not
// counted): the module's n-th call of `call` from now on fails as an editor
// out of memory answers it, newProc and lockProc with null, setSizeProc
// with memFullErr. 0 switches it off.
void failModuleHandleCallAt(ModuleHandleCall call, int64_t n);
// How many times the module has called each of them so far.
int64_t moduleHandleCalls(ModuleHandleCall call);

// Buffers of the buffer suite alive now.
int64_t liveBufferCount();

} // namespace qf::host
