// Failure sweeps: a small document rendered as a final render, a preview
// and an export, with every single advanceState call failing in turn and
// the run cancelled at every point the module asks. Each run must end with
// the code it was given (or cancelled), leave the document, the files and
// the host in a state from which the next run gives exactly the reference
// result.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/temp_folder.h"
#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin_test_support.h"
#include "rate_host.h"
#include "values/scripting_terms.h"

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Descriptor;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;

namespace {

namespace fs = std::filesystem;

constexpr OSErr kFailures[] = {memFullErr, -36 /* I/O error */, userCanceledErr};

RunOptions withSeed(std::optional<std::string> exportPath = std::nullopt) {
    Descriptor d;
    d.putInteger(kKeyRandomSeed, 31);
    if (exportPath) d.putText(kKeyExportPath, *exportPath).putInteger(kKeyExportWidth, 70);
    RunOptions run;
    run.descriptor = d;
    return run;
}

HostOptions hostFor(bool exporting) {
    HostOptions o;
    if (exporting) o.hostSig = kOwnHostSignature;
    return o;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Counts {
    int runs = 0, failed = 0, cancelled = 0, completed = 0;
};

// One kind of render swept: `exporting` writes a JPEG file instead of
// filtering the document.
Counts sweep(bool exporting, int depth) {
    Counts counts;
    const fs::path folder = fs::path(temporaryFolder()) / ("sweep_" + std::to_string(depth));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string out = (folder / "picture.jpg").string();
    auto runOptions = [&] { return exporting ? withSeed(out) : withSeed(); };
    const Document original = qftest::filled(90, 70, ColorModel::rgb, depth, 0.25 * (1 << depth));

    // The reference: how many calls a whole run makes, and what it gives.
    Document reference = original;
    int32_t calls = 0;
    std::string referenceFile;
    {
        FilterHost h(qftest::entry, hostFor(exporting));
        const host::RunRecord r = h.run(reference, runOptions());
        EXPECT_TRUE(r.ok()) << r.result;
        calls = r.moduleAdvanceCalls;
        if (exporting) {
            referenceFile = readAll(out);
            EXPECT_FALSE(referenceFile.empty());
            fs::remove(out);
        }
    }
    EXPECT_GE(calls, 1);

    auto expectWholeAgain = [&](FilterHost& h, const std::string& what) {
        Document doc = original;
        const host::RunRecord r = h.run(doc, runOptions());
        ASSERT_TRUE(r.ok()) << what << ": the next run fails with " << r.result;
        if (exporting) {
            EXPECT_EQ(readAll(out), referenceFile) << what;
            fs::remove(out);
        } else {
            EXPECT_EQ(qftest::countChanged(reference, doc), 0) << what;
        }
    };
    auto expectNothingLeft = [&](const Document& doc, const std::string& what) {
        EXPECT_EQ(qftest::countChanged(original, doc), 0) << what << ": the document is restored";
        EXPECT_TRUE(namesIn(folder).empty()) << what << ": no file, complete or partial";
    };

    for (OSErr code : kFailures)
        for (int32_t at = 1; at <= calls; ++at) {
            const std::string what =
                "advanceState call " + std::to_string(at) + " failing with " + std::to_string(code);
            HostOptions o = hostFor(exporting);
            o.failAdvanceAtCall = at;
            o.failAdvanceError = code;
            FilterHost h(qftest::entry, o);
            Document doc = original;
            const host::RunRecord r = h.run(doc, runOptions());
            ++counts.runs;
            ++counts.failed;
            EXPECT_EQ(r.result, code) << what;
            expectNothingLeft(doc, what);
            h.options().failAdvanceAtCall = 0;
            expectWholeAgain(h, what);
        }
    // Cancelled after each call: either the run notices and ends cancelled,
    // or it had already finished its last step and ends whole.
    for (int32_t at = 1; at <= calls; ++at) {
        const std::string what = "cancelled after call " + std::to_string(at);
        HostOptions o = hostFor(exporting);
        o.abortAfterAdvanceCalls = at;
        FilterHost h(qftest::entry, o);
        Document doc = original;
        const host::RunRecord r = h.run(doc, runOptions());
        ++counts.runs;
        if (r.result == userCanceledErr) {
            ++counts.cancelled;
            expectNothingLeft(doc, what);
        } else {
            ++counts.completed;
            EXPECT_EQ(r.result, noErr) << what;
            EXPECT_EQ(at, calls) << what << ": only the last call may be too late to cancel";
            if (exporting) fs::remove(out);
        }
        h.options().abortAfterAdvanceCalls = 0;
        expectWholeAgain(h, what);
    }
    fs::remove_all(folder);
    return counts;
}

// The preview reads the document plane by plane through advanceState.
int32_t g_failAt = 0, g_calls = 0;
OSErr g_failWith = 0;
OSErr failingAdvance() {
    if (++g_calls == g_failAt) return g_failWith;
    return qftest::RateHost::advance();
}

} // namespace

TEST(FailureSweep, FinalRendersEndWithTheirCodeAndTheNextRunIsWhole) {
    for (int depth : {8, 16}) {
        const Counts c = sweep(false, depth);
        EXPECT_GT(c.cancelled, 0) << depth;
        std::printf("final render, %d-bit: %d runs (%d failing, %d cancelled, %d complete)\n",
                    depth, c.runs, c.failed, c.cancelled, c.completed);
    }
}

TEST(FailureSweep, ExportsEndWithTheirCodeAndLeaveNoFile) {
    const Counts c = sweep(true, 8);
    EXPECT_GT(c.cancelled, 0);
    std::printf("export: %d runs (%d failing, %d cancelled, %d complete)\n", c.runs, c.failed,
                c.cancelled, c.completed);
}

namespace {

// The read, then the render when the read went through (the failing call
// may be either's); or the dialog's preview, which reads the source while
// the first tiles are computed.
void readThenRender(qftest::RateHost& host, bool dialogWay) {
    if (dialogWay) {
        renderPreview(host.call);
        return;
    }
    readPreviewSource(host.call);
    if (host.result == 0) renderPreviewPass(host.call);
}

} // namespace

TEST(FailureSweep, PreviewReadsEndWithTheirCodeAndTheNextPreviewIsWhole) {
    const int32_t w = 300, h = 200;
    std::vector<uint8_t> reference;
    int32_t calls = 0;
    {
        qftest::RateHost host(w, h);
        host.settings.previewZoom = 1;
        host.fr.advanceState = failingAdvance;
        g_calls = 0;
        g_failAt = 0;
        readThenRender(host, false);
        ASSERT_EQ(host.result, 0);
        calls = g_calls;
        reference.assign(host.ctx.planeBuffer, host.ctx.planeBuffer + size_t(w) * h * 3);
        EXPECT_EQ(host.abortTests, 0) << "previews are never cancelled by the host";
    }
    ASSERT_GE(calls, 1);
    int runs = 0;
    for (bool dialogWay : {false, true})
        for (OSErr code : kFailures)
            for (int32_t at = 1; at <= calls; ++at) {
                qftest::RateHost host(w, h);
                host.settings.previewZoom = 1;
                host.fr.advanceState = failingAdvance;
                g_calls = 0;
                g_failAt = at;
                g_failWith = code;
                readThenRender(host, dialogWay);
                ++runs;
                EXPECT_EQ(host.result, code) << at << (dialogWay ? " (dialog)" : "");
                // The same run context reads and renders again.
                host.result = 0;
                g_failAt = 0;
                g_calls = 0;
                readThenRender(host, dialogWay);
                ASSERT_EQ(host.result, 0) << at;
                EXPECT_EQ(g_calls, calls) << "the same host calls either way";
                EXPECT_TRUE(std::equal(reference.begin(), reference.end(), host.ctx.planeBuffer))
                    << at << (dialogWay ? " (dialog)" : "");
            }
    std::printf("preview: %d runs failing\n", runs);
}
