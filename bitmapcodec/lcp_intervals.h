// Range minima over an LCP array: the common prefix of any two suffixes, and
// the interval of suffixes that share at least k bytes with a given one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "search_tuning.h"

namespace bitmapcodec {

struct LcpIntervals {
    std::span<const std::int32_t> lcp;
    // Minima of blocks of kLcpBlock entries, then of 2^j consecutive blocks:
    // level j holds levelSize[j] entries from levelStart[j] on.
    std::span<const std::int32_t> blockMinima;
    std::array<std::size_t, 32> levelStart{};
    std::array<std::int32_t, 32> levelSize{};
    int levels = 0;
};

// The entries that the block minima over n LCP entries take.
std::size_t lcpBlockMinimaSize(std::size_t n);

// Builds the block minima into minima (lcpBlockMinimaSize(lcp.size())
// entries); the result refers to both spans.
LcpIntervals buildLcpIntervals(std::span<const std::int32_t> lcp, std::span<std::int32_t> minima);

// min(lcp[first..last]), first <= last.
std::int32_t lcpRangeMinimum(const LcpIntervals& index, std::int32_t first, std::int32_t last);

// The largest j <= rank with lcp[j] < k (lcp[0] = 0, so one exists for k >= 1):
// the first rank of the suffixes that share k bytes with the one at rank.
std::int32_t intervalStart(const LcpIntervals& index, std::int32_t rank, std::int32_t k);

// The last rank of the suffixes that share k bytes with the one at rank.
std::int32_t intervalEnd(const LcpIntervals& index, std::int32_t rank, std::int32_t k);

}  // namespace bitmapcodec
