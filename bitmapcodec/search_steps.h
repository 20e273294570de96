// The steps that the fast search takes at one position, shared by its files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "match_search.h"

namespace bitmapcodec {

// Goes on with the index from the state that the earlier steps left.
void continueWithIndex(MatchIndex& index, std::span<const std::uint8_t> source, std::uint32_t p,
                       std::uint32_t window, SearchState& state);

// Once a match runs past its own distance P, the text around p repeats with
// period P: from where that repetition begins up to the extent E of the match
// found, every candidate at a multiple of P shares exactly E bytes with p.
// Knowing that spares comparing each of those candidates byte by byte, which
// would make periodic data quadratic.
struct Repetition {
    std::uint32_t period = 0;  // 0: none known
    std::uint32_t extent = 0;
    std::int64_t first = 0;  // the lowest position of a candidate in it
};

// The repetition of the given period at p, looked for back to distance
// `reach` at most (its first candidate then lies no lower than p - reach).
// extent comes from prefix(q, cap), the common prefix of q and p.
template <typename Prefix>
Repetition findRepetition(std::span<const std::uint8_t> source, std::uint32_t p,
                          std::uint32_t period, std::uint32_t reach, const Prefix& prefix) {
    Repetition repetition;
    repetition.period = period;
    repetition.extent = prefix(p - period, static_cast<std::uint32_t>(source.size() - p));
    const std::int64_t lowest = static_cast<std::int64_t>(p) - reach;
    std::int64_t y = static_cast<std::int64_t>(p) - period;
    while (y > lowest && source[y - 1] == source[y - 1 + period]) {
        --y;
    }
    repetition.first = y;
    return repetition;
}

// The common prefix of the candidate at distance d and p, at most cap: from
// the repetition where the candidate lies at a multiple of its period inside
// it, else from prefix(q, cap). The repetition is found (with prefix, back to
// distance reach) once the search has met its first overreach.
template <typename Prefix>
std::uint32_t prefixUsingRepetition(Repetition& repetition, const SearchState& state,
                                    std::span<const std::uint8_t> source, std::uint32_t p,
                                    std::uint32_t reach, std::uint32_t d, std::uint32_t cap,
                                    const Prefix& prefix) {
    if (repetition.period == 0 && state.firstOverreach != 0) {
        repetition = findRepetition(source, p, state.firstOverreach, reach, prefix);
    }
    if (repetition.period != 0 && d % repetition.period == 0 &&
        static_cast<std::int64_t>(p - d) >= repetition.first) {
        return std::min(repetition.extent, cap);
    }
    return prefix(p - d, cap);
}

}  // namespace bitmapcodec
