// libFuzzer target: the JPEG decoding of presets pictures (the Open
// dialog's preview, memory dots, the presets page) on arbitrary streams.
// Input: one byte each for the picture's width and height (0..129), then the
// stream.
#include "composite/picture/pyramid_image.h"
#include "export/jpeg_codec.h"
#include "presets/presets_file.h"

#include <cstddef>
#include <cstdint>

namespace qf {}
using namespace qf;

namespace {

// The frame as the header announced it, filled in before the first row.
bool checkRow(void* context, int y, const uint8_t* samples, int width, int components) {
    const JpegPictureInfo& info = *static_cast<const JpegPictureInfo*>(context);
    if (y < 0 || y >= info.height || width != info.width || components != info.components ||
        !samples)
        __builtin_trap();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t w = data[0] % 130, h = data[1] % 130;
    PyramidImage picture;
    if (decodePresetsPicture(data + 2, size - 2, w, h, picture) &&
        (picture.width() != w || picture.height() != h))
        __builtin_trap(); // not the size it was asked for
    JpegPictureInfo info{};
    decompressJpeg(data + 2, size - 2, JpegDecodeLimits{}, checkRow, &info, &info);
    return 0;
}
