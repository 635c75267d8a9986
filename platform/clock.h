// Time sources.
#pragma once

#include <cstdint>

namespace qf {

// Milliseconds from an arbitrary start; never goes back, unaffected by
// changes of the wall clock. For intervals (progress every half second).
uint64_t monotonicMilliseconds();

// Seconds since 1970-01-01 UTC, the wall clock. For seeding the
// pseudo-random generator.
int64_t currentTimeSeconds();

} // namespace qf
