// The index under the fast search, checked against brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "input_classes.h"
#include "lcp_intervals.h"
#include "match_search.h"
#include "rank_set.h"
#include "suffix_array.h"
#include "wavelet_matrix.h"

namespace {

using inputclasses::Bytes;

std::vector<std::int32_t> naiveSuffixArray(const Bytes& text) {
    std::vector<std::int32_t> order(text.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        return std::lexicographical_compare(text.begin() + a, text.end(), text.begin() + b,
                                            text.end());
    });
    return order;
}

TEST(SuffixArray, MatchesSortingTheSuffixesAndComparingEveryEarlierOne) {
    std::vector<Bytes> texts = {
        {},
        {7},
        {255, 0},
        {1, 2},
        Bytes(50, 3),
        inputclasses::fibonacciWord(300),
        inputclasses::periodic(200, 7, 1),
        inputclasses::periodic(101, 2, 3),
    };
    // Every type change at one place: ever smaller, ever larger, and ending in
    // a run of the largest value.
    Bytes down(256);
    Bytes up(256);
    for (int i = 0; i < 256; ++i) {
        down[i] = static_cast<std::uint8_t>(255 - i);
        up[i] = static_cast<std::uint8_t>(i);
    }
    up.insert(up.end(), 9, 255);
    texts.push_back(down);
    texts.push_back(up);
    for (int alphabet : {1, 2, 4, 256}) {
        for (std::uint32_t seed = 0; seed < 5; ++seed) {
            texts.push_back(inputclasses::randomOverAlphabet(50 + 97 * seed, alphabet, seed));
        }
    }
    // One workspace for all, as in a pass: each index is built over what the
    // one before left.
    bitmapcodec::EncoderWorkspace workspace;
    for (const Bytes& text : texts) {
        std::vector<std::int32_t> sorted(text.size() + 1);
        std::vector<std::uint16_t> symbols(text.size() + 1);
        bitmapcodec::buildSuffixArray(text, sorted, symbols);
        ASSERT_EQ(sorted[0], static_cast<std::int32_t>(text.size()));
        const std::vector<std::int32_t> suffixArray(sorted.begin() + 1, sorted.end());
        ASSERT_EQ(suffixArray, naiveSuffixArray(text)) << text.size() << " bytes";
        std::vector<std::int32_t> lcp(text.size());
        std::vector<std::int32_t> work(text.size());
        bitmapcodec::buildLcpArray(text, suffixArray, lcp, work);
        std::vector<std::int32_t> minima(bitmapcodec::lcpBlockMinimaSize(lcp.size()));
        const bitmapcodec::LcpIntervals intervals = bitmapcodec::buildLcpIntervals(lcp, minima);
        for (std::size_t r = 1; r < text.size(); ++r) {
            const auto a = text.begin() + suffixArray[r - 1];
            const auto b = text.begin() + suffixArray[r];
            const auto mismatch = std::mismatch(a, text.end(), b, text.end());
            ASSERT_EQ(lcp[r], mismatch.first - a);
        }
        if (!text.empty()) {
            const bitmapcodec::MatchIndex index = bitmapcodec::buildMatchIndex(text, workspace);
            for (std::size_t p = 0; p < text.size(); ++p) {
                std::int32_t longest = 0;
                for (std::size_t q = 0; q < p; ++q) {
                    const auto shared =
                        std::mismatch(text.begin() + q, text.end(), text.begin() + p, text.end());
                    longest = std::max<std::int32_t>(longest, shared.first - text.begin() - q);
                }
                ASSERT_EQ(index.longestEarlierMatch[p], longest) << "position " << p;
            }
        }
        // Interval ends agree with a walk over the LCP array.
        for (std::int32_t r = 0; r < static_cast<std::int32_t>(text.size()); r += 7) {
            for (std::int32_t k : {1, 2, 5, 40}) {
                std::int32_t start = r;
                while (lcp[start] >= k) {
                    --start;
                }
                std::int32_t end = r;
                while (end + 1 < static_cast<std::int32_t>(text.size()) && lcp[end + 1] >= k) {
                    ++end;
                }
                ASSERT_EQ(bitmapcodec::intervalStart(intervals, r, k), start);
                ASSERT_EQ(bitmapcodec::intervalEnd(intervals, r, k), end);
            }
        }
    }
}

TEST(WaveletMatrix, FindsTheLargestValueBelowABound) {
    std::mt19937 random(11);
    // One matrix built again and again, larger and smaller.
    bitmapcodec::WaveletMatrix matrix;
    for (std::uint32_t n : {1u, 1000u, 2u, 63u, 64u, 65u}) {
        std::vector<std::uint32_t> values(n);
        for (auto& value : values) {
            value = random() % (2 * n);
        }
        bitmapcodec::buildWaveletMatrix(values, std::bit_width(2 * n), matrix);
        for (int query = 0; query < 300; ++query) {
            const std::uint32_t first = random() % n;
            const std::uint32_t last = first + 1 + random() % (n - first);
            const std::uint32_t bound = random() % (2 * n + 1);
            std::int64_t expected = -1;
            for (std::uint32_t i = first; i < last; ++i) {
                if (values[i] < bound) {
                    expected = std::max<std::int64_t>(expected, values[i]);
                }
            }
            ASSERT_EQ(bitmapcodec::largestValueBelow(matrix, first, last, bound), expected)
                << n << " [" << first << ", " << last << ") below " << bound;
        }
    }
}

TEST(RankSet, FindsTheNearestMembersAsTheSetChanges) {
    std::mt19937 random(12);
    for (std::uint32_t n : {1u, 63u, 64u, 65u, 4097u, 300000u}) {
        bitmapcodec::RankSet set = bitmapcodec::makeRankSet(n);
        std::set<std::uint32_t> members;
        for (int step = 0; step < 3000; ++step) {
            const std::uint32_t value = random() % n;
            if (random() % 3 == 0) {
                bitmapcodec::eraseRank(set, value);
                members.erase(value);
            } else {
                bitmapcodec::insertRank(set, value);
                members.insert(value);
            }
            const std::uint32_t probe = random() % n;
            const auto above = members.upper_bound(probe);
            const auto notBelow = members.lower_bound(probe);
            ASSERT_EQ(bitmapcodec::memberAbove(set, probe),
                      above == members.end() ? -1 : std::int64_t{*above})
                << n << " above " << probe;
            ASSERT_EQ(bitmapcodec::memberBelow(set, probe),
                      notBelow == members.begin() ? -1 : std::int64_t{*std::prev(notBelow)})
                << n << " below " << probe;
        }
    }
}

}  // namespace
