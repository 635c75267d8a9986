// The fourteen pattern settings as command-line flags, and their scripting
// descriptor. The keys, value types and enumerations the module reads when
// an editor replays a recorded action are in values/scripting_terms.h.
#pragma once

#include "host/descriptor.h"
#include "values/name_tables.h"
#include "values/scripting_terms.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qf::cli {

// The number in the last two digits of an enumeration value whose first two
// characters are `letters`, whatever its range (a descriptor from another
// program may hold GL70); 0 for any other value.
int enumNumber(DescEnum value, const char (&letters)[3]);

// The value a name or number on the command line stands for, 0 when none:
// glue modes by their menu name, their scripting name or 1 to 69; shapes
// by name or 1 to 7; stripe kinds by letter or 1 to 4. Names are matched
// without regard to case, and '_' or a '-' between letters reads as a
// space ("Hard_Light", "hard-light").
int glueFromText(const std::string& text);
int shapeFromText(const std::string& text);
int stripeKindFromText(const std::string& text);

// Values given on the command line; absent ones are left to the module.
struct Settings {
    std::optional<int32_t> seed, shape, stripeKind, merge, glue;
    std::optional<int32_t> overlap, stripes, warping, softness, doublure, color, zoom, complexity,
        hue;

    // The descriptor that replays exactly these values, in key-list order.
    host::Descriptor toDescriptor() const;
};

enum class FlagResult { notASetting, ok, bad };

// Parses one settings flag (name without the leading dashes, e.g. "glue")
// with its value. `bad` sets `error` to one line naming the flag and the
// accepted values.
FlagResult parseSettingFlag(const std::string& name, const std::string& value, Settings& settings,
                            std::string& error);

// The settings a descriptor holds, as the flags that reproduce them. A value
// no flag accepts is left out and, when `outOfRange` is given, described
// there in one line.
std::string describeSettings(const host::Descriptor& descriptor,
                             std::vector<std::string>* outOfRange = nullptr);

// The settings flags' names, without dashes, in the order the help lists
// them: the seed, the lists and merge, then the sliders.
std::vector<std::string> settingFlagNames();

// A name as the command line takes it without quotes: spaces as '-'
// ("soft light" -> "soft-light").
std::string dashName(const std::string& name);

// The names among `candidates` nearest to a mistyped `typed` (at most
// three, best first): those a letter or two away, those that read the same
// without spaces, and those the typed text contains or is contained in.
// Empty when none is near.
std::vector<std::string> nearestNames(const std::string& typed,
                                      const std::vector<std::string>& candidates);

// "; did you mean 'a' or 'b'?" for the nearest names, or nothing.
std::string suggestionText(const std::vector<std::string>& names);

// Strict whole-number parsing: optional sign, digits, nothing else.
bool parseInt(const std::string& text, int64_t lo, int64_t hi, int64_t& out);

} // namespace qf::cli
