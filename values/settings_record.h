// The plug-in's persistent parameter block, held by the host as its
// `parameters` handle. A plain structure of fixed-width fields without
// pointers, so the host can keep it as opaque bytes between calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qf {

constexpr int kNameLength = 260;

// Render targets stored in `renderTarget`.
enum RenderTarget : int32_t {
    kTargetFinal = 0,
    kTargetPreview = 1,
    kTargetImage = 2,
};

struct SettingsRecord {
    int32_t capturedControl;
    uint8_t previewDirty;
    int16_t dragPoints[4]; // start y, start x, current y, current x
    uint8_t previewPossible;
    uint8_t previewDisabled;
    float legacyPercent[3];
    int32_t fileVersion;
    int32_t overlap;
    int32_t glue;
    int32_t softness;
    int32_t previewZoom;
    int32_t renderTarget;
    int32_t passCount;
    int32_t passIndex;
    int32_t previewOffsetX;
    int32_t previewOffsetY;
    int32_t doublure;
    int32_t color;
    int32_t zoom;
    int32_t complexity;
    int32_t hue;
    int32_t merge;
    int16_t gradientColor1[3];
    int16_t gradientColor2[3];
    int32_t stripeKind;
    int32_t shape;
    int32_t warping;
    int32_t randomSeed;
    int32_t psdSizeChoice;
    int32_t psdWidth;
    int32_t psdHeight;
    int32_t stripes;
    int32_t exportKind;
    char settingsFolder[kNameLength];
    char exportFolder[kNameLength];
    char presetsFolder[kNameLength];
    char settingsName[kNameLength];
    // Four integers carried with the parameters through every render
    // snapshot; no part of the renderer reads them.
    int32_t carried[4];
    // The record the host holds is 2612 bytes; the rest is reserved.
    uint8_t reserved[2612 - 1196];
};
static_assert(sizeof(SettingsRecord) == 2612, "the host holds 2612 bytes");

// Sets the thirteen pattern parameters other than `randomSeed` to their
// defaults, and `legacyPercent` and both gradient colours with them.
void applyPlainDefaults(SettingsRecord& s);

// The reset of every prepare: preview flags, zoom, target, glue, the name
// "Quillfire settings", then the plain defaults. Leaves `randomSeed` and the
// folders alone.
void resetSettings(SettingsRecord& s);

// The parameter fields a render may change for itself and must give back.
struct SettingsSnapshot {
    int32_t overlap, stripes, softness, doublure, color, zoom, complexity, hue, merge, warping,
        glue, stripeKind, shape, randomSeed;
    int16_t gradientColor1[3];
    int16_t gradientColor2[3];
    char settingsName[kNameLength];
    int32_t carried[4];
};

SettingsSnapshot saveRenderSettings(const SettingsRecord& s);
void restoreRenderSettings(SettingsRecord& s, const SettingsSnapshot& snap);

// Copies text into one of the record's 260-character fields, truncating and
// always terminating.
void copyName(char (&dst)[kNameLength], const char* src);

} // namespace qf
