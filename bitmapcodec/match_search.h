// The encoder's match search at one position. Its result is part of the
// stream format: any search must return exactly what the plain scan returns.
#pragma once

#include <cstdint>
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
};

// The plain scan over distances examined + 1 .. lastDistance, in increasing
// order. A match at distance d may run one byte past d (the overreach that
// codes runs); only a strictly longer match replaces the best; the scan stops
// at the first candidate whose match leaves best equal to min(remaining, d).
// Returns the work done: distances examined plus bytes compared.
std::uint64_t scanDistances(std::span<const std::uint8_t> source, std::uint32_t p,
                            SearchState& state, std::uint32_t lastDistance);

// The reference: the plain scan over every distance of the window.
Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance);

// A suffix array of the whole input with what it takes to find, for any
// position, the nearest earlier occurrence of its first k bytes.
struct MatchIndex {
    std::vector<std::int32_t> suffixArray;
    std::vector<std::int32_t> rank;
    LcpIntervals lcp;
    WaveletMatrix positionsByRank;
};

MatchIndex buildMatchIndex(std::span<const std::uint8_t> source);

// Every position first scans this many distances plainly: most searches that
// end early end there, without touching the index.
inline constexpr std::uint32_t kShortScanDistances = 32;

// The search state of one encoding pass: a short plain scan at every
// position, and the index, built once the plain scan has proved expensive on
// this input, for the rest of the window.
struct FastSearch {
    std::span<const std::uint8_t> source;
    std::uint32_t maximumDistance = 0;
    std::uint32_t shortScanDistances = kShortScanDistances;
    std::uint64_t scanWork = 0;  // plain-scan work beyond the short scans
    std::optional<MatchIndex> index;
};

Match fastSearchMatch(FastSearch& search, std::uint32_t p);

}  // namespace bitmapcodec
