// The encoder's match search at one position. Its result is part of the
// stream format: any search must return exactly what the plain scan returns.
#pragma once

#include <cstdint>
#include <span>

namespace bitmapcodec {

struct Match {
    std::uint32_t length = 0;
    std::uint32_t distance = 0;
};

// Tries every distance from 1 up to min(maximumDistance, p) in increasing
// order and keeps the first longest match, where a match at distance d may run
// one byte past d (the overreach that codes runs). It stops at the first
// candidate whose match fills min(remaining, d) bytes exactly.
Match plainScanMatch(std::span<const std::uint8_t> source, std::uint32_t p,
                     std::uint32_t maximumDistance);

}  // namespace bitmapcodec
