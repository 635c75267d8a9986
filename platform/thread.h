// Threads with a chosen stack size, for the worker pool.
#pragma once

#include "platform/status.h"

#include <cstddef>
#include <cstdint>

namespace qf {

// The stack every render worker gets.
constexpr size_t kWorkerStackSize = 200000;

using ThreadFunction = void (*)(void* argument);

// One thread of execution. start() runs `function(argument)` on a new
// thread; join() waits for it to end. The destructor joins a thread that
// is still running. Move-only; moving does not disturb the running thread.
class Thread {
  public:
    Thread() = default;
    ~Thread() { join(); }
    Thread(Thread&& other) noexcept : state_(other.state_) { other.state_ = nullptr; }
    Thread& operator=(Thread&& other) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread with at least `stackSize` bytes of stack (rounded
    // up to what the system accepts: its minimum and whole pages on Linux,
    // whole reservation units on Windows). kPlatformOk, or kPlatformFailed
    // when the thread cannot be made or this object still holds a thread
    // that has not been joined; nothing runs then.
    //
    // With `spread` n > 0 the thread first runs on the processor n places
    // after the one the caller runs on (counted among those the caller may
    // use, round), so that threads started one after the other begin on
    // different processors; after that it may move like any other thread.
    // Windows gives each new thread an ideal processor of its own, in
    // turn; there `spread` is not used.
    int start(ThreadFunction function, void* argument, size_t stackSize = kWorkerStackSize,
              int32_t spread = 0);
    // Waits until the thread has ended and releases it. kPlatformOk, also
    // when there is no thread; kPlatformFailed when the wait fails.
    int join();
    // True from a successful start until join.
    bool joinable() const { return state_ != nullptr; }

  private:
    void* state_ = nullptr; // system-specific, owned
};

} // namespace qf
