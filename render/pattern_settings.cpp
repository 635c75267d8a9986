#include "render/pattern_settings.h"

namespace qf {

PatternSettings patternSettings(const SettingsRecord& s) {
    PatternSettings p{};
    p.overlap = s.overlap;
    p.stripes = s.stripes;
    p.warping = s.warping;
    p.softness = s.softness;
    p.doublure = s.doublure;
    p.color = s.color;
    p.zoom = s.zoom;
    p.complexity = s.complexity;
    p.hue = s.hue;
    p.merge = s.merge;
    p.shape = s.shape;
    p.stripeKind = s.stripeKind;
    p.randomSeed = s.randomSeed;
    // The pan is divided by the reduction: 0 would divide by zero and a
    // negative one could overflow (INT32_MIN / -1).
    p.previewZoom = s.previewZoom < 1 ? 1 : s.previewZoom;
    p.previewOffsetX = s.previewOffsetX;
    p.previewOffsetY = s.previewOffsetY;
    return p;
}

} // namespace qf
