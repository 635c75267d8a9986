#include "host/cli/image_io.h"

#include "host/cli/file_util.h"
#include "platform/file.h"

#if QF_HAVE_OIIO
#include "host/cli/image_library.h"
#include "host/module_loader.h"

#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>
#endif

#include <string>
#include <vector>

namespace qf::cli {
namespace {

#if QF_HAVE_OIIO
// 8-bit gray and RGB Netpbm files are written here in one piece, exactly
// as the image library writes them (P5 or P6, the size, 255, the samples):
// its coder hands every sample to the file separately, which made writing
// a large picture slower than rendering it.
bool plainNetpbm(const std::string& path, const Image& img) {
    const std::string ext = extensionOf(path);
    return (ext == ".ppm" || ext == ".pgm" || ext == ".pnm") && img.format == SampleFormat::u8 &&
           (img.channels == 1 || img.channels == 3) &&
           img.rowBytes() == size_t(img.width) * size_t(img.channels);
}

bool writeNetpbm(const std::string& finalPath, SafeWrite& file, const Image& img,
                 std::string& error) {
    const std::string header = std::string(img.channels == 1 ? "P5" : "P6") + "\n" +
                               std::to_string(img.width) + " " + std::to_string(img.height) +
                               "\n255\n";
    if (file.write(header.data(), header.size()) != kFileOk ||
        file.write(img.data.data(), img.data.size()) != kFileOk) {
        error = writeFailure(file, finalPath);
        return false;
    }
    return true;
}

// The CLI's SafeWrite handed to the image library.
class SafeWriteTarget final : public ImageWriteTarget {
  public:
    SafeWriteTarget(SafeWrite& file, const std::string& path) : file_(file), path_(path) {}
    int writeAt(int64_t offset, const void* data, size_t count) override {
        return file_.writeAt(offset, data, count);
    }
    const char* temporaryPath() const override { return file_.temporaryPath(); }
    const char* handOver() override { return file_.handOver(); }
    bool failed() const override { return file_.error() != kSafeWriteOk; }
    void fail() override { file_.fail(); }
    std::string failure() const override { return writeFailure(file_, path_); }

  private:
    SafeWrite& file_;
    const std::string& path_;
};

// Whether the address space left under the process's limit (ulimit -v) is
// too small for the image library, with `error` saying so. Short of room,
// the loader fails cleanly only while it maps libraries; one of them then
// starts a thread pool from its initialiser (4 threads on 2 processors,
// each with a stack of RLIMIT_STACK), and a thread that cannot be made
// aborts the program or hangs it. Measured with a render to BMP: loading and
// writing failed with 410 MB left and worked with 413 MB; the estimate below
// asks for 449 MB there.
bool addressSpaceShort(std::string& error) {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return false;
    unsigned long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    if (pages == 0) return false;
    const uint64_t mb = uint64_t(1) << 20;
    const uint64_t used = uint64_t(pages) * uint64_t(::sysconf(_SC_PAGESIZE));
    struct rlimit stack {};
    uint64_t threadStack = 8 * mb;
    if (::getrlimit(RLIMIT_STACK, &stack) == 0)
        threadStack =
            stack.rlim_cur == RLIM_INFINITY ? 32 * mb : std::max<uint64_t>(stack.rlim_cur, mb);
    const uint64_t threads = std::max(4u, std::thread::hardware_concurrency());
    // The mappings, the pool's threads, and a margin.
    const uint64_t needed = 385 * mb + threads * (threadStack + 64 * 1024) + 32 * mb;
    const uint64_t left = uint64_t(limit.rlim_cur) > used ? uint64_t(limit.rlim_cur) - used : 0;
    if (left >= needed) return false;
    error = "not enough address space to load the image library (ulimit -v): it needs about " +
            std::to_string(needed / mb) + " MB, " + std::to_string(left / mb) + " MB are left";
    return true;
}

// The image library, loaded once by the first caller, from beside the
// running program (an installed CLI is a link to the program in its private
// folder, which /proc/self/exe resolves). Null with `error` saying why it
// could not be loaded.
const ImageLibrary* imageLibrary(std::string& error) {
    struct Loaded {
        const ImageLibrary* library = nullptr;
        std::string error;
    };
    static const Loaded loaded = [] {
        Loaded result;
        if (addressSpaceShort(result.error)) return result;
        const std::string beside = host::executableFolder();
        std::vector<std::string> paths;
        if (!beside.empty()) paths.push_back(beside + QF_IMAGE_LIBRARY_NAME);
        std::string firstFailure, presentFailure;
        for (const std::string& path : paths) {
            std::string why;
            if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
                const auto entry =
                    reinterpret_cast<ImageLibraryEntry>(dlsym(handle, kImageLibraryEntryName));
                const ImageLibrary* library = entry ? entry() : nullptr;
                if (library && library->version == kImageLibraryVersion) {
                    result.library = library;
                    return result;
                }
                why = path + ": " +
                      (library ? "built for another version of quillfire"
                               : "not a quillfire image library");
                dlclose(handle);
            } else {
                const char* message = dlerror();
                why = message ? message : path + ": cannot be loaded";
            }
            if (firstFailure.empty()) firstFailure = why;
            if (presentFailure.empty() && fileExists(path)) presentFailure = why;
        }
        // A library that is there but cannot be loaded says more than one
        // that is missing.
        result.error = std::string("cannot load the image library " QF_IMAGE_LIBRARY_NAME " (") +
                       (presentFailure.empty() ? firstFailure : presentFailure) + ")";
        return result;
    }();
    if (!loaded.library) error = loaded.error;
    return loaded.library;
}
#endif

} // namespace

bool readImage(const std::string& path, Image& out, std::string& error, bool allowTruncated,
               std::string* warning) {
#if QF_HAVE_OIIO
    if (!fileExists(path)) {
        error = "cannot open '" + path + "': no such file";
        return false;
    }
    if (isDirectory(path)) {
        error = "'" + path + "' is a folder";
        return false;
    }
    std::string why;
    const ImageLibrary* library = imageLibrary(why);
    if (!library) {
        error = "cannot read '" + path + "': " + why;
        return false;
    }
    return library->read(path, out, error, allowTruncated, warning);
#else
    return readImageStb(path, out, error, allowTruncated, warning);
#endif
}

bool writeImage(const std::string& path, const Image& image, std::string& error,
                std::string* warning) {
    if (image.width < 1 || image.height < 1 || image.channels < 1 || image.channels > 4 ||
        image.data.size() != image.rowBytes() * size_t(image.height)) {
        error = "internal error: no image to write";
        return false;
    }
#if QF_HAVE_OIIO
    const bool netpbm = plainNetpbm(path, image);
    const ImageLibrary* library = nullptr;
    if (!netpbm) {
        // Before the temporary exists: a failure leaves nothing behind.
        std::string why;
        library = imageLibrary(why);
        if (!library) {
            error = "cannot write '" + path + "': " + why;
            return false;
        }
    }
    SafeWrite out;
    if (!openOutput(out, path, error)) return false;
    bool written = false;
    if (netpbm) {
        written = writeNetpbm(path, out, image, error);
    } else {
        SafeWriteTarget target(out, path);
        written = library->write(path, target, image, error, warning);
        // A coder that opened the temporary by name reports what it saw
        // there: a full disk or the size limit is said as for any output,
        // and the temporary's name becomes the output's.
        if (!written && (out.error() == kSafeWriteNoSpace || out.error() == kSafeWriteTooLarge))
            error = writeFailure(out, path);
        if (!written && out.isOpen()) {
            const std::string temporary = out.temporaryPath();
            for (size_t at = 0; (at = error.find(temporary, at)) != std::string::npos;
                 at += path.size())
                error.replace(at, temporary.size(), path);
        }
    }
    return written && commitOutput(out, path, error);
#else
    return writeImageStb(path, image, error);
#endif
}

} // namespace qf::cli
