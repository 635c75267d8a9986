// A worker slot's buffer taken again for the next tile.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "render/tile_buffer.h"

namespace qf {}
using namespace qf;

namespace {

bool isClear(const FloatRGBA* p) {
    const FloatRGBA zero{};
    return std::memcmp(p, &zero, sizeof zero) == 0;
}

void fillWith(TileBuffer& b, float v) {
    const size_t count = size_t(b.bufferWidth()) * size_t(b.bufferHeight());
    for (size_t i = 0; i < count; ++i) {
        b.data()[i] = FloatRGBA{v, v, v, v};
    }
}

// Every border element (the ring around the tile) is transparent black, and
// the inside is too when `inside`.
void expectClear(const TileBuffer& b, bool inside) {
    const PixelRect r = b.rect();
    for (int32_t y = r.top - 1; y <= r.bottom; ++y) {
        for (int32_t x = r.left - 1; x <= r.right; ++x) {
            const bool border = y < r.top || y >= r.bottom || x < r.left || x >= r.right;
            if (border || inside) {
                ASSERT_TRUE(isClear(b.at(x, y))) << x << " " << y;
            }
        }
    }
}

TEST(TileBufferReuse, BorderIsClearedEveryTimeAndTheInsideWhenAsked) {
    TileBuffer b;
    // Growing, shrinking to a single pixel and an empty tile, uneven sides,
    // negative coordinates: each time after garbage was left everywhere.
    const PixelRect tiles[] = {{0, 0, 128, 128}, {5, 7, 6, 8},     {-3, -9, 120, 1},
                               {10, 20, 10, 20}, {0, 0, 128, 128}, {-200, 3, -72, 100},
                               {0, 0, 130, 129}};
    for (const PixelRect& t : tiles) {
        ASSERT_TRUE(b.reuseFor(t, false));
        EXPECT_EQ(b.bufferWidth(), t.right - t.left + 2);
        EXPECT_EQ(b.bufferHeight(), t.bottom - t.top + 2);
        expectClear(b, false);
        fillWith(b, 7.0f);
        ASSERT_TRUE(b.reuseFor(t, true));
        expectClear(b, true);
        fillWith(b, -1.0f);
    }
    // Refused rectangles leave an empty buffer, and it can be had again.
    EXPECT_FALSE(b.reuseFor(PixelRect{0, 10, 10, 0}, false));
    EXPECT_FALSE(b.valid());
    EXPECT_FALSE(b.reuseFor(PixelRect{0, 0, 10, kMaxTileSide + 1}, false));
    EXPECT_FALSE(b.valid());
    ASSERT_TRUE(b.reuseFor(PixelRect{1, 1, 3, 3}, false));
    expectClear(b, false);
}

} // namespace
