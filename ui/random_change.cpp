#include "ui/random_change.h"

#include <cmath>

namespace qf {

namespace {

// v + t * (target - v), truncated toward zero and kept inside 32 bits.
int32_t blend(int32_t value, int32_t target, double strength) {
    const double moved = std::trunc(double(value) + strength * (double(target) - double(value)));
    if (!(moved == moved)) return value;
    if (moved >= 2147483647.0) return INT32_MAX;
    if (moved <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(moved);
}

} // namespace

int32_t randomInRange(int32_t a, int32_t b, RawRandom raw) {
    if (b < a) {
        const int32_t swapped = a;
        a = b;
        b = swapped;
    }
    const int64_t span = int64_t{b} - a;
    int64_t mask = 1;
    while (mask < span) mask = mask * 2 + 1;
    for (;;) {
        const int64_t r = a + (mask & int64_t{raw() >> 4});
        if (r <= b) return static_cast<int32_t>(r);
    }
}

void randomChange(SettingsRecord& s, double strength, RawRandom raw) {
    const double chance = strength * strength * 100.0;
    auto toward = [&](int32_t& field, int32_t target) { field = blend(field, target, strength); };
    auto percent = [&] { return randomInRange(0, 100, raw); };

    toward(s.overlap, percent());
    toward(s.warping, percent());
    toward(s.softness, percent());
    toward(s.doublure, percent());
    int32_t zoomTarget = randomInRange(8, 80, raw);
    if (percent() > 90) zoomTarget = percent();
    toward(s.zoom, zoomTarget);
    toward(s.hue, percent());
    toward(s.color, percent());
    if (percent() <= chance) s.merge = randomInRange(1, 4, raw);
    toward(s.stripes, percent());
    if (percent() <= chance) s.shape = randomInRange(1, 7, raw);
    int32_t complexityTarget = 0;
    if (percent() > 95) complexityTarget = randomInRange(0, 50, raw);
    toward(s.complexity, complexityTarget);
    if (percent() <= chance) s.stripeKind = raw() % 4 + 1;
}

bool randomResultAcceptable(const SettingsRecord& s) {
    const int32_t k = s.stripeKind, m = s.merge, S = s.stripes, D = s.doublure;
    switch (k) {
    case 1:
        return !((m == 1 || m == 4) && ((S < 20 && D >= 45) || (S < 60 && D >= 40)));
    case 2:
        return !(m == 1 && S < 25 && D >= 50);
    case 3:
        return !((m == 1 && S < 50 && D >= 50) || (m == 3 && S < 33) || (m == 4 && S < D / 5 + 40));
    case 4:
        return !((m == 1 || m == 4) && S < 17);
    default:
        return true;
    }
}

int randomize(SettingsRecord& settings, RawRandom raw) {
    int attempts = 0;
    do {
        randomChange(settings, kRandomizeStrength, raw);
        ++attempts;
    } while (attempts < kRandomizeAttempts && !randomResultAcceptable(settings));
    return attempts;
}

int32_t randomSeedDraw(RawRandom raw) {
    return raw() & 0x7FF;
}

} // namespace qf
