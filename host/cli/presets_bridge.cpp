#include "host/cli/presets_bridge.h"

#include <algorithm>
#include <vector>

#include "composite/picture/pyramid_image.h"
#include "host/cli/file_util.h"
#include "platform/safe_write.h"
#include "presets/presets_file.h"

namespace qf::cli {

namespace {

// The oldest version the reader knows (it has no gradient colours).
constexpr int32_t kOldestPresetsVersion = 180;

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
    record.fileVersion = 0; // stays when not even the version is there
    bool pictureRead = false;
    const int status = readSettingsFile(path.c_str(), kPresetsLoad, &record, nullptr, &pictureRead);
    if (status == kFileCannotOpen) {
        error = "cannot open the presets file '" + path + "'";
        return false;
    }
    // There is no magic number: the version is all that tells a presets
    // file from any other file.
    if (record.fileVersion < kOldestPresetsVersion || record.fileVersion > kPresetsVersion) {
        error = "'" + path + "' is not a presets file (it begins with version " +
                std::to_string(record.fileVersion) + "; presets files have " +
                std::to_string(kOldestPresetsVersion) + " to " + std::to_string(kPresetsVersion) +
                ")";
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
    // Written under a name of its own and moved into place when complete,
    // so an existing file is never torn or left longer than the new one.
    SafeWrite out;
    if (!openOutput(out, path, error)) return false;
    const char* temporary = out.handOver();
    if (writeSettingsFile(temporary, record, haveThumbnail ? &thumbnail : nullptr) != kFileOk) {
        out.fail();
        error = writeFailure(out, path);
        return false;
    }
    return commitOutput(out, path, error);
}

SettingsRecord recordFromSettings(const Settings& settings) {
    SettingsRecord record{};
    resetSettings(record);
    record.randomSeed = 0;
    for (const Field& f : kIntegerFields)
        if (settings.*(f.flag)) record.*(f.record) = *(settings.*(f.flag));
    return record;
}

void settingsFromRecord(const SettingsRecord& record, Settings& settings) {
    for (const Field& f : kIntegerFields) settings.*(f.flag) = record.*(f.record);
}

} // namespace qf::cli
