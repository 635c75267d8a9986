// A bounds-checked cursor over bytes read from a module: every read either
// succeeds completely or fails and leaves the cursor where it was. Integers
// are little-endian, as Windows resources and PE files store them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace qf {}
using namespace qf;

class ByteReader {
  public:
    explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t position() const { return position_; }
    size_t remaining() const { return bytes_.size() - position_; }
    bool atEnd() const { return position_ == bytes_.size(); }

    bool readU8(uint8_t& value) {
        if (remaining() < 1) return false;
        value = bytes_[position_++];
        return true;
    }
    bool readU16(uint16_t& value) {
        if (remaining() < 2) return false;
        value = static_cast<uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
        position_ += 2;
        return true;
    }
    bool readI16(int16_t& value) {
        uint16_t raw = 0;
        if (!readU16(raw)) return false;
        value = static_cast<int16_t>(raw);
        return true;
    }
    bool readU32(uint32_t& value) {
        if (remaining() < 4) return false;
        value = static_cast<uint32_t>(bytes_[position_]) |
                (static_cast<uint32_t>(bytes_[position_ + 1]) << 8) |
                (static_cast<uint32_t>(bytes_[position_ + 2]) << 16) |
                (static_cast<uint32_t>(bytes_[position_ + 3]) << 24);
        position_ += 4;
        return true;
    }
    bool readI32(int32_t& value) {
        uint32_t raw = 0;
        if (!readU32(raw)) return false;
        value = static_cast<int32_t>(raw);
        return true;
    }
    bool readBytes(size_t count, std::span<const uint8_t>& out) {
        if (remaining() < count) return false;
        out = bytes_.subspan(position_, count);
        position_ += count;
        return true;
    }
    bool skip(size_t count) {
        if (remaining() < count) return false;
        position_ += count;
        return true;
    }
    // A Pascal string: one length byte, then that many characters.
    bool readPascalString(std::string& value) {
        if (remaining() < 1) return false;
        size_t length = bytes_[position_];
        if (remaining() - 1 < length) return false;
        value.assign(reinterpret_cast<const char*>(bytes_.data() + position_ + 1), length);
        position_ += 1 + length;
        return true;
    }

  private:
    std::span<const uint8_t> bytes_;
    size_t position_ = 0;
};
