// Renders into a picture over a copy of the document give the pixels of the
// final render of the same settings.
#include <cstring>

#include <gtest/gtest.h>

#include "composite/picture/pyramid_image.h"
#include "plugin/image_render.h"
#include "rate_host.h"

namespace qf {}
using namespace qf;

using qftest::RateHost;

namespace {

const int32_t kWidth = 150, kHeight = 70;

std::vector<uint8_t> finalRender(int depth, int32_t glue) {
    RateHost host(kWidth, kHeight, depth);
    host.settings.glue = glue;
    host.settings.randomSeed = glue * 13;
    host.renderFinal();
    EXPECT_EQ(host.result, 0);
    return host.finalPixels;
}

// Counts the colour samples of the picture that differ from `final`.
int differingSamples(const PyramidImage& picture, const std::vector<uint8_t>& final, int depth) {
    int differing = 0;
    const int b = depth / 8;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint8_t* p = picture.pixelAddress(x, y, 0);
            for (int c = 0; c < 3; ++c) {
                const uint8_t* f = &final[((size_t(y) * kWidth + x) * 3 + c) * b];
                uint8_t sample[4];
                if (depth == 8) {
                    uint32_t word;
                    std::memcpy(&word, p, 4); // red in the most significant byte
                    sample[0] = uint8_t(word >> (24 - 8 * c));
                } else {
                    std::memcpy(sample, p + b * c, b);
                }
                differing += std::memcmp(sample, f, b) != 0;
            }
        }
    return differing;
}

} // namespace

TEST(ImageRender, MatchesTheFinalRenderForEveryDepthAndOpaqueGlueMode) {
    for (int depth : {8, 16, 32}) {
        for (int32_t glue = 1; glue <= 69; ++glue) {
            if (glue == 63) continue; // starbright changes alpha
            const std::vector<uint8_t> final = finalRender(depth, glue);

            RateHost host(kWidth, kHeight, depth);
            host.settings.glue = glue;
            host.settings.randomSeed = glue * 13;
            host.settings.previewOffsetX = 17;
            host.settings.previewZoom = 3;
            PyramidImage picture;
            ASSERT_TRUE(createImage(&picture, kWidth, kHeight, documentPictureKind(host.call),
                                    kPyramidClamp, false));
            ASSERT_EQ(renderIntoImage(host.call, picture), 0);
            EXPECT_TRUE(picture.filled());
            EXPECT_EQ(differingSamples(picture, final, depth), 0)
                << "depth " << depth << " glue " << glue;

            // Nothing of the dialog's state or the document changed.
            EXPECT_EQ(host.settings.previewOffsetX, 17);
            EXPECT_EQ(host.settings.previewZoom, 3);
            EXPECT_EQ(host.settings.renderTarget, kTargetFinal);
            EXPECT_EQ(host.settings.passIndex, -1);
            EXPECT_EQ(host.settings.glue, glue);
            EXPECT_TRUE(host.finalPixels == host.pixels);
        }
    }
}
