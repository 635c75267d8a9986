#include "platform/event.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>
#include <utility>

namespace qf {

namespace {

struct EventState {
    pthread_mutex_t mutex;
    pthread_cond_t condition; // runs on the monotonic clock
    bool signalled;
};

EventState* stateOf(void* raw) {
    return static_cast<EventState*>(raw);
}

} // namespace

AutoResetEvent& AutoResetEvent::operator=(AutoResetEvent&& other) noexcept {
    if (this != &other) {
        destroy();
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

int AutoResetEvent::create() {
    destroy();
    EventState* state = new (std::nothrow) EventState;
    if (!state) return kPlatformFailed;
    state->signalled = false;
    if (::pthread_mutex_init(&state->mutex, nullptr) != 0) {
        delete state;
        return kPlatformFailed;
    }
    pthread_condattr_t attributes;
    bool ready = ::pthread_condattr_init(&attributes) == 0;
    if (ready) {
        ready = ::pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
                ::pthread_cond_init(&state->condition, &attributes) == 0;
        ::pthread_condattr_destroy(&attributes);
    }
    if (!ready) {
        ::pthread_mutex_destroy(&state->mutex);
        delete state;
        return kPlatformFailed;
    }
    state_ = state;
    return kPlatformOk;
}

void AutoResetEvent::destroy() {
    if (!state_) return;
    EventState* state = stateOf(state_);
    ::pthread_cond_destroy(&state->condition);
    ::pthread_mutex_destroy(&state->mutex);
    delete state;
    state_ = nullptr;
}

int AutoResetEvent::set() {
    if (!state_) return kPlatformFailed;
    EventState* state = stateOf(state_);
    if (::pthread_mutex_lock(&state->mutex) != 0) return kPlatformFailed;
    state->signalled = true;
    // Signalled under the lock: the waiter cannot destroy the event (its
    // owner ends it only after the wait returned) while we still touch it.
    const int result = ::pthread_cond_signal(&state->condition);
    ::pthread_mutex_unlock(&state->mutex);
    return result == 0 ? kPlatformOk : kPlatformFailed;
}

int AutoResetEvent::reset() {
    if (!state_) return kPlatformFailed;
    EventState* state = stateOf(state_);
    if (::pthread_mutex_lock(&state->mutex) != 0) return kPlatformFailed;
    state->signalled = false;
    ::pthread_mutex_unlock(&state->mutex);
    return kPlatformOk;
}

int AutoResetEvent::wait() {
    if (!state_) return kPlatformFailed;
    EventState* state = stateOf(state_);
    if (::pthread_mutex_lock(&state->mutex) != 0) return kPlatformFailed;
    int result = 0;
    while (!state->signalled && result == 0) {
        result = ::pthread_cond_wait(&state->condition, &state->mutex);
    }
    const bool got = state->signalled;
    state->signalled = false;
    ::pthread_mutex_unlock(&state->mutex);
    return got ? kPlatformOk : kPlatformFailed;
}

int AutoResetEvent::waitFor(uint32_t milliseconds) {
    if (!state_) return kPlatformFailed;
    EventState* state = stateOf(state_);
    timespec deadline;
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000u);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000u) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    if (::pthread_mutex_lock(&state->mutex) != 0) return kPlatformFailed;
    int result = 0;
    while (!state->signalled && result == 0) {
        result = ::pthread_cond_timedwait(&state->condition, &state->mutex, &deadline);
    }
    const bool got = state->signalled;
    state->signalled = false;
    ::pthread_mutex_unlock(&state->mutex);
    if (got) return kPlatformOk;
    return result == ETIMEDOUT ? kPlatformTimedOut : kPlatformFailed;
}

} // namespace qf
