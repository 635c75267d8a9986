// The cached settings file: the last-used settings, kept between runs in
// the temporary folder as a presets file without a picture.
//
// On Linux the temporary folder is shared by every user, so the file is
// opened only when it is a regular file that the current user owns and the
// name is not a symbolic link; anything else planted under the name is left
// alone (reading then keeps the defaults, writing leaves it untouched).
#pragma once

#include "values/settings_record.h"

namespace qf {

constexpr char kCachedSettingsName[] = "Quillfire cached settings D";

// Writes the settings (no picture) to the cached settings file in the
// temporary folder, cutting off whatever an older, longer file held after
// them. kFileOk, kFileCannotOpen (also when the path does not fit), or
// kFileWriteFailed.
int writeCachedSettings(SettingsRecord& settings);

// Reads the cached settings file into `settings` in load mode: what the
// file lacks keeps its value, a missing file changes nothing. kFileOk,
// kFileCannotOpen, or kFileReadFailed when the file ended early.
int readCachedSettings(SettingsRecord& settings);

// The same with the file's full path given.
int writeCachedSettingsTo(const char* path, SettingsRecord& settings);
int readCachedSettingsFrom(const char* path, SettingsRecord& settings);

} // namespace qf
