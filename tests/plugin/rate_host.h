// A small in-test host for the plug-in's own render passes (preview and
// picture renders, which the dialog and the exports start from inside a
// filtering run): one RGB document at 8, 16 or 32 bits, served at any
// sampling rate with edge replication, output written back into a copy.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin/module_call.h"

namespace qf {}
using namespace qf;

namespace qftest {

struct RateHost {
    static inline RateHost* active = nullptr;
    int32_t width, height, bytes;
    std::vector<uint8_t> pixels;      // interleaved RGB source
    std::vector<uint8_t> finalPixels; // what the module wrote
    std::vector<uint8_t> inBuf, outBuf;
    std::vector<size_t> columns; // source byte offset of each input column
    VRect lastOut{};
    int32_t progressCalls = 0, abortTests = 0;

    FilterRecord fr{};
    BigDocumentStruct big{};
    SettingsRecord settings{};
    RunContext ctx{};
    int16 result = 0;
    // The call the module's render passes run in.
    ModuleCall call{&fr, nullptr, &result};

    RateHost(int32_t w, int32_t h, int depth = 8)
        : width(w), height(h), bytes(depth / 8), pixels(size_t(w) * h * 3 * (depth / 8)) {
        for (size_t i = 0; i < size_t(w) * h * 3; ++i) {
            const double v = double(i * 7 % 251) / 250.0;
            if (depth == 8)
                pixels[i] = uint8_t(v * 255);
            else if (depth == 16) {
                const uint16_t s = uint16_t(v * 32768);
                std::memcpy(&pixels[i * 2], &s, 2);
            } else {
                const float f = float(v);
                std::memcpy(&pixels[i * 4], &f, 4);
            }
        }
        finalPixels = pixels;
        active = this;
        fr.imageMode = depth == 8    ? plugInModeRGBColor
                       : depth == 16 ? plugInModeRGB48
                                     : plugInModeRGB96;
        fr.depth = depth;
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
        call.settings = &settings;
        call.context = &ctx;
    }
    ~RateHost() {
        releaseRunBuffers(ctx);
        active = nullptr;
    }

    // Writes the previous output buffer back, then serves the request.
    static OSErr advance() {
        RateHost& h = *active;
        h.commitOutput();
        const VRect in = h.big.inRect32;
        const int32_t rate = std::max(h.fr.inputRate >> 16, 1);
        const int32_t w = std::max(in.right - in.left, 0), ht = std::max(in.bottom - in.top, 0);
        const int32_t planes = h.fr.inHiPlane - h.fr.inLoPlane + 1;
        const int32_t b = h.bytes;
        // The source column of every pixel found once, then row by row:
        // fast enough that timing a preview through this host measures the
        // module rather than the host.
        const size_t pixelBytes = size_t(planes) * b;
        h.inBuf.resize(size_t(w) * ht * pixelBytes);
        h.columns.resize(size_t(w));
        for (int32_t x = 0; x < w; ++x)
            h.columns[size_t(x)] =
                size_t(std::clamp((in.left + x) * rate, 0, h.width - 1)) * 3 * size_t(b);
        for (int32_t y = 0; y < ht; ++y) {
            const int32_t dy = std::clamp((in.top + y) * rate, 0, h.height - 1);
            const uint8_t* src = &h.pixels[(size_t(dy) * h.width * 3 + h.fr.inLoPlane) * b];
            uint8_t* dst = &h.inBuf[size_t(y) * w * pixelBytes];
            if (pixelBytes == 1) {
                for (int32_t x = 0; x < w; ++x) dst[x] = src[h.columns[size_t(x)]];
            } else if (pixelBytes == 3) {
                for (int32_t x = 0; x < w; ++x, dst += 3) {
                    const uint8_t* from = src + h.columns[size_t(x)];
                    dst[0] = from[0];
                    dst[1] = from[1];
                    dst[2] = from[2];
                }
            } else {
                for (int32_t x = 0; x < w; ++x, dst += pixelBytes)
                    std::memcpy(dst, src + h.columns[size_t(x)], pixelBytes);
            }
        }
        h.fr.inData = h.inBuf.data();
        h.fr.inRowBytes = w * planes * b;
        const VRect out = h.big.outRect32;
        const int32_t ow = std::max(out.right - out.left, 0),
                      oh = std::max(out.bottom - out.top, 0);
        h.outBuf.assign(size_t(ow) * oh * 3 * b, 0);
        h.fr.outData = h.outBuf.data();
        h.fr.outRowBytes = ow * 3 * b;
        h.lastOut = out;
        return noErr;
    }
    void commitOutput() {
        const VRect out = lastOut;
        const int32_t ow = out.right - out.left;
        const int32_t px = 3 * bytes;
        for (int32_t y = std::max(out.top, 0); y < std::min(out.bottom, height); ++y) {
            const int32_t left = std::max(out.left, 0), right = std::min(out.right, width);
            if (left >= right) break;
            std::memcpy(&finalPixels[(size_t(y) * width + left) * px],
                        &outBuf[(size_t(y - out.top) * ow + (left - out.left)) * px],
                        size_t(right - left) * px);
        }
        lastOut = VRect{};
    }
    static OSErr display(const PSPixelMap*, const VRect*, int32, int32, void*) { return noErr; }
    static Boolean abortTest() { return ++active->abortTests, 0; }
    static void progress(int32, int32) { ++active->progressCalls; }

    // The final render of the whole document; the result in finalPixels.
    void renderFinal() {
        if (!allocateRenderBuffers(ctx)) return;
        renderFinalPass(call);
        commitOutput();
    }
};

} // namespace qftest
