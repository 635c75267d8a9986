#include "host/cli/gallery_command.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>

#include "export/html_page.h"
#include "host/cli/document_image.h"
#include "host/cli/dots_command.h"
#include "host/cli/file_util.h"
#include "host/cli/image_io.h"
#include "host/cli/presets_bridge.h"
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "platform/file.h"
#include "platform/safe_write.h"
#include "platform/shell_open.h"
#include "presets/memory_dots.h"
#include "presets/presets_page.h"
#include "values/scripting_terms.h"

namespace qf::cli {

namespace {

enum { kOk = 0, kFailed = 1, kUsage = 2, kCancelled = 130 };

// The memory dots' pictures: the larger side this long.
constexpr int32_t kDotPictureSide = 300;
constexpr int32_t kDotPictureQuality = 80;

struct GalleryOptions {
    bool dots = false;
    bool open = false;
    std::string modulePath;
    std::vector<std::string> positional;
};

void fail(const std::string& message) {
    std::fprintf(stderr, "quillfire: %s\n", message.c_str());
}

bool parse(const std::vector<std::string>& args, GalleryOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dots") {
            o.dots = true;
        } else if (a == "--open") {
            o.open = true;
        } else if (a == "--module" || a.rfind("--module=", 0) == 0) {
            if (a == "--module" && i + 1 >= args.size()) {
                fail("--module needs a value");
                return false;
            }
            o.modulePath = a == "--module" ? args[++i] : a.substr(9);
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            fail("unknown option '" + a + "' for gallery (see quillfire gallery --help)");
            return false;
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.positional.size() != 2) {
        fail(o.dots ? "gallery --dots needs INPUT and PAGE.html (see quillfire gallery --help)"
                    : "gallery needs FOLDER and PAGE.html (see quillfire gallery --help)");
        return false;
    }
    return true;
}

// Why the page or its pictures folder cannot be written, as ": ..."; the
// checks an output's opening makes.
std::string pageFailure(const std::string& page) {
    const std::string folder = folderOf(page);
    if (isDirectory(page)) return ": it is a folder";
    if (!folder.empty() && !isDirectory(folder)) return ": the folder does not exist";
    const std::string images = folder + kWebImagesFolder;
    if (fileExists(images) && !isDirectory(images))
        return ": '" + images + "' is there and is not a folder";
    SafeWrite probe;
    std::string why;
    if (!openOutput(probe, page, why)) {
        const size_t colon = why.find("': ");
        return colon == std::string::npos ? ": " + why : why.substr(colon + 1);
    }
    probe.discard();
    return ": the disk or a pictures file could not be written";
}

// Renders one dot through the module's JPEG export: its settings over a
// copy of the document, at `width` x `height`, to `path`.
int exportDot(host::FilterHost& filterHost, host::Document& doc, const std::string& dotPath,
              const std::string& path, int32_t width, int32_t height) {
    Settings settings;
    std::string error;
    if (!settingsFromPresetsFile(dotPath, settings, error)) {
        fail(error);
        return kFailed;
    }
    host::Descriptor descriptor = settings.toDescriptor();
    descriptor.putText(kKeyExportPath, path)
        .putInteger(kKeyExportWidth, width)
        .putInteger(kKeyExportHeight, height)
        .putInteger(kKeyExportQuality, kDotPictureQuality);
    host::RunOptions run;
    run.descriptor = std::move(descriptor);
    const host::RunRecord rec = filterHost.run(doc, run);
    if (rec.result == userCanceledErr || writeInterruptRequested()) return kCancelled;
    if (!rec.ok()) {
        fail("cannot render '" + path +
             "': " + (rec.hostError.empty() ? host::describeResult(rec.result) : rec.hostError));
        return kFailed;
    }
    return kOk;
}

int dotsPage(const GalleryOptions& o, const std::string& page) {
    std::vector<std::pair<int, std::string>> dots;
    for (int n = 1; n <= kDotCount; ++n) {
        std::string path;
        if (dotPresetPath(n, path) && isOwnedRegularFile(path.c_str())) dots.emplace_back(n, path);
    }
    if (dots.empty()) {
        fail("no memory dots are filled");
        return kFailed;
    }
    Image image;
    host::Document doc;
    std::string error;
    if (!readImage(o.positional[0], image, error) || !documentFromImage(image, doc, error)) {
        fail(error);
        return kFailed;
    }
    const std::string modulePath =
        o.modulePath.empty() ? host::executableFolder() + host::moduleFileName() : o.modulePath;
    auto module = host::Module::load(modulePath, &error);
    if (!module) {
        fail("cannot load the filter module '" + modulePath + "': " + error);
        return kFailed;
    }
    host::HostOptions ho;
    // Our own host: the module honours the export keys.
    ho.hostSig = kOwnHostSignature;
    ho.onAbortTest = [] { return writeInterruptRequested(); };
    host::FilterHost filterHost(module->entry(), ho);

    const int32_t larger = std::max<int32_t>(1, std::max(image.width, image.height));
    const int32_t w =
        std::max<int32_t>(1, int32_t(int64_t(kDotPictureSide) * image.width / larger));
    const int32_t h =
        std::max<int32_t>(1, int32_t(int64_t(kDotPictureSide) * image.height / larger));
    HtmlPage html;
    if (html.open(page, kHtmlMemoryDotsPage, 4, "", kSafeWriteUtf8Path) != kFileOk) {
        fail("cannot write the page '" + o.positional[1] + "'" + pageFailure(page));
        return kFailed;
    }
    for (const auto& [number, path] : dots) {
        const std::string name = "dot " + std::to_string(number);
        const int code = exportDot(filterHost, doc, path, html.imagePath(name), w, h);
        if (code == kCancelled) return code;
        html.addCell(name, w, h);
    }
    if (html.close() == kFileOk) return kOk;
    fail("cannot write the page '" + o.positional[1] + "'" + pageFailure(page));
    return writeInterruptRequested() ? kCancelled : kFailed;
}

int presetsPage(const GalleryOptions& o, const std::string& page) {
    const std::string& folder = o.positional[0];
    if (!isDirectory(folder)) {
        fail("'" + folder + "' is not a folder");
        return kFailed;
    }
    // A file that only bears the extension is named and left out, as
    // apply --preset refuses it.
    int skipped = 0;
    auto isPresetsFile = [&skipped](const std::string& path) {
        Settings settings;
        std::string why;
        if (settingsFromPresetsFile(path, settings, why)) return true;
        fail("warning: " + why + "; left out of the page");
        ++skipped;
        return false;
    };
    const int status = writePresetsPage(folder, page, kSafeWriteUtf8Path, nullptr, isPresetsFile);
    if (status == kPresetsPageNothingFound) {
        fail(skipped ? "there are no readable presets files (.sa9) in '" + folder + "'"
                     : "there are no presets files (.sa9) in '" + folder + "'");
        return kFailed;
    }
    if (status != kFileOk) {
        fail("cannot write the page '" + o.positional[1] + "'" + pageFailure(page));
        return writeInterruptRequested() ? kCancelled : kFailed;
    }
    return kOk;
}

} // namespace

int commandGallery(const std::vector<std::string>& args) {
    GalleryOptions o;
    if (!parse(args, o)) return kUsage;
    try {
        const std::string page = absolutePath(o.positional[1]);
        const int code = o.dots ? dotsPage(o, page) : presetsPage(o, page);
        if (code != kOk) return code;
        std::printf("%s\n", page.c_str());
        if (std::fflush(stdout) != 0) return kFailed;
        if (o.open && shellOpen(page.c_str()) != 0) fail("warning: cannot open '" + page + "'");
        return kOk;
    } catch (const std::bad_alloc&) {
        fail("out of memory");
        return kFailed;
    } catch (const std::exception& e) {
        fail(std::string("internal error: ") + e.what());
        return kFailed;
    }
}

} // namespace qf::cli
