// Recorded actions: the descriptor read at start and written at finish.
#include <gtest/gtest.h>

#include <vector>

#include "host/handle_suite.h"
#include "platform/file.h"
#include "platform/temp_folder.h"
#include "plugin/run_context.h"
#include "plugin/scripting.h"
#include "plugin_test_support.h"
#include "presets/cached_settings.h"

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Descriptor;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;

namespace {

host::RunRecord runWith(HostOptions options, const Descriptor& d) {
    FilterHost h(qftest::entry, options);
    Document doc = qftest::filled(24, 24, ColorModel::rgb, 8, 10);
    RunOptions run;
    run.descriptor = d;
    return h.run(doc, run);
}

} // namespace

TEST(Scripting, EnumerationValuesMapByTheirLastTwoDigits) {
    EXPECT_EQ(glueEnumValue(1), fourCC("GL01"));
    EXPECT_EQ(glueEnumValue(64), fourCC("GL64"));
    EXPECT_EQ(glueEnumValue(69), fourCC("GL69"));
    EXPECT_EQ(glueEnumValue(70), 0x3C4E4F3Eu);
    EXPECT_EQ(glueEnumValue(0), 0x3C4E4F3Eu);
    EXPECT_EQ(glueEnumValue(-1), 0x3C4E4F3Eu);
    EXPECT_EQ(shapeEnumValue(1), fourCC("Hs01"));
    EXPECT_EQ(shapeEnumValue(7), fourCC("Hs07"));
    EXPECT_EQ(shapeEnumValue(8), 0x3C4E4F3Eu);
    EXPECT_EQ(stripeKindEnumValue(4), fourCC("Ht04"));
    EXPECT_EQ(stripeKindEnumValue(5), 0x3C4E4F3Eu);
    EXPECT_EQ(stripeKindEnumValue(INT32_MIN), 0x3C4E4F3Eu);

    // Reading: the letters and the range of the enumeration, nothing else.
    struct Case {
        const ScriptingEnumeration& e;
        const char* value;
        int32_t number;
    };
    const Case cases[] = {
        {kGlueEnumeration, "GL01", 1},       {kGlueEnumeration, "GL64", 64},
        {kGlueEnumeration, "GL69", 69},      {kGlueEnumeration, "GL70", 0},
        {kGlueEnumeration, "GL00", 0},       {kGlueEnumeration, "GL6x", 0},
        {kGlueEnumeration, "gl07", 0},       {kGlueEnumeration, "Hs01", 0},
        {kGlueEnumeration, "<NO>", 0},       {kShapeEnumeration, "Hs07", 7},
        {kShapeEnumeration, "Hs08", 0},      {kShapeEnumeration, "GL01", 0},
        {kShapeEnumeration, "Ht01", 0},      {kStripeKindEnumeration, "Ht04", 4},
        {kStripeKindEnumeration, "Ht05", 0}, {kStripeKindEnumeration, "Ht0x", 0},
        {kStripeKindEnumeration, "Ht/1", 0}, {kStripeKindEnumeration, "Ht:1", 0},
    };
    for (const Case& c : cases) {
        const uint32_t value = fourCC(*reinterpret_cast<const char(*)[5]>(c.value));
        EXPECT_EQ(enumNumber(c.e, value), c.number) << c.value;
    }
    // Whatever the range, the digits themselves (what the CLI shows).
    EXPECT_EQ(enumDigits(kGlueEnumeration, fourCC("GL70")), 70);
    EXPECT_EQ(enumDigits(kGlueEnumeration, fourCC("GL00")), 0);
    EXPECT_EQ(enumDigits(kStripeKindEnumeration, fourCC("Ht99")), 99);
    EXPECT_EQ(enumDigits(kGlueEnumeration, fourCC("GLUE")), -1);

    // Every number of every enumeration comes back from its value.
    for (const ScriptingEnumeration* e : kScriptingEnumerations)
        for (int32_t n = 1; n <= e->limit; ++n) EXPECT_EQ(enumNumber(*e, enumValue(*e, n)), n);
}

// The values the terminology names: every shape and stripe kind, and the
// glue modes other than 60, 61 and 64 to 69, mode 26 by its scripting name.
TEST(Scripting, TerminologyListsTheNamedValuesInNumberOrder) {
    const std::vector<ScriptingValue> shapes = terminologyValues(kShapeEnumeration);
    ASSERT_EQ(shapes.size(), 7u);
    EXPECT_EQ(shapes[4].name, "TVs");
    EXPECT_EQ(shapes[4].value, fourCC("Hs05"));
    const std::vector<ScriptingValue> kinds = terminologyValues(kStripeKindEnumeration);
    ASSERT_EQ(kinds.size(), 4u);
    EXPECT_EQ(kinds[3].name, "d");
    EXPECT_EQ(kinds[3].value, fourCC("Ht04"));

    const std::vector<ScriptingValue> glue = terminologyValues(kGlueEnumeration);
    ASSERT_EQ(glue.size(), 61u);
    EXPECT_EQ(glue.front().name, "normal");
    EXPECT_EQ(glue.front().value, fourCC("GL01"));
    EXPECT_EQ(glue[25].name, "harsh diff");
    EXPECT_EQ(glue[58].value, fourCC("GL59"));
    EXPECT_EQ(glue[59].name, "screendim");
    EXPECT_EQ(glue[59].value, fourCC("GL62"));
    EXPECT_EQ(glue.back().name, "starbright");
    EXPECT_EQ(glue.back().value, fourCC("GL63"));
    for (size_t i = 1; i < glue.size(); ++i) EXPECT_LT(glue[i - 1].number, glue[i].number);
}

// Every key lands in its own field: a hand-built descriptor with a distinct
// value per key, checked against the settings record itself (a round trip
// through read and write would not see two keys swapped).
TEST(Scripting, EveryKeyReachesItsOwnField) {
    Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL21"))
        .putInteger(fourCC("0002"), 102)
        .putInteger(fourCC("0003"), 103)
        .putInteger(fourCC("0004"), 104)
        .putInteger(fourCC("0005"), 105)
        .putInteger(fourCC("0006"), 106)
        .putInteger(fourCC("0007"), 107)
        .putInteger(fourCC("0008"), 108)
        .putInteger(fourCC("0009"), 109)
        .putInteger(fourCC("0010"), 110)
        .putInteger(fourCC("0011"), 2)
        .putEnumerated(fourCC("Hsky"), fourCC("Hsty"), fourCC("Hs05"))
        .putEnumerated(fourCC("Htky"), fourCC("Htty"), fourCC("Ht03"))
        .putInteger(fourCC("0014"), 114);
    FilterHost h(qftest::entry);
    Document doc = qftest::filled(24, 24, ColorModel::rgb, 8, 10);
    RunOptions run;
    run.descriptor = d;
    ASSERT_TRUE(h.run(doc, run).ok());
    const auto* s = reinterpret_cast<const SettingsRecord*>(host::lockHandle(h.parameters()));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->glue, 21);
    EXPECT_EQ(s->overlap, 102);
    EXPECT_EQ(s->stripes, 103);
    EXPECT_EQ(s->warping, 104);
    EXPECT_EQ(s->softness, 105);
    EXPECT_EQ(s->doublure, 106);
    EXPECT_EQ(s->color, 107);
    EXPECT_EQ(s->zoom, 108);
    EXPECT_EQ(s->complexity, 109);
    EXPECT_EQ(s->hue, 110);
    EXPECT_EQ(s->merge, 2);
    EXPECT_EQ(s->shape, 5);
    EXPECT_EQ(s->stripeKind, 3);
    EXPECT_EQ(s->randomSeed, 114);
    host::unlockHandle(h.parameters());
}

TEST(Scripting, ReplayedSettingsComeBackAtFinishAndTheHostDescriptorIsTaken) {
    Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL64"))
        .putInteger(fourCC("0009"), 100)
        .putEnumerated(fourCC("Hsky"), fourCC("Hsty"), fourCC("Hs09"))
        .putEnumerated(fourCC("Htky"), fourCC("Htty"), fourCC("Ht04"))
        .putInteger(fourCC("0014"), -7)
        .putInteger(fourCC("Zzzz"), 5); // not ours: skipped
    const host::RunRecord r = runWith({}, d);
    ASSERT_TRUE(r.ok()) << host::describeResult(r.result);
    EXPECT_EQ(r.descriptorCalls.readOpens, 2); // the probe and the read
    EXPECT_EQ(r.descriptorCalls.tokensLeftOpen, 0);
    ASSERT_TRUE(r.descriptorOut.has_value());
    EXPECT_TRUE(r.descriptorReplaced);
    const Descriptor& out = *r.descriptorOut;
    EXPECT_EQ(out.enumerated(fourCC("GLUE")), fourCC("GL64"));
    EXPECT_EQ(out.integer(fourCC("0009")), 100);
    // A shape that is not one of ours is stored as 0 and written as "<NO>".
    EXPECT_EQ(out.enumerated(fourCC("Hsky")), 0x3C4E4F3Eu);
    EXPECT_EQ(out.enumerated(fourCC("Htky")), fourCC("Ht04"));
    EXPECT_EQ(out.integer(fourCC("0014")), -7);
    EXPECT_EQ(out.find(fourCC("Zzzz")), nullptr);
    // Keys in the order the plug-in writes them.
    const char* order[] = {"GLUE", "0002", "0003", "0004", "0005", "0006", "0007",
                           "0008", "0009", "0010", "0011", "Hsky", "Htky", "0014"};
    ASSERT_EQ(out.items().size(), 14u);
    for (size_t i = 0; i < 14; ++i)
        EXPECT_EQ(out.items()[i].key, fourCC(*(const char(*)[5])order[i]));
    EXPECT_EQ(r.recordInfo, plugInDialogOptional);
}

TEST(Scripting, LiteHostSignaturesReadNothingButStillGetTheSettings) {
    for (const char* sig : {"PSP8", "PSP9"}) {
        // No descriptor counts, so the last-used settings would apply.
        deleteFile((temporaryFolder() + kCachedSettingsName).c_str());
        HostOptions o;
        o.hostSig = fourCC(*(const char(*)[5])sig);
        Descriptor d;
        d.putInteger(fourCC("0009"), 77);
        const host::RunRecord r = runWith(o, d);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.descriptorCalls.readOpens, 0);
        EXPECT_EQ(r.descriptorCalls.writeOpens, 1);
        ASSERT_TRUE(r.descriptorOut.has_value());
        EXPECT_EQ(r.descriptorOut->integer(fourCC("0009")), 0); // the default, not 77
    }
}

TEST(Scripting, IncompleteOrNewerSuitesCountAsUnavailable) {
    std::vector<HostOptions> hosts(5);
    hosts[0].descriptors.readVersion = 1;
    hosts[1].descriptors.writeVersion = 1;
    hosts[2].descriptors.readProcCount = 17;
    hosts[3].descriptors.writeProcCount = 15;
    hosts[4].descriptors.missingReadProc = 17; // the last one
    Descriptor d;
    d.putInteger(fourCC("0009"), 77);
    for (const HostOptions& o : hosts) {
        const host::RunRecord r = runWith(o, d);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.descriptorCalls.readOpens, 0);
        EXPECT_EQ(r.descriptorCalls.writeOpens, 0);
    }
}

TEST(Scripting, PlayModesWithoutDisplayRunSilently) {
    for (int16_t mode : {plugInDialogDontDisplay, plugInDialogSilent}) {
        HostOptions o;
        o.descriptors.playInfo = mode;
        Descriptor d;
        d.putInteger(fourCC("0009"), 30);
        FilterHost h(qftest::entry, o);
        Document doc = qftest::filled(24, 24, ColorModel::rgb, 8, 10);
        RunOptions run;
        run.showDialog = true; // the parameters selector asked for the dialog
        run.descriptor = d;
        ASSERT_TRUE(h.run(doc, run).ok());
        // The descriptor's play mode decided: no dialog is pending.
        const Handle data = reinterpret_cast<Handle>(h.data());
        auto* ctx = reinterpret_cast<RunContext*>(host::lockHandle(data));
        ASSERT_NE(ctx, nullptr);
        EXPECT_EQ(ctx->showDialog, 0);
        host::unlockHandle(data);
    }
}

TEST(Scripting, ARecordedActionReplaysTheSamePicture) {
    // Record: the settings the module writes at finish.
    Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL27"))
        .putInteger(fourCC("0009"), 65)
        .putInteger(fourCC("0014"), 1999)
        .putEnumerated(fourCC("Hsky"), fourCC("Hsty"), fourCC("Hs03"));
    Document first = qftest::filled(150, 100, ColorModel::rgb, 16, 9000);
    Document second = first;
    host::RunRecord recorded;
    {
        FilterHost h(qftest::entry);
        RunOptions run;
        run.descriptor = d;
        recorded = h.run(first, run);
        ASSERT_TRUE(recorded.ok());
        ASSERT_TRUE(recorded.descriptorOut.has_value());
    }
    // Replay in a fresh host, as after a restart of the editor.
    FilterHost h(qftest::entry);
    RunOptions replay;
    replay.descriptor = *recorded.descriptorOut;
    const host::RunRecord r = h.run(second, replay);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(second.bytes(), first.bytes());
    ASSERT_TRUE(r.descriptorOut.has_value());
    EXPECT_EQ(r.descriptorOut->items(), recorded.descriptorOut->items());
}
