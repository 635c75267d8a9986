// The preview target: renders into the 8-bit plane buffer at a reduction
// and pan, checked against the final render of the same settings.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "rate_host.h"

namespace qf {}
using namespace qf;

using qftest::RateHost;

namespace {

// The final render of the whole document, tile by tile as the host sees it.
std::vector<uint8_t> finalRender(int32_t w, int32_t h) {
    RateHost host(w, h);
    host.renderFinal();
    return host.finalPixels;
}

} // namespace

TEST(PreviewRender, AtFullSizeWithoutPanItMatchesTheFinalRender) {
    const int32_t w = 300, h = 170;
    const std::vector<uint8_t> final = finalRender(w, h);
    ASSERT_FALSE(final.empty());

    RateHost host(w, h);
    host.settings.previewZoom = 1;
    readPreviewSource(host.call);
    ASSERT_EQ(host.result, 0);
    renderPreviewPass(host.call);
    ASSERT_EQ(host.result, 0);
    const uint8_t* planes = host.ctx.planeBuffer;
    const size_t plane = size_t(w) * h;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(planes[c * plane + size_t(y) * w + x], final[(size_t(y) * w + x) * 3 + c])
                    << x << "," << y;
    // Previews neither report progress nor ask about cancelling.
    EXPECT_EQ(host.progressCalls, 0);
    EXPECT_EQ(host.abortTests, 0);
}

TEST(PreviewRender, PanShiftsThePatternByWholePixels) {
    const int32_t w = 300, h = 170;
    const std::vector<uint8_t> final = finalRender(w, h);
    RateHost host(w, h);
    host.settings.previewZoom = 1;
    host.settings.previewOffsetX = 10;
    host.settings.previewOffsetY = 4;
    readPreviewSource(host.call);
    renderPreviewPass(host.call);
    const size_t plane = size_t(w) * h;
    for (int32_t y = 0; y + 4 < h; ++y)
        for (int32_t x = 0; x + 10 < w; ++x)
            ASSERT_EQ(host.ctx.planeBuffer[plane + size_t(y) * w + x],
                      final[(size_t(y + 4) * w + x + 10) * 3 + 1]);
}

TEST(PreviewRender, ReductionSamplesEveryNthPixelAndRestoresTheState) {
    const int32_t w = 390, h = 240;
    const std::vector<uint8_t> final = finalRender(w, h);
    for (int32_t n : {2, 3}) {
        RateHost host(w, h);
        host.settings.previewZoom = n;
        host.settings.previewOffsetX = 0;
        host.settings.glue = 9;
        host.settings.complexity = 0;
        host.settings.glue = 1;
        host.big.inRect32 = VRect{1, 2, 3, 4};
        readPreviewSource(host.call);
        const VRect inBefore = host.big.inRect32;
        const SettingsRecord before = host.settings;
        renderPreviewPass(host.call);
        ASSERT_EQ(host.result, 0);
        // Everything the render touched is back.
        for (size_t i = 0; i < sizeof before; ++i)
            ASSERT_EQ(reinterpret_cast<const uint8_t*>(&before)[i],
                      reinterpret_cast<const uint8_t*>(&host.settings)[i])
                << "settings byte " << i;
        EXPECT_EQ(host.big.inRect32.left, inBefore.left);
        EXPECT_EQ(host.big.inRect32.right, inBefore.right);
        const int32_t pw = host.ctx.previewWidth, ph = host.ctx.previewHeight;
        EXPECT_EQ(pw, w / n);
        EXPECT_EQ(ph, h / n);
        // The pattern is sampled at n-pixel spacing; the float steps differ
        // slightly from the full-size render, so most pixels agree exactly
        // and nearly all within a few levels.
        int close = 0;
        for (int32_t y = 0; y < ph; ++y)
            for (int32_t x = 0; x < pw; ++x) {
                const int a = host.ctx.planeBuffer[size_t(y) * pw + x];
                const int b = final[(size_t(y * n) * w + x * n) * 3];
                close += std::abs(a - b) <= 3;
            }
        EXPECT_GT(close, pw * ph * 95 / 100) << "reduction " << n;
    }
}

// The dialog previews again and again in one run, at sizes that change
// with the zoom and come back: each preview is what a first one at its
// size gives, whatever the run previewed before.
TEST(PreviewRender, RepeatedPreviewsOfChangingSizeMatchFirstOnes) {
    const int32_t w = 290, h = 200;
    auto preview = [](RateHost& host, int32_t zoom) {
        host.settings.previewZoom = zoom;
        readPreviewSource(host.call);
        if (host.result == 0) renderPreviewPass(host.call);
        const size_t bytes = size_t(host.ctx.previewWidth) * size_t(host.ctx.previewHeight) * 3;
        return std::vector<uint8_t>(host.ctx.planeBuffer, host.ctx.planeBuffer + bytes);
    };
    RateHost run(w, h);
    for (int32_t zoom : {3, 1, 2, 2, 3, 1}) {
        RateHost fresh(w, h);
        const std::vector<uint8_t> expect = preview(fresh, zoom);
        RateHost::active = &run;
        ASSERT_EQ(preview(run, zoom), expect) << "zoom " << zoom;
        ASSERT_EQ(run.result, 0);
        EXPECT_EQ(run.ctx.planeCount, 3);
    }
}
