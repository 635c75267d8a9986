// The host's filter record seen as the source and destination of a render
// (final and preview targets), and as the keeper of the state a render
// disturbs.
#pragma once

#include "plugin/host_access.h"
#include "plugin/plugin_globals.h"
#include "render/render_host.h"

class FilterRecordHost : public RenderHost {
public:
    explicit FilterRecordHost(FilterRecord& fr) : fr_(fr) {}

    void prepareArea(const PixelRect& area, int32_t rate) override { ::prepareArea(fr_, area, rate); }
    int16_t fetchTile(const PixelRect& tile) override { return ::fetchTile(fr_, tile); }
    CompositeTarget compositeTarget() override {
        return compositeTargetFromHost(fr_, g.settings->renderTarget, g.settings->glue);
    }
    bool testAbort() override { return fr_.abortProc && fr_.abortProc(); }
    void progress(int32_t done, int32_t total) override {
        if (fr_.progressProc) fr_.progressProc(done, total);
    }
    int16_t& result() override { return hostResult(); }

    void saveState() override {
        saved_.in = getInRect(fr_);
        saved_.out = getOutRect(fr_);
        saved_.mask = getMaskRect(fr_);
        saved_.zoom = g.settings->previewZoom;
        saved_.panX = g.settings->previewOffsetX;
        saved_.panY = g.settings->previewOffsetY;
        saved_.target = g.settings->renderTarget;
        saved_.area = renderArea;
        saved_.row = g.context->currentRow;
    }
    void restoreState() override {
        setInRect(fr_, saved_.in);
        setOutRect(fr_, saved_.out);
        setMaskRect(fr_, saved_.mask);
        g.settings->previewZoom = saved_.zoom;
        g.settings->previewOffsetX = saved_.panX;
        g.settings->previewOffsetY = saved_.panY;
        g.settings->renderTarget = saved_.target;
        renderArea = saved_.area;
        g.context->currentRow = saved_.row;
        // The dialog's preview goes on from where it was.
        if (saved_.target == kTargetPreview) computePreviewRect(fr_, saved_.zoom);
    }

private:
    struct Saved {
        PixelRect in, out, mask, area;
        int32_t zoom = 1, panX = 0, panY = 0, target = 0, row = 0;
    };
    FilterRecord& fr_;
    Saved saved_;
};
