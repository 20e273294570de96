#include "wavelet_matrix.h"

#include <algorithm>
#include <bit>

namespace bitmapcodec {
namespace {

std::uint32_t onesBefore(const WaveletLevel& level, std::uint32_t position) {
    const std::uint32_t word = position / 64;
    const std::uint32_t bit = position % 64;
    std::uint32_t ones = level.onesBefore[word];
    if (bit != 0) {
        ones += static_cast<std::uint32_t>(std::popcount(level.words[word] << (64 - bit)));
    }
    return ones;
}

std::uint32_t zerosBefore(const WaveletLevel& level, std::uint32_t position) {
    return position - onesBefore(level, position);
}

}  // namespace

WaveletMatrix buildWaveletMatrix(std::span<const std::uint32_t> values, int bits) {
    WaveletMatrix matrix;
    const auto n = static_cast<std::uint32_t>(values.size());
    std::vector<std::uint32_t> current(values.begin(), values.end());
    std::vector<std::uint32_t> next(n);
    for (int b = bits - 1; b >= 0; --b) {
        WaveletLevel level;
        level.words.assign(n / 64 + 1, 0);
        level.onesBefore.assign(n / 64 + 1, 0);
        std::uint32_t ones = 0;
        for (std::uint32_t w = 0; w < level.words.size(); ++w) {
            const std::uint32_t end = std::min(n, (w + 1) * 64);
            std::uint64_t word = 0;
            for (std::uint32_t i = w * 64; i < end; ++i) {
                word |= std::uint64_t{(current[i] >> b) & 1u} << (i % 64);
            }
            level.words[w] = word;
            level.onesBefore[w] = ones;
            ones += static_cast<std::uint32_t>(std::popcount(word));
        }
        level.zeros = n - ones;
        // Stable partition: values with a 0 bit first, then those with a 1.
        // The bits are close to random, so the loop must not branch on them.
        std::uint32_t zeroAt = 0;
        std::uint32_t oneAt = level.zeros;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t bit = (current[i] >> b) & 1u;
            const std::uint32_t at = zeroAt + ((oneAt - zeroAt) & (0u - bit));
            next[at] = current[i];
            oneAt += bit;
            zeroAt += bit ^ 1u;
        }
        current.swap(next);
        matrix.levels.push_back(std::move(level));
    }
    return matrix;
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
        if ((target >> b) & 1u) {
            if (zeroFirst < zeroLast) {
                fallbackLevel = depth;
                fallbackFirst = zeroFirst;
                fallbackLast = zeroLast;
                fallbackPrefix = prefix;
            }
            first = level.zeros + (first - zeroFirst);
            last = level.zeros + (last - zeroLast);
            prefix |= 1u << b;
        } else {
            first = zeroFirst;
            last = zeroLast;
        }
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
        if ((last - first) > (zeroLast - zeroFirst)) {  // some value has a 1 here
            first = level.zeros + (first - zeroFirst);
            last = level.zeros + (last - zeroLast);
            prefix |= 1u << b;
        } else {
            first = zeroFirst;
            last = zeroLast;
        }
    }
    return prefix;
}

}  // namespace bitmapcodec
