#include "plugin/records.h"

#include <cstring>

#include "plugin/module_call.h"

namespace qf {

namespace {

// A host without a usable handle suite cannot keep our records.
bool haveHandleSuite(const FilterRecord* fr) {
    return fr && fr->handleProcs && fr->handleProcs->numHandleProcs >= 6 &&
           fr->handleProcs->newProc && fr->handleProcs->lockProc && fr->handleProcs->unlockProc &&
           fr->handleProcs->getSizeProc;
}

// The handles this module made through the host's newProc, with the size it
// asked for. Some hosts answer 0 from getSizeProc for handles they made and
// ignore setSizeProc; for our own handles we know better than to trust
// that answer.
struct OwnHandle {
    Handle handle = nullptr;
    int32_t size = 0;
};
// Process-wide: the host hands these handles back on every call, and they
// live as long as the module stays loaded, longer than any call.
OwnHandle ownHandles[2];

void rememberOwnHandle(int slot, Handle h, int32_t size) {
    ownHandles[slot] = OwnHandle{h, size};
}

int32_t ownHandleSize(Handle h) {
    for (const OwnHandle& o : ownHandles)
        if (o.handle == h) return o.size;
    return 0;
}

Handle newZeroedHandle(HandleProcs& hp, int32_t size) {
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
LockedHandle lockSized(HandleProcs& hp, Handle h, int32_t size) {
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

void createSettingsRecord(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr || fr->parameters) return;
    Handle h = haveHandleSuite(fr)
                   ? newZeroedHandle(*fr->handleProcs, int32_t(sizeof(SettingsRecord)))
                   : nullptr;
    if (!h) {
        call.result() = memFullErr;
        call.reason = kReasonSettingsAlloc;
        return;
    }
    fr->parameters = h;
    rememberOwnHandle(0, h, int32_t(sizeof(SettingsRecord)));
    // A fresh record starts from the defaults, seed 0, nothing captured.
    LockedHandle lock = lockSized(*fr->handleProcs, h, int32_t(sizeof(SettingsRecord)));
    if (lock) {
        auto* s = reinterpret_cast<SettingsRecord*>(lock.data());
        s->capturedControl = -1;
        s->passIndex = -1;
        s->passCount = 1;
        resetSettings(*s);
    }
}

void createRunContext(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr || !call.dataSlot || *call.dataSlot != 0) return;
    Handle h = haveHandleSuite(fr) ? newZeroedHandle(*fr->handleProcs, int32_t(sizeof(RunContext)))
                                   : nullptr;
    if (!h) {
        call.result() = memFullErr;
        call.reason = kReasonContextAlloc;
        return;
    }
    *call.dataSlot = reinterpret_cast<intptr_t>(h);
    rememberOwnHandle(1, h, int32_t(sizeof(RunContext)));
}

bool lockRecords(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr || !call.dataSlot || !fr->parameters || *call.dataSlot == 0) {
        call.result() = filterBadParameters;
        return false;
    }
    if (!haveHandleSuite(fr)) {
        call.result() = memFullErr;
        call.reason = kReasonLockFailed;
        return false;
    }
    HandleProcs& hp = *fr->handleProcs;
    RecordLocks& locks = call.locks;
    if (!locks.settings)
        locks.settings = lockSized(hp, fr->parameters, int32_t(sizeof(SettingsRecord)));
    if (!locks.context)
        locks.context =
            lockSized(hp, reinterpret_cast<Handle>(*call.dataSlot), int32_t(sizeof(RunContext)));
    call.settings = reinterpret_cast<SettingsRecord*>(locks.settings.data());
    call.context = reinterpret_cast<RunContext*>(locks.context.data());
    if (!call.settings || !call.context) {
        call.result() = memFullErr;
        call.reason = kReasonLockFailed;
        return false;
    }
    return true;
}

void unlockRecords(ModuleCall& call) {
    call.settings = nullptr;
    call.context = nullptr;
    call.locks.context.unlock();
    call.locks.settings.unlock();
}

} // namespace qf
