#include "export/exif_block.h"

#include "export/byte_sink.h"
#include "export/maker.h"

namespace qf {

namespace {

constexpr uint16_t kTagSoftware = 305;
constexpr uint16_t kTypeAscii = 2;

} // namespace

size_t writeExifBlock(bool withHeader, uint8_t* out) {
    ByteSink sink(out);
    if (withHeader) {
        sink.text("Exif");
        sink.byte(0);
        sink.byte(0);
    }
    // TIFF header: big-endian byte order, the magic 42, the first directory
    // right after the header. Offsets count from the "MM".
    constexpr uint32_t kDirectoryOffset = 8;
    constexpr uint32_t kValueOffset = kDirectoryOffset + 2 + 12 + 4;
    sink.text("MM");
    sink.u16(42);
    sink.u32(kDirectoryOffset);
    // One directory with one entry, then the end of the directory chain.
    sink.u16(1);
    sink.u16(kTagSoftware);
    sink.u16(kTypeAscii);
    sink.u32(sizeof kSoftwareName); // the characters and the final zero
    sink.u32(kValueOffset);
    sink.u32(0);
    sink.bytes(kSoftwareName, sizeof kSoftwareName);
    return sink.count();
}

void buildExifBlock(ExifBlock& block, bool withHeader) {
    if (!block.bytes.empty()) return;
    block.bytes.reserve(1000);
    block.bytes.resize(writeExifBlock(withHeader, nullptr));
    writeExifBlock(withHeader, block.bytes.data());
}

} // namespace qf
