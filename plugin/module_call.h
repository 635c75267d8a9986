// What one call of the module works with: the filter record, data slot and
// result cell the host handed over, the two records once they are locked,
// the reason code of a refusal or a stop, and the export request the
// descriptor may carry. The entry point builds one for every call and hands
// it by reference to the selector handlers and everything below them;
// nothing in it outlives the call.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"
#include "plugin/picture_export.h"
#include "plugin/records.h"
#include "plugin/run_context.h"
#include "values/result_codes.h"
#include "values/settings_record.h"

namespace qf {

struct ModuleCall {
    // `result` may be null: the handlers then write into a scratch cell.
    ModuleCall(FilterRecord* filterRecord, intptr_t* data, int16_t* result)
        : record(filterRecord), dataSlot(data), resultCell_(result) {}
    ModuleCall(const ModuleCall&) = delete;
    ModuleCall& operator=(const ModuleCall&) = delete;

    FilterRecord* record;               // null for the about selector
    intptr_t* dataSlot;                 // where the host keeps our run context
    SettingsRecord* settings = nullptr; // the host's parameters, while locked
    RunContext* context = nullptr;      // our data handle, while locked
    int16_t reason = kReasonNone;       // why the call refused or stopped
    ExportRequest exportRequest;        // filled while the descriptor is read
    RecordLocks locks;                  // released when the call ends

    // The host's result cell, or the scratch cell when the host gave none.
    int16_t& result() { return resultCell_ ? *resultCell_ : scratchResult_; }

  private:
    int16_t* resultCell_;
    int16_t scratchResult_ = 0;
};

} // namespace qf
