// Exporting the rendered pattern to a file, rendered at a chosen size over a
// copy of the document: a JPEG picture, or a layered PSD document with the
// pattern as a layer with its transparency. Our own command-line host asks
// for it through keys of its own in the scripting descriptor (editors never
// send them); the dialog's export buttons use the same path.
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

// Results of the PSD export besides the host's codes: the picture cannot be
// had (nothing is written), and the file layer's "cannot create" (nothing is
// rendered).
constexpr int16_t kExportNoPicture = -99;
constexpr int16_t kExportCannotCreate = 99;

// The file kinds an export writes, chosen by the path's extension: ".psd"
// (any letter case) is a PSD document, anything else a JPEG picture.
enum class ExportFormat { Jpeg, Psd };
ExportFormat exportFormatOf(const char* path);

// Renders the settings into a picture of the requested size (each side
// limited to 2..30000) over a copy of the document and writes it in the
// path's format. The file is written under a temporary name beside the
// target and replaces it only when everything was written, so a failed or
// cancelled export leaves no partial file and an older file as it was.
// Returns the run's result code: 0 or a host failure (-128 cancelled),
// and for JPEG -108 when the picture cannot be held and -20 when the file
// cannot be written; for PSD kExportCannotCreate before anything is
// rendered, kExportNoPicture when the picture cannot be held, -20 when a
// write fails and -50 for a size whose layer does not fit the format.
int16_t exportPicture(ModuleCall& call, const ExportRequest& request);

} // namespace qf
