#include "plugin/picture_export.h"

#include <algorithm>
#include <string>

#include "composite/pyramid_image.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_writer.h"
#include "platform/file.h"
#include "plugin/host_access.h"
#include "plugin/image_render.h"
#include "plugin/module_call.h"

namespace qf {

int16_t exportPicture(ModuleCall& call, const ExportRequest& request) {
    if (!call.record || !request.requested || request.path[0] == '\0') return paramErr;
    const PixelRect filter = getFilterRect(*call.record);
    // Sizes as the export dialogs allow them.
    const int32_t w = static_cast<int32_t>(
        std::clamp<int64_t>(request.width > 0 ? request.width : filter.width(), 2, 30000));
    const int32_t h = static_cast<int32_t>(
        std::clamp<int64_t>(request.height > 0 ? request.height : filter.height(), 2, 30000));

    PyramidImage picture;
    if (!createImage(&picture, w, h, documentPictureKind(call), kPyramidClamp, false))
        return memFullErr;
    const int16_t rendered = renderIntoImage(call, picture, true);
    if (rendered != 0) return rendered;

    // Written beside the destination first, so a failure never leaves a
    // half-written file under the user's name.
    const std::string partial = std::string(request.path) + ".partial";
    File file;
    if (file.openForWriting(partial.c_str()) != kFileOk) return writErr;
    IptcBlock iptc;
    ExifBlock exif;
    JpegRequest jpeg;
    jpeg.source = &picture;
    jpeg.rect = PixelRect{0, 0, h, w};
    jpeg.file = &file;
    jpeg.quality = request.quality;
    jpeg.iptc = &iptc;
    jpeg.exif = &exif;
    int result = writeJpeg(jpeg);
    if (result == kJpegWriteOk) result = file.setEndOfFile();
    const int closed = file.close();
    if (result == kJpegWriteOk) result = closed;
    if (result != kJpegWriteOk || replaceFile(partial.c_str(), request.path) != 0) {
        deleteFile(partial.c_str());
        return writErr;
    }
    return noErr;
}

} // namespace qf
