// Nanoseconds per pixel of renderTile on one thread, for 128 x 128 tiles.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "render/generator_setup.h"
#include "render/tile_buffer.h"
#include "render/tile_renderer.h"
#include "values/settings_record.h"

namespace qf {}
using namespace qf;

namespace {

SettingsRecord defaults() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    resetSettings(s);
    return s;
}

void renderTiles(benchmark::State& state, const SettingsRecord& s) {
    const PixelRect area{0, 0, 1024, 1024};
    auto gen = std::make_unique<GeneratorState>();
    if (prepareGenerator(*gen, s, area) != kGeneratorReady) {
        state.SkipWithError("generator setup failed");
        return;
    }
    TileBuffer buffer;
    int32_t tile = 0;
    for (auto _ : state) {
        // Walk over the area so the cost is not that of one lucky spot.
        const int32_t left = (tile % 8) * 128;
        const int32_t top = (tile / 8 % 8) * 128;
        ++tile;
        buffer.allocate(PixelRect{top, left, top + 128, left + 128});
        renderTile(s, *gen, buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["ns_per_pixel"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 128 * 128,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_RenderTileDefaults(benchmark::State& state) {
    renderTiles(state, defaults());
}

void BM_RenderTileComplexity100(benchmark::State& state) {
    SettingsRecord s = defaults();
    s.complexity = 100;
    renderTiles(state, s);
}

// Small cells: the home cell changes every few pixels.
void BM_RenderTileZoom0(benchmark::State& state) {
    SettingsRecord s = defaults();
    s.zoom = 0;
    renderTiles(state, s);
}

// The dialog's preview of a large document: every tenth pixel, so a cell
// is 20 pixels wide and the points are painted by cell.
void BM_RenderTilePreviewComplexity100(benchmark::State& state) {
    SettingsRecord s = defaults();
    s.complexity = 100;
    s.previewZoom = 10;
    renderTiles(state, s);
}

void BM_RenderTileCirclesFullOverlap(benchmark::State& state) {
    SettingsRecord s = defaults();
    s.shape = 1;
    s.overlap = 100;
    s.complexity = 100;
    renderTiles(state, s);
}

} // namespace

BENCHMARK(BM_RenderTileDefaults)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderTileComplexity100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderTileZoom0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderTilePreviewComplexity100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderTileCirclesFullOverlap)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
