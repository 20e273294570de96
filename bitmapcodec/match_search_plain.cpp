#include <algorithm>

#include "match_search.h"

namespace bitmapcodec {

std::uint64_t scanDistances(std::span<const std::uint8_t> source, std::uint32_t p,
                            SearchState& state, std::uint32_t lastDistance) {
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
        const std::uint32_t cap = std::min(remaining, d + 1);
        std::uint32_t length = 0;
        while (length < cap && candidate[length] == here[length]) {
            ++length;
        }
        compared += length;
        if (length > state.best) {
            state.best = length;
            state.bestDistance = d;
        }
        state.stopped = state.best == std::min(remaining, d);
    }
    const std::uint64_t work = (d - state.examined) + compared;
    state.examined = d;
    return work;
}

Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance) {
    SearchState state;
    scanDistances(source, p, state, std::min(maximumDistance, p));
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
