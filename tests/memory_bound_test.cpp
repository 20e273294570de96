// The encoder's working memory stays within 40 bytes per input byte and is
// all given back with its workspace. The workspace's arena comes from the
// system rather than operator new, so it is counted at its full size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "allocation_watch.h"
#include "encoder_workspace.h"
#include "input_classes.h"
#include "marker_lz.h"
#include "match_search.h"

namespace {

struct Case {
    const char* name;
    inputclasses::Bytes input;
};

TEST(EncoderMemory, StaysWithin40BytesPerInputByteAndIsFreed) {
    const std::vector<Case> cases = {
        {"tiny", inputclasses::randomOverAlphabet(100, 3, 4)},
        {"small", inputclasses::randomOverAlphabet(3000, 2, 4)},
        {"gradient", inputclasses::gradient(320, 480)},
        {"tiled sprites", inputclasses::tiledSprites(320, 480, 5)},
        {"two values", inputclasses::randomTwoValues(200000, 6)},
        {"random", inputclasses::randomBytes(200000, 7)},
        {"near period 5", inputclasses::nearPeriodic(200000, 5, 300, 8)},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> stream(bitmapcodec::markerLzStreamBound(c.input.size()));
        const testsupport::AllocationWatch watch;
        std::size_t working = 0;
        {
            bitmapcodec::EncoderWorkspace workspace;
            bitmapcodec::markerLzEncode(c.input, stream, bitmapcodec::kBitmapMaxDistance,
                                        workspace);
            working = watch.peak() + workspace.arena.size;
        }
        std::printf("%-14s %7zu bytes: peak working memory %9zu bytes (%.1f per input byte)\n",
                    c.name, c.input.size(), working,
                    static_cast<double>(working) / static_cast<double>(c.input.size()));
        EXPECT_LE(working, 40 * c.input.size()) << c.name;
        EXPECT_EQ(watch.stillHeld(), 0u) << c.name;
    }
}

// The index at the smallest input that it is built for, where its fixed-size
// parts weigh most per input byte, with its wavelet matrix (built at the
// first large interval when no direct reads are allowed).
TEST(EncoderMemory, TheIndexOfTheSmallestIndexedInputStaysWithinTheBound) {
    const inputclasses::Bytes input =
        inputclasses::randomTwoValues(bitmapcodec::kSmallestIndexedInput, 9);
    const testsupport::AllocationWatch watch;
    bool wavelet = false;
    std::size_t working = 0;
    {
        bitmapcodec::EncoderWorkspace workspace;
        bitmapcodec::FastSearch search =
            bitmapcodec::startFastSearch(input, bitmapcodec::kBitmapMaxDistance, workspace);
        search.index = bitmapcodec::buildMatchIndex(input, workspace);
        search.index->directReadsLeft = 0;
        search.shortScanDistances = 0;
        for (std::uint32_t p = 1; p < input.size(); ++p) {
            bitmapcodec::fastSearchMatch(search, p);
        }
        wavelet = search.index->positionsByRank != nullptr;
        working = watch.peak() + workspace.arena.size;
    }
    std::printf("index          %7zu bytes: peak working memory %9zu bytes (%.1f per input byte)\n",
                input.size(), working,
                static_cast<double>(working) / static_cast<double>(input.size()));
    EXPECT_TRUE(wavelet);
    EXPECT_LE(working, 40 * input.size());
    EXPECT_EQ(watch.stillHeld(), 0u);
}

}  // namespace
