// The final render through the host: every depth and mode, the selection,
// transparency, large documents, cancellation and host failures.
#include <gtest/gtest.h>

#include "plugin_test_support.h"

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;
using host::Transparency;

TEST(FinalRender, EveryDepthAndModeIsPainted) {
    for (ColorModel model : {ColorModel::gray, ColorModel::rgb}) {
        for (int depth : {8, 16, 32}) {
            FilterHost h(qftest::entry);
            Document doc = qftest::filled(150, 140, model, depth, depth == 32 ? 0.25 : 20);
            const Document before = doc;
            const host::RunRecord r = h.run(doc);
            ASSERT_TRUE(r.ok()) << host::describeResult(r.result) << " depth " << depth;
            EXPECT_GT(qftest::countChanged(before, doc), 150 * 140 * 9 / 10) << "depth " << depth;
            // Same settings, same pixels.
            Document again = before;
            ASSERT_TRUE(h.run(again).ok());
            EXPECT_EQ(again.bytes(), doc.bytes());
        }
    }
}

TEST(FinalRender, GrayDocumentsGetTheSamePictureAtEveryDepth) {
    // 8-bit and 16-bit results of the same picture agree to within one step
    // of the coarser depth.
    FilterHost h(qftest::entry);
    Document d8 = qftest::filled(130, 70, ColorModel::gray, 8, 0);
    Document d16 = qftest::filled(130, 70, ColorModel::gray, 16, 0);
    ASSERT_TRUE(h.run(d8).ok());
    ASSERT_TRUE(h.run(d16).ok());
    for (int32_t y = 0; y < 70; y += 7)
        for (int32_t x = 0; x < 130; x += 3)
            EXPECT_NEAR(d8.sample(x, y, 0) / 255.0, d16.sample(x, y, 0) / 32768.0,
                        1.0 / 255 + 1e-6);
}

TEST(FinalRender, OutsideTheSelectionNothingChanges) {
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(200, 150, ColorModel::rgb, 8, 40);
    std::vector<uint8_t> mask(200 * 150, 0);
    for (int32_t y = 30; y < 120; ++y)
        for (int32_t x = 50; x < 170; ++x) mask[size_t(y) * 200 + x] = 255;
    ASSERT_TRUE(doc.setMask(mask));
    const Document before = doc;
    const host::RunRecord r = h.run(doc);
    ASSERT_TRUE(r.ok());
    int changedInside = 0;
    for (int32_t y = 0; y < 150; ++y)
        for (int32_t x = 0; x < 200; ++x) {
            const bool inside = mask[size_t(y) * 200 + x] != 0;
            bool changed = false;
            for (int c = 0; c < 3; ++c) changed |= before.sample(x, y, c) != doc.sample(x, y, c);
            if (!inside) {
                ASSERT_FALSE(changed) << x << "," << y;
            }
            changedInside += changed;
        }
    EXPECT_GT(changedInside, 120 * 90 * 9 / 10);
}

TEST(FinalRender, EditableTransparencyReceivesTheResultAlpha) {
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(100, 60, ColorModel::rgb, 8, 10, Transparency::editable);
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 100; ++x) doc.setSample(x, y, 3, 0); // fully transparent
    const host::RunRecord r = h.run(doc);
    ASSERT_TRUE(r.ok()) << host::describeResult(r.result);
    // The normal glue mode with a fully opaque generated colour leaves an
    // opaque result.
    for (int32_t y = 0; y < 60; y += 5)
        for (int32_t x = 0; x < 100; x += 5) EXPECT_EQ(doc.sample(x, y, 3), 255);
}

TEST(FinalRender, WideDocumentsUseThe32BitRectanglesOnly) {
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(40000, 3, ColorModel::gray, 8, 0);
    const Document before = doc;
    const host::RunRecord r = h.run(doc);
    ASSERT_TRUE(r.ok()) << host::describeResult(r.result) << " " << r.hostError;
    EXPECT_TRUE(r.used32BitCoordinates);
    for (const host::AdvanceCall& call : r.deliveries) EXPECT_TRUE(call.used32BitCoordinates);
    // The far right end is painted too.
    int changedAtEnd = 0;
    for (int32_t x = 39900; x < 40000; ++x)
        changedAtEnd += before.sample(x, 1, 0) != doc.sample(x, 1, 0);
    EXPECT_GT(changedAtEnd, 50);
}

TEST(FinalRender, MinimalEditorsWithoutBigDocumentsStillWork) {
    FilterHost h(qftest::entry, HostOptions::minimalEditor());
    Document doc = qftest::filled(300, 130, ColorModel::rgb, 8, 0);
    const Document before = doc;
    const host::RunRecord r = h.run(doc);
    ASSERT_TRUE(r.ok()) << host::describeResult(r.result) << " " << r.hostError;
    EXPECT_FALSE(r.used32BitCoordinates);
    EXPECT_GT(qftest::countChanged(before, doc), 300 * 130 * 9 / 10);
}

TEST(FinalRender, CancelLeavesCompositedTilesAndReportsCancelled) {
    // 3 x 2 tiles; each tile costs two advanceState calls.
    for (int32_t after : {1, 2, 5, 11}) {
        HostOptions o;
        o.abortAfterAdvanceCalls = after;
        o.restoreOnFailure = false;
        FilterHost h(qftest::entry, o);
        Document doc = qftest::filled(300, 200, ColorModel::rgb, 8, 0);
        const Document before = doc;
        const host::RunRecord r = h.run(doc);
        EXPECT_EQ(r.result, userCanceledErr) << after;
        const int changed = qftest::countChanged(before, doc);
        EXPECT_LT(changed, 300 * 200) << after;
        if (after >= 5) {
            EXPECT_GT(changed, 0) << after;
        }
    }
}

TEST(FinalRender, HostFailureMidwayEndsTheRenderWithItsCode) {
    for (int32_t at : {1, 2, 4, 12}) {
        HostOptions o;
        o.failAdvanceAtCall = at;
        o.failAdvanceError = -36;
        FilterHost h(qftest::entry, o);
        Document doc = qftest::filled(300, 200, ColorModel::rgb, 16, 0);
        const host::RunRecord r = h.run(doc);
        EXPECT_EQ(r.result, -36) << at;
    }
}
