// Every tuned number of the fast match search, with how it was chosen. None
// of them changes a byte of output: the differential tests run the search
// with other values too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bitmapcodec {

// Distances scanned plainly at every position before anything else. Most
// searches on bitmaps end there; 16 and 64 were each a few per cent slower
// over the corpus in the benchmark.
inline constexpr std::uint32_t kShortScanDistances = 32;

// Plain-scan work (distances examined plus bytes compared) that one input may
// spend beyond the short scans, per input byte, before the index is built.
// Counted per input in the benchmark: periodic inputs and the Fibonacci word
// need at most 13 and then never pay for the index; every corpus bitmap needs
// 270 or more, and there the index costs about as much as 100 units per byte.
inline constexpr std::uint64_t kPlainWorkPerByte = 32;

// Below this size the plain scan is cheap whatever the data (at most a
// million steps), and the index's fixed-size parts would not fit the
// working-memory bound.
inline constexpr std::size_t kSmallestIndexedInput = 1024;

// Suffix-array intervals of at most this many entries are read directly
// rather than through the wavelet matrix; 8 and 32 were slower on the
// two-value and near-periodic inputs.
inline constexpr std::int32_t kSmallInterval = 16;

// Suffix-array entries that the queries of one input may read directly in
// intervals larger than kSmallInterval, per input byte, before the wavelet
// matrix is built. Of 0, 2, 8, 32 and 128, 2 was the fastest on the corpus
// bitmaps (0 cost a third more on one that never needs the matrix; 32 and
// more only delayed it on those that do).
inline constexpr std::uint64_t kDirectReadsPerByte = 2;

// Bytes compared directly before the LCP structure is asked for a common
// prefix: most prefixes are shorter, and comparing them is cheaper than the
// range minimum.
inline constexpr std::uint32_t kDirectCompareBytes = 32;

// LCP entries per block of the range-minimum structure: one cache line and a
// half of entries scanned at either end of a query.
inline constexpr std::int32_t kLcpBlock = 32;

}  // namespace bitmapcodec
