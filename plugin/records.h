// Creating and locking the two host-owned handles: the settings record
// (the host's `parameters`) and the run context (our data handle).
#pragma once

#include "plugin/host_handles.h"

// Allocates whichever record is missing. Leaves -108 in the result cell and
// the reason code on failure.
void createSettingsRecord();
void createRunContext();

// The two records locked for one call to the module. The entry point holds
// one for the length of each call; whatever it locked is unlocked when the
// call ends, and nothing is left locked between calls.
class RecordLocks {
public:
    RecordLocks() = default;
    RecordLocks(const RecordLocks&) = delete;
    RecordLocks& operator=(const RecordLocks&) = delete;
    ~RecordLocks() = default; // the handles unlock themselves

    // Locks both handles and publishes them in `g`. Leaves -30100 when one
    // is missing and -108 when a lock fails.
    bool lock();
    // Unpublishes and unlocks whatever this call locked.
    void unlock();

private:
    LockedHandle settings_;
    LockedHandle context_;
};

// Locks the records through the current call's RecordLocks.
bool lockRecords();
