// Creating and locking the two host-owned handles: the settings record
// (the host's `parameters`) and the run context (our data handle).
#pragma once

// Allocates whichever record is missing. Leaves -108 in the result cell and
// the reason code on failure.
void createSettingsRecord();
void createRunContext();

// Locks both handles and publishes them. Leaves -30100 when one is missing
// and -108 when a lock fails.
bool lockRecords();

// Unlocks whatever handles exist.
void unlockRecords();
