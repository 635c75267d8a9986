#include "plugin/selectors.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/message.h"
#include "plugin/final_pass.h"
#include "plugin/host_access.h"
#include "plugin/picture_export.h"
#include "plugin/plugin_globals.h"
#include "plugin/random_source.h"
#include "plugin/records.h"
#include "plugin/scripting.h"
#include "presets/cached_settings.h"
#include "values/version.h"

namespace {

bool aboutBoxOpen = false;

const char* const kErrorTitle = "Plug-in error";

void refuse(const char* text, int16_t reason) {
    showMessage(kErrorTitle, text);
    hostResult() = kResultRefused;
    g.reason = reason;
}

} // namespace

void runCleanup() {
    if (g.context) releaseRunBuffers(*g.context);
}

void handleAbout() {
    if (aboutBoxOpen) return;
    aboutBoxOpen = true;
    showMessage("About", "Quillfire " QF_VERSION_TEXT "\nMakes color noise.\nTallowmere");
    aboutBoxOpen = false;
}

void handleParameters() {
    if (!g.record) return;
    if (!g.record->parameters) createSettingsRecord();
    if (g.dataSlot && *g.dataSlot == 0) createRunContext();
    if (hostResult() != 0) return;
    if (!lockRecords()) return;
    resetRunContext(*g.context);
    g.context->showDialog = 1;
    g.context->firstRun = 1;
}

void handlePrepare() {
    FilterRecord* fr = g.record;
    if (!fr) return;
    if (fr->parameters && g.dataSlot && *g.dataSlot != 0) {
        if (!lockRecords()) return;
    } else {
        createSettingsRecord();
        createRunContext();
        if (hostResult() != 0) return;
        if (!lockRecords()) return;
        resetRunContext(*g.context);
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

    resetSettings(*g.settings);

    fr->bufferSpace = 0;
    g.context->hostFilterRect = filter;
    renderArea = filter;
    g.context->areaWidth = static_cast<int32_t>(filter.width());
    g.context->areaHeight = static_cast<int32_t>(filter.height());
    g.settings->previewZoom = 1;

    g.settings->capturedControl = -1;
    g.settings->previewDirty = 0;
    g.settings->passIndex = -1;
    seedRandom(uint32_t(currentTimeSeconds()));
}

void handleStart() {
    FilterRecord* fr = g.record;
    if (!fr || !lockRecords()) return;
    SettingsRecord& s = *g.settings;
    RunContext& ctx = *g.context;

    s.previewPossible = (canAdvance(*fr) && canDisplay(*fr) && s.previewDisabled == 0) ? 1 : 0;

    if (!allocateRenderBuffers(ctx)) {
        releaseRunBuffers(ctx);
        hostResult() = kResultNoRenderBuffers;
        g.reason = kReasonBuffersAlloc;
    }

    if (hostResult() == 0) {
        // Without a recorded action the last-used settings come back; a
        // missing or unreadable file leaves the defaults.
        if (!descriptorPresent()) readCachedSettings(s);
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

        if (!canAdvance(*fr)) {
            refuse("The filter cannot run because your paint program does not support enough "
                   "of the Photoshop 3.0 plug-in standard.",
                   kReasonNoAdvanceState);
        } else if ((!isGray(*fr) && !isRGB(*fr)) || fr->planes < 1 ||
                   (isRGB(*fr) && fr->planes < 3)) {
            // Second line of defence behind the enable conditions: multichannel
            // and every other mode we cannot read are refused alike.
            refuse("The filter cannot run.", kReasonMultichannel);
        }
    }

    if (hostResult() != 0) {
        runCleanup();
        setAllRectsEmpty(*fr);
        return;
    }

    exportRequest = ExportRequest{};
    readDescriptor();

    // The settings dialog is not part of this build yet: a run that asks
    // for it goes ahead with the settings it has, as if it was accepted.
    ctx.showDialog = 0;

    if (exportRequest.requested) {
        // An export renders into a file of its own; the document stays.
        hostResult() = exportPicture(exportRequest);
        exportRequest = ExportRequest{};
    } else {
        renderFinalPass();
        // Remembered whatever the render left, a cancel included.
        writeCachedSettings(s);
    }
    // An editor does not call finish after a failed start: whatever the
    // run allocated goes now.
    if (hostResult() != 0) runCleanup();
}

void handleContinue() {
    if (g.record) setAllRectsEmpty(*g.record);
    g.reason = kReasonContinue;
}

void handleFinish() {
    if (!lockRecords()) return;
    writeDescriptor();
    runCleanup();
}
