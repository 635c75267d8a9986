// One render of the pattern, whatever its target: saves what the render may
// disturb, prepares the source and destination, sets up the generator, runs
// the tiles on the worker pool and restores what it saved.
#pragma once

#include <cstdint>
#include <memory>

#include "render/generator_setup.h"
#include "render/tile_renderer.h"
#include "render/worker_pool.h"
#include "values/pixel_types.h"
#include "values/settings_record.h"

namespace qf {

class RenderHost;

// The renderer's state block, owned by the run context for one run.
struct RenderState {
    GeneratorState generator;
    int32_t processors = 0; // 0: as many as the system has
    TileBufferStock tileBuffers;
    // Each slot's tables of cells, kept from render to render (made again
    // only when a render needs them in another shape) so that a preview
    // does not take fresh memory from the system for them every time.
    std::unique_ptr<LayerCaches> layerCaches[kMaxSlots];
};

RenderState* createRenderState();
void destroyRenderState(RenderState* state);

// Renders `area` into the target through `host`. For `final` the area is
// the host's filter rectangle and the rate 1; for `preview` the preview
// rectangle at the settings' `previewZoom`. Failures and cancels are left
// in the host's result code.
void renderDriver(int32_t target, const PixelRect& area, SettingsRecord& settings,
                  RenderState& state, RenderHost& host);

// The common tail of every render (generator setup, tiles, pass end) for
// callers that prepared the target themselves, as the exports do for
// in-memory pictures.
PoolRunStats renderTail(const PixelRect& area, SettingsRecord& settings, RenderState& state,
                        RenderHost& host);

} // namespace qf
