// The body of the module's exported entry point. PluginMain (the only export)
// forwards here; tests link the core and call it directly.
#pragma once

#include <cstdint>

void pluginEntry(int16_t selector, void* pluginParamBlock, intptr_t* data, int16_t* result);
