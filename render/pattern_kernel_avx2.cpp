// The tile loop with eight lanes. Only this source is compiled with -mavx2
// (render/CMakeLists.txt); it is called only when processorHasAvx2() holds.
#define QF_SIMD_AVX2 1

#include "render/pattern_kernel.h"

namespace qf {

void renderTileRowsAvx2(const TileKernelArgs& args) {
    kernel::renderTileRows(args);
}

} // namespace qf
