// The preview target: renders into the 8-bit plane buffer at a reduction
// and pan, checked against the final render of the same settings.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin/plugin_globals.h"

namespace {

// A host serving one 8-bit RGB document at any sampling rate with edge
// replication, as an editor does for previews.
struct RateHost {
    static RateHost* active;
    int32_t width, height;
    std::vector<uint8_t> pixels; // interleaved RGB
    std::vector<uint8_t> inBuf, outBuf;
    int32_t advances = 0, progressCalls = 0, abortTests = 0;

    FilterRecord fr{};
    BigDocumentStruct big{};
    SettingsRecord settings{};
    RunContext ctx{};
    int16 result = 0;

    RateHost(int32_t w, int32_t h) : width(w), height(h), pixels(size_t(w) * h * 3) {
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7 % 251);
        active = this;
        fr.imageMode = plugInModeRGBColor;
        fr.depth = 8;
        fr.planes = 3;
        fr.filterCase = filterCaseFlatImageNoSelection;
        fr.advanceState = &RateHost::advance;
        fr.displayPixels = &RateHost::display;
        fr.abortProc = &RateHost::abortTest;
        fr.progressProc = &RateHost::progress;
        fr.samplingSupport = hostSupportsIntegralSampling;
        fr.bigDocumentData = &big;
        big.PluginUsing32BitCoordinates = 1;
        big.filterRect32 = VRect{0, 0, h, w};
        resetSettings(settings);
        settings.passIndex = -1;
        ctx.previewPane = PixelRect{0, 0, 1000, 1000};
        g.record = &fr;
        g.settings = &settings;
        g.context = &ctx;
        g.result = &result;
    }
    ~RateHost() {
        g.context = &ctx;
        releaseRenderBuffers(ctx);
        std::free(ctx.planeBuffer);
        g = PluginGlobals{};
        active = nullptr;
    }

    static OSErr advance() {
        RateHost& h = *active;
        ++h.advances;
        const VRect in = h.big.inRect32;
        const int32_t rate = h.fr.inputRate >> 16;
        const int32_t w = in.right - in.left, ht = in.bottom - in.top;
        const int32_t planes = h.fr.inHiPlane - h.fr.inLoPlane + 1;
        h.inBuf.assign(size_t(std::max(w, 0)) * std::max(ht, 0) * planes, 0);
        for (int32_t y = 0; y < ht; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const int32_t dx = std::clamp((in.left + x) * rate, 0, h.width - 1);
                const int32_t dy = std::clamp((in.top + y) * rate, 0, h.height - 1);
                for (int32_t p = 0; p < planes; ++p)
                    h.inBuf[(size_t(y) * w + x) * planes + p] =
                        h.pixels[(size_t(dy) * h.width + dx) * 3 + h.fr.inLoPlane + p];
            }
        h.fr.inData = h.inBuf.data();
        h.fr.inRowBytes = w * planes;
        // Output: the document pixels of the out rectangle at rate 1.
        const VRect out = h.big.outRect32;
        h.outBuf.assign(size_t(std::max(out.right - out.left, 0)) * std::max(out.bottom - out.top, 0) * 3, 0);
        h.fr.outData = h.outBuf.data();
        h.fr.outRowBytes = (out.right - out.left) * 3;
        h.lastOut = out;
        return noErr;
    }
    // Stores what the module wrote into the previous output buffer.
    void commitOutput() {
        const VRect out = lastOut;
        for (int32_t y = out.top; y < out.bottom; ++y)
            for (int32_t x = out.left; x < out.right; ++x)
                for (int c = 0; c < 3; ++c)
                    if (x >= 0 && y >= 0 && x < width && y < height)
                        finalPixels[(size_t(y) * width + x) * 3 + c] =
                            outBuf[(size_t(y - out.top) * (out.right - out.left) + (x - out.left)) * 3 + c];
    }
    static OSErr display(const PSPixelMap*, const VRect*, int32, int32, void*) { return noErr; }
    static Boolean abortTest() { return ++active->abortTests, 0; }
    static void progress(int32, int32) { ++active->progressCalls; }

    VRect lastOut{};
    std::vector<uint8_t> finalPixels;
};
RateHost* RateHost::active = nullptr;

// The final render of the whole document, tile by tile as the host sees it.
std::vector<uint8_t> finalRender(int32_t w, int32_t h) {
    RateHost host(w, h);
    host.finalPixels.assign(size_t(w) * h * 3, 0);
    // Commit after every delivery: wrap the advance.
    static RateHost* self;
    self = &host;
    host.fr.advanceState = [] {
        if (self->fr.outData) self->commitOutput();
        return RateHost::advance();
    };
    if (!allocateRenderBuffers(host.ctx)) return {};
    renderFinalPass();
    host.commitOutput();
    return host.finalPixels;
}

} // namespace

TEST(PreviewRender, AtFullSizeWithoutPanItMatchesTheFinalRender) {
    const int32_t w = 300, h = 170;
    const std::vector<uint8_t> final = finalRender(w, h);
    ASSERT_FALSE(final.empty());

    RateHost host(w, h);
    host.settings.previewZoom = 1;
    readPreviewSource(host.fr);
    ASSERT_EQ(host.result, 0);
    renderPreviewPass();
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
    readPreviewSource(host.fr);
    renderPreviewPass();
    const size_t plane = size_t(w) * h;
    for (int32_t y = 0; y + 4 < h; ++y)
        for (int32_t x = 0; x + 10 < w; ++x)
            ASSERT_EQ(host.ctx.planeBuffer[plane + size_t(y) * w + x], final[(size_t(y + 4) * w + x + 10) * 3 + 1]);
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
        readPreviewSource(host.fr);
        const VRect inBefore = host.big.inRect32;
        const SettingsRecord before = host.settings;
        renderPreviewPass();
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
