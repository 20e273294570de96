#include <algorithm>
#include <bit>

#include "search_steps.h"
#include "suffix_array.h"

namespace bitmapcodec {
namespace {

// Intervals this small are read from the suffix array directly.
constexpr std::int32_t kSmallInterval = 16;

std::uint32_t commonPrefix(const MatchIndex& index, std::span<const std::uint8_t> source,
                           std::uint32_t q, std::uint32_t p, std::uint32_t cap) {
    // Most matches are short: compare a few bytes before asking the index.
    const std::uint32_t direct = std::min<std::uint32_t>(cap, 32);
    std::uint32_t length = 0;
    while (length < direct && source[q + length] == source[p + length]) {
        ++length;
    }
    if (length < direct || length == cap) {
        return length;
    }
    const std::int32_t a = index.rank[q];
    const std::int32_t b = index.rank[p];
    const auto shared =
        static_cast<std::uint32_t>(lcpRangeMinimum(index.lcp, std::min(a, b) + 1, std::max(a, b)));
    return std::min(shared, cap);
}

// The largest position q <= highest among the suffixes that share k bytes with
// the one at p, or -1.
std::int64_t nearestSharing(const MatchIndex& index, std::uint32_t p, std::uint32_t k,
                            std::uint32_t highest) {
    const std::int32_t rank = index.rank[p];
    const std::int32_t first = intervalStart(index.lcp, rank, static_cast<std::int32_t>(k));
    const std::int32_t last = intervalEnd(index.lcp, rank, static_cast<std::int32_t>(k));
    if (last - first < kSmallInterval) {
        std::int64_t nearest = -1;
        for (std::int32_t r = first; r <= last; ++r) {
            const std::int32_t q = index.suffixArray[r];
            if (static_cast<std::uint32_t>(q) <= highest && q > nearest) {
                nearest = q;
            }
        }
        return nearest;
    }
    return largestValueBelow(index.positionsByRank, static_cast<std::uint32_t>(first),
                             static_cast<std::uint32_t>(last) + 1, highest + 1);
}

// The nearest earlier suffixes in rank order on either side (the previous and
// next ranks with a smaller position) share the most with each suffix among
// all earlier ones. One stack pass per side; each stack entry keeps its common
// prefix with the entry above it, so popping keeps those values exact.
std::vector<std::int32_t> longestEarlierMatches(const MatchIndex& index) {
    const auto n = static_cast<std::int32_t>(index.suffixArray.size());
    std::vector<std::int32_t> longest(index.suffixArray.size(), 0);
    struct Entry {
        std::int32_t rank;
        std::int32_t shared;
    };
    std::vector<Entry> stack;
    const auto sweep = [&](std::int32_t from, std::int32_t to, std::int32_t step) {
        stack.clear();
        for (std::int32_t r = from; r != to; r += step) {
            if (!stack.empty()) {
                // Common prefix of this rank and the one visited before it.
                const std::int32_t adjacent = step > 0 ? index.lcp.lcp[r] : index.lcp.lcp[r - step];
                stack.back().shared = std::min(stack.back().shared, adjacent);
            }
            const std::int32_t position = index.suffixArray[r];
            while (!stack.empty() && index.suffixArray[stack.back().rank] > position) {
                const std::int32_t popped = stack.back().shared;
                stack.pop_back();
                if (!stack.empty()) {
                    stack.back().shared = std::min(stack.back().shared, popped);
                }
            }
            if (!stack.empty()) {
                longest[position] = std::max(longest[position], stack.back().shared);
            }
            stack.push_back({r, INT32_MAX});
        }
    };
    sweep(0, n, 1);
    sweep(n - 1, -1, -1);
    return longest;
}

}  // namespace

// Goes on from where the short scan left off, candidate by candidate as the
// plain scan would, but visiting only the distances that can matter: each new
// best is the nearest earlier occurrence, beyond the distances examined, of one
// byte more than the best so far; and besides such a record, the scan can only
// end at the distance right after a record that ran one byte past its distance.
void continueWithIndex(const MatchIndex& index, std::span<const std::uint8_t> source,
                       std::uint32_t p, std::uint32_t window, SearchState& state) {
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    while (!state.stopped && state.best < remaining && state.examined < window) {
        if (state.examined == state.bestDistance && state.best == state.bestDistance + 1) {
            const std::uint32_t d = state.examined + 1;
            if (d < remaining && source[p - d] == source[p] && source[p + d] == source[p] &&
                commonPrefix(index, source, p - d, p, d + 1) <= d) {
                state.examined = d;
                state.stopped = true;
                return;
            }
        }
        if (state.best + 1 > static_cast<std::uint32_t>(index.longestEarlierMatch[p])) {
            state.examined = window;
            return;
        }
        const std::uint32_t lowest = p - window;
        const std::int64_t q = nearestSharing(index, p, state.best + 1, p - state.examined - 1);
        if (q < static_cast<std::int64_t>(lowest)) {
            state.examined = window;
            return;
        }
        const std::uint32_t d = p - static_cast<std::uint32_t>(q);
        state.best = commonPrefix(index, source, p - d, p, std::min(remaining, d + 1));
        state.bestDistance = d;
        state.examined = d;
        state.stopped = state.best == std::min(remaining, d);
    }
}

MatchIndex buildMatchIndex(std::span<const std::uint8_t> source) {
    MatchIndex index;
    index.suffixArray = buildSuffixArray(source);
    const auto n = static_cast<std::int32_t>(source.size());
    index.rank.resize(source.size());
    for (std::int32_t r = 0; r < n; ++r) {
        index.rank[index.suffixArray[r]] = r;
    }
    index.lcp = buildLcpIntervals(buildLcpArray(source, index.suffixArray, index.rank));
    index.longestEarlierMatch = longestEarlierMatches(index);
    const std::span<const std::uint32_t> positions(
        reinterpret_cast<const std::uint32_t*>(index.suffixArray.data()), source.size());
    index.positionsByRank =
        buildWaveletMatrix(positions, std::bit_width(static_cast<std::uint32_t>(n)));
    return index;
}

}  // namespace bitmapcodec
