#include "render/tile_renderer.h"

#include <cmath>
#include <cstdint>

#include "render/noise_field.h"
#include "render/pattern_kernel.h"
#include "render/pattern_settings.h"
#include "render/tile_kernel.h"

namespace qf {

namespace {

// 2^e for the zoom factor, from basic double arithmetic only so that every
// build computes the same value (runtime libraries differ in their exp2).
// The zoom factors lie at least 0.0046 away from the next integer, far
// beyond the error of this series, so the truncated factor is exact.
double powerOfTwo(double e) {
    const double whole = std::floor(e);
    const double frac = e - whole; // 0 <= frac < 1
    // 2^frac = exp(frac * ln 2) by its Taylor series; 25 terms reach far
    // below double precision for an argument under ln 2.
    const double x = frac * 0.69314718055994530942;
    double term = 1.0;
    double sum = 1.0;
    for (int32_t n = 1; n <= 25; ++n) {
        term = term * x / n;
        sum += term;
    }
    double scale = 1.0;
    const int32_t steps = static_cast<int32_t>(whole);
    for (int32_t i = 0; i < steps; ++i) {
        scale *= 2.0;
    }
    for (int32_t i = 0; i > steps; --i) {
        scale /= 2.0;
    }
    return sum * scale;
}

// `value` - 1 for a list setting (`merge`, `shape`, `stripeKind`), wrapping
// as two's complement instead of overflowing at INT32_MIN.
int32_t lessOne(int32_t value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) - 1u);
}

} // namespace

int32_t zoomFactor(int32_t zoom) {
    const float inner = static_cast<float>(static_cast<double>(zoom) * 6.0 / 100.0 + 6.0);
    const double e = 7.0 - static_cast<double>(inner);
    // Below 2^-7 the factor truncates to 0: no need to halve millions of
    // times for a `zoom` far above 100.
    if (e < -7.0) {
        return 0;
    }
    // From about `zoom` -390 down the factor no longer fits an int32: it
    // saturates instead of overflowing the conversion.
    if (e > 31.0) {
        return INT32_MAX;
    }
    const double factor = 100.0 * powerOfTwo(e);
    return factor < 2147483648.0 ? static_cast<int32_t>(factor) : INT32_MAX;
}

LayerWeights layerWeights(int32_t complexity) {
    const float a = static_cast<float>(complexity) * 0.02f;
    LayerWeights w{0.0f, 0.0f};
    if (a > 0.0f) {
        w.second = a > 1.0f ? 1.0f : a;
    }
    if (a > 1.0f) {
        w.third = a - 1.0f;
        if (w.third > 1.0f) {
            w.third = 1.0f;
        }
    }
    return w;
}

float shiftHue(float h, float hueShift) {
    return kernel::shiftHueOf(h, hueShift);
}

void renderTile(const SettingsRecord& record, const GeneratorState& gen, TileBuffer& buffer) {
    renderTile(patternSettings(record), gen, buffer);
}

void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer) {
    renderTile(p, gen, buffer, activeSimdWidth());
}

namespace {

// Cell units per pixel of the pattern plane.
float planeScale(const PatternSettings& p) {
    return static_cast<float>(zoomFactor(p.zoom)) * 0.001f * static_cast<float>(p.previewZoom);
}

// Whether cells are small enough for the tile to go in blocks of rows, whose
// points fall in the rows of cells above and below too (kBlockThreshold).
bool smallCells(const PatternSettings& p) {
    return planeScale(p) * float(kernel::kBlockThreshold) > 1.0f;
}

} // namespace

// Layers that are not drawn need no table of recent cells.
LayerCaches::LayerCaches(const PatternSettings& p)
    : layer{CellOrderCache(true, smallCells(p)),
            CellOrderCache(layerWeights(p.complexity).second > 0.0f, smallCells(p)),
            CellOrderCache(layerWeights(p.complexity).third > 0.0f, smallCells(p))},
      smallCells_(smallCells(p)), drawn_{true, layerWeights(p.complexity).second > 0.0f,
                                         layerWeights(p.complexity).third > 0.0f} {}

bool LayerCaches::suits(const PatternSettings& p) const {
    const LayerWeights w = layerWeights(p.complexity);
    return smallCells_ == smallCells(p) && drawn_[1] == (w.second > 0.0f) &&
           drawn_[2] == (w.third > 0.0f);
}

void LayerCaches::forget() {
    for (CellOrderCache& c : layer) {
        c.reset();
    }
}

void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer,
                SimdWidth width) {
    LayerCaches caches(p);
    renderTile(p, gen, buffer, width, caches);
}

void renderTile(const PatternSettings& p, const GeneratorState& gen, TileBuffer& buffer,
                SimdWidth width, LayerCaches& caches) {
    if (!buffer.valid()) {
        return;
    }
    TileKernelArgs k;
    k.gen = &gen;
    k.hueShift = static_cast<float>(p.hue) * 0.01f;
    const LayerWeights w = layerWeights(p.complexity);
    k.secondWeight = w.second;
    k.thirdWeight = w.third;
    k.scale = planeScale(p);

    const int32_t mergeRule = lessOne(p.merge);
    const int32_t triangleProfile = lessOne(p.stripeKind) & 1;
    const int32_t doubleSmooth = lessOne(p.stripeKind) & 2;
    const int32_t shapeKind = lessOne(p.shape);

    // The pan is in document pixels; the divisions truncate toward zero.
    k.panX = p.previewOffsetX / p.previewZoom;
    k.panY = p.previewOffsetY / p.previewZoom;

    for (int32_t i = 0; i < 3; ++i) {
        caches.layer[i].startTile();
        k.caches[i] = &caches.layer[i];
    }
    k.pc = paintConstants(gen, mergeRule, triangleProfile, doubleSmooth, shapeKind);
    k.tile = buffer.rect();
    // The tile's own pixels always lie inside its buffer.
    k.pixels = buffer.at(k.tile.left, k.tile.top);
    k.stride = buffer.bufferWidth();

    switch (runnableWidth(width)) {
    case SimdWidth::avx512:
        renderTileRowsAvx512(k);
        break;
    case SimdWidth::avx2:
        renderTileRowsAvx2(k);
        break;
    default:
        renderTileRowsSse2(k);
        break;
    }

    uint64_t performed = 0;
    uint64_t skipped = 0;
    for (const CellOrderCache& c : caches.layer) {
        performed += c.sortsPerformed;
        skipped += c.sortsSkipped;
    }
    gen.sortStatistics.add(performed, skipped);
}

} // namespace qf
