#include "host/filter_host.h"

#include "host/handle_suite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace qf::host {
namespace {

constexpr size_t kMaxRecorded = size_t(1) << 20;
constexpr int32_t k16BitLimit = 32767;
constexpr Fixed kOne = 1 << 16;

int16 clamp16(int32_t v) {
    return int16(std::clamp<int32_t>(v, -32768, 32767));
}
VRect widen(const Rect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
}
Rect narrow(const VRect& r) {
    return Rect{clamp16(r.top), clamp16(r.left), clamp16(r.bottom), clamp16(r.right)};
}
bool isEmpty(const VRect& r) {
    return r.bottom <= r.top || r.right <= r.left;
}
bool isInverted(const VRect& r) {
    return r.bottom < r.top || r.right < r.left;
}

// Where a request reads its samples from: a document's interleaved bytes or
// its mask.
struct PlaneSource {
    const uint8_t* base;
    int32_t width;
    int32_t height;
    size_t rowBytes;
    size_t pixelBytes;
    int bps; // bytes per sample
};

// One output buffer the module may still be writing: written into the
// document before the next delivery and at the end of the run.
struct PendingOutput {
    bool pending = false;
    VRect rect{};
    int lo = 0;
    int count = 0;
    int32_t rowBytes = 0;
};

// Everything one filtering run owns: what the filter record points into,
// the module's slots, and the state of its deliveries. Held at a fixed
// address for the whole run, since the module keeps pointers into it.
struct ActiveRun {
    Document* doc = nullptr;
    const HostOptions* options = nullptr;
    RunRecord* record = nullptr;
    FilterRecord* fr = nullptr;
    BigDocumentStruct* big = nullptr; // null when the host does not offer it

    // The module and the slots the host keeps for it between runs.
    PluginEntryProc entry = nullptr;
    Handle* parameters = nullptr;
    intptr_t* data = nullptr;

    FilterRecord filterRecord;
    BigDocumentStruct bigDocument{};
    PlatformData platform{0};
    Str255 errorText = {};
    PIDescriptorParameters descParams{};
    ReadDescriptorProcs readProcs{};
    WriteDescriptorProcs writeProcs{};
    Handle descriptorIn = nullptr; // the settings handed in, ours until the module takes them
    int64_t descriptorInSerial = 0;

    VRect filterRect{};
    bool beyond16Bit = false;    // the document cannot be addressed with 16-bit rectangles
    std::vector<uint8_t> source; // the document as it was at the start of the run
    std::vector<uint8_t> inBuf, outBuf, maskBuf;
    PendingOutput out;
};

ActiveRun* g_run = nullptr;

Fixed effectiveRate(Fixed requested, char sampling, OSErr& err) {
    err = noErr;
    if (sampling == hostDoesNotSupportSampling) return kOne; // the request is not understood
    if (requested <= 0) {
        err = paramErr;
        return kOne;
    }
    if (sampling == hostSupportsIntegralSampling) return std::max<Fixed>(kOne, requested & ~0xFFFF);
    return requested;
}

// Padding sample for a fill value 0..255 at this sample size.
void paddingSample(int16 value, int bps, uint8_t* out) {
    if (bps == 1) {
        out[0] = uint8_t(value);
    } else if (bps == 2) {
        uint16_t v = uint16_t((int32_t(value) * 32768 + 127) / 255);
        std::memcpy(out, &v, 2);
    } else {
        float f = float(value) / 255.0f;
        std::memcpy(out, &f, 4);
    }
}

bool validPadding(int16 padding) {
    return (padding >= 0 && padding <= 255) || padding == plugInWantsEdgeReplication ||
           padding == plugInDoesNotWantPadding || padding == plugInWantsErrorOnBoundsException;
}

// Reduced coordinate -> document coordinate for rate r (16.16): floor(c * r).
int64_t toDocument(int64_t c, Fixed rate) {
    return (c * int64_t(rate)) >> 16;
}

// Document coordinate / rate (16.16), rounded down or up; rate > 0.
int64_t reducedFloor(int64_t c, Fixed rate) {
    const int64_t n = c * 65536, r = rate;
    return n >= 0 ? n / r : -((-n + r - 1) / r);
}
int64_t reducedCeil(int64_t c, Fixed rate) {
    return -reducedFloor(-c, rate);
}

// A rectangle in 64 bits: reduced bounds need not fit 32.
struct WideRect {
    int64_t top, left, bottom, right;
};

// The filter rectangle in the coordinates of a request at `rate`: its top
// and left divided by the rate and rounded down, its bottom and right
// rounded up, so that a reduced view of the whole filter area (a preview)
// counts as inside.
WideRect filterRectAtRate(const VRect& f, Fixed rate) {
    if (rate == kOne) return WideRect{f.top, f.left, f.bottom, f.right};
    return WideRect{reducedFloor(f.top, rate), reducedFloor(f.left, rate),
                    reducedCeil(f.bottom, rate), reducedCeil(f.right, rate)};
}

bool inside(const VRect& r, const WideRect& f) {
    return r.top >= f.top && r.left >= f.left && r.bottom <= f.bottom && r.right <= f.right;
}

std::string describeRect(int64_t top, int64_t left, int64_t bottom, int64_t right) {
    char text[96];
    std::snprintf(text, sizeof text, "(%lld, %lld)-(%lld, %lld)", static_cast<long long>(top),
                  static_cast<long long>(left), static_cast<long long>(bottom),
                  static_cast<long long>(right));
    return text;
}

// Why a non-empty request leaves the filter rectangle, or empty when it
// does not. `name` is "input", "output" or "mask".
std::string leavesFilterRect(const char* name, const VRect& r, const VRect& filter, Fixed rate) {
    const WideRect f = filterRectAtRate(filter, rate);
    if (isEmpty(r) || inside(r, f)) return std::string();
    std::string why = std::string("the ") + name + " rectangle " +
                      describeRect(r.top, r.left, r.bottom, r.right) +
                      " leaves the filter rectangle " +
                      describeRect(f.top, f.left, f.bottom, f.right);
    if (rate != kOne) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", double(rate) / 65536.0);
        why += std::string(" at rate ") + text;
    }
    return why;
}

// Builds the interleaved buffer of planes [lo, lo + count) for `rect`, whose
// coordinates are reduced by `rate`. Parts of the request outside the source
// get the padding; nothing outside the source is ever read.
OSErr buildBuffer(const PlaneSource& src, int lo, int count, const VRect& rect, Fixed rate,
                  int16 padding, int32_t extra, int64_t maxBytes, std::vector<uint8_t>& buf,
                  int32_t& rowBytes) {
    const int64_t w = int64_t(rect.right) - rect.left;
    const int64_t h = int64_t(rect.bottom) - rect.top;
    const int64_t sampleBytes = int64_t(count) * src.bps;
    const int64_t rb = w * sampleBytes + extra;
    if (rb > INT32_MAX || h > maxBytes / rb) return memFullErr;

    // Reduced -> document coordinates grow with the rate (> 0), so the first
    // and last row and column tell whether anything lies outside.
    const bool outside =
        toDocument(rect.left, rate) < 0 || toDocument(rect.right - 1, rate) >= src.width ||
        toDocument(rect.top, rate) < 0 || toDocument(rect.bottom - 1, rate) >= src.height;
    if (outside && padding == plugInWantsErrorOnBoundsException) return paramErr;

    buf.assign(size_t(rb * h), 0);
    rowBytes = int32_t(rb);

    uint8_t fill[4 * 32] = {};
    if (padding >= 0) {
        for (int c = 0; c < count; ++c) paddingSample(padding, src.bps, fill + c * src.bps);
    }
    const size_t chunk = size_t(sampleBytes);
    const size_t offset = size_t(lo) * size_t(src.bps);
    // At full rate with all planes, the columns inside the source are one
    // contiguous run of the source row: [insideBegin, insideEnd) in the buffer.
    const bool wholePixels = chunk == src.pixelBytes && rate == kOne;
    const int64_t insideBegin = std::clamp<int64_t>(-int64_t(rect.left), 0, w);
    const int64_t insideEnd = std::clamp<int64_t>(int64_t(src.width) - rect.left, insideBegin, w);

    for (int64_t ry = 0; ry < h; ++ry) {
        uint8_t* dst = buf.data() + size_t(ry * rb);
        int64_t dy = toDocument(rect.top + ry, rate);
        bool rowInside = dy >= 0 && dy < src.height;
        if (!rowInside && padding == plugInWantsEdgeReplication) {
            dy = std::clamp<int64_t>(dy, 0, src.height - 1);
            rowInside = true;
        }
        if (!rowInside) {
            if (padding >= 0)
                for (int64_t i = 0; i < w; ++i) std::memcpy(dst + size_t(i) * chunk, fill, chunk);
            continue;
        }
        const uint8_t* srow = src.base + size_t(dy) * src.rowBytes + offset;
        for (int64_t i = 0; i < w; ++i) {
            if (wholePixels && i == insideBegin && insideEnd > insideBegin) {
                const int64_t dx = rect.left + i;
                std::memcpy(dst + size_t(i) * chunk, srow + size_t(dx) * src.pixelBytes,
                            size_t(insideEnd - insideBegin) * chunk);
                i = insideEnd - 1;
                continue;
            }
            int64_t dx = toDocument(rect.left + i, rate);
            bool inside = dx >= 0 && dx < src.width;
            if (!inside && padding == plugInWantsEdgeReplication) {
                dx = std::clamp<int64_t>(dx, 0, src.width - 1);
                inside = true;
            }
            if (inside) {
                std::memcpy(dst + size_t(i) * chunk, srow + size_t(dx) * src.pixelBytes, chunk);
            } else if (padding >= 0) {
                std::memcpy(dst + size_t(i) * chunk, fill, chunk);
            }
        }
    }
    return noErr;
}

// Writes the pending output buffer into the document, inside the filter
// rectangle only.
void writeBack(ActiveRun& run) {
    PendingOutput& o = run.out;
    if (!o.pending) return;
    o.pending = false;
    Document& doc = *run.doc;
    const VRect& fr = run.filterRect;
    const int bps = doc.bytesPerSample();
    const size_t chunk = size_t(o.count) * size_t(bps);
    const int32_t y0 = std::max(o.rect.top, fr.top), y1 = std::min(o.rect.bottom, fr.bottom);
    const int32_t x0 = std::max(o.rect.left, fr.left), x1 = std::min(o.rect.right, fr.right);
    if (y0 >= y1 || x0 >= x1) return;
    for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* src = run.outBuf.data() + size_t(y - o.rect.top) * size_t(o.rowBytes) +
                             size_t(x0 - o.rect.left) * chunk;
        uint8_t* dst = doc.row(y) + size_t(x0) * doc.pixelBytes() + size_t(o.lo) * size_t(bps);
        if (chunk == doc.pixelBytes()) {
            std::memcpy(dst, src, size_t(x1 - x0) * chunk);
        } else {
            for (int32_t x = x0; x < x1; ++x, src += chunk, dst += doc.pixelBytes())
                std::memcpy(dst, src, chunk);
        }
    }
}

// The selection applied by the host: every filtered sample is blended with
// the original by the mask.
void applySelection(ActiveRun& run) {
    Document& doc = *run.doc;
    const VRect& fr = run.filterRect;
    const int planes = doc.planes();
    const size_t px = doc.pixelBytes();
    const int bps = doc.bytesPerSample();
    for (int32_t y = fr.top; y < fr.bottom; ++y) {
        uint8_t* drow = doc.row(y);
        const uint8_t* srow = run.source.data() + size_t(y) * doc.rowBytes();
        for (int32_t x = fr.left; x < fr.right; ++x) {
            const uint32_t m = doc.maskAt(x, y);
            if (m == 255) continue;
            for (int c = 0; c < planes; ++c) {
                uint8_t* d = drow + size_t(x) * px + size_t(c) * size_t(bps);
                const uint8_t* s = srow + size_t(x) * px + size_t(c) * size_t(bps);
                if (bps == 1) {
                    *d = uint8_t((uint32_t(*d) * m + uint32_t(*s) * (255 - m) + 127) / 255);
                } else if (bps == 2) {
                    uint16_t dv, sv;
                    std::memcpy(&dv, d, 2);
                    std::memcpy(&sv, s, 2);
                    dv = uint16_t((uint32_t(dv) * m + uint32_t(sv) * (255 - m) + 127) / 255);
                    std::memcpy(d, &dv, 2);
                } else {
                    float dv, sv;
                    std::memcpy(&dv, d, 4);
                    std::memcpy(&sv, s, 4);
                    dv = sv + (dv - sv) * (float(m) / 255.0f);
                    std::memcpy(d, &dv, 4);
                }
            }
        }
    }
}

// The module's current request, read from the 32-bit rectangles when it
// uses them and from the 16-bit fields otherwise (never both).
struct Request {
    bool used32 = false;
    VRect in{}, out{}, mask{};
};

Request readRequest(const ActiveRun& run) {
    Request q;
    const FilterRecord& fr = *run.fr;
    q.used32 = run.big && run.big->PluginUsing32BitCoordinates != 0;
    if (q.used32) {
        q.in = run.big->inRect32;
        q.out = run.big->outRect32;
        q.mask = run.big->maskRect32;
    } else {
        q.in = widen(fr.inRect);
        q.out = widen(fr.outRect);
        q.mask = widen(fr.maskRect);
    }
    return q;
}

void record(ActiveRun& run, const AdvanceCall& call) {
    if (run.record->deliveries.size() < kMaxRecorded) run.record->deliveries.push_back(call);
}

// The request as the module set it, for the run's record; the result is
// filled in when the delivery ends.
AdvanceCall describeRequest(const FilterRecord& fr, const Request& q, bool fromHostLoop) {
    AdvanceCall call;
    call.fromHostLoop = fromHostLoop;
    call.used32BitCoordinates = q.used32;
    call.inRect = q.in;
    call.outRect = q.out;
    call.maskRect = q.mask;
    call.inLoPlane = fr.inLoPlane;
    call.inHiPlane = fr.inHiPlane;
    call.outLoPlane = fr.outLoPlane;
    call.outHiPlane = fr.outHiPlane;
    call.inputRate = fr.inputRate;
    call.maskRate = fr.maskRate;
    call.inputPadding = fr.inputPadding;
    call.outputPadding = fr.outputPadding;
    call.maskPadding = fr.maskPadding;
    return call;
}

// Which buffers a valid request asks for, and at which rates.
struct Plan {
    bool wantIn = false, wantOut = false, wantMask = false;
    Fixed inRate = kOne, maskRate = kOne;
};

// Nothing is written or masked outside the filter rectangle: a module that
// asks for it has lost track of where its area lies. The output is named in
// the input's coordinates (reduced at a reduced input rate); the mask has its
// own rate and is checked even without a selection. Returns why the request
// leaves it, or empty.
std::string requestLeavesFilterRect(const ActiveRun& run, const Request& q, const Plan& plan) {
    const VRect& f = run.filterRect;
    std::string outside;
    if (plan.wantIn && run.options->inputInsideFilterRect)
        outside = leavesFilterRect("input", q.in, f, plan.inRate);
    if (outside.empty() && plan.wantOut)
        outside = leavesFilterRect("output", q.out, f, plan.inRate);
    if (outside.empty()) outside = leavesFilterRect("mask", q.mask, f, plan.maskRate);
    return outside;
}

// Checks the whole request before anything changes.
OSErr validateRequest(ActiveRun& run, const Request& q, Plan& plan) {
    const FilterRecord& fr = *run.fr;
    const HostOptions& opt = *run.options;
    const Document& doc = *run.doc;
    if (run.beyond16Bit && !q.used32) return errPlugInHostInsufficient;

    const int planes = doc.planes();
    plan.wantIn = !isEmpty(q.in) && fr.inLoPlane <= fr.inHiPlane;
    plan.wantOut = !isEmpty(q.out) && fr.outLoPlane <= fr.outHiPlane;
    plan.wantMask = doc.hasMask() && !isEmpty(q.mask);
    if (isInverted(q.in) || isInverted(q.out) || isInverted(q.mask)) return paramErr;
    if (plan.wantIn && (fr.inLoPlane < 0 || fr.inHiPlane >= planes)) return paramErr;
    if (plan.wantOut && (fr.outLoPlane < 0 || fr.outHiPlane >= planes)) return paramErr;
    if ((plan.wantIn && !validPadding(fr.inputPadding)) ||
        (plan.wantOut && !validPadding(fr.outputPadding)) ||
        (plan.wantMask && !validPadding(fr.maskPadding)))
        return paramErr;
    OSErr err = noErr;
    plan.inRate = effectiveRate(fr.inputRate, opt.samplingSupport, err);
    if (plan.wantIn && err != noErr) return err;
    plan.maskRate = effectiveRate(fr.maskRate, opt.samplingSupport, err);
    if (plan.wantMask && err != noErr) return err;

    const std::string outside = requestLeavesFilterRect(run, q, plan);
    if (!outside.empty()) {
        if (run.record->hostError.empty()) run.record->hostError = outside;
        return paramErr;
    }
    return noErr;
}

// Row padding every delivered buffer gets beyond its samples.
int32_t extraRowBytes(const HostOptions& opt) {
    return (std::max(opt.extraRowBytes, 0) + 3) & ~3;
}

PlaneSource documentSource(const Document& doc, const uint8_t* base) {
    return PlaneSource{base,           doc.width(),      doc.height(),
                       doc.rowBytes(), doc.pixelBytes(), doc.bytesPerSample()};
}

// Input is read from the document as it was at the start of the run.
OSErr deliverInput(ActiveRun& run, const Request& q, const Plan& plan) {
    FilterRecord& fr = *run.fr;
    const HostOptions& opt = *run.options;
    int32_t rb = 0;
    const OSErr err = buildBuffer(
        documentSource(*run.doc, run.source.data()), fr.inLoPlane, fr.inHiPlane - fr.inLoPlane + 1,
        q.in, plan.inRate, fr.inputPadding, extraRowBytes(opt), opt.maxBufferBytes, run.inBuf, rb);
    if (err != noErr) return err;
    fr.inData = run.inBuf.data();
    fr.inRowBytes = rb;
    return noErr;
}

// Output is always at full resolution and starts as the document's current
// content, so writing back an untouched buffer changes nothing.
OSErr deliverOutput(ActiveRun& run, const Request& q) {
    FilterRecord& fr = *run.fr;
    const HostOptions& opt = *run.options;
    int32_t rb = 0;
    const int count = fr.outHiPlane - fr.outLoPlane + 1;
    const OSErr err =
        buildBuffer(documentSource(*run.doc, run.doc->bytes().data()), fr.outLoPlane, count, q.out,
                    kOne, fr.outputPadding, extraRowBytes(opt), opt.maxBufferBytes, run.outBuf, rb);
    if (err != noErr) return err;
    fr.outData = run.outBuf.data();
    fr.outRowBytes = rb;
    run.out = PendingOutput{true, q.out, fr.outLoPlane, count, rb};
    return noErr;
}

OSErr deliverMask(ActiveRun& run, const Request& q, const Plan& plan) {
    FilterRecord& fr = *run.fr;
    const HostOptions& opt = *run.options;
    const Document& doc = *run.doc;
    const PlaneSource maskSource{doc.mask().data(),   doc.width(), doc.height(),
                                 size_t(doc.width()), 1,           1};
    int32_t rb = 0;
    const OSErr err = buildBuffer(maskSource, 0, 1, q.mask, plan.maskRate, fr.maskPadding,
                                  extraRowBytes(opt), opt.maxBufferBytes, run.maskBuf, rb);
    if (err != noErr) return err;
    fr.maskData = run.maskBuf.data();
    fr.maskRowBytes = rb;
    return noErr;
}

// Drops the previous delivery's buffers from the record and the run.
void clearBuffers(ActiveRun& run) {
    FilterRecord& fr = *run.fr;
    fr.inData = nullptr;
    fr.inRowBytes = 0;
    fr.outData = nullptr;
    fr.outRowBytes = 0;
    fr.maskData = nullptr;
    fr.maskRowBytes = 0;
    run.inBuf.clear();
    run.outBuf.clear();
    run.maskBuf.clear();
}

// The validated request served: the previous output written back, then the
// three buffers built.
OSErr serveRequest(ActiveRun& run, const Request& q, const Plan& plan) {
    writeBack(run);
    clearBuffers(run);
    OSErr err = noErr;
    if (plan.wantIn && (err = deliverInput(run, q, plan)) != noErr) return err;
    if (plan.wantOut && (err = deliverOutput(run, q)) != noErr) return err;
    if (plan.wantMask && (err = deliverMask(run, q, plan)) != noErr) return err;
    FilterRecord& fr = *run.fr;
    const int32_t bps = run.doc->bytesPerSample();
    fr.inColumnBytes = plan.wantIn ? (fr.inHiPlane - fr.inLoPlane + 1) * bps : 0;
    fr.inPlaneBytes = bps;
    fr.outColumnBytes = plan.wantOut ? (fr.outHiPlane - fr.outLoPlane + 1) * bps : 0;
    fr.outPlaneBytes = bps;
    return noErr;
}

// Serves the module's current request: writes back the previous output, then
// delivers input, output and mask buffers. Every call, refused or served, is
// recorded.
OSErr deliver(ActiveRun& run, bool fromHostLoop) {
    const HostOptions& opt = *run.options;
    RunRecord& rec = *run.record;
    const Request q = readRequest(run);
    rec.used32BitCoordinates |= q.used32;
    AdvanceCall call = describeRequest(*run.fr, q, fromHostLoop);

    OSErr err = noErr;
    if (!fromHostLoop) {
        ++rec.moduleAdvanceCalls;
        if (opt.failAdvanceAtCall > 0 && rec.moduleAdvanceCalls == opt.failAdvanceAtCall)
            err = opt.failAdvanceError;
    }
    Plan plan;
    if (err == noErr) err = validateRequest(run, q, plan);
    if (err == noErr) err = serveRequest(run, q, plan);
    call.result = err;
    record(run, call);
    return err;
}

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
