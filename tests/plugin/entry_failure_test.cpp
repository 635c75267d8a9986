// Every failure the entry point can meet in prepare and start, driven
// through the module by our own host as an editor would cause it: each
// call of newProc, lockProc and setSizeProc refused in turn, the records
// withheld, the render buffers and the dialog's state not to be had, and a
// cancel. Each run must end with its result and reason codes, leave the
// document as it was, leak no handle, and the next run, on the same host
// and on a fresh one, must give exactly the reference pixels. (Leaks of the
// module's own memory are the sanitizer builds' to find.)
#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "host/handle_suite.h"
#include "plugin_test_support.h"
#include "render/render_driver.h"
#include "ui/dialog_model.h"
#include "values/result_codes.h"
#include "values/scripting_terms.h"

namespace qf {}
using namespace qf;
using namespace qf::host;

// The module's own allocations cannot fail on request through the host:
// this suite's non-throwing operator new refuses the next block of a given
// size once it is armed. Every other block comes from the ordinary
// (throwing) operator new, so a sanitizer sees matching pairs.
namespace {
std::atomic<size_t> g_refuseSize{0};
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    size_t armed = size;
    if (size != 0 && g_refuseSize.compare_exchange_strong(armed, 0)) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

RunOptions seeded() {
    Descriptor d;
    d.putInteger(kKeyRandomSeed, 57);
    RunOptions run;
    run.descriptor = d;
    return run;
}

const Document& original() {
    static const Document d = qftest::filled(64, 48, host::ColorModel::rgb, 8, 90);
    return d;
}

const Document& reference() {
    static const Document d = [] {
        Document doc = original();
        FilterHost h(qftest::entry);
        const RunRecord r = h.run(doc, seeded());
        EXPECT_TRUE(r.ok()) << r.result;
        return doc;
    }();
    return d;
}

// The run ended with `result` and `reason`, the document as it was, and
// both the same host and a fresh one then render the reference exactly;
// no handle outlives the hosts.
void expectFailedCleanly(FilterHost& h, const RunRecord& r, const Document& doc, OSErr result,
                         int16_t reason, const std::string& what) {
    EXPECT_EQ(r.result, result) << what;
    if (reason != kReasonNone) {
        EXPECT_EQ(lastReasonCode(), reason) << what;
    }
    EXPECT_EQ(qftest::countChanged(original(), doc), 0) << what << ": the document is restored";
    HostOptions& o = h.options();
    o = HostOptions{};
    Document again = original();
    const RunRecord next = h.run(again, seeded());
    EXPECT_TRUE(next.ok()) << what << ": the next run fails with " << next.result;
    EXPECT_EQ(qftest::countChanged(reference(), again), 0) << what << ": the next run";
}

int64_t liveHandles() {
    return host::handleStats().live;
}

struct Kind {
    ModuleHandleCall call;
    const char* name;
    int32_t HostOptions::*option;
};
constexpr Kind kKinds[] = {
    {ModuleHandleCall::newHandle, "newProc", &HostOptions::failNewHandleAtCall},
    {ModuleHandleCall::lock, "lockProc", &HostOptions::failLockAtCall},
    {ModuleHandleCall::setSize, "setSizeProc", &HostOptions::failSetSizeAtCall},
};

// Every handle call of a first run (which makes the records) and of a
// later one (which finds them) refused in turn.
TEST(EntryFailures, EveryHandleCallRefusedInTurn) {
    const int64_t liveBefore = liveHandles();
    reference();
    int runs = 0, failed = 0;
    for (bool later : {false, true}) {
        // How many calls of each kind a whole run makes.
        int64_t calls[host::kModuleHandleCallKinds] = {};
        {
            FilterHost h(qftest::entry);
            Document doc = original();
            if (later) {
                ASSERT_TRUE(h.run(doc, seeded()).ok());
            }
            doc = original();
            const RunRecord r = h.run(doc, seeded());
            ASSERT_TRUE(r.ok());
            for (int i = 0; i < host::kModuleHandleCallKinds; ++i)
                calls[i] = r.moduleHandleCalls[i];
        }
        EXPECT_GE(calls[int(ModuleHandleCall::lock)], 2) << later;
        if (!later) {
            EXPECT_EQ(calls[int(ModuleHandleCall::newHandle)], 2);
        }
        for (const Kind& k : kKinds)
            for (int32_t at = 1; at <= calls[int(k.call)]; ++at) {
                const std::string what = std::string(later ? "a later run's " : "a first run's ") +
                                         k.name + " call " + std::to_string(at) + " refused";
                {
                    FilterHost h(qftest::entry);
                    Document doc = original();
                    if (later) {
                        ASSERT_TRUE(h.run(doc, seeded()).ok()) << what;
                    }
                    doc = original();
                    h.options().*k.option = at;
                    const RunRecord r = h.run(doc, seeded());
                    ++runs;
                    if (r.ok()) {
                        // A refusal the module can do without (a record it
                        // then fills afresh) must not show in the pixels.
                        EXPECT_EQ(qftest::countChanged(reference(), doc), 0) << what;
                        h.options() = HostOptions{};
                        Document again = original();
                        EXPECT_TRUE(h.run(again, seeded()).ok()) << what;
                        EXPECT_EQ(qftest::countChanged(reference(), again), 0) << what;
                    } else {
                        ++failed;
                        // A first run makes each record as a handle it
                        // locks once to clear: settings, then context.
                        int16_t reason = kReasonLockFailed;
                        if (!later && k.call == ModuleHandleCall::newHandle)
                            reason = at == 1 ? kReasonSettingsAlloc : kReasonContextAlloc;
                        if (!later && k.call == ModuleHandleCall::lock && at == 1)
                            reason = kReasonSettingsAlloc;
                        if (!later && k.call == ModuleHandleCall::lock && at == 3)
                            reason = kReasonContextAlloc;
                        expectFailedCleanly(h, r, doc, memFullErr, reason, what);
                    }
                }
                EXPECT_EQ(liveHandles(), liveBefore) << what << ": a handle outlives the host";
            }
    }
    EXPECT_GT(failed, 0);
    std::printf("%d runs with a handle call refused, %d of them failing\n", runs, failed);
}

// An editor that lost the records between prepare and start, or before
// finish: the module says they are missing and touches nothing.
TEST(EntryFailures, WithheldRecordsAreMissing) {
    const int64_t liveBefore = liveHandles();
    reference();
    for (int16_t selector : {int16_t(filterSelectorStart), int16_t(filterSelectorFinish)})
        for (bool parameters : {true, false}) {
            const std::string what = std::string(parameters ? "parameters" : "data") +
                                     " withheld at selector " + std::to_string(selector);
            {
                FilterHost h(qftest::entry);
                Document doc = original();
                (parameters ? h.options().withholdParametersAt : h.options().withholdDataAt) =
                    selector;
                const RunRecord r = h.run(doc, seeded());
                EXPECT_EQ(r.failedSelector, selector) << what;
                expectFailedCleanly(h, r, doc, filterBadParameters, kReasonNone, what);
            }
            EXPECT_EQ(liveHandles(), liveBefore) << what;
        }
}

// The module's own blocks: without render buffers start gives up with its
// own code; without the dialog's state the run still filters.
TEST(EntryFailures, RenderBuffersAndDialogStateNotToBeHad) {
    const int64_t liveBefore = liveHandles();
    reference();
    for (bool later : {false, true}) {
        FilterHost h(qftest::entry);
        Document doc = original();
        if (later) {
            ASSERT_TRUE(h.run(doc, seeded()).ok());
        }
        doc = original();
        g_refuseSize = sizeof(RenderState);
        const RunRecord r = h.run(doc, seeded());
        EXPECT_EQ(g_refuseSize.load(), 0u) << "the render buffers were asked for";
        g_refuseSize = 0;
        EXPECT_EQ(r.failedSelector, filterSelectorStart);
        expectFailedCleanly(h, r, doc, kResultNoRenderBuffers, kReasonBuffersAlloc,
                            later ? "a later run without render buffers" : "no render buffers");
    }
    {
        FilterHost h(qftest::entry);
        Document doc = original();
        g_refuseSize = sizeof(DialogRunState);
        const RunRecord r = h.run(doc, seeded());
        EXPECT_EQ(g_refuseSize.load(), 0u) << "the dialog's state was asked for";
        g_refuseSize = 0;
        EXPECT_TRUE(r.ok()) << r.result;
        EXPECT_EQ(qftest::countChanged(reference(), doc), 0);
    }
    EXPECT_EQ(liveHandles(), liveBefore);
}

// The user cancels at the first chance: -128 with the reason of a user's
// abort, and nothing of the run is left.
TEST(EntryFailures, CancelledRunsSayWhy) {
    const int64_t liveBefore = liveHandles();
    reference();
    {
        FilterHost h(qftest::entry);
        Document doc = original();
        h.options().onAbortTest = [] { return true; };
        const RunRecord r = h.run(doc, seeded());
        EXPECT_TRUE(r.abortAnswered);
        expectFailedCleanly(h, r, doc, userCanceledErr, kReasonUserAbort, "cancelled");
    }
    EXPECT_EQ(liveHandles(), liveBefore);
}

} // namespace
