// Handing a finished tile to the compositor.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/tile_buffer.h"
#include "render/tile_composite.h"
#include "values/settings_record.h"

namespace qf {}
using namespace qf;

namespace {

TEST(TileComposite, EveryPixelReachesItsPlaceInThePreview) {
    // A 3 x 2 tile at (left 2, top 1) of an 8 x 4 preview, RGB, no mask, no
    // source, glue "normal" with opaque colours: each preview byte is the
    // generated channel times 255.
    const PixelRect tile{1, 2, 3, 5};
    TileBuffer b;
    ASSERT_TRUE(b.allocate(tile));
    for (int32_t y = tile.top; y < tile.bottom; ++y) {
        for (int32_t x = tile.left; x < tile.right; ++x) {
            writeTilePixel(b, x, y,
                           FloatRGBA{(x - 2) * 0.5f, static_cast<float>(y - 1), 1.0f, 1.0f});
        }
    }
    std::vector<FloatRGBA> before(b.data(), b.data() + b.bufferWidth() * b.bufferHeight());

    std::vector<uint8_t> preview(8 * 4 * 3, 7);
    CompositeTarget t;
    t.renderTarget = kTargetPreview;
    t.glue = 1;
    t.previewData = preview.data();
    t.previewWidth = 8;
    t.previewHeight = 4;
    t.previewPlaneDistance = 32;
    t.previewPlanes = 3;
    compositeTile(t, b);

    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            const uint8_t* p = &preview[y * 8 + x];
            const bool inside =
                x >= tile.left && x < tile.right && y >= tile.top && y < tile.bottom;
            if (!inside) {
                EXPECT_EQ(p[0], 7) << x << "," << y;
                continue;
            }
            EXPECT_LE(std::abs(p[0] - static_cast<int>((x - 2) * 0.5f * 255)), 1) << x << "," << y;
            EXPECT_LE(std::abs(p[32] - (y - 1) * 255), 1) << x << "," << y;
            EXPECT_GE(p[64], 254);
        }
    }
    // The tile's own colours are left as they were.
    EXPECT_EQ(std::memcmp(before.data(), b.data(), before.size() * sizeof(FloatRGBA)), 0);
}

} // namespace
