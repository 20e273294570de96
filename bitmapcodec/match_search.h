// The encoder's match search at one position. Its result is part of the
// stream format: any search must return exactly what the plain scan returns.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "lcp_intervals.h"
#include "wavelet_matrix.h"

namespace bitmapcodec {

struct Match {
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
};

// Where a search at one position stands: the best match so far, the largest
// distance examined, and whether the search has ended.
struct SearchState {
    std::uint32_t best = 0;
    std::uint32_t bestDistance = 0;
    std::uint32_t examined = 0;
    bool stopped = false;
    // The first record that ran one byte past its distance (0: none yet): the
    // shortest period of the text at p.
    std::uint32_t firstOverreach = 0;
};

// How many leading bytes of candidate equal those of here, at most cap.
inline std::uint32_t directPrefix(const std::uint8_t* candidate, const std::uint8_t* here,
                                  std::uint32_t cap) {
    std::uint32_t length = 0;
    while (length < cap && candidate[length] == here[length]) {
        ++length;
    }
    return length;
}

// The plain scan over distances examined + 1 .. lastDistance, in increasing
// order. A match at distance d may run one byte past d (the overreach that
// codes runs); only a strictly longer match replaces the best; the scan stops
// at the first candidate whose match leaves best equal to min(remaining, d).
// Returns the work done: distances examined plus bytes compared.
std::uint64_t scanDistances(std::span<const std::uint8_t> source, std::uint32_t p,
                            SearchState& state, std::uint32_t lastDistance);

// The same scan with the common prefix of the candidate at distance d and p
// (at most cap bytes) taken from prefixAt(d, cap), so that a search that knows
// some prefixes need not compare them.
template <typename Prefix>
std::uint64_t scanDistancesWith(std::span<const std::uint8_t> source, std::uint32_t p,
                                SearchState& state, std::uint32_t lastDistance,
                                const Prefix& prefixAt) {
    const std::uint8_t* here = source.data() + p;
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    std::uint64_t compared = 0;
    std::uint32_t d = state.examined;
    while (!state.stopped && d < lastDistance) {
        ++d;
        const std::uint8_t* candidate = here - d;
        // Two single-byte tests reject almost every candidate before the byte
        // loop: its first byte, and its byte at the length to beat.
        if (candidate[0] != here[0]) {
            continue;
        }
        if (state.best >= remaining || candidate[state.best] != here[state.best]) {
            continue;
        }
        const std::uint32_t length = prefixAt(d, remaining < d + 1 ? remaining : d + 1);
        compared += length;
        if (length > state.best) {
            state.best = length;
            state.bestDistance = d;
            if (length == d + 1 && state.firstOverreach == 0) {
                state.firstOverreach = d;
            }
        }
        state.stopped = state.best == (remaining < d ? remaining : d);
    }
    const std::uint64_t work = (d - state.examined) + compared;
    state.examined = d;
    return work;
}

// The reference: the plain scan over every distance of the window.
Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance);

// A suffix array of the whole input with what it takes to find, for any
// position, the nearest earlier occurrence of its first k bytes.
struct MatchIndex {
    std::vector<std::int32_t> suffixArray;
    std::vector<std::int32_t> rank;
    // For each position, the longest common prefix with any earlier position:
    // no record can be longer, so most searches end without a query.
    std::vector<std::int32_t> longestEarlierMatch;
    LcpIntervals lcp;
    WaveletMatrix positionsByRank;
};

MatchIndex buildMatchIndex(std::span<const std::uint8_t> source);

// One position per input byte, allocated without being cleared: every entry
// that is read has been written, and clearing megabytes would cost more than
// many a search.
struct PositionArray {
    std::unique_ptr<std::int32_t[]> values;
    std::int32_t& operator[](std::size_t i) { return values[i]; }
    std::int32_t operator[](std::size_t i) const { return values[i]; }
};

inline PositionArray uninitializedPositions(std::size_t n) {
    return {std::make_unique_for_overwrite<std::int32_t[]>(n)};
}

// For each position, the nearest earlier position that starts with the same
// byte, the same 2 bytes, and the same hash of 4 and of 8 bytes (-1 where
// none): walked from the nearest, these visit candidates in the scan's own
// order, skipping only those that cannot match as long.
struct MatchChains {
    // The first and last position of the run of one value that holds each
    // position, and at a run's last position the last position of the
    // previous run of the same value.
    PositionArray runFirst;
    PositionArray runLast;
    PositionArray previousRun;
    PositionArray sameByte;
    PositionArray samePair;
    PositionArray sameQuadHash;
    PositionArray sameOctetHash;
};

MatchChains buildMatchChains(std::span<const std::uint8_t> source);

// Every position first scans this many distances plainly: most searches that
// end early end there, without touching the index.
inline constexpr std::uint32_t kShortScanDistances = 32;

// The work that the chains may spend at one position on candidates that come
// to nothing, before the search goes over to the index (or the plain scan):
// candidates visited, plus compared bytes in eighths.
inline constexpr std::uint64_t kChainBudget = 65536;

// The search state of one encoding pass: a short plain scan at every
// position; then the chains, within a budget of work per position; then the
// index, built once the searches beyond the chains' budget have proved
// expensive on this input.
struct FastSearch {
    std::span<const std::uint8_t> source;
    std::uint32_t maximumDistance = 0;
    std::uint32_t shortScanDistances = kShortScanDistances;
    std::uint64_t chainBudget = kChainBudget;
    // Plain-scan work spent beyond the short scans while the chains did not
    // exist, and where they gave up while the index did not; and the positions
    // from which each was counted.
    std::uint64_t workWithoutChains = 0;
    std::uint64_t workWithoutIndex = 0;
    std::uint32_t chainsFrom = 0;
    std::optional<MatchChains> chains;
    std::optional<MatchIndex> index;
};

Match fastSearchMatch(FastSearch& search, std::uint32_t p);

}  // namespace bitmapcodec
