// The plug-in's own in-memory picture: a mip-map pyramid of one of eight
// sample kinds, stored in tiles of 512 x 512 pixels, with plain pixel access,
// filtered sampling at any position and blur level, and resampling of one
// picture into another. The export renders composite into it, the presets
// thumbnails are made with it.
//
// Kinds (bytes per pixel, channels, the sample value that stands for 1.0):
//   0  1 byte   gray            255
//   1  2 bytes  gray            32768
//   2  2 bytes  single channel  1
//   3  4 bytes  RGBA            255   one 32-bit word: red in the most
//                                     significant byte, alpha in the least
//   4  8 bytes  RGBA            32768 four 16-bit values red, green, blue, alpha
//   5  4 bytes  float gray      1
//   7  6 bytes  RGB             1     three 16-bit values
//   9  16 bytes float RGBA      1
//
// Creation, storing and level building happen on one thread while nobody
// samples; sampling only reads and may run on many threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "composite/composite_target.h"
#include "values/pixel_types.h"

constexpr int32_t kPyramidTileSide = 512;
constexpr int32_t kPyramidTileShift = 9;
constexpr int32_t kPyramidMaxLevels = 20;
// The largest width or height of a picture; larger sizes are refused.
constexpr int32_t kPyramidMaxSide = 1 << 28;

// Sample kinds.
constexpr int32_t kPyramidGray8 = 0;
constexpr int32_t kPyramidGray16 = 1;
constexpr int32_t kPyramidChannel16 = 2;
constexpr int32_t kPyramidRGBA8 = 3;
constexpr int32_t kPyramidRGBA16 = 4;
constexpr int32_t kPyramidGrayFloat = 5;
constexpr int32_t kPyramidRGB16 = 7;
constexpr int32_t kPyramidRGBAFloat = 9;

// Wrap modes of filtered sampling.
constexpr int32_t kPyramidClamp = 0;
constexpr int32_t kPyramidWrap = 1;
constexpr int32_t kPyramidWrapHorizontal = 2;

struct PyramidKindInfo {
    bool valid = false;
    int32_t bytesPerPixel = 0;
    int32_t channels = 0;
    float scale = 0.0f;      // the sample value of 1.0
    bool isFloat = false;    // kinds 5 and 9
    bool wideWeights = false; // 16-bit kinds: 32768-scaled filter weights
    int32_t largestSample = 0; // integer kinds: the limit of a built level
};

PyramidKindInfo pyramidKindInfo(int32_t kind);

// One level of the pyramid. Sizes include the optional one-pixel border.
struct PyramidLevel {
    int32_t width = 0;
    int32_t height = 0;
    int32_t lastColumn = 0; // width - 1
    int32_t lastRow = 0;    // height - 1
    float inverseWidth = 0.0f;  // 1 / the width without border
    float inverseHeight = 0.0f; // 1 / the height without border
    // Normalised coordinate (0..1 across the picture) to pixel coordinate
    // of this level: level-0 width / 2^level and height / 2^level.
    float scaleX = 0.0f;
    float scaleY = 0.0f;
    int32_t firstTile = 0;
    int32_t tilesPerRow = 0;
    int32_t tileRows = 0;
};

// One tile's storage: 512 pixels per row, as many rows as the level has
// inside the tile (at most 512).
struct PyramidTile {
    uint8_t* pixels = nullptr;
    int32_t rows = 0;
    size_t bytes = 0;
};

// Process-wide limit on the bytes all pictures together may hold, so that a
// picture the machine cannot hold is refused instead of being promised by
// the system and failing when touched. The default suits the build (about
// 1.5 GiB on 32-bit builds, 32 GiB on 64-bit ones).
void setPyramidStorageLimit(uint64_t bytes);
uint64_t pyramidStorageLimit();
// Bytes currently held by all pictures.
uint64_t pyramidStorageInUse();

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
    // Frees every tile.
    void release();

    bool hasStorage() const { return tileCount_ > 0; }
    int32_t kind() const { return kind_; }
    int32_t width() const { return width_; }   // level 0, without border
    int32_t height() const { return height_; } // level 0, without border
    bool border() const { return border_; }
    int32_t wrapMode() const { return wrapMode_; }
    int32_t lastLevel() const { return lastLevel_; }
    float inputScale() const { return inputScale_; }
    float outputScale() const { return outputScale_; }
    bool holdsFloat() const { return kind_ == kPyramidGrayFloat || kind_ == kPyramidRGBAFloat; }
    const PyramidKindInfo& kindInfo() const { return info_; }

    // Size of a level (with border); 0 x 0 beyond the last level.
    int32_t levelWidth(int32_t level) const;
    int32_t levelHeight(int32_t level) const;
    // The level's record, or null beyond the last level.
    const PyramidLevel* level(int32_t level) const;

    int32_t tileCount() const { return tileCount_; }
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
    friend void buildLevelTile(PyramidImage& image, int32_t level, const PixelRect& rect);

    // One level's filtered sample, before the output scale.
    FloatRGBA sampleLevel(int32_t level, float u, float v) const;

    int32_t kind_ = -1;
    PyramidKindInfo info_{};
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool border_ = false;
    int32_t wrapMode_ = kPyramidClamp;
    int32_t lastLevel_ = 0;
    float inputScale_ = 0.0f;
    float outputScale_ = 0.0f;
    PyramidLevel levels_[kPyramidMaxLevels]{};
    std::unique_ptr<PyramidTile[]> tiles_;
    int32_t tileCount_ = 0;
    uint64_t bytesHeld_ = 0;
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

// The blur level that resampling a source span of `sourceWidth` pixels into
// `destinationWidth` pixels uses: log2(ratio) - bias, limited to
// 0..lastLevel, split into its whole part and fraction.
void resampleLevel(int32_t sourceWidth, int32_t destinationWidth, float bias, int32_t lastLevel,
                   int32_t& level, float& fraction);

// Fills the destination rectangle of `destination` (level 0) from the source
// rectangle of `source` by filtered sampling at the level that matches the
// width ratio. Colours are limited to 0..1 (float destinations: colour
// channels 0..65535, alpha 0..1). The source's coarser levels must have
// been built when the destination is smaller. False when either picture
// has no storage or a rectangle is empty; the destination rectangle is
// clipped to the destination picture.
bool resampleImage(const PyramidImage& source, PyramidImage& destination, const PixelRect& sourceRect,
                   const PixelRect& destinationRect, float bias);

// Computes the pixels of level + 1 inside `rect` (level + 1 coordinates)
// from level `level`: a 6 x 6 weighted sum per pixel, fetches clamped to the
// level. Different rectangles may be built on different threads at once.
void buildLevelTile(PyramidImage& image, int32_t level, const PixelRect& rect);

// Builds every level after `firstLevel` on this thread alone and marks the
// levels built; the same pixels as the worker pool's buildLevels. False
// without storage.
bool buildLevelsHere(PyramidImage& image, int32_t firstLevel);

// The compositor's view of a picture for `image` renders: level 0 of the
// picture, with an optional origin that is subtracted from the compositor's
// coordinates.
class PyramidCompositeImage : public CompositeImage {
public:
    explicit PyramidCompositeImage(PyramidImage& image, int32_t originX = 0, int32_t originY = 0)
        : image_(image), originX_(originX), originY_(originY) {}
    FloatRGBA readPixel(int32_t x, int32_t y) const override;
    void storePixel(int32_t x, int32_t y, const FloatRGBA& c) override;
    bool holdsFloat() const override { return image_.holdsFloat(); }

private:
    PyramidImage& image_;
    int32_t originX_;
    int32_t originY_;
};
