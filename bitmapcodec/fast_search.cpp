#include <algorithm>

#include "search_steps.h"

namespace bitmapcodec {
namespace {

// What building the index costs, per input byte, in units of plain-scan work
// (a distance examined or a byte compared); measured, rounded up.
constexpr std::uint64_t kIndexCostPerByte = 256;
constexpr std::uint64_t kChainCostPerByte = 64;

// Below this size the plain scan is cheap whatever the data, and the chains'
// fixed-size tables would not fit the working-memory bound.
constexpr std::size_t kSmallestIndexedInput = 1024;

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

// The plain scan over the rest of the window, with the candidates inside a
// repetition answered without comparing. Returns the work done.
std::uint64_t continuePlainly(std::span<const std::uint8_t> source, std::uint32_t p,
                              std::uint32_t window, SearchState& state) {
    const std::uint8_t* here = source.data() + p;
    const auto compare = [&](std::uint32_t q, std::uint32_t cap) {
        return directPrefix(source.data() + q, here, cap);
    };
    Repetition repetition;
    const auto prefixAt = [&](std::uint32_t d, std::uint32_t cap) {
        return prefixUsingRepetition(repetition, state, source, p, window, d, cap, compare);
    };
    return scanDistancesWith(source, p, state, window, prefixAt);
}

// Whether a structure that costs costPerByte per input byte is worth building
// at p: when the plain work counted since `from`, extrapolated to the rest of
// the input, comes to twice that.
bool worthBuilding(std::uint64_t work, std::uint32_t from, std::uint32_t p, std::size_t n,
                   std::uint64_t costPerByte) {
    const std::uint64_t passed = std::max<std::uint64_t>(1, p - from);
    return static_cast<double>(work) * static_cast<double>(n - p) / static_cast<double>(passed) >=
           2.0 * static_cast<double>(costPerByte) * static_cast<double>(n);
}

}  // namespace

Match fastSearchMatch(FastSearch& search, std::uint32_t p) {
    const std::uint32_t window = std::min(search.maximumDistance, p);
    SearchState state;
    skipRun(search.source, p, window, state);
    scanDistances(search.source, p, state,
                  std::max(state.examined, std::min(window, search.shortScanDistances)));
    if (state.stopped || state.examined == window) {
        return {state.best, state.bestDistance};
    }
    const std::size_t n = search.source.size();
    if (!search.chains && !search.index) {
        if (n < kSmallestIndexedInput ||
            !worthBuilding(search.workWithoutChains, 0, p, n, kChainCostPerByte)) {
            search.workWithoutChains += continuePlainly(search.source, p, window, state);
            return {state.best, state.bestDistance};
        }
        search.chains = buildMatchChains(search.source);
        search.chainsFrom = p;
    }
    if (search.chains && continueWithChains(*search.chains, search.source, p, window,
                                            search.chainBudget, state) == ChainOutcome::finished) {
        return {state.best, state.bestDistance};
    }
    if (!search.index &&
        worthBuilding(search.workWithoutIndex, search.chainsFrom, p, n, kIndexCostPerByte)) {
        search.index = buildMatchIndex(search.source);
    }
    if (search.index) {
        continueWithIndex(*search.index, search.source, p, window, state);
    } else {
        search.workWithoutIndex += continuePlainly(search.source, p, window, state);
    }
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
