#include <algorithm>
#include <array>
#include <bit>

#include "search_steps.h"

namespace bitmapcodec {
namespace {

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

std::uint32_t octetHash(const std::uint8_t* bytes, int bits) {
    const std::uint64_t value = load32(bytes) | (std::uint64_t{load32(bytes + 4)} << 32);
    return static_cast<std::uint32_t>((value * 0x9E3779B97F4A7C15ull) >> (64 - bits));
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

// Runs this long are searched run by run rather than position by position.
constexpr std::uint32_t kLongRun = 8;

}  // namespace

// The scan's course after the short scan, taken along the chains: each record
// is the nearest candidate beyond the distances examined that shares one byte
// more than the best so far, and the chain of the longest key not longer than
// that visits every such candidate, nearest first.
ChainOutcome continueWithChains(const MatchChains& chains, std::span<const std::uint8_t> source,
                                std::uint32_t p, std::uint32_t window, std::uint64_t chainBudget,
                                SearchState& state) {
    const auto remaining = static_cast<std::uint32_t>(source.size() - p);
    Budget budget{chainBudget * 8};
    const auto compare = [&](std::uint32_t q, std::uint32_t cap) {
        return runAwarePrefix(chains, source, q, p, cap);
    };
    Repetition repetition;
    const auto prefixAt = [&](std::uint32_t q, std::uint32_t cap) {
        return prefixUsingRepetition(repetition, state, source, p, window, p - q, cap, compare);
    };
    while (!state.stopped && state.best < remaining && state.examined < window) {
        const std::uint32_t k = state.best + 1;
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
            const std::uint32_t keyWidth = k >= 8 && remaining >= 8   ? 8
                                           : k >= 4 && remaining >= 4 ? 4
                                           : k >= 2                   ? 2
                                                                      : 1;
            const PositionArray* chain = keyWidth == 8   ? &chains.sameOctetHash
                                         : keyWidth == 4 ? &chains.sameQuadHash
                                         : keyWidth == 2 ? &chains.samePair
                                                         : &chains.sameByte;
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
    chains.sameOctetHash = chainBy(n, 8, std::size_t{1} << bits,
                                   [&](std::size_t q) { return octetHash(bytes + q, bits); });
    return chains;
}

}  // namespace bitmapcodec
