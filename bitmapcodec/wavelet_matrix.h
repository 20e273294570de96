// A wavelet matrix over a sequence of values below 2^bits: answers "the
// largest value below x among positions [first, last)" in O(bits).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bitmapcodec {

// 64 positions of one level: their bits, and the ones before them, side by
// side so that a rank costs one cache line.
struct WaveletBlock {
    std::uint64_t bits = 0;
    std::uint32_t onesBefore = 0;
};

struct WaveletLevel {
    std::vector<WaveletBlock> blocks;
    std::uint32_t zeros = 0;
};

struct WaveletMatrix {
    std::vector<WaveletLevel> levels;  // most significant bit first
    // The values in each level's order while building, kept with the matrix
    // so that a matrix built again reuses their memory.
    std::vector<std::uint32_t> order;
    std::vector<std::uint32_t> nextOrder;
};

// Builds the matrix over values into matrix, reusing what it holds.
void buildWaveletMatrix(std::span<const std::uint32_t> values, int bits, WaveletMatrix& matrix);

// The largest value v < bound at a position in [first, last), or -1.
std::int64_t largestValueBelow(const WaveletMatrix& matrix, std::uint32_t first, std::uint32_t last,
                               std::uint32_t bound);

}  // namespace bitmapcodec
