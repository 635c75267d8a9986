// The settings dialog's controls: their ids, what kind of control each is,
// where it sits in the dialog's 889 x 616 pixel client area, and the fixed
// descriptor table (partner, art, label, range) the painting and the event
// code share. Ids run from 0 to 199; most have no control.
#pragma once

#include <cstdint>

namespace qf {

constexpr int kControlCount = 200;

// The dialog's client area once it is laid out.
constexpr int kDialogClientWidth = 889;
constexpr int kDialogClientHeight = 616;

enum ControlId : int {
    kIdCancel = 2,
    kIdOk = 3,
    kIdShapeList = 4,
    kIdStripesSlider = 6,
    kIdOverlapEdit = 7,
    kIdZoomEdit = 8,
    kIdOverlapSlider = 10,
    kIdDoublureSlider = 11,
    kIdColorSlider = 12,
    kIdSoftnessSlider = 13,
    kIdOverlapLabel = 14,
    kIdDoublureLabel = 15,
    kIdLogo = 16,
    kIdStripesLabel = 17,
    kIdPreview = 18,
    kIdColorLabel = 19,
    kIdSoftnessLabel = 20,
    kIdStripesEdit = 21,
    kIdSave = 22,
    kIdRandomize = 23,
    kIdLoad = 24,
    kIdGlueLabel = 25,
    kIdGlueList = 26,
    kIdDoublureEdit = 27,
    kIdColorEdit = 28,
    kIdSoftnessEdit = 29,
    kIdZoomLabel = 30,
    kIdZoomSlider = 31,
    kIdZoomIn = 32,
    kIdZoomOut = 33,
    kIdZoomPercent = 34,
    kIdNameDisplay = 35,
    kIdNextGlue = 36,
    kIdShapeLabel = 38,
    kIdWarpingLabel = 39,
    kIdWarpingEdit = 40,
    kIdWarpingSlider = 41,
    kIdPresetsPage = 42,
    kIdMergeList = 43,
    kIdMergeLabel = 44,
    kIdComplexitySlider = 45,
    kIdHueSlider = 46,
    kIdHueLabel = 47,
    kIdHueEdit = 48,
    kIdComplexityLabel = 49,
    kIdComplexityEdit = 50,
    kIdStripeKindList = 51,
    kIdUndo = 52,
    kIdStripeKindLabel = 53,
    kIdRandomSeed = 54,
    kIdDice3 = 55,
    kIdDice3Small = 56,
    kIdReset = 74,
    kIdPsdExport = 75,
    kIdInfo = 76,
    kIdDotViewer = 119,
    kIdFirstDot = 121, // dots 1 to 25 are ids 121 to 145
    kIdLastDot = 145,
};

enum class ControlKind : uint8_t {
    None,
    Slider,
    Label,
    DialogButton,
    IconButton,
    DropDownList,
    Logo,
    MemoryDot,
    DotViewer,
    Edit,
};

// A rectangle of the client area, in pixels.
struct ControlRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool empty() const { return width <= 0 || height <= 0; }
    bool contains(int x, int y) const {
        return x >= left && x < left + width && y >= top && y < top + height;
    }
};

struct ControlDescriptor {
    ControlKind kind = ControlKind::None;
    int partner = -1;            // a slider's edit box, an edit box's slider
    int art = 0;                 // an icon button's icon, a slider's track bitmap
    const char* label = nullptr; // a label's text
    int minimum = 0;
    int maximum = 0;
};

// The descriptor of `id`; a blank one (kind None) for ids without a control
// and for ids outside 0..199.
const ControlDescriptor& controlDescriptor(int id);

// Where the control sits once the dialog is laid out, before the view's
// own corrections for buttons and lists; empty for ids without a place.
ControlRect controlRect(int id);

// The control whose layout rectangle holds the point, among the kinds the
// mouse works (preview, sliders, memory dots, dot viewer, logo); -1 when
// none does.
int controlAt(int x, int y);

// The tip shown for control `id` (ui/control_tips.def), which the module's
// resources also hold as string kFirstTipString + id; null for an id
// without one.
constexpr int kFirstTipString = 700;
const char* controlTip(int id);

bool isMemoryDot(int id);
inline int dotIndexOf(int id) {
    return id - kIdFirstDot;
}

// The nine sliders with their edit boxes, in the order the settings list
// them: overlap, softness, warping, complexity, zoom, color, hue, stripes,
// doublure.
constexpr int kSliderCount = 9;
extern const int kSliderIds[kSliderCount];

// The four lists in the order they are filled: glue, stripe kind, merge,
// shape.
constexpr int kListCount = 4;
extern const int kListIds[kListCount];

// The knob's left edge for a slider showing `value`: left + 1 + (value -
// minimum) x (width - 15) / (maximum - minimum), a range of 0 counted as 1.
int sliderKnobLeft(int id, int value);
// The value the slider takes for a mouse at x: minimum + (x - 4 - left - 1)
// x (maximum - minimum) / (width - 14), limited to the range.
int sliderValueAt(int id, int mouseX);

} // namespace qf
