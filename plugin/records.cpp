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
    OwnedHandle h(&hp, hp.newProc(size));
    if (!h) return nullptr;
    LockedHandle lock(hp, h.get(), 0);
    if (!lock) return nullptr;
    std::memset(lock.data(), 0, size_t(size));
    lock.unlock();
    return h.release();
}

// Locks a handle and makes sure it holds at least `size` bytes: a host may
// hand back a handle that an older module left behind.
LockedHandle lockSized(Handle h, int32_t size) {
    HandleProcs& hp = *g.record->handleProcs;
    int32_t have = hp.getSizeProc(h);
    // A host that cannot tell the size of a handle we made ourselves with
    // the right size answers 0: that is not a refusal.
    if (have == 0 && ownHandleSize(h) >= size) return LockedHandle(hp, h, 1);
    if (have < size) {
        if (hp.numHandleProcs < 4 || !hp.setSizeProc || hp.setSizeProc(h, size) != 0) return {};
        if (hp.getSizeProc(h) < size) return {};
        LockedHandle lock(hp, h, 1);
        if (lock && have >= 0) std::memset(lock.data() + have, 0, size_t(size - have));
        return lock;
    }
    return LockedHandle(hp, h, 1);
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
    LockedHandle lock = lockSized(h, int32_t(sizeof(SettingsRecord)));
    if (lock) {
        auto* s = reinterpret_cast<SettingsRecord*>(lock.data());
        s->capturedControl = -1;
        s->passIndex = -1;
        s->passCount = 1;
        resetSettings(*s);
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

bool RecordLocks::lock() {
    if (!g.record || !g.dataSlot || !g.record->parameters || *g.dataSlot == 0) {
        hostResult() = filterBadParameters;
        return false;
    }
    if (!haveHandleSuite()) {
        hostResult() = memFullErr;
        g.reason = kReasonLockFailed;
        return false;
    }
    // A second lock in the same call keeps what the first one holds.
    if (!settings_) settings_ = lockSized(g.record->parameters, int32_t(sizeof(SettingsRecord)));
    if (!context_)
        context_ = lockSized(reinterpret_cast<Handle>(*g.dataSlot), int32_t(sizeof(RunContext)));
    g.settings = reinterpret_cast<SettingsRecord*>(settings_.data());
    g.context = reinterpret_cast<RunContext*>(context_.data());
    if (!g.settings || !g.context) {
        hostResult() = memFullErr;
        g.reason = kReasonLockFailed;
        return false;
    }
    return true;
}

void RecordLocks::unlock() {
    g.settings = nullptr;
    g.context = nullptr;
    context_.unlock();
    settings_.unlock();
}

bool lockRecords() {
    if (!g.locks) {
        hostResult() = filterBadParameters;
        return false;
    }
    return g.locks->lock();
}
