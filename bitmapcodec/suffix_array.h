// Suffix array and LCP array of a byte string: the index under the encoder's
// fast match search.
#pragma once

#include <cstdint>
#include <span>

namespace bitmapcodec {

// Writes to sorted (n + 1 entries) the start positions of all suffixes of
// text in lexicographic order (a shorter suffix before every longer one that
// it prefixes), the empty one first: the suffix array proper is
// sorted.subspan(1). symbols (n + 1 entries) is working room. Linear time
// (induced sorting).
void buildSuffixArray(std::span<const std::uint8_t> text, std::span<std::int32_t> sorted,
                      std::span<std::uint16_t> symbols);

// Writes lcp[r] = length of the common prefix of the suffixes at ranks r - 1
// and r, lcp[0] = 0; work is room for n entries.
void buildLcpArray(std::span<const std::uint8_t> text, std::span<const std::int32_t> suffixArray,
                   std::span<std::int32_t> lcp, std::span<std::int32_t> work);

}  // namespace bitmapcodec
