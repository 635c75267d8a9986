// Pictures of ours put on the screen with GDI: 32-bit rows, top row first.
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "composite/picture/pyramid_image.h"
#include "ui/win32/win32_common.h"

namespace qf {

std::vector<uint32_t> pictureRows(const PyramidImage& picture, int width, int height) {
    std::vector<uint32_t> rows(size_t(width) * size_t(height), 0);
    if (!picture.hasStorage()) return rows;
    const int columns = std::min(width, int(picture.width()));
    if (columns <= 0) return rows;
    std::vector<FloatRGBA> colours(static_cast<size_t>(columns));
    const auto byte = [](float v) {
        return uint32_t(std::lround(std::fmin(std::fmax(v == v ? v : 0.0f, 0.0f), 1.0f) * 255.0f));
    };
    for (int y = 0; y < height && y < picture.height(); ++y) {
        // The picture's colours as it reads them (its samples are words in
        // an order of their own), to GDI's blue-green-red word.
        picture.samplePointRow(0, y, 0, columns, colours.data());
        for (int x = 0; x < columns; ++x) {
            const FloatRGBA& c = colours[size_t(x)];
            rows[size_t(y) * size_t(width) + size_t(x)] =
                byte(c.b) | byte(c.g) << 8 | byte(c.r) << 16;
        }
    }
    return rows;
}

void drawRows(HDC dc, const uint32_t* rows, int width, int height, int sourceWidth,
              int sourceHeight, int x, int y, int drawWidth, int drawHeight) {
    if (!rows || width <= 0 || height <= 0) return;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height; // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    if (drawWidth != sourceWidth || drawHeight != sourceHeight) SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, x, y, drawWidth, drawHeight, 0, 0, sourceWidth, sourceHeight, rows, &bi,
                  DIB_RGB_COLORS, SRCCOPY);
}

} // namespace qf
