#include "platform/thread.h"

#include <windows.h>
#include <new>
#include <process.h>
#include <utility>

namespace qf {

namespace {

struct ThreadState {
    HANDLE handle;
    ThreadFunction function;
    void* argument;
};

unsigned __stdcall threadEntry(void* raw) {
    ThreadState* state = static_cast<ThreadState*>(raw);
    state->function(state->argument);
    return 0;
}

} // namespace

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        join();
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

int Thread::start(ThreadFunction function, void* argument, size_t stackSize, int32_t) {
    if (state_ || !function) return kPlatformFailed;
    if (stackSize > 0xFFFFFFFFu) return kPlatformFailed;
    ThreadState* state = new (std::nothrow) ThreadState{nullptr, function, argument};
    if (!state) return kPlatformFailed;
    // The size is the reservation, rounded up by the system to its
    // allocation unit; pages are committed as the stack grows.
    const uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(stackSize), threadEntry,
                                            state, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == 0) {
        delete state;
        return kPlatformFailed;
    }
    state->handle = reinterpret_cast<HANDLE>(handle);
    state_ = state;
    return kPlatformOk;
}

int Thread::join() {
    if (!state_) return kPlatformOk;
    ThreadState* state = static_cast<ThreadState*>(state_);
    if (WaitForSingleObject(state->handle, INFINITE) != WAIT_OBJECT_0) return kPlatformFailed;
    CloseHandle(state->handle);
    delete state;
    state_ = nullptr;
    return kPlatformOk;
}

} // namespace qf
