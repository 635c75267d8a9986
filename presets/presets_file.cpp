#include "presets/presets_file.h"

#include "composite/picture/pyramid_image.h"
#include "export/jpeg_codec.h"
#include "export/jpeg_writer.h"
#include "platform/path.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace qf {

namespace {

// ------------------------------------------------------------------ writing

class SettingsWriter {
  public:
    explicit SettingsWriter(File& file) : file_(file) {}

    void int32(int32_t value) {
        const uint32_t u = static_cast<uint32_t>(value);
        const uint8_t bytes[4] = {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16),
                                  static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
        note(file_.write(bytes, sizeof bytes));
    }
    void note(int status) {
        if (status != kFileOk && status_ == kFileOk) status_ = kFileWriteFailed;
    }
    int status() const { return status_; }

  private:
    File& file_;
    int status_ = kFileOk;
};

// A percentage in whole hundredths, truncated toward zero; values no integer
// holds are limited (not-a-number counts as 0).
int32_t hundredths(float value) {
    const float scaled = value * 100.0f;
    if (!(scaled == scaled)) return 0;
    if (scaled >= 2147483520.0f) return std::numeric_limits<int32_t>::max();
    if (scaled <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(scaled);
}

// The picture block: the thumbnail scaled into a 128 x 128 16-bit picture
// and compressed in the header form, or a single 0.
void writePictureBlock(SettingsWriter& out, File& file, PyramidImage* thumbnail) {
    if (!thumbnail || !thumbnail->hasStorage()) {
        out.int32(0);
        return;
    }
    PyramidImage scaled;
    if (!scaled.create(kPresetsPictureSide, kPresetsPictureSide, kPyramidRGBA16)) {
        out.int32(0);
        return;
    }
    const bool shrinks =
        thumbnail->width() > kPresetsPictureSide || thumbnail->height() > kPresetsPictureSide;
    if (shrinks && !thumbnail->levelsBuilt()) buildLevelsHere(*thumbnail, 0);
    const PixelRect from{0, 0, thumbnail->height(), thumbnail->width()};
    const PixelRect to{0, 0, kPresetsPictureSide, kPresetsPictureSide};
    if (!resampleImage(*thumbnail, scaled, from, to, 0.0f)) {
        out.int32(0);
        return;
    }
    JpegRequest request;
    request.source = &scaled;
    request.rect = to;
    request.file = &file;
    request.headerFlag = true;
    request.quality = kPresetsJpegQuality;
    // A picture that could not be compressed leaves a single 0 in its place:
    // the file is still whole. Only a refused write counts as a failure.
    if (writeJpeg(request) == kJpegWriteFailed) out.note(kFileWriteFailed);
}

// ------------------------------------------------------------------ reading

class FileInput : public PresetsInput {
  public:
    explicit FileInput(File& file) : file_(file) {}
    int read(void* buffer, size_t count) override { return file_.read(buffer, count); }
    void skip(int64_t count) override {
        if (count > 0) file_.seek(count, kSeekFromCurrent);
    }

  private:
    File& file_;
};

class MemoryInput : public PresetsInput {
  public:
    MemoryInput(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    int read(void* buffer, size_t count) override {
        const size_t left = size_ - position_;
        if (count > left) {
            position_ = size_;
            return kFileReadFailed;
        }
        if (count) std::memcpy(buffer, data_ + position_, count);
        position_ += count;
        return kFileOk;
    }
    void skip(int64_t count) override {
        if (count <= 0) return;
        const size_t left = size_ - position_;
        position_ =
            static_cast<uint64_t>(count) >= left ? size_ : position_ + static_cast<size_t>(count);
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Reads values until the first one that is not there; from then on every
// read reports failure and assigns nothing.
class SettingsReader {
  public:
    explicit SettingsReader(PresetsInput& input) : input_(input) {}

    bool int32(int32_t& value) {
        if (status_ != kFileOk) return false;
        uint8_t b[4];
        if (input_.read(b, sizeof b) != kFileOk) {
            status_ = kFileReadFailed;
            return false;
        }
        value = static_cast<int32_t>((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) |
                                     (uint32_t(b[2]) << 8) | b[3]);
        return true;
    }
    bool bytes(void* buffer, size_t count) {
        if (status_ != kFileOk) return false;
        if (input_.read(buffer, count) != kFileOk) {
            status_ = kFileReadFailed;
            return false;
        }
        return true;
    }
    void skip(int64_t count) {
        if (status_ == kFileOk) input_.skip(count);
    }
    int status() const { return status_; }

  private:
    PresetsInput& input_;
    int status_ = kFileOk;
};

int32_t limited(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : (value > high ? high : value);
}

// Values are stored as the file holds them, as the scripting descriptor
// does: the renderer and the glue modes cope with any value.
void plainField(SettingsReader& in, int32_t& field) {
    int32_t value;
    if (in.int32(value)) field = value;
}

struct PictureRows {
    PyramidImage* picture;
    int32_t width;
    int32_t height;
};

bool storePictureRow(void* context, int y, const uint8_t* samples, int width, int components) {
    const PictureRows* rows = static_cast<const PictureRows*>(context);
    if (y >= rows->height) return false;
    const float scale = 1.0f / 255.0f;
    const int columns = width < rows->width ? width : rows->width;
    for (int x = 0; x < columns; ++x) {
        const uint8_t* p = samples + static_cast<size_t>(x) * static_cast<size_t>(components);
        const float r = p[0] * scale;
        const float g = components >= 3 ? p[1] * scale : r;
        const float b = components >= 3 ? p[2] * scale : r;
        rows->picture->storePixel(x, y, 0, FloatRGBA{r, g, b, 1.0f});
    }
    return y + 1 < rows->height;
}

void readPictureBlock(SettingsReader& in, PyramidImage* thumbnail, bool* pictureRead) {
    int32_t kind, width, height, count;
    if (!in.int32(kind) || kind == 0) return;
    if (!in.int32(width) || !in.int32(height) || !in.int32(count)) return;
    width = limited(width, 0, kPresetsPictureSide);
    height = limited(height, 0, kPresetsPictureSide);
    if (count < 0) return; // nothing sensible follows
    const bool holdable =
        kind <= 1 && thumbnail && count <= kPresetsPictureLimit && width > 0 && height > 0;
    if (!holdable) {
        in.skip(count);
        return;
    }
    std::unique_ptr<uint8_t[]> stream(new (std::nothrow) uint8_t[kPresetsPictureLimit]);
    if (!stream) {
        in.skip(count);
        return;
    }
    if (!in.bytes(stream.get(), static_cast<size_t>(count))) return;
    PyramidImage decoded;
    if (!decodePresetsPicture(stream.get(), static_cast<size_t>(count), width, height, decoded))
        return;
    *thumbnail = std::move(decoded);
    if (pictureRead) *pictureRead = true;
}

// ------------------------------------------------------------------- names

void boundedCopy(char (&dst)[kNameLength], const char* src, size_t length) {
    if (length > kNameLength - 1) length = kNameLength - 1;
    if (length) std::memcpy(dst, src, length);
    dst[length] = '\0';
}

// Names may come from either system; both separators end a folder there.
bool isAnySeparator(char c) {
    return c == '/' || c == '\\' || isPathSeparator(c);
}

size_t boundedLength(const char* s, size_t limit) {
    size_t n = 0;
    while (n < limit && s[n]) ++n;
    return n;
}

} // namespace

// -------------------------------------------------------------------- write

int writeSettings(File& file, SettingsRecord& settings, PyramidImage* thumbnail) {
    SettingsWriter out(file);
    settings.fileVersion = kPresetsVersion;
    out.int32(settings.fileVersion);
    out.int32(settings.glue);
    out.int32(settings.overlap);
    out.int32(settings.stripes);
    out.int32(settings.warping);
    out.int32(settings.softness);
    out.int32(settings.doublure);
    out.int32(settings.color);
    out.int32(settings.zoom);
    out.int32(settings.complexity);
    out.int32(settings.hue);
    out.int32(settings.merge);
    for (float percent : settings.legacyPercent) out.int32(hundredths(percent));
    for (int16_t word : settings.gradientColor1) out.int32(static_cast<uint16_t>(word));
    for (int16_t word : settings.gradientColor2) out.int32(static_cast<uint16_t>(word));
    out.int32(settings.shape);
    out.int32(settings.stripeKind);
    out.int32(0); // the legacy picture flag
    out.int32(settings.randomSeed);
    writePictureBlock(out, file, thumbnail);
    return out.status();
}

int writeSettingsFile(const char* path, SettingsRecord& settings, PyramidImage* thumbnail,
                      unsigned openFlags) {
    File file;
    if (file.openForWriting(path, openFlags) != kFileOk) return kFileCannotOpen;
    int written = writeSettings(file, settings, thumbnail);
    // The file ends where its data ends: an older, longer file keeps no
    // tail of its own.
    if (written == kFileOk) written = file.setEndOfFile();
    const int closed = file.close();
    return written != kFileOk ? written : closed;
}

// --------------------------------------------------------------------- read

int readSettings(PresetsInput& input, int mode, SettingsRecord* settings, PyramidImage* thumbnail,
                 bool* pictureRead) {
    if (pictureRead) *pictureRead = false;
    // Values that are only read and discarded land here.
    SettingsRecord discarded{};
    SettingsRecord& s = (mode == kPresetsLoad && settings) ? *settings : discarded;
    SettingsReader in(input);

    int32_t version;
    if (!in.int32(version)) return in.status();
    s.fileVersion = version;
    plainField(in, s.glue);
    plainField(in, s.overlap);
    plainField(in, s.stripes);
    plainField(in, s.warping);
    plainField(in, s.softness);
    plainField(in, s.doublure);
    plainField(in, s.color);
    plainField(in, s.zoom);
    plainField(in, s.complexity);
    plainField(in, s.hue);
    plainField(in, s.merge);
    for (float& percent : s.legacyPercent) {
        int32_t value;
        if (in.int32(value)) percent = static_cast<float>(value * 0.01);
    }
    if (version >= kPresetsColoursVersion) {
        for (int i = 0; i < 6; ++i) {
            int32_t value;
            if (!in.int32(value)) break;
            int16_t& word = i < 3 ? s.gradientColor1[i] : s.gradientColor2[i - 3];
            word = static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
        }
    }
    plainField(in, s.shape);
    plainField(in, s.stripeKind);
    int32_t legacyPicture;
    if (in.int32(legacyPicture) && legacyPicture != 0) {
        // Side length (64 in every such file) and an unused value, then the
        // pixels, which nothing shows any more. The side is not trusted for
        // the amount to pass over.
        int32_t side, unused;
        if (in.int32(side) && in.int32(unused)) in.skip(kLegacyPictureBytes);
    }
    plainField(in, s.randomSeed);
    if (version >= kPresetsPictureVersion) readPictureBlock(in, thumbnail, pictureRead);
    return in.status();
}

int readSettingsFile(const char* path, int mode, SettingsRecord* settings, PyramidImage* thumbnail,
                     bool* pictureRead, unsigned openFlags) {
    if (pictureRead) *pictureRead = false;
    File file;
    if (file.openForReading(path, openFlags) != kFileOk) return kFileCannotOpen;
    FileInput input(file);
    const int status = readSettings(input, mode, settings, thumbnail, pictureRead);
    file.close();
    return status;
}

int readSettingsMemory(const uint8_t* data, size_t size, int mode, SettingsRecord* settings,
                       PyramidImage* thumbnail, bool* pictureRead) {
    MemoryInput input(data, size);
    return readSettings(input, mode, settings, thumbnail, pictureRead);
}

bool decodePresetsPicture(const uint8_t* data, size_t size, int32_t width, int32_t height,
                          PyramidImage& picture) {
    if (width < 1 || height < 1) return false;
    PyramidImage decoded;
    if (!decoded.create(width, height, kPyramidRGBA8)) return false;
    PictureRows rows{&decoded, width, height};
    JpegDecodeLimits limits; // a presets picture is 128 x 128; far larger ones are refused
    if (decompressJpeg(data, size, limits, storePictureRow, &rows, nullptr) != kJpegCodecOk)
        return false;
    picture = std::move(decoded);
    return true;
}

// --------------------------------------------------------------- Save, Load

bool makeThumbnailFromPreview(const PreviewPlanes& preview, PyramidImage& thumbnail) {
    if (!preview.data || preview.width < 1 || preview.height < 1 || preview.planes < 1)
        return false;
    const int32_t side = preview.width < preview.height ? preview.width : preview.height;
    const int32_t left = (preview.width - side) / 2;
    const int32_t top = (preview.height - side) / 2;
    PyramidImage square;
    if (!square.create(side, side, kPyramidRGBA8)) return false;
    const size_t planeBytes =
        static_cast<size_t>(preview.width) * static_cast<size_t>(preview.height);
    const bool colour = preview.planes >= 3;
    const float scale = 1.0f / 255.0f;
    for (int32_t y = 0; y < side; ++y) {
        const int32_t sy = limited(top + y, 0, preview.height - 1);
        for (int32_t x = 0; x < side; ++x) {
            const int32_t sx = limited(left + x, 0, preview.width - 1);
            const size_t at = static_cast<size_t>(sy) * static_cast<size_t>(preview.width) +
                              static_cast<size_t>(sx);
            const float r = preview.data[at] * scale;
            const float g = colour ? preview.data[planeBytes + at] * scale : r;
            const float b = colour ? preview.data[2 * planeBytes + at] * scale : r;
            square.storePixel(x, y, 0, FloatRGBA{r, g, b, 1.0f});
        }
    }
    thumbnail = std::move(square);
    return true;
}

std::string settingsFileStem(const char* settingsName) {
    std::string name = settingsName
                           ? std::string(settingsName, boundedLength(settingsName, kNameLength))
                           : std::string();
    size_t nameStart = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (isAnySeparator(name[i])) nameStart = i + 1;
    }
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot >= nameStart) name.erase(dot);
    if (name.size() <= nameStart) return kDefaultSettingsName;
    return name;
}

std::string defaultSettingsFileName(const char* settingsName) {
    std::string stem = settingsFileStem(settingsName);
    const size_t room = kNameLength - 1 - (sizeof kPresetsExtension - 1);
    if (stem.size() > room) stem.resize(room);
    return stem + kPresetsExtension;
}

void takeChosenSettingsPath(SettingsRecord& settings, const char* path) {
    if (!path) return;
    const size_t length = boundedLength(path, 4 * kNameLength);
    size_t title = 0;
    for (size_t i = 0; i < length; ++i) {
        if (isPathSeparator(path[i])) title = i + 1;
    }
    boundedCopy(settings.settingsName, path + title, length - title);
    boundedCopy(settings.settingsFolder, path, title);
}

} // namespace qf
