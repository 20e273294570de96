#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "search_steps.h"
#include "suffix_array.h"

namespace bitmapcodec {
namespace {

std::uint32_t commonPrefix(const MatchIndex& index, std::span<const std::uint8_t> source,
                           std::uint32_t q, std::uint32_t p, std::uint32_t cap) {
    // Most matches are short: compare a few bytes before asking the index.
    const std::uint32_t direct = std::min(cap, kDirectCompareBytes);
    std::uint32_t length = 0;
    while (length < direct && source[q + length] == source[p + length]) {
        ++length;
    }
    if (length < direct || length == cap) {
        return length;
    }
    const std::int32_t a = index.rank[q];
    const std::int32_t b = index.rank[p];
    const auto shared =
        static_cast<std::uint32_t>(lcpRangeMinimum(index.lcp, std::min(a, b) + 1, std::max(a, b)));
    return std::min(shared, cap);
}

// Where a search stands on p's four-byte chain (fact 6 of doc/match-search.md):
// the queries of one search look ever farther back, so what lies nearer than
// the last query's bound is never needed again.
struct ChainCursor {
    std::uint32_t at;  // a position on the chain (p itself to begin with)
};

// The nearest position on the chain at most `highest` whose rank lies in
// [first, last], found within kChainSteps links and the input's budget of
// them: the position, -1 where the chain leaves the window or ends first
// (fact 6), or nothing where the steps run out.
std::optional<std::int64_t> nearestOnChain(MatchIndex& index, ChainCursor& cursor,
                                           std::int32_t first, std::int32_t last,
                                           std::uint32_t highest, std::uint32_t lowest) {
    std::uint64_t steps = 0;
    std::optional<std::int64_t> found;
    while (cursor.at != kNoPosition && cursor.at > highest) {
        cursor.at = index.sameKey[cursor.at];
        ++steps;
    }
    std::uint32_t q = cursor.at;
    const std::uint64_t limit = std::min<std::uint64_t>(kChainSteps, index.chainStepsLeft);
    for (; steps < limit; ++steps) {
        if (q == kNoPosition || q < lowest) {
            found = -1;
            break;
        }
        const std::int32_t rank = index.rank[q];
        if (rank >= first && rank <= last) {
            found = q;
            break;
        }
        q = index.sameKey[q];
    }
    index.chainStepsLeft -= std::min(steps, index.chainStepsLeft);
    return found;
}

// The largest position q <= highest among the suffixes that share k bytes with
// the one at p, or -1 (or a position below lowest, which is as good). Small
// intervals are read directly; larger ones are looked for first along the
// chain of p's first four bytes, where the nearest one most often lies within
// a few links, then read directly too until that has cost about as much as
// the wavelet matrix would: many inputs never need it.
std::int64_t nearestSharing(MatchIndex& index, ChainCursor& cursor, std::uint32_t p,
                            std::uint32_t k, std::uint32_t highest, std::uint32_t lowest) {
    const std::int32_t rank = index.rank[p];
    const std::int32_t first = intervalStart(index.lcp, rank, static_cast<std::int32_t>(k));
    const std::int32_t last = intervalEnd(index.lcp, rank, static_cast<std::int32_t>(k));
    const auto size = static_cast<std::uint64_t>(last - first + 1);
    const bool small = size <= kSmallInterval;
    if (!small && k >= kChainKeyBytes && index.chainStepsLeft > 0) {
        const std::optional<std::int64_t> onChain =
            nearestOnChain(index, cursor, first, last, highest, lowest);
        if (onChain) {
            return *onChain;
        }
    }
    if (small || (!index.positionsByRank && size <= index.directReadsLeft)) {
        if (!small) {
            index.directReadsLeft -= size;
        }
        std::int64_t nearest = -1;
        for (std::int32_t r = first; r <= last; ++r) {
            const std::int32_t q = index.suffixArray[r];
            if (static_cast<std::uint32_t>(q) <= highest && q > nearest) {
                nearest = q;
            }
        }
        return nearest;
    }
    if (!index.positionsByRank) {
        const std::span<const std::uint32_t> positions(
            reinterpret_cast<const std::uint32_t*>(index.suffixArray.data()),
            index.suffixArray.size());
        buildWaveletMatrix(positions, std::bit_width(static_cast<std::uint32_t>(positions.size())),
                           *index.waveletRoom);
        index.positionsByRank = index.waveletRoom;
    }
    return largestValueBelow(*index.positionsByRank, static_cast<std::uint32_t>(first),
                             static_cast<std::uint32_t>(last) + 1, highest + 1);
}

// The bits of the chain's hash: its table of last positions has no more
// entries than the input has bytes (clearing a big one would cost more than a
// small bitmap's whole search), so that it fits where the longest earlier
// matches are written after it.
int chainKeyBits(std::size_t n) {
    return std::clamp(static_cast<int>(std::bit_width(n)) - 1, 8, 17);
}

// Links every position to the nearest earlier one whose first four bytes hash
// alike; last is the table of last positions, 2^chainKeyBits(n) entries.
void chainByKey(std::span<const std::uint8_t> source, std::span<std::uint32_t> previous,
                std::span<std::uint32_t> last) {
    const int bits = chainKeyBits(source.size());
    std::fill(last.begin(), last.end(), kNoPosition);
    std::size_t q = 0;
    for (; q + kChainKeyBytes <= source.size(); ++q) {
        std::uint32_t& head = last[fourByteHash(source.data() + q, bits)];
        previous[q] = head;
        head = static_cast<std::uint32_t>(q);
    }
    std::fill(previous.begin() + static_cast<std::ptrdiff_t>(q), previous.end(), kNoPosition);
}

// Fact 10: the previous and the next rank with a smaller position share the
// most with each suffix. One pass in rank order with a stack of positions that
// grow upwards finds both: an entry's previous smaller is the entry below it, and
// its next smaller is the rank that pops it. Each entry keeps its common
// prefix with the one below it (the previous side) and with the one above it
// or the current rank (the next side), so that popping keeps them exact.
// Every position is written once.
void longestEarlierMatches(const MatchIndex& index, std::span<std::int32_t> longest,
                           std::vector<EarlierMatchEntry>& stack) {
    const auto n = static_cast<std::int32_t>(index.suffixArray.size());
    stack.clear();
    for (std::int32_t r = 0; r < n; ++r) {
        const std::int32_t position = index.suffixArray[r];
        std::int32_t withCurrent = 0;  // of the top entry, with rank r
        if (!stack.empty()) {
            withCurrent = std::min(stack.back().withAbove, index.lcp.lcp[r]);
        }
        while (!stack.empty() && stack.back().position > position) {
            const EarlierMatchEntry popped = stack.back();
            stack.pop_back();
            longest[popped.position] = std::max(popped.withBelow, withCurrent);
            if (!stack.empty()) {
                withCurrent = std::min(stack.back().withAbove, withCurrent);
            }
        }
        if (!stack.empty()) {
            stack.back().withAbove = withCurrent;
        }
        stack.push_back({position, stack.empty() ? 0 : withCurrent, INT32_MAX});
    }
    for (const EarlierMatchEntry& entry : stack) {
        longest[entry.position] = entry.withBelow;
    }
}

// The longest common prefix of p with any position at most `window` before
// it (fact 10). The window's ranks are kept from search to search: positions
// come in order, so each enters and leaves the set once.
std::uint32_t longestMatchInWindow(MatchIndex& index, std::uint32_t p, std::uint32_t window) {
    const std::uint32_t first = p - window;
    if (index.inWindow.levels.empty()) {
        index.inWindow = makeRankSet(static_cast<std::uint32_t>(index.rank.size()));
    }
    if (p < index.windowEnd || first < index.windowFirst) {
        for (std::uint32_t q = index.windowFirst; q < index.windowEnd; ++q) {
            eraseRank(index.inWindow, static_cast<std::uint32_t>(index.rank[q]));
        }
        index.windowFirst = first;
        index.windowEnd = first;
    }
    const std::uint32_t keptFrom = std::min(first, index.windowEnd);
    for (std::uint32_t q = index.windowFirst; q < keptFrom; ++q) {
        eraseRank(index.inWindow, static_cast<std::uint32_t>(index.rank[q]));
    }
    index.windowFirst = first;
    index.windowEnd = std::max(index.windowEnd, first);
    for (std::uint32_t q = index.windowEnd; q < p; ++q) {
        insertRank(index.inWindow, static_cast<std::uint32_t>(index.rank[q]));
    }
    index.windowEnd = p;
    const std::int32_t rank = index.rank[p];
    std::int32_t most = 0;
    const std::int64_t below = memberBelow(index.inWindow, static_cast<std::uint32_t>(rank));
    if (below >= 0) {
        most = lcpRangeMinimum(index.lcp, static_cast<std::int32_t>(below) + 1, rank);
    }
    const std::int64_t above = memberAbove(index.inWindow, static_cast<std::uint32_t>(rank));
    if (above >= 0) {
        most =
            std::max(most, lcpRangeMinimum(index.lcp, rank + 1, static_cast<std::int32_t>(above)));
    }
    return static_cast<std::uint32_t>(most);
}

}  // namespace

// Goes on from wherever the earlier steps left off, visiting only the records
// (fact 1 of doc/match-search.md) and fact 2's distance. Each query asks for
// up to examined + 1 bytes (fact 3) and backs off by one byte, then two, four
// and so on after a miss: the longest match in the window is most often just
// short of the longest of all. It ends where nothing left can be written
// (fact 9).
void continueWithIndex(FastSearch& search, std::uint32_t p, std::uint32_t window,
                       SearchState& state) {
    MatchIndex& index = *search.index;
    const std::span<const std::uint8_t> source = search.source;
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const auto prefixAt = [&](std::uint32_t d, std::uint32_t cap) {
        return commonPrefix(index, source, p - d, p, cap);
    };
    // No candidate left in the window shares more bytes with p than this.
    auto most = static_cast<std::uint32_t>(index.longestEarlierMatch[p]);
    // Past the largest distance the longest earlier match may lie beyond the
    // window. The window's own (fact 10) is looked up only after a miss: most
    // searches never miss, and the window's ranks then catch up in one go.
    bool windowChecked = window == p;
    ChainCursor cursor{p};
    // How far below the highest count still possible to ask, after misses.
    std::uint32_t backOff = 0;
    std::uint32_t nextBackOff = 0;
    while (!searchDecided(state, window, remaining)) {
        if (stepAfterOverreach(search.stretch, source, p, window, state, prefixAt)) {
            continue;
        }
        // Nothing left could be longer than the best, or be written (fact 9).
        if (state.best >= most || most < kShortestPayingMatch) {
            state.examined = window;
            break;
        }
        const std::uint32_t lowest = state.best + 1;
        const std::uint32_t highest = std::max(lowest, std::min(most, state.examined + 1));
        const std::uint32_t k = std::max(lowest, highest - std::min(highest, backOff));
        const std::int64_t q =
            nearestSharing(index, cursor, p, k, p - state.examined - 1, p - window);
        if (q < static_cast<std::int64_t>(p - window)) {
            most = k - 1;  // nothing left shares k bytes
            if (!windowChecked && most >= kShortestPayingMatch) {
                windowChecked = true;
                most = std::min(most, longestMatchInWindow(index, p, window));
            }
            backOff = nextBackOff;
            nextBackOff = 2 * nextBackOff + 1;
            continue;
        }
        const std::uint32_t d = p - static_cast<std::uint32_t>(q);
        takeCandidate(state, d, prefixAt(d, std::min(remaining, d + 1)), remaining);
    }
}

namespace {

// Where each array of an index over n bytes lies in the workspace's arena, in
// bytes from its start. The arrays that are needed only while building lie
// where others are written later: the suffix sort's symbols and the chain's
// table of last positions where the longest earlier matches go, the LCP
// array's text-order form where the ranks go.
struct IndexLayout {
    std::size_t sorted = 0;
    std::size_t rank = 0;
    std::size_t lcp = 0;
    std::size_t longest = 0;
    std::size_t sameKey = 0;
    std::size_t minima = 0;
    std::size_t chainHeads = 0;
    std::size_t total = 0;
};

IndexLayout layIndexOut(std::size_t n) {
    // Every array starts on a cache line.
    const auto next = [](std::size_t& at, std::size_t bytes) {
        const std::size_t start = at;
        at += (bytes + 63) / 64 * 64;
        return start;
    };
    IndexLayout layout;
    std::size_t at = 0;
    layout.sorted = next(at, 4 * (n + 1));
    layout.rank = next(at, 4 * n);
    layout.lcp = next(at, 4 * n);
    layout.longest = next(at, std::max({4 * n, 2 * (n + 1), std::size_t{4} << chainKeyBits(n)}));
    layout.chainHeads = layout.longest;
    layout.sameKey = next(at, 4 * n);
    layout.minima = next(at, 4 * lcpBlockMinimaSize(n));
    layout.total = at;
    return layout;
}

// The count entries of type T at offset bytes into the arena; their contents
// are whatever the arena held.
template <typename T>
std::span<T> arenaArray(std::byte* arena, std::size_t offset, std::size_t count) {
    T* first = reinterpret_cast<T*>(arena + offset);
    std::uninitialized_default_construct_n(first, count);  // writes nothing
    return {first, count};
}

}  // namespace

std::size_t matchIndexBytes(std::size_t n) {
    return layIndexOut(n).total;
}

MatchIndex buildMatchIndex(std::span<const std::uint8_t> source, EncoderWorkspace& workspace) {
    const std::size_t n = source.size();
    const IndexLayout layout = layIndexOut(n);
    std::byte* arena = arenaRoom(workspace, layout.total);
    MatchIndex index;
    const std::span<std::int32_t> sorted = arenaArray<std::int32_t>(arena, layout.sorted, n + 1);
    buildSuffixArray(source, sorted, arenaArray<std::uint16_t>(arena, layout.longest, n + 1));
    index.suffixArray = sorted.subspan(1);  // the empty suffix sorts first
    const std::span<std::int32_t> rank = arenaArray<std::int32_t>(arena, layout.rank, n);
    const std::span<std::int32_t> lcp = arenaArray<std::int32_t>(arena, layout.lcp, n);
    buildLcpArray(source, index.suffixArray, lcp, rank);
    const auto count = static_cast<std::int32_t>(n);
    for (std::int32_t r = 0; r < count; ++r) {
        rank[index.suffixArray[r]] = r;
    }
    index.rank = rank;
    index.lcp = buildLcpIntervals(
        lcp, arenaArray<std::int32_t>(arena, layout.minima, lcpBlockMinimaSize(n)));
    const std::span<std::uint32_t> sameKey = arenaArray<std::uint32_t>(arena, layout.sameKey, n);
    chainByKey(
        source, sameKey,
        arenaArray<std::uint32_t>(arena, layout.chainHeads, std::size_t{1} << chainKeyBits(n)));
    index.sameKey = sameKey;
    const std::span<std::int32_t> longest = arenaArray<std::int32_t>(arena, layout.longest, n);
    longestEarlierMatches(index, longest, workspace.earlierMatchStack);
    index.longestEarlierMatch = longest;
    index.waveletRoom = &workspace.positionsByRank;
    index.directReadsLeft = kDirectReadsPerByte * n;
    index.chainStepsLeft = kChainStepsPerByte * n;
    return index;
}

}  // namespace bitmapcodec
