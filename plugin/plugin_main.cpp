// The module's single exported entry point.
#include <cstdint>
extern "C" void PluginMain(int16_t, void*, intptr_t*, int16_t* result) { if (result) *result = 0; }
