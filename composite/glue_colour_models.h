// Private to the glue modes: the hue models and the angle arithmetic of the
// channel-mixing modes, in a header so that the loops that run the modes
// can inline them (glue_modes.h offers them to everyone else).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "composite/glue_modes.h"

namespace qf::glue_detail {
// Internal linkage, as in the one file that runs the modes, which leaves
// the compiler free to inline them into its loops as it sees fit.
namespace {

using glue::Hsl;
using glue::PerceptualHsl;
using glue::Rgb;

Hsl toHsl(float r, float g, float b) {
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    const float l = (mx + mn) / 2.0f;
    if (l <= 0.0f) {
        return {0.0f, 0.0f, l};
    }
    const float d = mx - mn;
    if (d <= 0.0f) {
        return {0.0f, 0.0f, l};
    }
    const float s = l <= 0.5f ? d / (mx + mn) : d / (2.0f - mx - mn);
    const float rd = (mx - r) / d;
    const float gd = (mx - g) / d;
    const float bd = (mx - b) / d;
    float h;
    if (r == mx) {
        h = g == mn ? 5.0f + bd : 1.0f - gd;
    } else if (g == mx) {
        h = b == mn ? 1.0f + rd : 3.0f - bd;
    } else {
        h = r == mn ? 3.0f + gd : 5.0f - rd;
    }
    return {h * 0.16666667f, s, l};
}

Rgb fromHsl(float h, float s, float l) {
    const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m1 = 2.0f * l - m2;
    if (m2 <= 0.0f) {
        return {0.0f, 0.0f, 0.0f};
    }
    const float h6 = h * 6.0f;
    int32_t k = h6 >= 0.0f && h6 < 7.0f ? int32_t(h6) : 0;
    // The fraction is taken before a full turn wraps to sector 0, so a hue
    // of exactly 1 (pure red comes out of toHsl that way) is red again.
    const float f = h6 - float(k);
    if (k >= 6) {
        k = 0;
    }
    const float up = m1 + f * (m2 - m1);
    const float down = m2 - f * (m2 - m1);
    switch (k) {
    case 0:
        return {m2, up, m1};
    case 1:
        return {down, m2, m1};
    case 2:
        return {m1, m2, up};
    case 3:
        return {m1, down, m2};
    case 4:
        return {up, m1, m2};
    default:
        return {m2, m1, down};
    }
}

float hueBrightness(float h, float s) {
    const Rgb c = fromHsl(h, s, 0.5f);
    return 0.28f * c.r + 0.52f * c.g + 0.2f * c.b;
}

PerceptualHsl toPerceptual(float r, float g, float b) {
    const Hsl hsl = toHsl(r, g, b);
    const float yh = hueBrightness(hsl.h, hsl.s);
    const float p = hsl.l > 0.5f ? yh + (hsl.l - 0.5f) * 2.0f * (1.0f - yh) : hsl.l * 2.0f * yh;
    return {hsl.h, hsl.s, p};
}

Rgb fromPerceptual(float h, float s, float p) {
    const float yc = std::clamp(hueBrightness(h, s), 0.0f, 1.0f);
    float l;
    if (p >= 1.0f) {
        l = 1.0f;
    } else if (p <= 0.0f) {
        l = 0.0f;
    } else if (yc < p) {
        l = (p - yc) / (1.0f - yc) * 0.5f + 0.5f;
    } else {
        l = p / yc * 0.5f;
    }
    return fromHsl(h, s, l);
}

float octantAngle(float x, float y) {
    constexpr float q = 0.7853981634f;
    if (x == 0.0f && y == 0.0f) {
        return 0.0f;
    }
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const bool flat = ay <= ax;
    const float r = flat ? ay / ax : ax / ay;
    if (x > 0.0f) {
        if (y > 0.0f) {
            return flat ? r * q : (2.0f - r) * q;
        }
        return flat ? (8.0f - r) * q : (6.0f + r) * q;
    }
    if (y > 0.0f) {
        return flat ? (4.0f - r) * q : (2.0f + r) * q;
    }
    return flat ? (4.0f + r) * q : (6.0f - r) * q;
}

void sinCos(float angle, float& s, float& c) {
    double x = angle;
    if (!(std::fabs(x) < 1.0e6)) {
        s = 0.0f;
        c = 1.0f;
        return;
    }
    // Reduce to -pi/4..pi/4 by the nearest multiple of pi/2, with pi/2 split
    // in two parts so the reduction loses nothing for these small angles.
    constexpr double kTwoOverPi = 0.63661977236758134308;
    constexpr double kHalfPiHigh = 1.57079632673412561417e+00;
    constexpr double kHalfPiLow = 6.07710050650619224932e-11;
    const double n = std::floor(x * kTwoOverPi + 0.5);
    const double r = (x - n * kHalfPiHigh) - n * kHalfPiLow;
    const double r2 = r * r;
    // Taylor series; at |r| <= pi/4 the omitted terms are below 1e-13.
    const double sr =
        r +
        r * r2 *
            (-1.0 / 6.0 +
             r2 * (1.0 / 120.0 + r2 * (-1.0 / 5040.0 +
                                       r2 * (1.0 / 362880.0 + r2 * (-1.0 / 39916800.0 +
                                                                    r2 * (1.0 / 6227020800.0))))));
    const double cr =
        1.0 +
        r2 * (-0.5 + r2 * (1.0 / 24.0 +
                           r2 * (-1.0 / 720.0 + r2 * (1.0 / 40320.0 +
                                                      r2 * (-1.0 / 3628800.0 +
                                                            r2 * (1.0 / 479001600.0 +
                                                                  r2 * (-1.0 / 87178291200.0)))))));
    const int quadrant = int(int64_t(n) & 3);
    switch (quadrant) {
    case 0:
        s = float(sr);
        c = float(cr);
        break;
    case 1:
        s = float(cr);
        c = float(-sr);
        break;
    case 2:
        s = float(-sr);
        c = float(-cr);
        break;
    default:
        s = float(-cr);
        c = float(sr);
        break;
    }
}

} // namespace
} // namespace qf::glue_detail
