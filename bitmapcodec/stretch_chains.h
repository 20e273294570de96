// Chains of earlier positions by their first four bytes, where a stretch of
// period 1 or 2 (a run of one byte value, or of one 16-bit pixel) is one link
// per phase rather than a link per position. Flat bitmaps are made of a few
// thousand such stretches, so their chains are short and a search passes a
// whole stretch in one step, where building the suffix array would cost
// twenty times what the search then does with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace bitmapcodec {

inline constexpr std::uint32_t kNoLink = UINT32_MAX;

// One position (period 0), or the positions first, first + period, ... whose
// four bytes lie inside a stretch that keeps its period up to stretchEnd.
struct ChainLink {
    std::uint32_t first;
    std::uint32_t stretchEnd;
    std::uint32_t previous;  // the link before it in its bucket, or kNoLink
    std::uint32_t period;
};

// The highest position of the link (first, step period) at or below `at`;
// periods are 0 (a single position), 1 and 2, so a mask does a division's
// work.
inline std::uint32_t onLinkBelow(std::uint32_t first, std::uint32_t period, std::uint32_t at) {
    return first + ((at - first) & ~(period - 1));
}

// The lowest position of the link at or above `at`.
inline std::uint32_t onLinkAbove(std::uint32_t first, std::uint32_t period, std::uint32_t at) {
    return at <= first ? first : first + ((at - first + period - 1) & ~(period - 1));
}

// The highest position of a link.
inline std::uint32_t lastPosition(const ChainLink& link) {
    return link.period == 0 ? link.first
                            : onLinkBelow(link.first, link.period, link.stretchEnd - 4);
}

// The chains of one input, extended as the encoder moves on, in memory that
// the caller lends: the start of the index's arena, since the index is built
// only once the chains are given up.
struct StretchChains {
    std::span<ChainLink> links;
    std::size_t count = 0;
    std::span<std::uint32_t> heads;  // per bucket, the highest link
    int bucketBits = 0;
    std::uint32_t coveredUpTo = 0;  // every position below it is on a link
    bool givenUp = false;
};

// The bytes that the chains of an input of n bytes need.
std::size_t stretchChainsBytes(std::size_t n);

// The chains of an input of n bytes in room, of stretchChainsBytes(n) bytes.
StretchChains startStretchChains(std::size_t n, std::byte* room);

// The bucket of the four bytes at p.
std::uint32_t chainBucket(const StretchChains& chains, const std::uint8_t* at);

// Puts every position below upTo on the chains. Gives them up (givenUp) where
// the input holds too few stretches for them to pay: more than one link per
// kPositionsPerStretchLink positions covered and kStretchLinksAllowance, or
// more than the room.
void extendStretchChains(StretchChains& chains, std::span<const std::uint8_t> source,
                         std::uint32_t upTo);

}  // namespace bitmapcodec
