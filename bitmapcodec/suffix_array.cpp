#include "suffix_array.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "byte_counts.h"
#include "search_tuning.h"

namespace bitmapcodec {
namespace {

// Induced sorting (SA-IS) over a text of integers in [0, alphabetSize) whose
// last symbol is a unique smallest sentinel. The bytes of the input are
// sorted as 16-bit symbols, the reduced texts of the recursion as 32-bit ones:
// the induction passes read the text at random places, and a text half the
// size stays in a faster cache. The sorter overwrites each symbol s with
// 2s + 1 for an S-type suffix and 2s for an L-type one, so that the induction
// passes learn both from one read at a random place.
template <typename Symbol>
class InducedSorter {
  public:
    // counts[c]: how often symbol c occurs in the text.
    InducedSorter(Symbol* text, std::int32_t* sa, std::int32_t n, std::vector<std::int32_t> counts)
        : s_(text),
          sa_(sa),
          n_(n),
          k_(static_cast<std::int32_t>(counts.size())),
          counts_(std::move(counts)),
          buckets_(counts_.size()) {}

    void run() {
        classify();
        placeLmsSuffixes();
        const std::int32_t lmsCount = induce(true);
        const std::int32_t names = nameLmsSubstrings(lmsCount);
        sortLmsSuffixes(lmsCount, names);
        induce(false);
    }

  private:
    Symbol symbol(std::int32_t i) const { return s_[i] >> 1; }
    bool isS(std::int32_t i) const { return (s_[i] & 1) != 0; }
    bool isLms(std::int32_t i) const { return i > 0 && isS(i) && !isS(i - 1); }

    // The next symbol and its type are carried from step to step rather than
    // read back from the code just written, which would make every step wait
    // on the one before.
    void classify() {
        Symbol next = s_[n_ - 1];
        bool nextIsS = true;
        s_[n_ - 1] = static_cast<Symbol>(2 * next + 1);
        for (std::int32_t i = n_ - 2; i >= 0; --i) {
            const Symbol here = s_[i];
            const bool s = here < next || (here == next && nextIsS);
            s_[i] = static_cast<Symbol>(2 * here + (s ? 1 : 0));
            next = here;
            nextIsS = s;
        }
    }

    // The counts are taken once: rescanning the text for every induction
    // pass cost more than the passes' own bookkeeping.
    void bucketBounds(bool ends) {
        std::int32_t sum = 0;
        for (std::int32_t c = 0; c < k_; ++c) {
            sum += counts_[c];
            buckets_[c] = ends ? sum : sum - counts_[c];
        }
    }

    void placeLmsSuffixes() {
        bucketBounds(true);
        std::fill(sa_, sa_ + n_, -1);
        for (std::int32_t i = 1; i < n_; ++i) {
            if (isLms(i)) {
                sa_[--buckets_[symbol(i)]] = i;
            }
        }
    }

    // Each pass reads the code before the suffix of every entry, at random
    // places in the text: the code kInducePrefetch entries on is asked for
    // ahead (an entry not yet written there costs a wasted request).
    // With gatherLms, the S pass also collects the LMS suffixes in the order
    // it leaves them, which is what the naming needs, and the count is
    // returned: it reads each suffix's type next to its predecessor's, which
    // it reads anyway, instead of a pass of its own that reads both at random.
    // They are kept in the slots the pass has already left, from the end:
    // there is always one to spare, since the last suffix in order, in the
    // bucket of the largest symbol, is of L type.
    std::int32_t induce(bool gatherLms) {
        bucketBounds(false);
        for (std::int32_t i = 0; i < n_; ++i) {
            if (i + kInducePrefetch < n_) {
                __builtin_prefetch(s_ + std::max(sa_[i + kInducePrefetch] - 1, 0));
            }
            if (sa_[i] > 0) {
                const std::int32_t j = sa_[i] - 1;
                const Symbol code = s_[j];
                if ((code & 1) == 0) {
                    sa_[buckets_[code >> 1]++] = j;
                }
            }
        }
        bucketBounds(true);
        std::int32_t gathered = 0;
        for (std::int32_t i = n_ - 1; i >= 0; --i) {
            if (i >= kInducePrefetch) {
                __builtin_prefetch(s_ + std::max(sa_[i - kInducePrefetch] - 1, 0));
            }
            if (sa_[i] > 0) {
                const std::int32_t j = sa_[i] - 1;
                const Symbol code = s_[j];
                if ((code & 1) != 0) {
                    sa_[--buckets_[code >> 1]] = j;
                } else if (gatherLms && isS(j + 1)) {
                    sa_[n_ - 1 - gathered++] = j + 1;
                }
            }
        }
        std::copy(sa_ + n_ - gathered, sa_ + n_, sa_);
        return gathered;
    }

    // Symbols and types alike: the codes are compared as they stand.
    bool sameLmsSubstring(std::int32_t a, std::int32_t b) const {
        for (std::int32_t d = 0;; ++d) {
            if (s_[a + d] != s_[b + d]) {
                return false;
            }
            // The codes at d - 1 and d are the same on both sides, and with
            // them the types: where one substring ends, so does the other.
            if (d > 0 && isLms(a + d)) {
                return true;
            }
        }
    }

    // Names the sorted LMS substrings and leaves the reduced text (the names
    // in text order) in the last lmsCount slots of the array.
    std::int32_t nameLmsSubstrings(std::int32_t lmsCount) {
        std::fill(sa_ + lmsCount, sa_ + n_, -1);
        std::int32_t name = 0;
        std::int32_t previous = -1;
        for (std::int32_t i = 0; i < lmsCount; ++i) {
            const std::int32_t position = sa_[i];
            if (previous < 0 || !sameLmsSubstring(position, previous)) {
                ++name;
                previous = position;
            }
            // LMS positions are at least two apart, so halves are distinct.
            sa_[lmsCount + position / 2] = name - 1;
        }
        for (std::int32_t i = n_ - 1, j = n_ - 1; i >= lmsCount; --i) {
            if (sa_[i] >= 0) {
                sa_[j--] = sa_[i];
            }
        }
        return name;
    }

    void sortLmsSuffixes(std::int32_t lmsCount, std::int32_t names) {
        std::int32_t* reduced = sa_ + n_ - lmsCount;
        std::int32_t* reducedSa = sa_;
        if (names < lmsCount) {
            // The recursion codes its text in place: it is not needed after.
            std::vector<std::int32_t> counts(static_cast<std::size_t>(names), 0);
            for (std::int32_t i = 0; i < lmsCount; ++i) {
                ++counts[reduced[i]];
            }
            InducedSorter<std::int32_t>(reduced, reducedSa, lmsCount, std::move(counts)).run();
        } else {
            for (std::int32_t i = 0; i < lmsCount; ++i) {
                reducedSa[reduced[i]] = i;
            }
        }
        // Reuse the reduced text's slots for the LMS positions in text order.
        for (std::int32_t i = 1, j = 0; i < n_; ++i) {
            if (isLms(i)) {
                reduced[j++] = i;
            }
        }
        for (std::int32_t i = 0; i < lmsCount; ++i) {
            reducedSa[i] = reduced[reducedSa[i]];
        }
        std::fill(sa_ + lmsCount, sa_ + n_, -1);
        bucketBounds(true);
        for (std::int32_t i = lmsCount - 1; i >= 0; --i) {
            const std::int32_t j = sa_[i];
            sa_[i] = -1;
            sa_[--buckets_[symbol(j)]] = j;
        }
    }

    Symbol* s_;
    std::int32_t* sa_;
    std::int32_t n_;
    std::int32_t k_;
    std::vector<std::int32_t> counts_;
    std::vector<std::int32_t> buckets_;
};

}  // namespace

void buildSuffixArray(std::span<const std::uint8_t> text, std::span<std::int32_t> sorted,
                      std::span<std::uint16_t> symbols) {
    const auto n = static_cast<std::int32_t>(text.size());
    // Shift the bytes up by one and close the text with a 0 sentinel.
    for (std::int32_t i = 0; i < n; ++i) {
        symbols[i] = static_cast<std::uint16_t>(text[i] + 1);
    }
    symbols[n] = 0;
    if (n == 0) {
        sorted[0] = 0;
        return;
    }
    // The sentinel once, then each byte value shifted up by one.
    const std::array<std::uint32_t, 256> bytes = countByteValues(text);
    std::vector<std::int32_t> counts(257);
    counts[0] = 1;
    std::copy(bytes.begin(), bytes.end(), counts.begin() + 1);
    InducedSorter<std::uint16_t>(symbols.data(), sorted.data(), n + 1, std::move(counts)).run();
}

void buildLcpArray(std::span<const std::uint8_t> text, std::span<const std::int32_t> suffixArray,
                   std::span<std::int32_t> lcp, std::span<std::int32_t> work) {
    // In text order (Kärkkäinen, Manzini and Puglisi's permuted LCP): each
    // suffix is compared with the one ranked just before it, and the common
    // prefix shrinks by at most one from one position to the next. Text order
    // makes the comparisons nearly sequential; Kasai's rank order does not.
    const auto n = static_cast<std::int32_t>(text.size());
    if (n == 0) {
        return;
    }
    std::int32_t* permuted = work.data();
    permuted[suffixArray[0]] = -1;
    for (std::int32_t r = 1; r < n; ++r) {
        permuted[suffixArray[r]] = suffixArray[r - 1];
    }
    std::int32_t h = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::int32_t j = permuted[i];
        if (j < 0) {
            h = 0;
            permuted[i] = 0;
            continue;
        }
        while (i + h < n && j + h < n && text[i + h] == text[j + h]) {
            ++h;
        }
        permuted[i] = h;
        if (h > 0) {
            --h;
        }
    }
    for (std::int32_t r = 0; r < n; ++r) {
        lcp[r] = permuted[suffixArray[r]];
    }
}

}  // namespace bitmapcodec
