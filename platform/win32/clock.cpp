#include "platform/clock.h"

#include <windows.h>
#include <ctime>

namespace qf {

uint64_t monotonicMilliseconds() {
    return static_cast<uint64_t>(GetTickCount64());
}

int64_t currentTimeSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

} // namespace qf
