#include "values/random_source.h"

namespace qf {

namespace {
// Process-wide: seeded at prepare, drawn from in the calls that follow.
uint32_t state = 1;
} // namespace

void seedRandom(uint32_t seed) {
    state = seed;
}

int32_t nextRandom() {
    state = state * 214013u + 2531011u;
    return int32_t((state >> 16) & 0x7FFF);
}

uint32_t randomState() {
    return state;
}

} // namespace qf
