// A wavelet matrix over a sequence of values below 2^bits: answers "the
// largest value below x among positions [first, last)" in O(bits).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bitmapcodec {

struct WaveletLevel {
    std::vector<std::uint64_t> words;       // one bit per position
    std::vector<std::uint32_t> onesBefore;  // ones in the words before each word
    std::uint32_t zeros = 0;
};

struct WaveletMatrix {
    std::vector<WaveletLevel> levels;  // most significant bit first
};

WaveletMatrix buildWaveletMatrix(std::span<const std::uint32_t> values, int bits);

// The largest value v < bound at a position in [first, last), or -1.
std::int64_t largestValueBelow(const WaveletMatrix& matrix, std::uint32_t first, std::uint32_t last,
                               std::uint32_t bound);

}  // namespace bitmapcodec
