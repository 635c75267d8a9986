#include "presets/presets_page.h"

#include <string_view>
#include <vector>

#include "composite/picture/pyramid_image.h"
#include "export/html_page.h"
#include "platform/folder_listing.h"
#include "platform/path.h"
#include "presets/presets_file.h"

namespace qf {

namespace {

bool containsNoCase(std::string_view text, std::string_view part) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < part.size() && lower(text[i + k]) == lower(part[k])) ++k;
        if (k == part.size()) return true;
    }
    return false;
}

// The file's picture as stored (at most 128 x 128: the page shows it in an
// 88 x 88 cell, sharp on a dense screen); a white 88 x 88 picture when the
// file has none or it cannot be read.
bool cellPicture(const std::string& path, PyramidImage& cell) {
    bool pictureRead = false;
    readSettingsFile(path.c_str(), kPresetsThumbnailOnly, nullptr, &cell, &pictureRead);
    if (pictureRead && cell.hasStorage() && cell.width() > 0 && cell.height() > 0) return true;
    if (!cell.create(kPresetsPageSide, kPresetsPageSide, kPyramidRGBA8)) return false;
    for (int32_t y = 0; y < kPresetsPageSide; ++y)
        for (int32_t x = 0; x < kPresetsPageSide; ++x)
            cell.storePixel(x, y, 0, FloatRGBA{1.0f, 1.0f, 1.0f, 1.0f});
    return true;
}

} // namespace

int writePresetsPage(const std::string& sourceFolder, const std::string& pagePath,
                     unsigned safeWriteFlags, int* cells,
                     const std::function<bool(const std::string&)>& accept) {
    if (cells) *cells = 0;
    std::vector<FolderEntry> entries;
    if (listFolder(sourceFolder.c_str(), entries) != kFileOk) return kPresetsPageNothingFound;
    std::string folder = sourceFolder;
    if (!folder.empty() && !isPathSeparator(folder.back())) folder += kPathSeparator;
    std::vector<std::string> names;
    for (const FolderEntry& e : entries)
        if (!e.isFolder && containsNoCase(e.name, kPresetsExtension) &&
            (!accept || accept(folder + e.name)))
            names.push_back(e.name);
    if (names.empty()) return kPresetsPageNothingFound;

    HtmlPage page;
    const int opened = page.open(pagePath, kHtmlPresetsPage, kPresetsPageColumns,
                                 folderDisplayName(folder), safeWriteFlags);
    if (opened != kFileOk) return opened;
    for (const std::string& name : names) {
        // The cell is named after the file without its extension.
        const size_t dot = name.rfind('.');
        const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
        page.addCell(stem, kPresetsPageSide, kPresetsPageSide);
        PyramidImage picture;
        if (cellPicture(folder + name, picture)) writePageImage(picture, page.imagePath(stem));
    }
    if (cells) *cells = page.cells();
    return page.close();
}

} // namespace qf
