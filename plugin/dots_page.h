// The memory-dots page: every filled memory dot rendered over a copy of the
// document, 300 pixels on the larger side, four to a row, named "dot N".
#pragma once

#include <cstdint>
#include <string>

namespace qf {

struct ModuleCall;
class MemoryDots;

constexpr int kDotsPageColumns = 4;
constexpr int32_t kDotsPageSide = 300;
// The export kind a dot's render runs under.
constexpr int32_t kDotsPageExportKind = 3;

// The size of a dot's picture for a document of `width` x `height`: the
// larger side 300, the other in proportion (truncated), each at least 1.
void dotsPageImageSize(int32_t width, int32_t height, int32_t& outWidth, int32_t& outHeight);

// Writes the page of the dots that `dots` shows filled and whose files
// exist in `dotFolder` (ending with a separator; empty: the temporary
// folder) to `pagePath`. Each dot's settings are read and rendered with the
// `image` target; the settings record is as before afterwards. A picture
// that cannot be rendered or written is left out silently (the page still
// links to it), a render the user cancels ends the page where it is.
// kFileOk, or the page's kFileCannotOpen or kFileWriteFailed. `cells`,
// when given, receives the number of dots on the page.
int writeDotsPage(ModuleCall& call, const MemoryDots& dots, const std::string& dotFolder,
                  const std::string& pagePath, int* cells = nullptr);

} // namespace qf
