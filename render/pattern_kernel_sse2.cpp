// The tile loop with four lanes (SSE2, any x86 processor).
#include "render/pattern_kernel.h"

namespace qf {

void renderTileRowsSse2(const TileKernelArgs& args) {
    kernel::renderTileRows(args);
}

} // namespace qf
