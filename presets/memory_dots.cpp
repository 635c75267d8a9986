#include "presets/memory_dots.h"

#include "platform/path.h"
#include "platform/temp_folder.h"

#include <cstdio>

namespace qf {

namespace {

bool isDotIndex(int index) {
    return index >= 0 && index < kDotCount;
}

} // namespace

bool folderFilePath(const std::string& folder, const char* name, std::string& path) {
    path = (folder.empty() ? temporaryFolder() : folder) + name;
    if (path.size() < static_cast<size_t>(kPathLength)) return true;
    path.clear();
    return false;
}

std::string dotFileName(int index) {
    char name[kPathLength];
    std::snprintf(name, sizeof name, "%s A memory dot %d%s", "Quillfire", index, kPresetsExtension);
    return name;
}

bool dotFilePath(int index, std::string& path) {
    return folderFilePath(std::string(), dotFileName(index).c_str(), path);
}

// -------------------------------------------------------------------- map

int readDotMap(const char* path, DotMap& map, unsigned openFlags) {
    for (int32_t& entry : map.entry) entry = 0;
    File file;
    if (file.openForReading(path, openFlags) != kFileOk) return kFileCannotOpen;
    uint8_t bytes[kDotMapSize];
    size_t got = 0;
    const int status = file.read(bytes, sizeof bytes, &got);
    file.close();
    // The version comes first and is not looked at; whole entries that
    // arrived count, the rest stay zero.
    for (size_t i = 0; i < kDotCount && 4 * (i + 2) <= got; ++i) {
        const uint8_t* b = bytes + 4 * (i + 1);
        map.entry[i] = static_cast<int32_t>((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) |
                                            (uint32_t(b[2]) << 8) | b[3]);
    }
    return status;
}

int writeDotMap(const char* path, const DotMap& map, unsigned openFlags) {
    uint8_t bytes[kDotMapSize];
    for (size_t i = 0; i <= kDotCount; ++i) {
        const uint32_t u = static_cast<uint32_t>(i == 0 ? kDotMapVersion : map.entry[i - 1]);
        bytes[4 * i] = static_cast<uint8_t>(u >> 24);
        bytes[4 * i + 1] = static_cast<uint8_t>(u >> 16);
        bytes[4 * i + 2] = static_cast<uint8_t>(u >> 8);
        bytes[4 * i + 3] = static_cast<uint8_t>(u);
    }
    File file;
    if (file.openForWriting(path, openFlags) != kFileOk) return kFileCannotOpen;
    int status = file.write(bytes, sizeof bytes);
    if (status == kFileOk) status = file.setEndOfFile();
    const int closed = file.close();
    return status != kFileOk ? status : closed;
}

int loadDotMap(DotMap& map, const std::string& folder) {
    std::string path;
    if (!folderFilePath(folder, kDotMapName, path)) {
        map = DotMap{};
        return kFileCannotOpen;
    }
    return readDotMap(path.c_str(), map);
}

int saveDotMap(const DotMap& map, const std::string& folder) {
    std::string path;
    if (!folderFilePath(folder, kDotMapName, path)) return kFileCannotOpen;
    return writeDotMap(path.c_str(), map);
}

int dotBitmapId(DotState state, bool remembered, bool pressed) {
    switch (state) {
    case kDotFilled:
        return remembered ? (pressed ? 216 : 215) : (pressed ? 214 : 213);
    case kDotCurrent:
        return remembered ? (pressed ? 212 : 208) : (pressed ? 211 : 202);
    default:
        return pressed ? 210 : 203;
    }
}

// ------------------------------------------------------------- MemoryDots

bool MemoryDots::dotPath(int index, std::string& path) const {
    return folderFilePath(folder_, dotFileName(index).c_str(), path);
}

int MemoryDots::loadMap() {
    return loadDotMap(map_, folder_);
}

int MemoryDots::saveMap() const {
    return saveDotMap(map_, folder_);
}

void MemoryDots::openDialog() {
    for (DotState& state : states_) state = kDotEmpty;
    clearViewer();
}

void MemoryDots::markRemembered() {
    for (int i = 0; i < kDotCount; ++i) {
        if (map_.entry[i] != 0 && states_[i] == kDotEmpty) states_[i] = kDotFilled;
    }
}

void MemoryDots::makeCurrent(int index) {
    for (DotState& state : states_) {
        if (state == kDotCurrent) state = kDotFilled;
    }
    states_[index] = kDotCurrent;
}

void MemoryDots::demoteCurrent() {
    for (DotState& state : states_) {
        if (state == kDotCurrent) state = kDotFilled;
    }
}

int MemoryDots::store(int index, SettingsRecord& settings, const PreviewPlanes& preview,
                      PyramidImage* runThumbnail) {
    if (!isDotIndex(index)) return kFileCannotOpen;
    if (runThumbnail) makeThumbnailFromPreview(preview, *runThumbnail);
    std::string path;
    const int status = dotPath(index, path)
                           ? writeSettingsFile(path.c_str(), settings, runThumbnail, kOpenOwnedOnly)
                           : kFileCannotOpen;
    makeCurrent(index);
    showInViewer(index);
    return status;
}

int MemoryDots::recall(int index, SettingsRecord& settings, PyramidImage* runThumbnail) {
    if (!isDotIndex(index)) return kFileCannotOpen;
    char name[kNameLength];
    std::snprintf(name, sizeof name, "dot %d", index + 1);
    copyName(settings.settingsName, name);
    std::string path;
    const int status = dotPath(index, path)
                           ? readSettingsFile(path.c_str(), kPresetsLoad, &settings, runThumbnail,
                                              nullptr, kOpenOwnedOnly)
                           : kFileCannotOpen;
    makeCurrent(index);
    return status;
}

bool MemoryDots::showInViewer(int index) {
    if (!isDotIndex(index)) return false;
    lastLoaded_ = index;
    std::string path;
    if (!dotPath(index, path)) return false;
    PyramidImage picture;
    bool pictureRead = false;
    readSettingsFile(path.c_str(), kPresetsThumbnailOnly, nullptr, &picture, &pictureRead,
                     kOpenOwnedOnly);
    if (!pictureRead || !picture.hasStorage()) return false;
    const bool shrinks = picture.width() > kDotViewerSide || picture.height() > kDotViewerSide;
    if (shrinks && !buildLevelsHere(picture, 0)) return false;
    PyramidImage scaled;
    if (!scaled.create(kDotViewerSide, kDotViewerSide, kPyramidRGBA8)) return false;
    const PixelRect from{0, 0, picture.height(), picture.width()};
    const PixelRect to{0, 0, kDotViewerSide, kDotViewerSide};
    if (!resampleImage(picture, scaled, from, to, 0.0f)) return false;
    viewer_ = std::move(scaled);
    viewed_ = index;
    return true;
}

void MemoryDots::clearViewer() {
    viewer_.release();
    viewed_ = -1;
    lastLoaded_ = -1;
}

DotClick MemoryDots::click(int index, bool ctrl, bool rightButton, SettingsRecord& settings,
                           const PreviewPlanes& preview, PyramidImage* runThumbnail) {
    if (!isDotIndex(index)) return DotClick::None;
    if (states_[index] == kDotEmpty) {
        // Either button; with Ctrl the dot is kept for this run only.
        map_.entry[index] = ctrl ? 0 : 1;
        store(index, settings, preview, runThumbnail);
        return DotClick::Stored;
    }
    if (rightButton) {
        states_[index] = kDotEmpty;
        map_.entry[index] = 0;
        clearViewer();
        return DotClick::Emptied;
    }
    if (ctrl) {
        map_.entry[index] = 0;
        return DotClick::Forgotten;
    }
    recall(index, settings, runThumbnail);
    return DotClick::Recalled;
}

bool MemoryDots::hover(int index) {
    if (!isDotIndex(index)) return false;
    if (states_[index] == kDotEmpty) {
        const bool had = viewer_.hasStorage() || viewed_ != -1;
        clearViewer();
        return had;
    }
    if (index == lastLoaded_) return false;
    return showInViewer(index);
}

DotState MemoryDots::state(int index) const {
    return isDotIndex(index) ? states_[index] : kDotEmpty;
}

bool MemoryDots::remembered(int index) const {
    return isDotIndex(index) && map_.entry[index] != 0;
}

int MemoryDots::bitmapId(int index, bool pressed) const {
    return dotBitmapId(state(index), remembered(index), pressed);
}

} // namespace qf
