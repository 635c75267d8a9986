// Creating and locking the two host-owned handles: the settings record
// (the host's `parameters`) and the run context (our data handle).
#pragma once

#include "plugin/host_handles.h"

namespace qf {

struct ModuleCall;

// Allocates whichever record is missing. Leaves -108 in the result cell and
// the reason code on failure.
void createSettingsRecord(ModuleCall& call);
void createRunContext(ModuleCall& call);

// The two records locked for one call to the module. Each call holds one;
// whatever it locked is unlocked when the call ends, and nothing is left
// locked between calls. The handles unlock themselves.
struct RecordLocks {
    LockedHandle settings;
    LockedHandle context;
};

// Locks both handles and publishes them in the call's `settings` and
// `context`. Leaves -30100 when one is missing and -108 when a lock fails.
// A second lock in the same call keeps what the first one holds.
bool lockRecords(ModuleCall& call);
// Unpublishes and unlocks whatever the call locked.
void unlockRecords(ModuleCall& call);

} // namespace qf
