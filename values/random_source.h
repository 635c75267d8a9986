// The one process-wide pseudo-random source of the plug-in (the pattern
// itself uses none): state := state * 214013 + 2531011, yielding bits 16..30.
// Seeded with the time at every prepare; the dialog's random buttons draw
// from it.
#pragma once

#include <cstdint>

namespace qf {

void seedRandom(uint32_t seed);
int32_t nextRandom(); // 0..32767
// The state as it is now, so that a caller can continue a sequence later.
uint32_t randomState();

} // namespace qf
