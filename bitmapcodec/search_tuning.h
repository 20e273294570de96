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
// spend beyond the short scans, per input byte, before the index is built:
// about what the index costs to build, in the same units (index build time
// per byte over plain-scan time per unit of work, measured on random bytes
// and on the corpus), so that no input pays more than twice the cheaper of
// the two.
inline constexpr std::uint64_t kPlainWorkPerByte = 48;

// Below this size the plain scan is cheap whatever the data (at most a
// million steps), and the index's fixed-size parts would not fit the
// working-memory bound.
inline constexpr std::size_t kSmallestIndexedInput = 1024;

// Suffix-array intervals of at most this many entries are read directly
// rather than through the wavelet matrix; 8 and 32 were slower on the
// two-value and near-periodic inputs.
inline constexpr std::int32_t kSmallInterval = 16;

// Bytes compared directly before the LCP structure is asked for a common
// prefix: most prefixes are shorter, and comparing them is cheaper than the
// range minimum.
inline constexpr std::uint32_t kDirectCompareBytes = 32;

// LCP entries per block of the range-minimum structure: one cache line and a
// half of entries scanned at either end of a query.
inline constexpr std::int32_t kLcpBlock = 32;

}  // namespace bitmapcodec
