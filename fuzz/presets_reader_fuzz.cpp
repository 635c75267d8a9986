// libFuzzer target: the presets reader on arbitrary bytes, in both modes,
// with a place for the picture so that the JPEG decoder runs too.
#include "composite/picture/pyramid_image.h"
#include "presets/presets_file.h"
#include "values/settings_record.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qf {}
using namespace qf;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SettingsRecord settings;
    std::memset(&settings, 0, sizeof settings);
    PyramidImage thumbnail;
    bool pictureRead = false;
    readSettingsMemory(data, size, kPresetsLoad, &settings, &thumbnail, &pictureRead);
    if (pictureRead && (thumbnail.width() < 1 || thumbnail.width() > kPresetsPictureSide ||
                        thumbnail.height() < 1 || thumbnail.height() > kPresetsPictureSide)) {
        __builtin_trap(); // a picture the reader promised never to make
    }
    PyramidImage preview;
    readSettingsMemory(data, size, kPresetsThumbnailOnly, nullptr, &preview, &pictureRead);
    return 0;
}
