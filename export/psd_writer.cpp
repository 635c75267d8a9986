#include "export/psd_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "composite/picture/pyramid_image.h"
#include "composite/picture/pyramid_kind_traits.h"
#include "export/byte_sink.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/maker.h"
#include "platform/file.h"

namespace qf {

namespace {

// Big-endian output through the one bounded buffer. Without a file it only
// counts (the dry run that learns a section's length).
class PsdStream {
  public:
    explicit PsdStream(File* file) : file_(file) {}
    PsdStream(const PsdStream&) = delete;
    PsdStream& operator=(const PsdStream&) = delete;

    void byte(uint8_t value) {
        if (fill_ == kPsdWriteBuffer) flush();
        buffer_[fill_++] = value;
        ++count_;
    }
    void u16(uint32_t value) {
        byte(uint8_t(value >> 8));
        byte(uint8_t(value));
    }
    void u32(uint32_t value) {
        u16(value >> 16);
        u16(value & 0xFFFF);
    }
    void bytes(const void* data, size_t length) {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        while (length > 0) {
            if (fill_ == kPsdWriteBuffer) flush();
            const size_t n = std::min(length, kPsdWriteBuffer - fill_);
            std::memcpy(buffer_ + fill_, p, n);
            fill_ += n;
            count_ += n;
            p += n;
            length -= n;
        }
    }
    void text(const char* s) { bytes(s, std::strlen(s)); }
    void zeros(size_t n) {
        while (n--) byte(0);
    }

    // Room for `n` bytes (n <= the buffer) at the buffer's end, flushing
    // first when it lacks them; the caller fills them and calls advance(n).
    uint8_t* room(size_t n) {
        if (kPsdWriteBuffer - fill_ < n) flush();
        return buffer_ + fill_;
    }
    void advance(size_t n) {
        fill_ += n;
        count_ += n;
    }

    // Writes what is buffered; the first failure of the whole file.
    int finish() {
        flush();
        return status_;
    }
    bool failed() const { return status_ != kFileOk; }
    uint64_t count() const { return count_; }

  private:
    void flush() {
        if (file_ && fill_ > 0 && status_ == kFileOk) status_ = file_->write(buffer_, fill_);
        fill_ = 0;
    }

    File* file_;
    uint8_t buffer_[kPsdWriteBuffer];
    size_t fill_ = 0;
    uint64_t count_ = 0;
    int status_ = kFileOk;
};

// The picture's samples are read as its own code reads them.
using pyramid_detail::load16;
using pyramid_detail::load32;

// The colour-mode data of a 32-bit file.
constexpr uint8_t kFloatColourModeData[74] = {
    0x68, 0x64, 0x72, 0x74, 0x00, 0x00, 0x00, 0x03, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x08, 0x00, 0x44, 0x00, 0x65, 0x00, 0x66, 0x00, 0x61, 0x00, 0x75,
    0x00, 0x6C, 0x00, 0x74, 0x00, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0x00, 0xFF, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x41, 0x80,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x80, 0x00, 0x00};

// Resource 1001's sixty values.
constexpr int16_t kPrintInfo[60] = {
    40, 0,   72,   72,  0, 0, 743,  594,  -9,   -9,   783,  603,   8194, 1320,  1020,
    0,  0,   360,  360, 0, 0, 3715, 2970, 372,  50,   2970, 18600, 75,   1,     257,
    0,  1,   9999, 1,   1, 0, 0,    0,    0,    0,    0,    0,     0,    0,     0,
    1,  100, 768,  0,   0, 0, 515,  8369, 1024, 4608, 768,  17664, 0,    13892, 24864};

// The layer mask block of a 32-bit file, with its two padding bytes.
constexpr uint8_t kFloatLayerMask[16] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0x32, 0x80, 0x00, 0x00, 0x00};

constexpr char kLayerName[] = "layer 1";

// The layer name as a Pascal string padded to a multiple of 4 bytes.
constexpr uint32_t kNameFieldBytes = (1 + sizeof(kLayerName) - 1 + 3) / 4 * 4;
constexpr uint32_t kLayerExtraBytes = 48 + kNameFieldBytes;
// top, left, bottom, right; channel count; 4 channels of id and length;
// "8BIM", blend key, opacity, clipping, flags, filler; extra-data length.
constexpr uint32_t kLayerRecordBytes = 16 + 2 + 4 * 6 + 4 + 4 + 4 + 4 + kLayerExtraBytes;

uint64_t channelBytes(int32_t width, int32_t height, int32_t bytesPerSample) {
    return uint64_t(bytesPerSample) * uint64_t(width) * uint64_t(height) + 2;
}

// The layer info: count, record, the four channels.
uint64_t layerInfoBytes(int32_t width, int32_t height, int32_t bytesPerSample) {
    return 2 + kLayerRecordBytes + 4 * channelBytes(width, height, bytesPerSample);
}

// Zero bytes after the layer info of 16-bit and 32-bit files, so that it
// ends on a multiple of 4 counted from its length field.
uint32_t layerInfoPadding(uint64_t infoBytes) {
    return uint32_t((4 - (4 + infoBytes) % 4) % 4);
}

// The layer and mask section's length (without its own length field).
uint64_t layerSectionBytes(int32_t width, int32_t height, int32_t bytesPerSample) {
    const uint64_t info = layerInfoBytes(width, height, bytesPerSample);
    if (bytesPerSample == 1) return 4 + info + 4;
    uint64_t n = 4 + 4 + 12 + 12 + info + layerInfoPadding(info);
    if (bytesPerSample == 4) n += 12 + sizeof kFloatLayerMask + 12;
    return n;
}

void resourceHeader(PsdStream& out, uint16_t id, uint32_t length) {
    out.text("8BIM");
    out.u16(id);
    out.u16(0); // empty name
    out.u32(length);
}

void resource(PsdStream& out, uint16_t id, const void* data, uint32_t length) {
    resourceHeader(out, id, length);
    out.bytes(data, length);
    if (length % 2) out.byte(0);
}

// The payload of a block built with or without its segment header.
void skipHeader(const uint8_t*& data, size_t& length, const char* header, size_t headerBytes) {
    if (length >= headerBytes && std::memcmp(data, header, headerBytes) == 0) {
        data += headerBytes;
        length -= headerBytes;
    }
}

void imageResources(PsdStream& out, const PsdRequest& r, int32_t bytesPerSample) {
    uint8_t printInfo[120];
    for (size_t i = 0; i < 60; ++i) putBig16(printInfo + 2 * i, uint16_t(kPrintInfo[i]));
    resource(out, 1001, printInfo, sizeof printInfo);

    uint8_t resolution[16];
    putBig32(resolution, 72u << 16);
    putBig16(resolution + 4, 1);
    putBig16(resolution + 6, 1);
    putBig32(resolution + 8, 72u << 16);
    putBig16(resolution + 12, 1);
    putBig16(resolution + 14, 1);
    resource(out, 1005, resolution, sizeof resolution);

    const uint8_t printFlags[9] = {0, 0, 0, 0, 0, 0, 0, 0, 1};
    resource(out, 1011, printFlags, sizeof printFlags);

    uint8_t transfer[112];
    for (size_t f = 0; f < 4; ++f) {
        uint8_t* p = transfer + 28 * f;
        putBig16(p, 0);
        for (size_t i = 1; i < 12; ++i) putBig16(p + 2 * i, 0xFFFF);
        putBig16(p + 24, 1000);
        putBig16(p + 26, 0); // override flag
    }
    resource(out, 1016, transfer, sizeof transfer);

    resource(out, 1035, kMakerWebAddress, uint32_t(std::strlen(kMakerWebAddress)));

    if (r.iccProfile && r.iccLength > 0) resource(out, 1039, r.iccProfile, uint32_t(r.iccLength));

    if (r.iptc && !r.iptc->bytes.empty()) {
        // The block begins with its own resource header (id 1028).
        const uint8_t* data = r.iptc->bytes.data();
        size_t length = r.iptc->bytes.size();
        skipHeader(data, length, "Photoshop 3.0", 14);
        out.bytes(data, length);
        if (length % 2) out.byte(0);
    }
    if (r.exif && !r.exif->bytes.empty()) {
        const uint8_t* data = r.exif->bytes.data();
        size_t length = r.exif->bytes.size();
        skipHeader(data, length, "Exif\0", 6);
        resource(out, 1058, data, uint32_t(length));
    }
    if (bytesPerSample == 4) {
        const uint8_t floatInfo[6] = {0x00, 0x01, 0x00, 0x00, 0x00, 0x0C};
        resource(out, 1069, floatInfo, sizeof floatInfo);
        const uint8_t layerFlags[1] = {1};
        resource(out, 1072, layerFlags, sizeof layerFlags);
    }
    const uint8_t layerState[2] = {0, 1};
    resource(out, 1024, layerState, sizeof layerState);
    const uint8_t layerGroups[2] = {0, 0};
    resource(out, 1026, layerGroups, sizeof layerGroups);
}

void layerRecord(PsdStream& out, int32_t width, int32_t height, int32_t bytesPerSample) {
    out.u32(0);
    out.u32(0);
    out.u32(uint32_t(height));
    out.u32(uint32_t(width));
    out.u16(4);
    const uint32_t length = uint32_t(channelBytes(width, height, bytesPerSample));
    for (const uint16_t id : {uint16_t(0xFFFF), uint16_t(0), uint16_t(1), uint16_t(2)}) {
        out.u16(id);
        out.u32(length);
    }
    out.text("8BIM");
    out.text("norm");
    out.byte(255);                          // opacity
    out.byte(0);                            // clipping
    out.byte(bytesPerSample == 4 ? 8 : 40); // flags
    out.byte(0);
    out.u32(kLayerExtraBytes);
    out.u32(0); // no layer mask
    out.u32(40);
    for (int i = 0; i < 5; ++i) {
        const uint8_t range[8] = {0, 0, 255, 255, 0, 0, 255, 255};
        out.bytes(range, sizeof range);
    }
    out.byte(uint8_t(sizeof(kLayerName) - 1));
    out.text(kLayerName);
    out.zeros(kNameFieldBytes - sizeof(kLayerName));
}

// Which plane of the picture a plane of the file shows.
enum class PlaneSource {
    Layer,  // the sample as it is
    Merged, // the sample laid over the checkerboard
};

// The checkerboard's squares: 8 pixels, white where (x xor y) AND 8 is 0.
inline bool whiteSquare(int32_t x, int32_t y) {
    return ((x ^ y) & 8) == 0;
}

// Writes one row of one plane: `channel` 0..3 (red, green, blue, alpha) of
// row y, as the file's samples.
void planeRow(PsdStream& out, const PyramidImage& picture, int32_t bytesPerSample, int32_t channel,
              PlaneSource source, int32_t y) {
    const int32_t width = picture.width();
    const size_t perRoom = kPsdWriteBuffer / size_t(bytesPerSample);
    int32_t x = 0;
    while (x < width) {
        // A run inside one tile and one buffer's room.
        const int32_t tileLeft = kPyramidTileSide - (x & (kPyramidTileSide - 1));
        const int32_t run =
            int32_t(std::min<int64_t>({int64_t(width - x), int64_t(tileLeft), int64_t(perRoom)}));
        const size_t runBytes = size_t(run) * size_t(bytesPerSample);
        uint8_t* dst = out.room(runBytes);
        const uint8_t* src = picture.pixelAddress(x, y, 0);
        if (bytesPerSample == 1) {
            const uint32_t shift = uint32_t(24 - 8 * channel);
            for (int32_t i = 0; i < run; ++i) {
                const uint32_t word = load32(src + 4 * size_t(i));
                const uint32_t c = (word >> shift) & 0xFF;
                if (source == PlaneSource::Layer) {
                    dst[i] = uint8_t(c);
                } else {
                    const uint32_t a = word & 0xFF;
                    const uint32_t checker = whiteSquare(x + i, y) ? 255 : 204;
                    dst[i] = uint8_t(((255 - a) * checker + c * a) / 255);
                }
            }
        } else if (bytesPerSample == 2) {
            for (int32_t i = 0; i < run; ++i) {
                const uint8_t* p = src + 8 * size_t(i);
                uint32_t v = std::min<uint32_t>(load16(p + 2 * channel), 32768);
                if (source == PlaneSource::Merged) {
                    const uint32_t a = std::min<uint32_t>(load16(p + 6), 32768);
                    const uint32_t checker = whiteSquare(x + i, y) ? 32640 : 26112;
                    v = (checker * (32768 - a) + a * v) >> 15;
                }
                putBig16(dst + 2 * size_t(i), uint16_t(v >= 32768 ? 65535 : 2 * v));
            }
        } else {
            for (int32_t i = 0; i < run; ++i)
                putBig32(dst + 4 * size_t(i), load32(src + 16 * size_t(i) + 4 * size_t(channel)));
        }
        out.advance(runBytes);
        x += run;
        if (out.failed()) return;
    }
}

void plane(PsdStream& out, const PyramidImage& picture, int32_t bytesPerSample, int32_t channel,
           PlaneSource source) {
    for (int32_t y = 0; y < picture.height() && !out.failed(); ++y)
        planeRow(out, picture, bytesPerSample, channel, source, y);
}

void layerInfo(PsdStream& out, const PyramidImage& picture, int32_t bytesPerSample) {
    out.u16(1); // layer count
    layerRecord(out, picture.width(), picture.height(), bytesPerSample);
    for (const int32_t channel : {3, 0, 1, 2}) {
        out.u16(0); // raw
        plane(out, picture, bytesPerSample, channel, PlaneSource::Layer);
    }
}

void layerSection(PsdStream& out, const PyramidImage& picture, int32_t bytesPerSample) {
    const int32_t w = picture.width(), h = picture.height();
    const uint64_t info = layerInfoBytes(w, h, bytesPerSample);
    out.u32(uint32_t(layerSectionBytes(w, h, bytesPerSample)));
    if (bytesPerSample == 1) {
        out.u32(uint32_t(info));
        layerInfo(out, picture, bytesPerSample);
        out.u32(0); // no global layer mask
        return;
    }
    const bool isFloat = bytesPerSample == 4;
    out.u32(0); // the layers are in the block below
    out.u32(0); // no global layer mask
    out.text("8BIM");
    out.text(isFloat ? "Mt32" : "Mt16");
    out.u32(0);
    out.text("8BIM");
    out.text(isFloat ? "Lr32" : "Lr16");
    out.u32(uint32_t(info));
    layerInfo(out, picture, bytesPerSample);
    out.zeros(layerInfoPadding(info));
    if (isFloat) {
        out.text("8BIM");
        out.text("LMsk");
        out.u32(14);
        out.bytes(kFloatLayerMask, sizeof kFloatLayerMask);
        out.text("8BIM");
        out.text("Pat3");
        out.u32(0);
    }
}

void mergedImage(PsdStream& out, const PyramidImage& picture, int32_t bytesPerSample) {
    out.u16(0); // raw
    if (bytesPerSample == 4) {
        for (const int32_t channel : {0, 1, 2, 3})
            plane(out, picture, bytesPerSample, channel, PlaneSource::Layer);
        return;
    }
    for (const int32_t channel : {0, 1, 2, 3})
        plane(out, picture, bytesPerSample, channel, PlaneSource::Merged);
    if (bytesPerSample == 2) plane(out, picture, bytesPerSample, 3, PlaneSource::Merged);
}

} // namespace

int32_t clampPsdSide(int64_t side) {
    return int32_t(std::clamp<int64_t>(side, kPsdMinimumSide, kPsdMaximumSide));
}

int32_t psdBytesPerSample(int32_t pictureKind) {
    switch (pictureKind) {
    case kPyramidRGBA8:
        return 1;
    case kPyramidRGBA16:
        return 2;
    case kPyramidRGBAFloat:
        return 4;
    default:
        return 0;
    }
}

bool psdSizeFits(int32_t width, int32_t height, int32_t bytesPerSample) {
    if (width < 1 || height < 1 || bytesPerSample < 1) return false;
    return layerSectionBytes(width, height, bytesPerSample) <= 0xFFFFFFFFu;
}

int writePsd(PsdRequest& request) {
    const PyramidImage* picture = request.picture;
    if (!picture || !picture->hasStorage()) return kPsdNoPicture;
    const int32_t bytesPerSample = psdBytesPerSample(picture->kind());
    if (bytesPerSample == 0) return kPsdNoPicture;
    const int32_t width = picture->width(), height = picture->height();
    if (!psdSizeFits(width, height, bytesPerSample)) return kPsdTooLarge;
    if (!request.file) return kPsdWriteFailed;
    if (request.iptc) buildIptcBlock(*request.iptc, false);
    if (request.exif) buildExifBlock(*request.exif, false);

    PsdStream out(request.file);
    out.text("8BPS");
    out.u16(1);
    out.zeros(6);
    out.u16(bytesPerSample == 2 ? 4 : 3);
    out.u32(uint32_t(height));
    out.u32(uint32_t(width));
    out.u16(uint32_t(8 * bytesPerSample));
    out.u16(3); // RGB

    if (bytesPerSample == 4) {
        out.u32(sizeof kFloatColourModeData);
        out.bytes(kFloatColourModeData, sizeof kFloatColourModeData);
    } else {
        out.u32(0);
    }

    PsdStream counter(nullptr);
    imageResources(counter, request, bytesPerSample);
    out.u32(uint32_t(counter.count()));
    imageResources(out, request, bytesPerSample);

    layerSection(out, *picture, bytesPerSample);
    mergedImage(out, *picture, bytesPerSample);
    return out.finish();
}

} // namespace qf
