#include "rank_set.h"

#include <algorithm>
#include <bit>

namespace bitmapcodec {

RankSet makeRankSet(std::uint32_t n) {
    RankSet set;
    std::uint64_t size = n;
    do {
        size = std::max<std::uint64_t>(1, (size + 63) / 64);
        set.levels.emplace_back(size, 0);
    } while (size > 1);
    return set;
}

void insertRank(RankSet& set, std::uint32_t value) {
    for (std::vector<std::uint64_t>& level : set.levels) {
        std::uint64_t& word = level[value / 64];
        const std::uint64_t bit = std::uint64_t{1} << (value % 64);
        const bool wasEmpty = word == 0;
        word |= bit;
        if (!wasEmpty) {
            return;  // the levels above already know this word
        }
        value /= 64;
    }
}

void eraseRank(RankSet& set, std::uint32_t value) {
    for (std::vector<std::uint64_t>& level : set.levels) {
        std::uint64_t& word = level[value / 64];
        word &= ~(std::uint64_t{1} << (value % 64));
        if (word != 0) {
            return;
        }
        value /= 64;
    }
}

std::int64_t memberBelow(const RankSet& set, std::uint32_t value) {
    // Up to the first level whose word has a member below the path, then
    // down along the highest members.
    std::uint64_t at = value;
    std::size_t level = 0;
    while (true) {
        if (level == set.levels.size()) {
            return -1;
        }
        const std::uint64_t below =
            set.levels[level][at / 64] & ((std::uint64_t{1} << (at % 64)) - 1);
        if (below != 0) {
            at = at / 64 * 64 + (63 - static_cast<unsigned>(std::countl_zero(below)));
            break;
        }
        at /= 64;
        ++level;
    }
    while (level > 0) {
        --level;
        const std::uint64_t word = set.levels[level][at];
        at = at * 64 + (63 - static_cast<unsigned>(std::countl_zero(word)));
    }
    return static_cast<std::int64_t>(at);
}

std::int64_t memberAbove(const RankSet& set, std::uint32_t value) {
    std::uint64_t at = value;
    std::size_t level = 0;
    while (true) {
        if (level == set.levels.size()) {
            return -1;
        }
        const unsigned offset = at % 64;
        const std::uint64_t above =
            offset == 63 ? 0 : set.levels[level][at / 64] & (~std::uint64_t{0} << (offset + 1));
        if (above != 0) {
            at = at / 64 * 64 + static_cast<unsigned>(std::countr_zero(above));
            break;
        }
        at /= 64;
        ++level;
    }
    while (level > 0) {
        --level;
        const std::uint64_t word = set.levels[level][at];
        at = at * 64 + static_cast<unsigned>(std::countr_zero(word));
    }
    return static_cast<std::int64_t>(at);
}

}  // namespace bitmapcodec
