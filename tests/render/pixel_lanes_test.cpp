// The lane helpers written as minimum, maximum and clamp against the
// compare-and-select forms they stand for, on the values where such
// rewrites go wrong: signed zeros, NaN, infinities and range boundaries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "render/float_index.h"
#include "render/shape_paint.h"

namespace qf {}
using namespace qf;

namespace {

uint32_t bitsOfFloat(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::vector<float> awkwardValues() {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float limit = float(kCellIndexLimit);
    return {0.0f,
            -0.0f,
            nan,
            -nan,
            inf,
            -inf,
            1.0f,
            std::nextafter(1.0f, 2.0f),
            std::nextafter(1.0f, 0.0f),
            2.0f,
            std::nextafter(2.0f, 3.0f),
            -1.0f,
            0.5f,
            -0.5f,
            1.5f,
            -1.5f,
            3.0f,
            1e-45f,
            -1e-45f,
            limit,
            -limit,
            std::nextafter(limit, 0.0f),
            std::nextafter(-limit, 0.0f),
            std::nextafter(limit, inf),
            std::nextafter(-limit, -inf),
            2147483648.0f,
            -2147483648.0f,
            123456.7f,
            -98765.4f,
            std::numeric_limits<float>::max(),
            -std::numeric_limits<float>::max()};
}

// The channel fold as a plain compare and select.
float foldReference(float v) {
    v = v > 1.0f ? 2.0f - v : v;
    v = v < 0.0f ? -v : v;
    return v;
}

} // namespace

TEST(PixelLanes, FoldAndIndexGiveEachLaneWhatThePlainFormsGive) {
    const std::vector<float> values = awkwardValues();
    for (size_t first = 0; first < values.size(); first += kLaneCount) {
        Lanes v{};
        for (int32_t lane = 0; lane < kLaneCount; ++lane)
            v[lane] = values[(first + size_t(lane)) % values.size()];
        const Lanes folded = foldChannel(v);
        const LaneInts index = truncToIndex(v);
        for (int32_t lane = 0; lane < kLaneCount; ++lane) {
            const float x = v[lane];
            // Bit for bit, so that -0 and the sign of a NaN count too.
            EXPECT_EQ(bitsOfFloat(folded[lane]), bitsOfFloat(foldReference(x))) << x;
            EXPECT_EQ(bitsOfFloat(foldChannel(x)), bitsOfFloat(foldReference(x))) << x;
            EXPECT_EQ(index[lane], truncToIndex(x)) << x;
        }
    }
}

TEST(PixelLanes, BlendTakesEachLaneFromWhereItsMaskSays) {
    Lanes a{};
    Lanes b{};
    LaneMask m{};
    for (int32_t lane = 0; lane < kLaneCount; ++lane) {
        a[lane] = float(lane) + 0.25f;
        b[lane] = -float(lane) - 0.5f;
        m[lane] = lane % 3 == 1 ? -1 : 0;
    }
    const Lanes r = blendLanes(m, a, b);
    for (int32_t lane = 0; lane < kLaneCount; ++lane)
        EXPECT_EQ(r[lane], lane % 3 == 1 ? a[lane] : b[lane]) << lane;
}
