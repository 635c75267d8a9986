#include "export/jpeg_writer.h"

#include "composite/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_codec.h"
#include "platform/file.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace qf {

namespace {

constexpr int kMaxSide = 65500; // the format's own limit
// Room for the stream's own header: SOI, JFIF, tables, frame and scan
// headers.
constexpr uint64_t kStreamHeaderRoom = 2048;
constexpr size_t kHeaderFormBytes = 16;

int outputSide(int64_t extent) {
    if (extent < kJpegMinimumSide) return kJpegMinimumSide;
    return extent > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : static_cast<int>(extent);
}

int32_t clampToInt32(int64_t value) {
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

struct SourceRows {
    const PyramidImage* image;
    int64_t left;
    int64_t top;
};

// samplePoint repeats the picture's edge for positions beyond it.
void readSourceRow(void* context, int y, uint8_t* rgb, int width) {
    const SourceRows* rows = static_cast<const SourceRows*>(context);
    const int32_t py = clampToInt32(rows->top + y);
    for (int x = 0; x < width; ++x) {
        const FloatRGBA c = rows->image->samplePoint(clampToInt32(rows->left + x), py, 0);
        rgb[3 * x] = jpegChannelByte(c.r);
        rgb[3 * x + 1] = jpegChannelByte(c.g);
        rgb[3 * x + 2] = jpegChannelByte(c.b);
        // Alpha is read with the pixel but a JPEG has no place for it.
    }
}

void putBigEndian(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// The stream buffer: width x height x 6 bytes, plus the bytes of the
// metadata segments and of the stream's own header, which a small picture's
// six bytes per pixel might not cover; `prefix` spare bytes lead it for the
// header form. Null when it cannot be had.
std::unique_ptr<uint8_t[]> allocateStreamBuffer(int width, int height,
                                                const JpegMarkerSegments& segments, size_t prefix,
                                                size_t& capacity) {
    capacity = 0;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint64_t wanted = pixels * 6 + jpegMarkerSegmentsSize(segments) + kStreamHeaderRoom;
    if (wanted > std::numeric_limits<size_t>::max() / 2 - prefix) return nullptr;
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                          uint8_t[static_cast<size_t>(wanted) + prefix]);
    if (buffer) capacity = static_cast<size_t>(wanted);
    return buffer;
}

enum class StreamStatus { Ok, NoBuffer, Failed };

// Validates, builds the metadata and compresses into a fresh buffer that
// keeps `prefix` bytes free in front of the stream.
int makeStream(JpegRequest& request, size_t prefix, std::unique_ptr<uint8_t[]>& buffer,
               size_t& length, StreamStatus& status) {
    length = 0;
    status = StreamStatus::Failed;
    if (!request.source) return kJpegNoSource;
    if (!request.source->hasStorage()) return kJpegNoPixelStorage;
    if (request.iptc) buildIptcBlock(*request.iptc, true);
    if (request.exif) buildExifBlock(*request.exif, true);

    const int width = jpegOutputWidth(request.rect);
    const int height = jpegOutputHeight(request.rect);
    if (width > kMaxSide || height > kMaxSide) return kJpegCompressionFailed;

    JpegMarkerSegments segments;
    if (request.exif && !request.exif->bytes.empty()) {
        segments.exif = request.exif->bytes.data();
        segments.exifLength = request.exif->bytes.size();
    }
    if (request.iccProfile && request.iccLength) {
        segments.icc = request.iccProfile;
        segments.iccLength = request.iccLength;
    }
    if (request.iptc && !request.iptc->bytes.empty()) {
        segments.iptc = request.iptc->bytes.data();
        segments.iptcLength = request.iptc->bytes.size();
    }

    size_t capacity = 0;
    buffer = allocateStreamBuffer(width, height, segments, prefix, capacity);
    if (!buffer) {
        status = StreamStatus::NoBuffer;
        return kJpegWriteOk;
    }
    SourceRows rows{request.source, request.rect.left, request.rect.top};
    const int codec = compressJpeg(width, height, request.quality, segments, readSourceRow, &rows,
                                   buffer.get() + prefix, capacity, &length);
    if (codec != kJpegCodecOk) {
        length = 0;
        return kJpegCompressionFailed;
    }
    status = StreamStatus::Ok;
    return kJpegWriteOk;
}

int writeZeroWord(File& file) {
    const uint8_t zero[4] = {0, 0, 0, 0};
    return file.write(zero, sizeof zero) == kFileOk ? kJpegWriteOk : kJpegWriteFailed;
}

} // namespace

int jpegOutputWidth(const PixelRect& rect) {
    return outputSide(static_cast<int64_t>(rect.right) - rect.left);
}

int jpegOutputHeight(const PixelRect& rect) {
    return outputSide(static_cast<int64_t>(rect.bottom) - rect.top);
}

uint8_t jpegChannelByte(float value) {
    if (!(value > 0.0f)) return 0;
    if (value > 1.0f) value = 1.0f;
    return static_cast<uint8_t>(value * 255.0f);
}

int writeJpeg(JpegRequest& request) {
    if (!request.source) return kJpegNoSource;
    if (!request.source->hasStorage()) return kJpegNoPixelStorage;
    if (!request.file) return kJpegWriteFailed;
    File& file = *request.file;
    const size_t prefix = request.headerFlag ? kHeaderFormBytes : 0;
    std::unique_ptr<uint8_t[]> buffer;
    size_t length = 0;
    StreamStatus status;
    const int result = makeStream(request, prefix, buffer, length, status);
    if (status == StreamStatus::NoBuffer) {
        // A presets file stays whole without its picture; a picture file
        // with nothing in it is a failure its caller must hear of.
        return request.headerFlag ? writeZeroWord(file) : kJpegNoBuffer;
    }
    if (status != StreamStatus::Ok) {
        // Keep a presets file readable: its picture block says "none".
        if (request.headerFlag && result == kJpegCompressionFailed &&
            writeZeroWord(file) != kJpegWriteOk) {
            return kJpegWriteFailed;
        }
        return result;
    }
    if (request.headerFlag) {
        uint8_t* header = buffer.get();
        putBigEndian(header, 1);
        putBigEndian(header + 4, static_cast<uint32_t>(jpegOutputWidth(request.rect)));
        putBigEndian(header + 8, static_cast<uint32_t>(jpegOutputHeight(request.rect)));
        putBigEndian(header + 12, static_cast<uint32_t>(length));
    }
    return file.write(buffer.get(), prefix + length) == kFileOk ? kJpegWriteOk : kJpegWriteFailed;
}

int encodeJpeg(JpegRequest& request, std::vector<uint8_t>& stream) {
    stream.clear();
    std::unique_ptr<uint8_t[]> buffer;
    size_t length = 0;
    StreamStatus status;
    const int result = makeStream(request, 0, buffer, length, status);
    if (status == StreamStatus::NoBuffer) return kJpegNoBuffer;
    if (status != StreamStatus::Ok) return result;
    try {
        stream.assign(buffer.get(), buffer.get() + length);
    } catch (...) {
        return kJpegNoBuffer;
    }
    return kJpegWriteOk;
}

} // namespace qf
