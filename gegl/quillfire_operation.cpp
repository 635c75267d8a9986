// quillfire:quillfire, the pattern as a GEGL filter: the fourteen settings
// as properties (the lists as enumerations named from the name tables), a
// filter over its input whose filter rectangle is the input's bounding box,
// working at the input's own depth and colour model, rendering GEGL's
// mipmap levels through the preview path at their reduction.
#include <gegl-plugin.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "gegl/region_render.h"
#include "values/name_tables.h"
#include "values/settings_record.h"

namespace qf {
namespace {

enum class ListKind { None, Glue, Shape, StripeKind, Merge };

struct PropertyRow {
    const char* name; // the property, as the CLI's flag names it
    const char* nick; // the label, as the dialog shows it
    const char* blurb;
    int32_t SettingsRecord::*field;
    ListKind list;
    int32_t minimum, maximum;
};

// The sliders hold 0 to 100, the seed any 32-bit number (the dialog draws
// 0 to 2047), the lists their 1-based item number.
const PropertyRow kProperties[] = {
    {"seed", "Randomseed", "Random seed: the same seed gives the same pattern",
     &SettingsRecord::randomSeed, ListKind::None, G_MININT32, G_MAXINT32},
    {"shape", "Shape", "Shape of the cells", &SettingsRecord::shape, ListKind::Shape, 1, 7},
    {"overlap", "Overlap", "How far the shapes reach over their neighbours",
     &SettingsRecord::overlap, ListKind::None, 0, 100},
    {"softness", "Softness", "Width of the shapes' soft edges", &SettingsRecord::softness,
     ListKind::None, 0, 100},
    {"warping", "Warping", "How much the pattern is warped", &SettingsRecord::warping,
     ListKind::None, 0, 100},
    {"complexity", "Complexity", "Second and third layer of the pattern mixed in",
     &SettingsRecord::complexity, ListKind::None, 0, 100},
    {"zoom", "Zoom", "Size of the cells", &SettingsRecord::zoom, ListKind::None, 0, 100},
    {"color", "Color", "Strength of the cells' colours", &SettingsRecord::color, ListKind::None, 0,
     100},
    {"hue", "Hue", "Rotation of every hue", &SettingsRecord::hue, ListKind::None, 0, 100},
    {"stripes", "Stripes", "Density of the concentric stripes", &SettingsRecord::stripes,
     ListKind::None, 0, 100},
    {"doublure", "Doublure", "Contrast of the stripes' lining", &SettingsRecord::doublure,
     ListKind::None, 0, 100},
    {"stripe-kind", "Stripe kind", "Profile of the stripes", &SettingsRecord::stripeKind,
     ListKind::StripeKind, 1, 4},
    {"merge", "Merge", "How overlapping shapes are merged", &SettingsRecord::merge, ListKind::Merge,
     1, 4},
    {"glue", "Glue", "How the pattern is glued onto the image", &SettingsRecord::glue,
     ListKind::Glue, 1, kGlueModeCount},
};
constexpr guint kPropertyCount = G_N_ELEMENTS(kProperties);

// The pieces a region is filtered in: whole tiles of the renderer, a few
// megabytes of samples at most.
constexpr int64_t kPieceWidth = 1024;
constexpr int64_t kPieceHeight = 128;

struct QuillfireOperation {
    GeglOperationFilter parent;
    SettingsRecord settings;
    RegionLayout layout;
};

struct QuillfireOperationClass {
    GeglOperationFilterClass parent;
};

GType operationType = 0;
gpointer parentClass = nullptr;
GType listTypes[5] = {0, 0, 0, 0, 0};

QuillfireOperation* self(gpointer object) {
    return static_cast<QuillfireOperation*>(object);
}

// The enumeration's nick of a list entry: lower case, a space as '-', and
// a trailing sign spelled out ("procedural +" is procedural-plus).
std::string nickOf(const std::string& name) {
    std::string nick;
    for (char c : name) {
        if (c == ' ')
            c = '-';
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        nick.push_back(c);
    }
    if (nick.size() > 2 && nick.compare(nick.size() - 2, 2, "-+") == 0)
        nick.replace(nick.size() - 1, 1, "plus");
    else if (nick.size() > 2 && nick.compare(nick.size() - 2, 2, "--") == 0)
        nick.replace(nick.size() - 1, 1, "minus");
    return nick;
}

// Registers one list as an enumeration whose values are the settings'
// numbers and whose labels are the names the dialog shows. GEGL may unload
// the module and load it again, registering afresh each time: the values
// and their strings are held outside the module's own storage and never
// freed, since GLib keeps pointers to them for the life of the process.
template <size_t N>
GType registerList(GTypeModule* module, const char* typeName,
                   const std::array<const char*, N>& names) {
    GEnumValue* values = g_new0(GEnumValue, N); // entry 0 of the table is unused: room for the end
    for (size_t i = 1; i < N; ++i)
        values[i - 1] = GEnumValue{gint(i), g_strdup(names[i]), g_strdup(nickOf(names[i]).c_str())};
    return g_type_module_register_enum(module, typeName, values);
}

GType listType(ListKind kind) {
    return listTypes[static_cast<int>(kind)];
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    if (id < 1 || id > kPropertyCount) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    const PropertyRow& row = kProperties[id - 1];
    self(object)->settings.*row.field =
        row.list == ListKind::None ? g_value_get_int(value) : g_value_get_enum(value);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    if (id < 1 || id > kPropertyCount) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    const PropertyRow& row = kProperties[id - 1];
    if (row.list == ListKind::None)
        g_value_set_int(value, self(object)->settings.*row.field);
    else
        g_value_set_enum(value, self(object)->settings.*row.field);
}

// The layout the operation works in follows the input: its sample type
// (8-bit, 16-bit, anything else as float), gray or colour, with or without
// alpha, and its tone curve and colour space, so that GEGL converts
// nothing on the way in or out.
void prepare(GeglOperation* operation) {
    QuillfireOperation* op = self(operation);
    const Babl* source = gegl_operation_get_source_format(operation, "input");
    RegionLayout layout;
    layout.depth = DepthClass::Float;
    layout.alpha = true;
    bool perceptual = true;
    const Babl* space = nullptr;
    if (source) {
        const Babl* type = babl_format_get_type(source, 0);
        if (type == babl_type("u8"))
            layout.depth = DepthClass::Eight;
        else if (type == babl_type("u16"))
            layout.depth = DepthClass::Sixteen;
        layout.alpha = babl_format_has_alpha(source) != 0;
        const char* model = babl_get_name(babl_format_get_model(source));
        // Y, Y', Y~ with or without alpha (the luma-chroma models are colour).
        layout.gray = model[0] == 'Y' && std::strstr(model, "Cb") == nullptr;
        perceptual = std::strchr(model, '\'') != nullptr || std::strchr(model, '~') != nullptr;
        space = babl_format_get_space(source);
    }
    std::string name = layout.gray ? (perceptual ? "Y'" : "Y") : (perceptual ? "R'G'B'" : "RGB");
    if (layout.alpha) name += "A";
    name += layout.depth == DepthClass::Eight     ? " u8"
            : layout.depth == DepthClass::Sixteen ? " u16"
                                                  : " float";
    const Babl* format = babl_format_with_space(name.c_str(), space);
    op->layout = layout;
    gegl_operation_set_format(operation, "input", format);
    gegl_operation_set_format(operation, "output", format);
}

gboolean process(GeglOperation* operation, GeglBuffer* input, GeglBuffer* output,
                 const GeglRectangle* result, gint level) {
    QuillfireOperation* op = self(operation);
    const RegionLayout layout = op->layout;
    const GeglRectangle* box = gegl_operation_source_get_bounding_box(operation, "input");
    if (!box || !input || !output) return TRUE; // nothing connected: nothing to filter
    // Each call sets up its own generator: calls may run on several of
    // GEGL's threads at once, and the setup is small beside a region.
    RegionRenderer renderer;
    if (!renderer.prepare(op->settings, levelArea(box->x, box->y, box->width, box->height, level),
                          level)) {
        g_warning("quillfire: out of memory");
        return FALSE;
    }
    // The result goes in pieces of whole 128-pixel tiles of the renderer,
    // read and written through linear copies: GEGL's own tiles seldom line
    // up with a region it hands to a thread, and its iterator would then
    // deliver single rows.
    const Babl* format = gegl_operation_get_format(operation, "output");
    const int64_t pixelBytes = layout.pixelBytes();
    const double scale = 1.0 / double(levelReduction(level));
    std::vector<uint8_t> in, out;
    try {
        in.resize(size_t(kPieceWidth) * size_t(kPieceHeight) * size_t(pixelBytes));
        out.resize(in.size());
    } catch (const std::bad_alloc&) {
        g_warning("quillfire: out of memory");
        return FALSE;
    }
    // GEGL gives the region at full size; at a mipmap level the pixels are
    // those of the region divided by the reduction, as the buffers address
    // them.
    const PixelRect wanted = levelArea(result->x, result->y, result->width, result->height, level);
    for (int64_t top = wanted.top; top < wanted.bottom; top += kPieceHeight) {
        for (int64_t left = wanted.left; left < wanted.right; left += kPieceWidth) {
            GeglRectangle piece{int(left), int(top),
                                int(std::min<int64_t>(kPieceWidth, wanted.right - left)),
                                int(std::min<int64_t>(kPieceHeight, wanted.bottom - top))};
            const int64_t rowBytes = int64_t(piece.width) * pixelBytes;
            gegl_buffer_get(input, &piece, scale, format, in.data(), gint(rowBytes),
                            GEGL_ABYSS_NONE);
            const PixelRect region{piece.y, piece.x, piece.y + piece.height, piece.x + piece.width};
            if (!renderer.render(region, layout, in.data(), rowBytes, out.data(), rowBytes)) {
                g_warning("quillfire: out of memory");
                return FALSE;
            }
            gegl_buffer_set(output, &piece, level, format, out.data(), gint(rowBytes));
        }
    }
    return TRUE;
}

void classInit(gpointer klass, gpointer) {
    parentClass = g_type_class_peek_parent(klass);
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    GeglOperationClass* operationClass = GEGL_OPERATION_CLASS(klass);
    GeglOperationFilterClass* filterClass = GEGL_OPERATION_FILTER_CLASS(klass);
    objectClass->set_property = setProperty;
    objectClass->get_property = getProperty;
    operationClass->prepare = prepare;
    operationClass->threaded = TRUE;
    filterClass->process = process;

    SettingsRecord defaults{};
    applyPlainDefaults(defaults);
    for (guint i = 0; i < kPropertyCount; ++i) {
        const PropertyRow& row = kProperties[i];
        const auto flags =
            GParamFlags(G_PARAM_READWRITE | G_PARAM_CONSTRUCT | GEGL_PARAM_PAD_INPUT);
        GParamSpec* spec;
        if (row.list == ListKind::None) {
            const bool seed = row.field == &SettingsRecord::randomSeed;
            // The seed's slider offers what the dialog draws; any value can
            // be typed.
            spec = gegl_param_spec_int(row.name, row.nick, row.blurb, row.minimum, row.maximum,
                                       seed ? 0 : defaults.*row.field, seed ? 0 : row.minimum,
                                       seed ? 2047 : row.maximum, 1.0, flags);
        } else {
            spec = g_param_spec_enum(row.name, row.nick, row.blurb, listType(row.list),
                                     defaults.*row.field, flags);
        }
        g_object_class_install_property(objectClass, i + 1, spec);
    }

    gegl_operation_class_set_keys(
        operationClass, "name", "quillfire:quillfire", "title", "Quillfire", "categories",
        "render:artistic", "description",
        "Overlapping soft-edged shapes with concentric stripes, warped, tinted and glued onto "
        "the image by one of 69 glue modes",
        nullptr);
}

void classFinalize(gpointer, gpointer) {}

void instanceInit(GTypeInstance* instance, gpointer) {
    QuillfireOperation* op = self(instance);
    std::memset(&op->settings, 0, sizeof op->settings);
    applyPlainDefaults(op->settings);
    op->settings.randomSeed = 0;
    op->layout = RegionLayout{};
}

const GeglModuleInfo kModuleInfo = {GEGL_MODULE_ABI_VERSION};

} // namespace
} // namespace qf

extern "C" {

G_MODULE_EXPORT const GeglModuleInfo* gegl_module_query(GTypeModule*) {
    return &qf::kModuleInfo;
}

G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule* module) {
    using namespace qf;
    listTypes[int(ListKind::Glue)] = registerList(module, "QuillfireGlue", kGlueMenuNames);
    listTypes[int(ListKind::Shape)] = registerList(module, "QuillfireShape", kShapeNames);
    listTypes[int(ListKind::StripeKind)] =
        registerList(module, "QuillfireStripeKind", kStripeKindNames);
    listTypes[int(ListKind::Merge)] = registerList(module, "QuillfireMerge", kMergeNames);
    const GTypeInfo info = {
        sizeof(QuillfireOperationClass), nullptr, nullptr,      classInit, classFinalize, nullptr,
        sizeof(QuillfireOperation),      0,       instanceInit, nullptr};
    operationType = gegl_module_register_type(module, GEGL_TYPE_OPERATION_FILTER,
                                              "QuillfireGeglOperation", &info, GTypeFlags(0));
    return operationType != 0;
}

} // extern "C"
