#include "wavelet_matrix.h"

#include <algorithm>

namespace bitmapcodec {
namespace {

// Counts bits without a library call: a baseline x86-64 build has no
// population-count instruction, and the call would dominate a rank.
std::uint32_t countOnes(std::uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<std::uint32_t>((x * 0x0101010101010101ULL) >> 56);
}

std::uint32_t onesBefore(const WaveletLevel& level, std::uint32_t position) {
    const WaveletBlock& block = level.blocks[position / 64];
    const std::uint32_t bit = position % 64;
    return block.onesBefore + (bit == 0 ? 0 : countOnes(block.bits << (64 - bit)));
}

std::uint32_t zerosBefore(const WaveletLevel& level, std::uint32_t position) {
    return position - onesBefore(level, position);
}

// Narrows [first, last) of one level to the range of the next level that holds
// those of its values whose bit here is `one`.
void descend(const WaveletLevel& level, bool one, std::uint32_t zeroFirst, std::uint32_t zeroLast,
             std::uint32_t& first, std::uint32_t& last) {
    if (one) {
        first = level.zeros + (first - zeroFirst);
        last = level.zeros + (last - zeroLast);
    } else {
        first = zeroFirst;
        last = zeroLast;
    }
}

}  // namespace

void buildWaveletMatrix(std::span<const std::uint32_t> values, int bits, WaveletMatrix& matrix) {
    const auto n = static_cast<std::uint32_t>(values.size());
    std::vector<std::uint32_t>& current = matrix.order;
    std::vector<std::uint32_t>& next = matrix.nextOrder;
    current.assign(values.begin(), values.end());
    next.resize(n);
    matrix.levels.resize(static_cast<std::size_t>(std::max(bits, 0)));
    for (int b = bits - 1; b >= 0; --b) {
        WaveletLevel& level = matrix.levels[static_cast<std::size_t>(bits - 1 - b)];
        level.blocks.resize(n / 64 + 1);
        // One pass packs the bits and partitions the values stably, those
        // with a 0 bit from the front and those with a 1 from the back (their
        // order then reversed): the bits are close to random, so the loop
        // must not branch on them.
        std::uint32_t ones = 0;
        std::uint32_t zeroAt = 0;
        std::uint32_t oneAt = n;
        for (std::uint32_t w = 0; w < level.blocks.size(); ++w) {
            const std::uint32_t end = std::min(n, (w + 1) * 64);
            std::uint64_t word = 0;
            for (std::uint32_t i = w * 64; i < end; ++i) {
                const std::uint32_t value = current[i];
                const std::uint32_t bit = (value >> b) & 1u;
                word |= std::uint64_t{bit} << (i % 64);
                oneAt -= bit;
                next[zeroAt + ((oneAt - zeroAt) & (0u - bit))] = value;
                zeroAt += bit ^ 1u;
            }
            level.blocks[w] = {word, ones};
            ones += countOnes(word);
        }
        level.zeros = n - ones;
        std::reverse(next.begin() + level.zeros, next.end());
        current.swap(next);
    }
}

std::int64_t largestValueBelow(const WaveletMatrix& matrix, std::uint32_t first, std::uint32_t last,
                               std::uint32_t bound) {
    if (bound == 0 || first >= last) {
        return -1;
    }
    const std::uint32_t target = bound - 1;  // the largest value <= target
    const auto bits = static_cast<int>(matrix.levels.size());
    // Follow target's own bits; remember the deepest level where a 0 could be
    // taken below a 1 of target, since any value down there is smaller.
    int fallbackLevel = -1;
    std::uint32_t fallbackFirst = 0;
    std::uint32_t fallbackLast = 0;
    std::uint32_t prefix = 0;
    std::uint32_t fallbackPrefix = 0;
    for (int depth = 0; depth < bits; ++depth) {
        const WaveletLevel& level = matrix.levels[depth];
        const int b = bits - 1 - depth;
        const std::uint32_t zeroFirst = zerosBefore(level, first);
        const std::uint32_t zeroLast = zerosBefore(level, last);
        const bool one = ((target >> b) & 1u) != 0;
        if (one && zeroFirst < zeroLast) {
            fallbackLevel = depth;
            fallbackFirst = zeroFirst;
            fallbackLast = zeroLast;
            fallbackPrefix = prefix;
        }
        descend(level, one, zeroFirst, zeroLast, first, last);
        prefix |= static_cast<std::uint32_t>(one) << b;
        if (first >= last) {
            break;
        }
    }
    if (first < last) {
        return target;
    }
    if (fallbackLevel < 0) {
        return -1;
    }
    // Below the fallback's 0, take the largest value present: prefer 1 bits.
    first = fallbackFirst;
    last = fallbackLast;
    prefix = fallbackPrefix;
    for (int depth = fallbackLevel + 1; depth < bits; ++depth) {
        const WaveletLevel& level = matrix.levels[depth];
        const int b = bits - 1 - depth;
        const std::uint32_t zeroFirst = zerosBefore(level, first);
        const std::uint32_t zeroLast = zerosBefore(level, last);
        const bool one = (last - first) > (zeroLast - zeroFirst);  // some value has a 1 here
        descend(level, one, zeroFirst, zeroLast, first, last);
        prefix |= static_cast<std::uint32_t>(one) << b;
    }
    return prefix;
}

}  // namespace bitmapcodec
