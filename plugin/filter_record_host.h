// The host's filter record seen as the source and destination of a render
// (final and preview targets), and as the keeper of the state a render
// disturbs. Works through the call's record, settings and run context, which
// must be there and locked.
#pragma once

#include "plugin/host_access.h"
#include "plugin/module_call.h"
#include "render/render_host.h"

namespace qf {

class FilterRecordHost : public RenderHost {
  public:
    explicit FilterRecordHost(ModuleCall& call) : call_(call), fr_(*call.record) {}

    void prepareArea(const PixelRect& area, int32_t rate) override {
        qf::prepareArea(call_, area, rate);
    }
    int16_t fetchTile(const PixelRect& tile) override {
        // The preview is composited into the plane copy: the host's output
        // buffer is never written, so the host is not asked to copy it.
        if (call_.settings->renderTarget == kTargetPreview) return fetchPreviewTile(call_, tile);
        return qf::fetchTile(call_, tile);
    }
    CompositeTarget compositeTarget() override {
        return compositeTargetFromHost(call_, call_.settings->renderTarget, call_.settings->glue);
    }
    bool testAbort() override { return fr_.abortProc && fr_.abortProc(); }
    void progress(int32_t done, int32_t total) override {
        if (fr_.progressProc) fr_.progressProc(done, total);
    }
    int16_t& result() override { return call_.result(); }
    // The dialog's preview copies its source while the first tiles run
    // (copySourceMeanwhile); a failed copy ends the render at the next
    // tile with the copy's code.
    void whileFirstTilesRun() override {
        if (!sourcePending_ || call_.result() != 0) return;
        sourcePending_ = false;
        copyPreviewSource(call_);
    }
    void copySourceMeanwhile() { sourcePending_ = true; }
    bool sourcePending() const { return sourcePending_; }

    void saveState() override {
        const SettingsRecord& s = *call_.settings;
        saved_.in = getInRect(fr_);
        saved_.out = getOutRect(fr_);
        saved_.mask = getMaskRect(fr_);
        saved_.zoom = s.previewZoom;
        saved_.panX = s.previewOffsetX;
        saved_.panY = s.previewOffsetY;
        saved_.target = s.renderTarget;
        saved_.area = call_.context->renderArea;
        saved_.row = call_.context->currentRow;
    }
    void restoreState() override {
        SettingsRecord& s = *call_.settings;
        setInRect(fr_, saved_.in);
        setOutRect(fr_, saved_.out);
        setMaskRect(fr_, saved_.mask);
        s.previewZoom = saved_.zoom;
        s.previewOffsetX = saved_.panX;
        s.previewOffsetY = saved_.panY;
        s.renderTarget = saved_.target;
        call_.context->renderArea = saved_.area;
        call_.context->currentRow = saved_.row;
        // The dialog's preview goes on from where it was.
        if (saved_.target == kTargetPreview) computePreviewRect(call_, saved_.zoom);
    }

  private:
    struct Saved {
        PixelRect in, out, mask, area;
        int32_t zoom = 1, panX = 0, panY = 0, target = 0, row = 0;
    };
    ModuleCall& call_;
    FilterRecord& fr_;
    Saved saved_;
    bool sourcePending_ = false;
};

} // namespace qf
