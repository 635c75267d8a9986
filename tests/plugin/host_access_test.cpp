// Host image access against a hand-made filter record: the preview source
// copy, its sample conversions and the tile shift of a panned preview.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "plugin/host_access.h"
#include "plugin/module_call.h"
#include "plugin/run_buffers.h"

namespace qf {}
using namespace qf;

namespace {

// A one-row document the fake host hands out unchanged for every request.
std::vector<uint8_t> hostRow;
int advanceCalls = 0;
OSErr fakeAdvance() {
    ++advanceCalls;
    return noErr;
}
OSErr fakeDisplay(const PSPixelMap*, const VRect*, int32, int32, void*) {
    return noErr;
}

struct FakeHost {
    FilterRecord fr{};
    SettingsRecord settings{};
    RunContext ctx{};
    int16 result = 0;
    ModuleCall call{&fr, nullptr, &result};

    FakeHost(int16 mode, int32 depth, int32_t width) {
        fr.imageMode = mode;
        fr.depth = depth;
        fr.planes = 1;
        fr.filterRect = Rect{0, 0, 1, int16(width)};
        fr.advanceState = fakeAdvance;
        fr.displayPixels = fakeDisplay;
        fr.samplingSupport = hostSupportsIntegralSampling;
        fr.inData = hostRow.data();
        fr.inRowBytes = int32(hostRow.size());
        ctx.previewPane = PixelRect{0, 0, 100, 100};
        settings.previewZoom = 1;
        call.settings = &settings;
        call.context = &ctx;
        advanceCalls = 0;
    }
    ~FakeHost() { releaseRunBuffers(ctx); }
};

template <typename T> void setRow(std::initializer_list<T> values) {
    hostRow.assign(values.size() * sizeof(T), 0);
    std::memcpy(hostRow.data(), values.begin(), hostRow.size());
}

} // namespace

TEST(HostAccess, SixteenBitSamplesScaleToBytesByTruncation) {
    setRow<uint16_t>({32768, 16384, 128, 0, 257});
    FakeHost h(plugInModeGray16, 16, 5);
    readPreviewSource(h.call);
    ASSERT_EQ(h.result, 0);
    ASSERT_NE(h.ctx.planeBuffer, nullptr);
    const uint8_t expect[] = {255, 127, 0, 0, 2};
    EXPECT_EQ(0, std::memcmp(h.ctx.planeBuffer, expect, 5));
    EXPECT_EQ(advanceCalls, 2); // the tile, then the one plane
}

TEST(HostAccess, FloatSamplesAreClampedInTheHostBufferToo) {
    setRow<float>({1.7f, -0.2f, 0.5f, 1.0f});
    FakeHost h(plugInModeGray32, 32, 4);
    readPreviewSource(h.call);
    ASSERT_NE(h.ctx.planeBuffer, nullptr);
    const uint8_t expect[] = {255, 0, 127, 255};
    EXPECT_EQ(0, std::memcmp(h.ctx.planeBuffer, expect, 4));
    float back[4];
    std::memcpy(back, hostRow.data(), sizeof back);
    EXPECT_EQ(back[0], 1.0f);
    EXPECT_EQ(back[1], 0.0f);
    EXPECT_EQ(back[2], 0.5f);
}

TEST(HostAccess, AHostThatDeliversTooLittleIsNotReadBeyondIt) {
    setRow<uint8_t>({1, 2, 3});
    FakeHost h(plugInModeGrayScale, 8, 5); // asks for five, the row holds three
    readPreviewSource(h.call);
    EXPECT_EQ(h.call.reason, kReasonPlaneRead);
}

TEST(HostAccess, PanAndOriginAreDividedByTheZoomBeforeTheShift) {
    setRow<uint8_t>({0});
    FakeHost h(plugInModeRGBColor, 8, 1);
    h.fr.planes = 3;
    h.settings.previewZoom = 3;
    h.settings.previewOffsetX = 10;
    h.settings.previewOffsetY = -10;
    fetchTile(h.call, PixelRect{0, 0, 16, 16});
    EXPECT_EQ(h.fr.inRect.left, 3);
    EXPECT_EQ(h.fr.inRect.right, 19);
    EXPECT_EQ(h.fr.inRect.top, -3);
    EXPECT_EQ(h.fr.inputRate, 3 << 16);
    EXPECT_EQ(h.fr.inputPadding, plugInWantsEdgeReplication);
    EXPECT_EQ(h.fr.inHiPlane, 2);
    // The selection's corner is in document pixels too.
    h.fr.filterRect = Rect{30, 31, 90, 95};
    h.settings.previewOffsetX = 0;
    h.settings.previewOffsetY = 0;
    fetchTile(h.call, PixelRect{0, 0, 16, 16});
    EXPECT_EQ(h.fr.inRect.top, 10);
    EXPECT_EQ(h.fr.inRect.left, 10);
}

// Every edge of every requested rectangle, with a selection whose top and
// left differ, whatever the host leaves in floatCoord: tiles are placed
// relative to the filter rectangle and never leave it.
TEST(HostAccess, TilesArePlacedAtTheFilterRectanglesCornerOnEveryEdge) {
    setRow<uint8_t>({0});
    for (const Point floatCoord : {Point{0, 0}, Point{100, 37}, Point{-5, 900}}) {
        for (const bool big : {false, true}) {
            FakeHost h(plugInModeRGBColor, 8, 1);
            h.fr.planes = 3;
            h.fr.haveMask = true;
            h.fr.floatCoord = floatCoord;
            h.fr.filterRect = Rect{100, 37, 300, 400};
            BigDocumentStruct bd{};
            if (big) {
                bd.PluginUsing32BitCoordinates = 1;
                bd.filterRect32 = VRect{100, 37, 300, 400};
                bd.floatCoord32 = VPoint{floatCoord.v, floatCoord.h};
                h.fr.bigDocumentData = &bd;
            }
            const PixelRect tile{128, 256, 200, 363}; // the last tile of the area
            fetchTile(h.call, tile);
            const PixelRect expect{228, 293, 300, 400};
            EXPECT_EQ(getInRect(h.fr), expect);
            EXPECT_EQ(getOutRect(h.fr), expect);
            EXPECT_EQ(getMaskRect(h.fr), expect);

            // Input-only requests keep the output and mask to one pixel
            // inside the filter rectangle, even for padded input beyond it.
            fetchInputTile(h.call, PixelRect{128, 256, 640, 768});
            EXPECT_EQ(getInRect(h.fr), (PixelRect{228, 293, 740, 805}));
            EXPECT_EQ(getOutRect(h.fr), (PixelRect{228, 293, 229, 294}));
            EXPECT_EQ(getMaskRect(h.fr), (PixelRect{228, 293, 229, 294}));
            fetchInputTile(h.call, PixelRect{512, 512, 600, 700});
            EXPECT_EQ(getOutRect(h.fr), (PixelRect{299, 399, 300, 400}));

            // Preview requests keep the mask with the input; the output
            // pixel lies inside the filter rectangle at the reduction.
            fetchPreviewTile(h.call, tile);
            EXPECT_EQ(getInRect(h.fr), expect);
            EXPECT_EQ(getOutRect(h.fr), (PixelRect{228, 293, 229, 294}));
            EXPECT_EQ(getMaskRect(h.fr), expect);
            h.settings.previewZoom = 3;
            fetchPreviewTile(h.call, PixelRect{0, 100, 10, 120});
            EXPECT_EQ(getInRect(h.fr), (PixelRect{33, 112, 43, 132}));
            EXPECT_EQ(getOutRect(h.fr), (PixelRect{33, 112, 34, 113}));
            fetchPreviewTile(h.call, PixelRect{80, 130, 90, 150});
            EXPECT_EQ(getOutRect(h.fr), (PixelRect{99, 132, 100, 133}));
            h.settings.previewZoom = 1;
        }
    }
}

TEST(HostAccess, PreviewRectangleFallsBackToFullSizeWithoutSampling) {
    setRow<uint8_t>({0});
    FakeHost h(plugInModeRGBColor, 8, 1);
    h.fr.filterRect = Rect{10, 20, 310, 620};
    h.ctx.previewPane = PixelRect{0, 0, 80, 120};
    computePreviewRect(h.call, 4);
    EXPECT_EQ(h.ctx.previewRect, (PixelRect{2, 5, 2 + 75, 5 + 120}));
    EXPECT_EQ(h.settings.previewZoom, 4);
    h.fr.samplingSupport = hostDoesNotSupportSampling;
    computePreviewRect(h.call, 4);
    EXPECT_EQ(h.settings.previewZoom, 1);
    EXPECT_EQ(h.ctx.previewRect, (PixelRect{10, 20, 90, 140}));
}

TEST(HostAccess, DocumentQueriesFollowModeAndDepth) {
    FilterRecord fr{};
    fr.imageMode = plugInModeRGB48;
    fr.depth = 16;
    EXPECT_TRUE(is16Bit(fr));
    EXPECT_EQ(depthClass(fr), DepthClass::Sixteen);
    fr.depth = 32; // depth alone makes it float
    EXPECT_EQ(depthClass(fr), DepthClass::Float);
    fr.imageMode = plugInModeGrayScale;
    fr.depth = 8;
    EXPECT_TRUE(is8Bit(fr));
    EXPECT_TRUE(isGray(fr));
    EXPECT_EQ(baseMode(plugInModeGray32), plugInModeGrayScale);
    EXPECT_EQ(baseMode(plugInModeDuotone16), plugInModeDuotone);
    EXPECT_EQ(baseMode(plugInModeLabColor), plugInModeLabColor);
}

TEST(HostAccess, TransparencyFollowsTheColourPlanesWhenTheHostLeavesTheCountsUnset) {
    FilterRecord fr{};
    fr.imageMode = plugInModeRGBColor;
    fr.depth = 8;
    fr.planes = 4;
    fr.filterCase = filterCaseEditableTransparencyNoSelection;
    fr.inHiPlane = 3;
    const ModuleCall call(&fr, nullptr, nullptr);
    EXPECT_EQ(compositeTargetFromHost(call, 0, 1).alphaIndex, 3);
    fr.inLayerPlanes = 3;
    EXPECT_EQ(compositeTargetFromHost(call, 0, 1).alphaIndex, 3);
    EXPECT_TRUE(compositeTargetFromHost(call, 0, 1).editableTransparency);
    // A count that points outside the delivered pixel turns transparency off.
    fr.inLayerPlanes = 7;
    EXPECT_FALSE(compositeTargetFromHost(call, 0, 1).editableTransparency);
}
