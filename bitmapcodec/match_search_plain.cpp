#include <algorithm>

#include "match_search.h"

namespace bitmapcodec {

Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance) {
    const std::uint8_t* here = source.data() + p;
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const std::uint32_t window = std::min(maximumDistance, p);
    Match best;
    for (std::uint32_t d = 1; d <= window; ++d) {
        const std::uint8_t* candidate = here - d;
        // Two single-byte tests reject almost every candidate before the byte
        // loop: its first byte, and its byte at the length to beat.
        if (candidate[0] != here[0]) {
            continue;
        }
        if (best.length >= remaining || candidate[best.length] != here[best.length]) {
            continue;
        }
        const std::uint32_t cap = std::min(remaining, d + 1);
        std::uint32_t length = 0;
        while (length < cap && candidate[length] == here[length]) {
            ++length;
        }
        if (length > best.length) {
            best = {length, d};
        }
        if (best.length == std::min(remaining, d)) {
            break;
        }
    }
    return best;
}

}  // namespace bitmapcodec
