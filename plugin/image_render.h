// Renders of the current settings into a picture held in memory, over a
// copy of the document, as the exports need them.
#pragma once

#include <cstdint>

namespace qf {

class PyramidImage;
struct ModuleCall;

// The picture kind that holds a copy of the current document: 3 for 8-bit,
// 4 for 16-bit and 9 for float documents.
int32_t documentPictureKind(const ModuleCall& call);

// Copies the document into `picture` and renders the pattern over it with
// the `image` target. The host's state, the preview pan and zoom and the
// parameters are as before afterwards. Returns the run's result code (0,
// a host failure during the copy, or -108 when memory ran out).
// With `flatten` (a picture bound for a file without transparency) partly
// transparent results are laid over the document as the final render does;
// without it the picture keeps them, as a layer would.
int16_t renderIntoImage(ModuleCall& call, PyramidImage& picture, bool flatten = false);

} // namespace qf
