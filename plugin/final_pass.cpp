#include "plugin/final_pass.h"

#include "plugin/filter_record_host.h"
#include "render/render_driver.h"

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
