// What each editor profile shows a module, seen from a scripted module:
// the record's fields, the handle suite's answers, the preset result, the
// depths it edits and who applies the selection.
#include "host/filter_host.h"
#include "host/handle_suite.h"
#include "scripted_module.h"

#include <gtest/gtest.h>

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::PropertyListWalk;
using host::RunOptions;
using host::RunRecord;
using namespace hosttest;

namespace {

// What a module sees of the host at every selector.
struct Seen {
    std::vector<int16> presetResults; // *result on entry, per selector
    VPoint floatCoord{-1, -1};
    bool bigDocument = true;
    bool descriptors = true;
    bool basicSuite = true;
    int32 sizeOfOwnHandle = -1; // getSizeProc of a 100-byte handle the module made
    OSErr setSizeResult = -1;   // setSizeProc(h, 500) on it
    int32 realSizeAfterSetSize = -1;
};

// A module that records what it sees, answers 0 to every selector, and
// asks for nothing.
Script observer(Seen& seen) {
    return [&seen](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        seen.presetResults.push_back(*result);
        *result = noErr;
        if (sel != filterSelectorPrepare) return;
        seen.floatCoord = VPoint{fr->floatCoord.v, fr->floatCoord.h};
        seen.bigDocument = fr->bigDocumentData != nullptr;
        seen.descriptors = fr->descriptorParameters != nullptr;
        seen.basicSuite = fr->sSPBasic != nullptr;
        Handle h = fr->handleProcs->newProc(100);
        seen.sizeOfOwnHandle = fr->handleProcs->getSizeProc(h);
        seen.setSizeResult = fr->handleProcs->setSizeProc(h, 500);
        seen.realSizeAfterSetSize = host::handleSize(h);
        fr->handleProcs->disposeProc(h);
    };
}

Document withSelection(int32_t w, int32_t h, const VRect& r, uint8_t inside = 255) {
    Document d = Document::make(w, h, ColorModel::gray, 8);
    d.fill({100});
    std::vector<uint8_t> mask(size_t(w) * size_t(h), 0);
    for (int32_t y = r.top; y < r.bottom; ++y)
        for (int32_t x = r.left; x < r.right; ++x) mask[size_t(y) * size_t(w) + size_t(x)] = inside;
    EXPECT_TRUE(d.setMask(mask));
    return d;
}

TEST(EditorProfiles, WhatEachProfileShowsAModule) {
    Seen seen;
    ScriptedModule m(observer(seen));
    Document doc = withSelection(40, 30, VRect{7, 12, 20, 33});

    FilterHost complete(scriptedEntry);
    ASSERT_TRUE(complete.run(doc).ok());
    EXPECT_EQ(complete.about(), noErr);
    EXPECT_EQ(seen.presetResults, (std::vector<int16>{0, 0, 0, 0}));
    EXPECT_EQ(seen.floatCoord.v, 7);
    EXPECT_EQ(seen.floatCoord.h, 12);
    EXPECT_TRUE(seen.bigDocument);
    EXPECT_TRUE(seen.descriptors);
    EXPECT_EQ(seen.sizeOfOwnHandle, 100);
    EXPECT_EQ(seen.setSizeResult, noErr);
    EXPECT_EQ(seen.realSizeAfterSetSize, 500);
    EXPECT_EQ(complete.options().propertyListWalk, PropertyListWalk::none);

    seen = Seen();
    FilterHost legacy(scriptedEntry, HostOptions::legacyEditor());
    RunRecord rec = legacy.run(doc);
    ASSERT_TRUE(rec.ok()) << rec.result << " " << rec.hostError;
    EXPECT_EQ(legacy.about(), noErr) << "the module wrote 0 over the preset";
    EXPECT_EQ(seen.presetResults, (std::vector<int16>{1, 1, 1, 1}))
        << "prepare, start, finish and about";
    EXPECT_EQ(seen.floatCoord.v, 0);
    EXPECT_EQ(seen.floatCoord.h, 0);
    EXPECT_FALSE(seen.bigDocument);
    EXPECT_FALSE(seen.descriptors);
    EXPECT_FALSE(seen.basicSuite);
    EXPECT_EQ(seen.sizeOfOwnHandle, 0) << "the size of every handle is unknown";
    EXPECT_EQ(seen.setSizeResult, noErr);
    EXPECT_EQ(seen.realSizeAfterSetSize, 100) << "and setSizeProc does nothing";
    EXPECT_EQ(legacy.options().propertyListWalk, PropertyListWalk::storedLength);

    seen = Seen();
    FilterHost rounding(scriptedEntry, HostOptions::roundingEditor());
    ASSERT_TRUE(rounding.run(doc).ok());
    EXPECT_EQ(seen.presetResults, (std::vector<int16>{0, 0, 0}));
    EXPECT_EQ(seen.floatCoord.v, 7);
    EXPECT_EQ(seen.floatCoord.h, 12);
    EXPECT_FALSE(seen.bigDocument);
    EXPECT_EQ(seen.sizeOfOwnHandle, 100);
    EXPECT_EQ(rounding.options().propertyListWalk, PropertyListWalk::roundedUp);
}

TEST(EditorProfiles, TheFloatCoordinateOfTheBigDocumentFollowsTheSixteenBitOne) {
    VPoint seen32{-1, -1};
    ScriptedModule m([&](int16 sel, FilterRecord* fr, intptr_t*, int16*) {
        if (sel == filterSelectorPrepare) seen32 = fr->bigDocumentData->floatCoord32;
    });
    Document doc = withSelection(40, 30, VRect{7, 12, 20, 33});
    HostOptions o;
    o.floatCoordAtSelection = false;
    FilterHost(scriptedEntry, o).run(doc);
    EXPECT_EQ(seen32.v, 0);
    EXPECT_EQ(seen32.h, 0);
    FilterHost(scriptedEntry).run(doc);
    EXPECT_EQ(seen32.v, 7);
    EXPECT_EQ(seen32.h, 12);
}

TEST(EditorProfiles, AModuleThatLeavesThePresetResultFailsUnderTheLegacyEditor) {
    std::vector<int16> seen;
    ScriptedModule m([&](int16 sel, FilterRecord*, intptr_t*, int16*) { seen.push_back(sel); });
    Document doc = Document::make(8, 8, ColorModel::rgb, 8);
    FilterHost legacy(scriptedEntry, HostOptions::legacyEditor());
    const RunRecord rec = legacy.run(doc);
    EXPECT_EQ(rec.result, 1);
    EXPECT_EQ(rec.failedSelector, filterSelectorPrepare);
    EXPECT_EQ(seen, (std::vector<int16>{filterSelectorPrepare}));
    EXPECT_EQ(legacy.about(), 1);
    FilterHost complete(scriptedEntry);
    EXPECT_TRUE(complete.run(doc).ok());
    EXPECT_EQ(complete.about(), 0);
}

TEST(EditorProfiles, TheLegacyEditorEditsEightBitDocumentsOnly) {
    int calls = 0;
    ScriptedModule m([&](int16, FilterRecord*, intptr_t*, int16* result) {
        ++calls;
        *result = noErr;
    });
    FilterHost legacy(scriptedEntry, HostOptions::legacyEditor());
    for (ColorModel model : {ColorModel::gray, ColorModel::rgb}) {
        for (int depth : {16, 32}) {
            Document doc = Document::make(8, 8, model, depth);
            const RunRecord rec = legacy.run(doc);
            EXPECT_EQ(rec.result, errPlugInHostInsufficient);
            EXPECT_EQ(rec.hostError, "this host edits 8-bit documents only, not " +
                                         std::to_string(depth) + "-bit ones");
        }
    }
    EXPECT_EQ(calls, 0) << "refused before the module is called";
    Document eight = Document::make(8, 8, ColorModel::gray, 8);
    EXPECT_TRUE(legacy.run(eight).ok());
    EXPECT_EQ(calls, 3);
}

TEST(EditorProfiles, TheLegacyEditorBlendsTheSelectionEvenWhenTheModuleMasks) {
    // A soft selection: the module turns the host's masking off and writes
    // 200 over the whole filter rectangle.
    ScriptedModule m([](int16 sel, FilterRecord* fr, intptr_t*, int16* result) {
        *result = noErr;
        if (sel != filterSelectorStart) return;
        fr->autoMask = false;
        const VRect f{fr->filterRect.top, fr->filterRect.left, fr->filterRect.bottom,
                      fr->filterRect.right};
        ASSERT_EQ(requestArea(fr, f), noErr);
        for (int32 y = 0; y < f.bottom - f.top; ++y)
            std::memset(static_cast<char*>(fr->outData) + y * fr->outRowBytes, 200,
                        size_t(f.right - f.left));
        emptyRects(fr);
    });
    const Document doc = withSelection(10, 6, VRect{1, 2, 4, 7}, 128);

    Document raw = doc;
    RunRecord rec = FilterHost(scriptedEntry).run(raw);
    ASSERT_TRUE(rec.ok());
    EXPECT_FALSE(rec.autoMaskApplied);
    Document blended = doc;
    rec = FilterHost(scriptedEntry, HostOptions::legacyEditor()).run(blended);
    ASSERT_TRUE(rec.ok());
    EXPECT_TRUE(rec.autoMaskApplied);
    for (int32 y = 0; y < 6; ++y)
        for (int32 x = 0; x < 10; ++x) {
            const bool in = y >= 1 && y < 4 && x >= 2 && x < 7;
            EXPECT_EQ(raw.sample(x, y, 0), in ? 200 : 100) << x << "," << y;
            EXPECT_EQ(blended.sample(x, y, 0), in ? 150 : 100)
                << x << "," << y << ": half way at 128";
        }
}

} // namespace
