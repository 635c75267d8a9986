// --randomize [STRENGTH] and --random-state N: the settings changed at
// random exactly as the dialog's random buttons change them, so a shell loop
// can explore variations of a look and --print-settings tells how to get
// one back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/cli/settings.h"

namespace qf::cli {

// The dialog's buttons: Randomize, Dice3, Dice3_.
constexpr double kRandomizeFull = 1.0;
constexpr double kRandomizeMedium = 0.333;
constexpr double kRandomizeSmall = 0.1;

// Changes `settings` at random with `strength` (0..1), starting from the
// values given and the plain defaults for the others. At strength 1 it is
// the Randomize button (whole new settings, tried again until the stripes
// read, at most 20 times); below, one change of that strength. The glue
// mode and the seed stay. Afterwards all fourteen settings are set.
// `state` starts the random source (the same state, the same change).
void applyRandomChange(Settings& settings, double strength, uint32_t state);

// Reads a strength from 0 to 1 (a plain decimal number); false otherwise.
bool parseStrength(const std::string& text, std::optional<double>& strength);

// A state for when none is given: from the clock.
uint32_t freshRandomState();

} // namespace qf::cli
