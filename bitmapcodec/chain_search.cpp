#include <algorithm>
#include <cstring>

#include "search_steps.h"

namespace bitmapcodec {
namespace {

// How many bytes from p on keep the given period (1 or 2), the first four
// bytes at p being periodic: p's side of every candidate inside a stretch of
// that period. Kept between searches, since a stretch holds many positions.
std::uint32_t periodicExtent(FastSearch& search, std::uint32_t p, std::uint32_t period,
                             std::uint64_t& work) {
    if (period == 1 && search.run.first <= p && p < search.run.end) {
        return search.run.end - p;  // found by skipRun for this search
    }
    ByteRun& pairs = search.pairStretch;
    if (!(pairs.first <= p && p + period <= pairs.end)) {
        pairs.first = p;
        pairs.end = firstDifference(search.source, p + period, period);
        work += (pairs.end - p) / 8;
    }
    return pairs.end - p;
}

// The bytes that the candidate at distance d shares with p, at most cap, of
// which the first `known` are known to be equal.
std::uint32_t candidateLength(const FastSearch& search, std::uint32_t p, std::uint32_t d,
                              std::uint32_t cap, std::uint32_t known, std::uint64_t& work) {
    const std::uint8_t* here = search.source.data() + p;
    const std::uint32_t length = known + sharedPrefix(here - d + known, here + known, cap - known);
    work += (length - known) / 8;
    return length;
}

// One step through a link of a stretch that ends before p (fact 7 of
// doc/match-search.md): examines the candidates from the one at `highest` on,
// through the one of u < e, u == e or u > e that can change the state.
void stepThroughStretchLink(const FastSearch& search, std::uint32_t p, const ChainLink& link,
                            std::uint32_t extent, std::uint32_t highest, std::uint32_t lowestInLink,
                            SearchState& state, std::uint64_t& work) {
    const std::uint8_t* here = search.source.data() + p;
    const auto remaining = static_cast<std::uint32_t>(search.source.size() - p);
    const std::uint32_t end = link.stretchEnd;
    // Once the best is as long as the extent, only the candidate with
    // u == extent can share more, and only where the bytes after both
    // stretches agree: most links are passed on one byte.
    if (state.best >= extent) {
        const std::uint32_t aligned = end - std::min(end, extent);
        const bool onLink = end >= extent && aligned >= lowestInLink && aligned <= highest &&
                            ((aligned - link.first) & (link.period - 1)) == 0;
        if (!onLink || search.source[end] != here[extent]) {
            state.examined = p - lowestInLink;
            return;
        }
        highest = aligned;
    }
    const std::uint32_t u = end - highest;
    if (u < extent) {
        const std::uint32_t bound =
            extent > end ? lowestInLink : std::max(lowestInLink, end - extent + 1);
        const std::uint32_t farthest = onLinkAbove(link.first, link.period, bound);
        const std::uint32_t d = p - farthest;
        if (end - farthest > state.best) {
            takeCandidate(state, d, end - farthest, remaining);
        } else {
            state.examined = d;
        }
    } else if (u == extent) {
        const std::uint32_t d = p - highest;
        examineCandidate(here, d, remaining, state, [&] {
            return candidateLength(search, p, d, std::min(remaining, d + 1), extent, work);
        });
    } else {
        if (extent > state.best) {
            takeCandidate(state, p - highest, extent, remaining);
        }
        if (!state.stopped) {
            state.examined = p - lowestInLink;
        }
    }
}

// One step through the link of p's own stretch, from the candidate at
// distance d up to lastDistance (fact 8 of doc/match-search.md): the first
// outlasts the others; after an overreach the search looks at fact 2's
// distance next.
void stepPastOwnStretch(const FastSearch& search, std::uint32_t p, std::uint32_t d,
                        std::uint32_t extent, std::uint32_t lastDistance, SearchState& state) {
    const std::uint8_t* here = search.source.data() + p;
    const auto remaining = static_cast<std::uint32_t>(search.source.size() - p);
    examineCandidate(here, d, remaining, state, [extent] { return extent; });
    const bool overreach = state.bestDistance == state.examined && state.best == state.examined + 1;
    if (!state.stopped && !overreach) {
        state.examined = lastDistance;
    }
}

}  // namespace

bool continueWithChains(FastSearch& search, std::uint32_t p, std::uint32_t window,
                        SearchState& state) {
    const std::span<const std::uint8_t> source = search.source;
    const std::uint8_t* here = source.data() + p;
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    if (remaining < kChainKeyBytes) {
        return true;  // nothing that could be written is left
    }
    // Beyond distance three only p's four-byte chain matters (fact 6 of
    // doc/match-search.md).
    scanDistances(source, p, state, std::min(window, kChainKeyBytes - 1));
    const StretchChains& chains = search.chains;
    std::uint64_t work = 0;
    const auto prefixAt = [&](std::uint32_t d, std::uint32_t cap) {
        return candidateLength(search, p, d, cap, 0, work);
    };
    const std::uint32_t lowest = p - window;
    std::uint32_t at = chains.heads[chainBucket(chains, here)];
    std::uint32_t extents[3] = {};  // p's periodic extent for periods 1 and 2, once asked
    while (!searchDecided(state, window, remaining)) {
        if (work > search.chainWorkLeft) {
            search.chainWorkLeft = 0;
            return false;
        }
        if (stepAfterOverreach(search.stretch, source, p, window, state, prefixAt)) {
            continue;
        }
        if (at == kNoLink) {
            state.examined = window;
            break;
        }
        ++work;
        const ChainLink& link = chains.links[at];
        const std::uint32_t highest = p - state.examined - 1;
        if (link.first > highest ||
            std::memcmp(source.data() + link.first, here, kChainKeyBytes) != 0) {
            at = link.previous;
            continue;
        }
        const std::uint32_t nearest =
            onLinkBelow(link.first, link.period, std::min(lastPosition(link), highest));
        if (nearest < lowest) {
            state.examined = window;
            break;
        }
        const std::uint32_t d = p - nearest;
        if (link.period != 0) {
            const std::uint32_t lowestInLink = onLinkAbove(link.first, link.period, lowest);
            std::uint32_t& extent = extents[link.period];
            if (extent == 0) {
                extent = periodicExtent(search, p, link.period, work);
            }
            if (link.stretchEnd < p) {
                stepThroughStretchLink(search, p, link, extent, nearest, lowestInLink, state, work);
                continue;
            }
            if (link.stretchEnd > p && d + 1 >= extent) {
                stepPastOwnStretch(search, p, d, extent, p - lowestInLink, state);
                continue;
            }
        }
        // A single position, or one candidate at a time where the stretch
        // reaches p (the step through p's own records has passed most).
        examineCandidate(here, d, remaining, state,
                         [&] { return prefixAt(d, std::min(remaining, d + 1)); });
        if (link.period == 0) {
            at = link.previous;
        }
    }
    search.chainWorkLeft -= std::min(work, search.chainWorkLeft);
    return true;
}

}  // namespace bitmapcodec
