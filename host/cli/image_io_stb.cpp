// The stb-based reader and writer, plus our own 16-bit PNG and PFM coders.
#include "host/cli/file_util.h"
#include "host/cli/image_io.h"
#include "host/cli/jpeg_metadata.h"

#include <array>
#include <cstring>
#include <limits>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 300000
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image.h>
#include <stb_image_write.h>

namespace qf::cli {
namespace {

// The CRC-32 of each byte value, computed by the compiler, so that writers
// on several threads share it without setting it up.
constexpr std::array<uint32_t, 256> kCrcTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}();

uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void putBE32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 24));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void pngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    putBE32(out, uint32_t(size));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    putBE32(out, crc32(out.data() + start, size + 4));
}

void appendToVector(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    auto* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + size);
}

bool validSize(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide;
}

} // namespace

std::vector<uint8_t> encodePng16(const Image& img) {
    std::vector<uint8_t> png;
    if (img.format != SampleFormat::u16 || img.channels < 1 || img.channels > 4 ||
        !validSize(img.width, img.height) || img.data.size() != img.rowBytes() * size_t(img.height))
        return png;
    // Rows with filter byte 0 (none), samples big-endian.
    const size_t rowBytes = img.rowBytes() + 1;
    const uint64_t total = uint64_t(rowBytes) * uint64_t(img.height);
    if (total > uint64_t(std::numeric_limits<int>::max())) return png;
    std::vector<uint8_t> raw(static_cast<size_t>(total));
    for (int32_t y = 0; y < img.height; ++y) {
        uint8_t* dst = raw.data() + size_t(y) * rowBytes;
        *dst++ = 0;
        const uint8_t* src = img.data.data() + size_t(y) * img.rowBytes();
        for (size_t i = 0; i < img.rowBytes(); i += 2) {
            uint16_t v;
            std::memcpy(&v, src + i, 2);
            dst[i] = uint8_t(v >> 8);
            dst[i + 1] = uint8_t(v);
        }
    }
    int zlen = 0;
    unsigned char* z = stbi_zlib_compress(raw.data(), int(total), &zlen, 8);
    if (!z) return png;
    static const uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    static const uint8_t colorType[5] = {0, 0, 4, 2, 6};
    png.assign(signature, signature + 8);
    std::vector<uint8_t> ihdr;
    putBE32(ihdr, uint32_t(img.width));
    putBE32(ihdr, uint32_t(img.height));
    ihdr.push_back(16);
    ihdr.push_back(colorType[img.channels]);
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(0);
    pngChunk(png, "IHDR", ihdr.data(), ihdr.size());
    pngChunk(png, "IDAT", z, size_t(zlen));
    pngChunk(png, "IEND", nullptr, 0);
    STBIW_FREE(z);
    return png;
}

std::vector<uint8_t> encodePfm(const Image& img) {
    std::vector<uint8_t> out;
    if (img.format != SampleFormat::f32 || (img.channels != 1 && img.channels != 3) ||
        !validSize(img.width, img.height) || img.data.size() != img.rowBytes() * size_t(img.height))
        return out;
    // Negative scale: little-endian samples. Rows run bottom to top.
    std::string header = std::string(img.channels == 3 ? "PF" : "Pf") + "\n" +
                         std::to_string(img.width) + " " + std::to_string(img.height) + "\n-1.0\n";
    out.assign(header.begin(), header.end());
    out.reserve(out.size() + img.data.size());
    for (int32_t y = img.height - 1; y >= 0; --y) {
        const uint8_t* row = img.data.data() + size_t(y) * img.rowBytes();
        for (size_t i = 0; i < img.rowBytes(); i += 4) {
            uint32_t v;
            std::memcpy(&v, row + i, 4);
            for (int b = 0; b < 4; ++b) out.push_back(uint8_t(v >> (8 * b)));
        }
    }
    return out;
}

bool decodePfm(const uint8_t* data, size_t size, Image& out, std::string& error) {
    error = "damaged PFM file";
    size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < size &&
               (data[pos] == ' ' || data[pos] == '\t' || data[pos] == '\r' || data[pos] == '\n'))
            ++pos;
    };
    auto token = [&] {
        skipSpace();
        std::string t;
        while (pos < size && t.size() < 32 && data[pos] > ' ') t.push_back(char(data[pos++]));
        return t;
    };
    auto number = [&](int64_t& v) {
        std::string t = token();
        if (t.empty() || t.size() > 7) return false;
        v = 0;
        for (char c : t) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        return true;
    };
    std::string magic = token();
    if (magic != "PF" && magic != "Pf") return false;
    int64_t w = 0, h = 0;
    if (!number(w) || !number(h) || !validSize(w, h)) return false;
    std::string scaleText = token();
    if (scaleText.empty() || pos >= size) return false;
    const bool bigEndian = scaleText[0] != '-';
    ++pos; // the single whitespace that ends the header
    const int channels = magic == "PF" ? 3 : 1;
    const uint64_t need = uint64_t(w) * uint64_t(h) * uint64_t(channels) * 4;
    if (size - pos < need) return false;
    Image img;
    img.width = int32_t(w);
    img.height = int32_t(h);
    img.channels = channels;
    img.format = SampleFormat::f32;
    img.data.resize(size_t(need));
    const size_t rowBytes = img.rowBytes();
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* src = data + pos + size_t(h - 1 - y) * rowBytes;
        uint8_t* dst = img.data.data() + size_t(y) * rowBytes;
        for (size_t i = 0; i < rowBytes; i += 4) {
            uint32_t v = bigEndian ? (uint32_t(src[i]) << 24 | uint32_t(src[i + 1]) << 16 |
                                      uint32_t(src[i + 2]) << 8 | uint32_t(src[i + 3]))
                                   : (uint32_t(src[i]) | uint32_t(src[i + 1]) << 8 |
                                      uint32_t(src[i + 2]) << 16 | uint32_t(src[i + 3]) << 24);
            std::memcpy(dst + i, &v, 4);
        }
    }
    out = std::move(img);
    error.clear();
    return true;
}

// stb decodes a JPEG cut short without a word (the rest grey): a complete
// stream ends with its end-of-image marker after the last scan's start.
// (Inside the coded data a 0xFF byte is always followed by 0 or a restart
// marker, so neither marker appears there by chance.)
static bool jpegIsCutShort(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return false;
    size_t lastScan = 0;
    for (size_t i = 2; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) lastScan = i;
    for (size_t i = lastScan; i + 1 < bytes.size(); ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD9) return false;
    return true;
}

bool readImageStb(const std::string& path, Image& out, std::string& error, bool allowTruncated,
                  std::string* warning) {
    std::vector<uint8_t> bytes;
    if (!readFileBytes(path, bytes, error)) return false;
    if (bytes.size() >= 3 && bytes[0] == 'P' && (bytes[1] == 'F' || bytes[1] == 'f') &&
        (bytes[2] == '\n' || bytes[2] == '\r' || bytes[2] == ' ')) {
        if (decodePfm(bytes.data(), bytes.size(), out, error)) return true;
        error = "'" + path + "': " + error;
        return false;
    }
    if (bytes.size() > size_t(std::numeric_limits<int>::max())) {
        error = "'" + path + "' is too large";
        return false;
    }
    const int len = int(bytes.size());
    int w = 0, h = 0, comp = 0;
    if (!stbi_info_from_memory(bytes.data(), len, &w, &h, &comp)) {
        const char* why = stbi_failure_reason();
        error = "'" + path + "' is not an image this build can read" +
                (why ? std::string(" (") + why + ")" : "");
        return false;
    }
    if (jpegIsCutShort(bytes)) {
        const std::string note =
            "'" + path + "' is truncated or damaged (the JPEG data ends early)";
        if (!allowTruncated) {
            error = note + "; --allow-truncated uses what it holds";
            return false;
        }
        if (warning) *warning = note + "; used what it holds";
    }
    Image img;
    void* pixels = nullptr;
    if (stbi_is_16_bit_from_memory(bytes.data(), len)) {
        img.format = SampleFormat::u16;
        pixels = stbi_load_16_from_memory(bytes.data(), len, &w, &h, &comp, 0);
    } else if (stbi_is_hdr_from_memory(bytes.data(), len)) {
        img.format = SampleFormat::f32;
        pixels = stbi_loadf_from_memory(bytes.data(), len, &w, &h, &comp, 0);
    } else {
        img.format = SampleFormat::u8;
        pixels = stbi_load_from_memory(bytes.data(), len, &w, &h, &comp, 0);
    }
    if (!pixels) {
        const char* why = stbi_failure_reason();
        error = "cannot decode '" + path + "'" + (why ? std::string(": ") + why : "");
        return false;
    }
    if (!validSize(w, h) || comp < 1 || comp > 4) {
        stbi_image_free(pixels);
        error = "'" + path + "' has an unsupported size or channel count";
        return false;
    }
    img.width = w;
    img.height = h;
    img.channels = comp;
    const size_t n = img.rowBytes() * size_t(h);
    img.data.assign(static_cast<uint8_t*>(pixels), static_cast<uint8_t*>(pixels) + n);
    stbi_image_free(pixels);
    // A camera's picture stored sideways, turned upright.
    if (!turnUpright(img, exifOrientation(bytes), error)) return false;
    out = std::move(img);
    return true;
}

bool writeImageStb(const std::string& path, const Image& img, std::string& error) {
    const std::string ext = extensionOf(path);
    std::vector<uint8_t> bytes;
    const bool u8 = img.format == SampleFormat::u8;
    const int stride = int(img.rowBytes());
    bool encoded = true; // the stb coders' own results
    if (img.width > 0 && img.data.size() != img.rowBytes() * size_t(img.height)) {
        error = "internal error: image buffer size";
        return false;
    }
    if (ext == ".png") {
        if (img.format == SampleFormat::f32) {
            error = "PNG files hold 8 or 16-bit samples; write 32-bit float images as .pfm";
            return false;
        }
        if (u8) {
            encoded = stbi_write_png_to_func(appendToVector, &bytes, img.width, img.height,
                                             img.channels, img.data.data(), stride) != 0;
        } else {
            bytes = encodePng16(img);
        }
    } else if (ext == ".pfm") {
        if (img.format != SampleFormat::f32 || (img.channels != 1 && img.channels != 3)) {
            error = "PFM files hold 32-bit float gray or RGB images without alpha";
            return false;
        }
        bytes = encodePfm(img);
    } else if (ext == ".bmp" || ext == ".tga" || ext == ".jpg" || ext == ".jpeg") {
        if (!u8) {
            error = "this format holds 8-bit samples only; write 16-bit images as .png and float "
                    "as .pfm";
            return false;
        }
        if (ext == ".bmp")
            encoded = stbi_write_bmp_to_func(appendToVector, &bytes, img.width, img.height,
                                             img.channels, img.data.data()) != 0;
        else if (ext == ".tga")
            encoded = stbi_write_tga_to_func(appendToVector, &bytes, img.width, img.height,
                                             img.channels, img.data.data()) != 0;
        else
            encoded = stbi_write_jpg_to_func(appendToVector, &bytes, img.width, img.height,
                                             img.channels, img.data.data(), 95) != 0;
    } else {
        error =
            "cannot write '" + path + "': this build writes .png, .pfm, .bmp, .tga and .jpg files";
        return false;
    }
    if (!encoded || bytes.empty()) {
        error = "cannot encode '" + path + "'";
        return false;
    }
    return writeFileBytes(path, bytes.data(), bytes.size(), error);
}

} // namespace qf::cli
