// The hue models and the angle arithmetic as glue_modes.h offers them.
#include "composite/glue_colour_models.h"

#include "composite/glue_modes.h"

namespace qf::glue {

Hsl toHsl(float r, float g, float b) {
    return glue_detail::toHsl(r, g, b);
}

Rgb fromHsl(float h, float s, float l) {
    return glue_detail::fromHsl(h, s, l);
}

PerceptualHsl toPerceptual(float r, float g, float b) {
    return glue_detail::toPerceptual(r, g, b);
}

Rgb fromPerceptual(float h, float s, float p) {
    return glue_detail::fromPerceptual(h, s, p);
}

float octantAngle(float x, float y) {
    return glue_detail::octantAngle(x, y);
}

void sinCos(float angle, float& s, float& c) {
    glue_detail::sinCos(angle, s, c);
}

} // namespace qf::glue
