// The render of the whole filter area into the document at start, and the
// preview render.
#pragma once

#include "plugin/run_buffers.h"

namespace qf {

struct ModuleCall;

// Renders the filter area into the host's document; the result cell holds 0,
// the host's failure code, or -128 after a cancel.
void renderFinalPass(ModuleCall& call);

// Renders the preview rectangle at the settings' `previewZoom` and pan into
// the run context's plane buffer, the picture the dialog paints. The host's
// rectangles, the zoom and the pan are as before afterwards.
void renderPreviewPass(ModuleCall& call);

// What the dialog does for every preview: the preview source read into the
// plane copy (readPreviewSource), then renderPreviewPass. The copy is read
// while the workers compute the first tiles, before any tile is composited
// into it; the pixels are those of the two steps one after the other.
void renderPreview(ModuleCall& call);

} // namespace qf
