// A set of integers below n as a tree of 64-bit words: insert, erase, and the
// nearest member on either side of a value, each in O(log64 n) word steps.
#pragma once

#include <cstdint>
#include <vector>

namespace bitmapcodec {

struct RankSet {
    // levels[0] holds a bit per value; each level above, a bit per word below
    // that has any bit set.
    std::vector<std::vector<std::uint64_t>> levels;
};

RankSet makeRankSet(std::uint32_t n);
void insertRank(RankSet& set, std::uint32_t value);
void eraseRank(RankSet& set, std::uint32_t value);

// The largest member below value, or -1.
std::int64_t memberBelow(const RankSet& set, std::uint32_t value);

// The smallest member above value, or -1.
std::int64_t memberAbove(const RankSet& set, std::uint32_t value);

}  // namespace bitmapcodec
