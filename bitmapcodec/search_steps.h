// The steps that the fast search takes at one position, shared by its files.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "match_search.h"

namespace bitmapcodec {

// Goes on with the index from the state that the earlier steps left.
void continueWithIndex(FastSearch& search, std::uint32_t p, std::uint32_t window,
                       SearchState& state);

// Goes on along the stretch chains, which cover every position before p.
// Returns false, with the state as far as it got, where the chains' budget of
// work runs out first.
bool continueWithChains(FastSearch& search, std::uint32_t p, std::uint32_t window,
                        SearchState& state);

// directPrefix eight bytes at a time, for candidates that share kilobytes.
inline std::uint32_t sharedPrefix(const std::uint8_t* candidate, const std::uint8_t* here,
                                  std::uint32_t cap) {
    std::uint32_t length = 0;
    while (length + 8 <= cap) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        std::memcpy(&a, candidate + length, 8);
        std::memcpy(&b, here + length, 8);
        if (a != b) {
            if constexpr (std::endian::native == std::endian::little) {
                return length + static_cast<std::uint32_t>(std::countr_zero(a ^ b)) / 8;
            }
            break;
        }
        length += 8;
    }
    return length + directPrefix(candidate + length, here + length, cap - length);
}

// Where bytes [from, ...) and [from - distance, ...) first differ, or the end:
// a stretch may be the whole input.
inline std::uint32_t firstDifference(std::span<const std::uint8_t> source, std::uint32_t from,
                                     std::uint32_t distance) {
    const auto n = static_cast<std::uint32_t>(source.size());
    if (from >= n) {
        return from;
    }
    const std::uint8_t* at = source.data() + from;
    return from + sharedPrefix(at - distance, at, n - from);
}

// The hash of the four bytes at `at`, in `bits` bits, that chains link by.
inline std::uint32_t fourByteHash(const std::uint8_t* at, int bits) {
    std::uint32_t key = 0;
    std::memcpy(&key, at, sizeof key);
    return (key * 2654435761u) >> (32 - bits);
}

// Examines the candidate at distance d, the next after those examined, as the
// plain scan does: through takeCandidate with lengthOf() where it passes the
// byte tests.
template <typename Length>
void examineCandidate(const std::uint8_t* here, std::uint32_t d, std::uint32_t remaining,
                      SearchState& state, const Length& lengthOf) {
    if (passesByteTests(here, d, state.best, remaining)) {
        takeCandidate(state, d, lengthOf(), remaining);
    } else {
        state.examined = d;
    }
}

// The stretch of the given period through p: the lowest `first` (no lower
// than p - reach) and the end such that source[i] == source[i - period] for
// every i in [first + period, end). It is kept between searches, since a
// stretch holds many positions and finding it costs its length.
inline const PeriodicStretch& stretchThrough(PeriodicStretch& cached,
                                             std::span<const std::uint8_t> source, std::uint32_t p,
                                             std::uint32_t period, std::uint32_t reach) {
    const std::int64_t lowest = static_cast<std::int64_t>(p) - reach;
    const bool holds = cached.period == period && p >= cached.first + period && p < cached.end &&
                       (cached.reachedStart || cached.first <= std::max<std::int64_t>(lowest, 0));
    if (holds) {
        return cached;
    }
    std::int64_t y = static_cast<std::int64_t>(p) - period;
    while (y > lowest && y > 0 && source[y - 1] == source[y - 1 + period]) {
        --y;
    }
    cached.period = period;
    cached.first = static_cast<std::uint32_t>(y);
    cached.reachedStart = y > lowest;
    cached.end = firstDifference(source, p, period);
    return cached;
}

// The last record of the stretch of the given period through p (fact 5 of
// doc/match-search.md): the largest multiple jP of the period P with
// jP + 1 < E and jP <= lastDistance, or 0.
inline std::uint32_t lastRecordInStretch(PeriodicStretch& cached,
                                         std::span<const std::uint8_t> source, std::uint32_t p,
                                         std::uint32_t lastDistance, std::uint32_t period) {
    const PeriodicStretch& stretch = stretchThrough(cached, source, p, period, lastDistance);
    if (p < stretch.first + period || p >= stretch.end) {
        return 0;
    }
    const std::uint32_t extent = stretch.end - p;
    if (extent < period + 2) {
        return 0;
    }
    const std::uint32_t wanted = std::min({extent - 2, lastDistance, p - stretch.first});
    return wanted / period * period;
}

// Where the last record taken ran one byte past its distance at a multiple of
// the first overreach, the records up to the end of its stretch are taken in
// one step (lastRecordInStretch). Tried once per search; returns whether it
// moved the search on.
inline bool jumpThroughStretch(PeriodicStretch& cached, std::span<const std::uint8_t> source,
                               std::uint32_t p, std::uint32_t lastDistance, SearchState& state) {
    const std::uint32_t period = state.firstOverreach;
    if (state.jumpTried || period == 0 || state.bestDistance != state.examined ||
        state.best != state.examined + 1 || state.examined % period != 0) {
        return false;
    }
    state.jumpTried = true;
    const std::uint32_t last = lastRecordInStretch(cached, source, p, lastDistance, period);
    if (last <= state.examined) {
        return false;
    }
    state.best = last + 1;
    state.bestDistance = last;
    state.examined = last;
    return true;
}

// Right after a record that ran one byte past its distance, the next distance
// is the only one besides records that can end the search (fact 2 of
// doc/match-search.md): it is examined directly, unless the records of the
// stretch are taken in one step. prefixAt(d, cap) gives the common prefix of
// the candidate at distance d and p, at most cap. Returns whether it applied.
template <typename Prefix>
bool stepAfterOverreach(PeriodicStretch& stretch, std::span<const std::uint8_t> source,
                        std::uint32_t p, std::uint32_t window, SearchState& state,
                        const Prefix& prefixAt) {
    if (state.bestDistance != state.examined || state.best != state.examined + 1) {
        return false;
    }
    if (jumpThroughStretch(stretch, source, p, window, state)) {
        return true;
    }
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const std::uint32_t d = state.examined + 1;
    examineCandidate(source.data() + p, d, remaining, state,
                     [&] { return prefixAt(d, std::min(remaining, d + 1)); });
    return true;
}

}  // namespace bitmapcodec
