#include "export/jpeg_codec.h"
#include "export/jpeg_tables.h"
#include "export/maker.h"
#include "jpeg_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// An RGB picture held in memory, handed to the compressor row by row.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    int rowsRead = 0;

    static void readRow(void* context, int y, uint8_t* rgb, int width) {
        RgbPicture* p = static_cast<RgbPicture*>(context);
        std::memcpy(rgb, p->pixels.data() + size_t(y) * p->width * 3, size_t(width) * 3);
        ++p->rowsRead;
    }
};

// A smooth ramp, or (with a seed) noise that compresses badly.
RgbPicture picture(int width, int height, unsigned noiseSeed = 0) {
    RgbPicture p{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
    unsigned state = noiseSeed;
    for (size_t i = 0; i < p.pixels.size(); ++i) {
        const int x = int(i / 3 % width), y = int(i / 3 / width), c = int(i % 3);
        state = state * 214013u + 2531011u;
        const int ramp = c == 0 ? x * 255 / (width - 1) : (c == 1 ? y * 255 / (height - 1) : 128);
        p.pixels[i] = noiseSeed ? uint8_t(state >> 16) : uint8_t(ramp);
    }
    return p;
}

std::vector<uint8_t> compress(RgbPicture& p, int quality, const JpegMarkerSegments& segments = {}) {
    std::vector<uint8_t> buffer(size_t(p.width) * p.height * 6 + jpegMarkerSegmentsSize(segments) +
                                4096);
    size_t length = 0;
    EXPECT_EQ(compressJpeg(p.width, p.height, quality, segments, RgbPicture::readRow, &p,
                           buffer.data(), buffer.size(), &length),
              kJpegCodecOk);
    buffer.resize(length);
    return buffer;
}

struct Decoded {
    std::vector<uint8_t> samples;
    int rows = 0;
    int stopAfter = -1;

    static bool writeRow(void* context, int y, const uint8_t* samples, int width, int components) {
        Decoded* d = static_cast<Decoded*>(context);
        EXPECT_EQ(y, d->rows);
        d->samples.insert(d->samples.end(), samples, samples + size_t(width) * components);
        ++d->rows;
        return d->stopAfter < 0 || d->rows < d->stopAfter;
    }
};

int decode(const std::vector<uint8_t>& stream, Decoded& out, JpegPictureInfo* info = nullptr,
           JpegDecodeLimits limits = {}) {
    return decompressJpeg(stream.data(), stream.size(), limits, Decoded::writeRow, &out, info);
}

} // namespace

TEST(JpegCompress, UsesTheDecileTablesAndSamplingAndRoundTrips) {
    struct Case {
        int quality, decile, sampling;
    };
    for (const Case c :
         {Case{-5, 0, 0x22}, Case{49, 4, 0x22}, Case{50, 5, 0x11}, Case{100, 9, 0x11}}) {
        RgbPicture p = picture(40, 24);
        const std::vector<uint8_t> stream = compress(p, c.quality);
        EXPECT_EQ(p.rowsRead, 24);
        int tables[4][64];
        bool present[4];
        ASSERT_TRUE(jpegQuantTables(stream, tables, present));
        ASSERT_TRUE(present[0] && present[1]) << c.quality;
        for (int i = 0; i < 64; ++i) {
            EXPECT_EQ(tables[0][i], kLuminanceQuantTables[c.decile][i])
                << c.quality << " entry " << i;
            EXPECT_EQ(tables[1][i], kChrominanceQuantTables[c.decile][i])
                << c.quality << " entry " << i;
        }
        int frames = 0;
        for (const JpegSegment& s : jpegSegments(stream)) {
            if (s.marker < 0xC0 || s.marker > 0xC2) continue;
            ++frames;
            EXPECT_EQ(s.marker, 0xC0) << "baseline sequential";
            ASSERT_EQ(s.payload[5], 3);
            EXPECT_EQ(s.payload[7], c.sampling) << c.quality;
            EXPECT_EQ(s.payload[10], 0x11);
            EXPECT_EQ(s.payload[13], 0x11);
        }
        EXPECT_EQ(frames, 1);
        Decoded d;
        JpegPictureInfo info;
        ASSERT_EQ(decode(stream, d, &info), kJpegCodecOk);
        EXPECT_EQ(info.width, 40);
        EXPECT_EQ(info.height, 24);
        EXPECT_EQ(info.components, 3);
        ASSERT_EQ(d.samples.size(), p.pixels.size());
        double error = 0;
        for (size_t i = 0; i < d.samples.size(); ++i)
            error += std::abs(int(d.samples[i]) - int(p.pixels[i]));
        EXPECT_LT(error / d.samples.size(), c.quality > 90 ? 3.0 : 20.0) << c.quality;
    }
}

TEST(JpegCompress, CodesWithHuffmanTablesMadeForThePicture) {
    // The library's standard DC luminance code counts; a one-grey picture
    // needs a single DC code when the tables are made for it.
    const uint8_t standardDcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    RgbPicture p{16, 16, std::vector<uint8_t>(16 * 16 * 3, 100)};
    const std::vector<uint8_t> stream = compress(p, 80);
    bool sawDc = false;
    for (const JpegSegment& s : jpegSegments(stream)) {
        for (size_t pos = 0; s.marker == 0xC4 && pos + 17 <= s.payload.size();) {
            int symbols = 0;
            for (int i = 0; i < 16; ++i) symbols += s.payload[pos + 1 + i];
            if (s.payload[pos] == 0x00) {
                sawDc = true;
                EXPECT_NE(std::memcmp(&s.payload[pos + 1], standardDcCounts, 16), 0);
                EXPECT_LE(symbols, 2);
            }
            pos += 17 + symbols;
        }
    }
    EXPECT_TRUE(sawDc);
}

TEST(JpegCompress, WritesTheSegmentsInTheirOrder) {
    std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M'};
    std::vector<uint8_t> iptc = {'P', 'h', 'o', 't', 'o'};
    std::vector<uint8_t> icc(2 * kIccChunkCapacity + 10);
    for (size_t i = 0; i < icc.size(); ++i) icc[i] = uint8_t(i * 7);
    JpegMarkerSegments segments{exif.data(), exif.size(), icc.data(),
                                icc.size(),  iptc.data(), iptc.size()};
    RgbPicture p = picture(16, 16);
    const std::vector<uint8_t> stream = compress(p, 80, segments);
    const std::vector<JpegSegment> all = jpegSegments(stream);
    ASSERT_GE(all.size(), 9u);
    std::vector<int> head;
    for (size_t i = 0; i < 8; ++i) head.push_back(all[i].marker);
    EXPECT_EQ(head, (std::vector<int>{0xD8, 0xE0, 0xFE, 0xE1, 0xE2, 0xE2, 0xE2, 0xED}));
    EXPECT_EQ(std::string(all[2].payload.begin(), all[2].payload.end()),
              std::string(kMakerWebAddress, sizeof kMakerWebAddress))
        << "the address and one zero byte";
    EXPECT_EQ(all[3].payload, exif);
    EXPECT_EQ(all[7].payload, iptc);
    std::vector<uint8_t> profile;
    for (int chunk = 0; chunk < 3; ++chunk) {
        const JpegSegment& s = all[4 + chunk];
        ASSERT_GE(s.payload.size(), 14u);
        EXPECT_EQ(std::memcmp(s.payload.data(), "ICC_PROFILE", 12), 0);
        EXPECT_EQ(s.payload[12], chunk + 1);
        EXPECT_EQ(s.payload[13], 3);
        EXPECT_EQ(s.payload.size() - 14, chunk < 2 ? kIccChunkCapacity : 10u);
        // The length field is the chunk size plus 16.
        EXPECT_EQ((size_t(stream[s.offset + 2]) << 8 | stream[s.offset + 3]),
                  s.payload.size() - 14 + 16);
        profile.insert(profile.end(), s.payload.begin() + 14, s.payload.end());
    }
    EXPECT_EQ(profile, icc);

    // Segments given empty, or as a length without data, are left out.
    uint8_t byte = 0;
    const JpegMarkerSegments empty{&byte, 0, nullptr, 7, nullptr, 5};
    for (const JpegSegment& s : jpegSegments(compress(p, 80, empty))) {
        EXPECT_TRUE(s.marker != 0xE1 && s.marker != 0xE2 && s.marker != 0xED)
            << std::hex << s.marker;
    }
}

TEST(JpegCompress, AStreamThatDoesNotFitStopsAtTheBufferEnd) {
    RgbPicture p = picture(64, 64, 7);
    const std::vector<uint8_t> reference = compress(p, 99);
    ASSERT_GT(reference.size(), 1000u);
    for (size_t capacity : {size_t(1), size_t(20), size_t(600), reference.size() - 1}) {
        std::vector<uint8_t> buffer(capacity + 64, 0xA5); // guard bytes after the buffer
        size_t length = 12345;
        EXPECT_EQ(compressJpeg(p.width, p.height, 99, {}, RgbPicture::readRow, &p, buffer.data(),
                               capacity, &length),
                  kJpegCodecStreamTooLarge)
            << capacity;
        EXPECT_EQ(length, 0u);
        for (size_t i = capacity; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xA5) << capacity << " at " << i;
    }
    std::vector<uint8_t> exact(reference.size());
    size_t length = 0;
    ASSERT_EQ(compressJpeg(p.width, p.height, 99, {}, RgbPicture::readRow, &p, exact.data(),
                           exact.size(), &length),
              kJpegCodecOk)
        << "a buffer of exactly the stream's size is enough";
    EXPECT_EQ(exact, reference);

    // Arguments the compressor refuses before reading any row.
    RgbPicture q = picture(16, 16);
    std::vector<uint8_t> big(kJpegMaxSegmentPayload + 1);
    const JpegMarkerSegments tooBig{big.data(), big.size(), nullptr, 0, nullptr, 0};
    EXPECT_EQ(
        compressJpeg(0, 16, 80, {}, RgbPicture::readRow, &q, exact.data(), exact.size(), &length),
        kJpegCodecBadArgument);
    EXPECT_EQ(compressJpeg(16, 65501, 80, {}, RgbPicture::readRow, &q, exact.data(), exact.size(),
                           &length),
              kJpegCodecBadArgument);
    EXPECT_EQ(compressJpeg(16, 16, 80, {}, nullptr, &q, exact.data(), exact.size(), &length),
              kJpegCodecBadArgument);
    EXPECT_EQ(compressJpeg(16, 16, 80, {}, RgbPicture::readRow, &q, nullptr, 0, &length),
              kJpegCodecBadArgument);
    EXPECT_EQ(compressJpeg(16, 16, 80, tooBig, RgbPicture::readRow, &q, exact.data(), exact.size(),
                           &length),
              kJpegCodecBadArgument);
    EXPECT_EQ(q.rowsRead, 0);
}

TEST(JpegDecompress, RefusesWhatItShouldNotDecode) {
    Decoded none;
    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
    EXPECT_EQ(decode(text, none), kJpegCodecLibraryError);
    EXPECT_EQ(decompressJpeg(nullptr, 10, {}, Decoded::writeRow, &none, nullptr),
              kJpegCodecBadArgument);
    EXPECT_EQ(decompressJpeg(text.data(), 0, {}, Decoded::writeRow, &none, nullptr),
              kJpegCodecBadArgument);
    EXPECT_EQ(decode(libraryJpeg(16, 16, 4, false, std::vector<uint8_t>(16 * 16 * 4, 50)), none),
              kJpegCodecUnsupported)
        << "four components";

    RgbPicture p = picture(64, 32);
    const std::vector<uint8_t> stream = compress(p, 80);
    JpegDecodeLimits limits;
    limits.maxPixels = 64 * 32 - 1;
    EXPECT_EQ(decode(stream, none, nullptr, limits), kJpegCodecTooBig);
    const std::vector<uint8_t> progressive = libraryJpeg(32, 32, 3, true, picture(32, 32).pixels);
    limits = {};
    limits.maxScans = 2;
    EXPECT_EQ(decode(progressive, none, nullptr, limits), kJpegCodecTooBig) << "too many scans";
    EXPECT_EQ(none.rows, 0);

    Decoded all;
    EXPECT_EQ(decode(progressive, all), kJpegCodecOk);
    EXPECT_EQ(all.rows, 32);
    Decoded some;
    some.stopAfter = 3;
    EXPECT_EQ(decode(stream, some), kJpegCodecOk);
    EXPECT_EQ(some.rows, 3) << "the caller stops when it has its rows";
}

TEST(JpegDecompress, SurvivesStreamsCutShortAnywhere) {
    RgbPicture p = picture(24, 24);
    const std::vector<uint8_t> stream = compress(p, 80);
    int decoded = 0;
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        Decoded part;
        const int status = decode(std::vector<uint8_t>(stream.begin(), stream.begin() + cut), part);
        if (status == kJpegCodecOk) {
            ++decoded;
            EXPECT_EQ(part.rows, 24) << cut << ": the library fills in the rest";
        } else {
            EXPECT_TRUE(status == kJpegCodecLibraryError || status == kJpegCodecUnsupported)
                << cut << " " << status;
        }
    }
    EXPECT_GT(decoded, 0) << "a stream cut inside its image data still decodes";
}
