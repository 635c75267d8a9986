// The fixed table of eleven-bit values behind every pattern. It is a
// constant of the program: the seed only chooses how it is read.
#pragma once

#include <cstdint>

namespace qf {

constexpr int32_t kBaseTableSize = 2048;
constexpr int32_t kBaseTableMask = kBaseTableSize - 1;

extern const uint16_t baseTable[kBaseTableSize];

} // namespace qf
