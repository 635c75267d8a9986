#include "presets/undo.h"

#include "presets/memory_dots.h"
#include "presets/presets_file.h"

namespace qf {

void UndoSlots::reset() {
    slots_[0] = Slot{};
    slots_[1] = Slot{};
    index_ = 0;
}

bool UndoSlots::filePath(int slot, std::string& path) const {
    return folderFilePath(folder_, slot == 0 ? kUndoFileName0 : kUndoFileName1, path);
}

void UndoSlots::push(const SettingsRecord& settings, bool withFile) {
    index_ ^= 1;
    Slot& slot = slots_[index_];
    slot.copy = saveRenderSettings(settings);
    slot.hasFile = 0;
    if (withFile) {
        // The writer stamps the version into the record it writes; the
        // caller's record stays as it is.
        SettingsRecord written = settings;
        std::string path;
        if (filePath(index_, path)) {
            writeSettingsFile(path.c_str(), written, nullptr, kOpenOwnedOnly);
        }
        slot.hasFile = 1;
    }
    slot.valid = 1;
}

bool UndoSlots::undo(SettingsRecord& settings) {
    const int other = index_ ^ 1;
    const Slot& slot = slots_[other];
    if (!slot.valid) return false;
    restoreRenderSettings(settings, slot.copy);
    std::string path;
    if (slot.hasFile && filePath(other, path)) {
        readSettingsFile(path.c_str(), kPresetsLoad, &settings, nullptr, nullptr, kOpenOwnedOnly);
    }
    index_ = other;
    return true;
}

} // namespace qf
