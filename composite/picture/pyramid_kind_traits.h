// Private to the picture code: how the samples of each kind are laid out,
// read and written, and how one piece of code is run for a picture's kind.
// Shared by pixel access, filtered sampling and level building.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "composite/picture/pyramid_kind.h"
#include "composite/picture/pyramid_layout.h"
#include "composite/picture/pyramid_storage.h"
#include "values/pixel_types.h"

namespace qf {

namespace pyramid_detail {

// Pixel (x, y) of a level; the caller has checked that it lies inside.
inline uint8_t* addressInside(const PyramidTile* tiles, const PyramidLevel& L,
                              int32_t bytesPerPixel, int32_t x, int32_t y) {
    const PyramidTile& t =
        tiles[size_t(L.firstTile) + size_t(y >> kPyramidTileShift) * size_t(L.tilesPerRow) +
              size_t(x >> kPyramidTileShift)];
    const size_t offset =
        size_t(y & (kPyramidTileSide - 1)) * kPyramidTileSide + size_t(x & (kPyramidTileSide - 1));
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

inline void store32(uint8_t* p, uint32_t v) {
    std::memcpy(p, &v, 4);
}

inline void storeFloat(uint8_t* p, float v) {
    std::memcpy(p, &v, 4);
}

// How the samples of each kind are read and written: channel values as
// integers for the integer kinds and floats for the float kinds.
template <PyramidKind Kind> struct KindTraits;

template <> struct KindTraits<PyramidKind::Gray8> {
    static constexpr int channels = 1;
    static constexpr int bytes = 1;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) { s[0] = p[0]; }
    static void write(uint8_t* p, const Sample* s) { p[0] = uint8_t(s[0]); }
};

template <> struct KindTraits<PyramidKind::Gray16> {
    static constexpr int channels = 1;
    static constexpr int bytes = 2;
    using Sample = int32_t;
    static void read(const uint8_t* p, Sample* s) { s[0] = load16(p); }
    static void write(uint8_t* p, const Sample* s) { store16(p, uint32_t(s[0])); }
};

template <> struct KindTraits<PyramidKind::Channel16> : KindTraits<PyramidKind::Gray16> {};

template <> struct KindTraits<PyramidKind::RGBA8> {
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
        store32(p, (uint32_t(s[0]) << 24) | (uint32_t(s[1]) << 16) | (uint32_t(s[2]) << 8) |
                       uint32_t(s[3]));
    }
};

template <> struct KindTraits<PyramidKind::RGBA16> {
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

template <> struct KindTraits<PyramidKind::GrayFloat> {
    static constexpr int channels = 1;
    static constexpr int bytes = 4;
    using Sample = float;
    static void read(const uint8_t* p, Sample* s) { s[0] = loadFloat(p); }
    static void write(uint8_t* p, const Sample* s) { storeFloat(p, s[0]); }
};

template <> struct KindTraits<PyramidKind::RGB16> {
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

template <> struct KindTraits<PyramidKind::RGBAFloat> {
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

// Runs `f.template operator()<Kind>()` for the picture's kind.
template <typename F> auto dispatchKind(PyramidKind kind, F&& f) {
    switch (kind) {
    case PyramidKind::Gray8:
        return f.template operator()<PyramidKind::Gray8>();
    case PyramidKind::Gray16:
        return f.template operator()<PyramidKind::Gray16>();
    case PyramidKind::Channel16:
        return f.template operator()<PyramidKind::Channel16>();
    case PyramidKind::RGBA8:
        return f.template operator()<PyramidKind::RGBA8>();
    case PyramidKind::RGBA16:
        return f.template operator()<PyramidKind::RGBA16>();
    case PyramidKind::GrayFloat:
        return f.template operator()<PyramidKind::GrayFloat>();
    case PyramidKind::RGB16:
        return f.template operator()<PyramidKind::RGB16>();
    default:
        return f.template operator()<PyramidKind::RGBAFloat>();
    }
}

// Channel values (before any scaling) to a colour: gray kinds fill red,
// green and blue alike, kinds without alpha take `alpha`.
template <int Channels, typename T> FloatRGBA channelsToColour(const T* s, float alpha) {
    if constexpr (Channels == 1) {
        return FloatRGBA{float(s[0]), float(s[0]), float(s[0]), alpha};
    } else if constexpr (Channels == 3) {
        return FloatRGBA{float(s[0]), float(s[1]), float(s[2]), alpha};
    } else {
        return FloatRGBA{float(s[0]), float(s[1]), float(s[2]), float(s[3])};
    }
}

} // namespace pyramid_detail

} // namespace qf
