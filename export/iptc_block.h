// The IPTC segment of the JPEG writer: a Photoshop image-resource block
// (resource 0x0404) holding IPTC records of record 2 with the source,
// date, caption and keywords of the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

constexpr int kIptcKeywordCapacity = 19;
constexpr int kIptcKeywordSlot = 50; // a keyword has at most 49 characters

struct IptcBlock {
    // The built block; empty until built.
    std::vector<uint8_t> bytes;
    // Keywords written after the fixed one, in the order they were added.
    char keywords[kIptcKeywordCapacity][kIptcKeywordSlot] = {};
    int keywordCount = 0;
};

// A calendar date (UTC) for dataset 55, "date created".
struct IptcDate {
    int year;
    int month; // 1..12
    int day;   // 1..31
};

// The UTC date of a moment given in seconds since 1970-01-01 UTC.
IptcDate iptcDateFromSeconds(int64_t seconds);

// Adds a keyword when the list holds fewer than 19, the keyword is neither
// empty nor 50 characters or longer, and no keyword of the list equals it
// without regard to ASCII letter case. True when it was added.
bool addIptcKeyword(IptcBlock& block, const char* keyword);

// The length of the IPTC records alone (a dry run of the records).
size_t iptcRecordsLength(const IptcBlock& block, const IptcDate& date);

// Writes the whole payload into `out` (null: a dry run that only counts)
// and returns its length. With `withHeader` it begins with
// "Photoshop 3.0" and its zero byte, as an APP13 segment's payload does.
size_t writeIptcBlock(const IptcBlock& block, bool withHeader, const IptcDate& date, uint8_t* out);

// Fills `block.bytes` once (a block that already holds data stays
// unchanged), dated `date` or, in the first form, today (UTC).
void buildIptcBlock(IptcBlock& block, bool withHeader);
void buildIptcBlock(IptcBlock& block, bool withHeader, const IptcDate& date);

} // namespace qf
