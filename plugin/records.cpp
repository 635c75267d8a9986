#include "plugin/records.h"

#include <cstring>

#include "plugin/plugin_globals.h"

namespace {

// A host without a usable handle suite cannot keep our records.
bool haveHandleSuite() {
    const FilterRecord* fr = g.record;
    return fr && fr->handleProcs && fr->handleProcs->numHandleProcs >= 6 &&
           fr->handleProcs->newProc && fr->handleProcs->lockProc &&
           fr->handleProcs->unlockProc && fr->handleProcs->getSizeProc;
}

Handle newZeroedHandle(int32_t size) {
    HandleProcs& hp = *g.record->handleProcs;
    Handle h = hp.newProc(size);
    if (!h) return nullptr;
    Ptr p = hp.lockProc(h, 0);
    if (!p) {
        if (hp.disposeProc) hp.disposeProc(h);
        return nullptr;
    }
    std::memset(p, 0, size_t(size));
    hp.unlockProc(h);
    return h;
}

// Locks a handle and makes sure it holds at least `size` bytes: a host may
// hand back a handle that an older module left behind.
void* lockSized(Handle h, int32_t size) {
    HandleProcs& hp = *g.record->handleProcs;
    int32_t have = hp.getSizeProc(h);
    if (have < size) {
        if (hp.numHandleProcs < 4 || !hp.setSizeProc || hp.setSizeProc(h, size) != 0) return nullptr;
        if (hp.getSizeProc(h) < size) return nullptr;
        Ptr p = hp.lockProc(h, 1);
        if (p && have >= 0) std::memset(p + have, 0, size_t(size - have));
        return p;
    }
    return hp.lockProc(h, 1);
}

} // namespace

void createSettingsRecord() {
    if (!g.record || g.record->parameters) return;
    Handle h = haveHandleSuite() ? newZeroedHandle(int32_t(sizeof(SettingsRecord))) : nullptr;
    if (!h) {
        hostResult() = memFullErr;
        g.reason = kReasonSettingsAlloc;
        return;
    }
    g.record->parameters = h;
    // A fresh record starts from the defaults, seed 0, nothing captured.
    auto* s = static_cast<SettingsRecord*>(lockSized(h, int32_t(sizeof(SettingsRecord))));
    if (s) {
        s->capturedControl = -1;
        s->passIndex = -1;
        s->passCount = 1;
        resetSettings(*s);
        g.record->handleProcs->unlockProc(h);
    }
}

void createRunContext() {
    if (!g.record || !g.dataSlot || *g.dataSlot != 0) return;
    Handle h = haveHandleSuite() ? newZeroedHandle(int32_t(sizeof(RunContext))) : nullptr;
    if (!h) {
        hostResult() = memFullErr;
        g.reason = kReasonContextAlloc;
        return;
    }
    *g.dataSlot = reinterpret_cast<intptr_t>(h);
}

bool lockRecords() {
    if (!g.record || !g.dataSlot || !g.record->parameters || *g.dataSlot == 0) {
        hostResult() = filterBadParameters;
        return false;
    }
    if (!haveHandleSuite()) {
        hostResult() = memFullErr;
        g.reason = kReasonLockFailed;
        return false;
    }
    g.settings = static_cast<SettingsRecord*>(
        lockSized(g.record->parameters, int32_t(sizeof(SettingsRecord))));
    g.context = static_cast<RunContext*>(
        lockSized(reinterpret_cast<Handle>(*g.dataSlot), int32_t(sizeof(RunContext))));
    if (!g.settings || !g.context) {
        hostResult() = memFullErr;
        g.reason = kReasonLockFailed;
        return false;
    }
    return true;
}

void unlockRecords() {
    if (!g.record || !haveHandleSuite()) return;
    HandleProcs& hp = *g.record->handleProcs;
    if (g.dataSlot && *g.dataSlot != 0) hp.unlockProc(reinterpret_cast<Handle>(*g.dataSlot));
    if (g.record->parameters) hp.unlockProc(g.record->parameters);
    g.settings = nullptr;
    g.context = nullptr;
}
