#include "plugin/host_access.h"

#include <algorithm>
#include <cstring>

#include "plugin/module_call.h"
#include "plugin/run_buffers.h"

namespace qf {

namespace {

PixelRect fromRect16(const Rect& r) {
    return {r.top, r.left, r.bottom, r.right};
}
PixelRect fromVRect(const VRect& r) {
    return {r.top, r.left, r.bottom, r.right};
}
// Truncating on writing: the host's 16-bit fields cannot hold more.
Rect toRect16(const PixelRect& r) {
    return {int16_t(r.top), int16_t(r.left), int16_t(r.bottom), int16_t(r.right)};
}
VRect toVRect(const PixelRect& r) {
    return {r.top, r.left, r.bottom, r.right};
}

void setAllPlanes(FilterRecord& fr) {
    int16_t last = int16_t(std::max<int>(fr.planes, 1) - 1);
    fr.inLoPlane = 0;
    fr.inHiPlane = last;
    fr.outLoPlane = 0;
    fr.outHiPlane = last;
}

void setRateAndPadding(FilterRecord& fr, int32_t rate) {
    fr.inputRate = Fixed(uint32_t(rate) << 16);
    fr.maskRate = fr.inputRate;
    fr.inputPadding = plugInWantsEdgeReplication;
    fr.outputPadding = plugInWantsEdgeReplication;
    fr.maskPadding = plugInWantsEdgeReplication;
}

// Records the area as the render area at rate r (first step of preparing).
void recordArea(ModuleCall& call, const PixelRect& area, int32_t rate) {
    if (call.settings) call.settings->previewZoom = rate;
    if (RunContext* ctx = call.context) {
        ctx->renderArea = area;
        ctx->areaWidth = static_cast<int32_t>(area.width());
        ctx->areaHeight = static_cast<int32_t>(area.height());
        ctx->lastColumn = static_cast<int32_t>(area.width() - 1);
        ctx->lastRow = static_cast<int32_t>(area.height() - 1);
    }
}

int32_t currentZoom(const ModuleCall& call) {
    int32_t z = call.settings ? call.settings->previewZoom : 1;
    return z < 1 ? 1 : z;
}

} // namespace

bool usesBigDocument(const FilterRecord& fr) {
    return fr.bigDocumentData != nullptr && fr.bigDocumentData->PluginUsing32BitCoordinates != 0;
}

PixelRect getFilterRect(const FilterRecord& fr) {
    return usesBigDocument(fr) ? fromVRect(fr.bigDocumentData->filterRect32)
                               : fromRect16(fr.filterRect);
}
PixelRect getInRect(const FilterRecord& fr) {
    return usesBigDocument(fr) ? fromVRect(fr.bigDocumentData->inRect32) : fromRect16(fr.inRect);
}
PixelRect getOutRect(const FilterRecord& fr) {
    return usesBigDocument(fr) ? fromVRect(fr.bigDocumentData->outRect32) : fromRect16(fr.outRect);
}
PixelRect getMaskRect(const FilterRecord& fr) {
    return usesBigDocument(fr) ? fromVRect(fr.bigDocumentData->maskRect32)
                               : fromRect16(fr.maskRect);
}
void setInRect(FilterRecord& fr, const PixelRect& r) {
    if (usesBigDocument(fr))
        fr.bigDocumentData->inRect32 = toVRect(r);
    else
        fr.inRect = toRect16(r);
}
void setOutRect(FilterRecord& fr, const PixelRect& r) {
    if (usesBigDocument(fr))
        fr.bigDocumentData->outRect32 = toVRect(r);
    else
        fr.outRect = toRect16(r);
}
void setMaskRect(FilterRecord& fr, const PixelRect& r) {
    if (usesBigDocument(fr))
        fr.bigDocumentData->maskRect32 = toVRect(r);
    else
        fr.maskRect = toRect16(r);
}
void setAllRectsEmpty(FilterRecord& fr) {
    const PixelRect empty{0, 0, 0, 0};
    setInRect(fr, empty);
    setOutRect(fr, empty);
    setMaskRect(fr, empty);
}

bool isGray(const FilterRecord& fr) {
    return fr.imageMode == plugInModeGrayScale || fr.imageMode == plugInModeGray16 ||
           fr.imageMode == plugInModeGray32;
}
bool isRGB(const FilterRecord& fr) {
    return fr.imageMode == plugInModeRGBColor || fr.imageMode == plugInModeRGB48 ||
           fr.imageMode == plugInModeRGB96;
}
bool is8Bit(const FilterRecord& fr) {
    return (fr.imageMode == plugInModeGrayScale || fr.imageMode == plugInModeRGBColor) &&
           fr.depth <= 8;
}
bool is16Bit(const FilterRecord& fr) {
    return (fr.imageMode == plugInModeGray16 || fr.imageMode == plugInModeRGB48) && fr.depth == 16;
}
bool isFloat(const FilterRecord& fr) {
    return fr.imageMode == plugInModeRGB96 || fr.imageMode == plugInModeGray32 || fr.depth == 32;
}

int16_t baseMode(int16_t mode) {
    switch (mode) {
    case plugInModeGray16:
    case plugInModeGray32:
        return plugInModeGrayScale;
    case plugInModeRGB48:
    case plugInModeRGB96:
        return plugInModeRGBColor;
    case plugInModeLab48:
        return plugInModeLabColor;
    case plugInModeCMYK64:
        return plugInModeCMYKColor;
    case plugInModeDeepMultichannel:
        return plugInModeMultichannel;
    case plugInModeDuotone16:
        return plugInModeDuotone;
    default:
        return mode;
    }
}

DepthClass depthClass(const FilterRecord& fr) {
    if (isFloat(fr)) return DepthClass::Float;
    if (is16Bit(fr)) return DepthClass::Sixteen;
    return DepthClass::Eight;
}

bool hasEditableTransparency(const FilterRecord& fr) {
    return fr.filterCase == filterCaseEditableTransparencyNoSelection ||
           fr.filterCase == filterCaseEditableTransparencyWithSelection;
}
bool canAdvance(const FilterRecord& fr) {
    return fr.advanceState != nullptr;
}

int32_t transparencyPlane(const FilterRecord& fr) {
    // Hosts that leave the layer counts at zero have not set them; the
    // transparency then follows the colour planes, as the last plane.
    return fr.inLayerPlanes > 0 ? fr.inLayerPlanes : fr.planes - 1;
}
bool canDisplay(const FilterRecord& fr) {
    return fr.displayPixels != nullptr;
}

void prepareArea(ModuleCall& call, const PixelRect& area, int32_t rate) {
    FilterRecord& fr = *call.record;
    recordArea(call, area, rate);
    setInRect(fr, area);
    setOutRect(fr, area);
    const PixelRect filter = getFilterRect(fr);
    PixelRect mask{filter.top, filter.left, filter.top + 1, filter.left + 1};
    if (fr.haveMask) mask = area;
    setMaskRect(fr, mask);
    setAllPlanes(fr);
    setRateAndPadding(fr, rate);
    if (RunContext* ctx = call.context) {
        ctx->maskFirstRow = mask.top - area.top;
        ctx->maskLastRow = mask.bottom - 1 - area.top;
        ctx->inputFirstRow = 0;
        ctx->inputLastRow = static_cast<int32_t>(area.height() - 1);
    }
}

namespace {

// What a tile request asks the host to copy besides the input.
enum class TileParts { All, InputAndMask, InputOnly };

// Sets the host up for one tile (area coordinates) and calls advanceState.
// Whatever `parts` leaves out shrinks to one pixel before the call, so the
// host copies no buffers that are not read.
int16_t requestTile(ModuleCall& call, const PixelRect& tile, TileParts parts) {
    FilterRecord& fr = *call.record;
    const int32_t zoom = currentZoom(call);
    // Tiles are relative to the filter rectangle's corner. Editors disagree
    // on what floatCoord holds for a plain selection (its corner, or 0, 0),
    // but every requested rectangle must lie inside the filter rectangle.
    const PixelRect filter = getFilterRect(fr);
    const int32_t panX = call.settings ? call.settings->previewOffsetX : 0;
    const int32_t panY = call.settings ? call.settings->previewOffsetY : 0;
    const int32_t dx = filter.left / zoom + panX / zoom;
    const int32_t dy = filter.top / zoom + panY / zoom;
    const PixelRect shifted{tile.top + dy, tile.left + dx, tile.bottom + dy, tile.right + dx};

    setInRect(fr, shifted);
    if (parts == TileParts::All) {
        setOutRect(fr, shifted);
        if (fr.haveMask) setMaskRect(fr, shifted);
    } else {
        // The pixel at the input's corner, kept inside the filter rectangle
        // at the request's reduction (a picture larger than the document
        // asks for padded input beyond it, never for output there).
        const PixelRect scaled{filter.top / zoom, filter.left / zoom, filter.bottom / zoom,
                               filter.right / zoom};
        const int32_t top =
            std::clamp(shifted.top, scaled.top, std::max(scaled.top, scaled.bottom - 1));
        const int32_t left =
            std::clamp(shifted.left, scaled.left, std::max(scaled.left, scaled.right - 1));
        const PixelRect corner{top, left, top + 1, left + 1};
        setOutRect(fr, corner);
        if (fr.haveMask) setMaskRect(fr, parts == TileParts::InputAndMask ? shifted : corner);
    }
    setAllPlanes(fr);
    setRateAndPadding(fr, zoom);
    fr.inPreDummyPlanes = 0;
    fr.inPostDummyPlanes = 0;
    fr.outPreDummyPlanes = 0;
    fr.outPostDummyPlanes = 0;
    fr.autoMask = 0;

    int16_t err = fr.advanceState ? fr.advanceState() : int16_t(errPlugInHostInsufficient);
    call.result() = err;
    return err;
}

} // namespace

int16_t fetchTile(ModuleCall& call, const PixelRect& tile) {
    return requestTile(call, tile, TileParts::All);
}

int16_t fetchPreviewTile(ModuleCall& call, const PixelRect& tile) {
    return requestTile(call, tile, TileParts::InputAndMask);
}

int16_t fetchInputTile(ModuleCall& call, const PixelRect& tile) {
    return requestTile(call, tile, TileParts::InputOnly);
}

void computePreviewRect(ModuleCall& call, int32_t zoom) {
    const FilterRecord& fr = *call.record;
    int32_t z = zoom < 1 ? 1 : zoom;
    if (!fr.advanceState || !fr.displayPixels || fr.samplingSupport == hostDoesNotSupportSampling) {
        if (call.settings) call.settings->previewZoom = 1;
        z = 1;
    }
    const PixelRect filter = getFilterRect(fr);
    const PixelRect scaled{filter.top / z, filter.left / z, filter.bottom / z, filter.right / z};
    PixelRect pane{0, 0, 1, 1};
    if (call.context && !call.context->previewPane.empty()) pane = call.context->previewPane;
    PixelRect preview = scaled;
    preview.bottom = static_cast<int32_t>(preview.top + std::min(scaled.height(), pane.height()));
    preview.right = static_cast<int32_t>(preview.left + std::min(scaled.width(), pane.width()));
    if (!call.context) return;
    RunContext& ctx = *call.context;
    ctx.previewRect = preview;
    ctx.maskFirstRow = preview.top - filter.top;
    ctx.maskLastRow = preview.bottom - 1 - filter.top;
    ctx.inputFirstRow = ctx.maskFirstRow;
    ctx.inputLastRow = ctx.maskLastRow;
    if (call.result() == 0) {
        recordArea(call, preview, z);
        ctx.previewWidth = static_cast<int32_t>(std::max<int64_t>(0, preview.width()));
        ctx.previewHeight = static_cast<int32_t>(std::max<int64_t>(0, preview.height()));
        ctx.previewArea = ctx.previewWidth * ctx.previewHeight;
    }
}

bool preparePreviewSource(ModuleCall& call) {
    if (!call.context) return false;
    const FilterRecord& fr = *call.record;
    RunContext& ctx = *call.context;
    computePreviewRect(call, currentZoom(call));

    const int32_t planes = std::max<int32_t>(fr.planes, 0);
    const size_t bytes = size_t(planes) * size_t(ctx.previewWidth) * size_t(ctx.previewHeight);
    if (!allocatePlaneBuffer(ctx, planes, bytes)) return false;
    return call.result() == 0;
}

void copyPreviewSource(ModuleCall& call) {
    if (!call.context || !call.context->planeBuffer) return;
    FilterRecord& fr = *call.record;
    RunContext& ctx = *call.context;
    const int32_t planes = std::max<int32_t>(fr.planes, 0);
    const int32_t w = ctx.previewWidth;
    const int32_t h = ctx.previewHeight;
    // Only into a copy made for this rectangle.
    if (size_t(planes) * size_t(w) * size_t(h) != ctx.planeBytes) return;

    // Only the input is copied: the output and the selection are not read
    // here, and at the reduction's size and in every plane that would be a
    // copy of the preview area the host makes for nothing on each call.
    if (fetchInputTile(call, PixelRect{0, 0, h, w}) != 0) return;
    const DepthClass depth = depthClass(fr);
    const int32_t sb = bytesPerSample(depth);
    for (int32_t p = 0; p < planes; ++p) {
        fr.inLoPlane = int16_t(p);
        fr.inHiPlane = int16_t(p);
        int16_t err = fr.advanceState();
        call.result() = err;
        if (err != 0) {
            call.reason = kReasonPlaneRead;
            return;
        }
        // A host that hands back less than it was asked for gets nothing
        // read beyond what it delivered.
        if (!fr.inData || fr.inRowBytes < w * sb) {
            call.reason = kReasonPlaneRead;
            return;
        }
        uint8_t* dst = ctx.planeBuffer + size_t(p) * size_t(w) * size_t(h);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = static_cast<uint8_t*>(fr.inData) + size_t(y) * size_t(fr.inRowBytes);
            uint8_t* out = dst + size_t(y) * size_t(w);
            if (depth == DepthClass::Eight) {
                std::memcpy(out, row, size_t(w));
                continue;
            }
            for (int32_t x = 0; x < w; ++x) {
                switch (depth) {
                case DepthClass::Eight:
                    out[x] = row[x];
                    break;
                case DepthClass::Sixteen: {
                    uint16_t v;
                    std::memcpy(&v, row + 2 * x, 2);
                    out[x] = uint8_t(std::min<uint32_t>(uint32_t(v) * 2 / 257, 255));
                    break;
                }
                case DepthClass::Float: {
                    float v;
                    std::memcpy(&v, row + 4 * x, 4);
                    if (!(v > 0.0f)) v = 0.0f; // also catches NaN
                    if (v > 1.0f) v = 1.0f;
                    std::memcpy(row + 4 * x, &v, 4);
                    out[x] = uint8_t(v * 255.0f);
                    break;
                }
                }
            }
        }
    }
}

void readPreviewSource(ModuleCall& call) {
    if (preparePreviewSource(call)) copyPreviewSource(call);
}

CompositeTarget compositeTargetFromHost(const ModuleCall& call, int32_t target, int32_t glue) {
    const FilterRecord& fr = *call.record;
    CompositeTarget t;
    t.renderTarget = target;
    t.glue = glue;
    t.depth = depthClass(fr);
    t.gray = fr.planes < 3;
    t.editableTransparency = hasEditableTransparency(fr);
    const int32_t sb = bytesPerSample(t.depth);

    const PixelRect in = getInRect(fr);
    t.inPlaneCount = fr.inHiPlane - fr.inLoPlane + 1;
    t.alphaIndex = transparencyPlane(fr);
    // Without a transparency plane to read, the alpha index must still point
    // inside the pixel; a host that reports nonsense gets no alpha.
    if (t.editableTransparency && (t.alphaIndex < 0 || t.alphaIndex >= t.inPlaneCount))
        t.editableTransparency = false;
    if (fr.inData && t.inPlaneCount > 0 &&
        int64_t(fr.inRowBytes) >= int64_t(in.width()) * t.inPlaneCount * sb) {
        t.inData = fr.inData;
        t.inRowBytes = fr.inRowBytes;
    }
    // The mask buffer is only ours to read when the host has a selection;
    // otherwise it may be a single pixel.
    const PixelRect mask = getMaskRect(fr);
    bool maskUsable = true;
    if (fr.haveMask) {
        maskUsable = fr.maskData && fr.maskRowBytes >= mask.width();
        if (maskUsable) {
            t.maskData = static_cast<const uint8_t*>(fr.maskData);
            t.maskRowBytes = fr.maskRowBytes;
        }
    }
    const PixelRect out = getOutRect(fr);
    t.planes = fr.planes;
    t.outWidth = static_cast<int32_t>(out.width());
    t.outHeight = static_cast<int32_t>(out.height());
    // Without a readable selection nothing is written: painting outside the
    // user's selection would be worse than leaving the tile alone.
    if (maskUsable && fr.outData && t.planes > 0 &&
        int64_t(fr.outRowBytes) >= int64_t(out.width()) * t.planes * sb) {
        t.outData = fr.outData;
        t.outRowBytes = fr.outRowBytes;
    }
    if (const RunContext* ctx = call.context; ctx && ctx->planeBuffer) {
        t.previewData = ctx->planeBuffer;
        t.previewWidth = ctx->previewWidth;
        t.previewHeight = ctx->previewHeight;
        t.previewPlaneDistance = ctx->previewArea;
        t.previewPlanes = ctx->planeCount;
    }
    return t;
}

} // namespace qf
