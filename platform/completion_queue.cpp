#include "platform/completion_queue.h"

#include "platform/clock.h"

#include <new>

namespace qf {

int CompletionQueue::create(int slotCount) {
    destroy();
    if (slotCount < 1) return kPlatformFailed;
    std::unique_ptr<int[]> ring(new (std::nothrow) int[slotCount]);
    std::unique_ptr<bool[]> queued(new (std::nothrow) bool[slotCount]());
    if (!ring || !queued) return kPlatformFailed;
    if (event_.create() != kPlatformOk) return kPlatformFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    ring_ = std::move(ring);
    queued_ = std::move(queued);
    capacity_ = slotCount;
    head_ = 0;
    count_ = 0;
    return kPlatformOk;
}

void CompletionQueue::destroy() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ring_.reset();
        queued_.reset();
        capacity_ = 0;
        head_ = 0;
        count_ = 0;
    }
    event_.destroy();
}

int CompletionQueue::post(int slot) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (capacity_ <= 0 || slot < 0 || slot >= capacity_) return kPlatformFailed;
        if (queued_[size_t(slot)]) return kPlatformOk;
        // At most one entry per slot, so the ring never overflows.
        ring_[size_t((head_ + count_) % capacity_)] = slot;
        queued_[size_t(slot)] = true;
        ++count_;
    }
    // Set after the entry is visible: a waiter that found the ring empty
    // either has not slept yet (and the set event wakes it at once) or is
    // asleep and is woken now.
    return event_.set();
}

bool CompletionQueue::takeLocked(int& slot) {
    if (count_ == 0) return false;
    slot = ring_[size_t(head_)];
    head_ = (head_ + 1) % capacity_;
    --count_;
    queued_[size_t(slot)] = false;
    return true;
}

bool CompletionQueue::tryTake(int& slot) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (takeLocked(slot)) return true;
    slot = -1;
    return false;
}

int CompletionQueue::pending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

int CompletionQueue::wait(int& slot) {
    slot = -1;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (capacity_ <= 0) return kPlatformFailed;
            if (takeLocked(slot)) return kPlatformOk;
        }
        if (event_.wait() != kPlatformOk) return kPlatformFailed;
    }
}

int CompletionQueue::waitFor(uint32_t milliseconds, int& slot) {
    slot = -1;
    const uint64_t deadline = monotonicMilliseconds() + milliseconds;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (capacity_ <= 0) return kPlatformFailed;
            if (takeLocked(slot)) return kPlatformOk;
        }
        const uint64_t now = monotonicMilliseconds();
        if (now >= deadline) return kPlatformTimedOut;
        const int result = event_.waitFor(static_cast<uint32_t>(deadline - now));
        if (result == kPlatformFailed) return kPlatformFailed;
        // Signalled or timed out: look once more before deciding.
    }
}

} // namespace qf
