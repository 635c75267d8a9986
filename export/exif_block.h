// The Exif segment of the JPEG writer: a big-endian TIFF structure with one
// directory entry naming the software.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

struct ExifBlock {
    // The built block; empty until built.
    std::vector<uint8_t> bytes;
};

// Writes the Exif payload into `out` (null: a dry run that only counts) and
// returns its length in bytes. With `withHeader` it begins with "Exif" and
// two zero bytes, as an APP1 segment's payload does.
size_t writeExifBlock(bool withHeader, uint8_t* out);

// Fills `block` once: a block that already holds data stays unchanged.
void buildExifBlock(ExifBlock& block, bool withHeader);

} // namespace qf
