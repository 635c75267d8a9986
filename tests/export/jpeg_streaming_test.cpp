// The JPEG stream handed to a file piece by piece while the picture is
// freed behind the reader: the same bytes as a stream made whole in memory
// from a reader that samples pixel by pixel, and the stream's limit and a
// refusing receiver at their boundaries.
#include "composite/picture/pyramid_image.h"
#include "export/jpeg_codec.h"
#include "export/jpeg_writer.h"
#include "platform/file.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// Every byte of level 0 from a simple generator: any sample value,
// including float bit patterns that are not numbers or are out of range.
void fillBytes(PyramidImage& image, unsigned seed) {
    const int32_t bytesPerPixel = image.kindInfo().bytesPerPixel;
    unsigned state = seed;
    for (int32_t y = 0; y < image.levelHeight(0); ++y) {
        for (int32_t x = 0; x < image.levelWidth(0); ++x) {
            uint8_t* p = image.pixelAddress(x, y, 0);
            for (int32_t b = 0; b < bytesPerPixel; ++b) {
                state = state * 1103515245u + 12345u;
                p[b] = uint8_t(state >> 16);
            }
        }
    }
}

// The writer's conversion done one samplePoint at a time.
struct PointRows {
    const PyramidImage* image;
    int64_t left;
    int64_t top;
    static void readRow(void* context, int y, uint8_t* rgb, int width) {
        const PointRows* rows = static_cast<const PointRows*>(context);
        const int32_t py = int32_t(rows->top + y);
        for (int x = 0; x < width; ++x) {
            const FloatRGBA c = rows->image->samplePoint(int32_t(rows->left + x), py, 0);
            rgb[3 * x] = jpegChannelByte(c.r);
            rgb[3 * x + 1] = jpegChannelByte(c.g);
            rgb[3 * x + 2] = jpegChannelByte(c.b);
        }
    }
};

std::vector<uint8_t> referenceStream(const PyramidImage& image, const PixelRect& rect,
                                     int quality) {
    const int width = jpegOutputWidth(rect), height = jpegOutputHeight(rect);
    std::vector<uint8_t> out(size_t(width) * size_t(height) * 6 + 4096);
    PointRows rows{&image, rect.left, rect.top};
    size_t length = 0;
    EXPECT_EQ(compressJpeg(width, height, quality, {}, PointRows::readRow, &rows, out.data(),
                           out.size(), &length),
              kJpegCodecOk);
    out.resize(length);
    return out;
}

struct Pieces {
    std::vector<uint8_t> bytes;
    int calls = 0;
    int refuseAt = -1; // the call that is refused
    static bool take(void* context, const uint8_t* data, size_t count) {
        Pieces* p = static_cast<Pieces*>(context);
        if (p->calls++ == p->refuseAt) return false;
        p->bytes.insert(p->bytes.end(), data, data + count);
        return true;
    }
};

struct Noise {
    int width;
    unsigned state = 7;
    static void readRow(void* context, int, uint8_t* rgb, int width) {
        Noise* n = static_cast<Noise*>(context);
        for (int i = 0; i < width * 3; ++i) {
            n->state = n->state * 214013u + 2531011u;
            rgb[i] = uint8_t(n->state >> 16);
        }
    }
};

} // namespace

TEST(JpegStreaming, RowsReadARunAtATimeAreThePointSamples) {
    const int32_t kinds[] = {kPyramidGray8, kPyramidGray16,   kPyramidChannel16,
                             kPyramidRGBA8, kPyramidRGBA16,   kPyramidGrayFloat,
                             kPyramidRGB16, kPyramidRGBAFloat};
    for (int32_t kind : kinds) {
        for (bool border : {false, true}) {
            PyramidImage image;
            ASSERT_TRUE(image.create(1100, 3, kind, kPyramidClamp, border)) << kind;
            fillBytes(image, unsigned(kind) * 2 + border);
            // Starts before the picture, across both tile edges, past its end.
            for (int32_t y : {-4, 0, 2, 4}) {
                const int32_t x0 = -3, count = 1200;
                std::vector<FloatRGBA> row(size_t(count) + 1, FloatRGBA{9, 9, 9, 9});
                image.samplePointRow(x0, y, 0, count, row.data());
                for (int32_t i = 0; i < count; ++i) {
                    const FloatRGBA want = image.samplePoint(x0 + i, y, 0);
                    ASSERT_EQ(std::memcmp(&row[size_t(i)], &want, sizeof want), 0)
                        << "kind " << kind << " border " << border << " y " << y << " x " << x0 + i;
                }
                EXPECT_EQ(row[size_t(count)].r, 9.0f) << "nothing beyond count";
            }
            // Beyond the last level: zeros, as samplePoint gives.
            FloatRGBA beyond[2] = {{1, 1, 1, 1}, {1, 1, 1, 1}};
            image.samplePointRow(0, 0, image.lastLevel() + 1, 2, beyond);
            EXPECT_EQ(beyond[1].r + beyond[1].a, 0.0f);
        }
    }
}

TEST(JpegStreaming, TheFileGetsTheInMemoryStreamWhileThePictureIsFreed) {
    ScratchFiles scratch;
    struct Case {
        int32_t kind;
        int32_t width, height;
        PixelRect rect;
        int quality;
    };
    const Case cases[] = {
        {kPyramidRGBA8, 1100, 1030, {0, 0, 1030, 1100}, 90},
        // Edges repeated on every side, and a rectangle inside the picture.
        {kPyramidRGBA16, 600, 530, {-5, -7, 540, 610}, 40},
        {kPyramidRGBAFloat, 530, 1030, {513, 3, 1030, 520}, 99},
        {kPyramidRGBA8, 9, 5, {0, 0, 5, 9}, 0},
    };
    for (const Case& c : cases) {
        PyramidImage image;
        ASSERT_TRUE(image.create(c.width, c.height, c.kind));
        fillBytes(image, unsigned(c.width));
        const std::vector<uint8_t> expected = referenceStream(image, c.rect, c.quality);
        ASSERT_FALSE(expected.empty());

        JpegRequest request;
        request.source = &image;
        request.rect = c.rect;
        request.quality = c.quality;
        std::vector<uint8_t> inMemory;
        ASSERT_EQ(encodeJpeg(request, inMemory), kJpegWriteOk);
        EXPECT_EQ(inMemory, expected) << c.kind;

        // The stream goes after what the file holds already.
        const std::string path = scratch.file("out.jpg");
        scratch.write("out.jpg", {'a', 'b', 'c'});
        File file;
        ASSERT_EQ(file.openForWriting(path.c_str()), kFileOk);
        ASSERT_EQ(file.seek(3), kFileOk);
        request.file = &file;
        request.releaseSource = &image;
        const uint64_t inUse = pyramidStorageInUse();
        const uint64_t held = image.storage().bytesHeld();
        ASSERT_EQ(writeJpeg(request), kJpegWriteOk);
        file.close();
        std::vector<uint8_t> want = {'a', 'b', 'c'};
        want.insert(want.end(), expected.begin(), expected.end());
        EXPECT_EQ(scratch.read("out.jpg"), want) << c.kind;
        // What is left of the picture: the tile row of the last row read
        // and any below it; the budget got back what was freed.
        const PyramidLevel& top = *image.level(0);
        const uint64_t tileRowBytes =
            uint64_t(top.tilesPerRow) * 512u * 512u * uint64_t(image.kindInfo().bytesPerPixel);
        const int32_t lastRead =
            std::clamp(c.rect.top + jpegOutputHeight(c.rect) - 1, 0, image.height() - 1);
        const uint64_t tableBytes = uint64_t(image.tileCount()) * sizeof(PyramidTile);
        EXPECT_LE(image.storage().bytesHeld(),
                  uint64_t(top.tileRows - (lastRead >> 9)) * tileRowBytes + tableBytes)
            << c.kind;
        EXPECT_LT(image.storage().bytesHeld(), held);
        EXPECT_EQ(inUse - pyramidStorageInUse(), held - image.storage().bytesHeld());
        image.release();
        EXPECT_EQ(pyramidStorageInUse(), inUse - held);
    }
}

TEST(JpegStreaming, TheLimitAndARefusingReceiverStopTheStream) {
    const int width = 500, height = 500; // noise: well over two pieces
    std::vector<uint8_t> whole(size_t(width) * height * 6);
    size_t length = 0;
    Noise noise{width};
    ASSERT_EQ(compressJpeg(width, height, 99, {}, Noise::readRow, &noise, whole.data(),
                           whole.size(), &length),
              kJpegCodecOk);
    whole.resize(length);
    ASSERT_GT(length, size_t(2 * 256 * 1024));

    for (size_t limit : {length, length - 1, size_t(1000)}) {
        Pieces pieces;
        Noise again{width};
        size_t streamed = 99;
        const int status = streamJpeg(width, height, 99, {}, Noise::readRow, &again, Pieces::take,
                                      &pieces, limit, &streamed);
        if (limit == length) {
            EXPECT_EQ(status, kJpegCodecOk);
            EXPECT_EQ(streamed, length);
            EXPECT_EQ(pieces.bytes, whole);
        } else {
            EXPECT_EQ(status, kJpegCodecStreamTooLarge) << limit;
            EXPECT_EQ(streamed, 0u);
            EXPECT_LE(pieces.bytes.size(), limit) << "nothing beyond the limit is handed on";
        }
    }
    // The second piece refused: the first went out, unchanged, and no more.
    Pieces pieces;
    pieces.refuseAt = 1;
    Noise again{width};
    size_t streamed = 99;
    EXPECT_EQ(streamJpeg(width, height, 99, {}, Noise::readRow, &again, Pieces::take, &pieces,
                         whole.size() * 2, &streamed),
              kJpegCodecOutputFailed);
    EXPECT_EQ(streamed, 0u);
    EXPECT_EQ(pieces.calls, 2);
    ASSERT_EQ(pieces.bytes.size(), size_t(256 * 1024));
    EXPECT_TRUE(std::equal(pieces.bytes.begin(), pieces.bytes.end(), whole.begin()));
    EXPECT_EQ(
        streamJpeg(width, height, 99, {}, Noise::readRow, &again, nullptr, nullptr, 10, &streamed),
        kJpegCodecBadArgument);
}
