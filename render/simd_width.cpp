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

// The structured-extended feature bits (leaf 7, EBX) when the system saves
// the registers whose XCR0 bits are all in `stateBits`; 0 otherwise.
uint32_t extendedFeatures(uint64_t stateBits) {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) {
        return 0;
    }
    const bool osSaves = (c & bit_OSXSAVE) != 0;
    const bool avx = (c & bit_AVX) != 0;
    if (!osSaves || !avx || (extendedControlRegister() & stateBits) != stateBits) {
        return 0;
    }
    if (__get_cpuid_max(0, nullptr) < 7) {
        return 0;
    }
    __cpuid_count(7, 0, a, b, c, d);
    return b;
}

// SSE and AVX state (XCR0 bits 1 and 2).
bool detectAvx2() {
    return (extendedFeatures(0x6u) & bit_AVX2) != 0;
}

// Besides those, the mask registers and both halves of the 512-bit
// registers (bits 5 to 7).
bool detectAvx512() {
    return (extendedFeatures(0xE6u) & bit_AVX512F) != 0;
}

SimdWidth chooseWidth() {
    // A width the processor lacks gives the widest it has below it.
    if (const char* forced = std::getenv("QUILLFIRE_SIMD")) {
        if (std::strcmp(forced, "sse2") == 0) {
            return SimdWidth::sse2;
        }
        if (std::strcmp(forced, "avx2") == 0) {
            return runnableWidth(SimdWidth::avx2);
        }
    }
    return runnableWidth(SimdWidth::avx512);
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

SimdWidth runnableWidth(SimdWidth width) {
    if (width == SimdWidth::avx512 && processorHasAvx512()) {
        return SimdWidth::avx512;
    }
    if (width != SimdWidth::sse2 && processorHasAvx2()) {
        return SimdWidth::avx2;
    }
    return SimdWidth::sse2;
}

bool processorHasAvx512() {
    static const bool has = detectAvx512();
    return has;
}

const char* simdWidthName(SimdWidth width) {
    switch (width) {
    case SimdWidth::avx512:
        return "avx512";
    case SimdWidth::avx2:
        return "avx2";
    default:
        return "sse2";
    }
}

} // namespace qf
