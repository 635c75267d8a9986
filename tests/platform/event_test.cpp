#include "platform/event.h"

#include "platform/clock.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace qf {}
using namespace qf;

TEST(AutoResetEvent, ASignalReleasesOneWaitAndResets) {
    AutoResetEvent event;
    ASSERT_EQ(event.create(), kPlatformOk);
    EXPECT_TRUE(event.isValid());
    EXPECT_EQ(event.waitFor(0), kPlatformTimedOut); // created not signalled

    // A set without a waiter is kept for the next wait...
    EXPECT_EQ(event.set(), kPlatformOk);
    EXPECT_EQ(event.wait(), kPlatformOk);
    // ...and consumed by it.
    EXPECT_EQ(event.waitFor(0), kPlatformTimedOut);

    // Sets do not add up.
    EXPECT_EQ(event.set(), kPlatformOk);
    EXPECT_EQ(event.set(), kPlatformOk);
    EXPECT_EQ(event.waitFor(0), kPlatformOk);
    EXPECT_EQ(event.waitFor(0), kPlatformTimedOut);

    // reset() takes a pending signal back.
    EXPECT_EQ(event.set(), kPlatformOk);
    EXPECT_EQ(event.reset(), kPlatformOk);
    EXPECT_EQ(event.waitFor(0), kPlatformTimedOut);
}

TEST(AutoResetEvent, TimedWaitsLastAtLeastTheirTime) {
    AutoResetEvent event;
    ASSERT_EQ(event.create(), kPlatformOk);
    const uint64_t before = monotonicMilliseconds();
    EXPECT_EQ(event.waitFor(120), kPlatformTimedOut);
    const uint64_t waited = monotonicMilliseconds() - before;
    // The system clocks tick coarsely on Windows; allow one tick early.
    EXPECT_GE(waited, 100u);
    EXPECT_LT(waited, 5000u);
}

TEST(AutoResetEvent, UncreatedOrDestroyedEventsFail) {
    AutoResetEvent event;
    EXPECT_FALSE(event.isValid());
    EXPECT_EQ(event.set(), kPlatformFailed);
    EXPECT_EQ(event.reset(), kPlatformFailed);
    EXPECT_EQ(event.wait(), kPlatformFailed);
    EXPECT_EQ(event.waitFor(10), kPlatformFailed);
    ASSERT_EQ(event.create(), kPlatformOk);
    event.destroy();
    EXPECT_FALSE(event.isValid());
    EXPECT_EQ(event.set(), kPlatformFailed);
    event.destroy(); // twice is harmless

    // Moving hands the event over, signal included.
    ASSERT_EQ(event.create(), kPlatformOk);
    ASSERT_EQ(event.set(), kPlatformOk);
    AutoResetEvent moved(std::move(event));
    EXPECT_FALSE(event.isValid());
    EXPECT_EQ(moved.waitFor(0), kPlatformOk);
    AutoResetEvent assigned;
    ASSERT_EQ(assigned.create(), kPlatformOk);
    assigned = std::move(moved);
    EXPECT_TRUE(assigned.isValid());
    EXPECT_EQ(assigned.waitFor(0), kPlatformTimedOut);
}

namespace {

struct Waiters {
    AutoResetEvent event;
    std::atomic<int> woken{0};
};

void waitOnce(void* raw) {
    Waiters* waiters = static_cast<Waiters*>(raw);
    if (waiters->event.wait() == kPlatformOk) waiters->woken.fetch_add(1);
}

// Waits until `woken` reaches `count` or two seconds pass.
bool reaches(const std::atomic<int>& woken, int count) {
    const uint64_t end = monotonicMilliseconds() + 2000;
    while (woken.load() < count && monotonicMilliseconds() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return woken.load() == count;
}

} // namespace

TEST(AutoResetEvent, OneSetWakesExactlyOneOfSeveralWaiters) {
    Waiters waiters;
    ASSERT_EQ(waiters.event.create(), kPlatformOk);
    Thread threads[3];
    for (Thread& thread : threads) ASSERT_EQ(thread.start(waitOnce, &waiters), kPlatformOk);
    for (int round = 1; round <= 3; ++round) {
        ASSERT_EQ(waiters.event.set(), kPlatformOk);
        EXPECT_TRUE(reaches(waiters.woken, round));
        // Nobody else follows: the event reset itself.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_EQ(waiters.woken.load(), round);
    }
    for (Thread& thread : threads) EXPECT_EQ(thread.join(), kPlatformOk);
}

namespace {

// The hand-off the worker pool makes with every slot: start, then done.
struct PingPong {
    AutoResetEvent start, done;
    int rounds = 0;
    int value = 0; // written by the worker, read after done
};

void answer(void* raw) {
    PingPong* game = static_cast<PingPong*>(raw);
    for (int i = 0; i < game->rounds; ++i) {
        if (game->start.wait() != kPlatformOk) return;
        game->value += 1; // no lock: the events order the accesses
        game->done.set();
    }
}

} // namespace

TEST(AutoResetEvent, StartAndDoneHandOffNeverLosesASignal) {
    PingPong game;
    ASSERT_EQ(game.start.create(), kPlatformOk);
    ASSERT_EQ(game.done.create(), kPlatformOk);
    game.rounds = 20000;
    Thread worker;
    ASSERT_EQ(worker.start(answer, &game), kPlatformOk);
    for (int i = 0; i < game.rounds; ++i) {
        ASSERT_EQ(game.start.set(), kPlatformOk);
        ASSERT_EQ(game.done.waitFor(10000), kPlatformOk) << "round " << i;
        ASSERT_EQ(game.value, i + 1);
    }
    EXPECT_EQ(worker.join(), kPlatformOk);
}
