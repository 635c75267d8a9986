#include "host/filter_host.h"

#include "host/active_run.h"
#include "host/handle_suite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace qf::host {

using namespace run_detail;

namespace {

constexpr int32_t k16BitLimit = 32767;

int16 clamp16(int32_t v) {
    return int16(std::clamp<int32_t>(v, -32768, 32767));
}
Rect narrow(const VRect& r) {
    return Rect{clamp16(r.top), clamp16(r.left), clamp16(r.bottom), clamp16(r.right)};
}

// The run in progress, or null. The callbacks a module calls carry no
// context (an editor runs one filter at a time), so this is how they find
// their run; FilterHost::run refuses to start a second one while it is set.
ActiveRun* g_run = nullptr;

// --- callbacks handed to the module -----------------------------------------

OSErr cbAdvanceState() {
    if (!g_run) return paramErr;
    try {
        return deliver(*g_run, false);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (...) {
        return paramErr;
    }
}

Boolean cbAbort() {
    if (!g_run) return false;
    ActiveRun& run = *g_run;
    RunRecord& rec = *run.record;
    ++rec.abortCalls;
    bool abort = false;
    const HostOptions& opt = *run.options;
    if (opt.abortAfterAdvanceCalls > 0 && rec.moduleAdvanceCalls >= opt.abortAfterAdvanceCalls)
        abort = true;
    if (!abort && opt.onAbortTest) {
        try {
            abort = opt.onAbortTest();
        } catch (...) {
        }
    }
    rec.abortAnswered |= abort;
    return abort;
}

void cbProgress(int32 done, int32 total) {
    if (!g_run) return;
    RunRecord& rec = *g_run->record;
    ++rec.progressCalls;
    try {
        if (rec.progress.size() < kMaxRecorded) rec.progress.push_back({done, total});
        if (g_run->options->onProgress) g_run->options->onProgress(done, total);
    } catch (...) {
    }
}

OSErr cbDisplayPixels(const PSPixelMap* source, const VRect* srcRect, int32 dstRow, int32 dstCol,
                      void*) {
    if (!g_run) return paramErr;
    if (!source || !srcRect) return paramErr;
    DisplayCall call;
    call.version = source->version;
    call.bounds = source->bounds;
    call.imageMode = source->imageMode;
    call.rowBytes = source->rowBytes;
    call.colBytes = source->colBytes;
    call.planeBytes = source->planeBytes;
    call.srcRect = *srcRect;
    call.dstRow = dstRow;
    call.dstCol = dstCol;
    try {
        if (g_run->record->displays.size() < kMaxRecorded) g_run->record->displays.push_back(call);
    } catch (...) {
    }
    if (!source->baseAddr) return paramErr;
    return noErr;
}

void setFilterRectFields(FilterRecord& fr, BigDocumentStruct* big, const Document& doc,
                         const VRect& filterRect, bool floatCoordAtSelection) {
    fr.imageSize = Point{clamp16(doc.height()), clamp16(doc.width())};
    fr.wholeSize = fr.imageSize;
    fr.filterRect = narrow(filterRect);
    // The selection's top-left corner in document coordinates, or (0, 0) as
    // some editors leave it for a selection that is not floating.
    const VPoint corner =
        floatCoordAtSelection ? VPoint{filterRect.top, filterRect.left} : VPoint{0, 0};
    fr.floatCoord = Point{clamp16(corner.v), clamp16(corner.h)};
    if (big) {
        big->imageSize32 = VPoint{doc.height(), doc.width()};
        big->wholeSize32 = big->imageSize32;
        big->filterRect32 = filterRect;
        big->floatCoord32 = corner;
    }
}

void layerCounts(FilterRecord& fr, const Document& doc) {
    const int16 colors = int16(doc.colorChannels());
    const int16 alpha = doc.transparency() == Transparency::editable ? 1 : 0;
    fr.inLayerPlanes = fr.outLayerPlanes = fr.absLayerPlanes = colors;
    fr.inTransparencyMask = fr.outTransparencyMask = fr.absTransparencyMask = alpha;
}

// --- one run ----------------------------------------------------------------

// The filter record as an editor fills it for this document; everything it
// points into belongs to the run.
void buildFilterRecord(ActiveRun& run) {
    const Document& doc = *run.doc;
    const HostOptions& opt = *run.options;
    FilterRecord& fr = run.filterRecord;
    std::memset(&fr, 0, sizeof(FilterRecord));
    run.fr = &fr;

    fr.abortProc = cbAbort;
    fr.progressProc = cbProgress;
    fr.planes = doc.planes();
    fr.background = RGBColor{65535, 65535, 65535};
    fr.foreground = RGBColor{0, 0, 0};
    fr.backColor[0] = fr.backColor[1] = fr.backColor[2] = 255;
    fr.maxSpace = opt.maxSpace;
    fr.isFloating = false;
    fr.haveMask = doc.hasMask();
    fr.autoMask = true;
    fr.hostSig = opt.hostSig;
    fr.imageMode = doc.imageMode();
    fr.imageHRes = fr.imageVRes = 72 << 16;
    run.platform.hwnd = opt.platformWindow;
    fr.platformData = &run.platform;
    fr.bufferProcs = bufferProcs();
    fr.displayPixels = opt.displayPixels ? cbDisplayPixels : nullptr;
    fr.handleProcs = handleProcs(opt.handleSizing);
    fr.filterCase = doc.filterCase();
    fr.advanceState = opt.advanceState ? cbAdvanceState : nullptr;
    fr.supportsPadding = true;
    fr.samplingSupport = opt.samplingSupport;
    fr.inputRate = fr.maskRate = kOne;
    fr.errorString = &run.errorText;
    fr.depth = doc.depth();
    fr.bigDocumentData = opt.bigDocument ? &run.bigDocument : nullptr;
    run.big = fr.bigDocumentData;
    layerCounts(fr, doc);
    setFilterRectFields(fr, run.big, doc, run.filterRect, opt.floatCoordAtSelection);
}

// The descriptor parameters, when the host offers them, with the settings to
// replay in a handle of ours; false when that handle cannot be made.
bool buildDescriptorParameters(ActiveRun& run, const RunOptions& runOptions) {
    const DescriptorSuiteOptions& dso = run.options->descriptors;
    if (!dso.present) return true;
    PIDescriptorParameters& params = run.descParams;
    fillReadDescriptorProcs(run.readProcs, dso);
    fillWriteDescriptorProcs(run.writeProcs, dso);
    params.descriptorParametersVersion = dso.parametersVersion;
    params.playInfo = dso.playInfo;
    params.recordInfo = plugInDialogOptional;
    params.readDescriptorProcs = dso.readSuite ? &run.readProcs : nullptr;
    params.writeDescriptorProcs = dso.writeSuite ? &run.writeProcs : nullptr;
    if (runOptions.descriptor) {
        run.descriptorIn = runOptions.descriptor->toHandle();
        if (!run.descriptorIn) return false;
        run.descriptorInSerial = handleSerial(run.descriptorIn);
    }
    params.descriptor = run.descriptorIn;
    run.fr->descriptorParameters = &params;
    return true;
}

// The run's result becomes `code`, blamed on `selector`, unless an earlier
// failure already set it.
void failRun(RunRecord& rec, OSErr code, int16 selector) {
    if (rec.result != noErr) return;
    rec.result = code;
    rec.failedSelector = selector;
}

// One selector call with the module's slots in place.
int16 callSelector(ActiveRun& run, int16 selector) {
    int16 result = run.options->presetResult;
    run.fr->parameters = *run.parameters;
    run.entry(selector, run.fr, run.data, &result);
    *run.parameters = run.fr->parameters;
    run.record->selectors.push_back({selector, result});
    if (result != noErr) failRun(*run.record, result, selector);
    return result;
}

// The editor's own loop after start: serve what the module asks for until it
// leaves all three rectangles empty, then write back the last output.
void serveHostLoop(ActiveRun& run) {
    RunRecord& rec = *run.record;
    for (;;) {
        const Request q = readRequest(run);
        if (isEmpty(q.in) && isEmpty(q.out) && isEmpty(q.mask)) break;
        if (rec.loopPasses >= run.options->maxLoopPasses) {
            rec.result = paramErr;
            rec.failedSelector = filterSelectorContinue;
            rec.hostError = "the filter never finished its rectangle loop";
            break;
        }
        ++rec.loopPasses;
        const OSErr err = deliver(run, true);
        if (err != noErr) {
            failRun(rec, err, filterSelectorContinue);
            break;
        }
        if (callSelector(run, filterSelectorContinue) != noErr) break;
    }
    writeBack(run);
}

// The selectors in an editor's order: parameters (when the dialog is shown),
// prepare, start, the host's loop, and finish once start has succeeded.
void runSelectors(ActiveRun& run, bool showDialog) {
    RunRecord& rec = *run.record;
    if (showDialog && callSelector(run, filterSelectorParameters) != noErr) return;
    if (callSelector(run, filterSelectorPrepare) != noErr) return;
    rec.maxSpaceAfterPrepare = run.fr->maxSpace;
    rec.bufferSpaceAfterPrepare = run.fr->bufferSpace;
    if (callSelector(run, filterSelectorStart) != noErr) return;
    try {
        serveHostLoop(run);
    } catch (const std::bad_alloc&) {
        failRun(rec, memFullErr, filterSelectorContinue);
    }
    callSelector(run, filterSelectorFinish);
}

// The descriptor the module leaves behind: read it, then dispose of it and
// of ours if the module did not.
void collectDescriptor(ActiveRun& run) {
    if (!run.options->descriptors.present) return;
    RunRecord& rec = *run.record;
    const Handle now = run.descParams.descriptor;
    rec.recordInfo = run.descParams.recordInfo;
    if (now) {
        rec.descriptorReplaced =
            now != run.descriptorIn || handleSerial(now) != run.descriptorInSerial;
        Descriptor d;
        if (Descriptor::fromHandle(now, d)) {
            rec.descriptorOut = std::move(d);
        } else {
            rec.descriptorMalformed = true;
        }
        disposeHandle(now);
    }
    if (run.descriptorIn && run.descriptorIn != now &&
        handleSerial(run.descriptorIn) == run.descriptorInSerial)
        disposeHandle(run.descriptorIn);
}

// What the run leaves in the record and the document: the module's error
// text, the selection applied by the host, or the document put back after
// a failure.
void collectResult(ActiveRun& run) {
    RunRecord& rec = *run.record;
    Document& doc = *run.doc;
    const HostOptions& opt = *run.options;
    const Str255& text = run.errorText;
    if (text[0] > 0) rec.errorString.assign(reinterpret_cast<const char*>(text + 1), text[0]);
    if (rec.result == noErr && doc.hasMask() && (run.fr->autoMask || opt.alwaysApplySelection)) {
        applySelection(run);
        rec.autoMaskApplied = true;
    }
    if (rec.result != noErr && opt.restoreOnFailure) {
        doc.bytes() = std::move(run.source);
        rec.documentRestored = true;
    }
}

// The area a run filters: the selection's bounds, or the rectangle asked
// for clipped to the document.
VRect chooseFilterRect(const Document& doc, const RunOptions& runOptions) {
    if (!runOptions.filterRect) return doc.selectionBounds();
    const VRect& r = *runOptions.filterRect;
    return VRect{std::max(r.top, 0), std::max(r.left, 0), std::min(r.bottom, doc.height()),
                 std::min(r.right, doc.width())};
}

} // namespace

HostOptions HostOptions::minimalEditor(bool withAdvanceState) {
    HostOptions o;
    o.bigDocument = false;
    o.displayPixels = false;
    o.samplingSupport = hostDoesNotSupportSampling;
    o.descriptors.present = false;
    o.advanceState = withAdvanceState;
    return o;
}

HostOptions HostOptions::legacyEditor() {
    HostOptions o = minimalEditor();
    o.propertyListWalk = PropertyListWalk::storedLength;
    o.handleSizing = HandleSizing::unknown;
    o.floatCoordAtSelection = false;
    o.presetResult = 1;
    o.eightBitOnly = true;
    o.alwaysApplySelection = true;
    return o;
}

HostOptions HostOptions::roundingEditor() {
    HostOptions o = minimalEditor();
    o.propertyListWalk = PropertyListWalk::roundedUp;
    o.floatCoordAtSelection = true;
    return o;
}

FilterHost::FilterHost(PluginEntryProc entry, HostOptions options)
    : entry_(entry), options_(std::move(options)) {}

FilterHost::~FilterHost() {
    disposeHandle(parameters_);
    // The data slot holds whatever the module put there; only a handle of
    // ours is disposed.
    Handle data = reinterpret_cast<Handle>(data_);
    if (isLiveHandle(data)) disposeHandle(data);
}

int16_t FilterHost::about() {
    if (!entry_) return paramErr;
    PlatformData platform{0};
    AboutRecord about{};
    about.platformData = &platform;
    int16 result = options_.presetResult;
    entry_(filterSelectorAbout, &about, &data_, &result);
    return result;
}

RunRecord FilterHost::run(Document& doc, const RunOptions& runOptions) {
    RunRecord rec;
    auto refuse = [&](OSErr code, std::string why) {
        rec.result = code;
        rec.hostError = std::move(why);
        return rec;
    };
    if (!entry_) return refuse(paramErr, "no filter module");
    if (!doc.valid()) return refuse(paramErr, "no document");
    if (options_.eightBitOnly && doc.depth() != 8)
        return refuse(errPlugInHostInsufficient, "this host edits 8-bit documents only, not " +
                                                     std::to_string(doc.depth()) + "-bit ones");
    if (g_run) return refuse(paramErr, "another filtering run is active");
    const bool beyond16 = doc.width() > k16BitLimit || doc.height() > k16BitLimit;
    if (beyond16 && !options_.bigDocument)
        return refuse(errPlugInHostInsufficient, "the document is larger than 32767 pixels and "
                                                 "this host offers no large-document support");
    const VRect filterRect = chooseFilterRect(doc, runOptions);
    if (isEmpty(filterRect)) return refuse(paramErr, "nothing is selected");
    rec.filterRect = filterRect;

    auto run = std::make_unique<ActiveRun>();
    run->doc = &doc;
    run->options = &options_;
    run->record = &rec;
    run->entry = entry_;
    run->parameters = &parameters_;
    run->data = &data_;
    run->filterRect = filterRect;
    run->beyond16Bit = beyond16;
    try {
        run->source = doc.bytes();
    } catch (const std::bad_alloc&) {
        return refuse(memFullErr, "out of memory");
    }
    buildFilterRecord(*run);
    if (!buildDescriptorParameters(*run, runOptions)) return refuse(memFullErr, "out of memory");

    g_run = run.get();
    beginDescriptorSession(&rec.descriptorCalls);
    rec.maxSpaceOffered = options_.maxSpace;
    runSelectors(*run, runOptions.showDialog);
    endDescriptorSession();
    g_run = nullptr;

    collectDescriptor(*run);
    collectResult(*run);
    return rec;
}

std::string describeResult(OSErr code) {
    switch (code) {
    case noErr:
        return "success";
    case memFullErr:
        return "out of memory";
    case userCanceledErr:
        return "cancelled";
    case filterBadParameters:
        return "the filter's settings records are missing";
    case filterBadMode:
        return "the filter does not support this image mode";
    case errPlugInHostInsufficient:
        return "the filter needs features this host does not offer";
    case paramErr:
        return "the filter made an invalid request";
    case readErr:
        return "read error";
    case writErr:
        return "write error";
    default:
        return "the filter failed with error " + std::to_string(code);
    }
}

} // namespace qf::host
