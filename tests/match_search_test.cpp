// The fast search must give the same tokens as the plain scan, everywhere.
#include "match_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "input_classes.h"
#include "marker_lz.h"
#include "resource_database.h"

namespace {

using bitmapcodec::kBitmapMaxDistance;
using inputclasses::Bytes;

struct NamedInput {
    std::string name;
    Bytes bytes;
};

std::vector<NamedInput> smallInputs() {
    std::vector<NamedInput> inputs;
    const auto add = [&](std::string name, Bytes bytes) {
        inputs.push_back({std::move(name), std::move(bytes)});
    };
    add("empty", {});
    add("one byte", {0x41});
    add("flat colour", inputclasses::flatColour(24, 20));
    add("gradient", inputclasses::gradient(30, 20));
    add("tiled sprites", inputclasses::tiledSprites(48, 32, 3));
    add("fibonacci word", inputclasses::fibonacciWord(1500));
    add("two values", inputclasses::randomTwoValues(1500, 4));
    for (int alphabet : {1, 2, 3, 4, 7, 16, 100, 256}) {
        add("alphabet " + std::to_string(alphabet),
            inputclasses::randomOverAlphabet(1200, alphabet, static_cast<std::uint32_t>(alphabet)));
    }
    for (std::size_t period = 1; period <= 64; period = period < 8 ? period + 1 : period * 2) {
        add("period " + std::to_string(period), inputclasses::periodic(900, period, 5));
        add("near period " + std::to_string(period),
            inputclasses::nearPeriodic(1400, period, 40, static_cast<std::uint32_t>(period)));
    }
    for (std::uint32_t seed = 0; seed < 6; ++seed) {
        add("runs " + std::to_string(seed), [seed] {
            // Runs of random lengths over a few values: the overreach's home ground.
            Bytes lengths = inputclasses::randomOverAlphabet(120, 30, seed);
            Bytes values = inputclasses::randomOverAlphabet(120, 3, seed + 100);
            Bytes out;
            for (std::size_t i = 0; i < lengths.size(); ++i) {
                out.insert(out.end(), lengths[i] + 1u, values[i]);
            }
            return out;
        }());
    }
    return inputs;
}

// Compares the fast search with the plain scan at every position, along each
// of its paths: as the encoder runs it (the stretch chains or the plain scan,
// then the index, never below a kilobyte); along the stretch chains from the
// first search on, to the end or handing over to the index after a little
// work; with the index built up front, after the short scan (large intervals
// read directly) and from the first distance on (large intervals along the
// chain, then the wavelet matrix); and with a tiny budget of plain work that
// hands searches over to the index halfway through the window.
void expectSameMatches(const Bytes& input, std::uint32_t maximumDistance) {
    enum class Chains { asEncoding, always, briefly, never };
    struct Variant {
        const char* name;
        bool indexUpFront;
        std::uint32_t shortScanDistances;
        std::uint64_t plainWork;
        Chains chains;
    };
    const Variant variants[] = {
        {"as encoding", false, bitmapcodec::kShortScanDistances, 0, Chains::asEncoding},
        {"stretch chains", false, 3, 0, Chains::always},
        {"stretch chains, then the index", false, 3, 0, Chains::briefly},
        {"index", true, bitmapcodec::kShortScanDistances, 0, Chains::never},
        {"index from the first distance", true, 0, 0, Chains::never},
        {"index after a little plain work", false, 3, 40, Chains::never},
    };
    std::vector<bitmapcodec::EncoderWorkspace> workspaces(std::size(variants));
    std::vector<bitmapcodec::FastSearch> searches;
    for (const Variant& variant : variants) {
        bitmapcodec::FastSearch search =
            bitmapcodec::startFastSearch(input, maximumDistance, workspaces[searches.size()]);
        if (variant.plainWork != 0) {
            search.plainWorkLeft = variant.plainWork;
            search.plainWorkPerPosition = 0;
            search.smallestIndexedInput = 1;
        }
        if (variant.chains == Chains::never) {
            search.smallestChainedInput = SIZE_MAX;
        } else if (variant.chains != Chains::asEncoding) {
            search.smallestIndexedInput = 1;
            search.smallestChainedInput = 1;
            search.chainWorkLeft = variant.chains == Chains::always ? UINT64_MAX / 2 : 40;
            search.chainWorkPerPosition = variant.chains == Chains::always ? 1000 : 0;
        }
        search.shortScanDistances = variant.shortScanDistances;
        if (variant.indexUpFront && !input.empty()) {
            search.index = bitmapcodec::buildMatchIndex(input, *search.workspace);
            if (variant.shortScanDistances == 0) {
                search.index->directReadsLeft = 0;  // the wavelet matrix after the chain
            } else {
                search.index->chainStepsLeft = 0;  // large intervals read directly
            }
        }
        searches.push_back(std::move(search));
    }
    // The plain scan's stream with its matches kept, as the fuzz target takes
    // them: each where the stream visits it, as plainScanMatch gives it.
    constexpr bitmapcodec::Match unwritten{UINT32_MAX, UINT32_MAX};
    std::vector<bitmapcodec::Match> kept(input.size(), unwritten);
    Bytes stream(bitmapcodec::markerLzStreamBound(input.size()));
    bitmapcodec::markerLzEncodePlainScan(input, stream, maximumDistance, kept);
    std::uint32_t visited = 1;
    for (std::uint32_t p = 1; p < input.size(); ++p) {
        const bitmapcodec::Match plain = bitmapcodec::plainScanMatch(input, p, maximumDistance);
        const bitmapcodec::Match expected = p == visited ? plain : unwritten;
        if (kept[p].length != expected.length || kept[p].distance != expected.distance) {
            ADD_FAILURE() << "position " << p << ": plain " << plain.length << "@" << plain.distance
                          << ", kept " << kept[p].length << "@" << kept[p].distance
                          << (p == visited ? "" : ", which the stream passes");
            return;
        }
        if (p == visited) {
            visited += bitmapcodec::matchPays(plain.length, plain.distance) ? plain.length : 1;
        }
        for (std::size_t k = 0; k < searches.size(); ++k) {
            const bitmapcodec::Match fast = bitmapcodec::fastSearchMatch(searches[k], p);
            if (!bitmapcodec::sameToken(fast, plain)) {
                ADD_FAILURE() << "position " << p << ": plain " << plain.length << "@"
                              << plain.distance << ", fast " << fast.length << "@" << fast.distance
                              << " (" << variants[k].name << ")";
                return;
            }
        }
    }
}

Bytes encode(const Bytes& input, std::uint32_t maximumDistance, bool plain) {
    Bytes stream(bitmapcodec::markerLzStreamBound(input.size()));
    const std::uint32_t size =
        plain ? bitmapcodec::markerLzEncodePlainScan(input, stream, maximumDistance)
              : bitmapcodec::markerLzEncode(input, stream, maximumDistance);
    stream.resize(size);
    return stream;
}

// The fast search in a workspace that a pass keeps from input to input, so
// that each index is built over what the one before left.
Bytes encodeInWorkspace(const Bytes& input, std::uint32_t maximumDistance,
                        bitmapcodec::EncoderWorkspace& workspace) {
    Bytes stream(bitmapcodec::markerLzStreamBound(input.size()));
    stream.resize(bitmapcodec::markerLzEncode(input, stream, maximumDistance, workspace));
    return stream;
}

TEST(FastMatchSearch, AgreesWithThePlainScanAtEveryPosition) {
    std::vector<std::uint32_t> distances = {100, 1000, kBitmapMaxDistance};
    for (std::uint32_t d = 1; d <= 16; ++d) {
        distances.push_back(d);
    }
    for (const NamedInput& input : smallInputs()) {
        for (const std::uint32_t maximumDistance : distances) {
            SCOPED_TRACE(input.name + ", maximum distance " + std::to_string(maximumDistance));
            expectSameMatches(input.bytes, maximumDistance);
        }
    }
}

TEST(FastMatchSearch, EncodesLargerInputsToTheSameStreams) {
    const std::vector<NamedInput> inputs = {
        {"flat colour", inputclasses::flatColour(160, 120)},
        {"gradient", inputclasses::gradient(160, 120)},
        {"random", inputclasses::randomBytes(40000, 1)},
        {"two values", inputclasses::randomTwoValues(40000, 2)},
        {"fibonacci word", inputclasses::fibonacciWord(60000)},
        {"tiled sprites", inputclasses::tiledSprites(160, 120, 9)},
        {"near period 3", inputclasses::nearPeriodic(60000, 3, 500, 3)},
        {"near period 37", inputclasses::nearPeriodic(60000, 37, 200, 4)},
        {"banded gradient", inputclasses::bandedGradient(160, 120)},
        {"shapes on white", inputclasses::shapesOnFlatGround(160, 120)},
        {"interface panel", inputclasses::interfacePanel(160, 120, 5)},
    };
    bitmapcodec::EncoderWorkspace workspace;
    for (const NamedInput& input : inputs) {
        for (const std::uint32_t maximumDistance : {7u, 1000u, kBitmapMaxDistance}) {
            SCOPED_TRACE(input.name + ", maximum distance " + std::to_string(maximumDistance));
            const Bytes plain = encode(input.bytes, maximumDistance, true);
            EXPECT_EQ(encode(input.bytes, maximumDistance, false), plain);
            EXPECT_EQ(encodeInWorkspace(input.bytes, maximumDistance, workspace), plain);
        }
    }
}

TEST(FastMatchSearch, RespectsTheWindowOnLongInputs) {
    const Bytes input = inputclasses::beyondTheWindow(500000, 7);
    EXPECT_EQ(encode(input, kBitmapMaxDistance, false), encode(input, kBitmapMaxDistance, true));
}

TEST(FastMatchSearch, EncodesEveryCorpusBitmapToTheSameStream) {
    int bitmaps = 0;
    bitmapcodec::EncoderWorkspace workspace;  // kept from bitmap to bitmap, as the pass does
    for (const auto& entry : std::filesystem::directory_iterator(CORPUS_DIR)) {
        if (entry.path().extension() != ".prc") {
            continue;
        }
        const prc::DatabaseParse parse =
            prc::parseResourceDatabase(testsupport::readFile(entry.path()));
        ASSERT_TRUE(parse.table) << entry.path();
        for (const prc::ResourceEntry& resource : parse.table->entries) {
            if (resource.type == prc::typeCode("abmp")) {
                SCOPED_TRACE(entry.path().filename().string() + " " + std::to_string(resource.id));
                EXPECT_EQ(encodeInWorkspace(resource.data, kBitmapMaxDistance, workspace),
                          encode(resource.data, kBitmapMaxDistance, true));
                ++bitmaps;
            }
        }
    }
    EXPECT_GT(bitmaps, 0);
}

}  // namespace
