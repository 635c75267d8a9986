#include "platform/thread.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <dlfcn.h>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#include <utility>

namespace qf {

namespace {

struct ThreadState {
    pthread_t id;
    ThreadFunction function;
    void* argument;
    // Set when the thread was started on one chosen processor: the
    // processors it may then move to, the starting thread's own.
    bool placed;
    cpu_set_t allowed;
};

void* threadEntry(void* raw) {
    ThreadState* state = static_cast<ThreadState*>(raw);
    if (state->placed)
        ::pthread_setaffinity_np(::pthread_self(), sizeof state->allowed, &state->allowed);
    state->function(state->argument);
    return nullptr;
}

// glibc carves the thread's static TLS (and, when the stack is small, its
// guard) out of the stack it is given, so a thread asked for 200000 bytes
// would get noticeably less; a sanitizer runtime's TLS alone can take most
// of it. The C library tells its own minimum for a set of attributes,
// TLS included, through a private call; what it needs beyond
// PTHREAD_STACK_MIN is added to the request.
size_t reservedByTheLibrary(const pthread_attr_t* attributes) {
    using MinimumStack = size_t (*)(const pthread_attr_t*);
    static const MinimumStack minimumStack =
        reinterpret_cast<MinimumStack>(::dlsym(RTLD_DEFAULT, "__pthread_get_minstack"));
    if (!minimumStack) return 0;
    const size_t minimum = minimumStack(attributes);
    return minimum > static_cast<size_t>(PTHREAD_STACK_MIN)
               ? minimum - static_cast<size_t>(PTHREAD_STACK_MIN)
               : 0;
}

// The requested size plus what the library keeps for itself, at least its
// minimum, in whole pages; 0 when that cannot be expressed.
size_t acceptedStackSize(size_t requested, const pthread_attr_t* attributes) {
    const size_t reserved = reservedByTheLibrary(attributes);
    if (requested > SIZE_MAX - reserved) return 0;
    size_t size = requested + reserved;
    if (size < static_cast<size_t>(PTHREAD_STACK_MIN))
        size = static_cast<size_t>(PTHREAD_STACK_MIN);
    const long page = ::sysconf(_SC_PAGESIZE);
    const size_t unit = page > 0 ? static_cast<size_t>(page) : 4096;
    if (size > SIZE_MAX - unit) return 0;
    return (size + unit - 1) / unit * unit;
}

// Starts the thread on the processor `spread` places after the caller's
// among those the caller may use, by giving it that one processor at
// first (threadEntry gives it back the caller's set). The system may put
// several new threads on the same processor when they are made in quick
// succession, and a processor that falls idle may not take one over for
// milliseconds; a preview takes ten. Does nothing when the caller may use
// one processor only.
void placeOnStart(ThreadState& state, pthread_attr_t* attributes, int32_t spread) {
    if (spread <= 0 || ::sched_getaffinity(0, sizeof state.allowed, &state.allowed) != 0) return;
    const int here = ::sched_getcpu();
    int usable[CPU_SETSIZE];
    int count = 0;
    int own = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(static_cast<size_t>(cpu), &state.allowed)) continue;
        if (cpu == here) own = count;
        usable[count++] = cpu;
    }
    if (count < 2) return;
    cpu_set_t first;
    CPU_ZERO(&first);
    CPU_SET(static_cast<size_t>(usable[(own + spread % count) % count]), &first);
    state.placed = ::pthread_attr_setaffinity_np(attributes, sizeof first, &first) == 0;
}

} // namespace

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        join();
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

int Thread::start(ThreadFunction function, void* argument, size_t stackSize, int32_t spread) {
    if (state_ || !function) return kPlatformFailed;
    ThreadState* state =
        new (std::nothrow) ThreadState{pthread_t(), function, argument, false, cpu_set_t{}};
    if (!state) return kPlatformFailed;
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) {
        delete state;
        return kPlatformFailed;
    }
    const size_t stack = acceptedStackSize(stackSize, &attributes);
    int result = stack == 0 ? EINVAL : ::pthread_attr_setstacksize(&attributes, stack);
    if (result == 0) placeOnStart(*state, &attributes, spread);
    if (result == 0) result = ::pthread_create(&state->id, &attributes, threadEntry, state);
    if (result != 0 && state->placed) {
        // The chosen processor may have left the process's set meanwhile:
        // the thread then starts wherever the system puts it.
        state->placed = false;
        cpu_set_t any = state->allowed;
        if (::pthread_attr_setaffinity_np(&attributes, sizeof any, &any) == 0)
            result = ::pthread_create(&state->id, &attributes, threadEntry, state);
    }
    ::pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete state;
        return kPlatformFailed;
    }
    state_ = state;
    return kPlatformOk;
}

int Thread::join() {
    if (!state_) return kPlatformOk;
    ThreadState* state = static_cast<ThreadState*>(state_);
    if (::pthread_join(state->id, nullptr) != 0) return kPlatformFailed;
    delete state;
    state_ = nullptr;
    return kPlatformOk;
}

} // namespace qf
