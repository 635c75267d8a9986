#include "platform/clock.h"

#include <ctime>

namespace qf {

uint64_t monotonicMilliseconds() {
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u +
           static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

int64_t currentTimeSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

} // namespace qf
