// Suffix array and LCP array of a byte string: the index under the encoder's
// fast match search.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace bitmapcodec {

// The start positions of all suffixes of text in lexicographic order (a
// shorter suffix before every longer one that it prefixes). Linear time
// (induced sorting).
std::vector<std::int32_t> buildSuffixArray(std::span<const std::uint8_t> text);

// lcp[r] = length of the common prefix of the suffixes at ranks r - 1 and r;
// lcp[0] = 0.
std::vector<std::int32_t> buildLcpArray(std::span<const std::uint8_t> text,
                                        std::span<const std::int32_t> suffixArray);

}  // namespace bitmapcodec
