// PNG files read into 8-bit RGBA, whatever an editor wrote: palette, grey,
// RGB, RGBA, with or without transparency, 1 to 16 bits per channel,
// interlaced or not. The decoding itself is the platform's: libspng on
// POSIX systems, the Windows Imaging Component on Windows.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace png {

// The widest and the tallest image read; a larger one is refused from its
// header, before any pixel memory is taken.
inline constexpr std::uint32_t kMaxImageSide = 4096;

// The largest PNG file read, in whole megabytes (MB of 2^20 bytes): the
// largest image at 16-bit RGBA (8 bytes a pixel, a filter byte a row) kept
// uncompressed in zlib's stored blocks (5 bytes for each 65535, 6 for the
// stream), in IDAT chunks of 8 KB as libpng writes them (12 bytes each), and
// 17 MB for ancillary chunks, a 16 MB text chunk among them. A larger file is
// refused before it is read.
inline constexpr std::uint64_t kMaxPngFileSize = [] {
    const std::uint64_t pixels = std::uint64_t{kMaxImageSide} * (1 + kMaxImageSide * 8);
    const std::uint64_t stream = pixels + (pixels + 65534) / 65535 * 5 + 6;
    const std::uint64_t chunks = stream + (stream + 8191) / 8192 * 12;
    constexpr std::uint64_t kMegabyte = 1 << 20;
    return (chunks + 17 * kMegabyte + kMegabyte - 1) / kMegabyte * kMegabyte;
}();

// The signature and the IHDR chunk: what readPngSize needs of a file.
inline constexpr std::size_t kPngHeaderBytes = 8 + 12 + 13;

struct PngSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool sixteenBits = false;
    std::string error;  // set when the header is not one decodePng would read
};

// The image's size from the start of a PNG file (at least kPngHeaderBytes of
// it), before anything else is read: the signature, and the IHDR chunk first,
// intact and within kMaxImageSide.
PngSize readPngSize(std::span<const std::uint8_t> start);

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;  // rows top to bottom
    std::string error;               // set when there are no pixels
};

// Both platforms read the same files: the chunks are walked here (every
// chunk whole, the critical ones with their checksums, IHDR first, IDAT, IEND)
// and the decoder is given only IHDR, PLTE, tRNS, IDAT and IEND. Text and the
// other ancillary chunks are skipped, however many or large.
DecodedPng decodePng(std::span<const std::uint8_t> file);

// What the platform's decoder gives: 8 bits per channel, or 16 in host order
// (two bytes per channel) when the file has 16.
struct LibraryPixels {
    bool sixteenBits = false;
    std::vector<std::uint8_t> rgba;
    bool ok = false;
};

// In the platform file. The size is already known to be within the limit, and
// the file holds only the chunks above.
LibraryPixels decodeWithLibrary(std::span<const std::uint8_t> file, std::uint32_t width,
                                std::uint32_t height, bool sixteenBits);

}  // namespace png
