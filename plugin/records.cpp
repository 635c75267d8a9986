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

// The handles this module made through the host's newProc, with the size it
// asked for. Some hosts answer 0 from getSizeProc for handles they made and
// ignore setSizeProc; for our own handles we know better than to trust
// that answer. Process-wide because the host hands the handles back on
// every call and they live as long as the module stays loaded.
struct OwnHandle {
    Handle handle = nullptr;
    int32_t size = 0;
};
OwnHandle ownHandles[2];

void rememberOwnHandle(int slot, Handle h, int32_t size) { ownHandles[slot] = OwnHandle{h, size}; }

int32_t ownHandleSize(Handle h) {
    for (const OwnHandle& o : ownHandles)
        if (o.handle == h) return o.size;
    return 0;
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
    // A host that cannot tell the size of a handle we made ourselves with
    // the right size answers 0: that is not a refusal.
    if (have == 0 && ownHandleSize(h) >= size) return hp.lockProc(h, 1);
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
    rememberOwnHandle(0, h, int32_t(sizeof(SettingsRecord)));
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
    rememberOwnHandle(1, h, int32_t(sizeof(RunContext)));
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
