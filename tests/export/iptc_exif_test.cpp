#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/maker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}
uint16_t be16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t((b[at] << 8) | b[at + 1]);
}

struct Dataset {
    int record;
    int number;
    std::string data;
};

// Parses the image-resource block that follows the optional header.
// Returns the datasets and checks the framing on the way.
std::vector<Dataset> parseIptc(const std::vector<uint8_t>& block, bool withHeader) {
    size_t pos = 0;
    if (withHeader) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data()), 14),
                  std::string("Photoshop 3.0\0", 14));
        pos = 14;
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + pos), 4), "8BIM");
    EXPECT_EQ(be16(block, pos + 4), 0x0404);
    EXPECT_EQ(be16(block, pos + 6), 0); // empty name, padded
    const uint32_t size = be32(block, pos + 8);
    pos += 12;
    EXPECT_EQ(block.size(), pos + size + (size & 1)) << "resource data plus padding to even";
    if (size & 1) {
        EXPECT_EQ(block.back(), 0);
    }
    std::vector<Dataset> sets;
    const size_t end = pos + size;
    while (pos < end) {
        EXPECT_EQ(block[pos], 0x1C);
        if (pos + 5 > end) {
            ADD_FAILURE() << "dataset header cut";
            break;
        }
        const size_t length = be16(block, pos + 3);
        if (pos + 5 + length > end) {
            ADD_FAILURE() << "dataset cut";
            break;
        }
        sets.push_back(
            {block[pos + 1], block[pos + 2],
             std::string(reinterpret_cast<const char*>(block.data() + pos + 5), length)});
        pos += 5 + length;
    }
    return sets;
}

const IptcDate kDate{2024, 3, 7};

} // namespace

TEST(IptcBlock, HoldsSourceDateCaptionAndKeywordsInOrder) {
    IptcBlock block;
    ASSERT_TRUE(addIptcKeyword(block, "HDR"));
    ASSERT_TRUE(addIptcKeyword(block, "high dynamic range"));
    ASSERT_TRUE(addIptcKeyword(block, "stripe_b"));
    buildIptcBlock(block, true, kDate);
    const std::vector<Dataset> sets = parseIptc(block.bytes, true);
    const std::vector<std::pair<int, std::string>> expected = {
        {0, std::string("\0\2", 2)},  {115, kMakerWebAddress}, {55, "20240307"},
        {120, "Made with Quillfire"}, {25, "Quillfire"},       {25, "HDR"},
        {25, "high dynamic range"},   {25, "stripe_b"}};
    ASSERT_EQ(sets.size(), expected.size());
    for (size_t i = 0; i < sets.size(); ++i) {
        EXPECT_EQ(sets[i].record, 2) << i;
        EXPECT_EQ(sets[i].number, expected[i].first) << i;
        EXPECT_EQ(sets[i].data, expected[i].second) << i;
    }
}

TEST(IptcBlock, DryRunCountsWhatIsWrittenAndOddLengthsArePadded) {
    // Keyword lengths 1 and 2 give records of both parities.
    for (const char* keyword : {"a", "ab"}) {
        IptcBlock block;
        addIptcKeyword(block, keyword);
        const size_t counted = writeIptcBlock(block, true, kDate, nullptr);
        buildIptcBlock(block, true, kDate);
        EXPECT_EQ(block.bytes.size(), counted) << keyword;
        EXPECT_EQ(block.bytes.size() % 2, 0u) << keyword;
        const size_t records = iptcRecordsLength(block, kDate);
        EXPECT_EQ(be32(block.bytes, 14 + 8), records) << keyword;
        parseIptc(block.bytes, true);
    }
    IptcBlock a, ab;
    addIptcKeyword(a, "a");
    addIptcKeyword(ab, "ab");
    EXPECT_NE(iptcRecordsLength(a, kDate) % 2, iptcRecordsLength(ab, kDate) % 2);
}

TEST(IptcBlock, WithoutHeaderStartsAtTheResourceAndIsBuiltOnce) {
    IptcBlock plain, headed;
    buildIptcBlock(plain, false, kDate);
    buildIptcBlock(headed, true, kDate);
    ASSERT_EQ(headed.bytes.size(), plain.bytes.size() + 14);
    EXPECT_TRUE(std::equal(plain.bytes.begin(), plain.bytes.end(), headed.bytes.begin() + 14));
    parseIptc(plain.bytes, false);
    const std::vector<uint8_t> first = headed.bytes;
    addIptcKeyword(headed, "later");
    buildIptcBlock(headed, true, IptcDate{2030, 1, 1});
    EXPECT_EQ(headed.bytes, first) << "a built block stays as it is";
}

TEST(IptcKeywords, RefuseTheTwentiethEmptyTooLongAndDuplicates) {
    IptcBlock block;
    EXPECT_FALSE(addIptcKeyword(block, ""));
    EXPECT_FALSE(addIptcKeyword(block, nullptr));
    EXPECT_FALSE(addIptcKeyword(block, std::string(50, 'x').c_str()));
    EXPECT_TRUE(addIptcKeyword(block, std::string(49, 'x').c_str()));
    EXPECT_TRUE(addIptcKeyword(block, "HDR"));
    EXPECT_FALSE(addIptcKeyword(block, "hdr"));
    EXPECT_FALSE(addIptcKeyword(block, "HDR"));
    // Only equal keywords count as duplicates, not one that begins another.
    EXPECT_TRUE(addIptcKeyword(block, "HD"));
    EXPECT_TRUE(addIptcKeyword(block, "HDRI"));
    EXPECT_EQ(block.keywordCount, 4);
    for (int i = block.keywordCount; i < kIptcKeywordCapacity; ++i) {
        EXPECT_TRUE(addIptcKeyword(block, ("keyword " + std::to_string(i)).c_str())) << i;
    }
    EXPECT_EQ(block.keywordCount, 19);
    IptcBlock before = block;
    EXPECT_FALSE(addIptcKeyword(block, "twentieth"));
    EXPECT_EQ(block.keywordCount, 19);
    EXPECT_EQ(std::memcmp(before.keywords, block.keywords, sizeof block.keywords), 0);
    EXPECT_EQ(std::string(block.keywords[0]), std::string(49, 'x'));
    EXPECT_EQ(std::string(block.keywords[18]), "keyword 18");
}

TEST(IptcDateOf, ConvertsSecondsToTheUtcCalendarDate) {
    struct Case {
        int64_t seconds;
        int year, month, day;
    };
    const Case cases[] = {
        {0, 1970, 1, 1},           {86399, 1970, 1, 1},      {-1, 1969, 12, 31},
        {-86400, 1969, 12, 31},    {951782400, 2000, 2, 29}, {951782400 + 86400, 2000, 3, 1},
        {1709769600, 2024, 3, 7},  {4107542400, 2100, 3, 1}, {4107542400 - 1, 2100, 2, 28},
        {-11676096000, 1600, 1, 1}};
    for (const Case& c : cases) {
        const IptcDate d = iptcDateFromSeconds(c.seconds);
        EXPECT_EQ(d.year, c.year) << c.seconds;
        EXPECT_EQ(d.month, c.month) << c.seconds;
        EXPECT_EQ(d.day, c.day) << c.seconds;
    }
}

TEST(ExifBlock, NamesTheSoftwareInOneBigEndianDirectory) {
    ExifBlock block;
    buildExifBlock(block, true);
    const std::vector<uint8_t>& b = block.bytes;
    ASSERT_EQ(b.size(), 6u + 26u + 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 6), std::string("Exif\0\0", 6));
    const std::vector<uint8_t> tiff(b.begin() + 6, b.end());
    EXPECT_EQ(tiff[0], 'M');
    EXPECT_EQ(tiff[1], 'M');
    EXPECT_EQ(be16(tiff, 2), 42);
    EXPECT_EQ(be32(tiff, 4), 8u);
    EXPECT_EQ(be16(tiff, 8), 1);    // one entry
    EXPECT_EQ(be16(tiff, 10), 305); // Software
    EXPECT_EQ(be16(tiff, 12), 2);   // ASCII
    EXPECT_EQ(be32(tiff, 14), 10u); // "Quillfire" and its zero
    EXPECT_EQ(be32(tiff, 18), 26u);
    EXPECT_EQ(be32(tiff, 22), 0u); // no further directory
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tiff.data() + 26), 10),
              std::string("Quillfire\0", 10));
    EXPECT_EQ(writeExifBlock(true, nullptr), b.size());

    ExifBlock plain;
    buildExifBlock(plain, false);
    EXPECT_EQ(plain.bytes, tiff) << "without header: the TIFF structure alone";
    buildExifBlock(plain, true);
    EXPECT_EQ(plain.bytes, tiff) << "a built block stays as it is";
}
