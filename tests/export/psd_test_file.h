// A strict reader of the PSD files we write, for the tests: every length
// field must match what follows it exactly, and every byte of the file must
// belong to a section. Written from the format's published layout, not
// from our writer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qftest {

struct PsdResource {
    uint16_t id = 0;
    std::vector<uint8_t> data;
};

struct PsdChannel {
    int16_t id = 0;
    uint32_t length = 0;
    uint16_t compression = 0xFFFF;
    std::vector<uint8_t> samples;
};

struct PsdLayer {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::string blendKey;
    uint8_t opacity = 0, clipping = 0, flags = 0;
    uint32_t extraLength = 0;
    std::vector<uint8_t> blendingRanges;
    std::string name;
    std::vector<PsdChannel> channels;
};

struct PsdFile {
    bool ok = false;
    std::string error;
    uint16_t version = 0, channels = 0, depth = 0, mode = 0;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> colourModeData;
    std::vector<PsdResource> resources;
    // The keys of the tagged blocks of the layer section, in order ("Mt16",
    // "Lr16", "LMsk", "Pat3"), and the data of each.
    std::vector<std::string> blockKeys;
    std::vector<std::vector<uint8_t>> blockData;
    std::vector<PsdLayer> layers;
    uint16_t mergedCompression = 0xFFFF;
    std::vector<uint8_t> merged; // everything after the compression word

    const PsdResource* resource(uint16_t id) const {
        for (const PsdResource& r : resources)
            if (r.id == id) return &r;
        return nullptr;
    }
};

class PsdParser {
  public:
    explicit PsdParser(const std::vector<uint8_t>& bytes) : b_(bytes) {}

    PsdFile parse() {
        PsdFile f;
        if (!expect("8BPS")) return fail(f, "signature");
        f.version = u16();
        for (int i = 0; i < 6; ++i)
            if (u8() != 0) return fail(f, "reserved bytes");
        f.channels = u16();
        f.height = u32();
        f.width = u32();
        f.depth = u16();
        f.mode = u16();
        const uint32_t cmLength = u32();
        f.colourModeData = take(cmLength);

        const uint32_t resLength = u32();
        const size_t resEnd = pos_ + resLength;
        while (pos_ < resEnd && !bad_) {
            if (!expect("8BIM")) return fail(f, "resource signature");
            PsdResource r;
            r.id = u16();
            const uint8_t nameLength = u8();
            take(nameLength);
            if ((1 + nameLength) % 2) u8();
            r.data = take(u32());
            if (r.data.size() % 2) u8();
            f.resources.push_back(std::move(r));
        }
        if (pos_ != resEnd) return fail(f, "resource section length");

        const uint32_t layerLength = u32();
        const size_t layerEnd = pos_ + layerLength;
        const uint32_t infoLength = u32();
        if (infoLength > 0) {
            const size_t infoEnd = pos_ + infoLength;
            layerInfo(f);
            if (pos_ != infoEnd) return fail(f, "layer info length");
        }
        const uint32_t globalMask = u32();
        take(globalMask);
        while (pos_ < layerEnd && !bad_) {
            if (!expect("8BIM")) return fail(f, "tagged block signature");
            const std::string key = text(4);
            const uint32_t length = u32();
            const size_t dataStart = pos_;
            if (key == "Lr16" || key == "Lr32") {
                layerInfo(f);
                if (pos_ != dataStart + length) return fail(f, key + " length");
            }
            pos_ = dataStart;
            f.blockKeys.push_back(key);
            f.blockData.push_back(take(length));
            // Zero bytes up to a multiple of 4 counted from the length field.
            while ((pos_ - dataStart + 4) % 4 != 0)
                if (u8() != 0) return fail(f, key + " padding");
        }
        if (pos_ != layerEnd) return fail(f, "layer section length");

        f.mergedCompression = u16();
        f.merged.assign(b_.begin() + std::ptrdiff_t(std::min(pos_, b_.size())), b_.end());
        if (bad_) return fail(f, "file ends early");
        f.ok = true;
        return f;
    }

  private:
    void layerInfo(PsdFile& f) {
        const int16_t count = int16_t(u16());
        for (int i = 0; i < (count < 0 ? -count : count) && !bad_; ++i) {
            PsdLayer l;
            l.top = int32_t(u32());
            l.left = int32_t(u32());
            l.bottom = int32_t(u32());
            l.right = int32_t(u32());
            const uint16_t channels = u16();
            for (int c = 0; c < channels && !bad_; ++c) {
                PsdChannel ch;
                ch.id = int16_t(u16());
                ch.length = u32();
                l.channels.push_back(ch);
            }
            if (!expect("8BIM")) bad_ = true;
            l.blendKey = text(4);
            l.opacity = u8();
            l.clipping = u8();
            l.flags = u8();
            u8();
            l.extraLength = u32();
            const size_t extraEnd = pos_ + l.extraLength;
            take(u32()); // layer mask
            l.blendingRanges = take(u32());
            const uint8_t nameLength = u8();
            l.name = text(nameLength);
            if (pos_ > extraEnd) bad_ = true;
            // The name field is padded to a multiple of 4.
            while (!bad_ && pos_ < extraEnd && b_[pos_] == 0) ++pos_;
            if (pos_ != extraEnd) bad_ = true;
            f.layers.push_back(std::move(l));
        }
        for (PsdLayer& l : f.layers)
            for (PsdChannel& ch : l.channels) {
                ch.compression = u16();
                ch.samples = take(ch.length >= 2 ? ch.length - 2 : 0);
            }
    }

    PsdFile& fail(PsdFile& f, const std::string& what) {
        f.ok = false;
        f.error = what + " (at byte " + std::to_string(pos_) + ")";
        return f;
    }
    bool expect(const char* sig) { return text(4) == sig; }
    uint8_t u8() {
        if (pos_ >= b_.size()) {
            bad_ = true;
            return 0;
        }
        return b_[pos_++];
    }
    uint16_t u16() {
        const uint16_t high = u8();
        return uint16_t((high << 8) | u8());
    }
    uint32_t u32() {
        const uint32_t high = u16();
        return (high << 16) | u16();
    }
    std::vector<uint8_t> take(size_t n) {
        if (n > b_.size() - std::min(pos_, b_.size())) {
            bad_ = true;
            pos_ = b_.size();
            return {};
        }
        std::vector<uint8_t> out(b_.begin() + std::ptrdiff_t(pos_),
                                 b_.begin() + std::ptrdiff_t(pos_ + n));
        pos_ += n;
        return out;
    }
    std::string text(size_t n) {
        const std::vector<uint8_t> t = take(n);
        return std::string(t.begin(), t.end());
    }

    const std::vector<uint8_t>& b_;
    size_t pos_ = 0;
    bool bad_ = false;
};

inline PsdFile parsePsd(const std::vector<uint8_t>& bytes) {
    return PsdParser(bytes).parse();
}

} // namespace qftest
