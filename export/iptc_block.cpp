#include "export/iptc_block.h"

#include "export/byte_sink.h"
#include "export/maker.h"
#include "platform/clock.h"

#include <cstdio>
#include <cstring>

namespace qf {

namespace {

constexpr uint8_t kTagMarker = 0x1C;
constexpr uint8_t kApplicationRecord = 2;
constexpr uint8_t kDatasetRecordVersion = 0;
constexpr uint8_t kDatasetKeyword = 25;
constexpr uint8_t kDatasetDateCreated = 55;
constexpr uint8_t kDatasetSource = 115;
constexpr uint8_t kDatasetCaption = 120;

constexpr uint16_t kIptcResourceId = 0x0404;

size_t boundedLength(const char* s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n]) ++n;
    return n;
}

char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (foldCase(*a) != foldCase(*b)) return false;
    }
    return *a == *b;
}

void dataset(ByteSink& sink, uint8_t number, const void* data, size_t length) {
    sink.byte(kTagMarker);
    sink.byte(kApplicationRecord);
    sink.byte(number);
    sink.u16(static_cast<uint16_t>(length));
    sink.bytes(data, length);
}

void textDataset(ByteSink& sink, uint8_t number, const char* text) {
    dataset(sink, number, text, std::strlen(text));
}

void writeRecords(ByteSink& sink, const IptcBlock& block, const IptcDate& date) {
    const uint8_t version[2] = {0x00, 0x02};
    dataset(sink, kDatasetRecordVersion, version, sizeof version);
    textDataset(sink, kDatasetSource, kMakerWebAddress);
    // Eight digits: the year is kept within four of them.
    char created[16];
    const int year = date.year < 0 ? 0 : (date.year > 9999 ? 9999 : date.year);
    std::snprintf(created, sizeof created, "%04d%02d%02d", year, date.month % 100, date.day % 100);
    textDataset(sink, kDatasetDateCreated, created);
    textDataset(sink, kDatasetCaption, kPictureCaption);
    textDataset(sink, kDatasetKeyword, kSoftwareName);
    const int count = block.keywordCount < 0
                          ? 0
                          : (block.keywordCount > kIptcKeywordCapacity ? kIptcKeywordCapacity
                                                                       : block.keywordCount);
    for (int i = 0; i < count; ++i) {
        const char* keyword = block.keywords[i];
        const size_t length = boundedLength(keyword, kIptcKeywordSlot - 1);
        if (length) dataset(sink, kDatasetKeyword, keyword, length);
    }
}

} // namespace

IptcDate iptcDateFromSeconds(int64_t seconds) {
    // Days since 1970-01-01, then the proleptic Gregorian calendar in eras
    // of 400 years (146097 days) counted from 0000-03-01.
    int64_t days = seconds / 86400;
    if (seconds % 86400 < 0) --days;
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153; // March = 0
    const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return IptcDate{static_cast<int>(year), month, day};
}

bool addIptcKeyword(IptcBlock& block, const char* keyword) {
    if (!keyword || block.keywordCount < 0 || block.keywordCount >= kIptcKeywordCapacity)
        return false;
    const size_t length = boundedLength(keyword, kIptcKeywordSlot);
    if (length == 0 || length >= kIptcKeywordSlot) return false;
    for (int i = 0; i < block.keywordCount; ++i) {
        if (equalIgnoringCase(block.keywords[i], keyword)) return false;
    }
    std::memcpy(block.keywords[block.keywordCount], keyword, length);
    block.keywords[block.keywordCount][length] = '\0';
    ++block.keywordCount;
    return true;
}

size_t iptcRecordsLength(const IptcBlock& block, const IptcDate& date) {
    ByteSink counter(nullptr);
    writeRecords(counter, block, date);
    return counter.count();
}

size_t writeIptcBlock(const IptcBlock& block, bool withHeader, const IptcDate& date, uint8_t* out) {
    const size_t recordsLength = iptcRecordsLength(block, date);
    ByteSink sink(out);
    if (withHeader) {
        sink.text("Photoshop 3.0");
        sink.byte(0);
    }
    sink.text("8BIM");
    sink.u16(kIptcResourceId);
    sink.u16(0); // empty name: length 0 and one byte of padding
    // The size of the resource data proper; the padding that keeps the
    // next resource at an even offset follows it uncounted.
    sink.u32(static_cast<uint32_t>(recordsLength));
    writeRecords(sink, block, date);
    if (recordsLength & 1) sink.byte(0);
    return sink.count();
}

void buildIptcBlock(IptcBlock& block, bool withHeader, const IptcDate& date) {
    if (!block.bytes.empty()) return;
    block.bytes.reserve(1000);
    block.bytes.resize(writeIptcBlock(block, withHeader, date, nullptr));
    writeIptcBlock(block, withHeader, date, block.bytes.data());
}

void buildIptcBlock(IptcBlock& block, bool withHeader) {
    buildIptcBlock(block, withHeader, iptcDateFromSeconds(currentTimeSeconds()));
}

} // namespace qf
