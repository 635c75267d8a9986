// The layered PSD file of the PSD export: one layer, "layer 1", holding the
// rendered picture with its transparency, a merged image laid over a grey
// and white checkerboard, and a fixed set of image resources with the
// picture's IPTC and Exif metadata. 8-bit, 16-bit and 32-bit float files,
// from pictures of kinds 3, 4 and 9.
//
// The rows are read from the picture as they are written, through one
// buffer of kPsdWriteBuffer bytes: writing needs no memory beyond the
// picture itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qf {

class File;
class PyramidImage;
struct ExifBlock;
struct IptcBlock;

// The sides a PSD export may have.
constexpr int32_t kPsdMinimumSide = 2;
constexpr int32_t kPsdMaximumSide = 30000;
// The one buffer every byte of the file passes through.
constexpr size_t kPsdWriteBuffer = 400;

// A side as the export stores it: limited to 2..30000.
int32_t clampPsdSide(int64_t side);

enum PsdWriteResult : int {
    kPsdWriteOk = 0,
    kPsdNoPicture = 1, // no picture, no storage, or a kind other than 3, 4 or 9
    // The layer section of this size and depth does not fit the format's
    // 32-bit lengths (16-bit beyond about 536 million pixels, 32-bit beyond
    // about 268 million).
    kPsdTooLarge = 2,
    kPsdWriteFailed = -20, // the system refused a write (or no file was given)
};

struct PsdRequest {
    // The rendered layer: kind 3 (8-bit), 4 (16-bit) or 9 (float); level 0
    // is written whole.
    const PyramidImage* picture = nullptr;
    // The open output file; the document goes to its current position.
    File* file = nullptr;
    // The document's colour profile (resource 1039), or null with length 0.
    const uint8_t* iccProfile = nullptr;
    size_t iccLength = 0;
    // Metadata for resources 1028 and 1058; each is built (once) when given,
    // and its resource left out when not.
    IptcBlock* iptc = nullptr;
    ExifBlock* exif = nullptr;
};

// Bytes per sample of the file written from a picture kind: 1, 2 or 4; 0
// for a kind the writer does not take.
int32_t psdBytesPerSample(int32_t pictureKind);

// Whether a file of this size and depth fits the format's 32-bit lengths.
bool psdSizeFits(int32_t width, int32_t height, int32_t bytesPerSample);

// Writes the whole file. A PsdWriteResult; after the first failed write
// nothing more is written.
int writePsd(PsdRequest& request);

} // namespace qf
