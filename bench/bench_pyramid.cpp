// Pictures: building the coarser levels of a 4096 x 4096 8-bit RGBA picture
// on one processor and on all of them, and the cost of one filtered sample
// (the fast path inside a tile, and a mix of every path across the picture).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "composite/picture/pyramid_image.h"
#include "platform/processor_count.h"
#include "render/pyramid_levels.h"

namespace qf {}
using namespace qf;

namespace {

constexpr int32_t kSide = 4096;

void fill(PyramidImage& image) {
    uint32_t seed = 12345;
    for (int32_t y = 0; y < image.levelHeight(0); ++y)
        for (int32_t x = 0; x < image.levelWidth(0); ++x) {
            seed = seed * 214013u + 2531011u;
            const uint32_t word = seed ^ (uint32_t(x) << 8) ^ (uint32_t(y) << 20);
            std::memcpy(image.pixelAddress(x, y, 0), &word, 4);
        }
}

PyramidImage& sharedPicture() {
    static PyramidImage image;
    if (!image.hasStorage()) {
        createImage(&image, kSide, kSide, kPyramidRGBA8, kPyramidClamp, false);
        fill(image);
        buildLevels(image, 0);
    }
    return image;
}

// Argument: processors (0 = all the system reports).
void buildLevelsRGBA8(benchmark::State& state) {
    PyramidImage& image = sharedPicture();
    const int32_t processors = int32_t(state.range(0));
    for (auto _ : state) buildLevels(image, 0, processors);
    int64_t pixels = 0;
    for (int32_t n = 1; n <= image.lastLevel(); ++n)
        pixels += int64_t(image.levelWidth(n)) * image.levelHeight(n);
    state.counters["processors"] = processors > 0 ? processors : processorCount();
    state.counters["output_Mpixel_per_s"] = benchmark::Counter(
        double(pixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(buildLevelsRGBA8)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same work on the calling thread alone (no pool), for a CPU time that
// is not blurred by other processes.
void buildLevelsHereRGBA8(benchmark::State& state) {
    PyramidImage& image = sharedPicture();
    for (auto _ : state) buildLevelsHere(image, 0);
    int64_t pixels = 0;
    for (int32_t n = 1; n <= image.lastLevel(); ++n)
        pixels += int64_t(image.levelWidth(n)) * image.levelHeight(n);
    state.counters["output_Mpixel_per_s"] = benchmark::Counter(
        double(pixels) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(buildLevelsHereRGBA8)->Unit(benchmark::kMillisecond);

// Argument: level. Positions walk through the middle of the picture, where
// windows lie inside one tile except at the seams.
void sampleFilteredRGBA8(benchmark::State& state) {
    const PyramidImage& image = sharedPicture();
    const int32_t level = int32_t(state.range(0));
    float u = 0.25f, v = 0.3f;
    for (auto _ : state) {
        const FloatRGBA c = image.sampleFiltered(level, 0.0f, u, v);
        benchmark::DoNotOptimize(c);
        u += 0.000731f;
        if (u > 0.75f) {
            u = 0.25f;
            v += 0.00137f;
            if (v > 0.7f) v = 0.3f;
        }
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(sampleFilteredRGBA8)->Arg(0)->Arg(3);

// With a level fraction (two levels per sample) and positions across the
// whole picture including its edges.
void sampleFilteredMixed(benchmark::State& state) {
    const PyramidImage& image = sharedPicture();
    uint32_t seed = 7;
    for (auto _ : state) {
        seed = seed * 214013u + 2531011u;
        const float u = float((seed >> 8) & 0xFFFF) / 65535.0f;
        const float v = float(seed & 0xFFFF) / 65535.0f;
        const FloatRGBA c = image.sampleFiltered(1, 0.4f, u, v);
        benchmark::DoNotOptimize(c);
    }
    state.counters["samples_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(sampleFilteredMixed);

} // namespace

BENCHMARK_MAIN();
