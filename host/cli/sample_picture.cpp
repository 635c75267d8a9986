#include "host/cli/sample_picture.h"

namespace qf::cli {
namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(const Rgb& a, const Rgb& b, double t) {
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double sq(double v) {
    return v * v;
}

bool inEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    return sq((x - cx) / rx) + sq((y - cy) / ry) <= 1.0;
}

bool inRect(double x, double y, double x0, double y0, double x1, double y1) {
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

constexpr Rgb kChart[12] = {
    {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},
    {133, 128, 177}, {103, 189, 170}, {214, 126, 44}, {80, 91, 166},
    {193, 90, 99},   {94, 60, 108},   {157, 188, 64}, {224, 163, 46},
};

// The scene at a point given in pixels. Only +, -, *, / and comparisons:
// the same on every build.
Rgb scene(double x, double y) {
    // Gray ramp and colour chart along the bottom.
    if (y >= 376) {
        double v = x * 255.0 / 511.0;
        return {v, v, v};
    }
    if (y >= 336) {
        for (int i = 0; i < 12; ++i) {
            double x0 = 8 + i * 42;
            if (inRect(x, y, x0, 340, x0 + 40, 372)) return kChart[i];
        }
        return {40, 40, 40};
    }
    // Tree.
    if (inEllipse(x, y, 424, 236, 22, 26)) {
        double shade = (x - 424 + y - 236) / 60.0;
        return mix({62, 130, 60}, {24, 70, 30}, 0.5 + shade);
    }
    if (inRect(x, y, 420, 250, 428, 292)) return {92, 62, 36};
    // House: roof, window, door, wall.
    if (y >= 238 && y < 262) {
        double half = (y - 238) * 38.0 / 24.0;
        if (x >= 330 - half && x < 330 + half)
            return mix({120, 62, 48}, {80, 42, 34}, (y - 238) / 24.0);
    }
    if (inRect(x, y, 306, 270, 318, 282)) return {244, 230, 150};
    if (inRect(x, y, 322, 280, 338, 300)) return {62, 42, 30};
    if (inRect(x, y, 300, 262, 360, 300))
        return mix({214, 78, 58}, {170, 58, 44}, (x - 300) / 60.0);
    // Lake with ripples.
    if (inEllipse(x, y, 120, 302, 100, 26)) {
        Rgb water = mix({120, 170, 215}, {40, 95, 155}, (y - 276) / 52.0);
        if (int(y) % 6 == 0) water = mix(water, {235, 240, 245}, 0.25);
        return water;
    }
    // Near hill with field bands.
    const double ridgeNear = 250 + sq(x - 330) / 1600.0;
    if (y >= ridgeNear) {
        Rgb grass = mix({92, 158, 64}, {36, 92, 32}, (y - ridgeNear) / (384 - ridgeNear + 1));
        if ((int(x + 2 * y) / 24) % 2 == 0) grass = mix(grass, {150, 170, 70}, 0.15);
        return grass;
    }
    // Far hills.
    const double a = 196 + sq(x - 120) / 600.0, b = 212 + sq(x - 390) / 900.0;
    const double ridgeFar = a < b ? a : b;
    if (y >= ridgeFar) return mix({104, 140, 136}, {70, 112, 96}, (y - ridgeFar) / 60.0);
    // Sun and sky.
    const double d2 = sq(x - 395) + sq(y - 95);
    if (d2 <= 34.0 * 34.0) return {255, 238, 176};
    Rgb sky = mix({28, 72, 150}, {214, 226, 238}, y / 250.0);
    if (d2 < 150.0 * 150.0) {
        double glow = 1.0 - d2 / (150.0 * 150.0);
        sky = mix(sky, {255, 214, 150}, glow * glow * 0.8);
    }
    return sky;
}

} // namespace

Image makeSamplePicture() {
    Image img;
    img.width = kSampleWidth;
    img.height = kSampleHeight;
    img.channels = 3;
    img.format = SampleFormat::u8;
    img.data.resize(img.rowBytes() * size_t(img.height));
    // 4 x 4 samples per pixel for smooth edges.
    for (int32_t py = 0; py < img.height; ++py) {
        for (int32_t px = 0; px < img.width; ++px) {
            double r = 0, g = 0, b = 0;
            for (int j = 0; j < 4; ++j) {
                for (int i = 0; i < 4; ++i) {
                    Rgb c = scene(px + (i + 0.5) / 4.0, py + (j + 0.5) / 4.0);
                    r += c.r;
                    g += c.g;
                    b += c.b;
                }
            }
            uint8_t* p = img.data.data() + (size_t(py) * size_t(img.width) + size_t(px)) * 3;
            p[0] = uint8_t(r / 16.0 + 0.5);
            p[1] = uint8_t(g / 16.0 + 0.5);
            p[2] = uint8_t(b / 16.0 + 0.5);
        }
    }
    return img;
}

} // namespace qf::cli
