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

void orderByRank(int32_t* ranks, int32_t* order, int32_t count) {
    uint32_t placed = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t below = 0;
        for (int32_t j = 0; j < count; ++j) {
            below += ranks[j] < ranks[i] ? 1 : 0;
        }
        // Equal ranks count the same smaller ones: a place taken twice.
        const uint32_t bit = uint32_t{1} << below;
        if ((placed & bit) != 0) {
            for (int32_t k = 0; k < count; ++k) {
                order[k] = k;
            }
            sortByRank(ranks, order, 0, count - 1);
            return;
        }
        placed |= bit;
        order[below] = i;
    }
}

} // namespace qf
