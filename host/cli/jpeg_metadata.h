// A camera photo's metadata carried into a JPEG the module exported: the
// Exif, XMP, IPTC and ICC segments of the input JPEG (the Exif orientation
// set to upright, as the pixels were turned when read), or the input's ICC
// profile alone for other inputs, put in place of the module's own blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qf::cli {

// Whole segments (marker, length and body) in the order they go.
struct JpegMetadata {
    std::vector<std::vector<uint8_t>> segments;
    bool exif = false, xmp = false, iptc = false, icc = false;
    bool empty() const { return segments.empty(); }
};

// The metadata segments of the JPEG stream `file` (only its header need be
// there); empty for anything else. Every length is checked against the
// bytes at hand: a damaged header gives what came before the damage.
JpegMetadata jpegMetadata(const std::vector<uint8_t>& file);

// Sets the orientation of an Exif segment's first directory to 1 (the
// picture upright); false when the segment holds none that can be set.
bool setExifUpright(std::vector<uint8_t>& segment);

// The orientation in the Exif segment of the JPEG stream `file`: 1 to 8,
// or 1 when it has none (or something else there).
int exifOrientation(const std::vector<uint8_t>& file);

// The APP2 segments that carry `profile`.
std::vector<std::vector<uint8_t>> iccSegments(const std::vector<uint8_t>& profile);

// `jpeg` with `metadata`'s segments after its JFIF segment, in place of
// the segments of the same kinds it held. False (and `out` untouched) when
// `jpeg` is not a JPEG stream whose header can be read.
bool spliceJpegMetadata(const std::vector<uint8_t>& jpeg, const JpegMetadata& metadata,
                        std::vector<uint8_t>& out);

// For export: the metadata of INPUT at `inputPath` (its JPEG segments, or
// else `iccProfile`) written into the JPEG file at `outputPath` in place.
// False with `error` when the file could not be rewritten.
bool carryMetadataInto(const std::string& inputPath, const std::vector<uint8_t>& iccProfile,
                       const std::string& outputPath, std::string& error);

} // namespace qf::cli
