#include "render/pattern_settings.h"

namespace {

int32_t clampTo(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

int32_t slider(int32_t v) { return clampTo(v, 0, 100); }

} // namespace

PatternSettings patternSettings(const SettingsRecord& s) {
    PatternSettings p{};
    p.overlap = slider(s.overlap);
    p.stripes = slider(s.stripes);
    p.warping = slider(s.warping);
    p.softness = slider(s.softness);
    p.doublure = slider(s.doublure);
    p.color = slider(s.color);
    p.zoom = slider(s.zoom);
    p.complexity = slider(s.complexity);
    p.hue = s.hue;
    p.merge = clampTo(s.merge, 1, 4);
    p.shape = clampTo(s.shape, 1, 7);
    p.stripeKind = clampTo(s.stripeKind, 1, 4);
    p.randomSeed = s.randomSeed;
    p.previewZoom = s.previewZoom < 1 ? 1 : s.previewZoom;
    p.previewOffsetX = s.previewOffsetX;
    p.previewOffsetY = s.previewOffsetY;
    return p;
}
