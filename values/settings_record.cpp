#include "values/settings_record.h"

#include <cstring>

namespace qf {

void copyName(char (&dst)[kNameLength], const char* src) {
    size_t n = src ? std::strlen(src) : 0;
    if (n > kNameLength - 1) n = kNameLength - 1;
    if (n) std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void applyPlainDefaults(SettingsRecord& s) {
    s.overlap = 73;
    s.glue = 1;
    s.warping = 41;
    s.softness = 23;
    s.doublure = 40;
    s.color = 98;
    s.zoom = 86;
    s.complexity = 0;
    s.hue = 47;
    s.merge = 3;
    s.shape = 7;
    s.stripeKind = 2;
    s.stripes = 27;
    s.legacyPercent[0] = 0.7071f;
    s.legacyPercent[1] = 0.7071f;
    s.legacyPercent[2] = 0.0f;
    s.gradientColor1[0] = 245;
    s.gradientColor1[1] = 240;
    s.gradientColor1[2] = 222;
    s.gradientColor2[0] = 139;
    s.gradientColor2[1] = 99;
    s.gradientColor2[2] = 39;
}

void resetSettings(SettingsRecord& s) {
    s.previewPossible = 0;
    s.previewDisabled = 0;
    s.previewZoom = 1;
    s.renderTarget = kTargetFinal;
    s.glue = 1;
    copyName(s.settingsName, "Quillfire settings");
    applyPlainDefaults(s);
}

SettingsSnapshot saveRenderSettings(const SettingsRecord& s) {
    SettingsSnapshot snap{};
    snap.overlap = s.overlap;
    snap.stripes = s.stripes;
    snap.softness = s.softness;
    snap.doublure = s.doublure;
    snap.color = s.color;
    snap.zoom = s.zoom;
    snap.complexity = s.complexity;
    snap.hue = s.hue;
    snap.merge = s.merge;
    snap.warping = s.warping;
    snap.glue = s.glue;
    snap.stripeKind = s.stripeKind;
    snap.shape = s.shape;
    snap.randomSeed = s.randomSeed;
    std::memcpy(snap.gradientColor1, s.gradientColor1, sizeof snap.gradientColor1);
    std::memcpy(snap.gradientColor2, s.gradientColor2, sizeof snap.gradientColor2);
    std::memcpy(snap.settingsName, s.settingsName, sizeof snap.settingsName);
    std::memcpy(snap.carried, s.carried, sizeof snap.carried);
    return snap;
}

void restoreRenderSettings(SettingsRecord& s, const SettingsSnapshot& snap) {
    s.overlap = snap.overlap;
    s.stripes = snap.stripes;
    s.softness = snap.softness;
    s.doublure = snap.doublure;
    s.color = snap.color;
    s.zoom = snap.zoom;
    s.complexity = snap.complexity;
    s.hue = snap.hue;
    s.merge = snap.merge;
    s.warping = snap.warping;
    s.glue = snap.glue;
    s.stripeKind = snap.stripeKind;
    s.shape = snap.shape;
    s.randomSeed = snap.randomSeed;
    std::memcpy(s.gradientColor1, snap.gradientColor1, sizeof snap.gradientColor1);
    std::memcpy(s.gradientColor2, snap.gradientColor2, sizeof snap.gradientColor2);
    std::memcpy(s.settingsName, snap.settingsName, sizeof snap.settingsName);
    std::memcpy(s.carried, snap.carried, sizeof snap.carried);
}

} // namespace qf
