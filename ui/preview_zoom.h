// The preview's zoom levels and pan. Level L shows the document at 100/L
// percent; level M, the largest, is the smallest at which the whole filter
// area fits the preview pane. The pan offsets are in document pixels.
#pragma once

#include <cstdint>
#include <string>

#include "values/pixel_types.h"

namespace qf {

struct PreviewGeometry {
    PixelRect filter;  // the host's filter rectangle, document pixels
    int32_t paneWidth; // the preview pane, screen pixels
    int32_t paneHeight;
    bool hostCanScale; // the host supplies the image at other scales
};

// M = max(ceil(W / min(w, W)), ceil(H / min(h, H))); 1 when the host cannot
// scale or either size is below 1.
int32_t largestZoomLevel(const PreviewGeometry& g);

// The filter area's width and height at level L, as the host scales its
// rectangle (each edge divided by L).
int32_t scaledWidth(const PreviewGeometry& g, int32_t level);
int32_t scaledHeight(const PreviewGeometry& g, int32_t level);

// The largest pan offsets at level L: L x (scaled extent - shown extent),
// where the shown extent is the pane's, or the scaled area's when that is
// smaller; never below 0.
int32_t maxPanX(const PreviewGeometry& g, int32_t level);
int32_t maxPanY(const PreviewGeometry& g, int32_t level);

// Limits the offsets to 0..max at level L.
void clampPan(const PreviewGeometry& g, int32_t level, int32_t& offsetX, int32_t& offsetY);

// Converts the offsets after a change from level `from` to level `to` so
// that the document point at the centre of the shown area stays there.
void convertPan(const PreviewGeometry& g, int32_t from, int32_t to, int32_t& offsetX,
                int32_t& offsetY);

// The percentage button's text: 100 / L followed by "%".
std::string zoomPercentText(int32_t level);

} // namespace qf
