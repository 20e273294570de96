// The three compressions of Palm bitmaps. Each produces rowBytes × rows bytes
// of plain pixel rows from the compressed data, or fails when the data run
// short of that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace palmbitmap {

using PixelRows = std::optional<std::vector<std::uint8_t>>;

// Per row, a flag byte for every 8 bytes: a set bit means the byte follows in
// the data, a clear one repeats the byte above it.
PixelRows expandScanLine(std::span<const std::uint8_t> data, std::size_t rowBytes,
                         std::size_t rows);

// Pairs of (count, value).
PixelRows expandRle(std::span<const std::uint8_t> data, std::size_t rowBytes, std::size_t rows);

// Signed counts: n >= 0 copies n + 1 units, n < 0 repeats one unit 1 - n
// times, -128 does nothing. A unit is one byte, or two for 16-bit pixels.
PixelRows expandPackBits(std::span<const std::uint8_t> data, std::size_t unitSize,
                         std::size_t rowBytes, std::size_t rows);

}  // namespace palmbitmap
