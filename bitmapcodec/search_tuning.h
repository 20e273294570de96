// Every tuned number of the fast match search. None of them changes a byte of
// output: the differential tests run the search with other values too. How
// each was measured is in the commit that set it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bitmapcodec {

// Distances scanned plainly at every position first: 16 and 64 timed within
// the noise of 32 on the corpus bitmaps and two-value bytes.
inline constexpr std::uint32_t kShortScanDistances = 32;

// Distances between looks for a record that ran past its distance, where a
// periodic stretch can be taken in one step. Not tuned: a look is a few
// instructions.
inline constexpr std::uint32_t kStretchCheck = 32;

// Plain-scan work per position passed before the index is built: the
// Fibonacci word needs 13, every corpus bitmap 270 or more; 8 timed no faster.
inline constexpr std::uint64_t kPlainWorkPerByte = 16;

// Plain-scan work allowed before the positions have added theirs: 0.67 to 0.98
// of the time of a whole-input budget on inputs that build the index.
inline constexpr std::uint64_t kPlainWorkAtStart = 16384;

// Below this size the stretch chains are not tried: starting them and
// giving them up made corpus bitmaps of 2 to 5 KB take 1.07 to 1.15 times as
// long, and the plain scan and the index cost little there.
inline constexpr std::size_t kSmallestChainedInput = 8192;

// The shortest stretch of period 1 or 2 that is one link of the stretch
// chains rather than a link per position.
inline constexpr std::uint32_t kShortestStretchLink = 8;

// The stretch chains are given up once they hold more than one link per this
// many positions and kStretchLinksAllowance more. The interface panel needs
// one per 9, corpus bitmap 31999 one per 5.5 (three times faster than with
// the index); 2 made speckled 1 in 8 take 1.7 times as long, 8 left the
// corpus bitmaps as fast as without the chains; a larger allowance slowed
// small dense bitmaps (31001: twice as long at 4096).
inline constexpr std::uint32_t kPositionsPerStretchLink = 4;
inline constexpr std::size_t kStretchLinksAllowance = 256;

// The most bits of the stretch chains' hash: flat bitmaps have few keys.
inline constexpr int kChainBucketBitsMost = 12;

// Work along the stretch chains (links visited, eight bytes compared) per
// position passed and at the start, before the index is built instead.
inline constexpr std::uint64_t kChainWorkPerByte = 16;
inline constexpr std::uint64_t kChainWorkAtStart = 16384;

// Below this size the plain scan costs at most a million steps and the
// index's fixed-size parts would weigh most per byte.
inline constexpr std::size_t kSmallestIndexedInput = 1024;

// Suffix-array intervals always read directly: 8 and 32 timed within the
// noise of 16.
inline constexpr std::int32_t kSmallInterval = 16;

// Chain links one query may follow: 256 took 1.6 to 1.8 times as long on
// corpus bitmap 31000; 4096 timed within the noise.
inline constexpr std::uint32_t kChainSteps = 1024;

// Chain links per input byte for all queries together, the bound that keeps
// the chains linear: no input of the benchmark follows more than 4.4. The
// index's four-byte chain earns its place beside the stretch chains: with 0
// here and the chain not built (one run each, a loaded machine), the period 3
// to 6 classes, ordered dither and speckled 1 in 8 took 1.8 to 2.6 times as
// long, corpus bitmap 31100 1.8, all corpus bitmaps 1.3, and Tessel on the
// sample skin 39.4 ms against 20.1 with 1396 minor faults against 477; only
// the sprites (0.84 to 0.96) and the input past the window (0.91) gained.
inline constexpr std::uint64_t kChainStepsPerByte = 8;

// Suffix-array entries per input byte read directly before the wavelet matrix
// is built: 2 took 1.25 to 1.45 times as long; 32 timed within the noise.
inline constexpr std::uint64_t kDirectReadsPerByte = 8;

// Bytes compared directly before the LCP structure is asked. Not tuned: the
// comparison is under 3 per cent of the corpus profiles.
inline constexpr std::uint32_t kDirectCompareBytes = 32;

// Entries ahead at which the suffix sort's inductions ask for the text: 0.94
// to 1.0 of the time without at 1.2 MB, no difference at 300 KB.
inline constexpr std::int32_t kInducePrefetch = 32;

// LCP entries per block of the range minima. Not tuned.
inline constexpr std::int32_t kLcpBlock = 32;

}  // namespace bitmapcodec
