// Time of one preview render as the dialog asks for it: the default preview
// pane (546 x 447 less its 2-pixel inset) over a 4096 x 4096 8-bit RGB
// document, at the largest zoom level (the whole document fits the pane).
#include <benchmark/benchmark.h>

#include "tests/plugin/rate_host.h"

namespace qf {}
using namespace qf;

namespace {

void previewRender(benchmark::State& state) {
    qftest::RateHost host(4096, 4096);
    host.ctx.previewPane = PixelRect{0, 0, 447 - 4, 546 - 4};
    // The smallest reduction at which the whole document fits the pane.
    const int32_t zoom = std::max((4096 + 541) / 542, (4096 + 442) / 443);
    host.settings.previewZoom = zoom;
    host.settings.complexity = int32_t(state.range(0));
    readPreviewSource(host.call);
    for (auto _ : state) {
        renderPreviewPass(host.call);
        if (host.result != 0) state.SkipWithError("preview failed");
    }
    state.counters["zoom"] = zoom;
    state.counters["pixels"] = double(host.ctx.previewWidth) * host.ctx.previewHeight;
}

} // namespace

BENCHMARK(previewRender)
    ->ArgName("complexity")
    ->Arg(0)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
