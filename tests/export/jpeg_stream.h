// Test helpers: walking the marker segments of a JPEG stream, and making
// streams of kinds our writer never makes (grey, CMYK, progressive) with the
// library directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace qf {}
using namespace qf;

struct JpegSegment {
    int marker = 0;               // the byte after 0xFF
    size_t offset = 0;            // of the 0xFF
    std::vector<uint8_t> payload; // without marker and length field
};

// The segments from SOI up to and including the first SOS (whose payload is
// its header only). Stops early on anything malformed.
inline std::vector<JpegSegment> jpegSegments(const uint8_t* data, size_t size) {
    std::vector<JpegSegment> segments;
    size_t pos = 0;
    while (pos + 2 <= size) {
        if (data[pos] != 0xFF) break;
        JpegSegment segment;
        segment.marker = data[pos + 1];
        segment.offset = pos;
        if (segment.marker == 0xD8 || segment.marker == 0xD9) {
            segments.push_back(segment);
            pos += 2;
            if (segment.marker == 0xD9) break;
            continue;
        }
        if (pos + 4 > size) break;
        const size_t length = (size_t(data[pos + 2]) << 8) | data[pos + 3];
        if (length < 2 || pos + 2 + length > size) break;
        segment.payload.assign(data + pos + 4, data + pos + 2 + length);
        segments.push_back(segment);
        pos += 2 + length;
        if (segment.marker == 0xDA) break;
    }
    return segments;
}

inline std::vector<JpegSegment> jpegSegments(const std::vector<uint8_t>& stream) {
    return jpegSegments(stream.data(), stream.size());
}

// Zig-zag position k -> natural (row-major) index.
constexpr int kZigZagToNatural[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The 8-bit quantization tables of the stream's DQT segments, in natural
// order, by table number.
inline bool jpegQuantTables(const std::vector<uint8_t>& stream, int (&tables)[4][64],
                            bool (&present)[4]) {
    for (bool& p : present) p = false;
    for (const JpegSegment& s : jpegSegments(stream)) {
        if (s.marker != 0xDB) continue;
        size_t pos = 0;
        while (pos < s.payload.size()) {
            const int precision = s.payload[pos] >> 4;
            const int id = s.payload[pos] & 15;
            if (precision != 0 || id > 3 || pos + 65 > s.payload.size()) return false;
            for (int k = 0; k < 64; ++k) tables[id][kZigZagToNatural[k]] = s.payload[pos + 1 + k];
            present[id] = true;
            pos += 65;
        }
    }
    return true;
}

// Makes a stream with the library itself: `components` 1 (grey), 3 (RGB in,
// YCbCr out) or 4 (CMYK), optionally progressive. `pixels` holds
// width x height x components bytes.
inline std::vector<uint8_t> libraryJpeg(int width, int height, int components, bool progressive,
                                        const std::vector<uint8_t>& pixels) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 3 ? JCS_RGB : JCS_CMYK);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(pixels.data() + size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> stream(buffer, buffer + size);
    free(buffer);
    return stream;
}
