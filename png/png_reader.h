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

struct DecodedPng {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;  // rows top to bottom
    std::string error;               // set when there are no pixels
};

DecodedPng decodePng(std::span<const std::uint8_t> file);

// What the platform's decoder gives: 8 bits per channel, or 16 in host order
// (two bytes per channel) when the file has 16.
struct LibraryPixels {
    bool sixteenBits = false;
    std::vector<std::uint8_t> rgba;
    bool ok = false;
};

// In the platform file. The size is already known to be within the limit.
LibraryPixels decodeWithLibrary(std::span<const std::uint8_t> file, std::uint32_t width,
                                std::uint32_t height, bool sixteenBits);

}  // namespace png
