// Big-endian byte writing into a buffer the caller sized beforehand, or
// counting only (a dry run) when the buffer is null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qf {

class ByteSink {
  public:
    explicit ByteSink(uint8_t* out) : out_(out) {}

    void byte(uint8_t value) {
        if (out_) out_[count_] = value;
        ++count_;
    }
    void u16(uint16_t value) {
        byte(static_cast<uint8_t>(value >> 8));
        byte(static_cast<uint8_t>(value));
    }
    void u32(uint32_t value) {
        u16(static_cast<uint16_t>(value >> 16));
        u16(static_cast<uint16_t>(value));
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
