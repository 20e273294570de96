#include <algorithm>
#include <bit>

#include "match_search.h"
#include "suffix_array.h"

namespace bitmapcodec {
namespace {

// What building the index costs, per input byte, in units of plain-scan work
// (a distance examined or a byte compared); measured, rounded up.
constexpr std::uint64_t kIndexCostPerByte = 200;

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

// Inside a run of one byte value the scan's course is known without looking:
// every distance d up to the run's length before p finds the r bytes of the
// run that start at p (the byte after them differs), so the candidates 1, 2,
// ... are records of d + 1 bytes until the run is used up, and after that none
// passes the test at the best length. Leaves the state as the scan would after
// those distances.
void skipRun(std::span<const std::uint8_t> source, std::uint32_t p, std::uint32_t window,
             SearchState& state) {
    const std::uint8_t value = source[p];
    std::uint32_t before = 0;
    while (before < window && source[p - before - 1] == value) {
        ++before;
    }
    if (before == 0) {
        return;
    }
    std::uint32_t run = 1;
    while (p + run < source.size() && source[p + run] == value) {
        ++run;
    }
    if (run == 1) {
        state = {1, 1, 1, true};  // the single byte matches at distance 1, its full limit
        return;
    }
    state.best = std::min(run, before + 1);
    state.bestDistance = std::min(before, run - 1);
    state.examined = before;
}

}  // namespace

MatchIndex buildMatchIndex(std::span<const std::uint8_t> source) {
    MatchIndex index;
    index.suffixArray = buildSuffixArray(source);
    const auto n = static_cast<std::int32_t>(source.size());
    index.rank.resize(source.size());
    for (std::int32_t r = 0; r < n; ++r) {
        index.rank[index.suffixArray[r]] = r;
    }
    index.lcp = buildLcpIntervals(buildLcpArray(source, index.suffixArray, index.rank));
    const std::span<const std::uint32_t> positions(
        reinterpret_cast<const std::uint32_t*>(index.suffixArray.data()), source.size());
    index.positionsByRank =
        buildWaveletMatrix(positions, std::bit_width(static_cast<std::uint32_t>(n)));
    return index;
}

Match fastSearchMatch(FastSearch& search, std::uint32_t p) {
    const std::uint32_t window = std::min(search.maximumDistance, p);
    SearchState state;
    skipRun(search.source, p, window, state);
    scanDistances(search.source, p, state,
                  std::max(state.examined, std::min(window, search.shortScanDistances)));
    if (state.stopped || state.examined == window) {
        return {state.best, state.bestDistance};
    }
    // Build the index once the plain scan has spent, per byte passed, more
    // than twice what the index costs per byte: if the rest of the input is
    // alike, the scan would spend at least as much again.
    if (!search.index && search.scanWork >= 2 * kIndexCostPerByte * p) {
        search.index = buildMatchIndex(search.source);
    }
    if (search.index) {
        continueWithIndex(*search.index, search.source, p, window, state);
    } else {
        search.scanWork += scanDistances(search.source, p, state, window);
    }
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
