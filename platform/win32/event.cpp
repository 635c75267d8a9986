#include "platform/event.h"

#include <windows.h>
#include <utility>

namespace qf {

AutoResetEvent& AutoResetEvent::operator=(AutoResetEvent&& other) noexcept {
    if (this != &other) {
        destroy();
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

int AutoResetEvent::create() {
    destroy();
    HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!handle) return kPlatformFailed;
    state_ = handle;
    return kPlatformOk;
}

void AutoResetEvent::destroy() {
    if (!state_) return;
    CloseHandle(static_cast<HANDLE>(state_));
    state_ = nullptr;
}

int AutoResetEvent::set() {
    return state_ && SetEvent(static_cast<HANDLE>(state_)) ? kPlatformOk : kPlatformFailed;
}

int AutoResetEvent::reset() {
    return state_ && ResetEvent(static_cast<HANDLE>(state_)) ? kPlatformOk : kPlatformFailed;
}

int AutoResetEvent::wait() {
    if (!state_) return kPlatformFailed;
    return WaitForSingleObject(static_cast<HANDLE>(state_), INFINITE) == WAIT_OBJECT_0
               ? kPlatformOk
               : kPlatformFailed;
}

int AutoResetEvent::waitFor(uint32_t milliseconds) {
    if (!state_) return kPlatformFailed;
    // INFINITE is 0xFFFFFFFF: a time-out that large is one millisecond
    // short of forever, not forever.
    const DWORD limit = milliseconds == INFINITE ? INFINITE - 1 : milliseconds;
    switch (WaitForSingleObject(static_cast<HANDLE>(state_), limit)) {
    case WAIT_OBJECT_0:
        return kPlatformOk;
    case WAIT_TIMEOUT:
        return kPlatformTimedOut;
    default:
        return kPlatformFailed;
    }
}

} // namespace qf
