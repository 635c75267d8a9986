// The bundled sample picture: a deterministic 512 x 384 8-bit RGB landscape
// (sky gradient, sun, hills, lake, a house and a tree, a colour chart and a
// gray ramp), the same bytes on every build.
#pragma once

#include "host/cli/image_io.h"

namespace qf::cli {

constexpr int32_t kSampleWidth = 512;
constexpr int32_t kSampleHeight = 384;

Image makeSamplePicture();

} // namespace qf::cli
