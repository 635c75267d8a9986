// The worker pool: tiling, ordering, cancellation and host failures, with a
// fake host and fake tile work.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "render/render_host.h"
#include "render/worker_pool.h"

namespace qf {}
using namespace qf;

namespace {

class FakeHost : public RenderHost {
  public:
    void prepareArea(const PixelRect&, int32_t) override {}
    int16_t fetchTile(const PixelRect& tile) override {
        ++fetches;
        fetched.push_back(tile);
        if (failFetchAt > 0 && fetches == failFetchAt) code = failCode;
        return code;
    }
    CompositeTarget compositeTarget() override { return {}; }
    bool testAbort() override {
        ++abortTests;
        return abortAfter >= 0 && composited >= abortAfter;
    }
    void progress(int32_t done, int32_t total) override { progressCalls.push_back({done, total}); }
    int16_t& result() override { return code; }
    void saveState() override {}
    void restoreState() override {}

    int16_t code = 0;
    int fetches = 0;
    int failFetchAt = 0;
    int16_t failCode = 0;
    int abortAfter = -1;
    int abortTests = 0;
    int composited = 0;
    std::vector<PixelRect> fetched;
    std::vector<std::pair<int32_t, int32_t>> progressCalls;
};

// Records the order of work and finishing; fills every tile with its index.
class RecordingRunner : public JobRunner {
  public:
    explicit RecordingRunner(FakeHost& host) : host_(host) {}
    void work(TileJob& job) override {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(1000 + job.splitter.jobIndex);
        // A thread's first tile (the system may reuse the ids of ended
        // threads, so ids alone would not tell new threads from old).
        thread_local bool seen = false;
        if (!seen) ++threadsStarted;
        seen = true;
        onCallersThread = onCallersThread || std::this_thread::get_id() == caller;
        inFlight = inFlight + 1;
        maxInFlight = std::max(maxInFlight, inFlight);
        inFlight = inFlight - 1;
    }
    void finish(TileJob& job) override {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(2000 + job.splitter.jobIndex);
        finishedTiles.push_back(job.splitter.tile);
        ++host_.composited;
    }
    bool fetchesTiles() const override { return true; }

    std::mutex mutex;
    std::vector<int> events;
    std::vector<PixelRect> finishedTiles;
    int threadsStarted = 0;
    bool onCallersThread = false;
    std::thread::id caller = std::this_thread::get_id();
    int inFlight = 0;
    int maxInFlight = 0;

  private:
    FakeHost& host_;
};

PoolOptions finalOptions(int processors) {
    PoolOptions o;
    o.renderTarget = 0;
    o.passIndex = 1;
    o.passCount = 1;
    o.processors = processors;
    return o;
}

} // namespace

TEST(WorkerPool, SplitsIntoSquareTilesInReadingOrder) {
    TileSplitter s;
    ASSERT_TRUE(makeSplitter(PixelRect{0, 0, 300, 1000}, s));
    EXPECT_EQ(s.columns, 8);
    EXPECT_EQ(s.jobs, 24);
    EXPECT_EQ(jobRect(s, 0), (PixelRect{0, 0, 128, 128}));
    EXPECT_EQ(jobRect(s, 7), (PixelRect{0, 896, 128, 1000})); // 104 wide
    EXPECT_EQ(jobRect(s, 16), (PixelRect{256, 0, 300, 128})); // 44 high
    EXPECT_EQ(jobRect(s, 23), (PixelRect{256, 896, 300, 1000}));
}

TEST(WorkerPool, EveryTileIsFetchedComputedAndCompositedOnce) {
    for (int processors : {1, 2, 7, 150}) {
        FakeHost host;
        RecordingRunner runner(host);
        const PoolRunStats stats = runJobs(kJobPatternTile, PixelRect{10, 20, 310, 1020}, runner,
                                           &host, finalOptions(processors));
        EXPECT_EQ(stats.jobs, 24);
        EXPECT_EQ(stats.finished, 24);
        EXPECT_EQ(stats.slots, std::min(processors, 24));
        ASSERT_EQ(runner.finishedTiles.size(), 24u);
        int area = 0;
        for (const PixelRect& r : runner.finishedTiles) area += r.width() * r.height();
        EXPECT_EQ(area, 1000 * 300);
        // Fetched once when started and once before compositing.
        EXPECT_EQ(host.fetches, 48);
        EXPECT_EQ(host.code, 0);
        // Each slot keeps its worker from tile to tile, none of them the
        // caller's thread.
        EXPECT_EQ(runner.threadsStarted, stats.slots);
        EXPECT_FALSE(runner.onCallersThread);
    }
}

TEST(WorkerPool, OneProcessorRunsTilesStrictlyInTurn) {
    FakeHost host;
    RecordingRunner runner(host);
    runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host, finalOptions(1));
    ASSERT_EQ(runner.events.size(), 48u);
    for (int n = 0; n < 24; ++n) {
        EXPECT_EQ(runner.events[2 * n], 1000 + n);
        EXPECT_EQ(runner.events[2 * n + 1], 2000 + n);
    }
}

// With several slots each worker is handed its next tile before it is done
// with the last: it goes on while the main thread composites. Here the
// first tile's compositing waits until both slots have also done their
// next tiles, so both post before the main thread looks again; every tile
// must still be taken in, once, and the run end.
TEST(WorkerPool, SlotsWorkAheadAndEveryTileTheyFinishIsTakenIn) {
    struct WaitingRunner : RecordingRunner {
        using RecordingRunner::RecordingRunner;
        std::mutex m;
        std::condition_variable aheadDone;
        int workedAhead = 0;
        bool sawAhead = false;
        void work(TileJob& job) override {
            RecordingRunner::work(job);
            if (job.splitter.jobIndex == 2 || job.splitter.jobIndex == 3) {
                std::lock_guard<std::mutex> lock(m);
                ++workedAhead;
                aheadDone.notify_all();
            }
        }
        void finish(TileJob& job) override {
            if (job.splitter.jobIndex == 0) {
                std::unique_lock<std::mutex> lock(m);
                sawAhead = aheadDone.wait_for(lock, std::chrono::seconds(10),
                                              [this] { return workedAhead == 2; });
            }
            RecordingRunner::finish(job);
        }
    };
    FakeHost host;
    WaitingRunner runner(host);
    const PoolRunStats stats =
        runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host, finalOptions(2));
    EXPECT_TRUE(runner.sawAhead);
    EXPECT_EQ(stats.finished, 24);
    ASSERT_EQ(runner.finishedTiles.size(), 24u);
    std::vector<PixelRect> sorted = runner.finishedTiles;
    TileSplitter split;
    ASSERT_TRUE(makeSplitter(PixelRect{0, 0, 300, 1000}, split));
    for (int n = 0; n < 24; ++n) {
        EXPECT_EQ(std::count(sorted.begin(), sorted.end(), jobRect(split, n)), 1) << n;
    }
    EXPECT_EQ(host.fetches, 48);
}

// Near the end a tile queued behind a slow one moves to the slot that has
// run dry. Here tile 0 cannot end before tile 1 is done, and tile 1 waits
// behind it in the same slot (the first slot is handed tiles 0 and 1, the
// second 2 and 3): only the other slot's worker, with its own tables (the
// job's slot), can do it.
TEST(WorkerPool, AWaitingTileMovesToTheSlotThatRanDry) {
    struct BlockingRunner : RecordingRunner {
        using RecordingRunner::RecordingRunner;
        std::mutex m;
        std::condition_variable secondDone;
        bool started0 = false;
        bool done1 = false;
        bool sawSecond = false;
        std::thread::id worker[4];
        int32_t slotOf[4] = {-1, -1, -1, -1};
        void work(TileJob& job) override {
            RecordingRunner::work(job);
            const int32_t n = job.splitter.jobIndex;
            std::unique_lock<std::mutex> lock(m);
            worker[n] = std::this_thread::get_id();
            slotOf[n] = job.slot;
            if (n == 0) {
                started0 = true;
                secondDone.notify_all();
                sawSecond =
                    secondDone.wait_for(lock, std::chrono::seconds(10), [this] { return done1; });
            } else if (n == 3) {
                // The other slot runs dry only once tile 0 is under way: a
                // slot whose worker has not yet taken its current tile
                // keeps the one waiting behind it.
                secondDone.wait_for(lock, std::chrono::seconds(10), [this] { return started0; });
            } else if (n == 1) {
                done1 = true;
                secondDone.notify_all();
            }
        }
    };
    FakeHost host;
    BlockingRunner runner(host);
    const PoolRunStats stats =
        runJobs(kJobPatternTile, PixelRect{0, 0, 256, 256}, runner, &host, finalOptions(2));
    EXPECT_TRUE(runner.sawSecond);
    EXPECT_EQ(stats.finished, 4);
    EXPECT_EQ(runner.finishedTiles.size(), 4u);
    EXPECT_NE(runner.worker[1], runner.worker[0]);
    EXPECT_EQ(runner.worker[1], runner.worker[2]);
    EXPECT_EQ(runner.slotOf[1], runner.slotOf[2]);
    EXPECT_NE(runner.slotOf[1], runner.slotOf[0]);
    // Made once and asked for again once before compositing, as always.
    EXPECT_EQ(host.fetches, 8);
}

// The caller's own work at the start runs while all slots but the last
// have their first tiles (and their second when every slot can have two):
// then the last slot's tiles follow, and every slot still gets work.
TEST(WorkerPool, TheLastSlotStartsAfterTheCallersOwnWork) {
    struct CopyingHost : FakeHost {
        int fetchedBefore = -1;
        int calls = 0;
        void whileFirstTilesRun() override {
            ++calls;
            fetchedBefore = fetches;
        }
    };
    struct Case {
        int processors, tiles, fetchedBefore;
    };
    for (const Case c : {Case{1, 24, 1}, Case{2, 24, 2}, Case{4, 24, 6}, Case{4, 8, 6},
                         Case{4, 7, 3}, Case{4, 3, 2}}) {
        CopyingHost host;
        RecordingRunner runner(host);
        const PoolRunStats stats = runJobs(kJobPatternTile, PixelRect{0, 0, 128, 128 * c.tiles},
                                           runner, &host, finalOptions(c.processors));
        EXPECT_EQ(host.calls, 1) << c.processors << " " << c.tiles;
        EXPECT_EQ(host.fetchedBefore, c.fetchedBefore) << c.processors << " " << c.tiles;
        EXPECT_EQ(stats.finished, c.tiles);
        EXPECT_EQ(runner.threadsStarted, stats.slots) << c.processors << " " << c.tiles;
    }
}

TEST(WorkerPool, CancelStopsNewTilesAndReportsCancelled) {
    for (int abortAfter : {0, 1, 5, 23}) {
        for (int processors : {1, 3}) {
            FakeHost host;
            host.abortAfter = abortAfter;
            RecordingRunner runner(host);
            const PoolRunStats stats = runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner,
                                               &host, finalOptions(processors));
            EXPECT_TRUE(stats.cancelled);
            EXPECT_EQ(host.code, -128);
            EXPECT_EQ(int(runner.finishedTiles.size()), abortAfter);
            EXPECT_EQ(stats.finished, stats.started);
        }
    }
}

TEST(WorkerPool, HostFailureEndsTheRunWithItsCode) {
    for (int failAt : {1, 2, 9, 48}) {
        FakeHost host;
        host.failFetchAt = failAt;
        host.failCode = -36;
        RecordingRunner runner(host);
        const PoolRunStats stats =
            runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host, finalOptions(2));
        EXPECT_EQ(host.code, -36);
        EXPECT_LT(int(runner.finishedTiles.size()), 24);
        EXPECT_EQ(stats.finished, stats.started);
    }
}

TEST(WorkerPool, PreviewNeverReportsProgressNorAsksForCancel) {
    FakeHost host;
    host.abortAfter = 0; // would cancel at once if asked
    RecordingRunner runner(host);
    PoolOptions preview;
    preview.renderTarget = 1;
    preview.passIndex = -1;
    runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host, preview);
    EXPECT_EQ(host.abortTests, 0);
    EXPECT_TRUE(host.progressCalls.empty());
    EXPECT_EQ(runner.finishedTiles.size(), 24u);
}

TEST(WorkerPool, FinalProgressStartsAtOnceAndStaysWithinRange) {
    FakeHost host;
    RecordingRunner runner(host);
    runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host, finalOptions(2));
    ASSERT_FALSE(host.progressCalls.empty());
    // The first finished tile reports at once: 1 of 24 done.
    EXPECT_EQ(host.progressCalls.front(), (std::pair<int32_t, int32_t>{1000 / 24 + 1, 1000}));
    for (auto [done, total] : host.progressCalls) {
        EXPECT_EQ(total, 1000);
        EXPECT_GE(done, 1);
        EXPECT_LE(done, 1001);
    }
}

// Whatever the number of slots (a slot's next tile starts before its last
// one is composited), the host sees the plain sequence: every tile asked
// for when it starts, in reading order, and once more right before it is
// composited, with no other tile asked for in between.
TEST(WorkerPool, EachTileIsCompositedRightAfterTheHostHandedItOverAgain) {
    struct Call {
        char kind; // 'f' fetch, 'c' composite
        PixelRect tile;
    };
    struct LoggingHost : FakeHost {
        std::vector<Call> log;
        int16_t fetchTile(const PixelRect& tile) override {
            log.push_back({'f', tile});
            return FakeHost::fetchTile(tile);
        }
    };
    struct LoggingRunner : RecordingRunner {
        LoggingHost& host;
        explicit LoggingRunner(LoggingHost& h) : RecordingRunner(h), host(h) {}
        void finish(TileJob& job) override {
            host.log.push_back({'c', job.splitter.tile});
            RecordingRunner::finish(job);
        }
    };
    TileSplitter split;
    ASSERT_TRUE(makeSplitter(PixelRect{0, 0, 300, 1000}, split));
    for (int processors : {1, 2, 3}) {
        LoggingHost host;
        LoggingRunner runner(host);
        runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host,
                finalOptions(processors));
        ASSERT_EQ(host.log.size(), 72u) << processors;
        std::vector<int> fetches(24, 0);
        int started = 0;
        for (size_t k = 0; k < host.log.size(); ++k) {
            const Call& call = host.log[k];
            int n = 0;
            while (n < 24 && !(jobRect(split, n) == call.tile)) ++n;
            ASSERT_LT(n, 24);
            if (call.kind == 'f') {
                // A first fetch starts the next tile in reading order.
                if (++fetches[size_t(n)] == 1) {
                    EXPECT_EQ(n, started++) << processors;
                }
                continue;
            }
            EXPECT_EQ(fetches[size_t(n)], 2) << processors << " tile " << n;
            ASSERT_GT(k, 0u);
            EXPECT_EQ(host.log[k - 1].kind, 'f') << processors << " tile " << n;
            EXPECT_EQ(host.log[k - 1].tile, call.tile) << processors << " tile " << n;
        }
    }
}

// A stock lends the buffers of earlier runs to the next one and gets them
// back at its end, none lost: with enough of them no tile needs new
// memory. One slot uses one buffer, each of several slots one or two.
TEST(WorkerPool, KeptBuffersServeEveryTileOfTheNextRun) {
    struct PointerRunner : RecordingRunner {
        using RecordingRunner::RecordingRunner;
        std::mutex seenMutex;
        std::vector<const FloatRGBA*> seen;
        void work(TileJob& job) override {
            std::lock_guard<std::mutex> lock(seenMutex);
            seen.push_back(job.buffer.data());
        }
        bool writesWholeTile() const override { return true; }
    };
    for (int processors : {1, 2, 4}) {
        TileBufferStock stock;
        std::vector<const FloatRGBA*> lent;
        for (TileBuffer& b : stock.buffers) {
            ASSERT_TRUE(b.allocate(PixelRect{0, 0, 128, 128}));
            lent.push_back(b.data());
        }
        FakeHost host;
        PointerRunner runner(host);
        PoolOptions options = finalOptions(processors);
        options.stock = &stock;
        runJobs(kJobPatternTile, PixelRect{0, 0, 300, 1000}, runner, &host, options);
        ASSERT_EQ(runner.seen.size(), 24u);
        std::vector<const FloatRGBA*> used = runner.seen;
        std::sort(used.begin(), used.end());
        used.erase(std::unique(used.begin(), used.end()), used.end());
        // Each slot starts with a tile of its own; which slot gets how many
        // later ones (and so needs its second buffer) depends on timing.
        EXPECT_GE(int(used.size()), processors) << processors;
        EXPECT_LE(int(used.size()), processors == 1 ? 1 : 2 * processors) << processors;
        for (const FloatRGBA* p : used)
            EXPECT_NE(std::find(lent.begin(), lent.end(), p), lent.end()) << processors;
        // Every buffer is back in the stock (a slot's two may swap places).
        std::vector<const FloatRGBA*> back;
        for (const TileBuffer& b : stock.buffers) back.push_back(b.data());
        std::sort(back.begin(), back.end());
        std::sort(lent.begin(), lent.end());
        EXPECT_EQ(back, lent) << processors;
    }
}

TEST(WorkerPool, EmptyAreaEndsAtOnce) {
    FakeHost host;
    RecordingRunner runner(host);
    const PoolRunStats stats =
        runJobs(kJobPatternTile, PixelRect{5, 5, 5, 100}, runner, &host, finalOptions(4));
    EXPECT_EQ(stats.jobs, 0);
    EXPECT_EQ(host.fetches, 0);
    EXPECT_TRUE(runner.events.empty());
}

TEST(PixelRect, SizesOfHostileRectanglesDoNotOverflow) {
    const PixelRect widest{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    EXPECT_EQ(widest.width(), int64_t{UINT32_MAX});
    EXPECT_EQ(widest.height(), int64_t{UINT32_MAX});
    EXPECT_FALSE(widest.empty());
    const PixelRect inverted{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    EXPECT_EQ(inverted.width(), -int64_t{UINT32_MAX});
    EXPECT_EQ(inverted.height(), -int64_t{UINT32_MAX});
    EXPECT_TRUE(inverted.empty());
    EXPECT_EQ((PixelRect{0, -1, 1, INT32_MAX}).width(), int64_t{INT32_MAX} + 1);
}

TEST(WorkerPool, SplitsEveryAreaItCanAddressAndRefusesTheRest) {
    struct Case {
        PixelRect area;
        bool splits;
        int32_t columns, jobs;
        PixelRect last; // the last job's tile, when there are jobs
    };
    constexpr int32_t kLastStart = INT32_MAX / 128 * 128; // 2147483520
    const Case cases[] = {
        // Empty and inverted areas split into nothing.
        {{5, 5, 5, 100}, true, 1, 0, {}},
        {{10, 10, 0, 0}, true, 0, 0, {}},
        {{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}, true, 0, 0, {}},
        // One pixel wide and INT32_MAX high, and the other way round: the
        // last tile ends exactly at INT32_MAX.
        {{0, 0, INT32_MAX, 1}, true, 1, 16777216, {kLastStart, 0, INT32_MAX, 1}},
        {{0, 0, 1, INT32_MAX}, true, 16777216, 16777216, {0, kLastStart, 1, INT32_MAX}},
        {{-7, INT32_MIN, -6, -1}, true, 16777216, 16777216, {0, kLastStart, 1, INT32_MAX}},
        // One pixel more than INT32_MAX in either direction.
        {{0, -1, 1, INT32_MAX}, false, 0, 0, {}},
        {{INT32_MIN, 0, 0, 1}, false, 0, 0, {}},
        {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, false, 0, 0, {}},
        // Each side fits, the tile count does not.
        {{0, 0, INT32_MAX, INT32_MAX}, false, 0, 0, {}},
        // 65536 columns: 32767 rows give 2147418112 jobs, 32768 rows 2^31.
        {{0, 0, 32767 * 128, 65536 * 128},
         true,
         65536,
         2147418112,
         {32766 * 128, 65535 * 128, 32767 * 128, 65536 * 128}},
        {{0, 0, 32768 * 128, 65536 * 128}, false, 0, 0, {}},
        {{0, 0, 32767 * 128 + 1, 65536 * 128}, false, 0, 0, {}},
    };
    for (const Case& c : cases) {
        TileSplitter s;
        s.jobs = -5; // whatever it held before
        EXPECT_EQ(makeSplitter(c.area, s), c.splits) << c.area.top << "," << c.area.left;
        EXPECT_EQ(s.columns, c.columns);
        EXPECT_EQ(s.jobs, c.jobs);
        if (c.jobs > 0) {
            EXPECT_EQ(jobRect(s, c.jobs - 1), c.last);
            const PixelRect first{0, 0, std::min<int32_t>(128, s.height),
                                  std::min<int32_t>(128, s.width)};
            EXPECT_EQ(jobRect(s, 0), first);
        }
        // No job number outside the run has a tile, whatever the splitter.
        for (int32_t n : {-1, c.jobs, INT32_MAX, INT32_MIN}) {
            EXPECT_TRUE(jobRect(s, n).empty()) << n;
        }
    }
}

TEST(WorkerPool, AnAreaThePoolCannotAddressRunsNothingAndIsABadParameter) {
    for (const PixelRect& area :
         {PixelRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
          PixelRect{0, 0, INT32_MAX, INT32_MAX}, PixelRect{0, -1, 1, INT32_MAX}}) {
        FakeHost host;
        RecordingRunner runner(host);
        const PoolRunStats stats = runJobs(kJobPatternTile, area, runner, &host, finalOptions(2));
        EXPECT_TRUE(stats.refused);
        EXPECT_EQ(stats.jobs, 0);
        EXPECT_EQ(stats.started, 0);
        EXPECT_EQ(host.code, kResultAreaRefused);
        EXPECT_EQ(host.code, -50);
        EXPECT_EQ(host.fetches, 0);
        EXPECT_EQ(host.abortTests, 0);
        EXPECT_TRUE(host.progressCalls.empty());
        EXPECT_TRUE(runner.events.empty());
        // Without a host (pyramid levels) the run is refused the same way.
        RecordingRunner alone(host);
        EXPECT_TRUE(runJobs(kJobPyramidLevel, area, alone, nullptr, finalOptions(2)).refused);
        EXPECT_TRUE(alone.events.empty());
    }
    // An area that can be addressed is not refused, however tall: here the
    // host fails the first fetch and the run ends after the started jobs.
    FakeHost host;
    host.failFetchAt = 1;
    host.failCode = -36;
    RecordingRunner runner(host);
    const PoolRunStats stats =
        runJobs(kJobPatternTile, PixelRect{0, 0, INT32_MAX, 1}, runner, &host, finalOptions(2));
    EXPECT_FALSE(stats.refused);
    EXPECT_EQ(stats.jobs, 16777216);
    EXPECT_EQ(host.code, -36);
    EXPECT_EQ(stats.finished, stats.started);
    EXPECT_LE(stats.started, 2);
    ASSERT_FALSE(host.fetched.empty());
    EXPECT_EQ(host.fetched.front(), (PixelRect{0, 0, 128, 1}));
}
