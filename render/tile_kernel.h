// The inner loop of the tile renderer, compiled once per lane width, and the
// choice of width at run time.
//
// The loop exists as one SSE2, one AVX2 and one AVX-512 build
// (pattern_kernel_sse2.cpp, pattern_kernel_avx2.cpp,
// pattern_kernel_avx512.cpp); all give every pixel the same bits. A wide
// build runs only on processors (and systems) that have its instructions;
// the environment variable QUILLFIRE_SIMD (sse2 or avx2) forces a narrower
// width for tests and benchmarks.
#pragma once

#include <cstdint>

#include "render/noise_field.h"
#include "values/pixel_types.h"

namespace qf {

enum class SimdWidth : int32_t { sse2 = 4, avx2 = 8, avx512 = 16 };

// Whether this processor and system can run the AVX2 build.
bool processorHasAvx2();
// Whether this processor and system can run the AVX-512 build.
bool processorHasAvx512();

// The widest width this processor and system run, up to `width`.
SimdWidth runnableWidth(SimdWidth width);

// The width renders use: the narrower width QUILLFIRE_SIMD names (the
// widest this processor runs up to it), otherwise the widest this
// processor runs. Read once per process.
SimdWidth activeSimdWidth();

// "sse2", "avx2" or "avx512".
const char* simdWidthName(SimdWidth width);

// Everything one tile's loop needs, with plain pointers only (the width
// builds share no inline code with the rest of the renderer).
struct TileKernelArgs {
    const GeneratorState* gen = nullptr;
    PaintConstants pc{};
    float scale = 0.0f;    // cells per area pixel
    float hueShift = 0.0f; // `hue` * 0.01
    float secondWeight = 0.0f;
    float thirdWeight = 0.0f;
    int32_t panX = 0; // already divided by the reduction
    int32_t panY = 0;
    PixelRect tile{};                                        // render-area coordinates
    FloatRGBA* pixels = nullptr;                             // the colour of (tile.left, tile.top)
    int32_t stride = 0;                                      // elements from one row to the next
    CellOrderCache* caches[3] = {nullptr, nullptr, nullptr}; // one per drawn layer
};

// Fills every pixel of args.tile; all three give the same bits.
void renderTileRowsSse2(const TileKernelArgs& args);
void renderTileRowsAvx2(const TileKernelArgs& args);
void renderTileRowsAvx512(const TileKernelArgs& args);

} // namespace qf
