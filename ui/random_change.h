// The random changes of the dialog's Randomize, Dice3 and Dice3_ buttons and
// the seed drawn by Randomseed, all from the process-wide random source.
#pragma once

#include <cstdint>

#include "values/random_source.h"
#include "values/settings_record.h"

namespace qf {

constexpr double kRandomizeStrength = 1.0;
constexpr double kDice3Strength = 0.333;
constexpr double kDice3SmallStrength = 0.1;
// Randomize tries at most this many changes; the last one is kept.
constexpr int kRandomizeAttempts = 20;

// Where the raw numbers (0..32767) come from: the process-wide source, or a
// scripted one in tests.
using RawRandom = int32_t (*)();

// A random integer in a..b (swapped when b < a): a plus the raw number's
// bits 4 and up, masked to the smallest 2^k - 1 (k >= 1) that covers b - a,
// drawn again until it does not pass b.
int32_t randomInRange(int32_t a, int32_t b, RawRandom raw = nextRandom);

// Moves the pattern settings toward random targets by `strength` (0..1):
// overlap, warping, softness, doublure, zoom, hue, color, merge (by
// chance), stripes, shape (by chance), complexity, stripe kind (by chance),
// in that order. `glue`, `randomSeed` and `settingsName` are left alone.
void randomChange(SettingsRecord& settings, double strength, RawRandom raw = nextRandom);

// False for the combinations of stripe kind, merge rule, stripes and
// doublure that give a dull picture.
bool randomResultAcceptable(const SettingsRecord& settings);

// Full random changes until the result is acceptable, at most 20 in all
// (the 20th is kept whatever it is). The number of changes made.
int randomize(SettingsRecord& settings, RawRandom raw = nextRandom);

// The seed the Randomseed button draws: 0..2047.
int32_t randomSeedDraw(RawRandom raw = nextRandom);

} // namespace qf
