// The four small pictures that frame every image of an exported HTML page:
// "top.gif", "left.gif", "right.gif" and "bottom.gif", written byte for byte
// into the page's "web_images" folder. The page stretches each to the size
// of the picture it frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qf {

struct BorderGif {
    const char* name; // "top.gif"
    const uint8_t* bytes;
    size_t size;
    int32_t width; // the picture's own size
    int32_t height;
};

constexpr int kBorderGifCount = 4;

// Top, left, right, bottom.
const BorderGif& borderGif(int index);

} // namespace qf
