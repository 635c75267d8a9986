// Exporting the rendered pattern to a file, rendered at a chosen size over a
// copy of the document. Our own command-line host asks for it through keys
// of its own in the scripting descriptor (editors never send them); the
// dialog's export buttons use the same path.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"
#include "values/scripting_terms.h"
#include "values/settings_record.h"

namespace qf {

struct ModuleCall;

struct ExportRequest {
    bool requested = false;
    char path[kNameLength] = {};
    int32_t width = 0; // 0: the filter rectangle's size
    int32_t height = 0;
    int32_t quality = 90;
};

// Renders the settings into a picture of the requested size over a copy of
// the document and writes it as a JPEG file, replacing the file only when
// everything was written. Returns the run's result code: 0, a host failure,
// -108 when the picture cannot be held, -20 when the file cannot be written.
int16_t exportPicture(ModuleCall& call, const ExportRequest& request);

} // namespace qf
