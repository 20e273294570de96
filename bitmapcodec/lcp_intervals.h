// Range minima over an LCP array: the common prefix of any two suffixes, and
// the interval of suffixes that share at least k bytes with a given one.
#pragma once

#include <cstdint>
#include <vector>

#include "search_tuning.h"

namespace bitmapcodec {

struct LcpIntervals {
    std::vector<std::int32_t> lcp;
    // Minima of blocks of kLcpBlock entries, then of 2^j consecutive blocks.
    std::vector<std::vector<std::int32_t>> blockMinima;
};

LcpIntervals buildLcpIntervals(std::vector<std::int32_t> lcp);

// min(lcp[first..last]), first <= last.
std::int32_t lcpRangeMinimum(const LcpIntervals& index, std::int32_t first, std::int32_t last);

// The largest j <= rank with lcp[j] < k (lcp[0] = 0, so one exists for k >= 1):
// the first rank of the suffixes that share k bytes with the one at rank.
std::int32_t intervalStart(const LcpIntervals& index, std::int32_t rank, std::int32_t k);

// The last rank of the suffixes that share k bytes with the one at rank.
std::int32_t intervalEnd(const LcpIntervals& index, std::int32_t rank, std::int32_t k);

}  // namespace bitmapcodec
