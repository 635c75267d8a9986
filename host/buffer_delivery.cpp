// Serving the module's requests for pixels: each input, output and mask
// buffer built from the document (reduced by a sampling rate, padded beyond
// its edges as the module asked), the output written back, and the
// selection applied at the end.
#include "host/active_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace qf::host::run_detail {
namespace {

VRect widen(const Rect& r) {
    return VRect{r.top, r.left, r.bottom, r.right};
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

} // namespace

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

namespace {

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

} // namespace

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

} // namespace qf::host::run_detail
