#include <algorithm>
#include <bit>

#include "search_steps.h"
#include "suffix_array.h"

namespace bitmapcodec {
namespace {

std::uint32_t commonPrefix(const MatchIndex& index, std::span<const std::uint8_t> source,
                           std::uint32_t q, std::uint32_t p, std::uint32_t cap) {
    // Most matches are short: compare a few bytes before asking the index.
    const std::uint32_t direct = std::min(cap, kDirectCompareBytes);
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
// the one at p, or -1. Large intervals are read directly too until that has
// cost about as much as the wavelet matrix would: many inputs never need it.
std::int64_t nearestSharing(MatchIndex& index, std::uint32_t p, std::uint32_t k,
                            std::uint32_t highest) {
    const std::int32_t rank = index.rank[p];
    const std::int32_t first = intervalStart(index.lcp, rank, static_cast<std::int32_t>(k));
    const std::int32_t last = intervalEnd(index.lcp, rank, static_cast<std::int32_t>(k));
    const auto size = static_cast<std::uint64_t>(last - first + 1);
    const bool small = size <= kSmallInterval;
    if (small || (!index.positionsByRank && size <= index.directReadsLeft)) {
        if (!small) {
            index.directReadsLeft -= size;
        }
        std::int64_t nearest = -1;
        for (std::int32_t r = first; r <= last; ++r) {
            const std::int32_t q = index.suffixArray[r];
            if (static_cast<std::uint32_t>(q) <= highest && q > nearest) {
                nearest = q;
            }
        }
        return nearest;
    }
    if (!index.positionsByRank) {
        const std::span<const std::uint32_t> positions(
            reinterpret_cast<const std::uint32_t*>(index.suffixArray.data()),
            index.suffixArray.size());
        index.positionsByRank = buildWaveletMatrix(
            positions, std::bit_width(static_cast<std::uint32_t>(positions.size())));
    }
    return largestValueBelow(*index.positionsByRank, static_cast<std::uint32_t>(first),
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

// The longest common prefix of p with any position at most `window` before
// it. The window's ranks are kept from search to search: positions come in
// order, so each enters and leaves the set once.
std::uint32_t longestMatchInWindow(MatchIndex& index, std::uint32_t p, std::uint32_t window) {
    const std::uint32_t first = p - window;
    if (index.inWindow.levels.empty()) {
        index.inWindow = makeRankSet(static_cast<std::uint32_t>(index.rank.size()));
    }
    if (p < index.windowEnd || first < index.windowFirst) {
        for (std::uint32_t q = index.windowFirst; q < index.windowEnd; ++q) {
            eraseRank(index.inWindow, static_cast<std::uint32_t>(index.rank[q]));
        }
        index.windowFirst = first;
        index.windowEnd = first;
    }
    const std::uint32_t keptFrom = std::min(first, index.windowEnd);
    for (std::uint32_t q = index.windowFirst; q < keptFrom; ++q) {
        eraseRank(index.inWindow, static_cast<std::uint32_t>(index.rank[q]));
    }
    index.windowFirst = first;
    index.windowEnd = std::max(index.windowEnd, first);
    for (std::uint32_t q = index.windowEnd; q < p; ++q) {
        insertRank(index.inWindow, static_cast<std::uint32_t>(index.rank[q]));
    }
    index.windowEnd = p;
    const std::int32_t rank = index.rank[p];
    std::int32_t most = 0;
    const std::int64_t below = memberBelow(index.inWindow, static_cast<std::uint32_t>(rank));
    if (below >= 0) {
        most = lcpRangeMinimum(index.lcp, static_cast<std::int32_t>(below) + 1, rank);
    }
    const std::int64_t above = memberAbove(index.inWindow, static_cast<std::uint32_t>(rank));
    if (above >= 0) {
        most =
            std::max(most, lcpRangeMinimum(index.lcp, rank + 1, static_cast<std::int32_t>(above)));
    }
    return static_cast<std::uint32_t>(most);
}

}  // namespace

// Goes on from wherever the earlier steps left off, as the plain scan would,
// but visiting only the distances that can matter. Each new best is the
// nearest earlier occurrence, beyond the distances examined, of more bytes
// than the best so far; and besides such a record, the scan can only end at
// the distance right after a record that ran one byte past its distance, which
// is examined like any candidate. A query may ask for up to examined + 1 bytes
// at once (and no more than any earlier position shares with p): any record
// shorter than that lies beyond distance examined with fewer bytes than its
// distance, so it can neither end the search nor outlast the record found.
// Where that finds nothing in the window (the longest earlier matches may lie
// beyond it), any smaller count is as good a question: the search then asks
// for one byte fewer, then two, four and so on, since the longest match in the
// window is most often just short of the longest of all. Where no earlier
// position shares enough bytes with p for a match that could be written, it
// ends with what it has.
void continueWithIndex(FastSearch& search, std::uint32_t p, std::uint32_t window,
                       SearchState& state) {
    MatchIndex& index = *search.index;
    const std::span<const std::uint8_t> source = search.source;
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const auto prefixAt = [&](std::uint32_t d, std::uint32_t cap) {
        return commonPrefix(index, source, p - d, p, cap);
    };
    // No candidate left in the window shares more bytes with p than this.
    auto most = static_cast<std::uint32_t>(index.longestEarlierMatch[p]);
    if (window < p && most >= kShortestPayingMatch) {
        most = std::min(most, longestMatchInWindow(index, p, window));
    }
    // How far below the highest count still possible to ask, after misses.
    std::uint32_t backOff = 0;
    std::uint32_t nextBackOff = 0;
    while (!searchDecided(state, window, remaining)) {
        if (stepAfterOverreach(search.stretch, source, p, window, state, prefixAt)) {
            continue;
        }
        // Nothing left could be longer than the best, or long enough to be
        // written: the rest of the window cannot change the token.
        if (state.best >= most || most < kShortestPayingMatch) {
            state.examined = window;
            break;
        }
        const std::uint32_t lowest = state.best + 1;
        const std::uint32_t highest = std::max(lowest, std::min(most, state.examined + 1));
        const std::uint32_t k = std::max(lowest, highest - std::min(highest, backOff));
        const std::int64_t q = nearestSharing(index, p, k, p - state.examined - 1);
        if (q < static_cast<std::int64_t>(p - window)) {
            most = k - 1;  // nothing left shares k bytes
            backOff = nextBackOff;
            nextBackOff = 2 * nextBackOff + 1;
            continue;
        }
        const std::uint32_t d = p - static_cast<std::uint32_t>(q);
        takeCandidate(state, d, prefixAt(d, std::min(remaining, d + 1)), remaining);
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
    index.directReadsLeft = kDirectReadsPerByte * source.size();
    return index;
}

}  // namespace bitmapcodec
