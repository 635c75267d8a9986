#include "plugin/plugin_entry.h"

#include "plugin/plugin_globals.h"
#include "plugin/records.h"
#include "plugin/selectors.h"

PluginGlobals g;

namespace {
int16_t scratchResult = 0;
}

int16_t& hostResult() { return g.result ? *g.result : scratchResult; }

void pluginEntry(int16_t selector, void* block, intptr_t* data, int16_t* result) {
    scratchResult = 0;
    g.result = result;
    g.dataSlot = data;
    g.settings = nullptr;
    g.context = nullptr;

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
    unlockRecords();
}
