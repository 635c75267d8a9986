#include "plugin/final_pass.h"

#include "plugin/filter_record_host.h"
#include "render/render_driver.h"

bool allocateRenderBuffers(RunContext& ctx) {
    if (!ctx.renderState) ctx.renderState = createRenderState();
    return ctx.renderState != nullptr;
}

void releaseRenderBuffers(RunContext& ctx) {
    destroyRenderState(ctx.renderState);
    ctx.renderState = nullptr;
}

void renderFinalPass() {
    if (!g.record || !g.settings || !g.context || !g.context->renderState) return;
    FilterRecordHost host(*g.record);
    renderDriver(kTargetFinal, getFilterRect(*g.record), *g.settings, *g.context->renderState,
                 host);
    if (hostResult() == userCanceledErr) g.reason = kReasonUserAbort;
}

void renderPreviewPass() {
    if (!g.record || !g.settings || !g.context) return;
    if (!allocateRenderBuffers(*g.context)) return;
    FilterRecordHost host(*g.record);
    renderDriver(kTargetPreview, g.context->previewRect, *g.settings, *g.context->renderState,
                 host);
}
