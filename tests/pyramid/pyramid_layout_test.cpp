// A picture's layout against the storage it is given: the bytes a layout
// counts are the bytes the tiles take, the budget is met exactly at its
// limit, and a picture too large for the budget is refused from its layout
// alone, before anything is allocated.
#include <cstdint>
#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "composite/picture/pyramid_image.h"

namespace qf {}
using namespace qf;

namespace {

// Restores the process-wide limit when a test ends, however it ends.
struct LimitGuard {
    uint64_t saved = pyramidStorageLimit();
    ~LimitGuard() { setPyramidStorageLimit(saved); }
};

TEST(PyramidLayout, CountsTheBytesTheTilesTake) {
    // Sizes across tile seams, with and without border, odd and even
    // chains, every kind width.
    struct Case {
        int32_t width, height;
        PyramidKind kind;
        bool border;
    };
    const Case cases[] = {
        {1, 1, PyramidKind::Gray8, false},        {513, 1, PyramidKind::Gray16, true},
        {1100, 600, PyramidKind::RGBA16, false},  {511, 1023, PyramidKind::RGB16, true},
        {1024, 3, PyramidKind::RGBAFloat, false}, {77, 2049, PyramidKind::GrayFloat, false},
        {640, 480, PyramidKind::RGBA8, true},     {3, 700, PyramidKind::Channel16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " kind "
                                        << int32_t(c.kind) << " border " << c.border);
        PyramidLayout layout;
        ASSERT_TRUE(PyramidLayout::plan(c.width, c.height, c.kind, c.border, layout));
        const uint64_t before = pyramidStorageInUse();
        PyramidImage image;
        ASSERT_TRUE(image.create(c.width, c.height, c.kind, kPyramidClamp, c.border));
        EXPECT_EQ(pyramidStorageInUse() - before, pyramidStorageBytes(layout));
        EXPECT_EQ(image.storage().bytesHeld(), pyramidStorageBytes(layout));

        // Walk the tiles: every one is there, in order, with the rows its
        // level has inside it, and their pixels add up to the layout's.
        ASSERT_EQ(image.tileCount(), layout.tileCount);
        uint64_t pixelBytes = 0;
        int32_t index = 0;
        for (int32_t n = 0; n <= layout.lastLevel; ++n) {
            const PyramidLevel& L = layout.levels[n];
            EXPECT_EQ(L.firstTile, index);
            for (int32_t row = 0; row < L.tileRows; ++row)
                for (int32_t col = 0; col < L.tilesPerRow; ++col, ++index) {
                    const PyramidTile* t = image.tile(index);
                    ASSERT_NE(t, nullptr);
                    ASSERT_NE(t->pixels, nullptr);
                    const int32_t rows = row + 1 < L.tileRows ? 512 : L.height - 512 * row;
                    EXPECT_EQ(t->rows, rows);
                    EXPECT_EQ(t->bytes, size_t(rows) * 512 * size_t(layout.info.bytesPerPixel));
                    pixelBytes += t->bytes;
                }
            // The last pixel of the level lies in the last tile of the level.
            EXPECT_EQ(image.pixelAddress(L.lastColumn, L.lastRow, n),
                      image.tile(index - 1)->pixels +
                          (size_t(L.lastRow % 512) * 512 + size_t(L.lastColumn % 512)) *
                              size_t(layout.info.bytesPerPixel));
        }
        EXPECT_EQ(index, layout.tileCount);
        EXPECT_EQ(image.tile(index), nullptr);
        EXPECT_EQ(pixelBytes, layout.pixelBytes);

        image.release();
        EXPECT_EQ(pyramidStorageInUse(), before);
    }
}

TEST(PyramidLayout, BudgetIsMetExactlyAtTheLimit) {
    LimitGuard guard;
    PyramidLayout layout;
    ASSERT_TRUE(PyramidLayout::plan(700, 300, PyramidKind::RGBA8, false, layout));
    const uint64_t bytes = pyramidStorageBytes(layout);
    const uint64_t before = pyramidStorageInUse();

    setPyramidStorageLimit(bytes);
    EXPECT_TRUE(pyramidStorageFits(layout));
    setPyramidStorageLimit(bytes - 1);
    EXPECT_FALSE(pyramidStorageFits(layout));

    // Beside what the other pictures hold: one byte short is refused and
    // leaves nothing behind, the exact amount is taken.
    PyramidImage image;
    setPyramidStorageLimit(before + bytes - 1);
    EXPECT_FALSE(image.create(700, 300, PyramidKind::RGBA8));
    EXPECT_FALSE(image.hasStorage());
    EXPECT_EQ(pyramidStorageInUse(), before);
    setPyramidStorageLimit(before + bytes);
    EXPECT_TRUE(image.create(700, 300, PyramidKind::RGBA8));
    EXPECT_EQ(pyramidStorageInUse(), before + bytes);
    image.release();
    EXPECT_EQ(pyramidStorageInUse(), before);
}

TEST(PyramidLayout, HugePicturesAreRefusedFromTheirLayoutAlone) {
    // 100000 x 100000 float RGBA needs about 200 GB: the layout says so
    // without allocating, and neither the 64-bit nor the 32-bit budget
    // holds it.
    PyramidLayout huge;
    ASSERT_TRUE(PyramidLayout::plan(100000, 100000, PyramidKind::RGBAFloat, false, huge));
    EXPECT_GT(huge.pixelBytes, uint64_t(100000) * 100000 * 16);
    EXPECT_EQ(huge.levels[0].tilesPerRow, 196);
    EXPECT_FALSE(pyramidStorageFits(huge));
    const uint64_t before = pyramidStorageInUse();
    PyramidImage image;
    EXPECT_FALSE(image.create(100000, 100000, PyramidKind::RGBAFloat));
    EXPECT_FALSE(image.hasStorage());
    EXPECT_EQ(pyramidStorageInUse(), before);

    // The largest side is planned, one more is not; a square of the largest
    // side has more tiles than can be counted.
    PyramidLayout line;
    EXPECT_TRUE(PyramidLayout::plan(kPyramidMaxSide, 1, PyramidKind::Gray8, true, line));
    EXPECT_EQ(line.levels[0].width, kPyramidMaxSide + 2);
    EXPECT_FALSE(PyramidLayout::plan(kPyramidMaxSide + 1, 1, PyramidKind::Gray8, false, line));
    EXPECT_FALSE(PyramidLayout::plan(1, kPyramidMaxSide + 1, PyramidKind::Gray8, false, line));
    EXPECT_FALSE(
        PyramidLayout::plan(kPyramidMaxSide, kPyramidMaxSide, PyramidKind::Gray8, false, line));
    EXPECT_FALSE(PyramidLayout::plan(0, 1, PyramidKind::Gray8, false, line));
    EXPECT_FALSE(PyramidLayout::plan(1, 5, PyramidKind(6), false, line));
}

TEST(PyramidLayout, KindsKeepTheirNumbersThroughCreation) {
    for (int32_t number = -1; number <= 12; ++number) {
        const std::optional<PyramidKind> kind = pyramidKindFromNumber(number);
        PyramidImage image;
        EXPECT_EQ(image.create(3, 2, number), kind.has_value()) << number;
        if (!kind) {
            EXPECT_EQ(image.kind(), -1) << number;
            continue;
        }
        EXPECT_EQ(int32_t(*kind), number);
        EXPECT_EQ(image.kind(), number);
        EXPECT_EQ(image.pyramidKind(), *kind);
        EXPECT_EQ(image.holdsFloat(), number == 5 || number == 9) << number;
    }
    EXPECT_FALSE(pyramidKindFromNumber(std::numeric_limits<int32_t>::min()));
    EXPECT_FALSE(pyramidKindFromNumber(std::numeric_limits<int32_t>::max()));
}

} // namespace
