#include "render/pyramid_levels.h"

#include <algorithm>
#include <atomic>

#include "composite/picture/pyramid_image.h"
#include "composite/picture/pyramid_level_build.h"
#include "render/worker_pool.h"

namespace qf {

namespace {

struct LevelArguments {
    PyramidImage* image = nullptr;
    int32_t level = 0;
};

// Each job computes its tile of the next level; nothing is left for the
// main thread to do.
class LevelRunner : public JobRunner {
  public:
    void work(TileJob& job) override {
        const auto* args = static_cast<const LevelArguments*>(job.arguments);
        buildLevelTile(*args->image, args->level, job.splitter.tile);
        built.fetch_add(1, std::memory_order_relaxed);
    }
    void finish(TileJob&) override {}
    bool fetchesTiles() const override { return false; }

    std::atomic<int32_t> built{0};
};

} // namespace

bool buildLevels(PyramidImage& image, int32_t firstLevel, int32_t processors) {
    if (!image.hasStorage()) return false;
    PoolOptions options;
    options.renderTarget = 2;
    options.passIndex = -1;
    options.processors = processors;
    for (int32_t n = std::max(firstLevel, 0); n < image.lastLevel(); ++n) {
        const PixelRect area{0, 0, image.levelHeight(n + 1), image.levelWidth(n + 1)};
        LevelArguments args{&image, n};
        LevelRunner runner;
        const PoolRunStats stats = runJobs(kJobPyramidLevel, area, runner, nullptr, options, &args);
        // A job the pool could not make (memory) leaves its tile undone;
        // the level is then built here, whole, so the next level reads
        // complete pixels.
        if (runner.built.load() < stats.jobs) buildLevelTile(image, n, area);
    }
    image.setLevelsBuilt(true);
    return true;
}

} // namespace qf
