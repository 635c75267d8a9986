#include <cpuid.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "render/tile_kernel.h"

namespace qf {

namespace {

// XCR0: whether the system saves the SSE and AVX registers on a thread
// switch (without that AVX2 code would corrupt other threads' registers).
uint64_t extendedControlRegister() {
    uint32_t low = 0;
    uint32_t high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t{high} << 32) | low;
}

bool detectAvx2() {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) {
        return false;
    }
    const bool osSaves = (c & bit_OSXSAVE) != 0;
    const bool avx = (c & bit_AVX) != 0;
    if (!osSaves || !avx || (extendedControlRegister() & 0x6u) != 0x6u) {
        return false;
    }
    if (__get_cpuid_max(0, nullptr) < 7) {
        return false;
    }
    __cpuid_count(7, 0, a, b, c, d);
    return (b & bit_AVX2) != 0;
}

SimdWidth chooseWidth() {
    const bool avx2 = processorHasAvx2();
    if (const char* forced = std::getenv("QUILLFIRE_SIMD")) {
        if (std::strcmp(forced, "sse2") == 0) {
            return SimdWidth::sse2;
        }
        // A processor without AVX2 still renders, with SSE2.
        if (std::strcmp(forced, "avx2") == 0) {
            return avx2 ? SimdWidth::avx2 : SimdWidth::sse2;
        }
    }
    return avx2 ? SimdWidth::avx2 : SimdWidth::sse2;
}

} // namespace

bool processorHasAvx2() {
    static const bool has = detectAvx2();
    return has;
}

SimdWidth activeSimdWidth() {
    static const SimdWidth width = chooseWidth();
    return width;
}

const char* simdWidthName(SimdWidth width) {
    return width == SimdWidth::avx2 ? "avx2" : "sse2";
}

} // namespace qf
