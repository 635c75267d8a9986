// Image files in and out of the command-line tool at their own depth:
// 8-bit, 16-bit (0..65535 as in the file) or 32-bit float samples, 1 to 4
// channels (gray, gray + alpha, RGB, RGBA), interleaved, rows packed.
//
// The native build reads and writes through OpenImageIO, in a library it
// loads at the first read or write that needs it (host/cli/image_library.h);
// 8-bit PPM and PGM files it writes itself. The stb-based
// reader and writer serve builds without it (the Windows ones); they read
// PNG (8 and 16-bit), JPEG, BMP, TGA, GIF, PSD composites, Radiance HDR and
// PFM, and write .png (8 and 16-bit), .pfm (float, gray or RGB), .bmp, .tga
// and .jpg (8-bit).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qf::cli {

enum class SampleFormat { u8, u16, f32 };

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int channels = 0;
    SampleFormat format = SampleFormat::u8;
    std::vector<uint8_t> data;
    // Carried from an input file to the output where the format allows.
    std::vector<uint8_t> iccProfile;
    bool halfFloat = false; // the file held 16-bit floats (written back as such where possible)
    // The file's metadata (Exif, IPTC, XMP, ...) as the image library holds
    // it, carried to the output where its format allows; opaque to the CLI.
    std::shared_ptr<const void> metadata;
    int quality = 0; // JPEG quality for the output, 1..100; 0: the library's default

    size_t bytesPerSample() const {
        return format == SampleFormat::u8 ? 1 : format == SampleFormat::u16 ? 2 : 4;
    }
    size_t rowBytes() const { return size_t(width) * size_t(channels) * bytesPerSample(); }
};

// Largest side accepted from a file.
constexpr int32_t kMaxImageSide = 300000;

// Through the build's library. False with a one-line reason. A file the
// library decodes only in part (cut short, damaged data) is refused unless
// `allowTruncated`; then `warning` (when given) says so.
bool readImage(const std::string& path, Image& out, std::string& error, bool allowTruncated = false,
               std::string* warning = nullptr);
// Writes to a temporary file beside `path` and renames it into place, so an
// existing file is replaced only by a complete one and nothing is left behind
// on failure. `warning` receives a note when the format cannot hold the
// image's depth or channels exactly.
bool writeImage(const std::string& path, const Image& image, std::string& error,
                std::string* warning = nullptr);

// The pixels turned as Exif orientation `orientation` (2 to 8; any other
// value leaves them) says, so that they stand upright: the picture as it is
// meant to be seen. False with `error` when memory runs short.
bool turnUpright(Image& image, int orientation, std::string& error);

// The stb-based reader and writer, available in every build.
bool readImageStb(const std::string& path, Image& out, std::string& error,
                  bool allowTruncated = false, std::string* warning = nullptr);
bool writeImageStb(const std::string& path, const Image& image, std::string& error);

// Encoders of the stb-based writer, exposed for tests.
std::vector<uint8_t> encodePng16(const Image& image); // u16 images, 1 to 4 channels
std::vector<uint8_t> encodePfm(const Image& image);   // f32 images, 1 or 3 channels
bool decodePfm(const uint8_t* data, size_t size, Image& out, std::string& error);

} // namespace qf::cli
