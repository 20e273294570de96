#include <algorithm>

#include "search_steps.h"

namespace bitmapcodec {
namespace {

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
    state.firstOverreach = 1;  // distance 1 matched 2 bytes
}

// The plain scan over distances up to lastDistance, with the candidates inside
// a repetition answered without comparing. Returns the work done: distances
// examined plus bytes compared.
std::uint64_t continuePlainly(std::span<const std::uint8_t> source, std::uint32_t p,
                              std::uint32_t lastDistance, SearchState& state) {
    const std::uint8_t* here = source.data() + p;
    std::uint64_t compared = 0;
    const auto compare = [&](std::uint32_t q, std::uint32_t cap) {
        const std::uint32_t length = directPrefix(source.data() + q, here, cap);
        compared += length;
        return length;
    };
    Repetition repetition;
    const auto prefixAt = [&](std::uint32_t d, std::uint32_t cap) {
        return prefixUsingRepetition(repetition, state, source, p, lastDistance, d, cap, compare);
    };
    const std::uint64_t distances = scanDistancesWith(source, p, state, lastDistance, prefixAt);
    return distances + compared;
}

}  // namespace

FastSearch startFastSearch(std::span<const std::uint8_t> source, std::uint32_t maximumDistance) {
    FastSearch search;
    search.source = source;
    search.maximumDistance = maximumDistance;
    search.plainWorkLeft = kPlainWorkPerByte * source.size();
    return search;
}

Match fastSearchMatch(FastSearch& search, std::uint32_t p) {
    const std::span<const std::uint8_t> source = search.source;
    const std::uint32_t window = std::min(search.maximumDistance, p);
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    SearchState state;
    // No earlier position shares enough bytes with p for a match that could
    // be written: the position becomes a literal whatever the scan would find.
    if (search.index &&
        search.index->longestEarlierMatch[p] < static_cast<std::int32_t>(kShortestPayingMatch)) {
        return {state.best, state.bestDistance};
    }
    skipRun(source, p, window, state);
    scanDistances(source, p, state,
                  std::max(state.examined, std::min(window, search.shortScanDistances)));
    if (searchDecided(state, window, remaining)) {
        return {state.best, state.bestDistance};
    }
    if (!search.index) {
        const bool mayIndex = source.size() >= search.smallestIndexedInput;
        if (!mayIndex || search.plainWorkLeft > 0) {
            // Each distance costs at least one unit of work, so the scan may go
            // as far as the budget reaches; what it spends is counted after.
            const std::uint64_t reach = mayIndex ? state.examined + search.plainWorkLeft : window;
            const auto last = static_cast<std::uint32_t>(std::min<std::uint64_t>(window, reach));
            const std::uint64_t work = continuePlainly(source, p, last, state);
            search.plainWorkLeft -= std::min(work, search.plainWorkLeft);
            if (!mayIndex || searchDecided(state, window, remaining)) {
                return {state.best, state.bestDistance};
            }
        }
        search.index = buildMatchIndex(source);
    }
    continueWithIndex(*search.index, source, p, window, state);
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
