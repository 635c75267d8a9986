// Private to the glue modes: the modes that work on each colour channel
// alone, the top value t over the base value b, on the fixed-point values
// or on the floats.
#pragma once

#include <algorithm>

#include "composite/glue_fixed_point.h"
#include "composite/glue_modes.h"

namespace qf::glue_detail {
// Internal linkage, as in the one file that runs the modes, which leaves
// the compiler free to inline them into its loops as it sees fit.
namespace {

inline Wide vividA(Wide t, Wide b) {
    const auto eightBit = [](Wide v) -> Wide {
        const Wide n = v + 1;
        return (n & 0x8000) != 0 ? 255 : (n >> 7) & 511;
    };
    const Wide t8 = eightBit(t);
    const Wide b8 = eightBit(b);
    // Both divisors are odd, so never zero.
    const Wide v = t8 < 128 ? (b8 * 256 - 65280) / (2 * t8 + 1) + 255 : b8 * 256 / (511 - 2 * t8);
    if (v < 0) {
        return 0;
    }
    if (v >= 255) {
        return kOne;
    }
    return v * 128 + v / 2;
}

inline Wide superlay(Wide t, Wide b) {
    const Wide m = (t * b) >> 15;
    const Wide u = kOne - (((kOne - t) * b) >> 15) - t;
    const Wide k = kOne - (mulSat(kOne - m, kOne - m) >> 15);
    const Wide uu = mulSat(u, u) >> 15;
    if (k < kHalf) {
        return mulSat(kOne - uu, k) >> 14;
    }
    return kOne - (mulSat(uu, kOne - k) >> 14);
}

inline Wide softLight(Wide t, Wide b) {
    if (t < kHalf) {
        return addSat(t * b, mulSat((b * b) / kOne, kHalf - t)) >> 14;
    }
    // The upper half is worked at 8-bit precision; 130 and 258 belong to it.
    const Wide i = 255 - b / 128;
    const Wide t8 = t / 128;
    const Wide inner = addSat(mulSat((i * i) / 256, t8 - 130), (258 - t8) * i);
    return mulSat(255 - (inner >> 7), 128);
}

inline Wide cross(Wide t, Wide b) {
    const Wide d = (t - kHalf) * (t - kHalf) / 8192 - (b - kHalf) * (b - kHalf) / 8192;
    const Wide r = kOne - (d < 0 ? -d : d);
    return r < 0 ? 0 : r;
}

inline Wide burn(Wide t, Wide b) {
    const Wide divisor = t + 1;
    if (divisor == 0) {
        // A top of -1/32768 only comes from out-of-range input; take the
        // limit of the formula (an infinite quotient, then limited).
        return b >= kOne ? kOne : 0;
    }
    return limitToOne((b - kOne) * kOne / divisor + kOne);
}

inline Wide dodge(Wide t, Wide b) {
    if (t == kOne) {
        return t;
    }
    return limitToOne(b * kOne / (kOne - t));
}

// The curve modes 64 to 67 on the float channels.
inline float glow(float t, float b) {
    const float room = 1.0f - b;
    return room > 0.0f ? std::min(1.0f, t * t / room) : 1.0f;
}

inline float shimmer(float t, float b) {
    const float room = 1.0f - b;
    if (!(room > 0.0f)) {
        return 1.0f;
    }
    float v = t * t * 0.5f / room;
    if (v > 0.5f) {
        v = 1.0f - 0.25f / v;
    }
    return v;
}

// ---- The modes. ----

Wide normal(Wide t, Wide) {
    return t;
}

Wide proceduralPlus(Wide t, Wide b) {
    const Wide w = b < kHalf ? b / 2 : kHalf - b / 2;
    return (t * w + (kHalf - w) * b) >> 14;
}

Wide proceduralMinus(Wide t, Wide b) {
    return std::min(kOne, t + ((t * b) >> 15));
}
Wide difference(Wide t, Wide b) {
    return addSat((kOne - t) * b, (kOne - b) * t) >> 15;
}
Wide lighten(Wide t, Wide b) {
    return t < b ? b : t;
}
Wide darken(Wide t, Wide b) {
    return b < t ? b : t;
}
Wide add(Wide t, Wide b) {
    return t + b > kOne ? kOne : t + b;
}
Wide subtract(Wide t, Wide b) {
    return t - b < 0 ? 0 : t - b;
}
Wide multiply(Wide t, Wide b) {
    return (t * b) >> 15;
}
Wide screen(Wide t, Wide b) {
    return t + (((kOne - t) * b) >> 15);
}
Wide linearLight(Wide t, Wide b) {
    return limitToOne(b + 2 * t - kOne);
}
Wide pinLight(Wide t, Wide b) {
    return pin(t, b);
}
Wide spinLight(Wide t, Wide b) {
    return pin(b, t);
}
Wide vividB(Wide t, Wide b) {
    return limitToOne(2 * t - b);
}

Wide similarity(Wide t, Wide b) {
    const Wide d = t + b - kOne;
    return kOne - (d < 0 ? -d : d);
}

Wide hardDiff(Wide t, Wide b) {
    return t < b ? b - t : t - b;
}
Wide ace(Wide t, Wide b) {
    return addSat(t * t, (kOne - t) * b) >> 15;
}
Wide king(Wide t, Wide b) {
    return mulSat(b, t - b + kOne) >> 15;
}
Wide queen(Wide t, Wide b) {
    return mulSat(t, b - t + kOne) >> 15;
}
Wide jack(Wide t, Wide b) {
    return addSat(b * b, (kOne - b) * t) >> 15;
}
Wide bitAnd(Wide t, Wide b) {
    return t & b;
}
Wide bitOr(Wide t, Wide b) {
    return t | b;
}
Wide bitXor(Wide t, Wide b) {
    return t ^ b;
}

Wide multibright(Wide t, Wide b) {
    const float m = float(t * b) * 9.3132257462e-10f;
    return toFixed(m * (2.0f - m));
}

Wide hot(Wide t, Wide b) {
    return pin(pin(b, t), pin(b, kOne - t));
}
Wide cold(Wide t, Wide b) {
    return pin(pin(t, b), pin(t, kOne - b));
}
Wide wet(Wide t, Wide b) {
    return pin(overlay(t, b), kOne - hardLight(t, kOne - b));
}
Wide dry(Wide t, Wide b) {
    return pin(overlay(kOne - t, b), hardLight(t, b));
}
Wide up(Wide t, Wide b) {
    return pin(hardLight(t, b), overlay(t, b));
}
Wide down(Wide t, Wide b) {
    return pin(overlay(t, b), hardLight(t, b));
}
Wide hardMix(Wide t, Wide b) {
    return t + b > kOne ? kOne : 0;
}

Wide screendim(Wide t, Wide b) {
    const float s = 1.0f - float((kOne - t) * (kOne - b)) * 9.3132257462e-10f;
    return toFixed(s * s);
}

Wide negation(Wide t, Wide b) {
    const Wide s = t + b;
    return s <= kOne ? s : 2 * kOne - s;
}

Wide contrastNegate(Wide t, Wide b) {
    const Wide f = t > kHalf ? kOne - t : t;
    return b <= kHalf ? kOne - f : f;
}

Wide dextrous(float t, float b) {
    return toFixed(compareRatio(b, t));
}
Wide glowMode(float t, float b) {
    return toFixed(glow(t, b));
}
Wide reflect(float t, float b) {
    return toFixed(glow(b, t));
}
Wide shimmerMode(float t, float b) {
    return toFixed(shimmer(t, b));
}
Wide lustre(float t, float b) {
    return toFixed(shimmer(b, t));
}

} // namespace
} // namespace qf::glue_detail
