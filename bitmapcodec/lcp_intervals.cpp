#include "lcp_intervals.h"

#include <algorithm>
#include <bit>

namespace bitmapcodec {

namespace {

std::int32_t blockCount(std::size_t n) {
    return static_cast<std::int32_t>((n + kLcpBlock - 1) / kLcpBlock);
}

}  // namespace

std::size_t lcpBlockMinimaSize(std::size_t n) {
    const std::int32_t blocks = blockCount(n);
    std::size_t size = static_cast<std::size_t>(blocks);
    for (std::int32_t span = 1; 2 * span <= blocks; span *= 2) {
        size += static_cast<std::size_t>(blocks - 2 * span + 1);
    }
    return size;
}

LcpIntervals buildLcpIntervals(std::span<const std::int32_t> lcp, std::span<std::int32_t> minima) {
    LcpIntervals index;
    index.lcp = lcp;
    index.blockMinima = minima;
    const auto n = static_cast<std::int32_t>(lcp.size());
    const std::int32_t blocks = blockCount(lcp.size());
    for (std::int32_t b = 0; b < blocks; ++b) {
        const auto first = lcp.begin() + b * kLcpBlock;
        minima[b] = *std::min_element(first, first + std::min(kLcpBlock, n - b * kLcpBlock));
    }
    index.levelStart[0] = 0;
    index.levelSize[0] = blocks;
    index.levels = 1;
    for (std::int32_t span = 1; 2 * span <= blocks; span *= 2) {
        const int level = index.levels++;
        const std::int32_t* below = minima.data() + index.levelStart[level - 1];
        index.levelStart[level] =
            index.levelStart[level - 1] + static_cast<std::size_t>(index.levelSize[level - 1]);
        index.levelSize[level] = blocks - 2 * span + 1;
        std::int32_t* above = minima.data() + index.levelStart[level];
        for (std::int32_t b = 0; b < index.levelSize[level]; ++b) {
            above[b] = std::min(below[b], below[b + span]);
        }
    }
    return index;
}

namespace {

std::int32_t blockMinimum(const LcpIntervals& index, int level, std::int32_t block) {
    return index.blockMinima[index.levelStart[level] + static_cast<std::size_t>(block)];
}

// Minimum over whole blocks firstBlock..lastBlock.
std::int32_t blockRangeMinimum(const LcpIntervals& index, std::int32_t firstBlock,
                               std::int32_t lastBlock) {
    const std::int32_t count = lastBlock - firstBlock + 1;
    const int level = std::bit_width(static_cast<unsigned>(count)) - 1;
    const std::int32_t* minima = index.blockMinima.data() + index.levelStart[level];
    return std::min(minima[firstBlock], minima[lastBlock - (1 << level) + 1]);
}

}  // namespace

std::int32_t lcpRangeMinimum(const LcpIntervals& index, std::int32_t first, std::int32_t last) {
    const std::int32_t firstBlock = first / kLcpBlock;
    const std::int32_t lastBlock = last / kLcpBlock;
    const std::int32_t* lcp = index.lcp.data();
    if (lastBlock - firstBlock <= 1) {
        return *std::min_element(lcp + first, lcp + last + 1);
    }
    std::int32_t minimum = blockRangeMinimum(index, firstBlock + 1, lastBlock - 1);
    minimum = std::min(minimum, *std::min_element(lcp + first, lcp + (firstBlock + 1) * kLcpBlock));
    return std::min(minimum, *std::min_element(lcp + lastBlock * kLcpBlock, lcp + last + 1));
}

std::int32_t intervalStart(const LcpIntervals& index, std::int32_t rank, std::int32_t k) {
    const std::int32_t* lcp = index.lcp.data();
    const std::int32_t blockStart = rank / kLcpBlock * kLcpBlock;
    for (std::int32_t j = rank; j >= blockStart; --j) {
        if (lcp[j] < k) {
            return j;
        }
    }
    // The nearest earlier block whose minimum is below k: skip ever longer
    // runs of blocks whose minimum is not, then narrow the last run down.
    // Starting small keeps a short interval to a few lookups.
    std::int32_t block = rank / kLcpBlock - 1;
    int level = 0;
    while (level < index.levels) {
        const std::int32_t first = block - (1 << level) + 1;
        if (first < 0 || blockMinimum(index, level, first) < k) {
            break;
        }
        block = first - 1;
        ++level;
    }
    while (level > 0) {
        --level;
        const std::int32_t first = block - (1 << level) + 1;
        if (first >= 0 && blockMinimum(index, level, first) >= k) {
            block = first - 1;
        }
    }
    for (std::int32_t j = block * kLcpBlock + kLcpBlock - 1;; --j) {
        if (lcp[j] < k) {
            return j;
        }
    }
}

std::int32_t intervalEnd(const LcpIntervals& index, std::int32_t rank, std::int32_t k) {
    const std::int32_t* lcp = index.lcp.data();
    const auto n = static_cast<std::int32_t>(index.lcp.size());
    const std::int32_t blockEnd = std::min(n, (rank / kLcpBlock + 1) * kLcpBlock);
    for (std::int32_t j = rank + 1; j < blockEnd; ++j) {
        if (lcp[j] < k) {
            return j - 1;
        }
    }
    const std::int32_t blocks = index.levelSize[0];
    std::int32_t block = rank / kLcpBlock + 1;
    int level = 0;
    while (level < index.levels) {
        const std::int32_t last = block + (1 << level) - 1;
        if (last >= blocks || blockMinimum(index, level, block) < k) {
            break;
        }
        block = last + 1;
        ++level;
    }
    while (level > 0) {
        --level;
        const std::int32_t last = block + (1 << level) - 1;
        if (last < blocks && blockMinimum(index, level, block) >= k) {
            block = last + 1;
        }
    }
    if (block >= blocks) {
        return n - 1;
    }
    for (std::int32_t j = block * kLcpBlock;; ++j) {
        if (lcp[j] < k) {
            return j - 1;
        }
    }
}

}  // namespace bitmapcodec
