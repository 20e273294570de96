#include <algorithm>
#include <array>
#include <bit>

#include "match_search.h"
#include "suffix_array.h"

namespace bitmapcodec {
namespace {

// What building the index costs, per input byte, in units of plain-scan work
// (a distance examined or a byte compared); measured, rounded up.
constexpr std::uint64_t kIndexCostPerByte = 256;
constexpr std::uint64_t kChainCostPerByte = 64;

// Below this size the plain scan is cheap whatever the data, and the chains'
// fixed-size tables would not fit the working-memory bound.
constexpr std::size_t kSmallestIndexedInput = 1024;

// Intervals this small are read from the suffix array directly.
constexpr std::int32_t kSmallInterval = 16;

std::uint32_t commonPrefix(const MatchIndex& index, std::span<const std::uint8_t> source,
                           std::uint32_t q, std::uint32_t p, std::uint32_t cap) {
    // Most matches are short: compare a few bytes before asking the index.
    const std::uint32_t direct = std::min<std::uint32_t>(cap, 32);
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

// The largest position q <= highest among the suffixes that share k bytes with
// the one at p, or -1.
std::int64_t nearestSharing(const MatchIndex& index, std::uint32_t p, std::uint32_t k,
                            std::uint32_t highest) {
    const std::int32_t rank = index.rank[p];
    const std::int32_t first = intervalStart(index.lcp, rank, static_cast<std::int32_t>(k));
    const std::int32_t last = intervalEnd(index.lcp, rank, static_cast<std::int32_t>(k));
    if (last - first < kSmallInterval) {
        std::int64_t nearest = -1;
        for (std::int32_t r = first; r <= last; ++r) {
            const std::int32_t q = index.suffixArray[r];
            if (static_cast<std::uint32_t>(q) <= highest && q > nearest) {
                nearest = q;
            }
        }
        return nearest;
    }
    return largestValueBelow(index.positionsByRank, static_cast<std::uint32_t>(first),
                             static_cast<std::uint32_t>(last) + 1, highest + 1);
}

// Goes on from where the short scan left off, candidate by candidate as the
// plain scan would, but visiting only the distances that can matter: each new
// best is the nearest earlier occurrence, beyond the distances examined, of one
// byte more than the best so far; and besides such a record, the scan can only
// end at the distance right after a record that ran one byte past its distance.
void continueWithIndex(const MatchIndex& index, std::span<const std::uint8_t> source,
                       std::uint32_t p, std::uint32_t window, SearchState& state) {
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    while (!state.stopped && state.best < remaining && state.examined < window) {
        if (state.examined == state.bestDistance && state.best == state.bestDistance + 1) {
            const std::uint32_t d = state.examined + 1;
            if (d < remaining && source[p - d] == source[p] && source[p + d] == source[p] &&
                commonPrefix(index, source, p - d, p, d + 1) <= d) {
                state.examined = d;
                state.stopped = true;
                return;
            }
        }
        if (state.best + 1 > static_cast<std::uint32_t>(index.longestEarlierMatch[p])) {
            state.examined = window;
            return;
        }
        const std::uint32_t lowest = p - window;
        const std::int64_t q = nearestSharing(index, p, state.best + 1, p - state.examined - 1);
        if (q < static_cast<std::int64_t>(lowest)) {
            state.examined = window;
            return;
        }
        const std::uint32_t d = p - static_cast<std::uint32_t>(q);
        state.best = commonPrefix(index, source, p - d, p, std::min(remaining, d + 1));
        state.bestDistance = d;
        state.examined = d;
        state.stopped = state.best == std::min(remaining, d);
    }
}

std::uint32_t load32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
           (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

// Hash tables no larger than the input needs: clearing a big one would cost
// more than a small bitmap's whole search.
int hashBits(std::size_t n) {
    return std::clamp(static_cast<int>(std::bit_width(n)), 8, 17);
}

std::uint32_t quadHash(const std::uint8_t* bytes, int bits) {
    return (load32(bytes) * 2654435761u) >> (32 - bits);
}

// A hash of the `width` bytes at bytes, width a multiple of 8.
std::uint32_t wideHash(const std::uint8_t* bytes, std::size_t width, int bits) {
    std::uint64_t hash = 0;
    for (std::size_t i = 0; i < width; i += 8) {
        const std::uint64_t value =
            load32(bytes + i) | (std::uint64_t{load32(bytes + i + 4)} << 32);
        hash = (hash ^ value) * 0x9E3779B97F4A7C15ull;
    }
    return static_cast<std::uint32_t>(hash >> (64 - bits));
}

// Links every position to the last earlier one with the same key.
template <typename Key>
PositionArray chainBy(std::size_t n, std::size_t width, std::size_t keys, Key key) {
    PositionArray previous = uninitializedPositions(n);
    std::vector<std::int32_t> last(keys, -1);
    std::size_t q = 0;
    for (; q + width <= n; ++q) {
        std::int32_t& head = last[key(q)];
        previous[q] = head;
        head = static_cast<std::int32_t>(q);
    }
    for (; q < n; ++q) {
        previous[q] = -1;  // too close to the end for a key
    }
    return previous;
}

enum class ChainOutcome { finished, overBudget };

// Work that the chains may still spend at one position; spending returns false
// once it is used up.
struct Budget {
    std::uint64_t left;
    bool spend(std::uint64_t work) {
        left = work > left ? 0 : left - work;
        return left > 0;
    }
};

std::uint32_t runLength(const MatchChains& chains, std::uint32_t q) {
    return static_cast<std::uint32_t>(chains.runLast[q]) - q + 1;
}

// The common prefix of the suffixes at q and p, at most cap, a run at a time:
// where the two runs differ in length, the longer one's next byte differs from
// the shorter one's.
std::uint32_t runAwarePrefix(const MatchChains& chains, std::span<const std::uint8_t> source,
                             std::uint32_t q, std::uint32_t p, std::uint32_t cap) {
    std::uint32_t length = 0;
    while (length < cap && source[q + length] == source[p + length]) {
        const std::uint32_t fromQ = runLength(chains, q + length);
        const std::uint32_t fromP = runLength(chains, p + length);
        length += std::min(fromQ, fromP);
        if (fromQ != fromP) {
            break;
        }
    }
    return std::min(length, cap);
}

struct Candidate {
    std::uint32_t distance = 0;  // 0: none within the window
    std::uint32_t length = 0;
};

// The nearest candidate beyond `examined` that shares k bytes with p, along a
// chain of positions that share a key of at most k bytes with p.
template <typename Prefix>
std::optional<Candidate> nearestOnChain(const PositionArray& chain,
                                        std::span<const std::uint8_t> source, std::uint32_t p,
                                        std::int64_t start, std::uint32_t k, std::uint32_t examined,
                                        std::uint32_t window, Budget& budget,
                                        const Prefix& prefixAt) {
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const std::int64_t lowest = static_cast<std::int64_t>(p) - window;
    // Only candidates that come to nothing are charged: records are bounded
    // by the length of the match that they build.
    for (std::int64_t q = chain[start]; q >= lowest; q = chain[q]) {
        const std::uint32_t d = p - static_cast<std::uint32_t>(q);
        std::uint32_t length = 0;
        if (d > examined && source[q + k - 1] == source[p + k - 1]) {
            length = prefixAt(static_cast<std::uint32_t>(q), std::min(remaining, d + 1));
            if (length >= k) {
                return Candidate{d, length};
            }
        }
        if (!budget.spend(8 + length / 8)) {
            return std::nullopt;
        }
    }
    return Candidate{};
}

// The same for p at a long run of one value r bytes long, over the earlier
// runs of that value instead of positions: a candidate needs k bytes of the
// value (k <= r) and then lies at least k before its run's end, or the whole r
// bytes and then lies exactly r before its run's end (k > r).
std::optional<Candidate> nearestInRuns(const MatchChains& chains,
                                       std::span<const std::uint8_t> source, std::uint32_t p,
                                       std::int64_t firstRun, std::uint32_t k,
                                       std::uint32_t examined, std::uint32_t window,
                                       Budget& budget) {
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    const std::uint32_t run = runLength(chains, p);
    const std::int64_t lowest = static_cast<std::int64_t>(p) - window;
    const std::int64_t highest = static_cast<std::int64_t>(p) - examined - 1;
    // Runs of p's value that end before p's own run begins, nearest first.
    for (std::int64_t last = firstRun; last >= lowest; last = chains.previousRun[last]) {
        const std::int64_t end = last + 1;
        const std::int64_t first = chains.runFirst[last];
        std::int64_t q = -1;
        if (k <= run) {
            q = std::min(end - k, highest);
        } else if (end - first >= run && end - run <= highest) {
            q = end - run;
        }
        std::uint32_t length = 0;
        if (q >= std::max(first, lowest)) {
            const std::uint32_t d = p - static_cast<std::uint32_t>(q);
            length = runAwarePrefix(chains, source, static_cast<std::uint32_t>(q), p,
                                    std::min(remaining, d + 1));
            if (length >= k) {
                return Candidate{d, length};
            }
        }
        if (!budget.spend(8 + length / 8)) {
            return std::nullopt;
        }
    }
    return Candidate{};
}

// Once a match runs past its own distance P, the text around p repeats with
// period P: from where that repetition begins up to the extent E of the match
// found, every candidate at a multiple of P shares exactly E bytes with p.
// Knowing that spares comparing each of those candidates byte by byte, which
// would make periodic data quadratic.
struct Repetition {
    std::uint32_t period = 0;  // 0: none known
    std::uint32_t extent = 0;
    std::int64_t first = 0;  // the lowest position of a candidate in it
};

template <typename Prefix>
Repetition findRepetition(std::span<const std::uint8_t> source, std::uint32_t p,
                          std::uint32_t period, std::uint32_t window, const Prefix& prefix) {
    Repetition repetition;
    repetition.period = period;
    repetition.extent = prefix(p - period, static_cast<std::uint32_t>(source.size() - p));
    const std::int64_t lowest = static_cast<std::int64_t>(p) - window;
    std::int64_t y = static_cast<std::int64_t>(p) - period;
    while (y > lowest && source[y - 1] == source[y - 1 + period]) {
        --y;
    }
    repetition.first = y;
    return repetition;
}

// Runs this long are searched run by run rather than position by position.
constexpr std::uint32_t kLongRun = 8;

// The scan's course after the short scan, taken along the chains: each record
// is the nearest candidate beyond the distances examined that shares one byte
// more than the best so far, and the chain of the longest key not longer than
// that visits every such candidate, nearest first.
ChainOutcome continueWithChains(const MatchChains& chains, std::span<const std::uint8_t> source,
                                std::uint32_t p, std::uint32_t window, std::uint64_t chainBudget,
                                SearchState& state) {
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    Budget budget{chainBudget * 8};
    Repetition repetition;
    const auto prefixAt = [&](std::uint32_t q, std::uint32_t cap) {
        const std::uint32_t d = p - q;
        if (repetition.period != 0 && d % repetition.period == 0 && q >= repetition.first) {
            return std::min(repetition.extent, cap);
        }
        return runAwarePrefix(chains, source, q, p, cap);
    };
    while (!state.stopped && state.best < remaining && state.examined < window) {
        const std::uint32_t k = state.best + 1;
        if (repetition.period == 0 && state.firstOverreach != 0) {
            repetition = findRepetition(source, p, state.firstOverreach, window,
                                        [&](std::uint32_t q, std::uint32_t cap) {
                                            return runAwarePrefix(chains, source, q, p, cap);
                                        });
        }
        if (state.examined == state.bestDistance && state.best == state.bestDistance + 1) {
            const std::uint32_t d = state.examined + 1;
            if (d < remaining && source[p - d] == source[p] && source[p + d] == source[p]) {
                const std::uint32_t length = prefixAt(p - d, d + 1);
                if (!budget.spend(length / 8)) {
                    return ChainOutcome::overBudget;
                }
                if (length <= d) {
                    state.examined = d;
                    state.stopped = true;
                    return ChainOutcome::finished;
                }
            }
        }
        // Every candidate nearer than the last record is behind us: go on from
        // that record's place where it lies on the same chain (it does when it
        // shares the chain's whole key with p), rather than from p again.
        const std::uint32_t lastRecord = p - state.bestDistance;
        const bool resume = state.bestDistance > 0;
        std::optional<Candidate> next;
        if (runLength(chains, p) >= kLongRun) {
            const std::int64_t firstRun =
                resume ? chains.runLast[lastRecord] : chains.previousRun[chains.runLast[p]];
            next = nearestInRuns(chains, source, p, firstRun, k, state.examined, window, budget);
        } else {
            // The chain of the longest key that k bytes (and the input) hold.
            std::uint32_t keyWidth = k >= 4 && remaining >= 4 ? 4 : k >= 2 ? 2 : 1;
            const PositionArray* chain = keyWidth == 4   ? &chains.sameQuadHash
                                                     : keyWidth == 2 ? &chains.samePair
                                                                     : &chains.sameByte;
            for (std::size_t level = 0; level < kWideKeys.size(); ++level) {
                if (k >= kWideKeys[level] && remaining >= kWideKeys[level]) {
                    keyWidth = static_cast<std::uint32_t>(kWideKeys[level]);
                    chain = &chains.sameWideHash[level];
                }
            }
            const std::int64_t start = resume && state.best >= keyWidth ? lastRecord : p;
            next = nearestOnChain(*chain, source, p, start, k, state.examined, window, budget,
                                  prefixAt);
        }
        if (!next) {
            return ChainOutcome::overBudget;
        }
        if (next->distance == 0) {
            state.examined = window;
            return ChainOutcome::finished;
        }
        state.best = next->length;
        state.bestDistance = next->distance;
        if (state.best == state.bestDistance + 1 && state.firstOverreach == 0) {
            state.firstOverreach = state.bestDistance;
        }
        const std::uint32_t run = runLength(chains, p);
        const std::uint32_t q = p - next->distance;
        if (run >= kLongRun && state.best < run - 1 && runLength(chains, q) == state.best) {
            // The candidate's own run ended the match. Each earlier position of
            // that run is then the next record, one byte longer, until the
            // run begins, the window ends, or the match would reach the end of
            // p's run: take those records in one step.
            const std::uint32_t extra =
                std::min({q - static_cast<std::uint32_t>(chains.runFirst[q]), run - 1 - state.best,
                          window - next->distance});
            state.best += extra;
            state.bestDistance += extra;
        }
        state.examined = state.bestDistance;
        state.stopped = state.best == std::min(remaining, state.bestDistance);
    }
    return ChainOutcome::finished;
}

// Inside a run of one byte value the scan's course is known without looking:
// every distance d up to the run's length before p finds the r bytes of the
// run that start at p (the byte after them differs), so the candidates 1, 2,
// ... are records of d + 1 bytes until the run is used up, and after that none
// passes the test at the best length. Leaves the state as the scan would after
// those distances.
void skipRun(std::span<const std::uint8_t> source, std::uint32_t p, std::uint32_t window,
             SearchState& state) {
    const std::uint8_t value = source[p];
    std::uint32_t before = 0;
    while (before < window && source[p - before - 1] == value) {
        ++before;
    }
    if (before == 0) {
        return;
    }
    std::uint32_t run = 1;
    while (p + run < source.size() && source[p + run] == value) {
        ++run;
    }
    if (run == 1) {
        state = {1, 1, 1, true};  // the single byte matches at distance 1, its full limit
        return;
    }
    state.best = std::min(run, before + 1);
    state.bestDistance = std::min(before, run - 1);
    state.examined = before;
    state.firstOverreach = 1;  // distance 1 matched 2 bytes
}

// The nearest earlier suffixes in rank order on either side (the previous and
// next ranks with a smaller position) share the most with each suffix among
// all earlier ones. One stack pass per side; each stack entry keeps its common
// prefix with the entry above it, so popping keeps those values exact.
std::vector<std::int32_t> longestEarlierMatches(const MatchIndex& index) {
    const auto n = static_cast<std::int32_t>(index.suffixArray.size());
    std::vector<std::int32_t> longest(index.suffixArray.size(), 0);
    struct Entry {
        std::int32_t rank;
        std::int32_t shared;
    };
    std::vector<Entry> stack;
    const auto sweep = [&](std::int32_t from, std::int32_t to, std::int32_t step) {
        stack.clear();
        for (std::int32_t r = from; r != to; r += step) {
            // Common prefix of this rank and the one visited before it.
            const std::int32_t adjacent = step > 0 ? index.lcp.lcp[r] : index.lcp.lcp[r - step];
            if (!stack.empty()) {
                stack.back().shared = std::min(stack.back().shared, adjacent);
            }
            const std::int32_t position = index.suffixArray[r];
            while (!stack.empty() && index.suffixArray[stack.back().rank] > position) {
                const std::int32_t popped = stack.back().shared;
                stack.pop_back();
                if (!stack.empty()) {
                    stack.back().shared = std::min(stack.back().shared, popped);
                }
            }
            if (!stack.empty()) {
                longest[position] = std::max(longest[position], stack.back().shared);
            }
            stack.push_back({r, INT32_MAX});
        }
    };
    sweep(0, n, 1);
    sweep(n - 1, -1, -1);
    return longest;
}

}  // namespace

MatchIndex buildMatchIndex(std::span<const std::uint8_t> source) {
    MatchIndex index;
    index.suffixArray = buildSuffixArray(source);
    const auto n = static_cast<std::int32_t>(source.size());
    index.rank.resize(source.size());
    for (std::int32_t r = 0; r < n; ++r) {
        index.rank[index.suffixArray[r]] = r;
    }
    index.lcp = buildLcpIntervals(buildLcpArray(source, index.suffixArray, index.rank));
    index.longestEarlierMatch = longestEarlierMatches(index);
    const std::span<const std::uint32_t> positions(
        reinterpret_cast<const std::uint32_t*>(index.suffixArray.data()), source.size());
    index.positionsByRank =
        buildWaveletMatrix(positions, std::bit_width(static_cast<std::uint32_t>(n)));
    return index;
}

MatchChains buildMatchChains(std::span<const std::uint8_t> source) {
    const std::size_t n = source.size();
    const std::uint8_t* bytes = source.data();
    MatchChains chains;
    chains.runFirst = uninitializedPositions(n);
    chains.runLast = uninitializedPositions(n);
    chains.previousRun = uninitializedPositions(n);  // read only at a run's last position
    std::array<std::int32_t, 256> lastRunOfValue;
    lastRunOfValue.fill(-1);
    for (std::size_t first = 0; first < n;) {
        std::size_t end = first + 1;
        while (end < n && bytes[end] == bytes[first]) {
            ++end;
        }
        for (std::size_t q = first; q < end; ++q) {
            chains.runFirst[q] = static_cast<std::int32_t>(first);
            chains.runLast[q] = static_cast<std::int32_t>(end - 1);
        }
        chains.previousRun[end - 1] = lastRunOfValue[bytes[first]];
        lastRunOfValue[bytes[first]] = static_cast<std::int32_t>(end - 1);
        first = end;
    }
    chains.sameByte = chainBy(n, 1, 256, [&](std::size_t q) { return std::size_t{bytes[q]}; });
    const int bits = hashBits(n);
    // Keyed on the two bytes themselves where the table may have 2^16 entries
    // (multiplying by an odd number is a bijection modulo 2^16), else hashed;
    // every candidate is compared anyway.
    const int pairBits = std::min(bits, 16);
    chains.samePair = chainBy(n, 2, std::size_t{1} << pairBits, [&](std::size_t q) {
        const std::uint32_t pair = std::uint32_t{bytes[q]} << 8 | bytes[q + 1];
        return ((pair * 40503u) & 0xFFFFu) >> (16 - pairBits);
    });
    chains.sameQuadHash = chainBy(n, 4, std::size_t{1} << bits,
                                  [&](std::size_t q) { return quadHash(bytes + q, bits); });
    for (std::size_t level = 0; level < chains.sameWideHash.size(); ++level) {
        const std::size_t width = kWideKeys[level];
        chains.sameWideHash[level] = chainBy(n, width, std::size_t{1} << bits, [&](std::size_t q) {
            return wideHash(bytes + q, width, bits);
        });
    }
    return chains;
}

// The plain scan over the rest of the window, with the candidates inside a
// repetition answered without comparing. Returns the work done.
std::uint64_t continuePlainly(std::span<const std::uint8_t> source, std::uint32_t p,
                              std::uint32_t window, SearchState& state) {
    const std::uint8_t* here = source.data() + p;
    Repetition repetition;
    const auto prefixAt = [&](std::uint32_t d, std::uint32_t cap) {
        if (repetition.period == 0 && state.firstOverreach != 0) {
            repetition = findRepetition(
                source, p, state.firstOverreach, window, [&](std::uint32_t q, std::uint32_t limit) {
                    std::uint32_t length = 0;
                    while (length < limit && source[q + length] == here[length]) {
                        ++length;
                    }
                    return length;
                });
        }
        if (repetition.period != 0 && d % repetition.period == 0 &&
            static_cast<std::int64_t>(p - d) >= repetition.first) {
            return std::min(repetition.extent, cap);
        }
        std::uint32_t length = 0;
        while (length < cap && (here - d)[length] == here[length]) {
            ++length;
        }
        return length;
    };
    return scanDistancesWith(source, p, state, window, prefixAt);
}

// Whether a structure that costs costPerByte per input byte is worth building
// at p: when the plain work counted since `from`, extrapolated to the rest of
// the input, comes to twice that.
bool worthBuilding(std::uint64_t work, std::uint32_t from, std::uint32_t p, std::size_t n,
                   std::uint64_t costPerByte) {
    const std::uint64_t passed = std::max<std::uint64_t>(1, p - from);
    return static_cast<double>(work) * static_cast<double>(n - p) / static_cast<double>(passed) >=
           2.0 * static_cast<double>(costPerByte) * static_cast<double>(n);
}

Match fastSearchMatch(FastSearch& search, std::uint32_t p) {
    const std::uint32_t window = std::min(search.maximumDistance, p);
    SearchState state;
    skipRun(search.source, p, window, state);
    scanDistances(search.source, p, state,
                  std::max(state.examined, std::min(window, search.shortScanDistances)));
    if (state.stopped || state.examined == window) {
        return {state.best, state.bestDistance};
    }
    const std::size_t n = search.source.size();
    if (!search.chains && !search.index) {
        if (n < kSmallestIndexedInput ||
            !worthBuilding(search.workWithoutChains, 0, p, n, kChainCostPerByte)) {
            search.workWithoutChains += continuePlainly(search.source, p, window, state);
            return {state.best, state.bestDistance};
        }
        search.chains = buildMatchChains(search.source);
        search.chainsFrom = p;
    }
    if (search.chains && continueWithChains(*search.chains, search.source, p, window,
                                            search.chainBudget, state) == ChainOutcome::finished) {
        return {state.best, state.bestDistance};
    }
    if (!search.index &&
        worthBuilding(search.workWithoutIndex, search.chainsFrom, p, n, kIndexCostPerByte)) {
        search.index = buildMatchIndex(search.source);
    }
    if (search.index) {
        continueWithIndex(*search.index, search.source, p, window, state);
    } else {
        search.workWithoutIndex += continuePlainly(search.source, p, window, state);
    }
    return {state.best, state.bestDistance};
}

}  // namespace bitmapcodec
