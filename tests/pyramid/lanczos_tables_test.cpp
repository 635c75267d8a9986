// The sampler's weight tables: exact integer sums, agreement with the
// kernel's definition, and the headroom the 8-bit sums rely on.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <gtest/gtest.h>

#include "composite/picture/lanczos_tables.h"

namespace qf {}
using namespace qf;

namespace {

double lanczos2(double x) {
    if (x == 0.0) return 1.0;
    if (std::fabs(x) >= 2.0) return 0.0;
    const double a = 3.141592653 * x;
    return std::sin(a) / a * (std::sin(a / 2.0) / (a / 2.0));
}

TEST(LanczosTables, IntegerPhasesSumExactlyToTheirScale) {
    for (int i = 0; i < kLanczosPhases; ++i) {
        int32_t s2048 = 0;
        int32_t s32768 = 0;
        for (int k = 0; k < kLanczosTaps; ++k) {
            s2048 += kLanczosTables.weights2048[i][k];
            s32768 += kLanczosTables.weights32768[i][k];
        }
        EXPECT_EQ(s2048, 2048) << "phase " << i;
        EXPECT_EQ(s32768, 32768) << "phase " << i;
    }
}

TEST(LanczosTables, FloatWeightsFollowTheKernelAndIntegersTruncateThem) {
    for (int i = 0; i < kLanczosPhases; ++i) {
        double s[kLanczosTaps];
        double total = 0.0;
        for (int k = 0; k < kLanczosTaps; ++k) {
            s[k] = 0.0;
            for (int j = 0; j < 20; ++j) s[k] += lanczos2(i / 128.0 - 2.0 - j / 21.0 + k);
            total += s[k];
        }
        float sum = 0.0f;
        for (int k = 0; k < kLanczosTaps; ++k) {
            EXPECT_NEAR(kLanczosTables.weights[i][k], s[k] / total, 2e-7)
                << "phase " << i << " tap " << k;
            sum += kLanczosTables.weights[i][k];
        }
        EXPECT_NEAR(sum, 1.0f, 2e-7f) << "phase " << i;
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(kLanczosTables.weights2048[i][k],
                      int32_t(kLanczosTables.weights[i][k] * 2048.0f));
            EXPECT_EQ(kLanczosTables.weights32768[i][k],
                      int32_t(kLanczosTables.weights[i][k] * 32768.0f));
        }
    }
    // Phase 0 samples half-way between the centre pixel and its left
    // neighbour: those two carry nearly all the weight.
    EXPECT_GT(kLanczosTables.weights[0][2] + kLanczosTables.weights[0][3], 1.0f);
    // Phase 64 samples the centre pixel itself.
    EXPECT_GT(kLanczosTables.weights[64][2], 0.8f);
}

TEST(LanczosTables, EightBitSumsFitThirtyTwoBits) {
    int64_t worst = 0;
    for (int i = 0; i < kLanczosPhases; ++i) {
        int64_t a = 0;
        for (int k = 0; k < kLanczosTaps; ++k) a += std::llabs(kLanczosTables.weights2048[i][k]);
        worst = std::max(worst, a);
    }
    EXPECT_LT(255 * worst * worst, int64_t{1} << 31);
}

} // namespace
