// One filtering run's state, shared by the run itself (filter_host.cpp:
// the filter record, the selectors and the callbacks) and the delivery of
// the pixel buffers the module asks for (buffer_delivery.cpp). Internal to
// the host library.
#pragma once

#include "host/document.h"
#include "host/filter_host.h"
#include "plugin/host_api.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf::host::run_detail {

// The most calls of each kind a run's record keeps.
constexpr size_t kMaxRecorded = size_t(1) << 20;
constexpr Fixed kOne = 1 << 16;

inline bool isEmpty(const VRect& r) {
    return r.bottom <= r.top || r.right <= r.left;
}

// One output buffer the module may still be writing: written into the
// document before the next delivery and at the end of the run.
struct PendingOutput {
    bool pending = false;
    VRect rect{};
    int lo = 0;
    int count = 0;
    int32_t rowBytes = 0;
};

// Everything one filtering run owns: what the filter record points into,
// the module's slots, and the state of its deliveries. Held at a fixed
// address for the whole run, since the module keeps pointers into it.
struct ActiveRun {
    Document* doc = nullptr;
    const HostOptions* options = nullptr;
    RunRecord* record = nullptr;
    FilterRecord* fr = nullptr;
    BigDocumentStruct* big = nullptr; // null when the host does not offer it

    // The module and the slots the host keeps for it between runs.
    PluginEntryProc entry = nullptr;
    Handle* parameters = nullptr;
    intptr_t* data = nullptr;

    FilterRecord filterRecord;
    BigDocumentStruct bigDocument{};
    PlatformData platform{0};
    Str255 errorText = {};
    PIDescriptorParameters descParams{};
    ReadDescriptorProcs readProcs{};
    WriteDescriptorProcs writeProcs{};
    Handle descriptorIn = nullptr; // the settings handed in, ours until the module takes them
    int64_t descriptorInSerial = 0;

    VRect filterRect{};
    bool beyond16Bit = false;    // the document cannot be addressed with 16-bit rectangles
    std::vector<uint8_t> source; // the document as it was at the start of the run
    std::vector<uint8_t> inBuf, outBuf, maskBuf;
    PendingOutput out;
};

// The module's current request, read from the 32-bit rectangles when it
// uses them and from the 16-bit fields otherwise (never both).
struct Request {
    bool used32 = false;
    VRect in{}, out{}, mask{};
};

Request readRequest(const ActiveRun& run);

// Writes the pending output buffer into the document, inside the filter
// rectangle only.
void writeBack(ActiveRun& run);

// The selection applied by the host: every filtered sample is blended with
// the original by the mask.
void applySelection(ActiveRun& run);

// Serves the module's current request: writes back the previous output, then
// delivers input, output and mask buffers. Every call, refused or served, is
// recorded.
OSErr deliver(ActiveRun& run, bool fromHostLoop);

} // namespace qf::host::run_detail
