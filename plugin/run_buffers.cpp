#include "plugin/run_buffers.h"

#include <cstdlib>
#include <new>

#include "render/render_driver.h"
#include "ui/dialog_model.h"

namespace qf {

namespace {

void releasePlaneBuffer(RunContext& ctx) {
    std::free(ctx.planeBuffer);
    ctx.planeBuffer = nullptr;
    ctx.planeCount = 0;
    ctx.planeBytes = 0;
}

} // namespace

bool allocateRenderBuffers(RunContext& ctx) {
    if (!ctx.renderState) ctx.renderState = createRenderState();
    return ctx.renderState != nullptr;
}

uint8_t* allocatePlaneBuffer(RunContext& ctx, int32_t planes, size_t bytes) {
    // Every preview of the same size fills the same buffer: a fresh one
    // of a preview's size comes from the system each time, untouched pages
    // and all.
    if (ctx.planeBuffer && bytes != 0 && bytes == ctx.planeBytes) {
        ctx.planeCount = planes;
        return ctx.planeBuffer;
    }
    releasePlaneBuffer(ctx);
    if (bytes == 0) return nullptr;
    ctx.planeBuffer = static_cast<uint8_t*>(std::malloc(bytes));
    if (ctx.planeBuffer) {
        ctx.planeCount = planes;
        ctx.planeBytes = bytes;
    }
    return ctx.planeBuffer;
}

bool allocateDialogState(RunContext& ctx) {
    delete ctx.dialogState;
    ctx.dialogState = new (std::nothrow) DialogRunState;
    if (!ctx.dialogState) return false;
    // Without its thumbnail the dialog still runs: Save and the dots then
    // write files without pictures.
    startDialogRun(*ctx.dialogState);
    return true;
}

void releaseRunBuffers(RunContext& ctx) {
    delete ctx.dialogState;
    ctx.dialogState = nullptr;
    destroyRenderState(ctx.renderState);
    ctx.renderState = nullptr;
    releasePlaneBuffer(ctx);
}

} // namespace qf
