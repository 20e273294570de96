#include "stretch_chains.h"

#include <algorithm>
#include <bit>
#include <memory>

#include "search_steps.h"

namespace bitmapcodec {

namespace {

struct ChainsLayout {
    int bucketBits;
    std::size_t links;
    std::size_t linksAt;
    std::size_t total;
};

ChainsLayout layChainsOut(std::size_t n) {
    ChainsLayout layout{};
    layout.bucketBits =
        std::clamp(static_cast<int>(std::bit_width(n)) - 5, 8, kChainBucketBitsMost);
    // One more than the most that are kept, for the two links of a stretch.
    layout.links = std::min(n, n / kPositionsPerStretchLink + kStretchLinksAllowance) + 2;
    layout.linksAt = sizeof(std::uint32_t) << layout.bucketBits;
    layout.total = layout.linksAt + layout.links * sizeof(ChainLink);
    return layout;
}

}  // namespace

std::size_t stretchChainsBytes(std::size_t n) {
    return layChainsOut(n).total;
}

StretchChains startStretchChains(std::size_t n, std::byte* room) {
    const ChainsLayout layout = layChainsOut(n);
    StretchChains chains;
    chains.bucketBits = layout.bucketBits;
    auto* heads = reinterpret_cast<std::uint32_t*>(room);
    std::uninitialized_fill_n(heads, std::size_t{1} << layout.bucketBits, kNoLink);
    chains.heads = {heads, std::size_t{1} << layout.bucketBits};
    auto* links = reinterpret_cast<ChainLink*>(room + layout.linksAt);
    std::uninitialized_default_construct_n(links, layout.links);  // writes nothing
    chains.links = {links, layout.links};
    return chains;
}

std::uint32_t chainBucket(const StretchChains& chains, const std::uint8_t* at) {
    return fourByteHash(at, chains.bucketBits);
}

namespace {

bool addLink(StretchChains& chains, std::span<const std::uint8_t> source, ChainLink link) {
    if (chains.count == chains.links.size()) {
        return false;
    }
    std::uint32_t& head = chains.heads[chainBucket(chains, source.data() + link.first)];
    link.previous = head;
    head = static_cast<std::uint32_t>(chains.count);
    chains.links[chains.count++] = link;
    return true;
}

// Where the stretch of the given period that starts at q ends, when it runs
// at least kShortestStretchLink bytes; otherwise q.
std::uint32_t stretchEndFrom(std::span<const std::uint8_t> source, std::uint32_t q,
                             std::uint32_t period) {
    // One byte decides for most positions of a bitmap that is not flat.
    if (q + period >= source.size() || source[q + period] != source[q]) {
        return q;
    }
    const std::uint32_t end = firstDifference(source, q + period, period);
    return end - q >= kShortestStretchLink ? end : q;
}

}  // namespace

void extendStretchChains(StretchChains& chains, std::span<const std::uint8_t> source,
                         std::uint32_t upTo) {
    const auto n = static_cast<std::uint32_t>(source.size());
    std::uint32_t q = chains.coveredUpTo;
    while (!chains.givenUp && q < upTo && q + 4 <= n) {
        bool added = true;
        if (const std::uint32_t end = stretchEndFrom(source, q, 1); end != q) {
            added = addLink(chains, source, {q, end, kNoLink, 1});
            q = end - 3;
        } else if (const std::uint32_t pairEnd = stretchEndFrom(source, q, 2); pairEnd != q) {
            added = addLink(chains, source, {q, pairEnd, kNoLink, 2}) &&
                    addLink(chains, source, {q + 1, pairEnd, kNoLink, 2});
            q = pairEnd - 3;
        } else {
            added = addLink(chains, source, {q, 0, kNoLink, 0});
            ++q;
        }
        if (!added || chains.count > q / kPositionsPerStretchLink + kStretchLinksAllowance) {
            chains.givenUp = true;
        }
    }
    chains.coveredUpTo = q;
}

}  // namespace bitmapcodec
