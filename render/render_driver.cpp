#include "render/render_driver.h"

#include <memory>
#include <new>

#include "render/render_host.h"
#include "render/tile_composite.h"
#include "render/tile_renderer.h"

namespace qf {

namespace {

// Pattern tiles: the tile is fetched from the host when the job is made, the pattern is
// computed on the worker, and the finished tile is composited on the
// starting thread.
class PatternJobRunner final : public JobRunner {
  public:
    PatternJobRunner(const GeneratorState& gen, const PatternSettings& settings, RenderHost& host,
                     bool fromHost, std::unique_ptr<LayerCaches>* caches)
        : gen_(gen), settings_(settings), host_(host), fromHost_(fromHost), caches_(caches) {}

    // The host is asked for the tile when the job is made (the pool does
    // that); its source colours are not copied into the buffer, since
    // renderTile overwrites every pixel of it.
    void work(TileJob& job) override {
        // Each slot keeps its tables of cells from tile to tile, and from
        // render to render, forgotten at its first tile of a render; only
        // the slot's own thread (or the main thread, when the slot has
        // none) works on its tiles.
        if (job.slot >= 0 && job.slot < kMaxSlots) {
            std::unique_ptr<LayerCaches>& caches = caches_[size_t(job.slot)];
            if (!fresh_[size_t(job.slot)]) {
                fresh_[size_t(job.slot)] = true;
                if (caches && caches->suits(settings_))
                    caches->forget();
                else
                    caches.reset();
            }
            if (!caches) caches.reset(new (std::nothrow) LayerCaches(settings_));
            if (caches) {
                renderTile(settings_, gen_, job.buffer, activeSimdWidth(), *caches);
                return;
            }
        }
        renderTile(settings_, gen_, job.buffer);
    }
    void finish(TileJob& job) override { compositeTile(host_.compositeTarget(), job.buffer); }
    bool fetchesTiles() const override { return fromHost_; }
    bool writesWholeTile() const override { return true; }

  private:
    const GeneratorState& gen_;
    const PatternSettings& settings_;
    RenderHost& host_;
    bool fromHost_;
    std::unique_ptr<LayerCaches>* caches_; // the render state's, one a slot
    bool fresh_[kMaxSlots] = {};           // a slot's tables serve this render
};

} // namespace

RenderState* createRenderState() {
    return new (std::nothrow) RenderState;
}

void destroyRenderState(RenderState* state) {
    delete state;
}

PoolRunStats renderTail(const PixelRect& area, SettingsRecord& s, RenderState& state,
                        RenderHost& host) {
    PoolRunStats stats;
    if (const int32_t ready = prepareGenerator(state.generator, s, area);
        ready != kGeneratorReady) {
        host.result() = int16_t(ready);
    } else {
        // The settings are frozen for the workers from here on.
        const PatternSettings settings = patternSettings(s);
        PatternJobRunner runner(state.generator, settings, host, s.renderTarget != kTargetImage,
                                state.layerCaches);
        PoolOptions options;
        options.renderTarget = s.renderTarget;
        options.passIndex = s.passIndex;
        options.passCount = s.passCount;
        options.processors = state.processors;
        options.stock = &state.tileBuffers;
        stats = runJobs(kJobPatternTile, area, runner, &host, options);
    }
    s.passIndex = -1;
    return stats;
}

void renderDriver(int32_t target, const PixelRect& area, SettingsRecord& s, RenderState& state,
                  RenderHost& host) {
    // The snapshots are taken before the target is set, so that afterwards
    // `renderTarget` holds the value it had before the render.
    host.saveState();
    const SettingsSnapshot parameters = saveRenderSettings(s);
    s.renderTarget = target;

    if (target == kTargetFinal) {
        host.prepareArea(area, 1);
        s.passCount = 1;
        s.passIndex = 1;
        host.progress(2, 100);
        s.previewOffsetX = 0;
        s.previewOffsetY = 0;
    } else {
        host.prepareArea(area, s.previewZoom < 1 ? 1 : s.previewZoom);
    }

    renderTail(area, s, state, host);

    host.restoreState();
    restoreRenderSettings(s, parameters);
}

} // namespace qf
