// The last-used settings between runs: read when no recorded action is
// replayed, written after every render, a cancelled one included.
#include <string>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/temp_folder.h"
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

std::string cachedPath() {
    return temporaryFolder() + kCachedSettingsName;
}

host::RunRecord runOnce(const std::optional<Descriptor>& d, HostOptions options = {}) {
    FilterHost h(qftest::entry, options);
    Document doc = qftest::filled(140, 140, ColorModel::rgb, 8, 30);
    RunOptions run;
    run.descriptor = d;
    return h.run(doc, run);
}

int32_t complexityUsed(const host::RunRecord& r) {
    return r.descriptorOut ? r.descriptorOut->integer(fourCC("0009")).value_or(-1) : -1;
}

} // namespace

TEST(CachedSettings, ARunWithoutARecordedActionUsesTheLastSettings) {
    deleteFile(cachedPath().c_str());
    // First run on a clean machine: the defaults.
    EXPECT_EQ(complexityUsed(runOnce(std::nullopt)), 0);

    Descriptor d;
    d.putInteger(fourCC("0009"), 33).putInteger(fourCC("0014"), 1500);
    ASSERT_EQ(complexityUsed(runOnce(d)), 33);
    // The replayed settings are what the file holds now.
    SettingsRecord cached{};
    ASSERT_EQ(readCachedSettings(cached), 0);
    EXPECT_EQ(cached.complexity, 33);
    EXPECT_EQ(cached.randomSeed, 1500);

    // Next run without an action: the remembered settings come back.
    EXPECT_EQ(complexityUsed(runOnce(std::nullopt)), 33);

    // A replayed action ignores the file.
    Descriptor other;
    other.putInteger(fourCC("0010"), 5);
    EXPECT_EQ(complexityUsed(runOnce(other)), 0);
    deleteFile(cachedPath().c_str());
}

TEST(CachedSettings, ACancelledRenderIsRememberedToo) {
    deleteFile(cachedPath().c_str());
    HostOptions cancelling;
    cancelling.abortAfterAdvanceCalls = 1;
    Descriptor d;
    d.putInteger(fourCC("0009"), 44);
    EXPECT_EQ(runOnce(d, cancelling).result, userCanceledErr);
    SettingsRecord cached{};
    ASSERT_EQ(readCachedSettings(cached), 0);
    EXPECT_EQ(cached.complexity, 44);
    deleteFile(cachedPath().c_str());
}

TEST(CachedSettings, ARefusedRunWritesNothing) {
    deleteFile(cachedPath().c_str());
    qftest::CaughtMessages messages;
    HostOptions noAdvance;
    noAdvance.advanceState = false;
    Descriptor d;
    d.putInteger(fourCC("0009"), 55);
    EXPECT_EQ(runOnce(d, noAdvance).result, 1);
    SettingsRecord cached{};
    EXPECT_NE(readCachedSettings(cached), 0);
}
