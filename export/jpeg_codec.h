// The JPEG library behind one narrow door: compression of RGB rows into a
// memory buffer, or out through a writer as the stream is made, with the
// writer's tables and marker segments, and
// decompression of a stream held in memory into RGB or grey rows.
//
// The library's fatal errors unwind to these functions and become result
// codes; the process never ends and nothing is thrown. Both directions
// hand rows through a callback so no C++ object lives across the library's
// error unwinding.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qf {

enum JpegCodecStatus : int {
    kJpegCodecOk = 0,
    kJpegCodecBadArgument = 1,    // sizes out of range, missing callback or buffer
    kJpegCodecLibraryError = 2,   // the library stopped with a fatal error (corrupt data...)
    kJpegCodecStreamTooLarge = 3, // the compressed stream did not fit the buffer
    kJpegCodecUnsupported = 4,    // a stream the decoder does not turn into a picture
    kJpegCodecTooBig = 5,         // a picture beyond the caller's limits
    kJpegCodecNoMemory = 6,       // the memory for the compression could not be had
    kJpegCodecOutputFailed = 7,   // the stream's receiver refused bytes
};

// The extra segments written after the stream header: the maker's address
// as a comment (always), then Exif (APP1), the ICC profile (APP2 chunks)
// and the IPTC block (APP13), each only when given and not empty.
struct JpegMarkerSegments {
    const uint8_t* exif = nullptr;
    size_t exifLength = 0;
    const uint8_t* icc = nullptr;
    size_t iccLength = 0;
    const uint8_t* iptc = nullptr;
    size_t iptcLength = 0;
};

// Fills row `y` (0 = top) with `width` pixels of three bytes: red, green,
// blue. Must not throw.
using JpegRowReader = void (*)(void* context, int y, uint8_t* rgb, int width);

// The longest payload one marker segment can carry (its length field
// counts itself).
constexpr size_t kJpegMaxSegmentPayload = 65533;
// Profile bytes per APP2 chunk, and the most chunks a profile can use.
constexpr size_t kIccChunkCapacity = 65519;
constexpr size_t kIccMaxChunks = 255;

// The bytes the marker segments add to a stream (their markers and length
// fields included), for sizing the stream buffer.
size_t jpegMarkerSegmentsSize(const JpegMarkerSegments& segments);

// Compresses a width x height RGB picture (each 1..65500) at `quality`
// (clamped to 0..99) into `out`, which holds `capacity` bytes. On success
// `*length` is the stream length. A stream that would not fit is
// abandoned: nothing is written beyond `capacity` and the result is
// kJpegCodecStreamTooLarge. kJpegCodecNoMemory when the library's working
// memory (for a large picture the whole picture's coefficients) cannot be
// had.
int compressJpeg(int width, int height, int quality, const JpegMarkerSegments& segments,
                 JpegRowReader readRow, void* context, uint8_t* out, size_t capacity,
                 size_t* length);

// Takes the next `count` bytes of the stream. Returns false when they
// cannot be kept, which ends the compression. Must not throw.
using JpegByteWriter = bool (*)(void* context, const uint8_t* bytes, size_t count);

// Compresses as compressJpeg does but hands the stream on in pieces as it
// is made instead of keeping it whole: the same bytes, `*length` of them in
// all. A stream longer than `limit` bytes is abandoned
// (kJpegCodecStreamTooLarge) once it outgrows the limit; kJpegCodecOutputFailed when
// `write` refused a piece. Either way some bytes may have been handed on.
int streamJpeg(int width, int height, int quality, const JpegMarkerSegments& segments,
               JpegRowReader readRow, void* context, JpegByteWriter write, void* writeContext,
               size_t limit, size_t* length);

// What a decoded stream turns into.
struct JpegPictureInfo {
    int width = 0;
    int height = 0;
    int components = 0; // 3: rows are red, green, blue; 1: rows are grey
};

// Receives row `y` of the decoded picture: `width` pixels of
// `components` bytes. Returns false to stop decoding early (the rows the
// caller wants have arrived). Must not throw.
using JpegRowWriter = bool (*)(void* context, int y, const uint8_t* samples, int width,
                               int components);

// Limits of a decoder run against hostile streams.
struct JpegDecodeLimits {
    int64_t maxPixels = 1 << 20;        // width x height of the stream's frame
    int maxScans = 64;                  // scans of a progressive stream
    long maxMemory = 64L * 1024 * 1024; // what the library may allocate
};

// Decodes the stream `data` (`size` bytes). Streams of 3 components give
// RGB rows, of 1 component grey rows; any other stream is
// kJpegCodecUnsupported. `info`, when given, receives the picture's size
// as soon as the header has been read. Damaged image data that the library
// can pass over (a cut-short stream, say) still decodes, the missing part
// filled in by the library.
int decompressJpeg(const uint8_t* data, size_t size, const JpegDecodeLimits& limits,
                   JpegRowWriter writeRow, void* context, JpegPictureInfo* info);

} // namespace qf
