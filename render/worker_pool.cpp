#include "render/worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "platform/clock.h"
#include "platform/completion_queue.h"
#include "platform/event.h"
#include "platform/processor_count.h"
#include "platform/thread.h"
#include "render/render_host.h"

namespace qf {

bool makeSplitter(const PixelRect& area, TileSplitter& splitter) {
    splitter = TileSplitter{};
    const int64_t width = std::max<int64_t>(0, area.width());
    const int64_t height = std::max<int64_t>(0, area.height());
    const int64_t columns = (width + kTileSize - 1) / kTileSize;
    const int64_t rows = (height + kTileSize - 1) / kTileSize;
    // Tile rectangles are in area coordinates and job numbers are int32:
    // an area beyond either is refused rather than split wrongly.
    if (width > INT32_MAX || height > INT32_MAX || columns * rows > INT32_MAX) {
        return false;
    }
    splitter.area = area;
    splitter.width = static_cast<int32_t>(width);
    splitter.height = static_cast<int32_t>(height);
    splitter.tileSize = kTileSize;
    splitter.columns = static_cast<int32_t>(columns);
    splitter.jobs = static_cast<int32_t>(columns * rows);
    return true;
}

PixelRect jobRect(const TileSplitter& s, int32_t n) {
    if (s.columns <= 0 || s.tileSize <= 0 || n < 0 || n >= s.jobs) {
        return PixelRect{};
    }
    const int64_t t = s.tileSize;
    const int64_t cols = s.columns;
    const int64_t rows = (int64_t{s.height} + t - 1) / t;
    const int64_t col = n % cols;
    const int64_t row = n / cols;
    const int64_t left = col * t;
    const int64_t top = row * t;
    // The last column and row take what is left of the area.
    const int64_t right = col == cols - 1 ? s.width : left + t;
    const int64_t bottom = row == rows - 1 ? s.height : top + t;
    return PixelRect{static_cast<int32_t>(top), static_cast<int32_t>(left),
                     static_cast<int32_t>(bottom), static_cast<int32_t>(right)};
}

namespace {

struct Pool;

// A slot's worker lives for the whole run and works on one tile at a time,
// in the order the main thread hands them over. Where there are several
// slots, each is handed its next tile before it is done with the last, so
// that it goes on at once instead of waiting for the main thread to take
// in what it did. (Starting a thread per tile cost as much as a tenth of a
// large render on small machines; waiting for the next tile, a tenth of a
// preview on virtual machines that are slow to wake a thread.)
struct Slot {
    int index = 0;
    Pool* pool = nullptr;
    AutoResetEvent start;
    Thread thread;
    // The slot's tiles from startJob until finishJob, oldest first (main
    // thread only): `queued` only while the slot works ahead.
    TileJob* job = nullptr;
    TileJob* queued = nullptr;
    // The slot's pattern buffers, one lent to each of its tiles (main
    // thread only).
    TileBuffer buffer;
    TileBuffer spare;
    // One of the two, lent out; and a buffer given back to the slot.
    TileBuffer& lendable() { return buffer.valid() ? buffer : spare; }
    TileBuffer& emptyPlace() { return buffer.valid() ? spare : buffer; }
    // Tiles handed over and not yet taken: the slot's n-th tile waits in
    // handed[n % 2]. At most two are handed and not yet finished, so an
    // entry is free again when its turn comes.
    std::atomic<TileJob*> handed[2] = {nullptr, nullptr};
    int32_t handedCount = 0;            // main thread
    std::atomic<int32_t> takenCount{0}; // the slot's worker (see takeHanded)
    // Tiles worked on, counted before each is posted: the completion queue
    // keeps one entry per slot, and a slot may finish its next tile before
    // the main thread takes the entry of the last.
    std::atomic<int32_t> worked{0};
    int32_t finishedCount = 0; // main thread
    // Set by the main thread before its last signal: the worker ends.
    std::atomic<bool> quit{false};
    // Set by a worker whose wait failed, before it takes the tiles still
    // handed to it: it has ended and the slot needs a new thread.
    std::atomic<bool> ended{false};
};

struct Pool {
    int32_t kind = kJobNone;
    JobRunner* runner = nullptr;
    RenderHost* host = nullptr;
    PoolOptions options;
    void* arguments = nullptr;
    TileSplitter splitter;
    CompletionQueue done;
    int32_t total = 0;
    int32_t started = 0;
    int32_t finished = 0;
    int32_t slots = 0;
    Slot* slotArray = nullptr; // the run's slots, `slots` of them
    bool running = false;
    bool cancelled = false;
    // A host failure other than a cancel also ends the run at the next
    // job boundary.
    bool stopped = false;
    uint64_t lastProgress = 0;

    bool ended() const { return cancelled || stopped; }
    int16_t result() const { return host ? host->result() : 0; }
};

void outOfMemory(Pool& pool) {
    pool.stopped = true;
    if (pool.host && pool.host->result() == 0) pool.host->result() = kResultOutOfMemory;
}

// Pattern tiles compute into a buffer of their own; level jobs work on the
// picture directly.
bool readyToWork(const TileJob& job) {
    if (job.kind == kJobNone) return false;
    return job.kind != kJobPatternTile || job.buffer.valid();
}

void freeJob(TileJob* job) {
    delete job;
}

void workOn(Slot& slot, TileJob* job) {
    if (readyToWork(*job)) slot.pool->runner->work(*job);
    slot.worked.fetch_add(1);
    slot.pool->done.post(slot.index);
}

// The next tile handed to the slot, taken; null when none is waiting. Only
// the slot's worker calls it, or the main thread when the slot has none.
TileJob* takeHanded(Slot& slot) {
    const int32_t n = slot.takenCount.load();
    TileJob* job = slot.handed[n % 2].exchange(nullptr);
    if (job) slot.takenCount.store(n + 1);
    return job;
}

void jobThread(void* argument) {
    Slot& slot = *static_cast<Slot*>(argument);
    for (;;) {
        if (TileJob* job = takeHanded(slot)) {
            workOn(slot, job);
            continue;
        }
        if (slot.start.wait() != 0) {
            // A worker that cannot wait any more ends; it still does the
            // tiles it was handed (see handOver).
            slot.ended = true;
            while (TileJob* job = takeHanded(slot)) workOn(slot, job);
            return;
        }
        if (slot.quit) return;
    }
}

// Gives `job` to the slot's worker, starting one when the slot has none.
// When no thread can be had, the main thread does the slot's waiting tiles
// itself, so that the picture is still complete.
void handOver(Slot& slot, TileJob* job) {
    job->status = 0;
    slot.handed[slot.handedCount % 2] = job;
    slot.handedCount += 1;
    if (slot.start.set() != 0) job->status = -2;
    if (slot.ended) {
        // Its worker has ended, having done what it took.
        slot.thread.join();
        slot.ended = false;
    }
    if (slot.thread.joinable() || slot.takenCount.load() == slot.handedCount) return;
    // Slot i's worker begins i + 1 processors on from this thread's, so
    // that the workers start side by side and the last shares a processor
    // with this thread, which mostly waits.
    if (slot.thread.start(jobThread, &slot, kWorkerStackSize, slot.index + 1) == 0) return;
    slot.start.reset();
    while (TileJob* left = takeHanded(slot)) workOn(slot, left);
}

// Asks the host for a pattern tile's rectangle, as the tile's start does;
// a failure ends the run at the next job boundary.
void fetchStarted(Pool& pool, const TileJob& job) {
    if (pool.runner->fetchesTiles() && pool.host && pool.host->fetchTile(job.splitter.tile) != 0)
        pool.stopped = true;
}

// Makes job n and hands it to the thread of `slot`, as the slot's newest
// tile. False when the job could not be made; it then counts as finished so
// the run still reaches its end.
bool startJob(Pool& pool, int32_t n, Slot& slot) {
    pool.started += 1;
    auto* job = new (std::nothrow) TileJob;
    if (!job) {
        // A tile that cannot be made would leave a hole in the picture:
        // the run ends as out of memory, never as a success.
        pool.finished += 1;
        outOfMemory(pool);
        return false;
    }
    job->kind = pool.kind;
    job->splitter = pool.splitter;
    job->splitter.jobIndex = n;
    job->splitter.tile = jobRect(pool.splitter, n);
    job->arguments = pool.arguments;
    job->slot = slot.index;
    if (job->kind == kJobPatternTile) {
        job->buffer = std::move(slot.lendable());
        if (job->buffer.reuseFor(job->splitter.tile, !pool.runner->writesWholeTile())) {
            job->splitter.bufferWidth = job->buffer.bufferWidth();
            job->splitter.bufferHeight = job->buffer.bufferHeight();
        } else {
            outOfMemory(pool);
        }
        fetchStarted(pool, *job);
    }
    (slot.job ? slot.queued : slot.job) = job;
    handOver(slot, job);
    return true;
}

// Starts the next job that can be made in `slot`, skipping those that
// cannot.
void startNextJob(Pool& pool, Slot& slot) {
    while (pool.started < pool.total && !pool.ended())
        if (startJob(pool, pool.started, slot)) return;
}

void reportProgress(Pool& pool) {
    if (pool.options.passIndex < 1 || !pool.host) return;
    const uint64_t now = monotonicMilliseconds();
    if (now - pool.lastProgress < 500) return;
    pool.lastProgress = now;
    const int32_t passCount = std::max(pool.options.passCount, 1);
    const double x = (double(pool.options.passIndex - 1) * pool.total + pool.finished) /
                     (double(passCount) * pool.total);
    // Final renders report one more than the fraction done, which would
    // reach 1001 at the end: progress never passes its total.
    if (pool.options.renderTarget == 0)
        pool.host->progress(std::min(int32_t(x * 1000.0) + 1, 1000), 1000);
    else if (pool.options.renderTarget == 2)
        pool.host->progress(std::min(int32_t(x * 1000.0), 1000), 1000);
}

// Whether each slot is handed its next pattern tile before it is done with
// the last (see Slot): the tile the main thread composites is then never
// the one a worker waits on. With one slot the tiles go strictly in turn.
bool worksAhead(const Pool& pool) {
    return pool.kind == kJobPatternTile && pool.slots > 1;
}

// Tells the slot's worker to end: it is handed no more tiles. A worker
// whose slot runs dry before the run's last tile ends meanwhile, so that
// the run's end waits for none of them.
void endWorker(Slot& slot) {
    if (!slot.thread.joinable() || slot.quit) return;
    slot.quit = true;
    slot.start.set();
}

// Near the run's end a slot that has nothing left may sit idle while a
// tile waits behind another slot's current one: that tile moves to the idle
// slot's worker. It was made and asked for already, so the host sees no
// change; only its worker differs. Taken back from the busy slot only if
// its worker has not taken it meanwhile (the exchange decides).
void takeOverWaitingTile(Pool& pool, Slot& idle) {
    if (pool.ended()) return;
    for (int32_t i = 0; i < pool.slots; ++i) {
        Slot& busy = pool.slotArray[i];
        TileJob* job = busy.queued;
        if (&busy == &idle || !job || busy.takenCount.load() != busy.handedCount - 1) continue;
        if (busy.handed[(busy.handedCount - 1) % 2].exchange(nullptr) != job) continue;
        busy.queued = nullptr;
        busy.handedCount -= 1;
        // The job's buffer was the busy slot's: the idle one lends it one
        // of its own in return, so each slot keeps two.
        if (idle.lendable().valid()) busy.emptyPlace() = std::move(idle.lendable());
        job->slot = idle.index;
        idle.job = job;
        handOver(idle, job);
        return;
    }
}

// A host result other than 0 ends the run: as cancelled for -128.
void takeNoteOfResult(Pool& pool) {
    if (pool.result() == kResultCancelled)
        pool.cancelled = true;
    else if (pool.result() != 0)
        pool.stopped = true;
}

// Takes in the slot's oldest tile, which its worker is done with: fetches
// it again and composites it, then gives the slot its next tile. The host
// thus sees the plain sequence: each tile asked for when it is made, in
// reading order, and again right before it is composited.
void finishJob(Pool& pool, Slot& slot) {
    TileJob* job = slot.job;
    slot.job = slot.queued;
    slot.queued = nullptr;
    slot.finishedCount += 1;
    // Final and export renders can be cancelled by the user between
    // tiles; the preview is the dialog's and stops on its own terms.
    const bool cancellable = pool.options.renderTarget == 0 || pool.options.renderTarget == 2;
    if (cancellable && pool.host && pool.host->result() == 0 && pool.host->testAbort()) {
        pool.cancelled = true;
        pool.host->result() = kResultCancelled;
    }
    takeNoteOfResult(pool);

    if (job && job->kind != kJobNone && !pool.ended()) {
        bool ready = true;
        if (pool.runner->fetchesTiles() && pool.host && pool.options.renderTarget != 2) {
            if (pool.host->fetchTile(job->splitter.tile) != 0) {
                ready = false;
                pool.stopped = true;
                if (pool.result() == kResultCancelled) pool.cancelled = true;
            }
        }
        if (ready && readyToWork(*job)) pool.runner->finish(*job);
    }
    if (job) slot.emptyPlace() = std::move(job->buffer);
    freeJob(job);

    startNextJob(pool, slot);
    // A slot left without a tile here has none left to make (startNextJob
    // stops only at the last tile or the run's end).
    if (!slot.job) takeOverWaitingTile(pool, slot);
    if (!slot.job) endWorker(slot);
    pool.finished += 1;
    if (pool.finished >= pool.total || (pool.ended() && pool.finished >= pool.started))
        pool.running = false;
    reportProgress(pool);
}

// Hands each slot its first tile and, where slots work ahead, its next,
// around the starting thread's own work (the dialog's source copy). The
// last slot waits until that work is done: one busy thread per processor
// meanwhile, so that none is queued behind another while a processor
// idles. The others get their second tile before it too when there are
// tiles enough for every slot to get two.
void startFirstTiles(Pool& pool) {
    const int32_t slots = pool.slots;
    const int32_t early = pool.host && slots > 1 ? slots - 1 : slots;
    const bool ahead = worksAhead(pool);
    const bool earlyAhead = ahead && pool.total >= 2 * slots;
    for (int32_t i = 0; i < early; ++i) startNextJob(pool, pool.slotArray[i]);
    for (int32_t i = 0; earlyAhead && i < early; ++i) startNextJob(pool, pool.slotArray[i]);
    if (pool.host && pool.started > 0 && !pool.ended()) {
        pool.host->whileFirstTilesRun();
        // A failure there starts no more tiles (the next fetch would answer
        // over it).
        takeNoteOfResult(pool);
    }
    for (int32_t i = early; i < slots; ++i) startNextJob(pool, pool.slotArray[i]);
    for (int32_t i = earlyAhead ? early : 0; ahead && i < slots; ++i)
        startNextJob(pool, pool.slotArray[i]);
}

} // namespace

PoolRunStats runJobs(int32_t kind, const PixelRect& area, JobRunner& runner, RenderHost* host,
                     const PoolOptions& options, void* arguments) {
    Pool pool;
    pool.kind = kind;
    pool.runner = &runner;
    pool.host = host;
    pool.options = options;
    pool.arguments = arguments;
    pool.lastProgress = monotonicMilliseconds() - 1000;

    PoolRunStats stats;
    if (!makeSplitter(area, pool.splitter)) {
        // No host hands out such an area: report it as a bad parameter
        // (not as out of memory, which would suggest closing other work).
        stats.refused = true;
        if (host) host->result() = kResultAreaRefused;
        return stats;
    }
    pool.total = pool.splitter.jobs;
    stats.jobs = pool.total;
    if (pool.total <= 0) return stats;

    int32_t slots = options.processors > 0 ? options.processors : processorCount();
    if (slots < 1) slots = 1;
    slots = std::min({slots, pool.total, kMaxSlots});
    stats.slots = slots;

    auto slotArray = std::unique_ptr<Slot[]>(new (std::nothrow) Slot[size_t(slots)]);
    if (!slotArray || pool.done.create(slots) != 0) {
        if (host) host->result() = kResultOutOfMemory;
        return stats;
    }
    int32_t usable = 0;
    for (int32_t i = 0; i < slots; ++i) {
        slotArray[size_t(i)].index = i;
        slotArray[size_t(i)].pool = &pool;
        if (slotArray[size_t(i)].start.create() != 0) break;
        usable = i + 1;
    }
    if (usable == 0) {
        if (host) host->result() = kResultOutOfMemory;
        return stats;
    }
    pool.slots = usable;
    pool.slotArray = slotArray.get();
    // Buffers of earlier runs: two a slot, in the slots' order.
    TileBufferStock* stock = options.stock;
    for (int32_t k = 0; stock && k < TileBufferStock::kKept && k / 2 < usable; ++k) {
        Slot& slot = slotArray[size_t(k / 2)];
        (k % 2 == 0 ? slot.buffer : slot.spare) = std::move(stock->buffers[k]);
    }

    startFirstTiles(pool);
    pool.running = pool.finished < pool.total && !(pool.ended() && pool.finished >= pool.started);
    while (pool.running) {
        int slotIndex = -1;
        if (pool.done.wait(slotIndex) != 0 || slotIndex < 0 || slotIndex >= usable) break;
        Slot& slot = slotArray[size_t(slotIndex)];
        while (pool.running && slot.finishedCount < slot.worked.load()) finishJob(pool, slot);
    }
    // Every worker has posted before the loop ends (a straggler only after
    // a failed wait): all are told to end, then each is joined before the
    // slots go.
    for (int32_t i = 0; i < usable; ++i) endWorker(slotArray[size_t(i)]);
    for (int32_t i = 0; i < usable; ++i) {
        Slot& slot = slotArray[size_t(i)];
        slot.thread.join();
        freeJob(slot.job);
        freeJob(slot.queued);
        slot.job = nullptr;
        slot.queued = nullptr;
        for (int32_t k = 2 * i; stock && k < 2 * i + 2 && k < TileBufferStock::kKept; ++k)
            stock->buffers[k] = std::move(k % 2 == 0 ? slot.buffer : slot.spare);
    }

    stats.started = pool.started;
    stats.finished = pool.finished;
    stats.cancelled = pool.cancelled;
    return stats;
}

} // namespace qf
