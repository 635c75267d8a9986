// Golden pictures: fixed documents filtered through the entry point with
// fixed settings. The hashes are the same on every build (Linux, 32-bit and
// 64-bit Windows); a change means the picture changed.
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "plugin_test_support.h"

namespace qf {}
using namespace qf;

using host::ColorModel;
using host::Document;
using host::Transparency;

namespace {

struct GoldenCase {
    const char* name;
    ColorModel model;
    int depth;
    Transparency transparency;
    bool mask;
    int glue;
    int seed;
    int complexity;
    uint64_t hash;
};

// A smooth source picture with some structure, in host units.
Document sourcePicture(const GoldenCase& c) {
    const int32_t w = 170, h = 140;
    Document d = Document::make(w, h, c.model, c.depth, c.transparency);
    const double full = d.maxSample();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int ch = 0; ch < d.channels(); ++ch) {
                double v = double((x * (ch + 1) + y * (3 - ch)) % 256) / 255.0;
                if (c.transparency == Transparency::editable && ch == d.channels() - 1)
                    v = ((x / 17 + y / 13) % 3) / 2.0;                // transparent, half, opaque
                if (c.depth == 32 && ch == 0 && x % 29 == 0) v = 1.5; // beyond white
                d.setSample(x, y, ch, c.depth == 32 ? v : std::floor(v * full));
            }
    if (c.mask) {
        std::vector<uint8_t> m(size_t(w) * h);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) m[size_t(y) * w + x] = uint8_t((x * 3 + y * 2) % 256);
        d.setMask(m);
    }
    return d;
}

uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

const GoldenCase kCases[] = {
    {"rgb8_normal", ColorModel::rgb, 8, Transparency::none, false, 1, 1234, 0,
     0x33522ef0633368f6ull},
    {"rgb8_mask_multiply", ColorModel::rgb, 8, Transparency::none, true, 9, 77, 50,
     0x1cfefa0b4a6a82c6ull},
    {"rgb8_alpha_softlight", ColorModel::rgb, 8, Transparency::editable, false, 27, -5, 100,
     0xf89ed59d570253d3ull},
    {"gray8_color", ColorModel::gray, 8, Transparency::none, false, 15, 2047, 0,
     0x91c1f9db78db7608ull},
    {"rgb16_parietal", ColorModel::rgb, 16, Transparency::none, false, 54, 31, 30,
     0x659109cbc5eba43cull},
    {"gray16_mask_screen", ColorModel::gray, 16, Transparency::none, true, 10, 9, 0,
     0x27907f08b37956ecull},
    {"rgb16_alpha_hardlight", ColorModel::rgb, 16, Transparency::editable, true, 11, 500, 70,
     0x9f16031a470b043bull},
    {"rgb32_normal", ColorModel::rgb, 32, Transparency::none, false, 1, 1, 0,
     0x6bdcfb2e3932ba8cull},
    {"gray32_mask", ColorModel::gray, 32, Transparency::none, true, 4, 123456, 100,
     0x2dce2d2c1320db98ull},
    {"rgb32_alpha_starbright", ColorModel::rgb, 32, Transparency::editable, false, 63, 8, 0,
     0x3c054ed5f65e209eull},
};

} // namespace

TEST(GoldenRender, PicturesAreTheSameOnEveryBuild) {
    int mismatches = 0;
    for (const GoldenCase& c : kCases) {
        Document doc = sourcePicture(c);
        host::FilterHost h(qftest::entry);
        host::Descriptor d;
        d.putEnumerated(fourCC("GLUE"), fourCC("GLty"),
                        0x474C0000u | (uint32_t('0' + c.glue / 10) << 8) |
                            uint32_t('0' + c.glue % 10));
        d.putInteger(fourCC("0014"), c.seed).putInteger(fourCC("0009"), c.complexity);
        host::RunOptions run;
        run.descriptor = d;
        const host::RunRecord r = h.run(doc, run);
        ASSERT_TRUE(r.ok()) << c.name << ": " << host::describeResult(r.result);
        const uint64_t got = fnv1a(doc.bytes());
        if (got != c.hash) {
            ++mismatches;
            std::printf("    {\"%s\", ..., 0x%016llxull},\n", c.name, (unsigned long long)got);
        }
    }
    EXPECT_EQ(mismatches, 0);
}
