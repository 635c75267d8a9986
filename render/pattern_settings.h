// The pattern settings as the renderer uses them.
//
// A settings record may carry values outside the ranges the dialog can
// produce (a scripting descriptor or a presets file can hold any 32-bit
// integer). Such values reach the pattern's formulas unchanged: `stripes`
// 150 runs the stripe profile beyond its rim, `zoom` 120 makes larger cells
// than 100, a `stripeKind` of 7 takes its profile flags from the bits of
// 7 - 1 as any other. The few places where a value would otherwise divide by
// zero, overflow an integer conversion or leave a table are guarded where
// the value is used, each with the reason beside it; the record itself is
// never changed.
//
// The one field limited here is `previewZoom`, the preview's reduction, which
// is no pattern parameter but a divisor of the pan: below 1 it counts as 1.
#pragma once

#include <cstdint>

#include "values/settings_record.h"

namespace qf {

struct PatternSettings {
    int32_t overlap, stripes, warping, softness, doublure, color, zoom, complexity, hue;
    int32_t merge, shape, stripeKind, randomSeed;
    int32_t previewZoom, previewOffsetX, previewOffsetY;
};

PatternSettings patternSettings(const SettingsRecord& s);

} // namespace qf
