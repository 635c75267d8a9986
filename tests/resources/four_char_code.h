// Four-character codes: 32-bit values whose bytes, most significant first,
// are the four characters.
#pragma once

#include <cstdint>
#include <string>

namespace qf {}
using namespace qf;

constexpr uint32_t fourCharCode(const char (&text)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

// The code as its four characters, for messages; unprintable bytes as '?'.
inline std::string fourCharText(uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}
