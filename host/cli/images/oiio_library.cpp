// OpenImageIO's reader and writer for the command-line tool, built as the
// shared object the CLI loads when it first needs them (see
// host/cli/image_library.h).
#include "host/cli/image_library.h"

#include "platform/file.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

namespace qf::cli {
namespace {

using OIIO::ImageInput;
using OIIO::ImageOutput;
using OIIO::ImageSpec;
using OIIO::TypeDesc;

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The PNG decoder's reason from the library's message ("... PNG read error:
// IDAT: Read error: hit end of file PNG library error" gives "IDAT: Read
// error: hit end of file").
std::string pngReason(const std::string& message) {
    const std::string lead = "PNG read error: ", tail = " PNG library error";
    std::string reason = message;
    if (const size_t at = reason.find(lead); at != std::string::npos)
        reason = reason.substr(at + lead.size());
    if (const size_t at = reason.find(tail); at != std::string::npos) reason.resize(at);
    return reason.empty() ? std::string("the PNG decoder failed") : reason;
}

// Sends what is written to stderr to nowhere while it lives (when `on`).
class QuietStderr {
  public:
    explicit QuietStderr(bool on) {
        if (!on) return;
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ < 0 || null < 0 || ::dup2(null, 2) < 0) {
            if (saved_ >= 0) ::close(saved_);
            saved_ = -1;
        }
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

  private:
    int saved_ = -1;
};

// The note for a file read only in part.
std::string truncatedNote(const std::string& path, const std::string& why) {
    return "'" + path + "' is truncated or damaged (" + why + ")";
}

// Whether an attribute of an input file is metadata about the picture that
// an output should carry (Exif, GPS, IPTC, XMP, the camera's and the
// author's tags), rather than a detail of the input's coding.
bool carriedAttribute(const std::string& name) {
    static const char* const kCoding[] = {"oiio:",
                                          "jpeg:",
                                          "png:",
                                          "tiff:",
                                          "openexr:",
                                          "targa:",
                                          "bmp:",
                                          "pnm:",
                                          "webp:",
                                          "heif:",
                                          "thumbnail_",
                                          "Compression",
                                          "compression",
                                          "planarconfig",
                                          "ICCProfile",
                                          "Orientation",
                                          "Exif:PixelXDimension",
                                          "Exif:PixelYDimension",
                                          "PixelAspectRatio",
                                          "smpte:",
                                          "ImageFullWidth"};
    for (const char* prefix : kCoding)
        if (name.rfind(prefix, 0) == 0) return false;
    return true;
}

bool readOiio(const std::string& path, Image& out, std::string& error, bool allowTruncated,
              std::string* warning) {
    // Keep straight (unassociated) alpha as the file stores it: the filter
    // works on straight colour.
    ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto in = ImageInput::open(path, &config);
    if (!in) {
        error = "cannot read '" + path + "': " + oneLine(OIIO::geterror());
        return false;
    }
    const ImageSpec& spec = in->spec();
    if (spec.deep) {
        error = "'" + path + "' is a deep image, which is not supported";
        return false;
    }
    if (spec.nchannels < 1 || spec.nchannels > 4) {
        error = "'" + path + "' has " + std::to_string(spec.nchannels) +
                " channels; 1 to 4 (gray, gray + alpha, RGB, RGBA) are supported";
        return false;
    }
    if (spec.width < 1 || spec.height < 1 || spec.width > kMaxImageSide ||
        spec.height > kMaxImageSide || spec.depth > 1) {
        error = "'" + path + "' has an unsupported size";
        return false;
    }
    Image img;
    TypeDesc want;
    switch (spec.format.basetype) {
    case TypeDesc::UINT8:
        img.format = SampleFormat::u8;
        want = TypeDesc::UINT8;
        break;
    case TypeDesc::UINT16:
        img.format = SampleFormat::u16;
        want = TypeDesc::UINT16;
        break;
    case TypeDesc::HALF:
    case TypeDesc::FLOAT:
    case TypeDesc::DOUBLE:
        img.format = SampleFormat::f32;
        img.halfFloat = spec.format.basetype == TypeDesc::HALF;
        want = TypeDesc::FLOAT;
        break;
    default:
        error = "'" + path + "' has " + std::string(spec.format.c_str()) +
                " samples; 8-bit, 16-bit and floating-point images are supported";
        return false;
    }
    img.width = spec.width;
    img.height = spec.height;
    img.channels = spec.nchannels;
    try {
        img.data.resize(img.rowBytes() * size_t(img.height));
    } catch (const std::bad_alloc&) {
        error = "out of memory reading '" + path + "'";
        return false;
    }
    // The PNG decoder prints its own lines on stderr besides the message
    // it returns; the message alone is reported, once.
    const bool png = std::string(in->format_name()) == "png";
    bool read = false;
    {
        QuietStderr quiet(png);
        read = in->read_image(0, 0, 0, img.channels, want, img.data.data());
    }
    if (!read && png) {
        // The library reads a PNG only whole: there is no part to use.
        error =
            truncatedNote(path, pngReason(oneLine(in->geterror()))) +
            (allowTruncated ? "; a PNG cannot be read in part, even with --allow-truncated" : "");
        return false;
    }
    if (!read) {
        error = "cannot read '" + path + "': " + oneLine(in->geterror());
        return false;
    }
    // A decoder that met the end of the data early may still report
    // success (JPEG fills the rest with grey); its message tells.
    if (const std::string note = oneLine(in->geterror()); !note.empty()) {
        if (!allowTruncated) {
            error = truncatedNote(path, note) + "; --allow-truncated uses what it holds";
            return false;
        }
        if (warning) *warning = truncatedNote(path, note) + "; used what it holds";
    }
    if (const OIIO::ParamValue* icc = spec.find_attribute("ICCProfile");
        icc && icc->type().basetype == TypeDesc::UINT8) {
        const auto* p = static_cast<const uint8_t*>(icc->data());
        img.iccProfile.assign(p, p + icc->type().size());
    }
    // A camera's picture stored sideways is turned upright, and its
    // orientation then says so.
    const int orientation = spec.get_int_attribute("Orientation", 1);
    if (orientation >= 2 && orientation <= 8 && !turnUpright(img, orientation, error)) return false;
    auto metadata = std::make_shared<ImageSpec>();
    for (const OIIO::ParamValue& p : spec.extra_attribs)
        if (carriedAttribute(p.name().string())) metadata->extra_attribs.push_back(p);
    if (orientation != 1) metadata->attribute("Orientation", 1);
    if (spec.find_attribute("Exif:PixelXDimension") ||
        spec.find_attribute("Exif:PixelYDimension")) {
        metadata->attribute("Exif:PixelXDimension", img.width);
        metadata->attribute("Exif:PixelYDimension", img.height);
    }
    if (!metadata->extra_attribs.empty()) img.metadata = std::move(metadata);
    in->close();
    out = std::move(img);
    return true;
}

// The image library's output into the temporary, through the CLI's SafeWrite, so
// that every failed write is seen even where the library's own coder would
// not report it.
class SafeWriteProxy final : public OIIO::Filesystem::IOProxy {
  public:
    SafeWriteProxy(ImageWriteTarget& out, const std::string& name)
        : IOProxy(name, IOProxy::Write), out_(out) {}
    const char* proxytype() const override { return "quillfire"; }
    size_t write(const void* buffer, size_t size) override {
        const size_t n = pwrite(buffer, size, m_pos);
        m_pos += int64_t(n);
        return n;
    }
    // Coders write a few bytes at a time (a PPM row is written sample by
    // sample); runs that follow each other are gathered here and reach the
    // file in large writes. A failed write shows in the target's failed()
    // after flush().
    //
    // After the first failed write, bytes are accepted and discarded: a
    // coder that sees a failing write may go on to its close path in a
    // broken state (the TIFF coder did, on a full disk). The failure is
    // recorded in the target and reported once the library is done.
    size_t pwrite(const void* buffer, size_t size, int64_t offset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (offset < 0) return 0;
        end_ = std::max(end_, offset + int64_t(size));
        if (out_.failed()) return size;
        const auto* bytes = static_cast<const char*>(buffer);
        const bool follows = offset == pendingAt_ + int64_t(pending_.size());
        if (!follows || pending_.size() + size > kGather) {
            if (!flushLocked()) return size;
            pendingAt_ = offset;
        }
        if (size >= kGather) {
            if (out_.writeAt(offset, bytes, size) != kFileOk) return size;
            pendingAt_ = offset + int64_t(size);
        } else {
            pending_.insert(pending_.end(), bytes, bytes + size);
        }
        return size;
    }
    size_t size() const override { return size_t(end_); }
    // Some coders read back what they wrote (TIFF directories).
    size_t read(void* buffer, size_t size) override {
        const size_t n = pread(buffer, size, m_pos);
        m_pos += int64_t(n);
        return n;
    }
    size_t pread(void* buffer, size_t size, int64_t offset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!flushLocked()) return 0;
        if (!reader_.isOpen() && reader_.openForReading(out_.temporaryPath()) != kFileOk) return 0;
        const int64_t left = end_ - offset;
        if (offset < 0 || left <= 0) return 0;
        size_t got = 0;
        if (reader_.seek(offset) == kFileOk)
            reader_.read(buffer, std::min(size, size_t(left)), &got);
        return got;
    }
    bool flush() {
        std::lock_guard<std::mutex> lock(mutex_);
        return flushLocked();
    }

  private:
    static constexpr size_t kGather = size_t(1) << 20;
    bool flushLocked() {
        if (pending_.empty()) return true;
        const bool ok = out_.writeAt(pendingAt_, pending_.data(), pending_.size()) == kFileOk;
        pendingAt_ += int64_t(pending_.size());
        pending_.clear();
        return ok;
    }
    ImageWriteTarget& out_;
    File reader_;
    std::mutex mutex_;
    std::vector<char> pending_;
    int64_t pendingAt_ = 0;
    int64_t end_ = 0;
};

// A coder whose open, write or close failed is neither closed again nor
// destroyed (its destructor closes): after a failed write on a full disk
// the TIFF coder's close follows a null pointer while writing its Exif
// directory. It is kept, unused, for the rest of the process (one per
// failed write); the CLI removes the temporary.
void abandon(std::unique_ptr<ImageOutput> out) {
    static std::mutex abandonedMutex;
    // Never destroyed, not even at exit; still reachable, so not a leak.
    static auto* abandoned = new std::vector<ImageOutput*>;
    std::lock_guard<std::mutex> lock(abandonedMutex);
    abandoned->push_back(out.release());
}

bool writeOiio(const std::string& finalPath, ImageWriteTarget& file, const Image& img,
               std::string& error, std::string* warning) {
    auto out = ImageOutput::create(finalPath);
    if (!out) {
        error = "cannot write '" + finalPath + "': " + oneLine(OIIO::geterror());
        return false;
    }
    // A call that failed, or any write the library made that failed (some
    // coders do not pass that on). A message after a call that succeeded
    // is a note (the TIFF coder's about its Exif directory), not a failure.
    auto failed = [&](bool ok) {
        std::string message = oneLine(out->geterror());
        if (ok && !file.failed()) return false;
        if (file.failed()) {
            error = file.failure();
        } else {
            error = "cannot write '" + finalPath +
                    "': " + (message.empty() ? std::string("the image library failed") : message);
            file.fail();
        }
        return true;
    };
    TypeDesc format = img.format == SampleFormat::u8    ? TypeDesc::UINT8
                      : img.format == SampleFormat::u16 ? TypeDesc::UINT16
                      : img.halfFloat                   ? TypeDesc::HALF
                                                        : TypeDesc::FLOAT;
    // Formats that hold 16 bits but no floating point keep 16 of a float
    // image's bits rather than 8.
    const std::string formatName = out->format_name();
    if (img.format == SampleFormat::f32 && (formatName == "png" || formatName == "pnm"))
        format = TypeDesc::UINT16;
    TypeDesc data = img.format == SampleFormat::u8    ? TypeDesc::UINT8
                    : img.format == SampleFormat::u16 ? TypeDesc::UINT16
                                                      : TypeDesc::FLOAT;
    ImageSpec spec(img.width, img.height, img.channels, format);
    static const char* grayNames[] = {"Y", "A"};
    if (img.channels <= 2) {
        spec.channelnames.assign(grayNames, grayNames + img.channels);
    }
    spec.alpha_channel = (img.channels == 2 || img.channels == 4) ? img.channels - 1 : -1;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    if (img.metadata) {
        for (const OIIO::ParamValue& p :
             static_cast<const ImageSpec*>(img.metadata.get())->extra_attribs)
            spec.attribute(p.name().string(), p.type(), p.data());
    }
    if (img.quality > 0 && formatName == "jpeg")
        spec.attribute("Compression", "jpeg:" + std::to_string(std::clamp(img.quality, 1, 100)));
    if (!img.iccProfile.empty())
        spec.attribute("ICCProfile", TypeDesc(TypeDesc::UINT8, int(img.iccProfile.size())),
                       img.iccProfile.data());
    if (!out->supports("alpha") && spec.alpha_channel >= 0 && warning)
        *warning = "the output format keeps no transparency";
    // Formats whose coder cannot write through a proxy write the temporary
    // by name; the CLI's SafeWrite still catches the file-size limit and the flush.
    SafeWriteProxy proxy(file, finalPath);
    // The TIFF coder's Exif directory, written at close, comes out without
    // the main directory's size fields through a proxy: such a file is
    // written by name.
    bool exifDirectory = false;
    for (const OIIO::ParamValue& p : spec.extra_attribs)
        exifDirectory |=
            p.name().string().rfind("Exif:", 0) == 0 || p.name().string().rfind("GPS:", 0) == 0;
    const bool proxyable = !(exifDirectory && formatName == "tiff");
    const bool viaProxy = proxyable && out->supports("ioproxy") && out->set_ioproxy(&proxy);
    const char* target = viaProxy ? file.temporaryPath() : file.handOver();
    if (failed(out->open(target, spec))) {
        abandon(std::move(out));
        return false;
    }
    const ImageSpec& used = out->spec();
    if (warning && img.format != SampleFormat::u8 &&
        (used.format != format ||
         (img.format == SampleFormat::f32 && format == TypeDesc::UINT16))) {
        *warning = std::string("the output format cannot hold ") +
                   (img.format == SampleFormat::u16 ? "16-bit" : "floating-point") +
                   " samples; written as " +
                   (used.format == TypeDesc::UINT8    ? std::string("8-bit")
                    : used.format == TypeDesc::UINT16 ? std::string("16-bit")
                                                      : std::string(used.format.c_str())) +
                   " (0 to 1, beyond clipped)";
    }
    if (failed(out->write_image(data, img.data.data()))) {
        abandon(std::move(out));
        return false;
    }
    if (failed(out->close())) {
        abandon(std::move(out));
        return false;
    }
    proxy.flush();
    if (file.failed()) {
        error = file.failure();
        return false;
    }
    return true;
}

const ImageLibrary kLibrary = {kImageLibraryVersion, readOiio, writeOiio};

} // namespace
} // namespace qf::cli

extern "C" __attribute__((visibility("default"))) const qf::cli::ImageLibrary*
quillfire_image_library() {
    return &qf::cli::kLibrary;
}
