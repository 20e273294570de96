// Every tuned number of the fast match search, with how it was chosen. None
// of them changes a byte of output: the differential tests run the search
// with other values too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bitmapcodec {

// Distances scanned plainly at every position before anything else; many
// searches on bitmaps end there. Measured side by side (whole processes) on
// the three large corpus bitmaps and on 300 KB of two-value bytes, 16 and 64
// came within 6 per cent of 32 either way, inside the machine's noise.
inline constexpr std::uint32_t kShortScanDistances = 32;

// Distances that the plain scan goes on past the short scan before it looks
// again whether a record has run past its distance, where the records of a
// periodic stretch can be taken in one step. Not tuned: the check costs a
// few instructions, and a stretch's candidates cost their length each.
inline constexpr std::uint32_t kStretchCheck = 32;

// Plain-scan work (distances examined plus bytes compared) that the search
// may spend beyond the short scans, for each position the encoder moves past,
// before the index is built. Counted per input in the benchmark: the Fibonacci
// word needs 13 and exact periods, with their stretches taken in one step, far
// less, and then never pay for the index; every corpus bitmap needs 270 or
// more. Timed on the three large corpus bitmaps (best of 15 encodings each),
// when this was a budget for the whole input given at the start: 16 took 0.83
// to 0.91 of the time that 32 took, and 8 was no faster than 16.
inline constexpr std::uint64_t kPlainWorkPerByte = 16;

// Plain-scan work that the search may spend before the positions have added
// theirs, so that the first searches, whose windows are short, need not pay
// for the index. Given per position rather than for the whole input at the
// start, the budget wastes less plain work on inputs that build the index in
// the end. Timed best of 5 encodings each, the whole-input budget and this
// one in turn in one process: with 16384, 0.78 to 0.98 of the time on the
// corpus bitmaps, 0.67 to 0.83 on the generated 300 KB and 1.2 MB inputs that
// build the index, and the same time on the exact periods, which do not (nor
// does the Fibonacci word); with 65536, 0.90 on the corpus bitmaps together.
inline constexpr std::uint64_t kPlainWorkAtStart = 16384;

// Below this size the plain scan is cheap whatever the data (at most a
// million steps). Not a timing: at this size the index with its wavelet
// matrix measures 32 bytes per input byte (tests/memory_bound_test.cpp), and
// its fixed-size parts weigh more per byte below it.
inline constexpr std::size_t kSmallestIndexedInput = 1024;

// Suffix-array intervals of at most this many entries are always read
// directly rather than through the wavelet matrix. Measured like the short
// scan: 8 and 32 came within the noise of 16 (8: 1.17 times on the corpus
// bitmaps, 0.90 on two-value bytes; 32: 1.02 and 0.97).
inline constexpr std::int32_t kSmallInterval = 16;

// Links of the chain of a position's first four bytes that one query for a
// large interval may follow before it reads the suffix array instead. Timed
// on the three large corpus bitmaps (best of 15 encodings each) with
// kDirectReadsPerByte = 8: 256 took 1.6 to 1.8 times as long as 1024 on
// 31000, whose queries need the most links, and about the same on the other
// two; 4096 came within the noise of 1024.
inline constexpr std::uint32_t kChainSteps = 1024;

// Links that all the queries of one input may follow, per input byte: the
// bound that keeps the chains' share of the worst case linear. Counted in
// the benchmark: no generated class or corpus bitmap follows more than 4.4.
inline constexpr std::uint64_t kChainStepsPerByte = 8;

// Suffix-array entries that the queries of one input may read directly in
// intervals larger than kSmallInterval, per input byte, before the wavelet
// matrix is built. Timed like kChainSteps, with the chain in front of them: 8
// and 32 came within the noise of each other, and 2 took 1.25 to 1.45 times
// as long as 8 on two of the three bitmaps and about the same on the third.
inline constexpr std::uint64_t kDirectReadsPerByte = 8;

// Bytes compared directly before the LCP structure is asked for a common
// prefix: most prefixes are shorter, and comparing them is cheaper than the
// range minimum. Not tuned: the comparison is under 3 per cent of the
// profiles of the corpus bitmaps.
inline constexpr std::uint32_t kDirectCompareBytes = 32;

// Entries ahead of the one being read at which each induction pass of the
// suffix sort asks for the text's code that it will need. Timed on the
// generated 1.2 MB inputs (best of 7 suffix sorts each): with 32, 0.94 to 1.0
// of the time without; with 96, 0.97 to 1.05; at 300 KB, where the text
// stays in the L2 cache, no difference.
inline constexpr std::int32_t kInducePrefetch = 32;

// LCP entries per block of the range-minimum structure: up to this many
// entries (128 bytes) are scanned at either end of a query, before the table
// of block minima is used. Not tuned.
inline constexpr std::int32_t kLcpBlock = 32;

}  // namespace bitmapcodec
