// The plug-in's own in-memory picture: a mip-map pyramid of one of eight
// sample kinds (pyramid_kind.h), stored in tiles of 512 x 512 pixels, with
// plain pixel access, filtered sampling at any position and blur level, and
// resampling of one picture into another. The export renders composite into
// it, the presets thumbnails are made with it.
//
// The picture is put together from parts in files of their own: its shape
// (pyramid_layout), its tiles and the storage budget (pyramid_storage),
// point and filtered sampling (pyramid_sampling.cpp), resampling
// (pyramid_resample), building the coarser levels (pyramid_level_build) and
// the compositor's view (pyramid_composite_image). This header brings them
// all in, so a caller that uses pictures needs only this one.
//
// Creation, storing and level building happen on one thread while nobody
// samples; sampling only reads and may run on many threads at once.
#pragma once

#include <cstdint>

#include "composite/picture/pyramid_composite_image.h"
#include "composite/picture/pyramid_kind.h"
#include "composite/picture/pyramid_layout.h"
#include "composite/picture/pyramid_level_build.h"
#include "composite/picture/pyramid_resample.h"
#include "composite/picture/pyramid_storage.h"
#include "values/pixel_types.h"

namespace qf {

// Wrap modes of filtered sampling.
constexpr int32_t kPyramidClamp = 0;
constexpr int32_t kPyramidWrap = 1;
constexpr int32_t kPyramidWrapHorizontal = 2;

class PyramidImage {
  public:
    PyramidImage() = default;
    ~PyramidImage();
    PyramidImage(const PyramidImage&) = delete;
    PyramidImage& operator=(const PyramidImage&) = delete;
    PyramidImage(PyramidImage&& other) noexcept;
    PyramidImage& operator=(PyramidImage&& other) noexcept;

    // Sets the picture up: level table, tiles (all pixels 0), scales. Any
    // previous content is released first. False, leaving the picture without
    // storage, for a size below 1 or above kPyramidMaxSide, an unknown kind
    // or wrap mode, or storage that cannot be had.
    bool create(int32_t width, int32_t height, int32_t kind, int32_t wrapMode = kPyramidClamp,
                bool border = false);
    bool create(int32_t width, int32_t height, PyramidKind kind, int32_t wrapMode = kPyramidClamp,
                bool border = false);
    // Frees every tile.
    void release();
    // For a reader that goes down level 0 once: frees the tiles of the
    // coarser levels and those of level 0 above tile row `tileRow` (rows
    // 0 .. tileRow x 512 - 1), giving the memory back while the rest is
    // still read. The freed pixels must not be read or written again; the
    // picture keeps its size and kind until release().
    void releaseTilesAbove(int32_t tileRow);

    bool hasStorage() const { return storage_.tileCount() > 0; }
    // The kind's number; -1 without storage.
    int32_t kind() const { return hasStorage() ? int32_t(layout_.kind) : -1; }
    // The kind; meaningful only with storage.
    PyramidKind pyramidKind() const { return layout_.kind; }
    int32_t width() const { return layout_.width; }   // level 0, without border
    int32_t height() const { return layout_.height; } // level 0, without border
    bool border() const { return layout_.border; }
    int32_t wrapMode() const { return wrapMode_; }
    int32_t lastLevel() const { return layout_.lastLevel; }
    float inputScale() const { return inputScale_; }
    float outputScale() const { return outputScale_; }
    bool holdsFloat() const { return hasStorage() && pyramidKindIsFloat(layout_.kind); }
    const PyramidKindInfo& kindInfo() const { return layout_.info; }
    const PyramidLayout& layout() const { return layout_; }
    const PyramidStorage& storage() const { return storage_; }

    // Size of a level (with border); 0 x 0 beyond the last level.
    int32_t levelWidth(int32_t level) const;
    int32_t levelHeight(int32_t level) const;
    // The level's record, or null beyond the last level.
    const PyramidLevel* level(int32_t level) const;

    int32_t tileCount() const { return storage_.tileCount(); }
    const PyramidTile* tile(int32_t index) const;

    // Set when the document copy has filled every tile of level 0.
    bool filled() const { return filled_; }
    void setFilled(bool filled) { filled_ = filled; }
    // Set when the coarser levels have been built.
    bool levelsBuilt() const { return levelsBuilt_; }
    void setLevelsBuilt(bool built) { levelsBuilt_ = built; }

    // The first byte of pixel (x, y) of a level, or null outside it or
    // without storage.
    uint8_t* pixelAddress(int32_t x, int32_t y, int32_t level);
    const uint8_t* pixelAddress(int32_t x, int32_t y, int32_t level) const;

    // The pixel at (x, y), clamped to the level, times the output scale.
    // Gray kinds give red = green = blue and alpha 1, kind 7 alpha 1. All
    // zero without storage or beyond the last level.
    FloatRGBA samplePoint(int32_t x, int32_t y, int32_t level) const;
    // samplePoint of `count` pixels of one row, (x, y) to (x + count - 1, y),
    // into `out`: the same colours, read a tile run at a time.
    void samplePointRow(int32_t x, int32_t y, int32_t level, int32_t count, FloatRGBA* out) const;
    // Writes a colour at (x, y) of a level: kinds 3 and 4 store it times the
    // input scale (truncated, limited to what a sample holds), kind 9 stores
    // the floats; other kinds and positions outside the level are left alone.
    void storePixel(int32_t x, int32_t y, int32_t level, const FloatRGBA& colour);

    // The filtered colour at the normalised position (u, v) at blur level
    // level + fraction, times the output scale.
    FloatRGBA sampleFiltered(int32_t level, float fraction, float u, float v) const;
    // The same at pixel coordinates (x, y) of the level: u = (x + 0.5) / the
    // level's width, v likewise.
    FloatRGBA sampleFilteredAt(int32_t level, float fraction, float x, float y) const;

  private:
    // One level's filtered sample, before the output scale.
    FloatRGBA sampleLevel(int32_t level, float u, float v) const;

    PyramidLayout layout_{};
    PyramidStorage storage_;
    int32_t wrapMode_ = kPyramidClamp;
    float inputScale_ = 0.0f;
    float outputScale_ = 0.0f;
    bool filled_ = false;
    bool levelsBuilt_ = false;
};

// createImage: sets up `image` (see PyramidImage::create); false when the
// image is missing or cannot be made.
bool createImage(PyramidImage* image, int32_t width, int32_t height, int32_t kind, int32_t wrapMode,
                 bool border);
// The short form: simple type 1 makes kind 0, 2 makes kind 2, anything else
// kind 3; clamped sampling, no border.
bool createImage(PyramidImage* image, int32_t width, int32_t height, int32_t simpleType);

} // namespace qf
