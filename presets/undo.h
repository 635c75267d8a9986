// Undo: two slots of settings and the index of the newest, toggled by every
// push and every undo, so that Undo goes back to the state before the last
// change and a second Undo forward again. A slot holds the settings the
// render snapshot holds; a change that replaces many settings at once also
// writes them to an undo file ("Quillfire undo 0" or "Quillfire undo 1",
// a presets file without picture) so that every field it holds returns.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "values/settings_record.h"

namespace qf {

constexpr char kUndoFileName0[] = "Quillfire undo 0";
constexpr char kUndoFileName1[] = "Quillfire undo 1";

class UndoSlots {
  public:
    // Files in the temporary folder.
    UndoSlots() = default;
    // Files in `folder`, which ends with a separator (for tests).
    explicit UndoSlots(std::string folder) : folder_(std::move(folder)) {}

    // A run starts: both slots invalid, index 0.
    void reset();
    // Records `settings` as the newest state in the other slot; with a file,
    // the slot's undo file is written too (its slot then counts as having a
    // file whatever the write gave).
    void push(const SettingsRecord& settings, bool withFile);
    // Returns to the other slot's state: its copy, then, when it has a file,
    // the file read over it (a missing or unreadable file is passed over).
    // False, changing nothing, when the other slot was never filled.
    bool undo(SettingsRecord& settings);

    int index() const { return index_; }
    // The undo file of slot `slot` (0 or 1); false when it does not fit a
    // path buffer.
    bool filePath(int slot, std::string& path) const;

  private:
    struct Slot {
        SettingsSnapshot copy{};
        uint8_t hasFile = 0;
        uint8_t valid = 0;
    };
    std::string folder_; // empty: the temporary folder
    Slot slots_[2];
    int index_ = 0;
};

} // namespace qf
