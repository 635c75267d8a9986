#include "host/cli/image_io.h"

#include <cstring>
#include <new>

namespace qf::cli {

bool turnUpright(Image& img, int orientation, std::string& error) {
    if (orientation < 2 || orientation > 8) return true;
    const size_t px = size_t(img.channels) * img.bytesPerSample();
    const int32_t w = img.width, h = img.height;
    const bool swaps = orientation >= 5;
    const bool mirrorsRows =
        orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;
    const bool mirrorsColumns =
        orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    const int32_t outW = swaps ? h : w, outH = swaps ? w : h;
    std::vector<uint8_t> turned;
    try {
        turned.resize(img.data.size());
    } catch (const std::bad_alloc&) {
        error = "out of memory turning the picture upright";
        return false;
    }
    for (int32_t y = 0; y < outH; ++y) {
        uint8_t* dst = turned.data() + size_t(y) * size_t(outW) * px;
        for (int32_t x = 0; x < outW; ++x, dst += px) {
            // Along the stored rows (u) and columns (v), each maybe mirrored.
            const int32_t u = swaps ? y : x, v = swaps ? x : y;
            const int32_t sx = mirrorsRows ? w - 1 - u : u, sy = mirrorsColumns ? h - 1 - v : v;
            std::memcpy(dst, img.data.data() + (size_t(sy) * size_t(w) + size_t(sx)) * px, px);
        }
    }
    img.data.swap(turned);
    img.width = outW;
    img.height = outH;
    return true;
}

} // namespace qf::cli
