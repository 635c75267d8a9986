// `quillfire dots`: the memory dots a person kept in the dialog, read from
// the same files in the temporary folder the module keeps them in.
//   dots list            every filled dot with its settings
//   dots show N          one dot's settings as flags, and its file
//   dots apply N INPUT OUTPUT [settings] [options]
//                        apply with that dot's settings (as --preset)
#pragma once

#include <string>
#include <vector>

namespace qf::cli {

// The file of dot N (1 to 25); false when N is out of range or the path
// does not fit.
bool dotPresetPath(int number, std::string& path);

// The file of dot N when the dot is filled; false with `error` saying why
// not (no such dot, or it is empty).
bool filledDotPath(int number, std::string& path, std::string& error);

// `dots list` and `dots show N`: prints to standard output; the exit code.
int listDots();
int showDot(int number);

} // namespace qf::cli
