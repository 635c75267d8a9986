#include "host/cli/presets_bridge.h"

#include <algorithm>
#include <vector>

#include "composite/pyramid_image.h"
#include "presets/presets_file.h"

namespace qf {}
using namespace qf;

namespace cli {

namespace {

// The settings fields as the flags name them, for both directions.
struct Field {
    std::optional<int32_t> Settings::*flag;
    int32_t SettingsRecord::*record;
    DescriptorKeyID key;
};
const Field kIntegerFields[] = {
    {&Settings::overlap, &SettingsRecord::overlap, kKeyOverlap},
    {&Settings::stripes, &SettingsRecord::stripes, kKeyStripes},
    {&Settings::warping, &SettingsRecord::warping, kKeyWarping},
    {&Settings::softness, &SettingsRecord::softness, kKeySoftness},
    {&Settings::doublure, &SettingsRecord::doublure, kKeyDoublure},
    {&Settings::color, &SettingsRecord::color, kKeyColor},
    {&Settings::zoom, &SettingsRecord::zoom, kKeyZoom},
    {&Settings::complexity, &SettingsRecord::complexity, kKeyComplexity},
    {&Settings::hue, &SettingsRecord::hue, kKeyHue},
    {&Settings::merge, &SettingsRecord::merge, kKeyMerge},
    {&Settings::seed, &SettingsRecord::randomSeed, kKeyRandomSeed},
    {&Settings::glue, &SettingsRecord::glue, 0},
    {&Settings::shape, &SettingsRecord::shape, 0},
    {&Settings::stripeKind, &SettingsRecord::stripeKind, 0},
};

// The file's name without folder and extension.
std::string stem(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

} // namespace

bool settingsFromPresetsFile(const std::string& path, Settings& settings, std::string& error) {
    SettingsRecord record{};
    resetSettings(record);
    record.randomSeed = 0;
    bool pictureRead = false;
    const int status = readSettingsFile(path.c_str(), kPresetsLoad, &record, nullptr, &pictureRead);
    if (status == kFileCannotOpen) {
        error = "cannot open the presets file '" + path + "'";
        return false;
    }
    if (status != kFileOk) {
        error = "the presets file '" + path + "' is damaged or cut short";
        return false;
    }
    for (const Field& f : kIntegerFields)
        if (!(settings.*(f.flag))) settings.*(f.flag) = record.*(f.record);
    return true;
}

bool savePresetsFile(const std::string& path, const host::Descriptor& used,
                     const host::Document& result, std::string& error) {
    SettingsRecord record{};
    resetSettings(record);
    record.randomSeed = 0;
    for (const Field& f : kIntegerFields)
        if (f.key)
            if (auto v = used.integer(f.key)) record.*(f.record) = *v;
    if (auto v = used.enumerated(kKeyGlue)) record.glue = enumNumber(*v, "GL");
    if (auto v = used.enumerated(kKeyShape)) record.shape = enumNumber(*v, "Hs");
    if (auto v = used.enumerated(kKeyStripeKind)) record.stripeKind = enumNumber(*v, "Ht");
    copyName(record.settingsName, stem(path).c_str());

    // The thumbnail comes from the result as the dialog's preview would show
    // it: eight bits, one plane per colour.
    const int32_t w = result.width(), h = result.height();
    const int colours = std::min(result.colorChannels(), 3);
    std::vector<uint8_t> planes(size_t(w) * size_t(h) * size_t(colours));
    const double full = result.maxSample();
    for (int c = 0; c < colours; ++c)
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const double v = std::clamp(result.sample(x, y, c) / full, 0.0, 1.0);
                planes[(size_t(c) * size_t(h) + size_t(y)) * size_t(w) + size_t(x)] =
                    uint8_t(v * 255.0);
            }
    PyramidImage thumbnail;
    const PreviewPlanes preview{planes.data(), w, h, colours};
    const bool haveThumbnail = makeThumbnailFromPreview(preview, thumbnail);
    if (writeSettingsFile(path.c_str(), record, haveThumbnail ? &thumbnail : nullptr) != kFileOk) {
        error = "cannot write the presets file '" + path + "'";
        return false;
    }
    return true;
}

} // namespace cli
