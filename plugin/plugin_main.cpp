// The module's single exported entry point.
#include "plugin/host_api.h"
#include "plugin/plugin_entry.h"

#if defined(_WIN32)
#define QF_EXPORT __declspec(dllexport)
#else
#define QF_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QF_EXPORT void PluginMain(int16 selector, void* pluginParamBlock, intptr_t* data,
                                     int16* result) {
    qf::pluginEntry(selector, pluginParamBlock, data, result);
}
