// Writes the seed corpus of the presets reader fuzz target: files our own
// writer makes (with and without picture, grey and colour thumbnails), and
// the older layouts cut from them (versions 180 and 195, a legacy picture).
// With a second argument, the seeds of another target:
//   jpeg        the pictures of the presets seeds in FOLDER/../presets, in
//               jpeg_picture_fuzz's form
//   descriptor  settings descriptors, both of descriptor_fuzz's forms
//   property    a small property list and terminology resource
#include "composite/picture/pyramid_image.h"
#include "host/descriptor.h"
#include "platform/file.h"
#include "presets/presets_file.h"
#include "values/scripting_terms.h"
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
    s.glue = 1 + variant * 7 % kGlueModeCount;
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

uint32_t bigEndian(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

void putLittle(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

void putChars(std::vector<uint8_t>& out, const char* text) {
    out.insert(out.end(), text, text + std::strlen(text));
}

// The pictures of the presets seeds: width and height bytes, then the
// stream.
int writeJpegSeeds(const std::string& presets, const std::string& folder) {
    int written = 0;
    for (int variant = 1; variant < 4; ++variant) {
        const std::vector<uint8_t> file =
            readFile(presets + "seed" + std::to_string(variant) + ".sa9");
        if (file.size() < 116 || bigEndian(file, 100) != 1) continue;
        const size_t length = bigEndian(file, 112);
        if (116 + length > file.size()) continue;
        std::vector<uint8_t> seed = {uint8_t(bigEndian(file, 104)), uint8_t(bigEndian(file, 108))};
        seed.insert(seed.end(), file.begin() + 116, file.begin() + 116 + std::ptrdiff_t(length));
        written += writeFile(folder + "picture" + std::to_string(variant), seed);
    }
    return written;
}

int writeDescriptorSeeds(const std::string& folder) {
    int written = 0;
    for (int variant = 0; variant < 4; ++variant) {
        host::Descriptor d;
        d.putEnumerated(kKeyGlue, fourChars("GLty"), fourChars(variant ? "GL12" : "GL01"))
            .putInteger(kKeyOverlap, 20 * variant)
            .putInteger(kKeyZoom, 100 - 10 * variant)
            .putInteger(kKeyMerge, 1 + variant)
            .putEnumerated(kKeyShape, fourChars("Hsty"), fourChars("Hs03"))
            .putInteger(kKeyRandomSeed, variant * 977);
        std::vector<uint8_t> seed = {0};
        const std::vector<uint8_t> bytes = d.serialize();
        seed.insert(seed.end(), bytes.begin(), bytes.end());
        written += writeFile(folder + "serialized" + std::to_string(variant), seed);
        // The built form: key index, type, value, extra.
        std::vector<uint8_t> items = {1};
        for (int key = 0; key < 14; ++key) {
            items.push_back(uint8_t(key));
            items.push_back(uint8_t(key == 0 || key >= 11 ? 4 : 0));
            putLittle(items, uint32_t(key * 7 + variant), 4);
            putLittle(items, 0, 4);
        }
        written += writeFile(folder + "built" + std::to_string(variant), items);
    }
    return written;
}

// A property list of three properties (kind, name, version) and a
// terminology resource of one suite without events.
int writePropertySeeds(const std::string& folder) {
    std::vector<uint8_t> list = {0};
    putLittle(list, 1, 2);
    putLittle(list, 0, 4);
    putLittle(list, 3, 4);
    auto property = [&](const char* key, const std::vector<uint8_t>& data) {
        putChars(list, "MIBA");
        putChars(list, key);
        putLittle(list, 0, 4);
        putLittle(list, uint32_t(data.size()), 4);
        list.insert(list.end(), data.begin(), data.end());
        while ((list.size() - 1) % 4 != 2) list.push_back(0);
    };
    property("dnik", {'M', 'F', 'B', '8'});
    property("eman", {9, 'Q', 'u', 'i', 'l', 'l', 'f', 'i', 'r', 'e', 0, 0});
    property("srev", {0, 0, 4, 0});
    std::vector<uint8_t> terminology = {1};
    putLittle(terminology, 1, 2); // the Windows prefix
    terminology.push_back(1);     // format version
    terminology.push_back(0);
    putLittle(terminology, 0, 2); // language
    putLittle(terminology, 0, 2); // script
    putLittle(terminology, 1, 2); // suites
    terminology.push_back(4);
    putChars(terminology, "Test");
    terminology.push_back(0);
    putChars(terminology, "xomZ");
    putLittle(terminology, 1, 2);
    putLittle(terminology, 1, 2);
    for (int i = 0; i < 4; ++i) putLittle(terminology, 0, 2);
    return writeFile(folder + "property_list", list) +
           writeFile(folder + "terminology", terminology);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: presets_seed_writer FOLDER [jpeg|descriptor|property]\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    if (argc == 3) {
        const std::string kind = argv[2];
        int written = 0;
        if (kind == "descriptor") {
            written = writeDescriptorSeeds(folder);
        } else if (kind == "property") {
            written = writePropertySeeds(folder);
        } else if (kind == "jpeg") {
            // From the presets seeds in the folder beside this one.
            written = writeJpegSeeds(folder + "../presets/", folder);
        } else {
            std::fprintf(stderr, "presets_seed_writer: unknown kind '%s'\n", kind.c_str());
            return 2;
        }
        std::printf("presets_seed_writer: %d %s seeds\n", written, kind.c_str());
        return written > 0 ? 0 : 1;
    }
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
