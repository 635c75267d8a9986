#include "plugin/selectors.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/message.h"
#include "plugin/dialog_run.h"
#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin/module_call.h"
#include "plugin/picture_export.h"
#include "plugin/records.h"
#include "plugin/scripting.h"
#include "presets/cached_settings.h"
#include "ui/dialog_model.h"
#include "values/random_source.h"
#include "values/version.h"
#ifdef _WIN32
#include "ui/win32/settings_window.h"
#endif

namespace qf {

namespace {

const char* const kErrorTitle = "Plug-in error";

// Says why the run cannot go on, in the module's own box `templateName`
// on Windows (which holds `text`), and refuses it. Where a message handler
// is installed, or the box cannot be shown, the text goes to the handler.
void refuse(ModuleCall& call, const char* templateName, const char* text, int16_t reason) {
#ifdef _WIN32
    const auto* platform = static_cast<const PlatformData*>(call.record->platformData);
    const bool shown = !messageHandlerInstalled() &&
                       showRefusalWindow(templateName, platform ? platform->hwnd : 0);
    if (!shown) showMessage(kErrorTitle, text);
#else
    (void)templateName;
    showMessage(kErrorTitle, text);
#endif
    call.result() = kResultRefused;
    call.reason = reason;
}

} // namespace

void runCleanup(ModuleCall& call) {
    if (!call.context) return;
    // The memory-dot map goes back to its file, but only when this run read
    // it: a run that stopped before could only write an empty map over the
    // user's remembered dots.
    if (const DialogRunState* dialog = call.context->dialogState; dialog && dialog->mapLoaded)
        dialog->dots.saveMap();
    releaseRunBuffers(*call.context);
}

void handleAbout() {
#ifdef _WIN32
    // The box refuses a second one itself while it is up, whether the host
    // or the dialog's logo asked for it.
    if (showAboutWindow()) return;
#endif
    showMessage("About", "Quillfire " QF_VERSION_TEXT "\nMakes color noise.\nTallowmere");
}

void handleParameters(ModuleCall& call) {
    if (!call.record) return;
    if (!call.record->parameters) createSettingsRecord(call);
    if (call.dataSlot && *call.dataSlot == 0) createRunContext(call);
    if (call.result() != 0) return;
    if (!lockRecords(call)) return;
    resetRunContext(*call.context);
    call.context->showDialog = 1;
    call.context->firstRun = 1;
}

void handlePrepare(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr) return;
    if (fr->parameters && call.dataSlot && *call.dataSlot != 0) {
        if (!lockRecords(call)) return;
    } else {
        createSettingsRecord(call);
        createRunContext(call);
        if (call.result() != 0) return;
        if (!lockRecords(call)) return;
        resetRunContext(*call.context);
    }
    fr->bufferSpace = 0;

    // Ask only for what the tiles need: at most 256 x 256 pixels, two bytes
    // per plane, one plane more for the selection.
    const PixelRect filter = getFilterRect(*fr);
    const int64_t w = std::clamp<int64_t>(filter.width(), 0, 256);
    const int64_t h = std::clamp<int64_t>(filter.height(), 0, 256);
    const int64_t n = std::max<int64_t>(fr->planes, 0) + ((fr->haveMask || fr->maskData) ? 1 : 0);
    const int64_t need = 2 * w * h * n;
    if (fr->maxSpace > need) fr->maxSpace = int32_t(need);

    SettingsRecord& s = *call.settings;
    RunContext& ctx = *call.context;
    resetSettings(s);

    fr->bufferSpace = 0;
    ctx.hostFilterRect = filter;
    ctx.renderArea = filter;
    ctx.areaWidth = static_cast<int32_t>(filter.width());
    ctx.areaHeight = static_cast<int32_t>(filter.height());
    s.previewZoom = 1;

    s.capturedControl = -1;
    s.previewDirty = 0;
    s.passIndex = -1;
    seedRandom(uint32_t(currentTimeSeconds()));
}

namespace {

// The start once the run's buffers are there: the dialog's run state, the
// settings a run without a recorded action starts from, and a refusal of a
// host or an image mode the filter cannot serve.
void prepareStart(ModuleCall& call, const FilterRecord& fr, SettingsRecord& s, RunContext& ctx) {
    // The dialog's run state: the memory-dot map, empty undo slots, the
    // run's thumbnail. A run without it still filters.
    allocateDialogState(ctx);
    // Without a recorded action the last-used settings come back; a
    // missing or unreadable file leaves the defaults.
    if (!descriptorPresent(call)) readCachedSettings(s);
    if (ctx.firstRun) {
        ctx.firstRun = 0;
        s.psdSizeChoice = 1;
        s.psdWidth = 100;
        s.psdHeight = 100;
    }
    s.settingsFolder[0] = '\0';
    s.exportFolder[0] = '\0';
    s.presetsFolder[0] = '\0';
    s.exportKind = 3;

    if (!canAdvance(fr)) {
        refuse(call, "REFUSAL2",
               "The filter cannot run because your paint program does not support enough "
               "of the Photoshop 3.0 plug-in standard.",
               kReasonNoAdvanceState);
    } else if ((!isGray(fr) && !isRGB(fr)) || fr.planes < 1 || (isRGB(fr) && fr.planes < 3)) {
        // Second line of defence behind the enable conditions: multichannel
        // and every other mode we cannot read are refused alike.
        refuse(call, "REFUSAL1", "The filter cannot run.", kReasonMultichannel);
    }
}

} // namespace

void handleStart(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr || !lockRecords(call)) return;
    SettingsRecord& s = *call.settings;
    RunContext& ctx = *call.context;

    s.previewPossible = (canAdvance(*fr) && canDisplay(*fr) && s.previewDisabled == 0) ? 1 : 0;

    if (!allocateRenderBuffers(ctx)) {
        releaseRunBuffers(ctx);
        call.result() = kResultNoRenderBuffers;
        call.reason = kReasonBuffersAlloc;
    }

    if (call.result() == 0) prepareStart(call, *fr, s, ctx);

    if (call.result() != 0) {
        runCleanup(call);
        setAllRectsEmpty(*fr);
        return;
    }

    readDescriptor(call);

    DialogOutcome outcome = DialogOutcome::NotShown;
    if (ctx.showDialog) {
        if (ctx.dialogState) ctx.dialogState->undo.push(s, true);
        outcome = runSettingsDialog(call);
    }
    ctx.showDialog = 0;

    if (outcome == DialogOutcome::Refused) {
        // The message was shown; the run ends as a refusal, nothing rendered.
        call.result() = kResultRefused;
        runCleanup(call);
        setAllRectsEmpty(*fr);
        return;
    }
    if (outcome == DialogOutcome::Cancelled || call.result() != 0) {
        call.result() = kResultCancelled;
        runCleanup(call);
        return;
    }
    if (call.exportRequest.requested) {
        // An export renders into a file of its own; the document stays.
        call.result() = exportPicture(call, call.exportRequest);
    } else {
        renderFinalPass(call);
        // Remembered whatever the render left, a cancel included.
        writeCachedSettings(s);
    }
    // An editor does not call finish after a failed start: whatever the
    // run allocated goes now.
    if (call.result() != 0) runCleanup(call);
}

void handleContinue(ModuleCall& call) {
    if (call.record) setAllRectsEmpty(*call.record);
    call.reason = kReasonContinue;
}

void handleFinish(ModuleCall& call) {
    if (!lockRecords(call)) return;
    writeDescriptor(call);
    runCleanup(call);
}

} // namespace qf
