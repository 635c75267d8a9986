#include "plugin/final_pass.h"

#include "plugin/filter_record_host.h"
#include "render/render_driver.h"

namespace qf {

void renderFinalPass(ModuleCall& call) {
    if (!call.record || !call.settings || !call.context || !call.context->renderState) return;
    FilterRecordHost host(call);
    renderDriver(kTargetFinal, getFilterRect(*call.record), *call.settings,
                 *call.context->renderState, host);
    if (call.result() == userCanceledErr) call.reason = kReasonUserAbort;
}

void renderPreviewPass(ModuleCall& call) {
    if (!call.record || !call.settings || !call.context) return;
    if (!allocateRenderBuffers(*call.context)) return;
    FilterRecordHost host(call);
    renderDriver(kTargetPreview, call.context->previewRect, *call.settings,
                 *call.context->renderState, host);
}

} // namespace qf
