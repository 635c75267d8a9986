#include "plugin/plugin_entry.h"

#include <new>

#include "plugin/module_call.h"
#include "plugin/records.h"
#include "plugin/selectors.h"

namespace qf {

namespace {

// Process-wide: the reason outlives the call that set it, so it can be read
// after the entry point has returned; the host gives us no place for it.
int16_t lastReason = kReasonNone;

void runSelector(int16_t selector, ModuleCall& call) {
    if (selector == filterSelectorAbout) {
        handleAbout();
        return;
    }

    FilterRecord* fr = call.record;
    if (!fr) return;
    // We read and write the 32-bit rectangles whenever the host offers them,
    // so documents beyond 32767 pixels work.
    if (fr->bigDocumentData) fr->bigDocumentData->PluginUsing32BitCoordinates = 1;

    switch (selector) {
    case filterSelectorParameters:
        handleParameters(call);
        break;
    case filterSelectorPrepare:
        handlePrepare(call);
        break;
    case filterSelectorStart:
        handleStart(call);
        break;
    case filterSelectorContinue:
        handleContinue(call);
        break;
    case filterSelectorFinish:
        handleFinish(call);
        break;
    default:
        break;
    }
}

// Leaves `text` in the host's error string as a Pascal string, when the
// host gave us one to fill.
bool reportToHost(const FilterRecord* fr, const char* text) {
    if (!fr || !fr->errorString) return false;
    unsigned char* out = *fr->errorString;
    size_t n = 0;
    while (text[n] != '\0' && n < 255) ++n;
    out[0] = static_cast<unsigned char>(n);
    for (size_t i = 0; i < n; ++i) out[i + 1] = static_cast<unsigned char>(text[i]);
    return true;
}

} // namespace

int16_t lastReasonCode() {
    return lastReason;
}

void pluginEntry(int16_t selector, void* block, intptr_t* data, int16_t* result) {
    // The about selector hands over an about record, every other one the
    // filter record.
    FilterRecord* const record =
        selector == filterSelectorAbout ? nullptr : static_cast<FilterRecord*>(block);
    // The records stay locked from the handler's lock to the end of this
    // call; the locks go with the call.
    ModuleCall call(record, data, result);
    // Every selector answers, about included: some hosts preset the cell
    // to a failure and read whatever we leave there.
    call.result() = noErr;

    // Nothing may unwind into the host: a C++ exception that escapes here
    // would tear down the editor.
    try {
        runSelector(selector, call);
    } catch (const std::bad_alloc&) {
        call.result() = memFullErr;
    } catch (...) {
        call.result() = reportToHost(call.record, "Quillfire stopped because of an internal error.")
                            ? int16_t(errReportString)
                            : int16_t(paramErr);
    }
    try {
        unlockRecords(call);
    } catch (...) {
    }
    if (call.reason != kReasonNone) lastReason = call.reason;
}

} // namespace qf
