// The editor side of a filtering run: builds the filter record for a
// document, calls a module's entry point through the selectors in the order
// an editor does, serves its pixel requests (advanceState and the host's own
// rectangle loop), and records everything the module did for tests and for
// the command-line tool.
//
// One run is active per process at a time, as in an editor: the module's
// callbacks carry no context, so the host finds the active run through a
// process-wide pointer.
#pragma once

#include "host/descriptor.h"
#include "host/descriptor_suite.h"
#include "host/document.h"
#include "host/handle_suite.h"
#include "host/property_list.h"
#include "plugin/host_api.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qf::host {

// A buffer delivery: the module's advanceState call, or one pass of the
// host's loop after start.
struct AdvanceCall {
    bool fromHostLoop = false;
    bool used32BitCoordinates = false;
    VRect inRect{}, outRect{}, maskRect{};
    int16_t inLoPlane = 0, inHiPlane = -1, outLoPlane = 0, outHiPlane = -1;
    Fixed inputRate = 0, maskRate = 0;
    int16_t inputPadding = 0, outputPadding = 0, maskPadding = 0;
    OSErr result = noErr;
};

struct ProgressCall {
    int32_t done = 0;
    int32_t total = 0;
};

struct DisplayCall {
    int32_t version = 0;
    VRect bounds{};
    int32_t imageMode = 0, rowBytes = 0, colBytes = 0, planeBytes = 0;
    VRect srcRect{};
    int32_t dstRow = 0, dstCol = 0;
};

struct SelectorCall {
    int16_t selector = 0;
    int16_t result = 0;
};

struct HostOptions {
    OSType hostSig = fourCC("8BIM");
    int32_t maxSpace = 256 << 20; // memory offered at prepare
    bool bigDocument = true;      // offer bigDocumentData (32-bit coordinates)
    bool displayPixels = true;
    bool advanceState = true;
    char samplingSupport = hostSupportsIntegralSampling;
    DescriptorSuiteOptions descriptors;
    int32_t extraRowBytes = 0;                 // added to every row stride (rounded up to 4)
    bool restoreOnFailure = true;              // a failed run leaves the document as it was
    int64_t maxBufferBytes = int64_t(1) << 30; // largest single buffer delivered
    int32_t maxLoopPasses = 1 << 20;           // continue calls before the host gives up

    // Ways real editors differ from the complete one.
    //
    // How the editor steps through a module's property list when it loads
    // it; whoever loads the module passes this on to Module::load.
    PropertyListWalk propertyListWalk = PropertyListWalk::none;
    // What getSizeProc and setSizeProc tell the module.
    HandleSizing handleSizing = HandleSizing::tracked;
    // floatCoord (and floatCoord32) of a plain selection: its top-left
    // corner, or left at (0, 0).
    bool floatCoordAtSelection = true;
    // Written into *result before every selector call, about included: a
    // module that leaves it alone reports this.
    int16_t presetResult = 0;
    // Documents of more than 8 bits per channel are refused by the host
    // before the module is called.
    bool eightBitOnly = false;
    // After a successful run the host blends the result with the original
    // through the selection mask even when the module cleared autoMask.
    bool alwaysApplySelection = false;
    // Input rectangles must lie inside the filter rectangle too. Output and
    // mask rectangles always must; input around the filter area is part of
    // the interface (a module may read neighbours, padded beyond the
    // document), so only tests that know the module reads nothing outside
    // ask for this.
    bool inputInsideFilterRect = false;

    // The editor's main window as the filter record's platform data passes
    // it (Windows: a window handle; 0 for none).
    intptr_t platformWindow = 0;

    // Test hooks. The abort test answers true once the module has made this
    // many advanceState calls (0: never).
    int32_t abortAfterAdvanceCalls = 0;
    // The module's advanceState call number `failAdvanceAtCall` (1-based)
    // returns `failAdvanceError` without delivering anything.
    int32_t failAdvanceAtCall = 0;
    OSErr failAdvanceError = memFullErr;
    // The module's call number n (1-based, counted from the start of the
    // run) of a handle-suite procedure fails as it would in an editor out
    // of memory: newProc and lockProc answer null, setSizeProc memFullErr.
    int32_t failNewHandleAtCall = 0;
    int32_t failLockAtCall = 0;
    int32_t failSetSizeAtCall = 0;
    // For the call of this selector (-1: none) the host hands the module no
    // `parameters` handle, or an empty data slot, as an editor that lost
    // them would. It keeps its own and puts it back after the call unless
    // the module made a new one, which then replaces it.
    int16_t withholdParametersAt = -1;
    int16_t withholdDataAt = -1;
    std::function<void(int32_t done, int32_t total)> onProgress;
    std::function<bool()> onAbortTest;

    // An editor that implements only an older subset of the interface: no
    // big-document rectangles, no descriptor suites, no displayPixels, no
    // sampling, and optionally no advanceState.
    static HostOptions minimalEditor(bool withAdvanceState = true);
    // An older editor of the minimal kind that also steps the property list
    // by the stored lengths, answers 0 from getSizeProc with a no-op
    // setSizeProc, leaves floatCoord at (0, 0), presets *result to 1, edits
    // 8-bit documents only and blends the selection again itself whatever
    // the module says. (No profile here offers sSPBasic.)
    static HostOptions legacyEditor();
    // An older editor of the minimal kind that rounds property lengths up
    // to a multiple of four and sets floatCoord to the selection's corner.
    static HostOptions roundingEditor();
};

struct RunOptions {
    bool showDialog = false;              // call the parameters selector first
    std::optional<Descriptor> descriptor; // settings to replay; none: a null descriptor
    std::optional<VRect> filterRect;      // default: the selection's bounds
};

struct RunRecord {
    OSErr result = noErr; // first failure: a selector's result or the host's own code
    int16_t failedSelector = -1;
    std::string hostError; // why the host refused or stopped the run itself
    std::vector<SelectorCall> selectors;

    int32_t maxSpaceOffered = 0;
    int32_t maxSpaceAfterPrepare = 0;
    int32_t bufferSpaceAfterPrepare = 0;
    VRect filterRect{};

    std::vector<AdvanceCall> deliveries; // the first million, in order
    int32_t moduleAdvanceCalls = 0;
    // The module's calls of newProc, lockProc and setSizeProc in this run
    // (indexed by ModuleHandleCall).
    int64_t moduleHandleCalls[kModuleHandleCallKinds] = {};
    int32_t loopPasses = 0;             // deliveries of the host's own loop
    bool used32BitCoordinates = false;  // the module set the flag at some point
    std::vector<ProgressCall> progress; // the first million
    int64_t progressCalls = 0;
    std::vector<DisplayCall> displays;
    int32_t abortCalls = 0;
    bool abortAnswered = false; // the abort test answered true at least once

    DescriptorRecord descriptorCalls;
    bool descriptorReplaced = false;         // the module installed a descriptor of its own
    std::optional<Descriptor> descriptorOut; // the descriptor held after the run
    bool descriptorMalformed = false;
    int16_t recordInfo = 0;

    std::string errorString;       // text the module left in the record's error string
    bool autoMaskApplied = false;  // the host blended the result through the selection
    bool documentRestored = false; // the run failed and the document was put back

    bool ok() const { return result == noErr; }
};

class FilterHost {
  public:
    explicit FilterHost(PluginEntryProc entry, HostOptions options = {});
    // Disposes of the `parameters` handle and the module's data handle: the
    // host owns both for as long as it keeps the module.
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    HostOptions& options() { return options_; }
    const HostOptions& options() const { return options_; }

    // Selector 0 with an about record, alone.
    int16_t about();
    // One filtering run over the document; on failure the document is left as
    // it was (unless the options say otherwise).
    RunRecord run(Document& document, const RunOptions& runOptions = {});

    Handle parameters() const { return parameters_; }
    intptr_t data() const { return data_; }

  private:
    PluginEntryProc entry_;
    HostOptions options_;
    Handle parameters_ = nullptr;
    intptr_t data_ = 0;
};

// One line for a module's result code, as an editor would tell its user.
std::string describeResult(OSErr code);

} // namespace qf::host
