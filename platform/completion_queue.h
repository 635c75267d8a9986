// Waiting for any one of many workers.
//
// A worker pool has up to 100 slots, more than a single wait on one event
// per slot allows on Windows (64 handles). Instead, every slot reports to
// one CompletionQueue: the worker's last act is post(its slot); the main
// thread calls wait() and gets back the index of a slot that is done, in
// the order the slots finished, one at a time. Typical use:
//
//     CompletionQueue done;
//     done.create(slots);
//     for (int i = 0; i < slots; ++i) startWorker(i);   // each ends with done.post(i)
//     while (running) {
//         int slot;
//         if (done.wait(slot) != kPlatformOk) break;
//         threads[slot].join();                           // returns at once
//         ... finish the slot's job, start the next one in the slot ...
//     }
//
// Inside: a fixed ring of slot indexes under a mutex, plus one auto-reset
// event. post() appends and then sets the event; wait() takes from the ring
// and sleeps on the event only when the ring is empty. A post that lands
// between the check and the sleep leaves the event set, so the sleep ends
// at once: no completion is lost, however many arrive together, and every
// wake re-checks the ring, so a stale signal costs one extra look only.
// Everything the worker wrote before post() is visible to the thread that
// takes its slot.
#pragma once

#include "platform/event.h"
#include "platform/status.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace qf {

class CompletionQueue {
  public:
    CompletionQueue() = default;
    ~CompletionQueue() { destroy(); }
    CompletionQueue(const CompletionQueue&) = delete;
    CompletionQueue& operator=(const CompletionQueue&) = delete;

    // Prepares for slots 0 .. slotCount - 1, none done. kPlatformOk, or
    // kPlatformFailed when slotCount is below 1 or memory or the event
    // cannot be had.
    int create(int slotCount);
    // Releases everything. No thread may use the queue any more.
    void destroy();
    bool isValid() const { return capacity_ > 0; }
    int slotCount() const { return capacity_; }

    // Worker side: reports `slot` as done. Thread-safe; never blocks for
    // longer than a short lock. A slot already reported and not yet taken
    // stays reported once. kPlatformOk, or kPlatformFailed for a slot out
    // of range or a queue that was not created.
    int post(int slot);

    // Main side: waits until some slot is done and takes it. kPlatformOk
    // with `slot` set, or kPlatformFailed (`slot` = -1).
    int wait(int& slot);
    // As wait(), giving up after `milliseconds`: kPlatformOk,
    // kPlatformTimedOut or kPlatformFailed (`slot` = -1 unless kPlatformOk).
    int waitFor(uint32_t milliseconds, int& slot);
    // Takes a done slot when there is one, without waiting.
    bool tryTake(int& slot);
    // The number of slots reported and not yet taken.
    int pending() const;

  private:
    bool takeLocked(int& slot);

    mutable std::mutex mutex_;
    AutoResetEvent event_;
    std::unique_ptr<int[]> ring_;
    std::unique_ptr<bool[]> queued_;
    int capacity_ = 0;
    int head_ = 0;
    int count_ = 0;
};

} // namespace qf
