// Process-wide state of the entry point. The host calls the module from one
// thread at a time, so these are plain globals, refreshed at every call.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"
#include "plugin/run_context.h"
#include "values/result_codes.h"
#include "values/settings_record.h"


class RecordLocks;

struct PluginGlobals {
    FilterRecord* record = nullptr; // null for the about selector
    intptr_t* dataSlot = nullptr;
    int16_t* result = nullptr;
    SPBasicSuite* basicSuite = nullptr;
    void* moduleInstance = nullptr;
    SettingsRecord* settings = nullptr;
    RunContext* context = nullptr;
    int16_t reason = kReasonNone;
    // The records' locks of the current call, owned by the entry point.
    RecordLocks* locks = nullptr;
};

extern PluginGlobals g;

// The host result cell; a scratch cell when the host gave none, so handlers
// can always write through it.
int16_t& hostResult();
