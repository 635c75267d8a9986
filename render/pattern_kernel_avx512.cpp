// The tile loop with sixteen lanes. Only this source is compiled with
// -mavx512f (render/CMakeLists.txt); it is called only when
// processorHasAvx512() holds.
#define QF_SIMD_AVX512 1

#include "render/pattern_kernel.h"

namespace qf {

void renderTileRowsAvx512(const TileKernelArgs& args) {
    kernel::renderTileRows(args);
}

} // namespace qf
