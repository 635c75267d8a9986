// The memory dots: 25 slots of the dialog in which the user keeps settings
// while exploring. Each dot is a presets file with its picture in the
// temporary folder, so dots outlive a filtering run; a small map file says
// which dots are remembered for the next run. The dot viewer shows the
// picture of the dot under the mouse.
//
// Map file layout (every value a big-endian 32-bit integer, 104 bytes): the
// version (200 when written, ignored when read), then one entry per dot,
// non-zero when the dot is remembered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "composite/picture/pyramid_image.h"
#include "platform/file.h"
#include "presets/presets_file.h"
#include "values/settings_record.h"

namespace qf {

constexpr int kDotCount = 25;
// The file index the batch tool keeps the user's own settings under.
constexpr int kBatchSlotIndex = 25;
constexpr char kDotMapName[] = "Quillfire memdot map 3";
constexpr size_t kDotMapSize = 104;
constexpr int32_t kDotMapVersion = 200;
// The dot viewer's picture is this many pixels square.
constexpr int32_t kDotViewerSide = 88;

enum DotState : int16_t {
    kDotEmpty = 0,
    kDotFilled = 1,
    kDotCurrent = 2, // filled, and the dot last stored or recalled
};

// `folder` (ending with a separator; empty for the temporary folder)
// followed by `name`. False, with `path` empty, when it does not fit a path
// buffer.
bool folderFilePath(const std::string& folder, const char* name, std::string& path);

// "Quillfire A memory dot <index>.sa9" (index 0..25, the batch slot
// included).
std::string dotFileName(int index);
// The dot file's path in the temporary folder; false (and `path` empty)
// when it does not fit a path buffer.
bool dotFilePath(int index, std::string& path);

struct DotMap {
    int32_t entry[kDotCount];
};

// Reads a map file: every entry is cleared first, then the version and as
// many entries as the file holds are read. kFileOk, kFileCannotOpen (the map
// stays all zero), or kFileReadFailed when the file ended early (the entries
// read so far are kept, the others stay zero).
int readDotMap(const char* path, DotMap& map, unsigned openFlags = kOpenOwnedOnly);
// Writes 200 and the 25 entries and cuts the file after them. kFileOk,
// kFileCannotOpen or kFileWriteFailed.
int writeDotMap(const char* path, const DotMap& map, unsigned openFlags = kOpenOwnedOnly);
// The same for the map file in `folder` (see folderFilePath: the temporary
// folder by default); kFileCannotOpen, with the map cleared when reading,
// when the path does not fit.
int loadDotMap(DotMap& map, const std::string& folder = std::string());
int saveDotMap(const DotMap& map, const std::string& folder = std::string());

// The bitmap resource that draws a dot.
int dotBitmapId(DotState state, bool remembered, bool pressed);

// What a click on a dot did, so the dialog can decide on the undo push and
// the re-render.
enum class DotClick {
    None,      // no dot there
    Stored,    // an empty dot took the current settings
    Recalled,  // a filled dot's settings were read back
    Emptied,   // right button on a filled dot
    Forgotten, // Ctrl on a filled dot: kept, but not for the next run
};

// The dots as one filtering run and its dialog see them. The map lives for
// the whole run; the states, the viewed dot and the viewer picture are
// rebuilt each time the dialog opens.
class MemoryDots {
  public:
    // Files in the temporary folder.
    MemoryDots() = default;
    // Files in `folder`, which ends with a separator (for tests).
    explicit MemoryDots(std::string folder) : folder_(std::move(folder)) {}

    // The map file of this object's folder into and out of map().
    int loadMap();
    int saveMap() const;

    DotMap& map() { return map_; }
    const DotMap& map() const { return map_; }

    // The dialog opens: every dot empty, the viewer cleared.
    void openDialog();
    // Every dot with a non-zero map entry becomes filled (a current dot
    // stays current).
    void markRemembered();

    // Stores the settings into a dot: the thumbnail is made from the preview
    // (without a preview `runThumbnail` is used as it is), the dot file is
    // written with it, the dot becomes the current one and its picture is
    // shown in the viewer. The write's file code; indexes outside 0..24 are
    // ignored (kFileCannotOpen).
    int store(int index, SettingsRecord& settings, const PreviewPlanes& preview,
              PyramidImage* runThumbnail);
    // Reads a dot back in load mode, without defaults first: `settingsName`
    // becomes "dot <index + 1>", the file's picture becomes `runThumbnail`,
    // and the dot is current even when its file is missing. The read's file
    // code; indexes outside 0..24 are ignored (kFileCannotOpen).
    int recall(int index, SettingsRecord& settings, PyramidImage* runThumbnail);
    // Shows a dot file's picture in the viewer, scaled to 88 x 88, and makes
    // it the viewed dot. A missing file or one without picture leaves the
    // viewer as it is; false then.
    bool showInViewer(int index);
    // No picture, no viewed dot.
    void clearViewer();
    // The current dot becomes a plain filled one (after an undo).
    void demoteCurrent();

    // A click released on dot `index` with the modifiers of its press.
    DotClick click(int index, bool ctrl, bool rightButton, SettingsRecord& settings,
                   const PreviewPlanes& preview, PyramidImage* runThumbnail);
    // The mouse moves over dot `index` with no button held: a filled dot not
    // shown last is shown, an empty dot clears the viewer. True when the
    // viewer changed.
    bool hover(int index);

    DotState state(int index) const;
    bool remembered(int index) const;
    // The bitmap that draws dot `index` now.
    int bitmapId(int index, bool pressed) const;
    // The dot whose picture the viewer shows; -1 for none.
    int viewedDot() const { return viewed_; }
    // The viewer's 88 x 88 8-bit RGBA picture; null when there is none.
    const PyramidImage* viewer() const { return viewer_.hasStorage() ? &viewer_ : nullptr; }

  private:
    bool dotPath(int index, std::string& path) const;
    void makeCurrent(int index);

    std::string folder_; // empty: the temporary folder
    DotMap map_{};
    DotState states_[kDotCount] = {};
    int viewed_ = -1;
    int lastLoaded_ = -1;
    PyramidImage viewer_;
};

} // namespace qf
