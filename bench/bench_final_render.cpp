// Megapixels per second of a final render of a 4096 x 4096 8-bit RGB
// document, driven through the entry point exactly as an editor drives it,
// on one processor and on all of them.
#include <sched.h>

#include <benchmark/benchmark.h>

#include "host/filter_host.h"
#include "plugin/plugin_entry.h"

namespace qf {}
using namespace qf;

namespace {

void entry(int16 selector, void* block, intptr_t* data, int16* result) {
    pluginEntry(selector, block, data, result);
}

// Limits this thread (and the workers it starts) to the first `n`
// processors; 0 restores all.
void useProcessors(int n) {
    cpu_set_t set;
    CPU_ZERO(&set);
    const int all = CPU_SETSIZE;
    for (int i = 0; i < (n > 0 ? n : all); ++i) CPU_SET(i, &set);
    sched_setaffinity(0, sizeof set, &set);
}

void finalRender(benchmark::State& state) {
    const int processors = int(state.range(0));
    const int complexity = int(state.range(1));
    const int32_t size = 4096;
    host::Document doc = host::Document::make(size, size, host::ColorModel::rgb, 8);
    doc.fill({128, 128, 128});
    host::FilterHost h(entry);
    host::Descriptor d;
    d.putInteger(fourCC("0009"), complexity);
    host::RunOptions run;
    run.descriptor = d;
    useProcessors(processors);
    for (auto _ : state) {
        const host::RunRecord r = h.run(doc, run);
        if (!r.ok()) state.SkipWithError("render failed");
    }
    useProcessors(0);
    state.counters["MP/s"] = benchmark::Counter(
        double(size) * size / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(finalRender)
    ->ArgNames({"processors", "complexity"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({0, 0})
    ->Args({1, 100})
    ->Args({0, 100})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

BENCHMARK_MAIN();
