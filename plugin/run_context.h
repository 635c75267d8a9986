// The plug-in's working block for one filtering run, held by the host as the
// plug-in's data handle. Unlike the settings record it may hold pointers:
// the host keeps it for us between calls but never interprets it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "values/pixel_types.h"

namespace qf {

struct RenderState;
struct DialogRunState;

struct RunContextFields {
    uint8_t showDialog;
    uint8_t firstRun;
    PixelRect previewRect;
    float previewScale;
    uint8_t* planeBuffer;
    int32_t planeCount;
    int32_t previewWidth;
    int32_t previewHeight;
    int32_t previewArea;
    PixelRect hostFilterRect;
    RenderState* renderState;

    // Geometry of the area being rendered, recorded when the host is
    // prepared for it.
    int32_t areaWidth;
    int32_t areaHeight;
    int32_t lastColumn;
    int32_t lastRow;
    int32_t maskFirstRow;
    int32_t maskLastRow;
    int32_t inputFirstRow;
    int32_t inputLastRow;
    int32_t currentRow;

    // The dialog's preview pane; (0, 0, 1, 1) until the dialog sets it.
    PixelRect previewPane;

    // The area of the current render; its top-left corner is its offset in
    // document coordinates.
    PixelRect renderArea;

    // What the run keeps for the settings dialog (memory dots, undo, the
    // run's thumbnail), from start to the cleanup.
    DialogRunState* dialogState;

    // The size of the plane copy in bytes, kept for the next preview of
    // the same size.
    size_t planeBytes;
};

// The host holds 20856 bytes whatever the pointer size.
struct RunContext : RunContextFields {
    uint8_t reserved[20856 - sizeof(RunContextFields)];
};
static_assert(sizeof(RunContext) == 20856);

// Sets the preview rectangle to zero, the preview scale to 1, asks for the
// dialog, forgets the plane copy and the preview size.
void resetRunContext(RunContext& ctx);

} // namespace qf
