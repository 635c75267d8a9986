#include "ui/control_table.h"

#include <array>
#include <cstddef>

namespace qf {

namespace {

struct ControlRow {
    int id;
    ControlKind kind;
    ControlRect rect;
    int partner;
    int art;
    const char* label;
};

constexpr int kSliderMax = 100;

// The layout, from the top of the left column down, then the right side.
constexpr ControlRow kRows[] = {
    {kIdOk, ControlKind::DialogButton, {805, 572, 70, 29}, -1, 0, nullptr},
    {kIdCancel, ControlKind::DialogButton, {465, 572, 70, 29}, -1, 0, nullptr},
    {kIdPreview, ControlKind::None, {330, 13, 546, 447}, -1, 0, nullptr},
    {kIdNameDisplay, ControlKind::Label, {465, 518, 411, 19}, -1, 0, nullptr},
    {kIdZoomOut, ControlKind::IconButton, {630, 473, 14, 14}, -1, 243, nullptr},
    {kIdZoomPercent, ControlKind::None, {650, 471, 39, 17}, -1, 0, nullptr},
    {kIdZoomIn, ControlKind::IconButton, {695, 473, 13, 14}, -1, 5, nullptr},
    {kIdInfo, ControlKind::IconButton, {465, 471, 22, 22}, -1, 235, nullptr},
    {kIdPresetsPage, ControlKind::IconButton, {862, 471, 14, 14}, -1, 236, nullptr},
    {kIdLoad, ControlKind::IconButton, {50, 471, 70, 29}, -1, 240, nullptr},
    {kIdSave, ControlKind::IconButton, {130, 471, 70, 29}, -1, 241, nullptr},
    {kIdRandomSeed, ControlKind::IconButton, {209, 471, 70, 29}, -1, 186, nullptr},
    {kIdRandomize, ControlKind::IconButton, {50, 521, 70, 29}, -1, 237, nullptr},
    {kIdDice3, ControlKind::IconButton, {130, 521, 70, 29}, -1, 168, nullptr},
    {kIdDice3Small, ControlKind::IconButton, {209, 521, 70, 29}, -1, 169, nullptr},
    {kIdUndo, ControlKind::IconButton, {50, 572, 70, 29}, -1, 242, nullptr},
    {kIdReset, ControlKind::IconButton, {130, 572, 70, 29}, -1, 225, nullptr},
    {kIdPsdExport, ControlKind::IconButton, {209, 572, 70, 29}, -1, 232, nullptr},
    {kIdNextGlue, ControlKind::IconButton, {286, 425, 15, 14}, -1, 231, nullptr},
    {kIdLogo, ControlKind::Logo, {9, 572, 32, 32}, -1, 183, nullptr},
    {kIdShapeLabel, ControlKind::Label, {86, 41, 48, 16}, -1, 0, "Shape"},
    {kIdShapeList, ControlKind::DropDownList, {145, 36, 115, 16}, -1, 0, nullptr},
    {kIdOverlapLabel, ControlKind::Label, {86, 72, 48, 15}, -1, 0, "Overlap"},
    {kIdOverlapSlider, ControlKind::Slider, {145, 72, 135, 12}, kIdOverlapEdit, 101, nullptr},
    {kIdOverlapEdit, ControlKind::Edit, {286, 71, 24, 11}, kIdOverlapSlider, 0, nullptr},
    {kIdSoftnessLabel, ControlKind::Label, {86, 101, 48, 15}, -1, 0, "Softness"},
    {kIdSoftnessSlider, ControlKind::Slider, {145, 101, 135, 12}, kIdSoftnessEdit, 101, nullptr},
    {kIdSoftnessEdit, ControlKind::Edit, {286, 100, 24, 11}, kIdSoftnessSlider, 0, nullptr},
    {kIdWarpingLabel, ControlKind::Label, {86, 130, 48, 16}, -1, 0, "Warping"},
    {kIdWarpingSlider, ControlKind::Slider, {145, 130, 135, 12}, kIdWarpingEdit, 101, nullptr},
    {kIdWarpingEdit, ControlKind::Edit, {286, 129, 24, 11}, kIdWarpingSlider, 0, nullptr},
    {kIdComplexityLabel, ControlKind::Label, {86, 160, 48, 16}, -1, 0, "Complexity"},
    {kIdComplexitySlider,
     ControlKind::Slider,
     {145, 160, 135, 12},
     kIdComplexityEdit,
     101,
     nullptr},
    {kIdComplexityEdit, ControlKind::Edit, {286, 159, 24, 11}, kIdComplexitySlider, 0, nullptr},
    {kIdZoomLabel, ControlKind::Label, {86, 190, 48, 16}, -1, 0, "Zoom"},
    {kIdZoomSlider, ControlKind::Slider, {145, 190, 135, 12}, kIdZoomEdit, 101, nullptr},
    {kIdZoomEdit, ControlKind::Edit, {286, 189, 24, 11}, kIdZoomSlider, 0, nullptr},
    {kIdColorLabel, ControlKind::Label, {86, 237, 48, 16}, -1, 0, "Color"},
    {kIdColorSlider, ControlKind::Slider, {145, 237, 135, 12}, kIdColorEdit, 102, nullptr},
    {kIdColorEdit, ControlKind::Edit, {286, 235, 24, 11}, kIdColorSlider, 0, nullptr},
    {kIdHueLabel, ControlKind::Label, {86, 264, 48, 16}, -1, 0, "Hue"},
    {kIdHueSlider, ControlKind::Slider, {145, 264, 135, 12}, kIdHueEdit, 102, nullptr},
    {kIdHueEdit, ControlKind::Edit, {286, 262, 24, 11}, kIdHueSlider, 0, nullptr},
    {kIdStripesLabel, ControlKind::Label, {86, 291, 48, 15}, -1, 0, "Stripes"},
    {kIdStripesSlider, ControlKind::Slider, {145, 291, 135, 12}, kIdStripesEdit, 102, nullptr},
    {kIdStripesEdit, ControlKind::Edit, {286, 289, 24, 11}, kIdStripesSlider, 0, nullptr},
    {kIdDoublureLabel, ControlKind::Label, {86, 320, 48, 16}, -1, 0, "Doublure"},
    {kIdDoublureSlider, ControlKind::Slider, {145, 320, 135, 12}, kIdDoublureEdit, 102, nullptr},
    {kIdDoublureEdit, ControlKind::Edit, {286, 318, 24, 11}, kIdDoublureSlider, 0, nullptr},
    {kIdStripeKindList, ControlKind::DropDownList, {145, 350, 115, 16}, -1, 0, nullptr},
    {kIdMergeLabel, ControlKind::Label, {86, 390, 48, 16}, -1, 0, "Merge"},
    {kIdStripeKindLabel, ControlKind::Label, {86, 354, 48, 16}, -1, 0, "Stripe kind"},
    {kIdMergeList, ControlKind::DropDownList, {145, 386, 115, 16}, -1, 0, nullptr},
    {kIdGlueLabel, ControlKind::Label, {86, 426, 48, 16}, -1, 0, "Glue"},
    {kIdGlueList, ControlKind::DropDownList, {145, 422, 115, 18}, -1, 0, nullptr},
    {kIdDotViewer, ControlKind::DotViewer, {330, 471, 96, 96}, -1, 217, nullptr},
};

// Top-left corners of the 25 dots, in dot order, around the viewer.
constexpr int kDotCorners[25][2] = {{312, 460}, {316, 472}, {316, 484}, {312, 497}, {308, 510},
                                    {304, 523}, {304, 536}, {308, 548}, {315, 559}, {323, 569},
                                    {334, 577}, {346, 586}, {359, 592}, {374, 596}, {389, 596},
                                    {403, 592}, {416, 586}, {428, 577}, {437, 565}, {443, 552},
                                    {447, 537}, {447, 522}, {443, 508}, {437, 495}, {428, 483}};
constexpr int kDotSide = 12;

struct TipRow {
    int id;
    const char* text;
};

// The same lines the resources' string table is made of.
#define QF_TIP(id, text) {id, text},
#define QF_DOT_TIP(id) QF_TIP(id, QF_DOT_TIP_TEXT)
constexpr TipRow kTips[] = {
#include "ui/control_tips.def"
};
#undef QF_DOT_TIP
#undef QF_TIP
#undef QF_DOT_TIP_TEXT

struct Table {
    std::array<ControlDescriptor, kControlCount> descriptors{};
    std::array<ControlRect, kControlCount> rects{};
    std::array<const char*, kControlCount> tips{};
};

Table buildTable() {
    Table t;
    for (const ControlRow& row : kRows) {
        ControlDescriptor& d = t.descriptors[size_t(row.id)];
        d.kind = row.kind;
        d.partner = row.partner;
        d.art = row.art;
        d.label = row.label;
        if (row.kind == ControlKind::Slider) d.maximum = kSliderMax;
        t.rects[size_t(row.id)] = row.rect;
    }
    for (int i = 0; i < 25; ++i) {
        const size_t id = size_t(kIdFirstDot + i);
        t.descriptors[id].kind = ControlKind::MemoryDot;
        t.rects[id] = ControlRect{kDotCorners[i][0], kDotCorners[i][1], kDotSide, kDotSide};
    }
    for (const TipRow& tip : kTips) t.tips[size_t(tip.id)] = tip.text;
    return t;
}

const Table& table() {
    static const Table t = buildTable();
    return t;
}

bool mouseWorks(int id) {
    switch (controlDescriptor(id).kind) {
    case ControlKind::Slider:
    case ControlKind::MemoryDot:
    case ControlKind::DotViewer:
    case ControlKind::Logo:
        return true;
    default:
        return id == kIdPreview;
    }
}

int rangeOf(const ControlDescriptor& d) {
    const int range = d.maximum - d.minimum;
    return range == 0 ? 1 : range;
}

} // namespace

const int kSliderIds[kSliderCount] = {kIdOverlapSlider,    kIdSoftnessSlider, kIdWarpingSlider,
                                      kIdComplexitySlider, kIdZoomSlider,     kIdColorSlider,
                                      kIdHueSlider,        kIdStripesSlider,  kIdDoublureSlider};

const int kListIds[kListCount] = {kIdGlueList, kIdStripeKindList, kIdMergeList, kIdShapeList};

const ControlDescriptor& controlDescriptor(int id) {
    static const ControlDescriptor blank{};
    if (id < 0 || id >= kControlCount) return blank;
    return table().descriptors[size_t(id)];
}

ControlRect controlRect(int id) {
    if (id < 0 || id >= kControlCount) return ControlRect{};
    return table().rects[size_t(id)];
}

int controlAt(int x, int y) {
    for (int id = 0; id < kControlCount; ++id)
        if (mouseWorks(id) && controlRect(id).contains(x, y)) return id;
    return -1;
}

const char* controlTip(int id) {
    if (id < 0 || id >= kControlCount) return nullptr;
    return table().tips[size_t(id)];
}

bool isMemoryDot(int id) {
    return id >= kIdFirstDot && id <= kIdLastDot;
}

int sliderKnobLeft(int id, int value) {
    const ControlDescriptor& d = controlDescriptor(id);
    const ControlRect r = controlRect(id);
    return r.left + 1 + (value - d.minimum) * (r.width - 15) / rangeOf(d);
}

int sliderValueAt(int id, int mouseX) {
    const ControlDescriptor& d = controlDescriptor(id);
    const ControlRect r = controlRect(id);
    const int x = mouseX - 4;
    const int value = d.minimum + (x - r.left - 1) * rangeOf(d) / (r.width - 14);
    return value < d.minimum ? d.minimum : value > d.maximum ? d.maximum : value;
}

} // namespace qf
