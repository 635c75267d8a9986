// Writes the seed corpus of the presets reader fuzz target: files our own
// writer makes (with and without picture, grey and colour thumbnails), and
// the older layouts cut from them (versions 180 and 195, a legacy picture).
#include "composite/pyramid_image.h"
#include "platform/file.h"
#include "presets/presets_file.h"
#include "values/settings_record.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

SettingsRecord seedSettings(int variant) {
    SettingsRecord s;
    std::memset(&s, 0, sizeof s);
    s.glue = 1 + variant * 7 % 69;
    s.overlap = 73;
    s.stripes = 27;
    s.warping = 41;
    s.softness = 23;
    s.doublure = 40;
    s.color = 98;
    s.zoom = 86;
    s.complexity = variant * 13 % 101;
    s.hue = 47;
    s.merge = 1 + variant % 4;
    s.shape = 1 + variant % 7;
    s.stripeKind = 1 + variant % 4;
    s.randomSeed = variant * 2654435761u % 2048;
    s.legacyPercent[0] = s.legacyPercent[1] = 0.7071f;
    const int16_t c1[3] = {245, 240, 222}, c2[3] = {139, 99, 39};
    std::memcpy(s.gradientColor1, c1, sizeof c1);
    std::memcpy(s.gradientColor2, c2, sizeof c2);
    return s;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    File file;
    if (file.openForWriting(path.c_str()) != kFileOk) return false;
    const bool ok =
        file.write(bytes.data(), bytes.size()) == kFileOk && file.setEndOfFile() == kFileOk;
    return file.close() == kFileOk && ok;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    File file;
    if (file.openForReading(path.c_str()) != kFileOk) return bytes;
    const int64_t size = file.size();
    if (size > 0) {
        bytes.resize(static_cast<size_t>(size));
        if (file.read(bytes.data(), bytes.size()) != kFileOk) bytes.clear();
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: presets_seed_writer FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    int written = 0;
    for (int variant = 0; variant < 4; ++variant) {
        SettingsRecord s = seedSettings(variant);
        // variant 0: no picture; 1: colour; 2: grey; 3: a small 40 x 40 one.
        PyramidImage thumbnail;
        const int side = variant == 3 ? 40 : 128;
        if (variant > 0 && thumbnail.create(side, side, kPyramidRGBA8)) {
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const float v = float((x * 3 + y * 5) % side) / side;
                    const FloatRGBA c = variant == 2 ? FloatRGBA{v, v, v, 1}
                                                     : FloatRGBA{v, float(y) / side, 0.3f, 1};
                    thumbnail.storePixel(x, y, 0, c);
                }
            }
        }
        const std::string path = folder + "seed" + std::to_string(variant) + ".sa9";
        if (writeSettingsFile(path.c_str(), s, variant > 0 ? &thumbnail : nullptr) != kFileOk)
            return 1;
        ++written;
    }
    // Older layouts, cut from the first file.
    const std::vector<uint8_t> full = readFile(folder + "seed1.sa9");
    if (full.size() < 104) return 1;
    std::vector<uint8_t> v195(full.begin(), full.begin() + 100);
    v195[3] = 195;
    written += writeFile(folder + "seed_v195.sa9", v195);
    std::vector<uint8_t> v180(full.begin(), full.begin() + 60);
    v180.insert(v180.end(), full.begin() + 84, full.begin() + 100);
    v180[3] = 180;
    written += writeFile(folder + "seed_v180.sa9", v180);
    std::vector<uint8_t> legacy(v195.begin(), v195.begin() + 92);
    const uint8_t flag[12] = {0, 0, 0, 1, 0, 0, 0, 64, 0, 0, 0, 0};
    legacy.insert(legacy.end(), flag, flag + sizeof flag);
    legacy.insert(legacy.end(), 12288, 0x40);
    legacy.insert(legacy.end(), v195.begin() + 96, v195.begin() + 100);
    written += writeFile(folder + "seed_legacy.sa9", legacy);
    std::printf("%d seed files in %s\n", written, folder.c_str());
    return 0;
}
