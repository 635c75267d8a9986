#include "composite/pyramid_image.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "composite/lanczos_tables.h"

// ---------------------------------------------------------------------------
// Kinds

PyramidKindInfo pyramidKindInfo(int32_t kind) {
    PyramidKindInfo k;
    switch (kind) {
    case kPyramidGray8: k = {true, 1, 1, 255.0f, false, false, 255}; break;
    case kPyramidGray16: k = {true, 2, 1, 32768.0f, false, true, 32768}; break;
    case kPyramidChannel16: k = {true, 2, 1, 1.0f, false, true, 65535}; break;
    case kPyramidRGBA8: k = {true, 4, 4, 255.0f, false, false, 255}; break;
    case kPyramidRGBA16: k = {true, 8, 4, 32768.0f, false, true, 32768}; break;
    case kPyramidGrayFloat: k = {true, 4, 1, 1.0f, true, false, 0}; break;
    case kPyramidRGB16: k = {true, 6, 3, 1.0f, false, true, 65535}; break;
    case kPyramidRGBAFloat: k = {true, 16, 4, 1.0f, true, false, 0}; break;
    default: break;
    }
    return k;
}

// ---------------------------------------------------------------------------
// Storage budget

namespace {

constexpr uint64_t kDefaultStorageLimit =
    sizeof(void*) <= 4 ? uint64_t{0x60000000} : uint64_t{32} << 30;

std::atomic<uint64_t> gStorageLimit{kDefaultStorageLimit};
std::atomic<uint64_t> gStorageInUse{0};

bool reserveStorage(uint64_t bytes) {
    uint64_t inUse = gStorageInUse.load();
    for (;;) {
        const uint64_t limit = gStorageLimit.load();
        if (bytes > limit || inUse > limit - bytes) return false;
        if (gStorageInUse.compare_exchange_weak(inUse, inUse + bytes)) return true;
    }
}

void returnStorage(uint64_t bytes) { gStorageInUse.fetch_sub(bytes); }

} // namespace

void setPyramidStorageLimit(uint64_t bytes) { gStorageLimit.store(bytes); }
uint64_t pyramidStorageLimit() { return gStorageLimit.load(); }
uint64_t pyramidStorageInUse() { return gStorageInUse.load(); }

// ---------------------------------------------------------------------------
// Creation

PyramidImage::~PyramidImage() { release(); }

PyramidImage::PyramidImage(PyramidImage&& other) noexcept { *this = std::move(other); }

PyramidImage& PyramidImage::operator=(PyramidImage&& other) noexcept {
    if (this == &other) return *this;
    release();
    kind_ = other.kind_;
    info_ = other.info_;
    width_ = other.width_;
    height_ = other.height_;
    border_ = other.border_;
    wrapMode_ = other.wrapMode_;
    lastLevel_ = other.lastLevel_;
    inputScale_ = other.inputScale_;
    outputScale_ = other.outputScale_;
    std::copy(std::begin(other.levels_), std::end(other.levels_), std::begin(levels_));
    tiles_ = std::move(other.tiles_);
    tileCount_ = other.tileCount_;
    bytesHeld_ = other.bytesHeld_;
    filled_ = other.filled_;
    levelsBuilt_ = other.levelsBuilt_;
    other.tileCount_ = 0;
    other.bytesHeld_ = 0;
    other.release();
    return *this;
}

void PyramidImage::release() {
    if (tiles_) {
        for (int32_t i = 0; i < tileCount_; ++i) delete[] tiles_[i].pixels;
        tiles_.reset();
    }
    if (bytesHeld_ > 0) returnStorage(bytesHeld_);
    bytesHeld_ = 0;
    tileCount_ = 0;
    kind_ = -1;
    info_ = PyramidKindInfo{};
    width_ = height_ = 0;
    border_ = false;
    wrapMode_ = kPyramidClamp;
    lastLevel_ = 0;
    inputScale_ = outputScale_ = 0.0f;
    std::fill(std::begin(levels_), std::end(levels_), PyramidLevel{});
    filled_ = false;
    levelsBuilt_ = false;
}

bool PyramidImage::create(int32_t width, int32_t height, int32_t kind, int32_t wrapMode, bool border) {
    release();
    const PyramidKindInfo info = pyramidKindInfo(kind);
    if (!info.valid || width < 1 || height < 1 || width > kPyramidMaxSide || height > kPyramidMaxSide ||
        wrapMode < kPyramidClamp || wrapMode > kPyramidWrapHorizontal)
        return false;

    // Level geometry on the sizes without border: halve rounding up, round
    // results above 2 up to even, stop after the first 1 x 1 level.
    int32_t sizes[kPyramidMaxLevels][2] = {};
    sizes[0][0] = width;
    sizes[0][1] = height;
    int32_t last = kPyramidMaxLevels - 1;
    for (int32_t n = 1; n < kPyramidMaxLevels; ++n) {
        for (int axis = 0; axis < 2; ++axis) {
            int32_t s = (sizes[n - 1][axis] + 1) / 2;
            if (s > 2) s += s & 1;
            sizes[n][axis] = s;
        }
        if (sizes[n][0] == 1 && sizes[n][1] == 1) {
            last = n;
            break;
        }
    }

    // Level records and the storage they need, counted in 64 bits.
    const int32_t b = border ? 2 : 0;
    PyramidLevel levels[kPyramidMaxLevels]{};
    uint64_t tiles = 0;
    uint64_t pixelBytes = 0;
    for (int32_t n = 0; n <= last; ++n) {
        PyramidLevel& L = levels[n];
        L.width = sizes[n][0] + b;
        L.height = sizes[n][1] + b;
        L.lastColumn = L.width - 1;
        L.lastRow = L.height - 1;
        L.inverseWidth = 1.0f / float(sizes[n][0]);
        L.inverseHeight = 1.0f / float(sizes[n][1]);
        L.scaleX = float(width) / float(uint32_t{1} << n);
        L.scaleY = float(height) / float(uint32_t{1} << n);
        L.tilesPerRow = (L.width + kPyramidTileSide - 1) >> kPyramidTileShift;
        L.tileRows = (L.height + kPyramidTileSide - 1) >> kPyramidTileShift;
        L.firstTile = int32_t(tiles); // at most INT32_MAX, checked on the level before
        tiles += uint64_t(L.tilesPerRow) * uint64_t(L.tileRows);
        pixelBytes += uint64_t(L.tilesPerRow) * uint64_t(L.height) * kPyramidTileSide *
                      uint64_t(info.bytesPerPixel);
        if (tiles > uint64_t(INT32_MAX)) return false;
    }
    // A picture larger than the whole budget is refused before anything is
    // allocated; otherwise every allocation reserves its bytes as it goes,
    // so a picture that meets the limit (or a refusal of the system)
    // half-way is taken apart again.
    const uint64_t arrayBytes = tiles * sizeof(PyramidTile);
    const uint64_t totalBytes = pixelBytes + arrayBytes;
    if (totalBytes > uint64_t(SIZE_MAX) / 2 || totalBytes > pyramidStorageLimit()) return false;
    if (!reserveStorage(arrayBytes)) return false;
    bytesHeld_ = arrayBytes;
    tiles_.reset(new (std::nothrow) PyramidTile[size_t(tiles)]());
    if (!tiles_) {
        release();
        return false;
    }
    tileCount_ = int32_t(tiles);
    for (int32_t n = 0; n <= last; ++n) {
        const PyramidLevel& L = levels[n];
        for (int32_t row = 0; row < L.tileRows; ++row) {
            const int32_t rows = std::min(kPyramidTileSide, L.height - row * kPyramidTileSide);
            for (int32_t col = 0; col < L.tilesPerRow; ++col) {
                PyramidTile& t = tiles_[size_t(L.firstTile) + size_t(row) * size_t(L.tilesPerRow) + size_t(col)];
                const size_t bytes = size_t(rows) * kPyramidTileSide * size_t(info.bytesPerPixel);
                if (!reserveStorage(bytes)) {
                    release();
                    return false;
                }
                bytesHeld_ += bytes;
                t.pixels = new (std::nothrow) uint8_t[bytes]();
                if (!t.pixels) {
                    release();
                    return false;
                }
                t.rows = rows;
                t.bytes = bytes;
            }
        }
    }

    kind_ = kind;
    info_ = info;
    width_ = width;
    height_ = height;
    border_ = border;
    wrapMode_ = wrapMode;
    lastLevel_ = last;
    inputScale_ = info.scale;
    outputScale_ = 1.0f / info.scale;
    std::copy(std::begin(levels), std::end(levels), std::begin(levels_));
    return true;
}

bool createImage(PyramidImage* image, int32_t width, int32_t height, int32_t kind, int32_t wrapMode,
                 bool border) {
    return image != nullptr && image->create(width, height, kind, wrapMode, border);
}

bool createImage(PyramidImage* image, int32_t width, int32_t height, int32_t simpleType) {
    const int32_t kind = simpleType == 1 ? kPyramidGray8 : simpleType == 2 ? kPyramidChannel16 : kPyramidRGBA8;
    return createImage(image, width, height, kind, kPyramidClamp, false);
}

// ---------------------------------------------------------------------------
// Plain pixel access

int32_t PyramidImage::levelWidth(int32_t level) const {
    return hasStorage() && level >= 0 && level <= lastLevel_ ? levels_[level].width : 0;
}

int32_t PyramidImage::levelHeight(int32_t level) const {
    return hasStorage() && level >= 0 && level <= lastLevel_ ? levels_[level].height : 0;
}

const PyramidLevel* PyramidImage::level(int32_t level) const {
    return hasStorage() && level >= 0 && level <= lastLevel_ ? &levels_[level] : nullptr;
}

const PyramidTile* PyramidImage::tile(int32_t index) const {
    return index >= 0 && index < tileCount_ ? &tiles_[size_t(index)] : nullptr;
}

namespace {

// Pixel (x, y) of a level; the caller has checked that it lies inside.
inline const uint8_t* addressInside(const PyramidTile* tiles, const PyramidLevel& L, int32_t bytesPerPixel,
                                    int32_t x, int32_t y) {
    const PyramidTile& t =
        tiles[size_t(L.firstTile) + size_t(y >> kPyramidTileShift) * size_t(L.tilesPerRow) + size_t(x >> kPyramidTileShift)];
    const size_t offset = size_t(y & (kPyramidTileSide - 1)) * kPyramidTileSide + size_t(x & (kPyramidTileSide - 1));
    return t.pixels + offset * size_t(bytesPerPixel);
}

inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline float loadFloat(const uint8_t* p) {
    float v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void store16(uint8_t* p, uint32_t v) {
    const uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
}

inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline void storeFloat(uint8_t* p, float v) { std::memcpy(p, &v, 4); }

// A colour channel times the input scale, truncated toward zero and limited
// to what the sample can hold (negative values and NaN become 0).
inline uint32_t toSample(float value, float scale, uint32_t largest) {
    const float t = value * scale;
    if (!(t > 0.0f)) return 0;
    if (t >= float(largest)) return largest;
    return uint32_t(t);
}

// How the samples of each kind are read and written: channel values as
// integers for the integer kinds and floats for the float kinds.
template <int32_t Kind>
struct KindTraits;

template <>
struct KindTraits<kPyramidGray8> {
    static constexpr int channels = 1;
    static constexpr int bytes = 1;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) { s[0] = p[0]; }
    static void write(uint8_t* p, const Sample* s) { p[0] = uint8_t(s[0]); }
};

template <>
struct KindTraits<kPyramidGray16> {
    static constexpr int channels = 1;
    static constexpr int bytes = 2;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) { s[0] = load16(p); }
    static void write(uint8_t* p, const Sample* s) { store16(p, uint32_t(s[0])); }
};

template <>
struct KindTraits<kPyramidChannel16> : KindTraits<kPyramidGray16> {};

template <>
struct KindTraits<kPyramidRGBA8> {
    static constexpr int channels = 4;
    static constexpr int bytes = 4;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) {
        const uint32_t w = load32(p);
        s[0] = int32_t(w >> 24);
        s[1] = int32_t((w >> 16) & 0xFF);
        s[2] = int32_t((w >> 8) & 0xFF);
        s[3] = int32_t(w & 0xFF);
    }
    static void write(uint8_t* p, const Sample* s) {
        store32(p, (uint32_t(s[0]) << 24) | (uint32_t(s[1]) << 16) | (uint32_t(s[2]) << 8) | uint32_t(s[3]));
    }
};

template <>
struct KindTraits<kPyramidRGBA16> {
    static constexpr int channels = 4;
    static constexpr int bytes = 8;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) {
        for (int c = 0; c < 4; ++c) s[c] = load16(p + 2 * c);
    }
    static void write(uint8_t* p, const Sample* s) {
        for (int c = 0; c < 4; ++c) store16(p + 2 * c, uint32_t(s[c]));
    }
};

template <>
struct KindTraits<kPyramidGrayFloat> {
    static constexpr int channels = 1;
    static constexpr int bytes = 4;
    using Sample = float;
    static void read(const uint8_t* p, Sample* s) { s[0] = loadFloat(p); }
    static void write(uint8_t* p, const Sample* s) { storeFloat(p, s[0]); }
};

template <>
struct KindTraits<kPyramidRGB16> {
    static constexpr int channels = 3;
    static constexpr int bytes = 6;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) {
        for (int c = 0; c < 3; ++c) s[c] = load16(p + 2 * c);
    }
    static void write(uint8_t* p, const Sample* s) {
        for (int c = 0; c < 3; ++c) store16(p + 2 * c, uint32_t(s[c]));
    }
};

template <>
struct KindTraits<kPyramidRGBAFloat> {
    static constexpr int channels = 4;
    static constexpr int bytes = 16;
    using Sample = float;
    static void read(const uint8_t* p, Sample* s) {
        for (int c = 0; c < 4; ++c) s[c] = loadFloat(p + 4 * c);
    }
    static void write(uint8_t* p, const Sample* s) {
        for (int c = 0; c < 4; ++c) storeFloat(p + 4 * c, s[c]);
    }
};

// Runs `f.template operator()<Kind>()` for the image's kind.
template <typename F>
auto dispatchKind(int32_t kind, F&& f) {
    switch (kind) {
    case kPyramidGray8: return f.template operator()<kPyramidGray8>();
    case kPyramidGray16: return f.template operator()<kPyramidGray16>();
    case kPyramidChannel16: return f.template operator()<kPyramidChannel16>();
    case kPyramidRGBA8: return f.template operator()<kPyramidRGBA8>();
    case kPyramidRGBA16: return f.template operator()<kPyramidRGBA16>();
    case kPyramidGrayFloat: return f.template operator()<kPyramidGrayFloat>();
    case kPyramidRGB16: return f.template operator()<kPyramidRGB16>();
    default: return f.template operator()<kPyramidRGBAFloat>();
    }
}

// Channel values (before any scaling) to a colour: gray kinds fill red,
// green and blue alike, kinds without alpha take `alpha`.
template <int Channels, typename T>
FloatRGBA channelsToColour(const T* s, float alpha) {
    if constexpr (Channels == 1) {
        return FloatRGBA{float(s[0]), float(s[0]), float(s[0]), alpha};
    } else if constexpr (Channels == 3) {
        return FloatRGBA{float(s[0]), float(s[1]), float(s[2]), alpha};
    } else {
        return FloatRGBA{float(s[0]), float(s[1]), float(s[2]), float(s[3])};
    }
}

} // namespace

uint8_t* PyramidImage::pixelAddress(int32_t x, int32_t y, int32_t lvl) {
    return const_cast<uint8_t*>(std::as_const(*this).pixelAddress(x, y, lvl));
}

const uint8_t* PyramidImage::pixelAddress(int32_t x, int32_t y, int32_t lvl) const {
    const PyramidLevel* L = level(lvl);
    if (!L || x < 0 || y < 0 || x >= L->width || y >= L->height) return nullptr;
    return addressInside(tiles_.get(), *L, info_.bytesPerPixel, x, y);
}

FloatRGBA PyramidImage::samplePoint(int32_t x, int32_t y, int32_t lvl) const {
    const PyramidLevel* L = level(lvl);
    if (!L) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
    x = std::clamp(x, 0, L->lastColumn);
    y = std::clamp(y, 0, L->lastRow);
    const uint8_t* p = addressInside(tiles_.get(), *L, info_.bytesPerPixel, x, y);
    const float out = outputScale_;
    return dispatchKind(kind_, [&]<int32_t Kind>() {
        using T = KindTraits<Kind>;
        typename T::Sample s[4] = {};
        T::read(p, s);
        FloatRGBA c = channelsToColour<T::channels>(s, 1.0f);
        c.r *= out;
        c.g *= out;
        c.b *= out;
        if (T::channels == 4) c.a *= out;
        return c;
    });
}

void PyramidImage::storePixel(int32_t x, int32_t y, int32_t lvl, const FloatRGBA& colour) {
    if (kind_ != kPyramidRGBA8 && kind_ != kPyramidRGBA16 && kind_ != kPyramidRGBAFloat) return;
    uint8_t* p = pixelAddress(x, y, lvl);
    if (!p) return;
    if (kind_ == kPyramidRGBA8) {
        const int32_t s[4] = {int32_t(toSample(colour.r, inputScale_, 255)), int32_t(toSample(colour.g, inputScale_, 255)),
                              int32_t(toSample(colour.b, inputScale_, 255)), int32_t(toSample(colour.a, inputScale_, 255))};
        KindTraits<kPyramidRGBA8>::write(p, s);
    } else if (kind_ == kPyramidRGBA16) {
        const int32_t s[4] = {int32_t(toSample(colour.r, inputScale_, 65535)), int32_t(toSample(colour.g, inputScale_, 65535)),
                              int32_t(toSample(colour.b, inputScale_, 65535)), int32_t(toSample(colour.a, inputScale_, 65535))};
        KindTraits<kPyramidRGBA16>::write(p, s);
    } else {
        const float s[4] = {colour.r, colour.g, colour.b, colour.a};
        KindTraits<kPyramidRGBAFloat>::write(p, s);
    }
}

// ---------------------------------------------------------------------------
// Filtered sampling

namespace {

// Splits a pixel position into its centre pixel and sub-pixel phase
// (0..127). Positions are kept within a range where the arithmetic cannot
// overflow; NaN counts as 0. Negative positions round down, so the phase
// stays inside the table.
inline void splitPosition(float fx, int32_t& centre, int32_t& phase) {
    constexpr float kLimit = 1073741824.0f; // 2^30
    if (fx != fx) fx = 0.0f;
    fx = std::clamp(fx, -kLimit, kLimit);
    int32_t g = int32_t(fx);
    if (float(g) > fx) g -= 1;
    int32_t p = int32_t((fx - float(g)) * 128.0f);
    centre = g;
    phase = std::clamp(p, 0, kLanczosPhases - 1);
}

inline int32_t wrapIndex(int32_t i, int32_t size) {
    int32_t m = i % size;
    return m < 0 ? m + size : m;
}

// The 5 x 5 window around the centre pixel, gathered straight from one tile
// when it lies inside the level and one tile, else pixel by pixel with the
// coordinates clamped or wrapped.
template <int32_t Kind>
void gatherWindow(const PyramidTile* tiles, const PyramidLevel& L, int32_t wrapMode, int32_t g, int32_t h,
                  typename KindTraits<Kind>::Sample (*win)[5][4]) {
    using T = KindTraits<Kind>;
    const int32_t x0 = g - 2;
    const int32_t y0 = h - 2;
    if (x0 >= 0 && y0 >= 0 && g + 2 <= L.lastColumn && h + 2 <= L.lastRow &&
        (x0 & (kPyramidTileSide - 1)) <= kPyramidTileSide - 5 && (y0 & (kPyramidTileSide - 1)) <= kPyramidTileSide - 5) {
        const uint8_t* base = addressInside(tiles, L, T::bytes, x0, y0);
        for (int r = 0; r < 5; ++r) {
            const uint8_t* row = base + size_t(r) * kPyramidTileSide * T::bytes;
            for (int c = 0; c < 5; ++c) T::read(row + c * T::bytes, win[r][c]);
        }
        return;
    }
    const bool wrapX = wrapMode == kPyramidWrap || wrapMode == kPyramidWrapHorizontal;
    const bool wrapY = wrapMode == kPyramidWrap;
    int32_t cols[5];
    int32_t rows[5];
    for (int i = 0; i < 5; ++i) {
        cols[i] = wrapX ? wrapIndex(x0 + i, L.width) : std::clamp(x0 + i, 0, L.lastColumn);
        rows[i] = wrapY ? wrapIndex(y0 + i, L.height) : std::clamp(y0 + i, 0, L.lastRow);
    }
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) T::read(addressInside(tiles, L, T::bytes, cols[c], rows[r]), win[r][c]);
}

// The weighted sum of a gathered window. Column c of the window (pixel
// g - 2 + c) takes tap 4 - c, row r likewise.
template <int32_t Kind>
FloatRGBA weighWindow(const typename KindTraits<Kind>::Sample (*win)[5][4], int32_t phaseX, int32_t phaseY,
                      float alpha) {
    using T = KindTraits<Kind>;
    constexpr int C = T::channels;
    float result[4] = {};
    if constexpr (std::is_same_v<typename T::Sample, float>) {
        const float* wx = kLanczosTables.weights[phaseX];
        const float* wy = kLanczosTables.weights[phaseY];
        for (int ch = 0; ch < C; ++ch) {
            float sum = 0.0f;
            for (int r = 0; r < 5; ++r) {
                float row = 0.0f;
                for (int c = 0; c < 5; ++c) row += wx[4 - c] * win[r][c][ch];
                sum += wy[4 - r] * row;
            }
            result[ch] = sum;
        }
    } else if constexpr (Kind == kPyramidGray8 || Kind == kPyramidRGBA8) {
        // 2048-scaled weights: no phase weighs more than 2428 in absolute
        // sum, so |sum| stays below 255 * 2428^2 < 2^31.
        const int32_t* wx = kLanczosTables.weights2048[phaseX];
        const int32_t* wy = kLanczosTables.weights2048[phaseY];
        for (int ch = 0; ch < C; ++ch) {
            int32_t sum = 0;
            for (int r = 0; r < 5; ++r) {
                int32_t row = 0;
                for (int c = 0; c < 5; ++c) row += wx[4 - c] * win[r][c][ch];
                sum += wy[4 - r] * row;
            }
            result[ch] = float(double(sum) * (1.0 / 4194304.0)); // 2^-22, exact before the one rounding
        }
    } else {
        // 32768-scaled weights: the sums need 64 bits.
        const int32_t* wx = kLanczosTables.weights32768[phaseX];
        const int32_t* wy = kLanczosTables.weights32768[phaseY];
        for (int ch = 0; ch < C; ++ch) {
            int64_t sum = 0;
            for (int r = 0; r < 5; ++r) {
                int64_t row = 0;
                for (int c = 0; c < 5; ++c) row += int64_t(wx[4 - c]) * win[r][c][ch];
                sum += int64_t(wy[4 - r]) * row;
            }
            result[ch] = float(double(sum) * (1.0 / 1073741824.0)); // 2^-30
        }
    }
    return channelsToColour<C>(result, alpha);
}

} // namespace

FloatRGBA PyramidImage::sampleLevel(int32_t lvl, float u, float v) const {
    const PyramidLevel& L = levels_[lvl];
    const float offset = border_ ? 1.0f : 0.0f;
    const float x = u * L.scaleX - 0.5f;
    const float y = v * L.scaleY - 0.5f;
    int32_t g, h, phaseX, phaseY;
    splitPosition(x + 0.5f + offset, g, phaseX);
    splitPosition(y + 0.5f + offset, h, phaseY);
    const PyramidTile* tiles = tiles_.get();
    const int32_t wrap = wrapMode_;
    const float alpha = inputScale_;
    return dispatchKind(kind_, [&]<int32_t Kind>() {
        typename KindTraits<Kind>::Sample win[5][5][4];
        gatherWindow<Kind>(tiles, L, wrap, g, h, win);
        return weighWindow<Kind>(win, phaseX, phaseY, alpha);
    });
}

FloatRGBA PyramidImage::sampleFiltered(int32_t lvl, float fraction, float u, float v) const {
    if (!hasStorage()) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
    lvl = std::clamp(lvl, 0, std::max(lastLevel_ - 1, 0));
    FloatRGBA c = sampleLevel(lvl, u, v);
    if (fraction != 0.0f && lvl + 1 <= lastLevel_) {
        const FloatRGBA n = sampleLevel(lvl + 1, u, v);
        c.r = c.r + fraction * (n.r - c.r);
        c.g = c.g + fraction * (n.g - c.g);
        c.b = c.b + fraction * (n.b - c.b);
        c.a = c.a + fraction * (n.a - c.a);
    }
    const float out = outputScale_;
    return FloatRGBA{c.r * out, c.g * out, c.b * out, c.a * out};
}

FloatRGBA PyramidImage::sampleFilteredAt(int32_t lvl, float fraction, float x, float y) const {
    if (!hasStorage()) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
    const PyramidLevel& L = levels_[std::clamp(lvl, 0, lastLevel_)];
    return sampleFiltered(lvl, fraction, (x + 0.5f) * L.inverseWidth, (y + 0.5f) * L.inverseHeight);
}

// ---------------------------------------------------------------------------
// Resampling

namespace {

// log2 of a positive, finite value with plain double arithmetic (no maths
// library), so that every build computes the same bits; exact for powers
// of two.
double ratioLog2(double r) {
    const uint64_t bits = std::bit_cast<uint64_t>(r);
    int32_t e = int32_t((bits >> 52) & 0x7FF) - 1023;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | (uint64_t{1023} << 52));
    if (m > 1.4142135623730951) {
        m *= 0.5;
        e += 1;
    }
    // ln(m) = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.172.
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double term = s;
    double sum = 0.0;
    for (int n = 0; n < 16; ++n) {
        sum += term / double(2 * n + 1);
        term *= s2;
    }
    return double(e) + 2.0 * sum * 1.4426950408889634; // 1 / ln 2
}

} // namespace

void resampleLevel(int32_t sourceWidth, int32_t destinationWidth, float bias, int32_t lastLevel, int32_t& level,
                   float& fraction) {
    level = 0;
    fraction = 0.0f;
    if (sourceWidth < 1 || destinationWidth < 1) return;
    double lv = ratioLog2(double(sourceWidth) / double(destinationWidth)) - double(bias);
    if (!(lv > 0.0)) lv = 0.0; // also NaN
    if (lv > double(lastLevel)) lv = double(std::max(lastLevel, 0));
    level = int32_t(lv);
    fraction = float(lv - double(level));
}

bool resampleImage(const PyramidImage& source, PyramidImage& destination, const PixelRect& sourceRect,
                   const PixelRect& destinationRect, float bias) {
    if (!source.hasStorage() || !destination.hasStorage()) return false;
    const int64_t sw = int64_t(sourceRect.right) - sourceRect.left;
    const int64_t sh = int64_t(sourceRect.bottom) - sourceRect.top;
    const int64_t dw = int64_t(destinationRect.right) - destinationRect.left;
    const int64_t dh = int64_t(destinationRect.bottom) - destinationRect.top;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || sw > INT32_MAX || sh > INT32_MAX || dw > INT32_MAX || dh > INT32_MAX)
        return false;

    int32_t level;
    float fraction;
    resampleLevel(int32_t(sw), int32_t(dw), bias, source.lastLevel(), level, fraction);

    const PyramidLevel& S = *source.level(0);
    const float stepX = float(sw) / float(dw);
    const float stepY = float(sh) / float(dh);
    const bool floatDestination = destination.holdsFloat();
    const float colourLimit = floatDestination ? 65535.0f : 1.0f;
    const int32_t destW = destination.levelWidth(0);
    const int32_t destH = destination.levelHeight(0);
    // Only destination pixels inside the picture are visited.
    const int64_t yBegin = std::max<int64_t>(0, -int64_t(destinationRect.top));
    const int64_t yEnd = std::min<int64_t>(dh, int64_t(destH) - destinationRect.top);
    const int64_t xBegin = std::max<int64_t>(0, -int64_t(destinationRect.left));
    const int64_t xEnd = std::min<int64_t>(dw, int64_t(destW) - destinationRect.left);
    auto limit = [](float v, float hi) { return v > 0.0f ? (v < hi ? v : hi) : 0.0f; };
    for (int64_t y = yBegin; y < yEnd; ++y) {
        const float v = (float(sourceRect.top) + (float(y) + 0.5f) * stepY) * S.inverseHeight;
        for (int64_t x = xBegin; x < xEnd; ++x) {
            const float u = (float(sourceRect.left) + (float(x) + 0.5f) * stepX) * S.inverseWidth;
            FloatRGBA c = source.sampleFiltered(level, fraction, u, v);
            c.r = limit(c.r, colourLimit);
            c.g = limit(c.g, colourLimit);
            c.b = limit(c.b, colourLimit);
            c.a = limit(c.a, 1.0f);
            destination.storePixel(int32_t(x + destinationRect.left), int32_t(y + destinationRect.top), 0, c);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Level building

namespace {

// The 6 x 6 weights of one pixel of the next level (rows top to bottom,
// columns left to right, over columns 2x - 2..2x + 3 and rows likewise);
// they sum to 1640.
constexpr int32_t kLevelWeights[6][6] = {
    {0, 1, 4, 4, 1, 0},   {1, 16, 64, 64, 16, 1}, {4, 64, 256, 256, 64, 4},
    {4, 64, 256, 256, 64, 4}, {1, 16, 64, 64, 16, 1}, {0, 1, 4, 4, 1, 0},
};

// Output pixels are made in blocks; the source pixels of a block are
// gathered (with clamping) into a small buffer first.
constexpr int32_t kBlockWidth = 32;
constexpr int32_t kBlockHeight = 8;
constexpr int32_t kSourceWidth = 2 * kBlockWidth + 4;
constexpr int32_t kSourceHeight = 2 * kBlockHeight + 4;

template <int32_t Kind>
void buildLevelRect(const PyramidTile* tiles, const PyramidLevel& from, const PyramidLevel& to, int32_t border,
                    int32_t largest, const PixelRect& rect) {
    using T = KindTraits<Kind>;
    using S = typename T::Sample;
    constexpr int C = T::channels;
    S src[kSourceHeight][kSourceWidth][C > 0 ? C : 1];
    for (int32_t by = rect.top; by < rect.bottom; by += kBlockHeight) {
        const int32_t bh = std::min(kBlockHeight, rect.bottom - by);
        for (int32_t bx = rect.left; bx < rect.right; bx += kBlockWidth) {
            const int32_t bw = std::min(kBlockWidth, rect.right - bx);
            // Output (X, Y) reads source columns 2X - border - 2 .. + 3.
            const int32_t sx0 = 2 * bx - border - 2;
            const int32_t sy0 = 2 * by - border - 2;
            const int32_t sw = 2 * bw + 4;
            const int32_t sh = 2 * bh + 4;
            for (int32_t r = 0; r < sh; ++r) {
                const int32_t y = std::clamp(sy0 + r, 0, from.lastRow);
                // The row's start in the tile that holds it; a new tile is
                // looked up only where the columns cross a seam.
                int32_t tileColumn = -1;
                const uint8_t* rowStart = nullptr;
                for (int32_t c = 0; c < sw; ++c) {
                    const int32_t x = std::clamp(sx0 + c, 0, from.lastColumn);
                    if ((x >> kPyramidTileShift) != tileColumn) {
                        tileColumn = x >> kPyramidTileShift;
                        rowStart = addressInside(tiles, from, T::bytes, tileColumn << kPyramidTileShift, y);
                    }
                    S s[4];
                    T::read(rowStart + size_t(x & (kPyramidTileSide - 1)) * T::bytes, s);
                    for (int ch = 0; ch < C; ++ch) src[r][c][ch] = s[ch];
                }
            }
            if constexpr (std::is_same_v<S, float>) {
                // Floats: the weighted sum in the table's order, row by row,
                // left to right.
                for (int32_t oy = 0; oy < bh; ++oy)
                    for (int32_t ox = 0; ox < bw; ++ox) {
                        S out[4];
                        for (int ch = 0; ch < C; ++ch) {
                            float sum = 0.0f;
                            for (int r = 0; r < 6; ++r)
                                for (int c = 0; c < 6; ++c)
                                    if (kLevelWeights[r][c] != 0)
                                        sum += float(kLevelWeights[r][c]) * src[2 * oy + r][2 * ox + c][ch];
                            float value = sum * 0.0006097561f; // 1 / 1640
                            if (value > 65535.0f) value = 65535.0f;
                            out[ch] = value;
                        }
                        T::write(const_cast<uint8_t*>(addressInside(tiles, to, T::bytes, bx + ox, by + oy)), out);
                    }
            } else {
                // Integers: the table is (b b^T - the four corners) / 16 with
                // b = 1, 16, 64, 64, 16, 1, and integer sums are exact in any
                // order, so the rows are filtered once and shared by the
                // output rows (at most 65535 * 162^2 < 2^31).
                static constexpr int32_t b[6] = {1, 16, 64, 64, 16, 1};
                S rowSums[kSourceHeight][kBlockWidth][C];
                for (int32_t r = 0; r < sh; ++r)
                    for (int32_t ox = 0; ox < bw; ++ox)
                        for (int ch = 0; ch < C; ++ch) {
                            int32_t h = 0;
                            for (int c = 0; c < 6; ++c) h += b[c] * src[r][2 * ox + c][ch];
                            rowSums[r][ox][ch] = h;
                        }
                for (int32_t oy = 0; oy < bh; ++oy)
                    for (int32_t ox = 0; ox < bw; ++ox) {
                        S out[4];
                        for (int ch = 0; ch < C; ++ch) {
                            int32_t v = 0;
                            for (int r = 0; r < 6; ++r) v += b[r] * rowSums[2 * oy + r][ox][ch];
                            v -= src[2 * oy][2 * ox][ch] + src[2 * oy][2 * ox + 5][ch] + src[2 * oy + 5][2 * ox][ch] +
                                 src[2 * oy + 5][2 * ox + 5][ch];
                            // 1 / 1630: integer levels come out a little brighter.
                            float value = float(v / 16) * 0.00061349693f;
                            if (value > float(largest)) value = float(largest);
                            out[ch] = int32_t(value);
                        }
                        T::write(const_cast<uint8_t*>(addressInside(tiles, to, T::bytes, bx + ox, by + oy)), out);
                    }
            }
        }
    }
}

} // namespace

void buildLevelTile(PyramidImage& image, int32_t level, const PixelRect& rect) {
    if (!image.hasStorage() || level < 0 || level >= image.lastLevel_) return;
    const PyramidLevel& from = image.levels_[level];
    const PyramidLevel& to = image.levels_[level + 1];
    PixelRect r;
    r.top = std::max(rect.top, 0);
    r.left = std::max(rect.left, 0);
    r.bottom = std::min(rect.bottom, to.height);
    r.right = std::min(rect.right, to.width);
    if (r.empty()) return;
    const int32_t border = image.border_ ? 1 : 0;
    const int32_t largest = image.info_.largestSample;
    const PyramidTile* tiles = image.tiles_.get();
    dispatchKind(image.kind_, [&]<int32_t Kind>() { buildLevelRect<Kind>(tiles, from, to, border, largest, r); });
}

bool buildLevelsHere(PyramidImage& image, int32_t firstLevel) {
    if (!image.hasStorage()) return false;
    for (int32_t n = std::max(firstLevel, 0); n < image.lastLevel(); ++n)
        buildLevelTile(image, n, PixelRect{0, 0, image.levelHeight(n + 1), image.levelWidth(n + 1)});
    image.setLevelsBuilt(true);
    return true;
}

// ---------------------------------------------------------------------------
// The compositor's view

FloatRGBA PyramidCompositeImage::readPixel(int32_t x, int32_t y) const {
    // samplePoint clamps to the picture; keep the difference in range first.
    const int64_t px = std::clamp<int64_t>(int64_t(x) - originX_, INT32_MIN, INT32_MAX);
    const int64_t py = std::clamp<int64_t>(int64_t(y) - originY_, INT32_MIN, INT32_MAX);
    // The kinds that hold a document copy are read the way the compositor
    // reads the host's samples (a division by the sample scale), so that a
    // render into a picture sees exactly the source values a final render
    // sees; the reciprocal multiply of samplePoint can differ in the last bit.
    const int32_t kind = image_.kind();
    if (kind == kPyramidRGBA8 || kind == kPyramidRGBA16 || kind == kPyramidRGBAFloat) {
        const int32_t cx = int32_t(std::clamp<int64_t>(px, 0, std::max(image_.width() - 1, 0)));
        const int32_t cy = int32_t(std::clamp<int64_t>(py, 0, std::max(image_.height() - 1, 0)));
        const uint8_t* p = image_.pixelAddress(cx, cy, 0);
        if (!p) return FloatRGBA{0.0f, 0.0f, 0.0f, 0.0f};
        if (kind == kPyramidRGBA8) {
            uint32_t w;
            std::memcpy(&w, p, 4);
            return FloatRGBA{float(w >> 24) / 255.0f, float((w >> 16) & 0xFF) / 255.0f,
                             float((w >> 8) & 0xFF) / 255.0f, float(w & 0xFF) / 255.0f};
        }
        if (kind == kPyramidRGBA16) {
            uint16_t v[4];
            std::memcpy(v, p, 8);
            return FloatRGBA{float(v[0]) / 32768.0f, float(v[1]) / 32768.0f, float(v[2]) / 32768.0f,
                             float(v[3]) / 32768.0f};
        }
        FloatRGBA c;
        std::memcpy(&c, p, 16);
        return c;
    }
    return image_.samplePoint(int32_t(px), int32_t(py), 0);
}

void PyramidCompositeImage::storePixel(int32_t x, int32_t y, const FloatRGBA& c) {
    const int64_t px = int64_t(x) - originX_;
    const int64_t py = int64_t(y) - originY_;
    if (px < INT32_MIN || px > INT32_MAX || py < INT32_MIN || py > INT32_MAX) return;
    image_.storePixel(int32_t(px), int32_t(py), 0, c);
}
