#include "host/cli/jpeg_metadata.h"

#include "host/cli/file_util.h"

#include <algorithm>
#include <cstring>

namespace qf::cli {
namespace {

constexpr uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kApp13 = 0xED;
constexpr char kExifId[] = "Exif\0\0";                    // 6 bytes
constexpr char kXmpId[] = "http://ns.adobe.com/xap/1.0/"; // and a NUL
constexpr char kIptcId[] = "Photoshop 3.0";               // and a NUL
constexpr char kIccId[] = "ICC_PROFILE";                  // and a NUL

// One header segment: its marker, and where its body lies in the stream.
struct Segment {
    uint8_t marker = 0;
    size_t start = 0, bodyStart = 0, end = 0; // start at 0xFF, end past the body
};

bool bodyStartsWith(const std::vector<uint8_t>& file, const Segment& s, const char* id,
                    size_t idSize) {
    return s.end - s.bodyStart >= idSize && std::memcmp(&file[s.bodyStart], id, idSize) == 0;
}

// The segments from SOI to the first that is not APPn or COM; false when
// the stream does not start with SOI. `headerEnd` receives where the rest
// (tables, frame, scan) begins.
bool headerSegments(const std::vector<uint8_t>& file, std::vector<Segment>& out,
                    size_t& headerEnd) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return false;
    size_t at = 2;
    for (;;) {
        headerEnd = at;
        if (at + 4 > file.size() || file[at] != 0xFF) return true;
        const uint8_t marker = file[at + 1];
        const bool app = marker >= 0xE0 && marker <= 0xEF;
        if (!app && marker != 0xFE) return true;
        const size_t length = size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size()) return true;
        out.push_back(Segment{marker, at, at + 4, at + 2 + length});
        at += 2 + length;
    }
}

enum class Kind { other, exif, xmp, iptc, icc };

Kind kindOf(const std::vector<uint8_t>& file, const Segment& s) {
    if (s.marker == kApp1 && bodyStartsWith(file, s, kExifId, 6)) return Kind::exif;
    if (s.marker == kApp1 && bodyStartsWith(file, s, kXmpId, sizeof kXmpId)) return Kind::xmp;
    if (s.marker == kApp13 && bodyStartsWith(file, s, kIptcId, sizeof kIptcId)) return Kind::iptc;
    if (s.marker == kApp2 && bodyStartsWith(file, s, kIccId, sizeof kIccId)) return Kind::icc;
    return Kind::other;
}

// Whether a whole segment (marker and length first) is an Exif segment.
bool isExifSegment(const std::vector<uint8_t>& s) {
    return s.size() > 10 && std::memcmp(s.data() + 4, kExifId, 6) == 0;
}

uint32_t readUnsigned(const uint8_t* p, int bytes, bool big) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const uint32_t b = p[big ? i : bytes - 1 - i];
        v = v << 8 | b;
    }
    return v;
}

} // namespace

JpegMetadata jpegMetadata(const std::vector<uint8_t>& file) {
    JpegMetadata md;
    std::vector<Segment> segments;
    size_t headerEnd = 0;
    if (!headerSegments(file, segments, headerEnd)) return md;
    for (const Segment& s : segments) {
        const Kind kind = kindOf(file, s);
        if (kind == Kind::other) continue;
        md.segments.emplace_back(file.begin() + std::ptrdiff_t(s.start),
                                 file.begin() + std::ptrdiff_t(s.end));
        md.exif |= kind == Kind::exif;
        md.xmp |= kind == Kind::xmp;
        md.iptc |= kind == Kind::iptc;
        md.icc |= kind == Kind::icc;
    }
    return md;
}

namespace {

// Where in an Exif segment its first directory's orientation (a SHORT in
// the entry itself) is held, and in which byte order; 0 when nowhere.
size_t orientationAt(const std::vector<uint8_t>& segment, bool& big) {
    // Marker (2), length (2), "Exif\0\0" (6), then a TIFF structure.
    constexpr size_t kTiff = 10;
    if (segment.size() < kTiff + 8) return 0;
    const uint8_t* tiff = segment.data() + kTiff;
    const size_t size = segment.size() - kTiff;
    big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 0;
    if (readUnsigned(tiff + 2, 2, big) != 42) return 0;
    const size_t ifd = readUnsigned(tiff + 4, 4, big);
    if (ifd < 8 || ifd + 2 > size) return 0;
    const size_t entries = readUnsigned(tiff + ifd, 2, big);
    for (size_t i = 0; i < entries; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (e + 12 > size) return 0;
        if (readUnsigned(tiff + e, 2, big) != 0x0112) continue;
        if (readUnsigned(tiff + e + 2, 2, big) != 3 || readUnsigned(tiff + e + 4, 4, big) != 1)
            return 0;
        return kTiff + e + 8;
    }
    return 0;
}

} // namespace

bool setExifUpright(std::vector<uint8_t>& segment) {
    bool big = false;
    const size_t at = orientationAt(segment, big);
    if (!at) return false;
    segment[at] = big ? 0 : 1;
    segment[at + 1] = big ? 1 : 0;
    return true;
}

int exifOrientation(const std::vector<uint8_t>& file) {
    for (const std::vector<uint8_t>& s : jpegMetadata(file).segments) {
        bool big = false;
        if (!isExifSegment(s)) continue;
        if (const size_t at = orientationAt(s, big))
            return int(readUnsigned(s.data() + at, 2, big));
    }
    return 1;
}

std::vector<std::vector<uint8_t>> iccSegments(const std::vector<uint8_t>& profile) {
    // Each segment: marker, length, "ICC_PROFILE\0", its number and the
    // count, then up to 65519 bytes of the profile.
    constexpr size_t kChunk = 65535 - 2 - 12 - 2;
    std::vector<std::vector<uint8_t>> out;
    const size_t count = (profile.size() + kChunk - 1) / kChunk;
    if (profile.empty() || count > 255) return out;
    for (size_t n = 0; n < count; ++n) {
        const size_t from = n * kChunk, bytes = std::min(kChunk, profile.size() - from);
        const size_t length = 2 + 12 + 2 + bytes;
        // Sized once and filled in place: growing it piece by piece trips a
        // false array-bounds warning of the compiler at -O1.
        std::vector<uint8_t> s(2 + length);
        s[0] = 0xFF;
        s[1] = kApp2;
        s[2] = uint8_t(length >> 8);
        s[3] = uint8_t(length & 0xFF);
        std::copy(kIccId, kIccId + sizeof kIccId, s.begin() + 4);
        s[4 + sizeof kIccId] = uint8_t(n + 1);
        s[5 + sizeof kIccId] = uint8_t(count);
        std::copy(profile.begin() + std::ptrdiff_t(from),
                  profile.begin() + std::ptrdiff_t(from + bytes), s.begin() + 6 + sizeof kIccId);
        out.push_back(std::move(s));
    }
    return out;
}

bool spliceJpegMetadata(const std::vector<uint8_t>& jpeg, const JpegMetadata& metadata,
                        std::vector<uint8_t>& out) {
    std::vector<Segment> segments;
    size_t headerEnd = 0;
    if (!headerSegments(jpeg, segments, headerEnd)) return false;
    std::vector<uint8_t> result(jpeg.begin(), jpeg.begin() + 2); // SOI
    auto copy = [&](const Segment& s) {
        result.insert(result.end(), jpeg.begin() + std::ptrdiff_t(s.start),
                      jpeg.begin() + std::ptrdiff_t(s.end));
    };
    // The JFIF segment stays first.
    size_t first = 0;
    if (!segments.empty() && segments[0].marker == kApp0) copy(segments[first++]);
    for (const std::vector<uint8_t>& s : metadata.segments)
        result.insert(result.end(), s.begin(), s.end());
    for (size_t i = first; i < segments.size(); ++i) {
        const Kind kind = kindOf(jpeg, segments[i]);
        const bool replaced =
            (kind == Kind::exif && metadata.exif) || (kind == Kind::xmp && metadata.xmp) ||
            (kind == Kind::iptc && metadata.iptc) || (kind == Kind::icc && metadata.icc);
        if (!replaced) copy(segments[i]);
    }
    result.insert(result.end(), jpeg.begin() + std::ptrdiff_t(headerEnd), jpeg.end());
    out = std::move(result);
    return true;
}

bool carryMetadataInto(const std::string& inputPath, const std::vector<uint8_t>& iccProfile,
                       const std::string& outputPath, std::string& error) {
    JpegMetadata md;
    std::vector<uint8_t> input;
    std::string ignored;
    // A camera's header is at its start; a file too large to hold is
    // left to its profile alone.
    if (readFileBytes(inputPath, input, ignored, uint64_t(1) << 28)) md = jpegMetadata(input);
    std::vector<uint8_t>().swap(input);
    for (std::vector<uint8_t>& s : md.segments)
        if (isExifSegment(s)) setExifUpright(s);
    if (!md.icc && !iccProfile.empty()) {
        for (std::vector<uint8_t>& s : iccSegments(iccProfile)) md.segments.push_back(std::move(s));
        md.icc = !md.segments.empty();
    }
    if (md.empty()) return true;
    std::vector<uint8_t> jpeg, spliced;
    if (!readFileBytes(outputPath, jpeg, error)) return false;
    if (!spliceJpegMetadata(jpeg, md, spliced)) return true; // not ours to change
    return writeFileBytes(outputPath, spliced.data(), spliced.size(), error);
}

} // namespace qf::cli
