// The module's result codes, as it leaves them in the host's result cell,
// with a name and the sentence a host tells its user; and the reason codes
// that record why a step stopped (internal, never shown). The published
// codes (0, -50, -108, -128, ...) are the interface's; 1 and 3 are the
// module's own.
#pragma once

#include <cstdint>

namespace qf {

enum ResultCode : int16_t {
    kResultOk = 0,
    kResultRefused = 1,         // start refused after a message
    kResultNoRenderBuffers = 3, // start could not allocate its render buffers
    kResultBadRequest = -50,    // a nonsensical request or area
    kResultOutOfMemory = -108,
    kResultCancelled = -128, // the user cancelled
    kResultRecordsMissing = -30100,
    kResultHostInsufficient = -30900,
    kResultReportString = -30904, // the message is in the host's error string
};

// Why the last step stopped.
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
    kReasonDocumentCopy = 231,
    kReasonContinue = 1005,
};

struct ResultCodeInfo {
    int16_t code;
    const char* name;    // the constant's name without its prefix
    const char* message; // what a host tells its user
};

// The entry of `code`, or null for a code the module never produces itself
// (a host's own failure passed on from advanceState, say).
const ResultCodeInfo* resultCodeInfo(int16_t code);

} // namespace qf
