// The names the user sees for the list settings: the glue modes as the
// dialog's glue list shows them, the shapes, the stripe kinds and the merge
// rules. Each
// table is indexed by the setting's value; entry 0 is unused.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qf {

// The number of glue modes; every list, enumeration and table of them runs
// from 1 to this.
inline constexpr int32_t kGlueModeCount = 69;

// Glue modes 1 to 69 as the dialog lists them.
extern const std::array<const char*, kGlueModeCount + 1> kGlueMenuNames;
// Shapes 1 to 7, stripe kinds 1 to 4 and merge rules 1 to 4.
extern const std::array<const char*, 8> kShapeNames;
extern const std::array<const char*, 5> kStripeKindNames;
extern const std::array<const char*, 5> kMergeNames;

// The names for one value; empty outside the table's range.
std::string glueMenuName(int mode);
std::string shapeName(int shape);
std::string stripeKindName(int kind);
std::string mergeName(int merge);

// The glue mode's name in the scripting enumeration an editor records:
// the menu name, except "harsh diff" for mode 26, and empty for the modes
// the enumeration does not list (60, 61, 64 to 69).
std::string glueScriptingName(int mode);

} // namespace qf
