// Big-endian byte writing: into a place the caller has, or through ByteSink
// into a buffer the caller sized beforehand, or counting only (a dry run)
// when the buffer is null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qf {

// The big-endian bytes of a 16- or 32-bit value at `out`.
inline void putBig16(uint8_t* out, uint16_t value) {
    out[0] = static_cast<uint8_t>(value >> 8);
    out[1] = static_cast<uint8_t>(value);
}
inline void putBig32(uint8_t* out, uint32_t value) {
    putBig16(out, static_cast<uint16_t>(value >> 16));
    putBig16(out + 2, static_cast<uint16_t>(value));
}

class ByteSink {
  public:
    explicit ByteSink(uint8_t* out) : out_(out) {}

    void byte(uint8_t value) {
        if (out_) out_[count_] = value;
        ++count_;
    }
    void u16(uint16_t value) {
        uint8_t big[2];
        putBig16(big, value);
        bytes(big, sizeof big);
    }
    void u32(uint32_t value) {
        uint8_t big[4];
        putBig32(big, value);
        bytes(big, sizeof big);
    }
    void bytes(const void* data, size_t length) {
        if (out_ && length) std::memcpy(out_ + count_, data, length);
        count_ += length;
    }
    // The characters of a zero-terminated string, without the zero.
    void text(const char* s) { bytes(s, std::strlen(s)); }

    size_t count() const { return count_; }

  private:
    uint8_t* out_;
    size_t count_ = 0;
};

} // namespace qf
