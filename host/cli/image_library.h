// The image library of the native command-line tool: OpenImageIO's reader
// and writer in a shared object of their own (libquillfire_images.so beside
// the CLI), which the CLI loads at its first read or write that needs it.
// OpenImageIO brings a few hundred shared libraries, and a run that never
// touches an image file through it (--version, a render to PPM) no longer
// pays for loading them.
//
// Both sides come from the same build, so C++ types cross the boundary.
#pragma once

#include "host/cli/image_io.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qf::cli {

// The CLI's SafeWrite as the library sees it: the temporary beside the
// target, which the CLI opened and commits.
class ImageWriteTarget {
  public:
    virtual ~ImageWriteTarget() = default;
    // As SafeWrite::writeAt: kFileOk, or kFileWriteFailed with the failure
    // recorded.
    virtual int writeAt(int64_t offset, const void* data, size_t count) = 0;
    virtual const char* temporaryPath() const = 0;
    // As SafeWrite::handOver, for coders that open the file by name.
    virtual const char* handOver() = 0;
    // True once a write failed or fail() was called.
    virtual bool failed() const = 0;
    // Records a failure of the library's own, so that nothing is committed.
    virtual void fail() = 0;
    // One line about the recorded failure ("cannot write 'x.png': no space
    // left on the disk").
    virtual std::string failure() const = 0;
};

// What the library offers; readImage and writeImage call these.
struct ImageLibrary {
    uint32_t version; // kImageLibraryVersion of the library's build
    // readImage's contract, for a path that names an existing file.
    bool (*read)(const std::string& path, Image& out, std::string& error, bool allowTruncated,
                 std::string* warning);
    // Writes `image` into `target` (not committed); `finalPath` chooses the
    // format and names the file in messages.
    bool (*write)(const std::string& finalPath, ImageWriteTarget& target, const Image& image,
                  std::string& error, std::string* warning);
};

// Changes whenever ImageLibrary, ImageWriteTarget or Image change.
constexpr uint32_t kImageLibraryVersion = 2;

// The library's one exported symbol: a function returning its table.
using ImageLibraryEntry = const ImageLibrary* (*)();
constexpr const char* kImageLibraryEntryName = "quillfire_image_library";

} // namespace qf::cli
