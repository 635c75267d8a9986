// Presets files on the command line: `--preset FILE` replays the settings a
// file holds, `--save-preset FILE` keeps the settings a run used, with a
// thumbnail of its result. The CLI reads and writes the files itself with
// the plug-in's presets format; the module still receives the settings as
// a recorded action.
#pragma once

#include <string>

#include "host/cli/settings.h"
#include "host/descriptor.h"
#include "host/document.h"
#include "values/settings_record.h"

namespace qf::cli {

// Fills every setting the file holds into `settings`, except those already
// given (flags on the command line win). False with one line in `error`
// when the file cannot be read.
bool settingsFromPresetsFile(const std::string& path, Settings& settings, std::string& error);

// Writes the settings of `used` (what the module reported at finish) and a
// thumbnail of `result` as a presets file named after the file.
bool savePresetsFile(const std::string& path, const host::Descriptor& used,
                     const host::Document& result, std::string& error);

// The settings as the module's record holds them: the values given, the
// defaults of a fresh run (seed 0) for the others.
SettingsRecord recordFromSettings(const Settings& settings);
// All fourteen settings taken from a record.
void settingsFromRecord(const SettingsRecord& record, Settings& settings);

} // namespace qf::cli
