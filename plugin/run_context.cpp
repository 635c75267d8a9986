#include "plugin/run_context.h"

namespace qf {

void resetRunContext(RunContext& ctx) {
    ctx.previewRect = PixelRect{0, 0, 0, 0};
    ctx.previewScale = 1.0f;
    ctx.showDialog = 1;
    ctx.planeBuffer = nullptr;
    ctx.planeCount = 0;
    ctx.planeBytes = 0;
    ctx.previewWidth = 0;
    ctx.previewHeight = 0;
    ctx.previewArea = 0;
}

} // namespace qf
