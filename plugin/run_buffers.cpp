#include "plugin/run_buffers.h"

#include <cstdlib>

#include "render/render_driver.h"

namespace qf {

namespace {

void releasePlaneBuffer(RunContext& ctx) {
    std::free(ctx.planeBuffer);
    ctx.planeBuffer = nullptr;
    ctx.planeCount = 0;
}

} // namespace

bool allocateRenderBuffers(RunContext& ctx) {
    if (!ctx.renderState) ctx.renderState = createRenderState();
    return ctx.renderState != nullptr;
}

uint8_t* allocatePlaneBuffer(RunContext& ctx, int32_t planes, size_t bytes) {
    releasePlaneBuffer(ctx);
    if (bytes == 0) return nullptr;
    ctx.planeBuffer = static_cast<uint8_t*>(std::malloc(bytes));
    if (ctx.planeBuffer) ctx.planeCount = planes;
    return ctx.planeBuffer;
}

void releaseRunBuffers(RunContext& ctx) {
    destroyRenderState(ctx.renderState);
    ctx.renderState = nullptr;
    releasePlaneBuffer(ctx);
}

} // namespace qf
