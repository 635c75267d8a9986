// What a render needs from whoever owns the pixels: the host's filter record
// for final and preview renders, an in-memory picture for exports. The
// worker pool and the render driver talk to the outside only through this,
// and only on the thread that started the render.
#pragma once

#include <cstdint>

#include "composite/composite_target.h"
#include "values/pixel_types.h"
#include "values/result_codes.h"

namespace qf {

class RenderHost {
  public:
    virtual ~RenderHost() = default;

    // Prepares the source and destination for a render of `area` at
    // sampling rate `rate` (1 for final and image renders).
    virtual void prepareArea(const PixelRect& area, int32_t rate) = 0;
    // Requests the pixels of one tile (area coordinates). Returns the
    // answer, also kept as the result code.
    virtual int16_t fetchTile(const PixelRect& tile) = 0;
    // The compositor's view of the buffers the last fetch delivered.
    virtual CompositeTarget compositeTarget() = 0;
    // The user's cancel request, asked between tiles of final renders.
    virtual bool testAbort() = 0;
    // Progress of the render as `done` of `total`.
    virtual void progress(int32_t done, int32_t total) = 0;
    // The run's result code: 0, a host failure, or -128 after a cancel.
    virtual int16_t& result() = 0;
    // Work of the starting thread's own that may run while the first tiles
    // are computed: called once, after the first tiles of every worker but
    // the last were fetched and handed over (the last worker's follow) and
    // before any tile is composited (every tile is fetched again before it
    // is composited, so the host may be asked anything here). Not called
    // when the run ends before it starts tiles.
    virtual void whileFirstTilesRun() {}

    // Saves and restores whatever the render disturbs on this side
    // (the host's rectangles, the sampling rate, the preview pan).
    virtual void saveState() = 0;
    virtual void restoreState() = 0;
};

} // namespace qf
