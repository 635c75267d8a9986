// quillfire:quillfire inside one process: regions against the whole, the
// work shared among GEGL's threads and chunks, mipmap levels, and the
// properties as GIMP and the gegl command see them.
#include <gegl-plugin.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gegl/region_render.h"
#include "host/cli/document_image.h"
#include "values/name_tables.h"
#include "values/settings_record.h"

namespace qf {
namespace {

// What the operation's process was asked for, recorded by a wrapper around
// it: the threads, the regions and the levels.
struct ProcessLog {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::vector<GeglRectangle> regions;
    std::set<int> levels;
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        threads.clear();
        regions.clear();
        levels.clear();
    }
};
ProcessLog processLog;
decltype(GeglOperationFilterClass::process) originalProcess = nullptr;

gboolean recordingProcess(GeglOperation* op, GeglBuffer* in, GeglBuffer* out,
                          const GeglRectangle* roi, gint level) {
    {
        std::lock_guard<std::mutex> lock(processLog.mutex);
        processLog.threads.insert(std::this_thread::get_id());
        processLog.regions.push_back(*roi);
        processLog.levels.insert(level);
    }
    return originalProcess(op, in, out, roi, level);
}

class GeglOperationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        gegl_init(nullptr, nullptr);
        const char* dir = std::getenv("QF_GEGL_MODULE_DIR");
        ASSERT_NE(dir, nullptr) << "QF_GEGL_MODULE_DIR names the folder of quillfire-gegl.so";
        gegl_load_module_directory(dir);
        ASSERT_TRUE(gegl_has_operation("quillfire:quillfire"));
        // Instantiating the operation once makes its class.
        GeglNode* probe = gegl_node_new();
        GeglNode* node = gegl_node_new_child(probe, "operation", "quillfire:quillfire", nullptr);
        ASSERT_NE(node, nullptr);
        auto* klass = static_cast<GeglOperationFilterClass*>(
            g_type_class_ref(g_type_from_name("QuillfireGeglOperation")));
        ASSERT_NE(klass, nullptr);
        originalProcess = klass->process;
        klass->process = recordingProcess;
        g_object_unref(probe);
    }

    void SetUp() override {
        g_object_set(gegl_config(), "threads", 1, "mipmap-rendering", FALSE, nullptr);
        processLog.clear();
    }

    // An input of noise (alpha too) or one flat colour over `rect`.
    static GeglBuffer* makeInput(const GeglRectangle& rect, const char* format, bool flat) {
        GeglBuffer* buffer = gegl_buffer_new(&rect, babl_format(format));
        const int bpp = babl_format_get_bytes_per_pixel(babl_format(format));
        std::vector<uint8_t> bytes(size_t(rect.width) * size_t(rect.height) * size_t(bpp));
        uint32_t state = 12345;
        for (uint8_t& b : bytes) {
            state = state * 1664525u + 1013904223u;
            b = flat ? 0xff : uint8_t(state >> 24);
        }
        if (std::strstr(format, "float")) {
            // Noise bytes are no floats: values from 0 to 2, over-bright too.
            auto* f = reinterpret_cast<float*>(bytes.data());
            for (size_t i = 0; i < bytes.size() / 4; ++i)
                f[i] = flat ? 1.0f : float(bytes[4 * i]) / 127.0f;
        }
        gegl_buffer_set(buffer, &rect, 0, babl_format(format), bytes.data(), GEGL_AUTO_ROWSTRIDE);
        return buffer;
    }

    // The operation with the settings every test renders: glue multiply
    // (9), a second and third layer, dense stripes.
    static GeglNode* addOperation(GeglNode* graph) {
        GeglNode* op = gegl_node_new_child(graph, "operation", "quillfire:quillfire", "seed", 11,
                                           "complexity", 70, "stripes", 60, nullptr);
        gegl_node_set(op, "glue", 9, nullptr);
        return op;
    }

    // The operation over `input`, blitted for `roi` at `scale`, in a graph
    // of its own so that no cache of an earlier render answers.
    static std::vector<uint8_t> render(GeglBuffer* input, const GeglRectangle& roi,
                                       const char* format, double scale = 1.0) {
        GeglNode* graph = gegl_node_new();
        GeglNode* source =
            gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", input, nullptr);
        GeglNode* op = addOperation(graph);
        gegl_node_link(source, op);
        const int bpp = babl_format_get_bytes_per_pixel(babl_format(format));
        std::vector<uint8_t> out(size_t(roi.width) * size_t(roi.height) * size_t(bpp));
        gegl_node_blit(op, scale, &roi, babl_format(format), out.data(), GEGL_AUTO_ROWSTRIDE,
                       GEGL_BLIT_DEFAULT);
        g_object_unref(graph);
        return out;
    }

    // The same through a processor, as the gegl command saves a picture:
    // chunk by chunk of GEGL's chunk size into a buffer.
    static std::vector<uint8_t> renderInChunks(GeglBuffer* input, const GeglRectangle& box,
                                               const char* format) {
        GeglBuffer* result = gegl_buffer_new(&box, babl_format(format));
        GeglNode* graph = gegl_node_new();
        GeglNode* source =
            gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", input, nullptr);
        GeglNode* op = addOperation(graph);
        GeglNode* sink =
            gegl_node_new_child(graph, "operation", "gegl:write-buffer", "buffer", result, nullptr);
        gegl_node_link_many(source, op, sink, nullptr);
        GeglProcessor* processor = gegl_node_new_processor(sink, &box);
        while (gegl_processor_work(processor, nullptr)) {
        }
        g_object_unref(processor);
        g_object_unref(graph);
        const int bpp = babl_format_get_bytes_per_pixel(babl_format(format));
        std::vector<uint8_t> out(size_t(box.width) * size_t(box.height) * size_t(bpp));
        gegl_buffer_get(result, &box, 1.0, babl_format(format), out.data(), GEGL_AUTO_ROWSTRIDE,
                        GEGL_ABYSS_NONE);
        g_object_unref(result);
        return out;
    }

    // Every pixel of `part` (rectangle `roi`) against the same pixel of
    // `whole` (rectangle `box`).
    static void expectPartOfWhole(const std::vector<uint8_t>& whole, const GeglRectangle& box,
                                  const std::vector<uint8_t>& part, const GeglRectangle& roi,
                                  int bpp) {
        int wrong = 0;
        for (int y = 0; y < roi.height; ++y)
            for (int x = 0; x < roi.width; ++x) {
                const size_t w =
                    (size_t(roi.y - box.y + y) * size_t(box.width) + size_t(roi.x - box.x + x)) *
                    size_t(bpp);
                const size_t p = (size_t(y) * size_t(roi.width) + size_t(x)) * size_t(bpp);
                if (std::memcmp(&whole[w], &part[p], size_t(bpp)) != 0 && ++wrong <= 3)
                    ADD_FAILURE() << "pixel " << roi.x + x << "," << roi.y + y << " of region "
                                  << roi.x << "," << roi.y << " " << roi.width << "x" << roi.height;
            }
        EXPECT_EQ(wrong, 0);
    }
};

// Regions at odd offsets, a single column and one across several of the
// renderer's 128-pixel tiles give the pixels of the whole, at every depth;
// the filter rectangle is the input's box, here away from the origin.
TEST_F(GeglOperationTest, RegionsAgreeWithTheWhole) {
    const GeglRectangle box{-13, 7, 301, 203};
    const GeglRectangle regions[] = {
        {24, 36, 201, 143}, {-13, 7, 1, 203}, {100, 100, 187, 110}, {287, 209, 1, 1}};
    for (const char* format : {"R'G'B'A u8", "R'G'B' u16", "RGBA float", "Y'A u8"}) {
        SCOPED_TRACE(format);
        GeglBuffer* input = makeInput(box, format, false);
        const int bpp = babl_format_get_bytes_per_pixel(babl_format(format));
        const std::vector<uint8_t> whole = render(input, box, format);
        // The operation changed the picture.
        std::vector<uint8_t> original(whole.size());
        gegl_buffer_get(input, &box, 1.0, babl_format(format), original.data(), GEGL_AUTO_ROWSTRIDE,
                        GEGL_ABYSS_NONE);
        EXPECT_NE(original, whole);
        for (const GeglRectangle& roi : regions)
            expectPartOfWhole(whole, box, render(input, roi, format), roi, bpp);
        g_object_unref(input);
    }
}

// With four threads and small chunks GEGL hands the operation many regions
// on several threads at once; the picture is the one a single thread makes
// in one go.
TEST_F(GeglOperationTest, ThreadsAndChunksGiveTheSinglePicture) {
    const GeglRectangle box{0, 0, 640, 480};
    GeglBuffer* input = makeInput(box, "R'G'B'A u16", false);
    const std::vector<uint8_t> single = render(input, box, "R'G'B'A u16");
    EXPECT_EQ(processLog.threads.size(), 1u);
    EXPECT_EQ(processLog.regions.size(), 1u);

    processLog.clear();
    g_object_set(gegl_config(), "threads", 4, "chunk-size", 128 * 64, nullptr);
    const std::vector<uint8_t> shared = renderInChunks(input, box, "R'G'B'A u16");
    g_object_set(gegl_config(), "chunk-size", 512 * 512, nullptr);
    EXPECT_GE(processLog.threads.size(), 2u);
    EXPECT_GE(processLog.regions.size(), 8u);
    std::printf("chunked render: %zu regions on %zu threads\n", processLog.regions.size(),
                processLog.threads.size());
    EXPECT_TRUE(single == shared);
    g_object_unref(input);
}

// Mipmap level 1 renders the pattern at half size through the preview
// reduction: over a flat white input each pixel is the full-size pixel at
// twice its coordinates (no averaging of a full-size render).
TEST_F(GeglOperationTest, MipmapLevelRendersAtTheReduction) {
    const GeglRectangle box{0, 0, 400, 300};
    GeglBuffer* input = makeInput(box, "R'G'B'A u8", true);
    const std::vector<uint8_t> full = render(input, box, "R'G'B'A u8");
    g_object_set(gegl_config(), "mipmap-rendering", TRUE, nullptr);
    processLog.clear();
    const GeglRectangle half{0, 0, 200, 150};
    const std::vector<uint8_t> reduced = render(input, half, "R'G'B'A u8", 0.5);
    EXPECT_EQ(processLog.levels, std::set<int>{1});
    int wrong = 0;
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x)
            if (std::memcmp(&reduced[(size_t(y) * 200 + size_t(x)) * 4],
                            &full[(size_t(2 * y) * 400 + size_t(2 * x)) * 4], 4) != 0)
                ++wrong;
    EXPECT_EQ(wrong, 0);
    g_object_unref(input);

    // Over noise, a region of level 1 at an odd offset is the same part of
    // the whole level.
    input = makeInput(box, "R'G'B'A u8", false);
    const std::vector<uint8_t> level = render(input, half, "R'G'B'A u8", 0.5);
    const GeglRectangle part{37, 29, 101, 67};
    expectPartOfWhole(level, half, render(input, part, "R'G'B'A u8", 0.5), part, 4);
    g_object_unref(input);
}

int warnings = 0;
void countWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {
    ++warnings;
}

// The properties GIMP builds its dialog from: the fourteen settings with
// the dialog's defaults and ranges, the lists as enumerations of the name
// tables; a value outside a range is refused with a warning and changes
// nothing.
TEST_F(GeglOperationTest, PropertiesRangesAndLists) {
    guint count = 0;
    GParamSpec** specs = gegl_operation_list_properties("quillfire:quillfire", &count);
    ASSERT_EQ(count, 14u);
    SettingsRecord defaults{};
    applyPlainDefaults(defaults);
    const struct {
        const char* name;
        int value;
    } expected[] = {{"overlap", defaults.overlap},
                    {"softness", defaults.softness},
                    {"warping", defaults.warping},
                    {"complexity", defaults.complexity},
                    {"zoom", defaults.zoom},
                    {"color", defaults.color},
                    {"hue", defaults.hue},
                    {"stripes", defaults.stripes},
                    {"doublure", defaults.doublure},
                    {"shape", defaults.shape},
                    {"stripe-kind", defaults.stripeKind},
                    {"merge", defaults.merge},
                    {"glue", defaults.glue},
                    {"seed", 0}};
    for (const auto& e : expected) {
        GParamSpec* spec = nullptr;
        for (guint i = 0; i < count; ++i)
            if (std::string(specs[i]->name) == e.name) spec = specs[i];
        ASSERT_NE(spec, nullptr) << e.name;
        if (G_IS_PARAM_SPEC_INT(spec)) {
            const GParamSpecInt* s = G_PARAM_SPEC_INT(spec);
            EXPECT_EQ(s->default_value, e.value) << e.name;
            if (std::string(e.name) == "seed") {
                EXPECT_EQ(s->minimum, INT32_MIN);
                EXPECT_EQ(s->maximum, INT32_MAX);
                // The slider offers the seeds the dialog's button draws.
                EXPECT_EQ(GEGL_PARAM_SPEC_INT(spec)->ui_minimum, 0);
                EXPECT_EQ(GEGL_PARAM_SPEC_INT(spec)->ui_maximum, 2047);
            } else {
                EXPECT_EQ(s->minimum, 0) << e.name;
                EXPECT_EQ(s->maximum, 100) << e.name;
            }
        } else {
            ASSERT_TRUE(G_IS_PARAM_SPEC_ENUM(spec)) << e.name;
            EXPECT_EQ(G_PARAM_SPEC_ENUM(spec)->default_value, e.value) << e.name;
        }
    }
    g_free(specs);

    GParamSpec* glue = nullptr;
    specs = gegl_operation_list_properties("quillfire:quillfire", &count);
    for (guint i = 0; i < count; ++i)
        if (std::string(specs[i]->name) == "glue") glue = specs[i];
    GEnumClass* glues = G_PARAM_SPEC_ENUM(glue)->enum_class;
    ASSERT_EQ(glues->n_values, guint(kGlueModeCount));
    EXPECT_EQ(glues->minimum, 1);
    EXPECT_EQ(glues->maximum, kGlueModeCount);
    for (int mode = 1; mode <= kGlueModeCount; ++mode)
        EXPECT_STREQ(g_enum_get_value(glues, mode)->value_name, kGlueMenuNames[size_t(mode)]);
    EXPECT_EQ(g_enum_get_value_by_nick(glues, "hard-light")->value, 11);
    EXPECT_EQ(g_enum_get_value_by_nick(glues, "procedural-plus")->value, 2);
    EXPECT_EQ(g_enum_get_value_by_nick(glues, "procedural-minus")->value, 3);
    g_free(specs);

    GeglNode* graph = gegl_node_new();
    GeglNode* op = gegl_node_new_child(graph, "operation", "quillfire:quillfire", "overlap", 40,
                                       "glue", 5, nullptr);
    const guint handler = g_log_set_handler(
        "GLib-GObject", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL), countWarning,
        nullptr);
    warnings = 0;
    gegl_node_set(op, "overlap", 101, nullptr);
    gegl_node_set(op, "overlap", -1, nullptr);
    gegl_node_set(op, "glue", kGlueModeCount + 1, nullptr);
    gegl_node_set(op, "glue", 0, nullptr);
    g_log_remove_handler("GLib-GObject", handler);
    EXPECT_EQ(warnings, 4);
    int overlap = 0, mode = 0, seed = 0;
    gegl_node_set(op, "seed", INT32_MIN, "overlap", 100, nullptr);
    gegl_node_get(op, "glue", &mode, "seed", &seed, nullptr);
    EXPECT_EQ(mode, 5);
    EXPECT_EQ(seed, INT32_MIN);
    gegl_node_get(op, "overlap", &overlap, nullptr);
    EXPECT_EQ(overlap, 100);
    g_object_unref(graph);
}

// The 16-bit samples are converted as the CLI converts files, for every
// value, so both give the same 16-bit pictures.
TEST(GeglRegionRender, SixteenBitConversionIsTheCli) {
    for (uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(fileToDocument16(uint16_t(v)), cli::fileToHost16(uint16_t(v))) << v;
        ASSERT_EQ(documentToFile16(uint16_t(v)), cli::hostToFile16(uint16_t(v))) << v;
    }
}

// What GEGL or a damaged graph could hand the renderer: an area too wide to
// set up, rows shorter than the region, no buffers, a render before any
// setup. Each is refused and nothing is written.
TEST(GeglRegionRender, RefusesWhatItCannotRender) {
    SettingsRecord s{};
    applyPlainDefaults(s);
    RegionRenderer renderer;
    const RegionLayout layout{DepthClass::Eight, false, true};
    std::vector<uint8_t> in(16 * 16 * 4, 7), out(16 * 16 * 4, 9);
    const PixelRect region{0, 0, 16, 16};
    EXPECT_FALSE(renderer.render(region, layout, in.data(), 64, out.data(), 64));
    EXPECT_FALSE(renderer.prepare(s, PixelRect{0, 0, 1, INT32_MAX}, 0));
    EXPECT_FALSE(renderer.render(region, layout, in.data(), 64, out.data(), 64));
    ASSERT_TRUE(renderer.prepare(s, PixelRect{0, 0, 16, 16}, 0));
    EXPECT_FALSE(renderer.render(region, layout, in.data(), 63, out.data(), 64));
    EXPECT_FALSE(renderer.render(region, layout, in.data(), 64, out.data(), 60));
    EXPECT_FALSE(renderer.render(region, layout, nullptr, 64, out.data(), 64));
    EXPECT_EQ(out, std::vector<uint8_t>(16 * 16 * 4, 9));
    EXPECT_TRUE(renderer.render(region, layout, in.data(), 64, out.data(), 64));
    EXPECT_NE(out, std::vector<uint8_t>(16 * 16 * 4, 9));
}

// The filter rectangle of a level: corners rounded outwards, negative
// coordinates included, absurd levels limited.
TEST(GeglRegionRender, LevelArea) {
    EXPECT_EQ(levelArea(0, 0, 400, 300, 0), (PixelRect{0, 0, 300, 400}));
    EXPECT_EQ(levelArea(-13, 7, 301, 203, 1), (PixelRect{3, -7, 105, 144}));
    EXPECT_EQ(levelArea(-1, -1, 1, 1, 3), (PixelRect{-1, -1, 0, 0}));
    EXPECT_EQ(levelReduction(-2), 1);
    EXPECT_EQ(levelReduction(40), 1 << 30);
    const PixelRect huge = levelArea(INT32_MIN, INT32_MIN, int64_t{1} << 33, 10, 0);
    EXPECT_EQ(huge.left, INT32_MIN);
    EXPECT_EQ(huge.right, INT32_MAX);
}

} // namespace
} // namespace qf
