// Copies the host's document into a picture, so that an export render
// composites over the same source pixels as the final render would.
#pragma once

#include "values/result_codes.h"
#include <cstdint>

#include "composite/composite_target.h"
#include "values/pixel_types.h"

namespace qf {

class PyramidImage;

// Why a document copy stopped (the run's reason code).
constexpr int32_t kDocumentCopyFailedReason = kReasonDocumentCopy;

// What the copy needs to know about the document.
struct DocumentFormat {
    DepthClass depth = DepthClass::Eight;
    int32_t planes = 0;                // gray when fewer than 3
    bool editableTransparency = false; // filter case 4 or 5
    int32_t alphaIndex = 0;            // the host's count of layer colour planes
};

// The input rows one fetch delivered: the top-left pixel of the requested
// rectangle at `data`, the planes of a pixel interleaved, `rowBytes` bytes
// from one row to the next, `samplesPerPixel` samples per pixel (the input
// planes requested).
struct DocumentRows {
    const uint8_t* data = nullptr;
    int32_t rowBytes = 0;
    int32_t samplesPerPixel = 0;
};

// The document as the copy reads it: the plug-in implements it on top of
// the host's filter record. All calls come from the thread that runs the
// copy.
class DocumentSource {
  public:
    virtual ~DocumentSource() = default;

    virtual DocumentFormat format() const = 0;
    // Before the first tile: saves the host-side state, sets the preview pan
    // to 0 and prepares the host for the filter rectangle at rate 1 (which
    // also makes it the render area).
    virtual void beginCopy() = 0;
    // Asks the host for the input pixels of `rect` (picture coordinates,
    // which are render-area coordinates) with all planes, rate 1 and edge
    // padding; the output and mask rectangles shrink to the single pixel at
    // the rectangle's top-left. Calls the host, keeps its answer in the
    // run's result cell and returns it; when it is 0, `rows` describes the
    // delivered input.
    virtual int16_t fetchRows(const PixelRect& rect, DocumentRows& rows) = 0;
    // The copy stopped after a host failure: record `reason` and clear the
    // run's current-row flag.
    virtual void copyStopped(int32_t reason) = 0;
    // After the last tile, also after a failure: restores the host-side
    // state and prepares the host again for the dialog's preview.
    virtual void endCopy() = 0;
};

// Fills level 0 of `picture` from the document, one 512 x 512 tile after the
// other, and sets its filled flag when every tile was copied. The picture's
// kind must match the document's depth (3 for 8-bit, 4 for 16-bit, 9 for
// float documents); a picture of another kind, or without storage, is left
// untouched and the host is not asked. A host failure stops the copy at
// that tile: tiles already copied stay, the rest keep their content, the
// filled flag stays clear. Samples are copied unchanged; gray documents give
// red = green = blue, documents without editable transparency full alpha.
// True when the picture was filled.
bool copyDocumentIntoImage(PyramidImage& picture, DocumentSource& source);

} // namespace qf
