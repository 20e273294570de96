// Every stream must decode to its input and fit the bound that callers size
// their buffers by; the fast search must write exactly the plain scan's
// stream; a bitmap resource is stored either as itself or as a smaller
// container that gives it back. The fuzzer chooses the bytes, the maximum
// distance (the first three bytes, taken modulo 409600, plus one) and, with
// the fourth byte, the search's path: as the encoder takes it (which uses the
// index only for inputs of a kilobyte or more, and the chains from 8 KB), or
// along the stretch chains from the first search on (to the end, or handing
// over to the index after a little work), or with the index built from the
// start (after the short scan, reading large intervals directly, or from the
// first distance, along the chain and the wavelet matrix), or built once a
// tiny budget of plain work is spent, halfway through a search; all compared
// with the plain scan position by position (sameToken). The plain scan runs
// once at each position: the matches its stream found serve the comparison.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "compressed_bitmap.h"
#include "marker_lz.h"
#include "match_search.h"
#include "require.h"

namespace {

bool sameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The plain scan's match at each position, or kNotScanned.
constexpr bitmapcodec::Match kNotScanned{UINT32_MAX, 0};

void checkStreams(std::span<const std::uint8_t> input, std::uint32_t maximumDistance,
                  bitmapcodec::EncoderWorkspace& workspace,
                  std::span<bitmapcodec::Match> plainMatches) {
    // Exactly the bound, so that a write past it is caught by the sanitizer.
    const std::size_t bound = bitmapcodec::markerLzStreamBound(input.size());
    FUZZ_REQUIRE(bound <= 1 + input.size() + input.size() / 256);
    std::vector<std::uint8_t> fast(bound);
    std::vector<std::uint8_t> plain(bound);
    const std::uint32_t fastSize =
        bitmapcodec::markerLzEncode(input, fast, maximumDistance, workspace);
    const std::uint32_t plainSize =
        bitmapcodec::markerLzEncodePlainScan(input, plain, maximumDistance, plainMatches);
    FUZZ_REQUIRE(fastSize <= bound);
    fast.resize(fastSize);
    plain.resize(plainSize);
    FUZZ_REQUIRE(fast == plain);

    const bitmapcodec::Decoded decoded =
        bitmapcodec::markerLzDecode(fast, static_cast<std::uint32_t>(input.size()));
    FUZZ_REQUIRE(decoded.error == nullptr && sameBytes(decoded.bytes, input));
}

void checkBitmapResource(std::span<const std::uint8_t> input,
                         bitmapcodec::EncoderWorkspace& workspace) {
    std::vector<std::uint8_t> bitmap(input.begin(), input.end());
    std::vector<std::uint8_t> out(13 + input.size() + input.size() / 256);
    FUZZ_REQUIRE(bitmapcodec::compressedBitmapBound(input.size()) == out.size());
    const std::uint32_t stored =
        bitmapcodec::encodeBitmapResource(bitmap, out, false, false, workspace);
    FUZZ_REQUIRE(sameBytes(bitmap, input));
    FUZZ_REQUIRE(stored <= input.size());
    const std::span<const std::uint8_t> result(out.data(), stored);
    if (stored == input.size()) {
        FUZZ_REQUIRE(sameBytes(result, input));
        return;
    }
    const bitmapcodec::Decoded decoded = bitmapcodec::decodeCompressedBitmap(result);
    FUZZ_REQUIRE(decoded.error == nullptr && sameBytes(decoded.bytes, input));
}

enum class Path {
    asEncoding,
    index,
    indexFromFirstDistance,
    indexAfterPlainWork,
    stretchChains,
    stretchChainsThenIndex
};
constexpr int kPaths = 6;

void checkEveryPosition(std::span<const std::uint8_t> input, std::uint32_t maximumDistance,
                        Path path, bitmapcodec::EncoderWorkspace& workspace,
                        std::span<bitmapcodec::Match> plainMatches) {
    if (input.empty()) {
        return;
    }
    bitmapcodec::FastSearch search =
        bitmapcodec::startFastSearch(input, maximumDistance, workspace);
    if (path == Path::stretchChains || path == Path::stretchChainsThenIndex) {
        const bool handOver = path == Path::stretchChainsThenIndex;
        search.shortScanDistances = 3;
        search.smallestIndexedInput = 1;
        search.smallestChainedInput = 1;
        search.chainWorkLeft = handOver ? 40 : UINT64_MAX / 2;
        search.chainWorkPerPosition = handOver ? 0 : 1000;
    } else if (path == Path::indexAfterPlainWork) {
        search.smallestChainedInput = SIZE_MAX;  // the plain scan's way to the index
        search.shortScanDistances = 3;
        search.plainWorkLeft = 40;
        search.plainWorkPerPosition = 0;
        search.smallestIndexedInput = 1;
    } else {
        search.index = bitmapcodec::buildMatchIndex(input, workspace);
    }
    if (path == Path::index) {
        search.index->chainStepsLeft = 0;  // large intervals read directly
    }
    if (path == Path::indexFromFirstDistance) {
        search.shortScanDistances = 0;
        search.index->directReadsLeft = 0;  // the wavelet matrix after the chain
    }
    // Positions are visited as a stream visits them, past each match, so that
    // a long run costs what encoding it costs rather than its length cubed.
    for (std::uint32_t p = 1; p < input.size();) {
        const bitmapcodec::Match fast = bitmapcodec::fastSearchMatch(search, p);
        bitmapcodec::Match& plain = plainMatches[p];
        if (plain.length == kNotScanned.length) {
            plain = bitmapcodec::plainScanMatch(input, p, maximumDistance);
        }
        FUZZ_REQUIRE(bitmapcodec::sameToken(fast, plain));
        p += std::max<std::uint32_t>(1, plain.length);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const std::uint32_t chosen = (std::uint32_t{data[0]} << 16) | (data[1] << 8) | data[2];
    const std::uint32_t maximumDistance = 1 + chosen % bitmapcodec::kBitmapMaxDistance;
    const auto path = static_cast<Path>(data[3] % kPaths);
    const std::span<const std::uint8_t> input(data + 4, size - 4);
    // One workspace for every input, as a pass keeps one for all its bitmaps:
    // each index is then built over what the one before left.
    static bitmapcodec::EncoderWorkspace workspace;
    static std::vector<bitmapcodec::Match> plainMatches;
    plainMatches.assign(input.size(), kNotScanned);
    checkStreams(input, maximumDistance, workspace, plainMatches);
    if (path != Path::asEncoding) {
        checkEveryPosition(input, maximumDistance, path, workspace, plainMatches);
    }
    checkBitmapResource(input, workspace);
    return 0;
}
