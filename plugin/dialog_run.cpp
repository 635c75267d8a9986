#include "plugin/dialog_run.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message.h"
#include "platform/shell_open.h"
#include "plugin/dots_page.h"
#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin/module_call.h"
#include "plugin/run_buffers.h"
#include "presets/presets_page.h"
#include "ui/dialog_script.h"
#ifdef _WIN32
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "plugin/picture_export.h"
#include "ui/win32/psd_export_windows.h"
#include "ui/win32/settings_window.h"
#endif

namespace qf {

namespace {

// The dialog's door to the host: the preview source and render, the
// preview buffer, the filter area, and the pages the dialog publishes.
class PluginDialogServices : public DialogServices {
  public:
    // `openPages`: a page written is opened for the user (not where a
    // script stands in for the user).
    PluginDialogServices(ModuleCall& call, bool openPages) : call_(call), openPages_(openPages) {}

    PixelRect filterRect() override { return getFilterRect(*call_.record); }

    bool hostCanScale() override {
        const FilterRecord& fr = *call_.record;
        return fr.advanceState && fr.displayPixels &&
               fr.samplingSupport != hostDoesNotSupportSampling;
    }

    int16_t renderPreview() override {
        call_.result() = 0;
        qf::renderPreview(call_);
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

    int writePresetsPage(const std::string& sourceFolder, const std::string& pagePath) override {
        return opened(qf::writePresetsPage(sourceFolder, pagePath), pagePath);
    }

    int writeDotsPage(const std::string& pagePath) override {
        RunContext& ctx = *call_.context;
        if (!ctx.dialogState) return kFileCannotOpen;
        // The run's dots live in the temporary folder.
        return opened(qf::writeDotsPage(call_, ctx.dialogState->dots, std::string(), pagePath),
                      pagePath);
    }

#ifdef _WIN32
    // The PSD button: the size and the file asked for, then the export at
    // that size.
    int exportPsd() override {
        const PixelRect filter = filterRect();
        const auto side = [](int64_t n) { return int32_t(std::clamp<int64_t>(n, 0, INT32_MAX)); };
        return runPsdExport(*call_.settings, side(filter.width()), side(filter.height()),
                            [this](const std::string& path, int32_t width, int32_t height) {
                                return writePsdFile(path, width, height);
                            });
    }

    // The export itself, with the host's progress shown in the progress
    // window.
    int writePsdFile(const std::string& chosen, int32_t width, int32_t height) {
        // A name typed with another extension still gets a PSD file.
        const std::string path =
            exportFormatOf(chosen.c_str()) == ExportFormat::Psd ? chosen : chosen + ".psd";
        ExportRequest request;
        if (path.size() >= sizeof request.path) return int(kFileCannotOpen);
        std::memcpy(request.path, path.c_str(), path.size() + 1);
        request.requested = true;
        request.width = width;
        request.height = height;
        FilterRecord& fr = *call_.record;
        const ProgressProc hostProgress = fr.progressProc;
        fr.progressProc = psdExportProgress;
        const int status = exportPicture(call_, request);
        fr.progressProc = hostProgress;
        // The dialog decides the run's result when it ends.
        call_.result() = 0;
        return status;
    }
#endif

  private:
    int opened(int status, const std::string& pagePath) const {
        if (status == kFileOk && openPages_) shellOpen(pagePath.c_str());
        return status;
    }

    ModuleCall& call_;
    bool openPages_;
};

} // namespace

// The dialog in a window on the editor's, where there is a window system;
// not shown elsewhere. Where there is one, a dialog that cannot be made
// refuses the run after a message; without one (a service, Wine without a
// display) no message could be seen either, and the run goes on as on a
// system without windows.
static DialogOutcome runWindowDialog(ModuleCall& call) {
#ifdef _WIN32
    RunContext& ctx = *call.context;
    if (!ctx.dialogState && !allocateDialogState(ctx)) {
        call.result() = kResultOutOfMemory;
        return DialogOutcome::Cancelled;
    }
    PluginDialogServices services(call, true);
    const auto* platform = static_cast<const PlatformData*>(call.record->platformData);
    SettingsWindow view(services, platform ? platform->hwnd : 0);
    DialogModel model(*call.settings, *ctx.dialogState, services, view);
    const int end = view.run(model);
    if (end < 0) {
        if (!windowSystemPresent()) return DialogOutcome::NotShown;
        showMessage("Plug-in error",
                    "The filter's dialog could not be opened, so the image was left unchanged.");
        call.result() = kResultRefused;
        return DialogOutcome::Refused;
    }
    call.result() = model.hostResult();
    return end == kDialogEndOk ? DialogOutcome::Accepted : DialogOutcome::Cancelled;
#else
    (void)call;
    return DialogOutcome::NotShown;
#endif
}

DialogOutcome runSettingsDialog(ModuleCall& call) {
    if (!call.record || !call.settings || !call.context) return DialogOutcome::NotShown;
    const char* scriptPath = std::getenv(kDialogScriptVariable);
    if (!scriptPath || !*scriptPath) return runWindowDialog(call);

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

    // The script stands in for the user: what the dialog writes is not
    // opened on the desktop.
    PluginDialogServices services(call, false);
    ScriptedDialog view(std::move(events));
    DialogModel model(*call.settings, *ctx.dialogState, services, view);
    const int end = view.run(model);
    call.result() = model.hostResult();
    return end == kDialogEndOk ? DialogOutcome::Accepted : DialogOutcome::Cancelled;
}

} // namespace qf
