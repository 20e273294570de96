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
void skipRun(FastSearch& search, std::uint32_t p, std::uint32_t window, SearchState& state) {
    const std::span<const std::uint8_t> source = search.source;
    ByteRun& run = search.run;
    if (p < run.first || p >= run.end) {
        const std::uint8_t value = source[p];
        run.first = p;
        while (run.first > 0 && source[run.first - 1] == value) {
            --run.first;
        }
        run.end = firstDifference(source, p + 1, 1);
    }
    const std::uint32_t before = std::min(window, p - run.first);
    if (before == 0) {
        return;
    }
    const std::uint32_t length = run.end - p;
    if (length == 1) {
        state.best = 1;  // the single byte matches at distance 1, its full limit
        state.bestDistance = 1;
        state.examined = 1;
        state.stopped = true;
        return;
    }
    state.best = std::min(length, before + 1);
    state.bestDistance = std::min(before, length - 1);
    state.examined = before;
    state.firstOverreach = 1;  // distance 1 matched 2 bytes
}

// The plain scan over distances up to lastDistance, with the records inside a
// periodic stretch taken in one step. Returns the work done: distances
// examined plus bytes compared.
std::uint64_t continuePlainly(FastSearch& search, std::uint32_t p, std::uint32_t lastDistance,
                              SearchState& state) {
    const std::span<const std::uint8_t> source = search.source;
    const std::uint8_t* here = source.data() + p;
    std::uint64_t work = 0;
    const auto compare = [&](std::uint32_t d, std::uint32_t cap) {
        const std::uint32_t length = directPrefix(here - d, here, cap);
        work += length;
        return length;
    };
    while (!state.stopped && state.examined < lastDistance) {
        // Until a record runs past its distance, the scan looks for one every
        // kStretchCheck distances, so that a stretch is not scanned through.
        std::uint32_t until =
            state.jumpTried ? lastDistance : std::min(lastDistance, state.examined + kStretchCheck);
        const std::uint32_t period = state.firstOverreach;
        if (!state.jumpTried && period != 0) {
            if (state.examined % period == 0) {
                // Where the jump does not apply at this multiple, the search
                // gives it up rather than retry at every multiple.
                if (!jumpThroughStretch(search.stretch, source, p, lastDistance, state)) {
                    state.jumpTried = true;
                }
                continue;
            }
            until = std::min(lastDistance, (state.examined / period + 1) * period);
        }
        work += scanDistancesWith(source, p, state, until, compare);
    }
    return work;
}

// Starts the stretch chains at the first search that gets this far, and
// extends them to p. Returns whether they are in use.
bool chainsCover(FastSearch& search, std::uint32_t p) {
    if (search.chains.heads.empty()) {
        const std::size_t n = search.source.size();
        // As much as the index will take, if the chains are given up.
        const std::size_t bytes = std::max(matchIndexBytes(n), stretchChainsBytes(n));
        search.chains = startStretchChains(n, arenaRoom(*search.workspace, bytes));
    }
    extendStretchChains(search.chains, search.source, p);
    return !search.chains.givenUp;
}

}  // namespace

FastSearch startFastSearch(std::span<const std::uint8_t> source, std::uint32_t maximumDistance,
                           EncoderWorkspace& workspace) {
    FastSearch search;
    search.source = source;
    search.workspace = &workspace;
    search.maximumDistance = maximumDistance;
    search.plainWorkLeft = kPlainWorkAtStart;
    search.chainWorkLeft = kChainWorkAtStart;
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
    skipRun(search, p, window, state);
    scanDistances(source, p, state,
                  std::max(state.examined, std::min(window, search.shortScanDistances)));
    if (searchDecided(state, window, remaining)) {
        return {state.best, state.bestDistance};
    }
    if (!search.index) {
        const std::uint32_t passed = p - std::min(p, search.creditedUpTo);
        search.creditedUpTo = std::max(search.creditedUpTo, p);
        const bool mayIndex = source.size() >= search.smallestIndexedInput;
        // Each budget grows only with the positions passed while it is in use.
        const bool mayChain = mayIndex && source.size() >= search.smallestChainedInput;
        if (mayChain && chainsCover(search, p)) {
            search.chainWorkLeft += search.chainWorkPerPosition * passed;
            if (continueWithChains(search, p, window, state)) {
                return {state.best, state.bestDistance};
            }
            search.chains.givenUp = true;  // the index takes their memory
            search.index = buildMatchIndex(source, *search.workspace);
            continueWithIndex(search, p, window, state);
            return {state.best, state.bestDistance};
        }
        search.plainWorkLeft += search.plainWorkPerPosition * passed;
        if (!mayIndex || search.plainWorkLeft > 0) {
            // Each distance costs at least one unit of work, so the scan may go
            // as far as the budget reaches; what it spends is counted after.
            const std::uint64_t reach = mayIndex ? state.examined + search.plainWorkLeft : window;
            const auto last = static_cast<std::uint32_t>(std::min<std::uint64_t>(window, reach));
            const std::uint64_t work = continuePlainly(search, p, last, state);
            search.plainWorkLeft -= std::min(work, search.plainWorkLeft);
            if (!mayIndex || searchDecided(state, window, remaining)) {
                return {state.best, state.bestDistance};
            }
        }
        search.index = buildMatchIndex(source, *search.workspace);
    }
    continueWithIndex(search, p, window, state);
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
