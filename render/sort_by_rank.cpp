#include "render/sort_by_rank.h"

#include <utility>

namespace qf {

void sortByRank(int32_t* ranks, int32_t* carried, int32_t lo, int32_t hi) {
    while (lo < hi) {
        if (lo == hi - 1) {
            if (ranks[lo] > ranks[hi]) {
                std::swap(ranks[lo], ranks[hi]);
                std::swap(carried[lo], carried[hi]);
            }
            return;
        }
        // The middle element is the pivot; park it at the end.
        const int32_t mid = (lo + hi) / 2;
        const int32_t pivot = ranks[mid];
        std::swap(ranks[mid], ranks[hi]);
        std::swap(carried[mid], carried[hi]);

        int32_t i = lo;
        int32_t j = hi;
        while (i < j) {
            while (ranks[i] <= pivot && i < j) {
                ++i;
            }
            while (pivot <= ranks[j] && i < j) {
                --j;
            }
            if (i < j) {
                std::swap(ranks[i], ranks[j]);
                std::swap(carried[i], carried[j]);
            }
        }
        // Bring the pivot from the end to where the two scans met.
        std::swap(ranks[j], ranks[hi]);
        std::swap(carried[j], carried[hi]);

        sortByRank(ranks, carried, lo, i - 1);
        lo = j + 1;
    }
}

} // namespace qf
