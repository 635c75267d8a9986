// Pictures of ours put on the screen with GDI: 32-bit rows, top row first.
#include <windows.h>

#include "composite/picture/pyramid_image.h"
#include "ui/win32/win32_common.h"

namespace qf {

std::vector<uint32_t> pictureRows(const PyramidImage& picture, int width, int height) {
    std::vector<uint32_t> rows(size_t(width) * size_t(height), 0);
    for (int y = 0; y < height && y < picture.height(); ++y)
        for (int x = 0; x < width && x < picture.width(); ++x) {
            const uint8_t* p = picture.pixelAddress(x, y, 0);
            if (p)
                rows[size_t(y) * size_t(width) + size_t(x)] =
                    uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
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
