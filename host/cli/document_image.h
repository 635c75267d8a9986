// Image files <-> host documents. 16-bit file samples (0..65535) become the
// host's 0..32768 and back; a second or fourth channel is the document's
// editable transparency.
#pragma once

#include "host/cli/image_io.h"
#include "host/document.h"

#include <cstdint>
#include <string>

namespace qf::cli {

uint16_t fileToHost16(uint16_t v);
uint16_t hostToFile16(uint16_t v);

// False with a one-line reason (out of memory, unsupported channel count).
bool documentFromImage(const Image& image, host::Document& doc, std::string& error);
// The document in its own sample format and channel count; `image` keeps
// its profile, metadata, quality and half-float flag. The document's pixels
// move into the image.
bool imageFromDocument(host::Document&& doc, Image& image, std::string& error);

// The selection of an 8-bit gray image (any depth is reduced to 8 bits);
// white selects. False with a one-line reason when it is not a one-channel
// image of the document's size.
bool maskFromImage(const Image& mask, const host::Document& doc, std::vector<uint8_t>& out,
                   std::string& error);

// The document's transparency, one value per pixel (empty when it has
// none), and every pixel's transparency lowered to at most that value.
std::vector<float> transparencyOf(const host::Document& doc);
void limitTransparency(host::Document& doc, const std::vector<float>& limit);

} // namespace qf::cli
