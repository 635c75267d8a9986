#include "plugin/plugin_entry.h"

#include "plugin/plugin_globals.h"
#include "plugin/records.h"
#include "plugin/selectors.h"

#include <new>
#include <utility>

PluginGlobals g;

namespace {
int16_t scratchResult = 0;
}

int16_t& hostResult() { return g.result ? *g.result : scratchResult; }

namespace {

void runSelector(int16_t selector, void* block) {
    if (selector == filterSelectorAbout) {
        g.record = nullptr;
        auto* about = static_cast<AboutRecord*>(block);
        g.basicSuite = about ? about->sSPBasic : nullptr;
        handleAbout();
        return;
    }

    g.record = static_cast<FilterRecord*>(block);
    if (!g.record) return;
    g.basicSuite = g.record->sSPBasic;
    // We read and write the 32-bit rectangles whenever the host offers them,
    // so documents beyond 32767 pixels work.
    if (g.record->bigDocumentData) g.record->bigDocumentData->PluginUsing32BitCoordinates = 1;

    switch (selector) {
    case filterSelectorParameters: handleParameters(); break;
    case filterSelectorPrepare: handlePrepare(); break;
    case filterSelectorStart: handleStart(); break;
    case filterSelectorContinue: handleContinue(); break;
    case filterSelectorFinish: handleFinish(); break;
    default: break;
    }
}

// Leaves `text` in the host's error string as a Pascal string, when the
// host gave us one to fill.
bool reportToHost(const char* text) {
    if (!g.record || !g.record->errorString) return false;
    unsigned char* out = *g.record->errorString;
    size_t n = 0;
    while (text[n] != '\0' && n < 255) ++n;
    out[0] = static_cast<unsigned char>(n);
    for (size_t i = 0; i < n; ++i) out[i + 1] = static_cast<unsigned char>(text[i]);
    return true;
}

} // namespace

void pluginEntry(int16_t selector, void* block, intptr_t* data, int16_t* result) {
    scratchResult = 0;
    g.result = result;
    g.dataSlot = data;
    g.settings = nullptr;
    g.context = nullptr;
    // The records stay locked from the handler's lock to the end of this
    // call; the locks go with it.
    RecordLocks locks;
    RecordLocks* const outer = std::exchange(g.locks, &locks);
    // Every selector answers, about included: some hosts preset the cell
    // to a failure and read whatever we leave there.
    hostResult() = noErr;

    // Nothing may unwind into the host: a C++ exception that escapes here
    // would tear down the editor.
    try {
        runSelector(selector, block);
    } catch (const std::bad_alloc&) {
        hostResult() = memFullErr;
    } catch (...) {
        hostResult() = reportToHost("Quillfire stopped because of an internal error.")
                           ? int16_t(errReportString)
                           : int16_t(paramErr);
    }
    try {
        locks.unlock();
    } catch (...) {
    }
    g.locks = outer;
}
