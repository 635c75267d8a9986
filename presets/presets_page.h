// The presets page: a web page of the pictures stored in every presets file
// (".sa9", any letter case) of a folder, five to a row, each shown 88 x 88
// under the file's name.
#pragma once

#include <functional>
#include <string>

#include "platform/safe_write.h"

namespace qf {

constexpr int kPresetsPageColumns = 5;
constexpr int kPresetsPageSide = 88;
// The folder cannot be listed or holds no presets file: no page is written.
constexpr int kPresetsPageNothingFound = 1;

// Writes the page of `sourceFolder` (with or without a trailing separator)
// to `pagePath`, the pictures into "web_images" beside it. Only the
// pictures of the files are read, and written at the size stored (up to 128
// x 128); a file without one shows a white 88 x 88 square.
// kFileOk, kPresetsPageNothingFound, or the page's kFileCannotOpen or
// kFileWriteFailed. `cells`, when given, receives the number of pictures.
// `accept`, when given, is asked about each file (by its path) and a file
// it refuses is left out of the page.
int writePresetsPage(const std::string& sourceFolder, const std::string& pagePath,
                     unsigned safeWriteFlags = kSafeWriteDefault, int* cells = nullptr,
                     const std::function<bool(const std::string&)>& accept = {});

} // namespace qf
