// Time of one preview as the dialog asks for it: the default preview pane
// (546 x 447 less its 2-pixel inset) over a 4096 x 4096 8-bit RGB document,
// at the largest zoom level (the whole document fits the pane).
// previewRender times the render pass alone; dialogPreview what the dialog
// does after every change, the plane copy of the source and then the render
// pass. The in-test host copies at about the speed a host would.
//
// The time is real (wall-clock) time, what a person waits. Besides it the
// counters give the processor time of the whole process (all threads) and
// of the calling thread per preview: on a busy machine the real time grows
// with the load while those stay, and on an idle one the real time cannot
// fall below either the calling thread's time or the process time spread
// over the processors.
#include <sys/resource.h>
#include <time.h>

#include <benchmark/benchmark.h>

#include "tests/plugin/rate_host.h"

namespace qf {}
using namespace qf;

namespace {

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// User and system time of the whole process, in seconds.
double processSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// A host with the dialog's default pane over the document, its preview at
// the complexity the benchmark's argument names.
struct PreviewHost : qftest::RateHost {
    int32_t zoom;
    explicit PreviewHost(const benchmark::State& state)
        : RateHost(4096, 4096),
          // The smallest reduction at which the whole document fits the pane.
          zoom(std::max((4096 + 541) / 542, (4096 + 442) / 443)) {
        ctx.previewPane = PixelRect{0, 0, 447 - 4, 546 - 4};
        settings.previewZoom = zoom;
        settings.complexity = int32_t(state.range(0));
    }
};

template <class Step> void timePreviews(benchmark::State& state, PreviewHost& host, Step step) {
    const double process0 = processSeconds();
    const double thread0 = threadSeconds();
    for (auto _ : state) {
        step();
        if (host.result != 0) state.SkipWithError("preview failed");
    }
    const double runs = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["process_cpu_ms"] = (processSeconds() - process0) * 1e3 / runs;
    state.counters["caller_cpu_ms"] = (threadSeconds() - thread0) * 1e3 / runs;
    state.counters["zoom"] = host.zoom;
    state.counters["pixels"] = double(host.ctx.previewWidth) * host.ctx.previewHeight;
}

void previewRender(benchmark::State& state) {
    PreviewHost host(state);
    readPreviewSource(host.call);
    timePreviews(state, host, [&] { renderPreviewPass(host.call); });
}

void dialogPreview(benchmark::State& state) {
    PreviewHost host(state);
    timePreviews(state, host, [&] { renderPreview(host.call); });
}

} // namespace

BENCHMARK(previewRender)
    ->ArgName("complexity")
    ->Arg(0)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(dialogPreview)
    ->ArgName("complexity")
    ->Arg(0)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
