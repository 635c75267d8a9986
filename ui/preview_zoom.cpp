#include "ui/preview_zoom.h"

#include <algorithm>

namespace qf {

namespace {

int64_t ceilDiv(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

int32_t shownExtent(int32_t scaled, int32_t pane) {
    return std::max(0, std::min(scaled, pane));
}

int32_t maxPan(int32_t scaled, int32_t pane, int32_t level) {
    const int64_t m = int64_t(level) * (int64_t(scaled) - shownExtent(scaled, pane));
    return int32_t(std::clamp<int64_t>(m, 0, INT32_MAX));
}

int32_t convertAxis(int32_t offset, int32_t scaledFrom, int32_t scaledTo, int32_t pane,
                    int32_t from, int32_t to) {
    const int64_t centre = int64_t(offset) + int64_t(shownExtent(scaledFrom, pane)) * from / 2;
    const int64_t moved = centre - int64_t(shownExtent(scaledTo, pane)) * to / 2;
    return int32_t(std::clamp<int64_t>(moved, 0, maxPan(scaledTo, pane, to)));
}

} // namespace

int32_t largestZoomLevel(const PreviewGeometry& g) {
    const int64_t w = g.filter.width();
    const int64_t h = g.filter.height();
    if (!g.hostCanScale || w < 1 || h < 1 || g.paneWidth < 1 || g.paneHeight < 1) return 1;
    const int64_t mx = ceilDiv(w, std::min<int64_t>(g.paneWidth, w));
    const int64_t my = ceilDiv(h, std::min<int64_t>(g.paneHeight, h));
    return int32_t(std::clamp<int64_t>(std::max(mx, my), 1, INT32_MAX));
}

int32_t scaledWidth(const PreviewGeometry& g, int32_t level) {
    const int32_t z = std::max(level, 1);
    return g.filter.right / z - g.filter.left / z;
}

int32_t scaledHeight(const PreviewGeometry& g, int32_t level) {
    const int32_t z = std::max(level, 1);
    return g.filter.bottom / z - g.filter.top / z;
}

int32_t maxPanX(const PreviewGeometry& g, int32_t level) {
    return maxPan(scaledWidth(g, level), g.paneWidth, std::max(level, 1));
}

int32_t maxPanY(const PreviewGeometry& g, int32_t level) {
    return maxPan(scaledHeight(g, level), g.paneHeight, std::max(level, 1));
}

void clampPan(const PreviewGeometry& g, int32_t level, int32_t& offsetX, int32_t& offsetY) {
    offsetX = std::clamp(offsetX, 0, maxPanX(g, level));
    offsetY = std::clamp(offsetY, 0, maxPanY(g, level));
}

void convertPan(const PreviewGeometry& g, int32_t from, int32_t to, int32_t& offsetX,
                int32_t& offsetY) {
    from = std::max(from, 1);
    to = std::max(to, 1);
    offsetX = convertAxis(offsetX, scaledWidth(g, from), scaledWidth(g, to), g.paneWidth, from, to);
    offsetY =
        convertAxis(offsetY, scaledHeight(g, from), scaledHeight(g, to), g.paneHeight, from, to);
}

std::string zoomPercentText(int32_t level) {
    return std::to_string(100 / std::max(level, 1)) + "%";
}

} // namespace qf
