#include "host/filter_host.h"
#include "host/handle_suite.h"
#include "scripted_module.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;
using host::RunRecord;
using host::Transparency;
using namespace hosttest;

namespace {

// Every sample different enough to tell positions and channels apart.
double pattern(int depth, int x, int y, int c) {
    int v = (x * 7 + y * 13 + c * 29) % 256;
    if (depth == 16) return v * 128;
    if (depth == 32) return v / 255.0;
    return v;
}

Document patterned(int32_t w, int32_t h, ColorModel model, int depth,
                   Transparency t = Transparency::none) {
    Document d = Document::make(w, h, model, depth, t);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < d.channels(); ++c) d.setSample(x, y, c, pattern(depth, x, y, c));
    return d;
}

double inverse(int depth, double v) {
    return depth == 8 ? 255 - v : depth == 16 ? 32768 - v : 1.0 - v;
}

// A module that inverts every plane it is given, tile by tile, through
// advanceState during start (as our module does).
Script invertingModule(int tileW, int tileH) {
    return [=](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel != filterSelectorStart) {
            if (sel == filterSelectorContinue) emptyRects(fr);
            return;
        }
        const VRect f{fr->filterRect.top, fr->filterRect.left, fr->filterRect.bottom,
                      fr->filterRect.right};
        for (int32 top = f.top; top < f.bottom; top += tileH) {
            for (int32 left = f.left; left < f.right; left += tileW) {
                VRect r{top, left, std::min(top + tileH, f.bottom),
                        std::min(left + tileW, f.right)};
                OSErr err = requestArea(fr, r);
                if (err) {
                    *result = err;
                    return;
                }
                for (int y = 0; y < r.bottom - r.top; ++y)
                    for (int x = 0; x < r.right - r.left; ++x)
                        for (int p = 0; p < fr->planes; ++p) {
                            double in = bufferSample(fr->inData, fr->inRowBytes, fr->depth,
                                                     fr->planes, x, y, p);
                            setBufferSample(fr->outData, fr->outRowBytes, fr->depth, fr->planes, x,
                                            y, p, inverse(fr->depth, in));
                        }
                if (fr->abortProc()) {
                    *result = userCanceledErr;
                    return;
                }
            }
        }
        emptyRects(fr);
    };
}

// ---------------------------------------------------------------------------
// The order of a run.

TEST(FilterRun, CallsTheSelectorsInAnEditorsOrder) {
    std::vector<int16> seen;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        seen.push_back(sel);
        if (sel == filterSelectorContinue) emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(8, 8, ColorModel::rgb, 8);
    RunRecord rec = host.run(doc);
    EXPECT_TRUE(rec.ok());
    EXPECT_EQ(selectorsOf(rec), (std::vector<int16>{2, 3, 5})) << "start left nothing to serve";
    EXPECT_EQ(seen, selectorsOf(rec));

    RunOptions dialog;
    dialog.showDialog = true;
    rec = host.run(doc, dialog);
    EXPECT_EQ(selectorsOf(rec), (std::vector<int16>{1, 2, 3, 5}));

    seen.clear();
    intptr_t before = host.data();
    EXPECT_EQ(host.about(), 0);
    EXPECT_EQ(seen, (std::vector<int16>{0}));
    EXPECT_EQ(host.data(), before);
}

TEST(FilterRun, ServesTheRectanglesStartLeavesUntilContinueEmptiesThem) {
    // The classic loop: start names the first band without calling
    // advanceState; every continue processes the delivered band and names
    // the next one.
    int32 nextTop = 0;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        auto nameBand = [&] {
            if (nextTop >= fr->filterRect.bottom) return emptyRects(fr);
            VRect r{nextTop, 0, std::min<int32>(nextTop + 3, fr->filterRect.bottom),
                    fr->filterRect.right};
            fr->inRect = fr->outRect = rect16(r);
            fr->inLoPlane = fr->outLoPlane = 0;
            fr->inHiPlane = fr->outHiPlane = int16(fr->planes - 1);
            nextTop = r.bottom;
        };
        if (sel == filterSelectorStart) nameBand();
        if (sel == filterSelectorContinue) {
            const int rows = fr->outRect.bottom - fr->outRect.top;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < fr->outRect.right - fr->outRect.left; ++x)
                    setBufferSample(fr->outData, fr->outRowBytes, 8, 1, x, y, 0,
                                    255 - bufferSample(fr->inData, fr->inRowBytes, 8, 1, x, y, 0));
            nameBand();
        }
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(5, 8, ColorModel::gray, 8);
    Document original = doc;
    RunRecord rec = host.run(doc);
    ASSERT_TRUE(rec.ok());
    EXPECT_EQ(rec.loopPasses, 3);
    EXPECT_EQ(selectorsOf(rec), (std::vector<int16>{2, 3, 4, 4, 4, 5}));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(doc.sample(x, y, 0), 255 - original.sample(x, y, 0));
}

TEST(FilterRun, AStartFailureSkipsContinueAndFinishAndRestoresTheDocument) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel != filterSelectorStart) return;
        requestArea(fr, vrect(0, 0, 4, 4));
        std::memset(fr->outData, 9, size_t(fr->outRowBytes) * 4);
        requestArea(fr, vrect(4, 0, 8, 4)); // the first tile is written back
        *result = 1;
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 8, ColorModel::gray, 8);
    Document original = doc;
    RunRecord rec = host.run(doc);
    EXPECT_EQ(rec.result, 1);
    EXPECT_EQ(rec.failedSelector, filterSelectorStart);
    EXPECT_EQ(selectorsOf(rec), (std::vector<int16>{2, 3}));
    EXPECT_TRUE(rec.documentRestored);
    EXPECT_EQ(doc.bytes(), original.bytes());

    host.options().restoreOnFailure = false;
    rec = host.run(doc);
    EXPECT_EQ(doc.sample(0, 0, 0), 9) << "without restoring, the written tile stays";
}

TEST(FilterRun, APrepareFailureEndsTheRunAndContinueFailuresStillFinish) {
    int16 failAt = filterSelectorPrepare;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel == filterSelectorStart) {
            fr->inRect = rect16(vrect(0, 0, 1, 1));
            fr->inHiPlane = 0;
        }
        if (sel == failAt) *result = memFullErr;
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    EXPECT_EQ(rec.result, memFullErr);
    EXPECT_EQ(selectorsOf(rec), (std::vector<int16>{2}));
    failAt = filterSelectorContinue;
    rec = host.run(doc);
    EXPECT_EQ(rec.failedSelector, filterSelectorContinue);
    EXPECT_EQ(selectorsOf(rec), (std::vector<int16>{2, 3, 4, 5}));
}

TEST(FilterRun, RecordsTheMemoryTheModuleAskedFor) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel == filterSelectorPrepare) {
            fr->maxSpace = std::min(fr->maxSpace, 524288);
            fr->bufferSpace = 0;
        }
    });
    HostOptions o;
    o.maxSpace = 100 << 20;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::rgb, 8);
    RunRecord rec = host.run(doc);
    EXPECT_EQ(rec.maxSpaceOffered, 100 << 20);
    EXPECT_EQ(rec.maxSpaceAfterPrepare, 524288);
    EXPECT_EQ(rec.bufferSpaceAfterPrepare, 0);
}

// ---------------------------------------------------------------------------
// Pixels: every depth, model and transparency, odd tiles, padded strides.

struct PixelCase {
    ColorModel model;
    int depth;
    Transparency transparency;
    int32_t extraRowBytes;
};

class FilterPixels : public testing::TestWithParam<PixelCase> {};

TEST_P(FilterPixels, InvertingTileByTileReachesEveryPixelOnce) {
    const PixelCase& c = GetParam();
    ScriptedModule m(invertingModule(7, 5));
    HostOptions o;
    o.extraRowBytes = c.extraRowBytes;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(23, 17, c.model, c.depth, c.transparency);
    const Document original = doc;
    RunRecord rec = host.run(doc);
    ASSERT_TRUE(rec.ok()) << rec.result << " " << rec.hostError;
    for (const auto& call : rec.deliveries) {
        EXPECT_EQ(call.result, noErr);
    }
    const int planes = doc.planes();
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            for (int ch = 0; ch < doc.channels(); ++ch) {
                const double want = ch < planes ? inverse(c.depth, original.sample(x, y, ch))
                                                : original.sample(x, y, ch);
                ASSERT_NEAR(doc.sample(x, y, ch), want, 1e-6) << x << "," << y << " channel " << ch;
            }
}

INSTANTIATE_TEST_SUITE_P(DepthsModelsAndTransparency, FilterPixels,
                         testing::Values(PixelCase{ColorModel::gray, 8, Transparency::none, 0},
                                         PixelCase{ColorModel::rgb, 8, Transparency::none, 12},
                                         PixelCase{ColorModel::gray, 16, Transparency::editable, 0},
                                         PixelCase{ColorModel::rgb, 16, Transparency::none, 5},
                                         PixelCase{ColorModel::rgb, 32, Transparency::editable, 8},
                                         PixelCase{ColorModel::gray, 32, Transparency::none, 0},
                                         PixelCase{ColorModel::rgb, 8, Transparency::locked, 0},
                                         PixelCase{ColorModel::multichannel, 16, Transparency::none,
                                                   0}));

TEST(FilterBuffers, StridesAndColumnBytesDescribeTheBuffers) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        fr->inRect = rect16(vrect(0, 0, 2, 3));
        fr->outRect = rect16(vrect(0, 0, 2, 3));
        fr->inLoPlane = 1;
        fr->inHiPlane = 2;
        fr->outLoPlane = fr->outHiPlane = 0;
        fr->inputRate = 1 << 16;
        ASSERT_EQ(fr->advanceState(), noErr);
        EXPECT_EQ(fr->inRowBytes, 3 * 2 * 2 + 4) << "extra bytes rounded up to 4";
        EXPECT_EQ(fr->inColumnBytes, 4);
        EXPECT_EQ(fr->inPlaneBytes, 2);
        EXPECT_EQ(fr->outRowBytes, 3 * 2 + 4);
        EXPECT_EQ(fr->outColumnBytes, 2);
        // Planes 1 and 2 of the pixel at (x 2, y 1).
        EXPECT_EQ(bufferSample(fr->inData, fr->inRowBytes, 16, 2, 2, 1, 0), pattern(16, 2, 1, 1));
        EXPECT_EQ(bufferSample(fr->inData, fr->inRowBytes, 16, 2, 2, 1, 1), pattern(16, 2, 1, 2));
        emptyRects(fr);
    });
    HostOptions o;
    o.extraRowBytes = 3;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::rgb, 16);
    EXPECT_TRUE(host.run(doc).ok());
}

TEST(FilterBuffers, OutputIsWrittenBackBeforeTheNextDeliveryWhileInputStaysOriginal) {
    Document doc = patterned(6, 4, ColorModel::gray, 8);
    const Document original = doc;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        ASSERT_EQ(requestArea(fr, vrect(0, 0, 2, 3)), noErr);
        std::memset(fr->outData, 200, size_t(fr->outRowBytes) * 2);
        EXPECT_EQ(doc.sample(0, 0, 0), original.sample(0, 0, 0)) << "not yet written";
        ASSERT_EQ(requestArea(fr, vrect(0, 0, 2, 3)), noErr);
        EXPECT_EQ(doc.sample(2, 1, 0), 200) << "written back by the next delivery";
        EXPECT_EQ(bufferSample(fr->inData, fr->inRowBytes, 8, 1, 2, 1, 0), original.sample(2, 1, 0))
            << "input comes from the document as it was";
        EXPECT_EQ(bufferSample(fr->outData, fr->outRowBytes, 8, 1, 2, 1, 0), 200)
            << "output starts as the document's current content";
        fr->outData = nullptr; // a module clearing the pointer does not stop the write-back
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    RunRecord rec = host.run(doc);
    ASSERT_TRUE(rec.ok());
    EXPECT_EQ(doc.sample(2, 1, 0), 200);
    EXPECT_EQ(doc.sample(3, 1, 0), original.sample(3, 1, 0));
}

// ---------------------------------------------------------------------------
// Requests at and beyond the document's edges.

TEST(FilterEdges, PaddingReplicatesFillsOrRefuses) {
    int16 padding = plugInWantsEdgeReplication;
    std::vector<double> seen;
    OSErr lastErr = 0;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        fr->inRect = rect16(vrect(-2, -2, 5, 6)); // 7 rows, 8 columns around a 4 x 3 document
        fr->outRect = Rect{0, 0, 0, 0};
        fr->inLoPlane = 0;
        fr->inHiPlane = 0;
        fr->inputPadding = padding;
        fr->inputRate = 1 << 16;
        lastErr = fr->advanceState();
        seen.clear();
        if (lastErr == noErr)
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 8; ++x)
                    seen.push_back(bufferSample(fr->inData, fr->inRowBytes, fr->depth, 1, x, y, 0));
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 3, ColorModel::gray, 8);
    host.run(doc);
    ASSERT_EQ(seen.size(), 56u);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 8; ++x) {
            int dx = std::clamp(x - 2, 0, 3), dy = std::clamp(y - 2, 0, 2);
            EXPECT_EQ(seen[size_t(y * 8 + x)], doc.sample(dx, dy, 0)) << x << "," << y;
        }

    padding = 77;
    host.run(doc);
    EXPECT_EQ(seen[0], 77);
    EXPECT_EQ(seen[size_t(2 * 8 + 2)], doc.sample(0, 0, 0));
    EXPECT_EQ(seen[size_t(6 * 8 + 7)], 77);

    Document deep = patterned(4, 3, ColorModel::gray, 16);
    padding = 255;
    host.run(deep);
    EXPECT_EQ(seen[0], 32768) << "a fill value is scaled to the depth";

    padding = plugInWantsErrorOnBoundsException;
    host.run(doc);
    EXPECT_EQ(lastErr, paramErr);
    padding = 300;
    host.run(doc);
    EXPECT_EQ(lastErr, paramErr) << "not a padding value";
}

// One request of a scripted module at the given rates, in a run over the
// filter rectangle `filter` of a 20 x 16 gray document with a selection of
// that rectangle: the host's answer and its explanation.
struct RequestOutcome {
    OSErr result = 1;
    std::string hostError;
    bool documentUntouched = false;
};

RequestOutcome requestOnce(const VRect& in, const VRect& out, const VRect& mask,
                           Fixed rate = 1 << 16, bool strictInput = false) {
    RequestOutcome o;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel != filterSelectorStart) return;
        fr->inRect = rect16(in);
        fr->outRect = rect16(out);
        fr->maskRect = rect16(mask);
        fr->inLoPlane = fr->outLoPlane = 0;
        fr->inHiPlane = fr->outHiPlane = 0;
        fr->inputRate = fr->maskRate = rate;
        fr->inputPadding = fr->outputPadding = fr->maskPadding = plugInWantsEdgeReplication;
        o.result = fr->advanceState();
        if (o.result == noErr && fr->outData) std::memset(fr->outData, 7, size_t(fr->outRowBytes));
        *result = o.result;
        emptyRects(fr);
    });
    HostOptions options;
    options.inputInsideFilterRect = strictInput;
    FilterHost host(scriptedEntry, options);
    Document doc = patterned(20, 16, ColorModel::gray, 8);
    std::vector<uint8_t> selection(20 * 16, 0);
    for (int y = 3; y < 10; ++y)
        for (int x = 5; x < 17; ++x) selection[size_t(y * 20 + x)] = 255;
    EXPECT_TRUE(doc.setMask(selection));
    const Document before = doc;
    const RunRecord rec = host.run(doc);
    EXPECT_EQ(rec.filterRect.top, 3);
    EXPECT_EQ(rec.filterRect.right, 17);
    o.hostError = rec.hostError;
    o.documentUntouched = doc.bytes() == before.bytes();
    return o;
}

// The four rectangles one pixel beyond each edge of `r`.
std::vector<VRect> oneBeyondEachEdge(const VRect& r) {
    return {
        vrect(r.top - 1, r.left, r.bottom, r.right), vrect(r.top, r.left - 1, r.bottom, r.right),
        vrect(r.top, r.left, r.bottom + 1, r.right), vrect(r.top, r.left, r.bottom, r.right + 1)};
}

TEST(FilterEdges, NoOutputOrMaskRectangleMayLeaveTheFilterRectangle) {
    // Top 3 and left 5 differ, so an edge checked against the wrong
    // coordinate shows.
    const VRect filter = vrect(3, 5, 10, 17);
    const VRect none = vrect(0, 0, 0, 0);
    const VRect corner = vrect(3, 5, 4, 6);
    EXPECT_EQ(requestOnce(filter, filter, filter).result, noErr);
    EXPECT_EQ(requestOnce(filter, filter, corner).result, noErr)
        << "the one-pixel mask at the corner";
    EXPECT_EQ(requestOnce(vrect(9, 16, 10, 17), vrect(9, 16, 10, 17), none).result, noErr);
    // Empty rectangles ask for nothing, wherever they are.
    EXPECT_EQ(requestOnce(none, vrect(50, 60, 50, 90), vrect(-9, 40, -9, 41)).result, noErr);

    for (const VRect& r : oneBeyondEachEdge(filter)) {
        RequestOutcome o = requestOnce(filter, r, filter);
        EXPECT_EQ(o.result, paramErr)
            << r.top << " " << r.left << " " << r.bottom << " " << r.right;
        EXPECT_NE(o.hostError.find("the output rectangle"), std::string::npos) << o.hostError;
        EXPECT_TRUE(o.documentUntouched);
        o = requestOnce(filter, filter, r);
        EXPECT_EQ(o.result, paramErr)
            << r.top << " " << r.left << " " << r.bottom << " " << r.right;
        EXPECT_NE(o.hostError.find("the mask rectangle"), std::string::npos) << o.hostError;
    }
    const RequestOutcome far = requestOnce(filter, vrect(-10, -10, 20, 20), filter);
    EXPECT_EQ(
        far.hostError,
        "the output rectangle (-10, -10)-(20, 20) leaves the filter rectangle (3, 5)-(10, 17)");
    EXPECT_TRUE(far.documentUntouched);
}

TEST(FilterEdges, InputAroundTheFilterRectangleIsAllowedUnlessTheHostIsStrict) {
    const VRect filter = vrect(3, 5, 10, 17);
    const VRect none = vrect(0, 0, 0, 0);
    // A module may read around its area; beyond the document the padding
    // answers.
    EXPECT_EQ(requestOnce(vrect(-2, -2, 18, 22), filter, none).result, noErr);
    EXPECT_EQ(requestOnce(filter, filter, none, 1 << 16, true).result, noErr);
    for (const VRect& r : oneBeyondEachEdge(filter)) {
        EXPECT_EQ(requestOnce(r, none, none).result, noErr);
        const RequestOutcome o = requestOnce(r, none, none, 1 << 16, true);
        EXPECT_EQ(o.result, paramErr)
            << r.top << " " << r.left << " " << r.bottom << " " << r.right;
        EXPECT_NE(o.hostError.find("the input rectangle"), std::string::npos) << o.hostError;
    }
}

TEST(FilterEdges, AtAReducedRateTheFilterRectangleIsReducedOutward) {
    // Filter rectangle (3, 5)-(10, 17) at rate 2: top and left rounded down,
    // bottom and right up: (1, 2)-(5, 9), the area a preview of the whole
    // filter rectangle asks for.
    const Fixed two = 2 << 16;
    const VRect reduced = vrect(1, 2, 5, 9);
    const VRect none = vrect(0, 0, 0, 0);
    EXPECT_EQ(requestOnce(reduced, reduced, reduced, two, true).result, noErr);
    EXPECT_EQ(requestOnce(vrect(3, 5, 10, 17), none, none, two, true).result, paramErr)
        << "full-rate coordinates are outside at rate 2";
    for (const VRect& r : oneBeyondEachEdge(reduced)) {
        EXPECT_EQ(requestOnce(r, none, none, two, true).result, paramErr);
        EXPECT_EQ(requestOnce(reduced, r, none, two).result, paramErr)
            << "output in the input's coordinates";
        const RequestOutcome o = requestOnce(none, none, r, two);
        EXPECT_EQ(o.result, paramErr);
        EXPECT_NE(o.hostError.find("leaves the filter rectangle (1, 2)-(5, 9) at rate 2"),
                  std::string::npos)
            << o.hostError;
    }
    // Rate 3: (1, 1)-(4, 6).
    EXPECT_EQ(
        requestOnce(vrect(1, 1, 4, 6), vrect(1, 1, 4, 6), vrect(1, 1, 4, 6), 3 << 16, true).result,
        noErr);
    EXPECT_EQ(requestOnce(vrect(1, 1, 4, 7), none, none, 3 << 16, true).result, paramErr);
    EXPECT_EQ(requestOnce(vrect(0, 1, 4, 6), none, none, 3 << 16, true).result, paramErr);
}

TEST(FilterEdges, MalformedRequestsAreRefused) {
    std::vector<OSErr> results;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        fr->inputRate = fr->maskRate = 1 << 16;
        fr->inRect = Rect{3, 0, 1, 2}; // bottom above top
        fr->inLoPlane = 0;
        fr->inHiPlane = 0;
        results.push_back(fr->advanceState());
        fr->inRect = rect16(vrect(0, 0, 1, 1));
        fr->inHiPlane = 3; // beyond the planes of a gray document
        results.push_back(fr->advanceState());
        fr->inHiPlane = 0;
        fr->inLoPlane = -1;
        results.push_back(fr->advanceState());
        fr->inLoPlane = 0;
        fr->inputRate = 0;
        results.push_back(fr->advanceState());
        fr->inputRate = 1 << 16;
        fr->inRect = rect16(vrect(0, 0, 32000, 32000));
        results.push_back(fr->advanceState()); // larger than the host hands out
        fr->inRect = rect16(vrect(0, 0, 1, 1));
        results.push_back(fr->advanceState());
        emptyRects(fr);
    });
    HostOptions o;
    o.maxBufferBytes = 1 << 20;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    host.run(doc);
    EXPECT_EQ(results,
              (std::vector<OSErr>{paramErr, paramErr, paramErr, paramErr, memFullErr, noErr}));
}

TEST(FilterEdges, HugeRequestsAreRefusedBeforeAnythingIsAllocated) {
    std::vector<OSErr> results;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        BigDocumentStruct* big = fr->bigDocumentData;
        big->PluginUsing32BitCoordinates = 1;
        fr->inLoPlane = fr->inHiPlane = 0;
        fr->outLoPlane = 0;
        fr->outHiPlane = -1;
        fr->inputRate = 1 << 16;
        for (VRect r :
             {vrect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), vrect(0, 0, 1, INT32_MAX),
              vrect(0, -(1 << 29), 2, 1 << 29), vrect(-5, -5, 5, 5)}) {
            big->inRect32 = r;
            results.push_back(fr->advanceState());
        }
        big->inRect32 = VRect{0, 0, 0, 0};
        fr->inputRate = INT32_MAX; // every reduced pixel far beyond the document
        big->inRect32 = vrect(0, 0, 4, 4);
        results.push_back(fr->advanceState());
        big->inRect32 = VRect{0, 0, 0, 0};
    });
    HostOptions o;
    o.maxBufferBytes = 1 << 24;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    ASSERT_TRUE(host.run(doc).ok());
    EXPECT_EQ(results, (std::vector<OSErr>{memFullErr, memFullErr, memFullErr, noErr, noErr}));
}

TEST(FilterRun, AModuleThatNeverEndsItsLoopIsStopped) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel == filterSelectorStart || sel == filterSelectorContinue) {
            fr->inRect = rect16(vrect(0, 0, 1, 1));
            fr->inLoPlane = fr->inHiPlane = 0;
        }
    });
    HostOptions o;
    o.maxLoopPasses = 5;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    EXPECT_FALSE(rec.ok());
    EXPECT_EQ(rec.loopPasses, 5);
    EXPECT_FALSE(rec.hostError.empty());
    EXPECT_EQ(rec.selectors.back().selector, filterSelectorFinish)
        << "finish still follows a started run";
}

// ---------------------------------------------------------------------------
// Sub-sampled requests.

TEST(FilterRates, IntegralRatesDeliverEveryNthPixel) {
    Document doc = patterned(9, 7, ColorModel::gray, 8);
    std::vector<std::vector<double>> got;
    Fixed rate = 2 << 16;
    VRect request = vrect(0, 0, 4, 5);
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        fr->inRect = rect16(request);
        fr->outRect = Rect{0, 0, 0, 0};
        fr->inLoPlane = fr->inHiPlane = 0;
        fr->inputRate = rate;
        fr->inputPadding = plugInWantsEdgeReplication;
        got.assign(size_t(request.bottom - request.top), {});
        ASSERT_EQ(fr->advanceState(), noErr);
        for (int y = 0; y < request.bottom - request.top; ++y)
            for (int x = 0; x < request.right - request.left; ++x)
                got[size_t(y)].push_back(bufferSample(fr->inData, fr->inRowBytes, 8, 1, x, y, 0));
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    ASSERT_TRUE(host.run(doc).ok());
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(got[size_t(y)][size_t(x)], doc.sample(2 * x, 2 * y, 0));

    // Partly beyond the document in reduced coordinates: rows 6 and 8, the
    // latter replicated from row 6.
    request = vrect(3, 3, 5, 6);
    host.run(doc);
    EXPECT_EQ(got[0][0], doc.sample(6, 6, 0));
    EXPECT_EQ(got[1][0], doc.sample(6, 6, 0));
    EXPECT_EQ(got[1][1], doc.sample(8, 6, 0));
    EXPECT_EQ(got[1][2], doc.sample(8, 6, 0)) << "column 10 replicates column 8";

    // A host without sampling support ignores the rate; one with fractional
    // support takes floor(coordinate x rate).
    request = vrect(0, 0, 2, 3);
    host.options().samplingSupport = hostDoesNotSupportSampling;
    host.run(doc);
    EXPECT_EQ(got[1][2], doc.sample(2, 1, 0));
    host.options().samplingSupport = hostSupportsFractionalSampling;
    rate = 3 << 15; // 1.5
    host.run(doc);
    EXPECT_EQ(got[1][1], doc.sample(1, 1, 0));
    EXPECT_EQ(got[1][2], doc.sample(3, 1, 0));
    host.options().samplingSupport = hostSupportsIntegralSampling;
    host.run(doc);
    EXPECT_EQ(got[1][2], doc.sample(2, 1, 0)) << "an integral host rounds 1.5 down to 1";
}

TEST(FilterRates, TheMaskHasItsOwnRate) {
    Document doc = patterned(9, 9, ColorModel::rgb, 8);
    std::vector<uint8_t> mask(81);
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = uint8_t(i + 1);
    ASSERT_TRUE(doc.setMask(mask));
    std::vector<int> got;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        EXPECT_TRUE(fr->haveMask);
        EXPECT_EQ(fr->filterCase, filterCaseFlatImageWithSelection);
        fr->inRect = fr->outRect = Rect{0, 0, 0, 0};
        fr->maskRect = rect16(vrect(0, 0, 3, 3));
        fr->maskRate = 3 << 16;
        fr->maskPadding = plugInWantsEdgeReplication;
        ASSERT_EQ(fr->advanceState(), noErr);
        ASSERT_NE(field(fr->maskData), nullptr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                got.push_back(static_cast<const uint8_t*>(fr->maskData)[y * fr->maskRowBytes + x]);
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    ASSERT_TRUE(host.run(doc).ok());
    ASSERT_EQ(got.size(), 9u);
    EXPECT_EQ(got[4], mask[3 * 9 + 3]);
    EXPECT_EQ(got[8], mask[6 * 9 + 6]);
}

// ---------------------------------------------------------------------------
// Selections.

TEST(FilterSelection, TheFilterAreaIsTheSelectionAndTheHostBlendsUnlessTheModuleMasks) {
    Document doc = Document::make(6, 4, ColorModel::gray, 8);
    doc.fill({100});
    std::vector<uint8_t> mask(24, 0);
    mask[1 * 6 + 2] = 255;
    mask[1 * 6 + 3] = 128;
    mask[2 * 6 + 2] = 0; // inside the bounds, not selected
    mask[2 * 6 + 3] = 255;
    ASSERT_TRUE(doc.setMask(mask));
    bool moduleMasks = false;
    VRect seenFilter{};
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        seenFilter = vrect(fr->filterRect.top, fr->filterRect.left, fr->filterRect.bottom,
                           fr->filterRect.right);
        if (moduleMasks) fr->autoMask = false;
        ASSERT_EQ(requestArea(fr, seenFilter, seenFilter), noErr);
        ASSERT_NE(field(fr->maskData), nullptr);
        EXPECT_EQ(static_cast<uint8_t*>(fr->maskData)[1], 128);
        std::memset(fr->outData, 200, size_t(fr->outRowBytes) * 2);
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    Document blended = doc;
    RunRecord rec = host.run(blended);
    ASSERT_TRUE(rec.ok());
    EXPECT_EQ(seenFilter.top, 1);
    EXPECT_EQ(seenFilter.left, 2);
    EXPECT_EQ(seenFilter.bottom, 3);
    EXPECT_EQ(seenFilter.right, 4);
    EXPECT_TRUE(rec.autoMaskApplied);
    EXPECT_EQ(blended.sample(2, 1, 0), 200);
    EXPECT_EQ(blended.sample(3, 1, 0), 150) << "half selected: half way";
    EXPECT_EQ(blended.sample(2, 2, 0), 100) << "unselected: unchanged";
    EXPECT_EQ(blended.sample(0, 0, 0), 100);

    moduleMasks = true;
    Document raw = doc;
    rec = host.run(raw);
    EXPECT_FALSE(rec.autoMaskApplied);
    EXPECT_EQ(raw.sample(2, 2, 0), 200) << "the module took over masking";
    EXPECT_EQ(raw.sample(0, 0, 0), 100) << "still nothing beyond the selection's bounds";

    ASSERT_TRUE(doc.setMask(std::vector<uint8_t>(24, 0)));
    rec = host.run(doc);
    EXPECT_FALSE(rec.ok());
    EXPECT_EQ(rec.hostError, "nothing is selected");
    EXPECT_TRUE(rec.selectors.empty());
}

TEST(FilterSelection, NoSelectionMeansNoMaskData) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        EXPECT_FALSE(fr->haveMask);
        ASSERT_EQ(requestArea(fr, vrect(0, 0, 2, 2), vrect(0, 0, 1, 1)), noErr);
        EXPECT_EQ(field(fr->maskData), nullptr);
        EXPECT_EQ(fr->maskRowBytes, 0);
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 4, ColorModel::rgb, 8, Transparency::editable);
    EXPECT_TRUE(host.run(doc).ok());
}

// ---------------------------------------------------------------------------
// 16-bit and 32-bit rectangles.

TEST(FilterCoordinates, WideDocumentsWorkThroughThe32BitRectanglesOnly) {
    const int32 width = 40000;
    const Rect sentinel{1, 2, 3, 4};
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        BigDocumentStruct* big = fr->bigDocumentData;
        if (sel == filterSelectorPrepare) {
            ASSERT_NE(big, nullptr);
            EXPECT_EQ(big->filterRect32.right, width);
            EXPECT_EQ(big->imageSize32.h, width);
            EXPECT_EQ(fr->filterRect.right, 32767) << "the 16-bit field cannot say more";
            big->PluginUsing32BitCoordinates = 1;
        }
        if (sel != filterSelectorStart) return;
        fr->inLoPlane = fr->outLoPlane = 0;
        fr->inHiPlane = fr->outHiPlane = 0;
        fr->inputRate = 1 << 16;
        for (int32 left = 0; left < width; left += 8192) {
            fr->inRect = fr->outRect = fr->maskRect = sentinel;
            big->inRect32 = big->outRect32 = vrect(0, left, 3, std::min(left + 8192, width));
            big->maskRect32 = VRect{0, 0, 0, 0};
            OSErr err = fr->advanceState();
            if (err) {
                *result = err;
                return;
            }
            const int32 w = big->outRect32.right - big->outRect32.left;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < w; ++x)
                    setBufferSample(fr->outData, fr->outRowBytes, 8, 1, x, y, 0, (left + x) % 251);
            EXPECT_EQ(fr->inRect.left, sentinel.left) << "the host leaves the 16-bit fields alone";
            EXPECT_EQ(fr->outRect.right, sentinel.right);
        }
        big->inRect32 = big->outRect32 = VRect{0, 0, 0, 0};
    });
    FilterHost host(scriptedEntry);
    Document doc = Document::make(width, 3, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    ASSERT_TRUE(rec.ok()) << rec.result;
    EXPECT_TRUE(rec.used32BitCoordinates);
    for (int32 x : {0, 32766, 32767, 32768, 39999}) EXPECT_EQ(doc.sample(x, 2, 0), x % 251) << x;
}

TEST(FilterCoordinates, WideDocumentsRefuseThe16BitRectangles) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel == filterSelectorStart) *result = requestArea(fr, vrect(0, 0, 1, 100));
    });
    FilterHost host(scriptedEntry);
    Document doc = Document::make(40000, 2, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    EXPECT_EQ(rec.result, errPlugInHostInsufficient);

    FilterHost minimal(scriptedEntry, HostOptions::minimalEditor());
    rec = minimal.run(doc);
    EXPECT_EQ(rec.result, errPlugInHostInsufficient);
    EXPECT_FALSE(rec.hostError.empty());
    EXPECT_TRUE(rec.selectors.empty()) << "the host refuses before calling the module";
}

TEST(FilterCoordinates, SmallDocumentsUseThe16BitFieldsUntilTheModuleSwitches) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        ASSERT_EQ(requestArea(fr, vrect(0, 0, 2, 2)), noErr);
        fr->bigDocumentData->PluginUsing32BitCoordinates = 1;
        fr->bigDocumentData->inRect32 = fr->bigDocumentData->outRect32 = vrect(1, 1, 3, 3);
        ASSERT_EQ(fr->advanceState(), noErr);
        emptyRects(fr);
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    ASSERT_TRUE(rec.ok());
    ASSERT_EQ(rec.deliveries.size(), 2u);
    EXPECT_FALSE(rec.deliveries[0].used32BitCoordinates);
    EXPECT_TRUE(rec.deliveries[1].used32BitCoordinates);
    EXPECT_EQ(rec.deliveries[1].inRect.left, 1);
}

// ---------------------------------------------------------------------------
// Progress, abort and failure hooks.

TEST(FilterHooks, AbortAfterNAdvanceCalls) {
    ScriptedModule m(invertingModule(4, 4));
    HostOptions o;
    o.abortAfterAdvanceCalls = 3;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(16, 16, ColorModel::rgb, 8);
    const Document original = doc;
    RunRecord rec = host.run(doc);
    EXPECT_EQ(rec.result, userCanceledErr);
    EXPECT_EQ(rec.moduleAdvanceCalls, 3);
    EXPECT_EQ(rec.abortCalls, 3);
    EXPECT_TRUE(rec.abortAnswered);
    EXPECT_TRUE(rec.documentRestored);
    EXPECT_EQ(doc.bytes(), original.bytes());

    int polls = 0;
    host.options().abortAfterAdvanceCalls = 0;
    host.options().onAbortTest = [&] { return ++polls == 5; };
    rec = host.run(doc);
    EXPECT_EQ(rec.result, userCanceledErr);
    EXPECT_EQ(rec.moduleAdvanceCalls, 5);
}

TEST(FilterHooks, FailAdvanceStateAtCallN) {
    std::vector<OSErr> results;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel != filterSelectorStart) return;
        for (int i = 0; i < 4; ++i) {
            OSErr err = requestArea(fr, vrect(0, 0, 2, 2));
            results.push_back(err);
            if (err) *result = err;
        }
        emptyRects(fr);
    });
    HostOptions o;
    o.failAdvanceAtCall = 2;
    o.failAdvanceError = -30;
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    EXPECT_EQ(results, (std::vector<OSErr>{noErr, -30, noErr, noErr}));
    EXPECT_EQ(rec.result, -30);
    EXPECT_EQ(rec.deliveries[1].result, -30);
}

TEST(FilterHooks, ProgressIsRecordedAndForwarded) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        for (int i = 0; i <= 4; ++i) fr->progressProc(i, 4);
    });
    std::vector<int32_t> forwarded;
    HostOptions o;
    o.onProgress = [&](int32_t done, int32_t) { forwarded.push_back(done); };
    FilterHost host(scriptedEntry, o);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    RunRecord rec = host.run(doc);
    ASSERT_EQ(rec.progress.size(), 5u);
    EXPECT_EQ(rec.progress[4].done, 4);
    EXPECT_EQ(rec.progress[4].total, 4);
    EXPECT_EQ(forwarded, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

TEST(FilterHooks, DisplayPixelsCallsAreRecorded) {
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        std::vector<uint8_t> pixels(10 * 10 * 3, 128);
        PSPixelMap map{};
        map.version = 1;
        map.bounds = vrect(0, 0, 10, 10);
        map.imageMode = plugInModeRGBColor;
        map.rowBytes = 30;
        map.colBytes = 3;
        map.planeBytes = 1;
        map.baseAddr = pixels.data();
        VRect src = vrect(0, 0, 10, 10);
        EXPECT_EQ(fr->displayPixels(&map, &src, 4, 5, nullptr), noErr);
        EXPECT_EQ(fr->displayPixels(nullptr, &src, 0, 0, nullptr), paramErr);
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 4, ColorModel::rgb, 8);
    RunRecord rec = host.run(doc);
    ASSERT_EQ(rec.displays.size(), 1u);
    EXPECT_EQ(rec.displays[0].rowBytes, 30);
    EXPECT_EQ(rec.displays[0].dstRow, 4);
    EXPECT_EQ(rec.displays[0].dstCol, 5);
}

// ---------------------------------------------------------------------------
// The editor's offer: complete, minimal, and what a module sees of it.

TEST(FilterOffer, ACompleteEditorAndAMinimalOne) {
    FilterRecord seen{};
    bool hadDescriptorSuites = false;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel == filterSelectorPrepare) {
            seen = *fr;
            hadDescriptorSuites = fr->descriptorParameters &&
                                  fr->descriptorParameters->readDescriptorProcs &&
                                  fr->descriptorParameters->writeDescriptorProcs;
        }
    });
    Document doc = patterned(4, 4, ColorModel::rgb, 16, Transparency::editable);
    FilterHost full(scriptedEntry);
    full.run(doc);
    EXPECT_EQ(field(seen.hostSig), fourCC("8BIM"));
    EXPECT_NE(field(seen.advanceState), nullptr);
    EXPECT_NE(field(seen.displayPixels), nullptr);
    EXPECT_NE(field(seen.bigDocumentData), nullptr);
    EXPECT_NE(field(seen.handleProcs), nullptr);
    EXPECT_NE(field(seen.bufferProcs), nullptr);
    EXPECT_NE(field(seen.abortProc), nullptr);
    EXPECT_NE(field(seen.progressProc), nullptr);
    EXPECT_EQ(field(seen.samplingSupport), hostSupportsIntegralSampling);
    EXPECT_TRUE(hadDescriptorSuites);
    EXPECT_EQ(field(seen.imageMode), plugInModeRGB48);
    EXPECT_EQ(field(seen.depth), 16);
    EXPECT_EQ(field(seen.planes), 4);
    EXPECT_EQ(field(seen.filterCase), filterCaseEditableTransparencyNoSelection);
    EXPECT_EQ(field(seen.inTransparencyMask), 1);
    EXPECT_TRUE(field(seen.autoMask));
    EXPECT_NE(field(seen.platformData), nullptr);

    HostOptions o = HostOptions::minimalEditor(false);
    o.hostSig = fourCC("PSP9");
    FilterHost minimal(scriptedEntry, o);
    minimal.run(doc);
    EXPECT_EQ(field(seen.hostSig), fourCC("PSP9"));
    EXPECT_EQ(field(seen.advanceState), nullptr);
    EXPECT_EQ(field(seen.displayPixels), nullptr);
    EXPECT_EQ(field(seen.bigDocumentData), nullptr);
    EXPECT_EQ(field(seen.descriptorParameters), nullptr);
    EXPECT_EQ(field(seen.samplingSupport), hostDoesNotSupportSampling);
}

TEST(FilterOffer, TheHostOwnsTheModulesHandlesAcrossRuns) {
    const int64_t before = host::handleStats().live;
    Handle firstParameters = nullptr;
    {
        ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t* data, int16*) {
            if (sel != filterSelectorPrepare) return;
            if (!fr->parameters) fr->parameters = fr->handleProcs->newProc(2612);
            if (!*data) *data = reinterpret_cast<intptr_t>(fr->handleProcs->newProc(20856));
            fr->handleProcs->lockProc(fr->parameters, true);
            fr->handleProcs->unlockProc(fr->parameters);
        });
        FilterHost host(scriptedEntry);
        Document doc = patterned(4, 4, ColorModel::gray, 8);
        host.run(doc);
        firstParameters = host.parameters();
        ASSERT_NE(firstParameters, nullptr);
        EXPECT_EQ(host::handleSize(firstParameters), 2612);
        host.run(doc);
        EXPECT_EQ(host.parameters(), firstParameters) << "kept between runs";
        EXPECT_EQ(host::handleStats().live, before + 2);
    }
    EXPECT_EQ(host::handleStats().live, before) << "disposed with the host";
}

TEST(FilterOffer, OnlyOneRunAtATime) {
    RunRecord inner;
    Document other = patterned(2, 2, ColorModel::gray, 8);
    ScriptedModule m([&](int16 sel, FilterRecord*, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        FilterHost nested(scriptedEntry);
        inner = nested.run(other);
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(4, 4, ColorModel::gray, 8);
    EXPECT_TRUE(host.run(doc).ok());
    EXPECT_FALSE(inner.ok());
    EXPECT_FALSE(inner.hostError.empty());
}

// ---------------------------------------------------------------------------
// Scripting descriptors through a run.

TEST(FilterDescriptor, ReplayedSettingsInAndRecordedSettingsOut) {
    const int64_t before = host::handleStats().live;
    std::vector<std::pair<DescriptorKeyID, int32>> read;
    int16 playInfo = -1;
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        PIDescriptorParameters* dp = fr->descriptorParameters;
        if (sel == filterSelectorStart) {
            playInfo = dp->playInfo;
            DescriptorKeyID keys[] = {fourCC("GLUE"), 0};
            PIReadDescriptor token =
                dp->readDescriptorProcs->openReadDescriptorProc(dp->descriptor, keys);
            ASSERT_NE(token, nullptr);
            DescriptorKeyID key;
            DescType type;
            int32 flags;
            while (dp->readDescriptorProcs->getKeyProc(token, &key, &type, &flags)) {
                int32 v = 0;
                if (type == typeInteger) dp->readDescriptorProcs->getIntegerProc(token, &v);
                if (type == typeEnumerated)
                    dp->readDescriptorProcs->getEnumeratedProc(token,
                                                               reinterpret_cast<DescEnum*>(&v));
                read.emplace_back(key, v);
            }
            dp->readDescriptorProcs->closeReadDescriptorProc(token);
            fr->handleProcs->disposeProc(dp->descriptor);
            dp->descriptor = nullptr;
        }
        if (sel == filterSelectorFinish) {
            PIWriteDescriptor token = dp->writeDescriptorProcs->openWriteDescriptorProc();
            dp->writeDescriptorProcs->putEnumeratedProc(token, fourCC("GLUE"), fourCC("GLty"),
                                                        fourCC("GL09"));
            dp->writeDescriptorProcs->putIntegerProc(token, fourCC("0014"), 77);
            PIDescriptorHandle out = nullptr;
            dp->writeDescriptorProcs->closeWriteDescriptorProc(token, &out);
            dp->descriptor = out;
            dp->recordInfo = plugInDialogOptional;
        }
    });
    HostOptions o;
    o.descriptors.playInfo = plugInDialogSilent;
    {
        FilterHost host(scriptedEntry, o);
        RunOptions ro;
        ro.descriptor = host::Descriptor()
                            .putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL07"))
                            .putInteger(fourCC("0002"), 55);
        Document doc = patterned(4, 4, ColorModel::gray, 8);
        RunRecord rec = host.run(doc, ro);
        ASSERT_TRUE(rec.ok());
        EXPECT_EQ(playInfo, plugInDialogSilent);
        ASSERT_EQ(read.size(), 2u);
        EXPECT_EQ(read[0].first, fourCC("GLUE"));
        EXPECT_EQ(DescEnum(read[0].second), fourCC("GL07"));
        EXPECT_EQ(read[1].second, 55);
        EXPECT_EQ(rec.descriptorCalls.keyList, (std::vector<DescriptorKeyID>{fourCC("GLUE")}));
        ASSERT_TRUE(rec.descriptorOut);
        EXPECT_TRUE(rec.descriptorReplaced);
        EXPECT_EQ(rec.descriptorOut->enumerated(fourCC("GLUE")), fourCC("GL09"));
        EXPECT_EQ(rec.descriptorOut->integer(fourCC("0014")), 77);
        EXPECT_EQ(rec.descriptorCalls.tokensLeftOpen, 0);
    }
    EXPECT_EQ(host::handleStats().live, before) << "no descriptor handle outlives the run";
}

TEST(FilterDescriptor, AnUntouchedDescriptorIsReportedAndDisposedByTheHost) {
    const int64_t before = host::handleStats().live;
    ScriptedModule m([](int16, FilterRecord*, intptr_t*, int16*) {});
    {
        FilterHost host(scriptedEntry);
        RunOptions ro;
        ro.descriptor = host::Descriptor().putInteger(fourCC("0003"), 3);
        Document doc = patterned(4, 4, ColorModel::gray, 8);
        RunRecord rec = host.run(doc, ro);
        ASSERT_TRUE(rec.descriptorOut);
        EXPECT_FALSE(rec.descriptorReplaced);
        EXPECT_EQ(rec.descriptorOut->integer(fourCC("0003")), 3);
    }
    EXPECT_EQ(host::handleStats().live, before);
}

TEST(FilterDescriptor, SuitesCanBeOfferedAbsentOldOrIncomplete) {
    const PIDescriptorParameters* seen = nullptr;
    PIDescriptorParameters copy{};
    ReadDescriptorProcs readCopy{};
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel != filterSelectorStart) return;
        seen = fr->descriptorParameters;
        if (seen) {
            copy = *seen;
            if (seen->readDescriptorProcs) readCopy = *seen->readDescriptorProcs;
        }
    });
    Document doc = patterned(2, 2, ColorModel::gray, 8);
    HostOptions o;
    o.descriptors.present = false;
    FilterHost(scriptedEntry, o).run(doc);
    EXPECT_EQ(seen, nullptr);

    o = HostOptions();
    o.descriptors.parametersVersion = 1;
    o.descriptors.readProcCount = 17;
    o.descriptors.writeSuite = false;
    o.descriptors.playInfo = plugInDialogDisplay;
    FilterHost(scriptedEntry, o).run(doc);
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(copy.descriptorParametersVersion, 1);
    EXPECT_EQ(copy.playInfo, plugInDialogDisplay);
    EXPECT_EQ(copy.writeDescriptorProcs, nullptr);
    EXPECT_EQ(readCopy.numReadDescriptorProcs, 17);
    EXPECT_EQ(readCopy.getPinnedUnitFloatProc, nullptr);
    EXPECT_EQ(copy.descriptor, nullptr) << "no settings to replay: a null descriptor";
}

TEST(FilterErrors, ResultsReadAsOneLine) {
    EXPECT_EQ(host::describeResult(userCanceledErr), "cancelled");
    EXPECT_EQ(host::describeResult(memFullErr), "out of memory");
    EXPECT_EQ(host::describeResult(-4242), "the filter failed with error -4242");
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        if (sel != filterSelectorStart) return;
        (*fr->errorString)[0] = 4;
        std::memcpy(&(*fr->errorString)[1], "oops", 4);
        *result = errReportString;
    });
    FilterHost host(scriptedEntry);
    Document doc = patterned(2, 2, ColorModel::gray, 8);
    EXPECT_EQ(host.run(doc).errorString, "oops");
}

} // namespace
