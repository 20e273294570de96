#include <algorithm>

#include "match_search.h"

namespace bitmapcodec {

std::uint32_t scanDistances(std::span<const std::uint8_t> source, std::uint32_t p,
                            SearchState& state, std::uint32_t lastDistance) {
    const std::uint8_t* here = source.data() + p;
    return scanDistancesWith(
        source, p, state, lastDistance,
        [here](std::uint32_t d, std::uint32_t cap) { return directPrefix(here - d, here, cap); });
}

Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance) {
    SearchState state;
    scanDistances(source, p, state, std::min(maximumDistance, p));
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
