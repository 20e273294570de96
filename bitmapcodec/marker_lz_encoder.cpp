#include <algorithm>
#include <array>

#include "byte_counts.h"
#include "marker_lz.h"
#include "match_search.h"
#include "varint.h"

namespace bitmapcodec {
namespace {

// The rarest byte value; among equally rare values the lowest.
std::uint8_t chooseMarker(std::span<const std::uint8_t> source) {
    const std::array<std::uint32_t, 256> counts = countByteValues(source);
    std::uint8_t marker = 0;
    for (int value = 1; value < 256; ++value) {
        if (counts[value] < counts[marker]) {
            marker = static_cast<std::uint8_t>(value);
        }
    }
    return marker;
}

template <typename FindMatch>
std::uint32_t encodeWith(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                         FindMatch&& findMatch) {
    const std::size_t n = source.size();
    if (n == 0 || n > UINT32_MAX || destination.size() < markerLzStreamBound(n)) {
        return 0;
    }
    const std::uint8_t marker = chooseMarker(source);
    std::uint8_t* out = destination.data();
    *out++ = marker ^ 0x9C;
    *out++ = source[0];

    std::uint32_t p = 1;
    while (p < n) {
        const Match match = findMatch(p);
        if (matchPays(match.length, match.distance)) {
            *out++ = marker;
            out += writeVarint(match.length, out);
            out += writeVarint(match.distance, out);
            p += match.length;
        } else {
            const std::uint8_t literal = source[p++];
            *out++ = literal;
            if (literal == marker) {
                *out++ = 0x00;
            }
        }
    }
    return static_cast<std::uint32_t>(out - destination.data());
}

}  // namespace

std::uint32_t markerLzEncodePlainScan(std::span<const std::uint8_t> source,
                                      std::span<std::uint8_t> destination,
                                      std::uint32_t maximumDistance) {
    return encodeWith(source, destination,
                      [&](std::uint32_t p) { return plainScanMatch(source, p, maximumDistance); });
}

std::uint32_t markerLzEncodePlainScan(std::span<const std::uint8_t> source,
                                      std::span<std::uint8_t> destination,
                                      std::uint32_t maximumDistance, std::span<Match> matchAt) {
    if (matchAt.size() < source.size()) {
        return 0;
    }
    return encodeWith(source, destination, [&](std::uint32_t p) {
        matchAt[p] = plainScanMatch(source, p, maximumDistance);
        return matchAt[p];
    });
}

std::uint32_t markerLzEncode(std::span<const std::uint8_t> source,
                             std::span<std::uint8_t> destination, std::uint32_t maximumDistance,
                             EncoderWorkspace& workspace) {
    FastSearch search = startFastSearch(source, maximumDistance, workspace);
    return encodeWith(source, destination,
                      [&](std::uint32_t p) { return fastSearchMatch(search, p); });
}

std::uint32_t markerLzEncode(std::span<const std::uint8_t> source,
                             std::span<std::uint8_t> destination, std::uint32_t maximumDistance) {
    EncoderWorkspace workspace;
    return markerLzEncode(source, destination, maximumDistance, workspace);
}

}  // namespace bitmapcodec
