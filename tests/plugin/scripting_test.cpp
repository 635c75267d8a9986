// Recorded actions: the descriptor read at start and written at finish.
#include <gtest/gtest.h>

#include "host/handle_suite.h"
#include "plugin/run_context.h"
#include "plugin/scripting.h"
#include "platform/file.h"
#include "platform/temp_folder.h"
#include "presets/cached_settings.h"
#include "plugin_test_support.h"

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
    EXPECT_EQ(shapeEnumValue(7), fourCC("Hs07"));
    EXPECT_EQ(shapeEnumValue(8), 0x3C4E4F3Eu);
    EXPECT_EQ(stripeKindEnumValue(4), fourCC("Ht04"));
    EXPECT_EQ(enumNumber(fourCC("GL\0\0"), 69, fourCC("GL64")), 64);
    EXPECT_EQ(enumNumber(fourCC("Hs\0\0"), 7, fourCC("Hs08")), 0);
    EXPECT_EQ(enumNumber(fourCC("Hs\0\0"), 7, fourCC("GL01")), 0);
    EXPECT_EQ(enumNumber(fourCC("Ht\0\0"), 4, fourCC("Ht0x")), 0);
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
    for (size_t i = 0; i < 14; ++i) EXPECT_EQ(out.items()[i].key, fourCC(*(const char(*)[5])order[i]));
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
