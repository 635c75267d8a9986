#include "export/jpeg_writer.h"

#include "composite/picture/pyramid_image.h"
#include "export/byte_sink.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_codec.h"
#include "platform/file.h"

#include <algorithm>
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

// Pixels converted at a time.
constexpr int kRowPiece = 512;

struct SourceRows {
    const PyramidImage* image;
    // The same picture when its tiles go as soon as they have been read.
    PyramidImage* releasing;
    int64_t left;
    int64_t top;
    int32_t releasedTileRows;
    FloatRGBA colours[kRowPiece];
};

// The rows arrive from the top down, once each; samplePoint repeats the
// picture's edge for positions beyond it.
void readSourceRow(void* context, int y, uint8_t* rgb, int width) {
    SourceRows* rows = static_cast<SourceRows*>(context);
    const int32_t py = clampToInt32(rows->top + y);
    if (rows->releasing) {
        const int32_t tileRow =
            std::clamp(py, 0, rows->image->levelHeight(0) - 1) >> kPyramidTileShift;
        if (tileRow > rows->releasedTileRows) {
            rows->releasing->releaseTilesAbove(tileRow);
            rows->releasedTileRows = tileRow;
        }
    }
    for (int x = 0; x < width; x += kRowPiece) {
        const int count = std::min(kRowPiece, width - x);
        rows->image->samplePointRow(clampToInt32(rows->left + x), py, 0, count, rows->colours);
        uint8_t* out = rgb + 3 * x;
        for (int i = 0; i < count; ++i) {
            const FloatRGBA& c = rows->colours[i];
            out[3 * i] = jpegChannelByte(c.r);
            out[3 * i + 1] = jpegChannelByte(c.g);
            out[3 * i + 2] = jpegChannelByte(c.b);
            // Alpha is read with the pixel but a JPEG has no place for it.
        }
    }
}

// The longest stream the writer accepts: width x height x 6 bytes, plus
// the bytes of the metadata segments and of the stream's own header, which
// a small picture's six bytes per pixel might not cover. Zero when that is
// more than memory can address (with `prefix` spare bytes before it).
size_t streamLimit(int width, int height, const JpegMarkerSegments& segments, size_t prefix) {
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    const uint64_t wanted = pixels * 6 + jpegMarkerSegmentsSize(segments) + kStreamHeaderRoom;
    if (wanted > std::numeric_limits<size_t>::max() / 2 - prefix) return 0;
    return static_cast<size_t>(wanted);
}

// A request checked and its metadata built, ready to compress.
struct PreparedStream {
    int result = kJpegWriteOk; // anything else: do not compress
    int width = 0;
    int height = 0;
    JpegMarkerSegments segments;
};

PreparedStream prepareStream(JpegRequest& request) {
    PreparedStream p;
    if (!request.source) {
        p.result = kJpegNoSource;
        return p;
    }
    if (!request.source->hasStorage()) {
        p.result = kJpegNoPixelStorage;
        return p;
    }
    if (request.iptc) buildIptcBlock(*request.iptc, true);
    if (request.exif) buildExifBlock(*request.exif, true);

    p.width = jpegOutputWidth(request.rect);
    p.height = jpegOutputHeight(request.rect);
    if (p.width > kMaxSide || p.height > kMaxSide) {
        p.result = kJpegCompressionFailed;
        return p;
    }
    if (request.exif && !request.exif->bytes.empty()) {
        p.segments.exif = request.exif->bytes.data();
        p.segments.exifLength = request.exif->bytes.size();
    }
    if (request.iccProfile && request.iccLength) {
        p.segments.icc = request.iccProfile;
        p.segments.iccLength = request.iccLength;
    }
    if (request.iptc && !request.iptc->bytes.empty()) {
        p.segments.iptc = request.iptc->bytes.data();
        p.segments.iptcLength = request.iptc->bytes.size();
    }
    return p;
}

// The row reader's state for a request; null when it cannot be had.
std::unique_ptr<SourceRows> sourceRows(const JpegRequest& request) {
    std::unique_ptr<SourceRows> rows(new (std::nothrow) SourceRows);
    if (!rows) return rows;
    rows->image = request.source;
    rows->releasing = request.releaseSource == request.source ? request.releaseSource : nullptr;
    rows->left = request.rect.left;
    rows->top = request.rect.top;
    rows->releasedTileRows = -1;
    return rows;
}

enum class StreamStatus { Ok, NoBuffer, Failed };

// The writer's result for a codec status.
StreamStatus streamStatusOf(int codec) {
    if (codec == kJpegCodecOk) return StreamStatus::Ok;
    return codec == kJpegCodecNoMemory ? StreamStatus::NoBuffer : StreamStatus::Failed;
}

// Compresses a prepared request into a fresh buffer that keeps `prefix`
// bytes free in front of the stream.
int makeStream(JpegRequest& request, size_t prefix, std::unique_ptr<uint8_t[]>& buffer,
               size_t& length, StreamStatus& status) {
    length = 0;
    status = StreamStatus::Failed;
    const PreparedStream p = prepareStream(request);
    if (p.result != kJpegWriteOk) return p.result;

    const size_t capacity = streamLimit(p.width, p.height, p.segments, prefix);
    if (capacity) buffer.reset(new (std::nothrow) uint8_t[capacity + prefix]);
    const std::unique_ptr<SourceRows> rows = buffer ? sourceRows(request) : nullptr;
    if (!rows) {
        status = StreamStatus::NoBuffer;
        return kJpegWriteOk;
    }
    const int codec = compressJpeg(p.width, p.height, request.quality, p.segments, readSourceRow,
                                   rows.get(), buffer.get() + prefix, capacity, &length);
    status = streamStatusOf(codec);
    if (status == StreamStatus::Ok) return kJpegWriteOk;
    length = 0;
    return status == StreamStatus::NoBuffer ? kJpegWriteOk : kJpegCompressionFailed;
}

int writeZeroWord(File& file) {
    const uint8_t zero[4] = {0, 0, 0, 0};
    return file.write(zero, sizeof zero) == kFileOk ? kJpegWriteOk : kJpegWriteFailed;
}

bool writeToFile(void* context, const uint8_t* bytes, size_t count) {
    return static_cast<File*>(context)->write(bytes, count) == kFileOk;
}

// The stream without a header goes to the file piece by piece as it is
// made; a failure cuts the file back to where the stream began.
int streamToFile(JpegRequest& request, File& file) {
    const PreparedStream p = prepareStream(request);
    if (p.result != kJpegWriteOk) return p.result;
    const size_t limit = streamLimit(p.width, p.height, p.segments, 0);
    const std::unique_ptr<SourceRows> rows = limit ? sourceRows(request) : nullptr;
    if (!rows) return kJpegNoBuffer;
    const int64_t start = file.position();
    size_t length = 0;
    const int codec = streamJpeg(p.width, p.height, request.quality, p.segments, readSourceRow,
                                 rows.get(), writeToFile, &file, limit, &length);
    if (codec == kJpegCodecOk) return kJpegWriteOk;
    if (start >= 0 && file.seek(start) == kFileOk) file.setEndOfFile();
    if (codec == kJpegCodecOutputFailed) return kJpegWriteFailed;
    return streamStatusOf(codec) == StreamStatus::NoBuffer ? kJpegNoBuffer : kJpegCompressionFailed;
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
    if (!request.headerFlag) return streamToFile(request, file);
    std::unique_ptr<uint8_t[]> buffer;
    size_t length = 0;
    StreamStatus status;
    const int result = makeStream(request, kHeaderFormBytes, buffer, length, status);
    // A presets file stays whole without its picture: its picture block
    // says "none".
    if (status == StreamStatus::NoBuffer) return writeZeroWord(file);
    if (status != StreamStatus::Ok) {
        if (result == kJpegCompressionFailed && writeZeroWord(file) != kJpegWriteOk)
            return kJpegWriteFailed;
        return result;
    }
    uint8_t* header = buffer.get();
    putBig32(header, 1);
    putBig32(header + 4, static_cast<uint32_t>(jpegOutputWidth(request.rect)));
    putBig32(header + 8, static_cast<uint32_t>(jpegOutputHeight(request.rect)));
    putBig32(header + 12, static_cast<uint32_t>(length));
    return file.write(buffer.get(), kHeaderFormBytes + length) == kFileOk ? kJpegWriteOk
                                                                          : kJpegWriteFailed;
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
