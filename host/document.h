// A document as the host holds it: one layer of gray, RGB or multichannel
// pixels at 8, 16 or 32 bits per channel, an optional transparency plane and
// an optional 8-bit selection mask.
//
// Samples are stored interleaved, one pixel after another, colour channels
// first and the transparency last. Their units are the host's: 8-bit 0..255,
// 16-bit 0..32768, 32-bit float nominally 0..1.
#pragma once

#include "plugin/host_api.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qf::host {

enum class ColorModel { gray, rgb, multichannel };

// How the transparency plane reaches a filter: not at all (no plane),
// editable (delivered as the last plane) or protected (kept by the host).
enum class Transparency { none, editable, locked };

class Document {
  public:
    Document() = default;

    // A new document with every sample 0 (transparency fully opaque). Returns
    // an invalid document and sets `error` for impossible formats and sizes or
    // when memory runs out. `channels` counts the colour channels of a
    // multichannel document (1..16); gray and RGB ignore it.
    static Document make(int32_t width, int32_t height, ColorModel model, int depth,
                         Transparency transparency = Transparency::none,
                         std::string* error = nullptr, int channels = 2);

    bool valid() const { return width_ > 0; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    ColorModel model() const { return model_; }
    int depth() const { return depth_; }
    int bytesPerSample() const { return depth_ / 8; }
    Transparency transparency() const { return transparency_; }
    int colorChannels() const { return colors_; }
    int channels() const { return colors_ + (transparency_ == Transparency::none ? 0 : 1); }
    size_t pixelBytes() const { return size_t(channels()) * size_t(bytesPerSample()); }
    size_t rowBytes() const { return size_t(width_) * pixelBytes(); }

    // What the filter record reports for this document.
    int16_t imageMode() const;
    int16_t planes() const; // colour channels, plus the transparency when editable
    int16_t filterCase() const;

    // Full-scale sample value: 255, 32768 or 1.0.
    double maxSample() const;
    // Opaque transparency in the host's units.
    double opaque() const { return maxSample(); }

    uint8_t* row(int32_t y) { return bytes_.data() + size_t(y) * rowBytes(); }
    const uint8_t* row(int32_t y) const { return bytes_.data() + size_t(y) * rowBytes(); }
    std::vector<uint8_t>& bytes() { return bytes_; }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // One sample in host units; channel `c` counts the transparency last.
    // Coordinates are not checked beyond debug builds' asserts.
    double sample(int32_t x, int32_t y, int c) const;
    void setSample(int32_t x, int32_t y, int c, double value);
    // Every pixel set to these channel values (missing values are 0).
    void fill(const std::vector<double>& values);

    // Selection mask, one byte per pixel, 255 fully selected.
    bool setMask(std::vector<uint8_t> mask); // false when the size does not match
    void clearMask() { mask_.clear(); }
    bool hasMask() const { return !mask_.empty(); }
    uint8_t maskAt(int32_t x, int32_t y) const {
        return mask_[size_t(y) * size_t(width_) + size_t(x)];
    }
    std::vector<uint8_t>& mask() { return mask_; }
    const std::vector<uint8_t>& mask() const { return mask_; }
    // Bounds of the selected pixels; the whole document without a mask. An
    // empty rectangle when the mask selects nothing.
    VRect selectionBounds() const;

  private:
    int32_t width_ = 0;
    int32_t height_ = 0;
    ColorModel model_ = ColorModel::rgb;
    int depth_ = 8;
    int colors_ = 3;
    Transparency transparency_ = Transparency::none;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> mask_;
};

} // namespace qf::host
