#include "plugin/dots_page.h"

#include <algorithm>
#include <cstdio>

#include "composite/picture/pyramid_image.h"
#include "export/html_page.h"
#include "platform/file.h"
#include "plugin/host_access.h"
#include "plugin/image_render.h"
#include "plugin/module_call.h"
#include "presets/memory_dots.h"

namespace qf {

void dotsPageImageSize(int32_t width, int32_t height, int32_t& outWidth, int32_t& outHeight) {
    const int64_t larger = std::max<int64_t>(1, std::max(width, height));
    outWidth = int32_t(std::max<int64_t>(1, kDotsPageSide * int64_t(width) / larger));
    outHeight = int32_t(std::max<int64_t>(1, kDotsPageSide * int64_t(height) / larger));
}

int writeDotsPage(ModuleCall& call, const MemoryDots& dots, const std::string& dotFolder,
                  const std::string& pagePath, int* cells) {
    if (cells) *cells = 0;
    if (!call.record || !call.settings || !call.context) return kFileCannotOpen;
    HtmlPage page;
    const int opened = page.open(pagePath, kHtmlMemoryDotsPage, kDotsPageColumns, "");
    if (opened != kFileOk) return opened;

    SettingsRecord& settings = *call.settings;
    const SettingsRecord kept = settings;
    const PixelRect filter = getFilterRect(*call.record);
    int32_t w = 0, h = 0;
    dotsPageImageSize(int32_t(filter.width()), int32_t(filter.height()), w, h);
    for (int index = 0; index < kDotCount; ++index) {
        std::string path;
        if (dots.state(index) == kDotEmpty ||
            !folderFilePath(dotFolder, dotFileName(index).c_str(), path) ||
            !isOwnedRegularFile(path.c_str()))
            continue;
        char name[16];
        std::snprintf(name, sizeof name, "dot %d", index + 1);
        readSettingsFile(path.c_str(), kPresetsLoad, &settings, nullptr, nullptr, kOpenOwnedOnly);
        settings.exportKind = kDotsPageExportKind;
        PyramidImage picture;
        int16_t rendered = memFullErr;
        if (createImage(&picture, w, h, documentPictureKind(call), kPyramidClamp, false))
            rendered = renderIntoImage(call, picture, true);
        settings = kept;
        if (rendered == userCanceledErr) break;
        if (rendered == noErr) writePageImage(picture, page.imagePath(name));
        page.addCell(name, w, h);
    }
    settings = kept;
    // The run goes on whatever became of the pictures.
    call.result() = 0;
    if (cells) *cells = page.cells();
    return page.close();
}

} // namespace qf
