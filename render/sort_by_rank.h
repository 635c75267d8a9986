// The sort that decides the paint order of the shapes around a point.
#pragma once

#include <cstdint>

namespace qf {

// Sorts ranks[lo..hi] ascending and applies every move to carried[] as
// well. This particular quicksort is part of the pattern: shapes with equal
// ranks end up in the order it leaves them in, which a stable sort would
// not reproduce.
void sortByRank(int32_t* ranks, int32_t* carried, int32_t lo, int32_t hi);

// The order sortByRank gives indices 0 .. count - 1 (count at most 32) by
// ranks[]: order[n] is the index that comes n-th. When no two ranks are
// equal every sort gives that order, and each index goes straight to its
// place by counting the smaller ranks; equal ranks take sortByRank itself.
// ranks[] may be left reordered.
void orderByRank(int32_t* ranks, int32_t* order, int32_t count);

} // namespace qf
