// Helpers of the presets tests: files built byte by byte, and settings with
// values that are easy to tell apart.
#pragma once

#include "values/settings_record.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace qf {}
using namespace qf;

// A presets file assembled by hand, big-endian like the real ones.
struct FileBytes {
    std::vector<uint8_t> bytes;

    FileBytes& i32(int32_t value) {
        const uint32_t u = uint32_t(value);
        bytes.push_back(uint8_t(u >> 24));
        bytes.push_back(uint8_t(u >> 16));
        bytes.push_back(uint8_t(u >> 8));
        bytes.push_back(uint8_t(u));
        return *this;
    }
    FileBytes& raw(const std::vector<uint8_t>& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    FileBytes& fill(size_t count, uint8_t value) {
        bytes.insert(bytes.end(), count, value);
        return *this;
    }
};

inline int32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return int32_t((uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) |
                   (uint32_t(b[at + 2]) << 8) | b[at + 3]);
}

// A record whose fields all differ from the defaults and from each other.
inline SettingsRecord distinctSettings() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    s.glue = 17;
    s.overlap = 11;
    s.stripes = 12;
    s.warping = 13;
    s.softness = 14;
    s.doublure = 15;
    s.color = 16;
    s.zoom = 18;
    s.complexity = 19;
    s.hue = 20;
    s.merge = 4;
    s.legacyPercent[0] = 0.7071f;
    s.legacyPercent[1] = 0.25f;
    s.legacyPercent[2] = -0.5f;
    s.gradientColor1[0] = 1;
    s.gradientColor1[1] = 2;
    s.gradientColor1[2] = 3;
    s.gradientColor2[0] = 4;
    s.gradientColor2[1] = 5;
    s.gradientColor2[2] = 255;
    s.shape = 5;
    s.stripeKind = 3;
    s.randomSeed = -123456789;
    return s;
}

// A record of sentinels, so that a field the reader did not touch shows.
inline SettingsRecord sentinelSettings() {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    s.glue = 2;
    s.overlap = s.stripes = s.warping = s.softness = s.doublure = s.color = s.zoom = s.complexity =
        s.hue = 99;
    s.merge = 2;
    s.legacyPercent[0] = s.legacyPercent[1] = s.legacyPercent[2] = 9.0f;
    for (int i = 0; i < 3; ++i) {
        s.gradientColor1[i] = 777;
        s.gradientColor2[i] = 888;
    }
    s.shape = 6;
    s.stripeKind = 1;
    s.randomSeed = 4242;
    s.fileVersion = -7;
    return s;
}

// The 25 values before the picture block of a version-200 file written
// from distinctSettings(), in file order.
inline std::vector<int32_t> distinctFileFields() {
    const SettingsRecord s = distinctSettings();
    return {200,
            s.glue,
            s.overlap,
            s.stripes,
            s.warping,
            s.softness,
            s.doublure,
            s.color,
            s.zoom,
            s.complexity,
            s.hue,
            s.merge,
            70,
            25,
            -50,
            uint16_t(s.gradientColor1[0]),
            uint16_t(s.gradientColor1[1]),
            uint16_t(s.gradientColor1[2]),
            uint16_t(s.gradientColor2[0]),
            uint16_t(s.gradientColor2[1]),
            uint16_t(s.gradientColor2[2]),
            s.shape,
            s.stripeKind,
            0,
            s.randomSeed};
}
