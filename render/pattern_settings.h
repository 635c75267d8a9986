// The pattern settings as the renderer uses them.
//
// A settings record may carry values outside the ranges the dialog can
// produce (a scripting descriptor or a presets file can hold any 32-bit
// integer). The renderer never trusts them: every slider is clamped to
// 0..100 and every choice to its list (`shape` 1..7, `merge` 1..4,
// `stripeKind` 1..4) at render time, so an odd value gives the picture of
// the nearest valid one. The stored record is left as it is.
//
// Two fields keep their value: `randomSeed` (any 32-bit value is a valid
// seed) and `hue` (its formula is defined for every integer; a shift below
// zero ends in red, and a shift by whole turns changes nothing).
// `previewZoom` below 1 counts as 1.
#pragma once

#include <cstdint>

#include "plugin/settings_record.h"

struct PatternSettings {
    int32_t overlap, stripes, warping, softness, doublure, color, zoom, complexity, hue;
    int32_t merge, shape, stripeKind, randomSeed;
    int32_t previewZoom, previewOffsetX, previewOffsetY;
};

PatternSettings patternSettings(const SettingsRecord& s);
