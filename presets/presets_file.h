// Presets files (".sa9"): one complete set of settings and, normally, a
// small JPEG picture of the result. The same layout serves the dialog's Load
// and Save, the memory dots, undo and the cached settings file.
//
// Layout (every number a big-endian 32-bit integer): the version (200 when
// written); glue, overlap, stripes, warping, softness, doublure, color,
// zoom, complexity, hue, merge; the three legacy percentages in hundredths;
// from version 190 the six gradient colour words; shape, stripe kind; the
// legacy picture flag; the random seed; from version 200 the picture block:
// kind (0: none, the file ends; 1: JPEG), width, height, byte count and the
// stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"
#include "values/settings_record.h"

namespace qf {

class PyramidImage;

constexpr int32_t kPresetsVersion = 200;
// The first versions with the gradient colours and with the picture block.
constexpr int32_t kPresetsColoursVersion = 190;
constexpr int32_t kPresetsPictureVersion = 200;
// Size of a file written without a picture.
constexpr size_t kPresetsSizeWithoutPicture = 104;
// Size of the picture block's header (kind, width, height, byte count).
constexpr size_t kPresetsPictureHeaderSize = 16;
// The side of the picture written into a file, and the largest read.
constexpr int32_t kPresetsPictureSide = 128;
// The most JPEG bytes the reader holds (128 x 128 x 3); a longer picture is
// skipped.
constexpr int32_t kPresetsPictureLimit = 49152;
// Pixel bytes after the side length of a legacy picture (64 x 64 x 3).
constexpr int64_t kLegacyPictureBytes = 12288;
constexpr int kPresetsJpegQuality = 80;

constexpr char kPresetsExtension[] = ".sa9";
constexpr char kDefaultSettingsName[] = "Quillfire settings";

enum PresetsReadMode : int {
    // Every value goes into the settings record; the picture becomes the
    // thumbnail.
    kPresetsLoad = 0,
    // The values are read and discarded; only the picture is decoded.
    kPresetsThumbnailOnly = 1,
};

// ---------------------------------------------------------------- writing

// Writes the layout at the file's position from `settings` (whose
// `fileVersion` becomes 200). With a `thumbnail` that holds pixels the
// picture block carries it scaled to 128 x 128 and compressed at quality 80
// (its coarser levels are built here when it is larger than that);
// otherwise, or when the picture cannot be made, the block is a single 0.
// kFileOk, or kFileWriteFailed when any write failed (the others were
// still tried).
int writeSettings(File& file, SettingsRecord& settings, PyramidImage* thumbnail);

// Opens `path` for writing (created when missing; an existing file is
// written over from its start and then cut where the new data ends),
// writes, closes.
// kFileCannotOpen, kFileWriteFailed, or kFileOk.
int writeSettingsFile(const char* path, SettingsRecord& settings, PyramidImage* thumbnail,
                      unsigned openFlags = kOpenDefault);

// ---------------------------------------------------------------- reading

// Where the reader takes its bytes from.
class PresetsInput {
  public:
    virtual ~PresetsInput() = default;
    // Exactly `count` bytes: kFileOk, else kFileReadFailed.
    virtual int read(void* buffer, size_t count) = 0;
    // Passes over `count` (>= 0) bytes; passing the end is allowed, the
    // next read then fails.
    virtual void skip(int64_t count) = 0;
};

// Reads one file's layout.
//
// Load mode: the values go into `settings` as the file's version provides
// them; values the file does not hold, or that come after the point where
// the file ends early, keep what `settings` held. The pattern parameters are
// stored as the file holds them, not limited to their ranges (the renderer
// and the glue modes cope with any value; the dialog shows a value outside
// a list's items as no selection); the percentages arrive as hundredths,
// the colour words as their low 16 bits, the version in `fileVersion`.
// Thumbnail-only mode: `settings` may be null and is not touched.
//
// The picture, when the file has one and `thumbnail` is given, is decoded
// into a new 8-bit RGBA picture of the file's width and height (each limited
// to 0..128) that replaces `*thumbnail`; `*pictureRead` (when given) tells
// whether that happened. A picture that cannot be held or decoded leaves
// `*thumbnail` as it was.
//
// kFileOk, or kFileReadFailed when the file ended before its last value.
int readSettings(PresetsInput& input, int mode, SettingsRecord* settings, PyramidImage* thumbnail,
                 bool* pictureRead);

// The same from a file opened for shared reading; kFileCannotOpen when it
// cannot be opened.
int readSettingsFile(const char* path, int mode, SettingsRecord* settings, PyramidImage* thumbnail,
                     bool* pictureRead, unsigned openFlags = kOpenDefault);

// The same from bytes in memory.
int readSettingsMemory(const uint8_t* data, size_t size, int mode, SettingsRecord* settings,
                       PyramidImage* thumbnail, bool* pictureRead);

// Decodes a presets picture (a JPEG stream of 1 or 3 components) into a
// new width x height 8-bit RGBA picture: red, green, blue (grey in all three
// for one component) and alpha 255. Parts of the picture the stream does not
// cover stay 0. False, leaving `picture` as it was, when the stream does not
// decode or the size is below 1.
bool decodePresetsPicture(const uint8_t* data, size_t size, int32_t width, int32_t height,
                          PyramidImage& picture);

// ------------------------------------------------------------ Save and Load

// The dialog's preview: 8-bit planes one after another, each `width` x
// `height` bytes row by row without gaps.
struct PreviewPlanes {
    const uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t planes = 0; // fewer than 3: the first plane is grey
};

// The thumbnail Save stores: the largest square centred in the preview,
// copied into a new 8-bit RGBA picture of that side that replaces
// `thumbnail`. False, leaving `thumbnail` as it was, when there is no
// preview.
bool makeThumbnailFromPreview(const PreviewPlanes& preview, PyramidImage& thumbnail);

// `settingsName` without its extension; "Quillfire settings" when that
// leaves nothing.
std::string settingsFileStem(const char* settingsName);
// The file name Save offers: the stem with ".sa9", at most 259 characters.
std::string defaultSettingsFileName(const char* settingsName);

// After a file dialog: the chosen path's last component becomes
// `settingsName`, the path up to it (with its separator) `settingsFolder`;
// both bounded to their 260 characters.
void takeChosenSettingsPath(SettingsRecord& settings, const char* path);

} // namespace qf
