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

namespace {

void previewPass(ModuleCall& call, bool copySource) {
    if (!call.record || !call.settings || !call.context) return;
    if (!allocateRenderBuffers(*call.context)) return;
    FilterRecordHost host(call);
    if (copySource) host.copySourceMeanwhile();
    renderDriver(kTargetPreview, call.context->previewRect, *call.settings,
                 *call.context->renderState, host);
    // A render that started no tile (an empty area, a failed setup) still
    // leaves the copy read, as it would be before the render.
    if (host.sourcePending() && call.result() == 0) copyPreviewSource(call);
}

} // namespace

void renderPreviewPass(ModuleCall& call) {
    previewPass(call, false);
}

void renderPreview(ModuleCall& call) {
    const bool copy = preparePreviewSource(call);
    if (call.result() == 0) previewPass(call, copy);
}

} // namespace qf
