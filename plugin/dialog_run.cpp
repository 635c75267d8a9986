#include "plugin/dialog_run.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message.h"
#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin/module_call.h"
#include "plugin/run_buffers.h"
#include "ui/dialog_script.h"

namespace qf {

namespace {

// The dialog's door to the host: the preview source and render, the
// preview buffer, the filter area.
class PluginDialogServices : public DialogServices {
  public:
    explicit PluginDialogServices(ModuleCall& call) : call_(call) {}

    PixelRect filterRect() override { return getFilterRect(*call_.record); }

    bool hostCanScale() override {
        const FilterRecord& fr = *call_.record;
        return fr.advanceState && fr.displayPixels &&
               fr.samplingSupport != hostDoesNotSupportSampling;
    }

    int16_t renderPreview() override {
        call_.result() = 0;
        readPreviewSource(call_);
        if (call_.result() == 0) renderPreviewPass(call_);
        const int16_t err = call_.result();
        // The dialog decides the run's result when it ends.
        call_.result() = 0;
        return err;
    }

    PreviewPlanes previewPlanes() override {
        const RunContext& ctx = *call_.context;
        PreviewPlanes p;
        if (!ctx.planeBuffer) return p;
        p.data = ctx.planeBuffer;
        p.width = ctx.previewWidth;
        p.height = ctx.previewHeight;
        p.planes = ctx.planeCount;
        return p;
    }

    void setPreviewPane(const PixelRect& previewRect, const PixelRect& pane) override {
        (void)previewRect;
        call_.context->previewPane = pane;
    }

  private:
    ModuleCall& call_;
};

} // namespace

DialogOutcome runSettingsDialog(ModuleCall& call) {
    if (!call.record || !call.settings || !call.context) return DialogOutcome::NotShown;
    const char* scriptPath = std::getenv(kDialogScriptVariable);
    if (!scriptPath || !*scriptPath) return DialogOutcome::NotShown;

    std::vector<ScriptEvent> events;
    std::string error;
    if (!readDialogScript(scriptPath, events, error)) {
        showMessage("Plug-in error", error.c_str());
        call.result() = kResultCancelled;
        return DialogOutcome::Cancelled;
    }
    RunContext& ctx = *call.context;
    if (!ctx.dialogState && !allocateDialogState(ctx)) {
        call.result() = kResultOutOfMemory;
        return DialogOutcome::Cancelled;
    }

    PluginDialogServices services(call);
    ScriptedDialog view(std::move(events));
    DialogModel model(*call.settings, *ctx.dialogState, services, view);
    const int end = view.run(model);
    call.result() = model.hostResult();
    return end == kDialogEndOk ? DialogOutcome::Accepted : DialogOutcome::Cancelled;
}

} // namespace qf
