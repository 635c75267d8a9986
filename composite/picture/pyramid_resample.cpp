#include "composite/picture/pyramid_resample.h"

#include <algorithm>
#include <bit>

#include "composite/picture/pyramid_image.h"

namespace qf {

namespace {

// log2 of a positive, finite value with plain double arithmetic (no maths
// library), so that every build computes the same bits; exact for powers
// of two.
double ratioLog2(double r) {
    const uint64_t bits = std::bit_cast<uint64_t>(r);
    int32_t e = int32_t((bits >> 52) & 0x7FF) - 1023;
    double m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | (uint64_t{1023} << 52));
    if (m > 1.4142135623730951) {
        m *= 0.5;
        e += 1;
    }
    // ln(m) = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.172.
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double term = s;
    double sum = 0.0;
    for (int n = 0; n < 16; ++n) {
        sum += term / double(2 * n + 1);
        term *= s2;
    }
    return double(e) + 2.0 * sum * 1.4426950408889634; // 1 / ln 2
}

} // namespace

void resampleLevel(int32_t sourceWidth, int32_t destinationWidth, float bias, int32_t lastLevel,
                   int32_t& level, float& fraction) {
    level = 0;
    fraction = 0.0f;
    if (sourceWidth < 1 || destinationWidth < 1) return;
    double lv = ratioLog2(double(sourceWidth) / double(destinationWidth)) - double(bias);
    if (!(lv > 0.0)) lv = 0.0; // also NaN
    if (lv > double(lastLevel)) lv = double(std::max(lastLevel, 0));
    level = int32_t(lv);
    fraction = float(lv - double(level));
}

bool resampleImage(const PyramidImage& source, PyramidImage& destination,
                   const PixelRect& sourceRect, const PixelRect& destinationRect, float bias) {
    if (!source.hasStorage() || !destination.hasStorage()) return false;
    const int64_t sw = int64_t(sourceRect.right) - sourceRect.left;
    const int64_t sh = int64_t(sourceRect.bottom) - sourceRect.top;
    const int64_t dw = int64_t(destinationRect.right) - destinationRect.left;
    const int64_t dh = int64_t(destinationRect.bottom) - destinationRect.top;
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || sw > INT32_MAX || sh > INT32_MAX ||
        dw > INT32_MAX || dh > INT32_MAX)
        return false;

    int32_t level;
    float fraction;
    resampleLevel(int32_t(sw), int32_t(dw), bias, source.lastLevel(), level, fraction);

    const PyramidLevel& S = *source.level(0);
    const float stepX = float(sw) / float(dw);
    const float stepY = float(sh) / float(dh);
    const bool floatDestination = destination.holdsFloat();
    const float colourLimit = floatDestination ? 65535.0f : 1.0f;
    const int32_t destW = destination.levelWidth(0);
    const int32_t destH = destination.levelHeight(0);
    // Only destination pixels inside the picture are visited.
    const int64_t yBegin = std::max<int64_t>(0, -int64_t(destinationRect.top));
    const int64_t yEnd = std::min<int64_t>(dh, int64_t(destH) - destinationRect.top);
    const int64_t xBegin = std::max<int64_t>(0, -int64_t(destinationRect.left));
    const int64_t xEnd = std::min<int64_t>(dw, int64_t(destW) - destinationRect.left);
    auto limit = [](float v, float hi) { return v > 0.0f ? (v < hi ? v : hi) : 0.0f; };
    for (int64_t y = yBegin; y < yEnd; ++y) {
        const float v = (float(sourceRect.top) + (float(y) + 0.5f) * stepY) * S.inverseHeight;
        for (int64_t x = xBegin; x < xEnd; ++x) {
            const float u = (float(sourceRect.left) + (float(x) + 0.5f) * stepX) * S.inverseWidth;
            FloatRGBA c = source.sampleFiltered(level, fraction, u, v);
            c.r = limit(c.r, colourLimit);
            c.g = limit(c.g, colourLimit);
            c.b = limit(c.b, colourLimit);
            c.a = limit(c.a, 1.0f);
            destination.storePixel(int32_t(x + destinationRect.left),
                                   int32_t(y + destinationRect.top), 0, c);
        }
    }
    return true;
}

} // namespace qf
