// The heap buffers of one filtering run: the render state and the plane copy
// of the preview source. The run context keeps them as plain pointers (the
// host holds that block for us between calls and never looks inside); they
// are allocated and freed here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/run_context.h"

namespace qf {

// Makes sure the run has a render state; keeps the one it has.
bool allocateRenderBuffers(RunContext& ctx);

// Replaces the plane copy with a new block of `bytes` bytes for `planes`
// planes and returns it. Null, with no planes, when `bytes` is 0 or the
// memory is not there.
uint8_t* allocatePlaneBuffer(RunContext& ctx, int32_t planes, size_t bytes);

// Frees the render state and the plane copy; a second call does nothing.
void releaseRunBuffers(RunContext& ctx);

} // namespace qf
