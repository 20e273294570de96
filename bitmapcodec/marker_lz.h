// The marker-byte LZ stream: one rare byte value (the marker) introduces every
// match; a match carries its length and distance as varints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "varint.h"

namespace bitmapcodec {

// The largest distance that the handheld's reader accepts in a bitmap.
inline constexpr std::uint32_t kBitmapMaxDistance = 409600;

// A match is written only when it is longer than the marker byte and its two
// varints; otherwise its first byte is written as a literal.
constexpr bool matchPays(std::uint32_t length, std::uint32_t distance) {
    return length > varintSize(distance) + varintSize(length) + 1;
}

// No shorter match pays, whatever its distance.
inline constexpr std::uint32_t kShortestPayingMatch = 4;
static_assert(!matchPays(kShortestPayingMatch - 1, 1) && matchPays(kShortestPayingMatch, 1));

// The longest stream for n input bytes: literals cost one byte, escaped
// markers two, and the marker value is the rarest, so it occurs at most
// n / 256 times.
constexpr std::size_t markerLzStreamBound(std::size_t n) {
    return n == 0 ? 0 : n + 1 + n / 256;
}

// Encodes source into destination and returns the stream's byte count.
// destination must hold markerLzStreamBound(source.size()) bytes; when it does
// not (or the source is longer than 32 bits can count), nothing is written and
// the result is 0, which no non-empty source gives otherwise.
std::uint32_t markerLzEncode(std::span<const std::uint8_t> source,
                             std::span<std::uint8_t> destination, std::uint32_t maximumDistance);

struct EncoderWorkspace;

// The same, with the working memory kept in workspace, to be reused by the
// next call: a pass over many bitmaps then takes it from the system once.
std::uint32_t markerLzEncode(std::span<const std::uint8_t> source,
                             std::span<std::uint8_t> destination, std::uint32_t maximumDistance,
                             EncoderWorkspace& workspace);

// The same encoder with the match search run as the straightforward scan over
// every distance: the reference that fixes the output byte for byte.
std::uint32_t markerLzEncodePlainScan(std::span<const std::uint8_t> source,
                                      std::span<std::uint8_t> destination,
                                      std::uint32_t maximumDistance);

struct Decoded {
    std::vector<std::uint8_t> bytes;
    const char* error = nullptr;  // set when the stream is malformed; bytes are then empty
};

// Decodes a stream that stands for exactly decodedSize bytes. Every byte of
// the stream must be used.
Decoded markerLzDecode(std::span<const std::uint8_t> stream, std::uint32_t decodedSize);

}  // namespace bitmapcodec
