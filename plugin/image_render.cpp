#include "plugin/image_render.h"

#include "composite/document_copy.h"
#include "composite/picture/pyramid_image.h"
#include "plugin/filter_record_host.h"
#include "plugin/final_pass.h"
#include "render/render_driver.h"

namespace qf {

namespace {

// The document as the copy reads it, through the filter record.
class FilterRecordDocument final : public DocumentSource {
  public:
    explicit FilterRecordDocument(ModuleCall& call)
        : call_(call), fr_(*call.record), state_(call) {}

    DocumentFormat format() const override {
        DocumentFormat f;
        f.depth = depthClass(fr_);
        f.planes = fr_.planes;
        f.editableTransparency = hasEditableTransparency(fr_);
        f.alphaIndex = transparencyPlane(fr_);
        if (f.editableTransparency && (f.alphaIndex < 0 || f.alphaIndex >= f.planes))
            f.editableTransparency = false;
        return f;
    }
    void beginCopy() override {
        state_.saveState();
        call_.settings->previewOffsetX = 0;
        call_.settings->previewOffsetY = 0;
        call_.settings->previewZoom = 1;
        prepareArea(call_, getFilterRect(fr_), 1);
    }
    int16_t fetchRows(const PixelRect& rect, DocumentRows& rows) override {
        const int16_t err = fetchInputTile(call_, rect);
        if (err != 0) return err;
        const PixelRect in = getInRect(fr_);
        const int32_t samples = fr_.inHiPlane - fr_.inLoPlane + 1;
        const int32_t bytes = bytesPerSample(depthClass(fr_));
        if (!fr_.inData || samples < 1 ||
            int64_t(fr_.inRowBytes) < int64_t(in.width()) * samples * bytes) {
            call_.result() = paramErr;
            return paramErr;
        }
        rows.data = static_cast<const uint8_t*>(fr_.inData);
        rows.rowBytes = fr_.inRowBytes;
        rows.samplesPerPixel = samples;
        return 0;
    }
    void copyStopped(int32_t reason) override {
        call_.reason = int16_t(reason);
        call_.context->currentRow = 0;
    }
    void endCopy() override { state_.restoreState(); }

  private:
    ModuleCall& call_;
    FilterRecord& fr_;
    FilterRecordHost state_;
};

// A picture as the destination of a render: nothing is asked of the host.
class PictureRenderHost final : public FilterRecordHost {
  public:
    PictureRenderHost(ModuleCall& call, PyramidImage& picture, bool flatten)
        : FilterRecordHost(call), picture_(picture), flatten_(flatten) {}

    void prepareArea(const PixelRect&, int32_t) override {}
    int16_t fetchTile(const PixelRect&) override { return 0; }
    CompositeTarget compositeTarget() override {
        CompositeTarget t = FilterRecordHost::compositeTarget();
        // The source is the copy in the picture, not the host's buffers.
        t.renderTarget = kTargetImage;
        t.inData = nullptr;
        t.maskData = nullptr;
        t.outData = nullptr;
        t.previewData = nullptr;
        t.image = &image_;
        t.flattenImage = flatten_;
        return t;
    }
    // Progress and the user's cancel go to the host as in a final render.

  private:
    PyramidImage& picture_;
    bool flatten_;
    PyramidCompositeImage image_{picture_};
};

} // namespace

int32_t documentPictureKind(const ModuleCall& call) {
    if (!call.record) return kPyramidRGBA8;
    switch (depthClass(*call.record)) {
    case DepthClass::Sixteen:
        return kPyramidRGBA16;
    case DepthClass::Float:
        return kPyramidRGBAFloat;
    default:
        return kPyramidRGBA8;
    }
}

int16_t renderIntoImage(ModuleCall& call, PyramidImage& picture, bool flatten) {
    if (!call.record || !call.settings || !call.context) return filterBadParameters;
    if (!allocateRenderBuffers(*call.context)) return memFullErr;
    SettingsRecord& s = *call.settings;

    PictureRenderHost host(call, picture, flatten);
    host.saveState();
    const SettingsSnapshot parameters = saveRenderSettings(s);

    FilterRecordDocument document(call);
    copyDocumentIntoImage(picture, document);
    if (call.result() == 0) {
        s.passCount = 1;
        s.passIndex = 1;
        s.previewOffsetX = 0;
        s.previewOffsetY = 0;
        s.previewZoom = 1;
        s.renderTarget = kTargetImage;
        // The whole picture, which may be larger or smaller than the
        // document: the pattern is anchored at its top-left corner as it is
        // at the filter rectangle's in a final render.
        const PixelRect area{0, 0, picture.height(), picture.width()};
        renderTail(area, s, *call.context->renderState, host);
    }
    host.restoreState();
    restoreRenderSettings(s, parameters);
    return call.result();
}

} // namespace qf
