#include "platform/completion_queue.h"

#include "platform/clock.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace qf {}
using namespace qf;

TEST(CompletionQueue, HandsOutSlotsInTheOrderTheyWereReported) {
    CompletionQueue queue;
    ASSERT_EQ(queue.create(10), kPlatformOk);
    EXPECT_EQ(queue.slotCount(), 10);
    int slot = 123;
    EXPECT_FALSE(queue.tryTake(slot));
    EXPECT_EQ(slot, -1);

    EXPECT_EQ(queue.post(5), kPlatformOk);
    EXPECT_EQ(queue.post(2), kPlatformOk);
    EXPECT_EQ(queue.post(9), kPlatformOk);
    EXPECT_EQ(queue.pending(), 3);
    ASSERT_EQ(queue.wait(slot), kPlatformOk);
    EXPECT_EQ(slot, 5);
    // Reported again while still waiting to be taken: stays once.
    EXPECT_EQ(queue.post(2), kPlatformOk);
    EXPECT_EQ(queue.pending(), 2);
    ASSERT_EQ(queue.waitFor(0, slot), kPlatformOk);
    EXPECT_EQ(slot, 2);
    ASSERT_TRUE(queue.tryTake(slot));
    EXPECT_EQ(slot, 9);
    EXPECT_EQ(queue.waitFor(0, slot), kPlatformTimedOut);
    EXPECT_EQ(slot, -1);

    // The ring wraps around: every slot at once, several times.
    for (int round = 0; round < 3; ++round) {
        for (int i = 9; i >= 0; --i) ASSERT_EQ(queue.post(i), kPlatformOk);
        for (int i = 9; i >= 0; --i) {
            ASSERT_EQ(queue.wait(slot), kPlatformOk);
            EXPECT_EQ(slot, i);
        }
    }
    EXPECT_EQ(queue.pending(), 0);
}

TEST(CompletionQueue, RefusesWhatItCannotServe) {
    CompletionQueue queue;
    int slot;
    EXPECT_EQ(queue.post(0), kPlatformFailed);
    EXPECT_EQ(queue.wait(slot), kPlatformFailed);
    EXPECT_EQ(queue.waitFor(10, slot), kPlatformFailed);
    EXPECT_EQ(queue.create(0), kPlatformFailed);
    EXPECT_EQ(queue.create(-3), kPlatformFailed);
    EXPECT_FALSE(queue.isValid());
    ASSERT_EQ(queue.create(4), kPlatformOk);
    EXPECT_EQ(queue.post(-1), kPlatformFailed);
    EXPECT_EQ(queue.post(4), kPlatformFailed);
    EXPECT_EQ(queue.pending(), 0);
    queue.destroy();
    EXPECT_FALSE(queue.isValid());
    EXPECT_EQ(queue.post(0), kPlatformFailed);
}

TEST(CompletionQueue, TimedWaitEndsOnTimeOrWhenASlotIsDone) {
    CompletionQueue queue;
    ASSERT_EQ(queue.create(3), kPlatformOk);
    int slot = 0;
    uint64_t before = monotonicMilliseconds();
    EXPECT_EQ(queue.waitFor(100, slot), kPlatformTimedOut);
    EXPECT_GE(monotonicMilliseconds() - before, 80u);

    Thread late;
    ASSERT_EQ(late.start(
                  [](void* raw) {
                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
                      static_cast<CompletionQueue*>(raw)->post(1);
                  },
                  &queue),
              kPlatformOk);
    before = monotonicMilliseconds();
    EXPECT_EQ(queue.waitFor(20000, slot), kPlatformOk);
    EXPECT_EQ(slot, 1);
    EXPECT_LT(monotonicMilliseconds() - before, 10000u);
    EXPECT_EQ(late.join(), kPlatformOk);
}

namespace {

struct Worker {
    CompletionQueue* queue;
    int slot;
    unsigned delayMicroseconds;
    int result; // written by the worker before it reports
};

void finishAfterDelay(void* raw) {
    Worker* worker = static_cast<Worker*>(raw);
    if (worker->delayMicroseconds) {
        std::this_thread::sleep_for(std::chrono::microseconds(worker->delayMicroseconds));
    } else {
        std::this_thread::yield();
    }
    worker->result = worker->slot * 7 + 1;
    worker->queue->post(worker->slot);
}

int roundsFromEnvironment(int fallback) {
    const char* text = std::getenv("QF_COMPLETION_ROUNDS");
    const int rounds = text ? std::atoi(text) : 0;
    return rounds > 0 ? rounds : fallback;
}

} // namespace

// A hundred workers finishing in random order, all reported at the same
// moment or spread out: the main thread must learn of every one of them,
// each exactly once, and see what each wrote. Repeated to give lost
// wake-ups a chance to show.
TEST(CompletionQueue, AHundredWorkersInRandomOrderAreAllSeen) {
    constexpr int kWorkers = 100;
    const int rounds = roundsFromEnvironment(60);
    std::mt19937 random(20240611);
    for (int round = 0; round < rounds; ++round) {
        CompletionQueue queue;
        ASSERT_EQ(queue.create(kWorkers), kPlatformOk);
        std::vector<Worker> workers(kWorkers);
        std::vector<Thread> threads(kWorkers);
        for (int i = 0; i < kWorkers; ++i) {
            // Every third round all at once; else up to 2 ms apart.
            const unsigned delay = round % 3 == 0 ? 0u : random() % 2000u;
            workers[i] = Worker{&queue, i, delay, 0};
            ASSERT_EQ(threads[i].start(finishAfterDelay, &workers[i], kWorkerStackSize),
                      kPlatformOk);
        }
        std::vector<bool> seen(kWorkers, false);
        for (int taken = 0; taken < kWorkers; ++taken) {
            int slot = -1;
            ASSERT_EQ(queue.waitFor(30000, slot), kPlatformOk)
                << "round " << round << ": lost after " << taken;
            ASSERT_GE(slot, 0);
            ASSERT_LT(slot, kWorkers);
            EXPECT_FALSE(seen[slot]) << "slot " << slot << " reported twice";
            seen[slot] = true;
            EXPECT_EQ(threads[slot].join(), kPlatformOk);
            EXPECT_EQ(workers[slot].result, slot * 7 + 1);
        }
        int slot;
        EXPECT_FALSE(queue.tryTake(slot));
    }
}

namespace {

// A miniature worker pool: few slots, many jobs, every slot reused for the
// next job as soon as the main thread has taken it.
struct Job {
    CompletionQueue* queue;
    int slot;
    int index;
    std::vector<int> tile;
};

void renderJob(void* raw) {
    Job* job = static_cast<Job*>(raw);
    for (size_t i = 0; i < job->tile.size(); ++i) job->tile[i] = job->index + static_cast<int>(i);
    job->queue->post(job->slot);
}

} // namespace

TEST(CompletionQueue, ServesAPoolThatReusesItsSlots) {
    constexpr int kJobs = 500;
    const int slots = 7;
    CompletionQueue queue;
    ASSERT_EQ(queue.create(slots), kPlatformOk);
    std::vector<Job> jobs(slots);
    std::vector<Thread> threads(slots);
    int started = 0, finished = 0;
    long long checksum = 0;
    auto startJob = [&](int slot) {
        jobs[slot].queue = &queue;
        jobs[slot].slot = slot;
        jobs[slot].index = started++;
        jobs[slot].tile.assign(64, -1);
        return threads[slot].start(renderJob, &jobs[slot], kWorkerStackSize);
    };
    for (int slot = 0; slot < slots; ++slot) ASSERT_EQ(startJob(slot), kPlatformOk);
    while (finished < kJobs) {
        int slot = -1;
        ASSERT_EQ(queue.waitFor(30000, slot), kPlatformOk) << "finished " << finished;
        ASSERT_EQ(threads[slot].join(), kPlatformOk);
        for (size_t i = 0; i < jobs[slot].tile.size(); ++i) {
            ASSERT_EQ(jobs[slot].tile[i], jobs[slot].index + static_cast<int>(i));
        }
        checksum += jobs[slot].index;
        ++finished;
        if (started < kJobs) {
            ASSERT_EQ(startJob(slot), kPlatformOk);
        }
    }
    EXPECT_EQ(checksum, static_cast<long long>(kJobs) * (kJobs - 1) / 2);
    EXPECT_EQ(queue.pending(), 0);
}

namespace {

// Busy for a moment of random length, from nothing to several
// microseconds, so that the two sides meet at every point of each other's
// code.
void jitter(unsigned& state) {
    state = state * 1664525u + 1013904223u;
    volatile unsigned sink = 0;
    for (unsigned i = (state >> 18) & 4095u; i > 0; --i) sink = sink + i;
}

struct Relay {
    CompletionQueue queue;
    std::atomic<int> go{0};
    std::atomic<int> taken{0};
    std::atomic<bool> finished{false};
    std::atomic<int> rescues{0};
    int rounds = 0;
};

// Spins for its turn rather than sleeping, so that its report can land
// within nanoseconds of the main thread's check.
void relayWorker(void* raw) {
    Relay* relay = static_cast<Relay*>(raw);
    unsigned state = 17u;
    for (int i = 1; i <= relay->rounds; ++i) {
        while (relay->go.load(std::memory_order_acquire) < i) std::this_thread::yield();
        if (relay->go.load() > relay->rounds) return;
        jitter(state);
        relay->queue.post(0);
    }
}

// A lost report leaves the main thread asleep for good. The watchdog
// counts such stalls and ends each by reporting the slot itself.
void relayWatchdog(void* raw) {
    Relay* relay = static_cast<Relay*>(raw);
    int lastTaken = -1;
    uint64_t since = monotonicMilliseconds();
    while (!relay->finished.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int taken = relay->taken.load();
        if (taken != lastTaken) {
            lastTaken = taken;
            since = monotonicMilliseconds();
        } else if (monotonicMilliseconds() - since > 2000) {
            relay->rescues.fetch_add(1);
            relay->queue.post(0);
            since = monotonicMilliseconds();
        }
    }
}

} // namespace

// Every report is the only one outstanding, and it races the main thread
// going to sleep: a report lost there is never made good by a later one.
TEST(CompletionQueue, AReportRacingTheSleepIsNotLost) {
    Relay relay;
    relay.rounds = 20000;
    ASSERT_EQ(relay.queue.create(1), kPlatformOk);
    Thread worker, watchdog;
    ASSERT_EQ(worker.start(relayWorker, &relay), kPlatformOk);
    ASSERT_EQ(watchdog.start(relayWatchdog, &relay), kPlatformOk);
    unsigned state = 5u;
    for (int round = 1; round <= relay.rounds && relay.rescues.load() == 0; ++round) {
        relay.go.store(round, std::memory_order_release);
        jitter(state);
        int slot = -1;
        // Both ways of waiting, in turns.
        const int status = (round & 1) ? relay.queue.wait(slot) : relay.queue.waitFor(10000, slot);
        EXPECT_EQ(status, kPlatformOk) << "round " << round;
        EXPECT_EQ(slot, 0);
        relay.taken.store(round);
    }
    relay.finished.store(true);
    relay.go.store(relay.rounds + 1); // lets a worker left behind run out
    EXPECT_EQ(worker.join(), kPlatformOk);
    EXPECT_EQ(watchdog.join(), kPlatformOk);
    EXPECT_EQ(relay.rescues.load(), 0) << "reports were lost";
}
