// The worker pool: an area is cut into tiles of at most 128 x 128 pixels,
// each computed on a thread of its own (at most one per processor and 100 in
// all), while the starting thread does everything that talks to the host or
// the render target: fetching tiles, compositing finished ones, progress and
// cancellation.
#pragma once

#include <cstdint>

#include "render/tile_buffer.h"
#include "values/pixel_types.h"
#include "values/result_codes.h"

namespace qf {

class RenderHost;

constexpr int32_t kTileSize = 128;
constexpr int32_t kMaxSlots = 100;

// Job kinds.
constexpr int32_t kJobPatternTile = 2;
constexpr int32_t kJobPyramidLevel = -1000;
constexpr int32_t kJobPyramidLevelWrap = -1001;
constexpr int32_t kJobNone = 999;

struct TileSplitter {
    int32_t width = 0;
    int32_t height = 0;
    int32_t columns = 0;
    int32_t jobs = 0;
    int32_t jobIndex = 0;
    int32_t bufferWidth = 0;  // tile width + 2
    int32_t bufferHeight = 0; // tile height + 2
    int32_t splitType = 0;    // square tiles
    PixelRect area{};
    PixelRect tile{}; // area coordinates, (0, 0) at the area's top-left
    int32_t tileSize = kTileSize;
};

// The host result code of a run refused because its area cannot be split:
// the host's "bad parameter" error, since no real image has such an area.
constexpr int16_t kResultAreaRefused = kResultBadRequest;

// Sets up `splitter` for `area` with square tiles; an inverted area counts
// as empty (no jobs). Sizes are worked out in 64 bits. False, with an empty
// splitter, when the pool cannot address the area: its width or height does
// not fit the splitter's 32-bit fields, or it has more than INT32_MAX tiles.
bool makeSplitter(const PixelRect& area, TileSplitter& splitter);
// The rectangle of job n, in reading order; empty for an n that is not a job
// of the splitter.
PixelRect jobRect(const TileSplitter& splitter, int32_t n);

struct TileJob {
    int32_t kind = kJobNone;
    int32_t status = -1; // -1 starting, 0 started, -2 start signal failed
    TileSplitter splitter;
    TileBuffer buffer;         // invalid when it could not be had: the tile is then left alone
    void* arguments = nullptr; // pass-through for the job kind's work
    int32_t slot = -1;         // the slot whose thread works on it (0 .. slots - 1)
};

// The work of one kind of job.
class JobRunner {
  public:
    virtual ~JobRunner() = default;
    // Worker thread: computes into the job's own buffer only.
    virtual void work(TileJob& job) = 0;
    // Main thread, after the worker is done and the tile was fetched again.
    virtual void finish(TileJob& job) = 0;
    // Whether the job's tile is requested from the host when the job is made
    // and again before finish (pattern tiles of final and preview renders).
    virtual bool fetchesTiles() const = 0;
    // Whether work() writes every pixel of a pattern tile's buffer, so that
    // the pool need not clear its inside before handing it over.
    virtual bool writesWholeTile() const { return false; }
};

// Pattern buffers kept from one run to the next: the dialog renders a
// preview after every change, and fresh buffers cost the system's page
// faults on every run. A run borrows up to kKept of them (two a slot) and
// gives them back at its end. Main thread only.
struct TileBufferStock {
    static constexpr int32_t kKept = 8;
    TileBuffer buffers[kKept];
};

struct PoolOptions {
    int32_t renderTarget = 0; // 0 final, 1 preview, 2 image
    int32_t passIndex = -1;   // progress only when at least 1
    int32_t passCount = 1;
    int32_t processors = 0; // 0: ask the system
    TileBufferStock* stock = nullptr;
};

// Statistics of the last run, for tests and benchmarks.
struct PoolRunStats {
    int32_t jobs = 0;
    int32_t started = 0;
    int32_t finished = 0;
    int32_t slots = 0;
    bool cancelled = false;
    bool refused = false; // the area could not be split: nothing ran
};

// Runs every tile of `area` and returns when all started jobs are finished.
// An area the splitter refuses runs nothing and sets the host result to
// kResultAreaRefused.
PoolRunStats runJobs(int32_t kind, const PixelRect& area, JobRunner& runner, RenderHost* host,
                     const PoolOptions& options, void* arguments = nullptr);

} // namespace qf
