// The sort that decides the paint order of the shapes around a point.
#pragma once

#include <cstdint>

namespace qf {

// Sorts ranks[lo..hi] ascending and applies every move to carried[] as
// well. This particular quicksort is part of the pattern: shapes with equal
// ranks end up in the order it leaves them in, which a stable sort would
// not reproduce.
void sortByRank(int32_t* ranks, int32_t* carried, int32_t lo, int32_t hi);

} // namespace qf
