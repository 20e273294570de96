// The encoder's match search at one position. Its result is part of the
// stream format: any search must give the token that the plain scan gives,
// which is its match wherever that is long enough to be written (sameToken).
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "encoder_workspace.h"
#include "lcp_intervals.h"
#include "marker_lz.h"
#include "rank_set.h"
#include "search_tuning.h"
#include "stretch_chains.h"
#include "wavelet_matrix.h"

namespace bitmapcodec {

struct Match {
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
};

// Whether a match that a search found gives the same token as the plain
// scan's: the same match where that one is long enough to be written, and
// otherwise one too short to be written too (the position then becomes a
// literal whatever the match).
inline bool sameToken(const Match& found, const Match& plain) {
    if (plain.length < kShortestPayingMatch) {
        return found.length < kShortestPayingMatch;
    }
    return found.length == plain.length && found.distance == plain.distance;
}

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
    bool jumpTried = false;  // through the stretch of that period
};

// Whether the candidate at distance d passes the scan's two single-byte tests:
// its first byte, and its byte at the length to beat. Every candidate that
// can change the state passes them.
inline bool passesByteTests(const std::uint8_t* here, std::uint32_t d, std::uint32_t best,
                            std::uint32_t remaining) {
    const std::uint8_t* candidate = here - d;
    return candidate[0] == here[0] && best < remaining && candidate[best] == here[best];
}

// The rule that fixes the stream, for the candidate at distance d, the next
// after those examined, that passed the byte tests and shares `length` bytes
// with p (counted up to min(remaining, d + 1): a match may run one byte past
// its distance, which is how runs are coded). It replaces the best only when
// strictly longer, so among equal lengths the nearest wins; and the search ends
// at the first candidate that leaves the best equal to min(remaining, d).
// Every path of the search decides through here.
inline void takeCandidate(SearchState& state, std::uint32_t d, std::uint32_t length,
                          std::uint32_t remaining) {
    if (length > state.best) {
        state.best = length;
        state.bestDistance = d;
        if (length == d + 1 && state.firstOverreach == 0) {
            state.firstOverreach = d;
        }
    }
    state.examined = d;
    state.stopped = state.best == std::min(remaining, d);
}

// Whether nothing the search could still do would change its result.
inline bool searchDecided(const SearchState& state, std::uint32_t window, std::uint32_t remaining) {
    return state.stopped || state.examined >= window || state.best >= remaining;
}

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
// order, with the common prefix of the candidate at distance d and p (at most
// cap bytes) taken from prefixAt(d, cap), so that a search that knows some
// prefixes need not compare them. Returns the number of distances examined.
template <typename Prefix>
std::uint32_t scanDistancesWith(std::span<const std::uint8_t> source, std::uint32_t p,
                                SearchState& state, std::uint32_t lastDistance,
                                const Prefix& prefixAt) {
    const std::uint8_t* here = source.data() + p;
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const std::uint32_t from = state.examined;
    std::uint32_t d = from;
    while (!state.stopped && d < lastDistance) {
        ++d;
        if (!passesByteTests(here, d, state.best, remaining)) {
            continue;
        }
        takeCandidate(state, d, prefixAt(d, std::min(remaining, d + 1)), remaining);
    }
    state.examined = d;
    return d - from;
}

// The same, comparing every candidate byte by byte.
std::uint32_t scanDistances(std::span<const std::uint8_t> source, std::uint32_t p,
                            SearchState& state, std::uint32_t lastDistance);

// The reference: the plain scan over every distance of the window.
Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance);

// markerLzEncodePlainScan, which also writes the match it found at each
// position it visited to matchAt[p] and leaves the other entries as they were,
// so that a check of another search at those positions need not scan them
// again. matchAt must hold source.size() entries; when it does not, nothing is
// written and the result is 0.
std::uint32_t markerLzEncodePlainScan(std::span<const std::uint8_t> source,
                                      std::span<std::uint8_t> destination,
                                      std::uint32_t maximumDistance, std::span<Match> matchAt);

inline constexpr std::uint32_t kNoPosition = UINT32_MAX;
// The bytes that the index's chain links positions by: every match that can
// be written shares them.
inline constexpr std::uint32_t kChainKeyBytes = kShortestPayingMatch;

// A suffix array of the whole input with what it takes to find, for any
// position, the nearest earlier occurrence of its first k bytes. Its arrays
// lie in the workspace that it was built in.
struct MatchIndex {
    std::span<const std::int32_t> suffixArray;
    std::span<const std::int32_t> rank;
    // For each position, the longest common prefix with any earlier position:
    // no record can be longer, so most searches end without a query.
    std::span<const std::int32_t> longestEarlierMatch;
    LcpIntervals lcp;
    // For each position, the nearest earlier one whose first four bytes hash
    // alike, or kNoPosition (also for the last three positions).
    std::span<const std::uint32_t> sameKey;
    // The workspace's wavelet matrix over the suffix array, built once
    // reading large intervals directly has used up its budget of entries.
    WaveletMatrix* positionsByRank = nullptr;
    WaveletMatrix* waveletRoom = nullptr;
    std::uint64_t directReadsLeft = 0;
    std::uint64_t chainStepsLeft = 0;
    // Past the largest distance, the ranks of the positions in the window
    // [windowFirst, windowEnd): the nearest of them on either side of p's
    // rank share the most with p within the window.
    RankSet inWindow;
    std::uint32_t windowFirst = 0;
    std::uint32_t windowEnd = 0;
};

// Builds the index in the workspace, over whatever an earlier index left.
MatchIndex buildMatchIndex(std::span<const std::uint8_t> source, EncoderWorkspace& workspace);

// The bytes of the workspace's arena that an index over n bytes lies in.
std::size_t matchIndexBytes(std::size_t n);

// A stretch of the input that repeats with one period (see stretchThrough).
struct PeriodicStretch {
    std::uint32_t period = 0;  // 0: none found yet
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    bool reachedStart = false;  // first is where the stretch begins, not a limit
};

// A run of one byte value, [first, end).
struct ByteRun {
    std::uint32_t first = 0;
    std::uint32_t end = 0;
};

// The search state of one encoding pass: at every position a short plain
// scan; then, where the input is flat enough, the stretch chains while their
// budget of work lasts; otherwise the plain scan goes on while its budget of
// plain work lasts; once a budget is spent the index is built and answers the
// rest, from wherever the search stood. Each budget is a fixed amount at the
// start and a fixed amount more for each position passed while it is in use,
// so the index is built as soon as that work has cost more than that amount
// per byte so far, whatever the input, and the work before it stays linear.
struct FastSearch {
    std::span<const std::uint8_t> source;
    EncoderWorkspace* workspace = nullptr;  // where the index is built
    std::uint32_t maximumDistance = 0;
    std::uint32_t shortScanDistances = kShortScanDistances;
    std::size_t smallestIndexedInput = kSmallestIndexedInput;
    std::size_t smallestChainedInput = kSmallestChainedInput;
    std::uint64_t plainWorkLeft = 0;
    std::uint64_t plainWorkPerPosition = kPlainWorkPerByte;
    std::uint32_t creditedUpTo = 0;  // the positions before it have added theirs
    StretchChains chains;            // started at the first search that needs them
    std::uint64_t chainWorkLeft = 0;
    std::uint64_t chainWorkPerPosition = kChainWorkPerByte;
    std::optional<MatchIndex> index;
    // Kept from search to search: positions come in order, and runs and
    // stretches hold many of them.
    ByteRun run;
    PeriodicStretch stretch;
    ByteRun pairStretch;  // of period 2, from the last position that asked
};

FastSearch startFastSearch(std::span<const std::uint8_t> source, std::uint32_t maximumDistance,
                           EncoderWorkspace& workspace);

// The plain scan's match at p wherever it is long enough to be written; where
// it is not, possibly another match that is not either (sameToken).
Match fastSearchMatch(FastSearch& search, std::uint32_t p);

}  // namespace bitmapcodec
