// Cost of compositing one pixel into an 8-bit RGB host tile, per glue mode:
// one compositePixel call per pixel, and the whole tile in one
// compositeBlock call (what a finished render tile takes). The
// time_per_pixel counter is the time per pixel.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "composite/composite_pixel.h"
#include "composite/glue_modes.h"

namespace qf {}
using namespace qf;

namespace {

constexpr int32_t kSide = 128; // one full tile

void compositeTile(benchmark::State& state, bool wholeTile) {
    const int32_t mode = int32_t(state.range(0));
    std::vector<uint8_t> in(size_t(kSide) * kSide * 3);
    std::vector<uint8_t> out(in.size());
    std::vector<FloatRGBA> generated(size_t(kSide) * kSide);

    // Fixed pseudo-random pixels: some generated channels above 1 and some
    // alphas below 1, so overflow spreading and transparency are exercised.
    uint32_t seed = 12345;
    const auto next = [&seed]() {
        seed = seed * 214013u + 2531011u;
        return float((seed >> 16) & 0x7FFF) / 32767.0f;
    };
    for (uint8_t& v : in) v = uint8_t(next() * 255.0f);
    for (FloatRGBA& g : generated) g = {next() * 1.1f, next(), next(), 0.6f + next() * 0.5f};

    CompositeTarget target;
    target.renderTarget = 0;
    target.glue = mode;
    target.depth = DepthClass::Eight;
    target.inData = in.data();
    target.inRowBytes = kSide * 3;
    target.inPlaneCount = 3;
    target.outData = out.data();
    target.outRowBytes = kSide * 3;
    target.planes = 3;
    target.outWidth = kSide;
    target.outHeight = kSide;
    const PixelRect rect{0, 0, kSide, kSide};

    for (auto _ : state) {
        if (wholeTile) {
            compositeBlock(target, generated.data(), kSide, rect);
        } else {
            const FloatRGBA* g = generated.data();
            for (int32_t y = 0; y < kSide; ++y) {
                for (int32_t x = 0; x < kSide; ++x) {
                    FloatRGBA colour = *g++;
                    compositePixel(target, x, y, &colour, rect, 1);
                }
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["time_per_pixel"] =
        benchmark::Counter(double(kSide) * kSide, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

void compositeEachPixel(benchmark::State& state) {
    compositeTile(state, false);
}

void compositeWholeTile(benchmark::State& state) {
    compositeTile(state, true);
}

// A few modes of each kind: fixed point, soft light, a hue model, the colour
// tables.
void glueModes(benchmark::internal::Benchmark* b) {
    b->ArgName("glue");
    for (int32_t mode : {kGlueNormal, kGlueMultiply, kGlueSoftLight, kGlueColor, kGlueParietal})
        b->Arg(mode);
}

} // namespace

BENCHMARK(compositeEachPixel)->Apply(glueModes);
BENCHMARK(compositeWholeTile)->Apply(glueModes);

BENCHMARK_MAIN();
