// The body of the module's exported entry point. PluginMain (the only export)
// forwards here; tests link the core and call it directly.
#pragma once

#include <cstdint>

namespace qf {

void pluginEntry(int16_t selector, void* pluginParamBlock, intptr_t* data, int16_t* result);

// The reason code the most recent call that refused or stopped left behind
// (kReasonNone before any did): why a run failed, for diagnostics and tests.
int16_t lastReasonCode();

} // namespace qf
