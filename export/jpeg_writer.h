// The one JPEG writer behind every JPEG the plug-in makes: the HTML
// thumbnails, the JPEG export and the pictures inside presets files. It
// compresses a picture held in memory with the writer's own quantization
// tables, and puts a comment with the maker's web address, an Exif segment
// naming the software, the ICC profile when one is given and an IPTC
// segment with caption, date and keywords into the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "values/pixel_types.h"

namespace qf {

class File;
class PyramidImage;
struct ExifBlock;
struct IptcBlock;

enum JpegWriteResult : int {
    kJpegWriteOk = 0,
    kJpegNoSource = 1,       // no picture given
    kJpegNoPixelStorage = 2, // the picture holds no pixels
    // The library could not make the stream (a size beyond the format's
    // 65500 pixels, or a stream longer than six bytes a pixel and the
    // headers). With the header flag a single zero word was written in its
    // place.
    kJpegCompressionFailed = 4,
    // The memory for the compression could not be had (writeJpeg without
    // the header flag, and encodeJpeg).
    kJpegNoBuffer = 5,
    kJpegWriteFailed = -20, // the system refused the write (or no file was given)
};

// The writer's single argument.
struct JpegRequest {
    // The picture and the part of it to write (top, left, bottom, right;
    // bottom and right exclusive). Width and height are raised to at least
    // 16; pixels beyond the picture repeat its edge.
    const PyramidImage* source = nullptr;
    PixelRect rect{0, 0, 0, 0};
    // The open output file; the stream goes to its current position.
    File* file = nullptr;
    // Precede the stream with four big-endian 32-bit integers: 1, width,
    // height (both as raised to 16) and the stream length. This is the
    // picture block of a presets file.
    bool headerFlag = false;
    // 0..99; below 0 counts as 0 and 100 or more as 99.
    int quality = 80;
    // An ICC profile to embed, or null with length 0.
    const uint8_t* iccProfile = nullptr;
    size_t iccLength = 0;
    // Metadata blocks to embed; each is built (once) when given.
    IptcBlock* iptc = nullptr;
    ExifBlock* exif = nullptr;
    // The source once more, when its owner needs it no more: its tiles are
    // freed as soon as the compressor has read past them, so that the
    // picture and the compressor's own copy of it are not held in full
    // together. Afterwards only release() or create() may be used on it.
    PyramidImage* releaseSource = nullptr;
};

// The smallest side the writer compresses.
constexpr int kJpegMinimumSide = 16;

// The width and height the writer compresses for a request rectangle:
// each at least 16.
int jpegOutputWidth(const PixelRect& rect);
int jpegOutputHeight(const PixelRect& rect);

// The byte of one channel as the writer stores it: the value limited to
// 0..1 (not-a-number as 0), times 255, truncated.
uint8_t jpegChannelByte(float value);

// Writes the request's picture. Returns a JpegWriteResult. Without the
// header flag the stream goes to the file as it is made; when it fails
// half-way the file is cut back to where the stream began (kJpegNoBuffer
// when memory ran out, kJpegWriteFailed when a write failed). With the
// header flag the stream is made in memory first; when the memory cannot
// be had one zero word is written in its place (the picture block of a
// presets file without a picture) and its write result returned.
int writeJpeg(JpegRequest& request);

// Makes the stream alone, into `stream` (the file and the header flag of
// the request are not used). kJpegWriteOk, kJpegNoSource,
// kJpegNoPixelStorage or kJpegCompressionFailed.
int encodeJpeg(JpegRequest& request, std::vector<uint8_t>& stream);

} // namespace qf
