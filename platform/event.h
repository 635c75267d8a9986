// Auto-reset events: a signal that releases one waiter and then resets by
// itself. A set() with no waiter is kept until the next wait; several
// set() calls before a wait count as one.
#pragma once

#include "platform/status.h"

#include <cstdint>

namespace qf {

class AutoResetEvent {
  public:
    AutoResetEvent() = default;
    ~AutoResetEvent() { destroy(); }
    AutoResetEvent(AutoResetEvent&& other) noexcept : state_(other.state_) {
        other.state_ = nullptr;
    }
    AutoResetEvent& operator=(AutoResetEvent&& other) noexcept;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Makes the event, not signalled. kPlatformOk or kPlatformFailed. An
    // event this object already holds is destroyed first.
    int create();
    // Releases the event. Nobody may be waiting on it any more.
    void destroy();
    bool isValid() const { return state_ != nullptr; }

    // Signals the event. kPlatformOk, or kPlatformFailed (also when the
    // event was never created).
    int set();
    // Clears a pending signal. kPlatformOk or kPlatformFailed.
    int reset();
    // Waits until the event is signalled and consumes the signal.
    // kPlatformOk or kPlatformFailed.
    int wait();
    // As wait(), giving up after `milliseconds`: kPlatformOk,
    // kPlatformTimedOut or kPlatformFailed. 0 only tests and consumes.
    int waitFor(uint32_t milliseconds);

  private:
    void* state_ = nullptr; // system-specific, owned
};

} // namespace qf
