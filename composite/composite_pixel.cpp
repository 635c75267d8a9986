#include "composite/composite_pixel.h"

#include <cstddef>
#include <cstring>

#include "composite/colour_finish.h"
#include "composite/glue_modes.h"
#include "composite/pixel_register.h"

namespace qf {

namespace {

using namespace colour_finish;

// n / 255 for every byte, worked out once: the same quotients as dividing
// each time, without a division per sample.
struct ByteUnits {
    float value[256];
    constexpr ByteUnits() : value() {
        for (int i = 0; i < 256; ++i) value[i] = float(i) / 255.0f;
    }
};
constexpr ByteUnits kByteUnits;

// Truncation toward zero into 0..top: a colour outside 0..1 (possible only
// from out-of-range input) is limited instead of wrapping, and NaN gives 0.
inline int32_t limitedSample(float v, int32_t top) {
    if (!(v > 0.0f)) {
        return 0;
    }
    return v >= float(top) ? top : int32_t(v);
}

template <DepthClass D> struct SampleTraits;

template <> struct SampleTraits<DepthClass::Eight> {
    using Type = uint8_t;
    static constexpr float kScale = 255.0f;
    static float unit(Type v) { return kByteUnits.value[v]; }
    static Type store(float v) { return Type(limitedSample(v * kScale, 255)); }
};

template <> struct SampleTraits<DepthClass::Sixteen> {
    using Type = uint16_t;
    static constexpr float kScale = 32768.0f;
    static float unit(Type v) { return float(v) / kScale; } // a power of two: exact
    static Type store(float v) { return Type(limitedSample(v * kScale, 65535)); }
};

template <> struct SampleTraits<DepthClass::Float> {
    using Type = float;
    static constexpr float kScale = 1.0f;
    static float unit(Type v) { return v; }
    static Type store(float v) { return v; }
};

inline bool insideTile(int32_t x, int32_t y, const PixelRect& rect) {
    const int64_t dx = int64_t(x) - rect.left;
    const int64_t dy = int64_t(y) - rect.top;
    return dx >= 0 && dx < int64_t(rect.right) - rect.left && dy >= 0 &&
           dy < int64_t(rect.bottom) - rect.top;
}

// Sample offset of (x, y) in a host buffer: the column times the samples per
// pixel, plus the row times the row stride in samples when the buffer holds
// the whole tile.
inline ptrdiff_t sampleOffset(int32_t x, int32_t y, const PixelRect& rect, int32_t rowMode,
                              int32_t perPixel, int32_t rowBytes, int32_t sampleBytes) {
    ptrdiff_t offset = ptrdiff_t(int64_t(x) - rect.left) * perPixel;
    if (rowMode == 1) {
        offset += ptrdiff_t(int64_t(y) - rect.top) * (rowBytes / sampleBytes);
    }
    return offset;
}

// The source colour of a host pixel whose samples start at p.
template <DepthClass D, bool Gray>
FloatRGBA unpackHostPixel(const CompositeTarget& target, const typename SampleTraits<D>::Type* p) {
    using Traits = SampleTraits<D>;
    FloatRGBA c{0.0f, 0.0f, 0.0f, 0.0f};
    if constexpr (Gray) {
        c.r = c.g = c.b = Traits::unit(p[0]);
    } else {
        c.r = Traits::unit(p[0]);
        c.g = Traits::unit(p[1]);
        c.b = Traits::unit(p[2]);
    }
    c.a = target.editableTransparency ? Traits::unit(p[target.alphaIndex]) : 1.0f;
    return c;
}

template <DepthClass D, bool Gray>
void packHostPixel(const CompositeTarget& target, const FloatRGBA& colour,
                   typename SampleTraits<D>::Type* p) {
    using Traits = SampleTraits<D>;
    if constexpr (Gray) {
        p[0] = Traits::store(colour.g);
    } else {
        p[0] = Traits::store(colour.r);
        p[1] = Traits::store(colour.g);
        p[2] = Traits::store(colour.b);
    }
    if (target.editableTransparency) {
        p[target.alphaIndex] = Traits::store(colour.a);
    }
}

// Where the samples of (x, y) start in the host's input buffer; null when
// there is no input or (x, y) is outside the tile.
template <DepthClass D>
const typename SampleTraits<D>::Type* hostSource(const CompositeTarget& target, int32_t x,
                                                 int32_t y, const PixelRect& rect,
                                                 int32_t rowMode) {
    using Sample = typename SampleTraits<D>::Type;
    if (target.inData == nullptr || !insideTile(x, y, rect)) {
        return nullptr;
    }
    return static_cast<const Sample*>(target.inData) +
           sampleOffset(x, y, rect, rowMode, target.inPlaneCount, target.inRowBytes,
                        sizeof(Sample));
}

// Where the samples of (x, y) go in the host's output buffer; null when
// nothing is to be written there.
template <DepthClass D>
typename SampleTraits<D>::Type* hostDestination(const CompositeTarget& target, int32_t x, int32_t y,
                                                const PixelRect& rect, int32_t rowMode) {
    using Sample = typename SampleTraits<D>::Type;
    if (target.outData == nullptr || !insideTile(x, y, rect)) {
        return nullptr;
    }
    if (int64_t(x) - rect.left >= target.outWidth || int64_t(y) - rect.top >= target.outHeight) {
        return nullptr;
    }
    return static_cast<Sample*>(target.outData) +
           sampleOffset(x, y, rect, rowMode, target.planes, target.outRowBytes, sizeof(Sample));
}

template <DepthClass D, bool Gray>
FloatRGBA readHostPixel(const CompositeTarget& target, int32_t x, int32_t y, const PixelRect& rect,
                        int32_t rowMode) {
    const auto* p = hostSource<D>(target, x, y, rect, rowMode);
    return p ? unpackHostPixel<D, Gray>(target, p) : FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
}

template <DepthClass D, bool Gray>
void writeHostPixel(const CompositeTarget& target, int32_t x, int32_t y, const FloatRGBA& colour,
                    const PixelRect& rect, int32_t rowMode) {
    if (auto* p = hostDestination<D>(target, x, y, rect, rowMode)) {
        packHostPixel<D, Gray>(target, colour, p);
    }
}

void writePreviewPixel(const CompositeTarget& target, int32_t x, int32_t y,
                       const FloatRGBA& colour) {
    using Traits = SampleTraits<DepthClass::Eight>;
    writePreviewSamples(target, x, y, Traits::store(colour.r), Traits::store(colour.g),
                        Traits::store(colour.b));
}

// Reading and writing for one render target, document depth and colour
// model; the caller picks the instance once (per pixel or per tile) so the
// pixel itself runs without re-testing what cannot change within a render.
// Host pixels are found by the caller: `src` and `dst` are where the
// pixel's samples start in the host's buffers, null for none.
template <int32_t Target, DepthClass D, bool Gray> struct TargetAccess {
    using Sample = typename SampleTraits<D>::Type;

    static FloatRGBA read(const CompositeTarget& target, int32_t x, int32_t y, const Sample* src) {
        if constexpr (Target == kImage) {
            if (target.image == nullptr) {
                return {0.0f, 0.0f, 0.0f, 0.0f};
            }
            return target.image->readPixel(x, y);
        } else {
            return src ? unpackHostPixel<D, Gray>(target, src) : FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
        }
    }

    static void write(const CompositeTarget& target, int32_t x, int32_t y, const FloatRGBA& colour,
                      Sample* dst) {
        if constexpr (Target == kImage) {
            if (target.image != nullptr) {
                target.image->storePixel(x, y, colour);
            }
        } else if constexpr (Target == kPreview) {
            writePreviewPixel(target, x, y, colour);
        } else if (dst) {
            packHostPixel<D, Gray>(target, colour, dst);
        }
    }

    static bool floatTarget(const CompositeTarget& target) {
        if constexpr (Target == kFinal) {
            return D == DepthClass::Float;
        } else if constexpr (Target == kPreview) {
            return false;
        } else {
            return target.image != nullptr && target.image->holdsFloat();
        }
    }
};

inline void limitAbove(FloatRGBA& c, float top) {
    if (c.r > top) c.r = top;
    if (c.g > top) c.g = top;
    if (c.b > top) c.b = top;
}

// The generated colour made ready to blend: the 1.007 lifts nearly opaque
// colours to fully opaque once they are quantised; negative channels go,
// overflow is spread, and gray documents take its luminance.
template <bool Gray> inline void conditionGenerated(FloatRGBA& g, bool isFloat) {
    if (!isFloat) {
        g.a *= 1.007f;
    }
    g.a = g.a < 0.0f ? 0.0f : (g.a > 1.0f ? 1.0f : g.a);
    if (g.r < 0.0f) g.r = 0.0f;
    if (g.g < 0.0f) g.g = 0.0f;
    if (g.b < 0.0f) g.b = 0.0f;
    // (Nothing to spread unless a channel is above 1: the common case skips
    // the call.)
    if (!isFloat && (g.r > 1.0f || g.g > 1.0f || g.b > 1.0f)) {
        spreadOverflow(g);
    }
    if constexpr (Gray) {
        const float v = 0.3f * g.r + 0.59f * g.g + 0.11f * g.b;
        g.r = g.g = g.b = v;
    }
}

// What follows the blend: `result` is the blended colour (the conditioned
// colour itself on float targets), laid over the source where the target
// keeps no transparency, limited, mixed with what was there by the
// selection coverage m, and written. `dst` locates the pixel's host samples
// (see TargetAccess).
template <int32_t Target, DepthClass D, bool Gray>
inline void finishAt(const CompositeTarget& target, int32_t x, int32_t y, FloatRGBA result,
                     const FloatRGBA& source, typename SampleTraits<D>::Type* dst, float m,
                     bool isFloat) {
    if (isFloat) {
        limitAbove(result, 65535.0f);
    } else {
        const bool layOver = Target == kFinal || (Target == kImage && target.flattenImage);
        if (layOver && result.a < 1.0f && !target.editableTransparency) {
            FloatRGBA under = source;
            overComposite(result, under);
            result = under;
        }
        limitAbove(result, 1.0f);
    }

    FloatRGBA background = source;
    if constexpr (Target == kPreview) {
        background = checkerColour(x, y);
        FloatRGBA under = background;
        overComposite(result, under);
        result = under;
    }

    if (m < 1.0f) {
        result.r = background.r + m * (result.r - background.r);
        result.g = background.g + m * (result.g - background.g);
        result.b = background.b + m * (result.b - background.b);
        result.a = background.a + m * (result.a - background.a);
    }
    TargetAccess<Target, D, Gray>::write(target, x, y, result, dst);
}

// One pixel: `src` and `dst` locate its host samples (see TargetAccess), m
// is its selection coverage.
template <int32_t Target, DepthClass D, bool Gray>
inline void compositeAt(const CompositeTarget& target, int32_t x, int32_t y, FloatRGBA& g,
                        const typename SampleTraits<D>::Type* src,
                        typename SampleTraits<D>::Type* dst, float m) {
    using Access = TargetAccess<Target, D, Gray>;
    const bool isFloat = Access::floatTarget(target);
    conditionGenerated<Gray>(g, isFloat);
    const FloatRGBA source = Access::read(target, x, y, src);
    FloatRGBA result = g;
    if (!isFloat) {
        blendGlue(g, source, result, target.glue);
    }
    finishAt<Target, D, Gray>(target, x, y, result, source, dst, m, isFloat);
}

template <int32_t Target, DepthClass D, bool Gray>
void compositeWith(const CompositeTarget& target, int32_t x, int32_t y, FloatRGBA* generated,
                   const PixelRect& rect, int32_t rowMode) {
    const bool host = Target != kImage;
    compositeAt<Target, D, Gray>(
        target, x, y, *generated, host ? hostSource<D>(target, x, y, rect, rowMode) : nullptr,
        Target == kFinal ? hostDestination<D>(target, x, y, rect, rowMode) : nullptr,
        maskValue(target, x, y, rect, rowMode));
}

// A whole block, row by row: the host rows are located once per row, and
// every pixel of the block lies inside the tile. Each row goes in runs of
// pixels through the three steps of compositeAt, the blend of a run with
// its glue mode chosen once; every pixel meets the same operations in the
// same order as it would alone.
template <int32_t Target, DepthClass D, bool Gray>
void compositeBlockWith(const CompositeTarget& target, const FloatRGBA* colours, ptrdiff_t stride,
                        const PixelRect& rect) {
    using Sample = typename SampleTraits<D>::Type;
    using Access = TargetAccess<Target, D, Gray>;
    constexpr int64_t kRun = 64;
    // 8-bit colour pixels of the host targets go a register a pixel.
    constexpr bool kRegister = D == DepthClass::Eight && !Gray && Target != kImage;
    FloatRGBA top[kRun], base[kRun], blended[kRun];
    const bool isFloat = Access::floatTarget(target);
    const int64_t width = int64_t(rect.right) - rect.left;
    const int64_t height = int64_t(rect.bottom) - rect.top;
    for (int64_t row = 0; row < height; ++row) {
        const int32_t y = int32_t(rect.top + row);
        const Sample* in = nullptr;
        if (Target != kImage && target.inData != nullptr) {
            in = static_cast<const Sample*>(target.inData) +
                 ptrdiff_t(row) * (target.inRowBytes / int32_t(sizeof(Sample)));
        }
        Sample* out = nullptr;
        if (Target == kFinal && target.outData != nullptr && row < target.outHeight) {
            out = static_cast<Sample*>(target.outData) +
                  ptrdiff_t(row) * (target.outRowBytes / int32_t(sizeof(Sample)));
        }
        const uint8_t* mask = target.maskData;
        if (mask != nullptr) {
            mask += ptrdiff_t(row) * target.maskRowBytes;
        }
        const FloatRGBA* colour = colours + ptrdiff_t(row) * stride;
        for (int64_t start = 0; start < width; start += kRun) {
            const int64_t count = width - start < kRun ? width - start : kRun;
            for (int64_t k = 0; k < count; ++k) {
                const int64_t i = start + k;
                if constexpr (kRegister) {
                    pixel_register::Pixel g = pixel_register::load(colour[i]);
                    const bool over = pixel_register::conditionGenerated(g);
                    pixel_register::store(top[k], g);
                    if (over) {
                        spreadOverflow(top[k]);
                    }
                } else {
                    top[k] = colour[i];
                    conditionGenerated<Gray>(top[k], isFloat);
                }
                base[k] = Access::read(target, int32_t(rect.left + i), y,
                                       in ? in + ptrdiff_t(i) * target.inPlaneCount : nullptr);
            }
            if (isFloat) {
                for (int64_t k = 0; k < count; ++k) blended[k] = top[k];
            } else {
                blendGlueRow(top, base, blended, size_t(count), target.glue);
            }
            int64_t k = 0;
            if constexpr (kRegister) {
                // Four at a time where all four are written alike; the rest
                // one by one.
                for (; k + 4 <= count; k += 4) {
                    const int64_t i = start + k;
                    const int32_t x = int32_t(rect.left + i);
                    if (!fourWritable<Target>(target, x, y, out, i)) {
                        break;
                    }
                    const __m128 m =
                        mask ? _mm_setr_ps(kByteUnits.value[mask[i]], kByteUnits.value[mask[i + 1]],
                                           kByteUnits.value[mask[i + 2]],
                                           kByteUnits.value[mask[i + 3]])
                             : _mm_set1_ps(1.0f);
                    finishFourColoursAt<Target>(target, x, y, blended + k, base + k,
                                                out ? out + ptrdiff_t(i) * target.planes : nullptr,
                                                m);
                }
            }
            for (; k < count; ++k) {
                const int64_t i = start + k;
                Sample* dst =
                    out && i < target.outWidth ? out + ptrdiff_t(i) * target.planes : nullptr;
                const float m = mask ? kByteUnits.value[mask[i]] : 1.0f;
                if constexpr (kRegister) {
                    finishColourAt<Target>(target, int32_t(rect.left + i), y, blended[k], base[k],
                                           dst, m);
                } else {
                    finishAt<Target, D, Gray>(target, int32_t(rect.left + i), y, blended[k],
                                              base[k], dst, m, isFloat);
                }
            }
        }
    }
}

using CompositeFn = void (*)(const CompositeTarget&, int32_t, int32_t, FloatRGBA*, const PixelRect&,
                             int32_t);

template <int32_t Target>
constexpr CompositeFn kHostKinds[3][2] = {
    {compositeWith<Target, DepthClass::Eight, false>,
     compositeWith<Target, DepthClass::Eight, true>},
    {compositeWith<Target, DepthClass::Sixteen, false>,
     compositeWith<Target, DepthClass::Sixteen, true>},
    {compositeWith<Target, DepthClass::Float, false>,
     compositeWith<Target, DepthClass::Float, true>},
};

using CompositeBlockFn = void (*)(const CompositeTarget&, const FloatRGBA*, ptrdiff_t,
                                  const PixelRect&);

template <int32_t Target>
constexpr CompositeBlockFn kHostBlockKinds[3][2] = {
    {compositeBlockWith<Target, DepthClass::Eight, false>,
     compositeBlockWith<Target, DepthClass::Eight, true>},
    {compositeBlockWith<Target, DepthClass::Sixteen, false>,
     compositeBlockWith<Target, DepthClass::Sixteen, true>},
    {compositeBlockWith<Target, DepthClass::Float, false>,
     compositeBlockWith<Target, DepthClass::Float, true>},
};

inline int depthIndex(DepthClass d) {
    switch (d) {
    case DepthClass::Sixteen:
        return 1;
    case DepthClass::Float:
        return 2;
    default:
        return 0;
    }
}

} // namespace

void compositePixel(const CompositeTarget& target, int32_t x, int32_t y, FloatRGBA* generated,
                    const PixelRect& rect, int32_t rowMode) {
    const int gray = target.gray ? 1 : 0;
    switch (target.renderTarget) {
    case kFinal:
        kHostKinds<kFinal>[depthIndex(target.depth)][gray](target, x, y, generated, rect, rowMode);
        break;
    case kPreview:
        kHostKinds<kPreview>[depthIndex(target.depth)][gray](target, x, y, generated, rect,
                                                             rowMode);
        break;
    case kImage:
        if (target.gray) {
            compositeWith<kImage, DepthClass::Eight, true>(target, x, y, generated, rect, rowMode);
        } else {
            compositeWith<kImage, DepthClass::Eight, false>(target, x, y, generated, rect, rowMode);
        }
        break;
    default:
        // No such target: nothing to write to.
        break;
    }
}

void compositeBlock(const CompositeTarget& target, const FloatRGBA* colours, ptrdiff_t stride,
                    const PixelRect& rect) {
    const int gray = target.gray ? 1 : 0;
    switch (target.renderTarget) {
    case kFinal:
        kHostBlockKinds<kFinal>[depthIndex(target.depth)][gray](target, colours, stride, rect);
        break;
    case kPreview:
        kHostBlockKinds<kPreview>[depthIndex(target.depth)][gray](target, colours, stride, rect);
        break;
    case kImage:
        if (target.gray) {
            compositeBlockWith<kImage, DepthClass::Eight, true>(target, colours, stride, rect);
        } else {
            compositeBlockWith<kImage, DepthClass::Eight, false>(target, colours, stride, rect);
        }
        break;
    default:
        // No such target: nothing to write to.
        break;
    }
}

FloatRGBA readSourcePixel(const CompositeTarget& target, int32_t x, int32_t y,
                          const PixelRect& rect, int32_t rowMode) {
    if (target.renderTarget == kImage) {
        return TargetAccess<kImage, DepthClass::Eight, false>::read(target, x, y, nullptr);
    }
    const bool gray = target.gray;
    switch (target.depth) {
    case DepthClass::Sixteen:
        return gray ? readHostPixel<DepthClass::Sixteen, true>(target, x, y, rect, rowMode)
                    : readHostPixel<DepthClass::Sixteen, false>(target, x, y, rect, rowMode);
    case DepthClass::Float:
        return gray ? readHostPixel<DepthClass::Float, true>(target, x, y, rect, rowMode)
                    : readHostPixel<DepthClass::Float, false>(target, x, y, rect, rowMode);
    default:
        return gray ? readHostPixel<DepthClass::Eight, true>(target, x, y, rect, rowMode)
                    : readHostPixel<DepthClass::Eight, false>(target, x, y, rect, rowMode);
    }
}

float maskValue(const CompositeTarget& target, int32_t x, int32_t y, const PixelRect& rect,
                int32_t rowMode) {
    if (target.maskData == nullptr) {
        return 1.0f;
    }
    if (!insideTile(x, y, rect)) {
        return 0.0f;
    }
    return kByteUnits
        .value[target.maskData[sampleOffset(x, y, rect, rowMode, 1, target.maskRowBytes, 1)]];
}

void writePixel(const CompositeTarget& target, int32_t x, int32_t y, const FloatRGBA& colour,
                const PixelRect& rect, int32_t rowMode) {
    switch (target.renderTarget) {
    case kImage:
        TargetAccess<kImage, DepthClass::Eight, false>::write(target, x, y, colour, nullptr);
        return;
    case kPreview:
        writePreviewPixel(target, x, y, colour);
        return;
    case kFinal:
        break;
    default:
        return;
    }
    const bool gray = target.gray;
    switch (target.depth) {
    case DepthClass::Sixteen:
        gray ? writeHostPixel<DepthClass::Sixteen, true>(target, x, y, colour, rect, rowMode)
             : writeHostPixel<DepthClass::Sixteen, false>(target, x, y, colour, rect, rowMode);
        break;
    case DepthClass::Float:
        gray ? writeHostPixel<DepthClass::Float, true>(target, x, y, colour, rect, rowMode)
             : writeHostPixel<DepthClass::Float, false>(target, x, y, colour, rect, rowMode);
        break;
    default:
        gray ? writeHostPixel<DepthClass::Eight, true>(target, x, y, colour, rect, rowMode)
             : writeHostPixel<DepthClass::Eight, false>(target, x, y, colour, rect, rowMode);
        break;
    }
}

FloatRGBA checkerColour(int32_t x, int32_t y) {
    const float v = checkerValue(x, y);
    return {v, v, v, 1.0f};
}

void overComposite(const FloatRGBA& top, FloatRGBA& bottom) {
    const float a = top.a;
    if (a <= 0.0f) {
        return;
    }
    const float b = bottom.a;
    const float d = a / (a + b - a * b);
    bottom.r = bottom.r + d * (top.r - bottom.r);
    bottom.g = bottom.g + d * (top.g - bottom.g);
    bottom.b = bottom.b + d * (top.b - bottom.b);
    bottom.a = b + a * (1.0f - b);
}

void spreadOverflow(FloatRGBA& c) {
    const bool overR = c.r > 1.0f;
    const bool overG = c.g > 1.0f;
    const bool overB = c.b > 1.0f;
    float excess = 0.0f;
    if (overR) excess += c.r - 1.0f;
    if (overG) excess += c.g - 1.0f;
    if (overB) excess += c.b - 1.0f;
    const float f = excess * 0.234375f; // 60 / 256
    const float h = f / 2.0f;
    const int which = (overR ? 1 : 0) | (overG ? 2 : 0) | (overB ? 4 : 0);
    switch (which) {
    case 1: // red alone
        c.g += h;
        c.b += h;
        if (c.g > 1.0f) c.b += c.g - 1.0f;
        if (c.b > 1.0f) c.g += c.b - 1.0f;
        break;
    case 2: // green alone
        c.r += h;
        c.b += h;
        if (c.r > 1.0f) c.b += c.r - 1.0f;
        if (c.b > 1.0f) c.r += c.b - 1.0f;
        break;
    case 4: // blue alone
        c.r += h;
        c.g += h;
        if (c.r > 1.0f) c.g += c.r - 1.0f;
        if (c.g > 1.0f) c.r += c.g - 1.0f;
        break;
    case 3:
        c.b += f;
        break;
    case 5:
        c.g += f;
        break;
    case 6:
        c.r += f;
        break;
    default:
        break; // none or all three
    }
}

} // namespace qf
