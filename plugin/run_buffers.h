// The heap buffers of one filtering run: the render state, the plane copy
// of the preview source and the dialog's run state. The run context keeps them as plain pointers
// (the host holds that block for us between calls and never looks inside); they are allocated and
// freed here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/run_context.h"

namespace qf {

// Makes sure the run has a render state; keeps the one it has.
bool allocateRenderBuffers(RunContext& ctx);

// The plane copy as a block of `bytes` bytes for `planes` planes: the block
// it has when that is of this size, otherwise a new one in its place. Null,
// with no planes, when `bytes` is 0 or the memory is not there.
uint8_t* allocatePlaneBuffer(RunContext& ctx, int32_t planes, size_t bytes);

// Makes sure the run has its dialog state, set up for a new run (the
// memory-dot map read, undo emptied, a fresh thumbnail). False when it
// cannot be had; the run goes on without it.
bool allocateDialogState(RunContext& ctx);

// Frees the render state, the plane copy and the dialog state; a second
// call does nothing.
void releaseRunBuffers(RunContext& ctx);

} // namespace qf
