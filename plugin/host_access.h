// The plug-in's only door to the host's pixels: rectangles (16-bit fields,
// or the 32-bit ones of the big-document structure when the host offers
// them), one-line document queries, preparing the host for a render area,
// fetching a tile, and the plane-by-plane copy behind the dialog's preview.
#pragma once

#include <cstdint>

#include "composite/composite_target.h"
#include "plugin/host_api.h"
#include "values/pixel_types.h"

namespace qf {

struct ModuleCall;

// Rectangle access: each reads or writes the large-document form when the
// host offers it and we use it.
bool usesBigDocument(const FilterRecord& fr);
PixelRect getFilterRect(const FilterRecord& fr);
PixelRect getInRect(const FilterRecord& fr);
PixelRect getOutRect(const FilterRecord& fr);
PixelRect getMaskRect(const FilterRecord& fr);
void setInRect(FilterRecord& fr, const PixelRect& r);
void setOutRect(FilterRecord& fr, const PixelRect& r);
void setMaskRect(FilterRecord& fr, const PixelRect& r);
void setAllRectsEmpty(FilterRecord& fr);

// Document queries.
bool isGray(const FilterRecord& fr);
bool isRGB(const FilterRecord& fr);
bool is8Bit(const FilterRecord& fr);
bool is16Bit(const FilterRecord& fr);
bool isFloat(const FilterRecord& fr);
int16_t baseMode(int16_t mode);
DepthClass depthClass(const FilterRecord& fr);
bool hasEditableTransparency(const FilterRecord& fr);
bool canAdvance(const FilterRecord& fr);
// The plane that holds the transparency of a layer with editable
// transparency: the host's count of layer colour planes.
int32_t transparencyPlane(const FilterRecord& fr);
bool canDisplay(const FilterRecord& fr);

// The functions below work on the call's filter record, which must be
// there; they read and keep the zoom, the pan and the area geometry in the
// call's settings and run context when it has them locked.

// Host preparation for a render area at sampling rate `rate`: records the
// area as the render area, sets the rectangles, planes, rates and padding.
void prepareArea(ModuleCall& call, const PixelRect& area, int32_t rate);

// Asks the host for the pixels of one tile (area coordinates) and returns
// the host's answer, also left in the result cell.
int16_t fetchTile(ModuleCall& call, const PixelRect& tile);
// The same for a preview tile, which is composited into the run context's
// plane copy: the input and the selection mask are copied, the output
// rectangle is one pixel inside the filter rectangle (at the reduction).
int16_t fetchPreviewTile(ModuleCall& call, const PixelRect& tile);
// The same for a tile whose input alone is read (the document copy, the
// preview's plane copy): the output and mask rectangles are one pixel
// inside the filter rectangle at the reduction.
int16_t fetchInputTile(ModuleCall& call, const PixelRect& tile);

// The preview rectangle for zoom z; becomes the render area when all is well.
void computePreviewRect(ModuleCall& call, int32_t zoom);

// Reads the preview source plane by plane into the run context's plane copy.
void readPreviewSource(ModuleCall& call);
// readPreviewSource in its two steps: the preview rectangle worked out and
// the plane copy allocated (true when the copy is then to be read), and the
// read itself, from the host's input at the preview rectangle's place.
bool preparePreviewSource(ModuleCall& call);
void copyPreviewSource(ModuleCall& call);

// The compositor's view of the host buffers the last fetch delivered, and
// of the run context's plane copy.
CompositeTarget compositeTargetFromHost(const ModuleCall& call, int32_t renderTarget, int32_t glue);

} // namespace qf
