// The fast search must write exactly the plain scan's stream, and every stream
// must decode to its input. The fuzzer chooses the bytes and the maximum
// distance (the first three bytes, taken modulo 409600, plus one).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "marker_lz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::uint32_t chosen = (std::uint32_t{data[0]} << 16) | (data[1] << 8) | data[2];
    const std::uint32_t maximumDistance = 1 + chosen % bitmapcodec::kBitmapMaxDistance;
    const std::span<const std::uint8_t> input(data + 3, size - 3);

    std::vector<std::uint8_t> fast(bitmapcodec::markerLzStreamBound(input.size()));
    std::vector<std::uint8_t> plain(fast.size());
    const std::uint32_t fastSize = bitmapcodec::markerLzEncode(input, fast, maximumDistance);
    const std::uint32_t plainSize =
        bitmapcodec::markerLzEncodePlainScan(input, plain, maximumDistance);
    if (fastSize != plainSize ||
        !std::equal(fast.begin(), fast.begin() + fastSize, plain.begin())) {
        std::abort();
    }
    fast.resize(fastSize);
    const bitmapcodec::Decoded decoded =
        bitmapcodec::markerLzDecode(fast, static_cast<std::uint32_t>(input.size()));
    if (decoded.error != nullptr ||
        !std::equal(decoded.bytes.begin(), decoded.bytes.end(), input.begin(), input.end())) {
        std::abort();
    }
    return 0;
}
