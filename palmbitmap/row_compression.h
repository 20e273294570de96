// The three compressions of Palm bitmaps. Each expansion produces
// rowBytes × rows bytes of plain pixel rows from the compressed data, or fails
// when the data run short of that; each compression is its inverse, row by
// row, so that no run crosses the end of a row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "palm_bitmap.h"

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

// The compressed forms of whole plain rows (rows.size() a multiple of
// rowBytes), without the size field that precedes them in a bitmap.
std::vector<std::uint8_t> compressScanLine(std::span<const std::uint8_t> rows,
                                           std::size_t rowBytes);
std::vector<std::uint8_t> compressRle(std::span<const std::uint8_t> rows, std::size_t rowBytes);
std::vector<std::uint8_t> compressPackBits(std::span<const std::uint8_t> rows, std::size_t unitSize,
                                           std::size_t rowBytes);

// The most bytes the compression above writes for `rows` rows of rowBytes,
// whatever they hold (none: the rows themselves).
std::size_t compressedSizeBound(Compression compression, std::size_t rowBytes, std::size_t rows);

}  // namespace palmbitmap
