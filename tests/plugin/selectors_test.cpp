// The entry point and its selectors, driven by our host exactly as an
// editor drives them.
#include <gtest/gtest.h>

#include "plugin/plugin_entry.h"
#include "plugin_test_support.h"
#include "values/result_codes.h"

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;
using host::Transparency;

TEST(Selectors, AboutNeedsNoHandlesAndTouchesNone) {
    qftest::CaughtMessages messages;
    FilterHost h(qftest::entry);
    EXPECT_EQ(h.about(), 0);
    EXPECT_EQ(h.parameters(), nullptr);
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(messages.texts.size(), 1u);
}

// Some hosts preset the result cell to a failure before every call: each
// selector answers for itself, about and continue included.
TEST(Selectors, EverySelectorWritesItsResult) {
    qftest::CaughtMessages messages;
    PlatformData platform{0};
    AboutRecord about{};
    about.platformData = &platform;
    intptr_t data = 0;
    int16 result = 1;
    qftest::entry(filterSelectorAbout, &about, &data, &result);
    EXPECT_EQ(result, 0);
    FilterRecord fr{};
    result = 1;
    qftest::entry(filterSelectorContinue, &fr, &data, &result);
    EXPECT_EQ(result, 0);
    result = 1;
    qftest::entry(99, &fr, &data, &result);
    EXPECT_EQ(result, 0);
}

TEST(Selectors, HostWithoutAdvanceStateIsRefusedBeforeAnyDescriptorIsRead) {
    qftest::CaughtMessages messages;
    HostOptions options;
    options.advanceState = false;
    FilterHost h(qftest::entry, options);
    Document doc = qftest::filled(40, 30, ColorModel::rgb, 8, 100);
    host::Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL07"));
    RunOptions run;
    run.descriptor = d;
    const host::RunRecord r = h.run(doc, run);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(lastReasonCode(), kReasonNoAdvanceState);
    // At most the presence probe opens it; no key is read from it.
    EXPECT_TRUE(r.descriptorCalls.keysRead.empty());
    EXPECT_LE(r.descriptorCalls.readOpens, 1);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("Photoshop 3.0 plug-in standard"), std::string::npos);
}

TEST(Selectors, MultichannelDocumentsAreRefused) {
    qftest::CaughtMessages messages;
    FilterHost h(qftest::entry);
    Document doc =
        Document::make(20, 20, ColorModel::multichannel, 8, Transparency::none, nullptr, 3);
    ASSERT_TRUE(doc.valid());
    const Document before = doc;
    const host::RunRecord r = h.run(doc);
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(lastReasonCode(), kReasonMultichannel);
    EXPECT_EQ(qftest::countChanged(before, doc), 0);
    EXPECT_EQ(messages.texts.size(), 1u);
}

TEST(Selectors, PrepareLowersTheMemoryOfferButNeverRaisesIt) {
    Document doc = qftest::filled(300, 300, ColorModel::rgb, 8, 50);
    std::vector<uint8_t> mask(300 * 300, 255);
    ASSERT_TRUE(doc.setMask(mask));
    {
        HostOptions o;
        o.maxSpace = 100 << 20;
        FilterHost h(qftest::entry, o);
        const host::RunRecord r = h.run(doc);
        ASSERT_TRUE(r.ok()) << host::describeResult(r.result);
        EXPECT_EQ(r.maxSpaceAfterPrepare, 2 * 256 * 256 * 4);
        EXPECT_EQ(r.bufferSpaceAfterPrepare, 0);
    }
    {
        HostOptions o;
        o.maxSpace = 1000;
        FilterHost h(qftest::entry, o);
        EXPECT_EQ(h.run(doc).maxSpaceAfterPrepare, 1000);
    }
}

TEST(Selectors, AllPixelsAreDeliveredDuringStartSoTheHostLoopNeverRuns) {
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(64, 48, ColorModel::gray, 8, 10);
    const host::RunRecord r = h.run(doc);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.loopPasses, 0);
    EXPECT_EQ(r.selectors.back().selector, filterSelectorFinish);
}

TEST(Selectors, ContinueAnswersThreeEmptyRectangles) {
    FilterRecord fr{};
    fr.inRect = Rect{1, 2, 3, 4};
    fr.outRect = Rect{5, 6, 7, 8};
    fr.maskRect = Rect{9, 10, 11, 12};
    BigDocumentStruct big{};
    big.inRect32 = VRect{1, 2, 30000, 40000};
    big.outRect32 = big.inRect32;
    big.maskRect32 = big.inRect32;
    intptr_t data = 0;
    int16 result = 0;
    for (bool withBig : {false, true}) {
        fr.bigDocumentData = withBig ? &big : nullptr;
        qftest::entry(filterSelectorContinue, &fr, &data, &result);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(lastReasonCode(), kReasonContinue);
        if (withBig) {
            for (const VRect* r : {&big.inRect32, &big.outRect32, &big.maskRect32})
                EXPECT_TRUE(r->top == 0 && r->left == 0 && r->bottom == 0 && r->right == 0);
        } else {
            for (const Rect* r : {&fr.inRect, &fr.outRect, &fr.maskRect})
                EXPECT_TRUE(r->top == 0 && r->left == 0 && r->bottom == 0 && r->right == 0);
        }
    }
}

TEST(Selectors, PrepareResetsTheParametersButKeepsTheSeed) {
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(32, 32, ColorModel::rgb, 8, 10);
    host::Descriptor first;
    first.putInteger(fourCC("0002"), 5)
        .putInteger(fourCC("0014"), 99)
        .putInteger(fourCC("0010"), 3);
    RunOptions run;
    run.descriptor = first;
    ASSERT_TRUE(h.run(doc, run).ok());

    // Only the glue mode this time: everything else falls back to the plain
    // defaults, not the previous run's values; the seed survives.
    host::Descriptor second;
    second.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL07"));
    run.descriptor = second;
    const host::RunRecord r = h.run(doc, run);
    ASSERT_TRUE(r.ok());
    ASSERT_TRUE(r.descriptorOut.has_value());
    const host::Descriptor& out = *r.descriptorOut;
    EXPECT_EQ(out.enumerated(fourCC("GLUE")), fourCC("GL07"));
    EXPECT_EQ(out.integer(fourCC("0002")), 73);
    EXPECT_EQ(out.integer(fourCC("0010")), 47);
    EXPECT_EQ(out.integer(fourCC("0014")), 99);
    EXPECT_EQ(out.enumerated(fourCC("Hsky")), fourCC("Hs07"));
    EXPECT_EQ(out.enumerated(fourCC("Htky")), fourCC("Ht02"));
}

TEST(Selectors, FinalRenderReportsProgressFromTwoOfAHundred) {
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(300, 200, ColorModel::rgb, 8, 10);
    const host::RunRecord r = h.run(doc);
    ASSERT_TRUE(r.ok());
    ASSERT_FALSE(r.progress.empty());
    EXPECT_EQ(r.progress.front().done, 2);
    EXPECT_EQ(r.progress.front().total, 100);
    for (size_t i = 1; i < r.progress.size(); ++i) {
        EXPECT_EQ(r.progress[i].total, 1000);
        EXPECT_LE(r.progress[i].done, 1001);
    }
}
