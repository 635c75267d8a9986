// Process-wide state of the entry point. The host calls the module from one
// thread at a time, so these are plain globals, refreshed at every call.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"
#include "plugin/run_context.h"
#include "plugin/settings_record.h"

// Why the last step stopped; internal, never shown.
enum ReasonCode : int16_t {
    kReasonNone = 0,
    kReasonNoAdvanceState = 102,
    kReasonMultichannel = 103,
    kReasonSettingsAlloc = 105,
    kReasonContextAlloc = 106,
    kReasonLockFailed = 108,
    kReasonPlaneRead = 109,
    kReasonBuffersAlloc = 227,
    kReasonUserAbort = 228,
    kReasonContinue = 1005,
};

struct PluginGlobals {
    FilterRecord* record = nullptr; // null for the about selector
    intptr_t* dataSlot = nullptr;
    int16_t* result = nullptr;
    SPBasicSuite* basicSuite = nullptr;
    void* moduleInstance = nullptr;
    SettingsRecord* settings = nullptr;
    RunContext* context = nullptr;
    int16_t reason = kReasonNone;
};

extern PluginGlobals g;

// The host result cell; a scratch cell when the host gave none, so handlers
// can always write through it.
int16_t& hostResult();
