// Single-precision conversions between RGB and hue, saturation, lightness,
// used by the hue rotation of every generated pixel. Inputs are expected in
// 0..1.
#pragma once

#include <cstdint>

namespace qf {

struct HslColour {
    float h, s, l;
};

struct RgbColour {
    float r, g, b;
};

inline HslColour rgbToHsl(float r, float g, float b) {
    const float mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const float mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    HslColour out{0.0f, 0.0f, (mx + mn) / 2.0f};
    if (out.l <= 0.0f) {
        return out;
    }
    const float d = mx - mn;
    if (d <= 0.0f) {
        return out;
    }
    out.s = out.l <= 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
    const float rc = (mx - r) / d;
    const float gc = (mx - g) / d;
    const float bc = (mx - b) / d;
    float h;
    if (r == mx) {
        h = g == mn ? 5.0f + bc : 1.0f - gc;
    } else if (g == mx) {
        h = b == mn ? 1.0f + rc : 3.0f - bc;
    } else {
        h = r == mn ? 3.0f + gc : 5.0f - rc;
    }
    out.h = h * 0.16666667f;
    return out;
}

inline RgbColour hslToRgb(float h, float s, float l) {
    const float v = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m = l + l - v;
    if (v <= 0.0f) {
        return RgbColour{0.0f, 0.0f, 0.0f};
    }
    const float sv = (v - m) / v;
    const float h6 = h * 6.0f;
    // Also keeps the conversion defined for a hue outside 0..1.
    const int32_t sextant = (h6 >= 0.0f && h6 < 6.0f) ? static_cast<int32_t>(h6) : 0;
    const float f = h6 - static_cast<float>(sextant);
    const float t = v * sv * f;
    const float up = m + t;
    const float down = v - t;
    switch (sextant) {
    case 0:
        return RgbColour{v, up, m};
    case 1:
        return RgbColour{down, v, m};
    case 2:
        return RgbColour{m, v, up};
    case 3:
        return RgbColour{m, down, v};
    case 4:
        return RgbColour{up, m, v};
    default:
        return RgbColour{v, m, down};
    }
}

} // namespace qf
