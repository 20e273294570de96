// Inputs of the kinds that stress the encoder's match search, made from fixed
// seeds: for the differential tests and the benchmark.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace inputclasses {

using Bytes = std::vector<std::uint8_t>;

Bytes flatColour(int width, int height);  // one 16-bit colour
Bytes gradient(int width, int height);    // 16-bit, smooth in both directions
Bytes randomBytes(std::size_t n, std::uint32_t seed);
Bytes randomOverAlphabet(std::size_t n, int alphabet, std::uint32_t seed);  // values 0..alphabet-1
Bytes randomTwoValues(std::size_t n, std::uint32_t seed);  // 1-bit art: 0x00 and 0xFF
Bytes periodic(std::size_t n, std::size_t period, std::uint32_t seed);
// Periodic data with one byte in every `spacing` (on average) changed.
Bytes nearPeriodic(std::size_t n, std::size_t period, std::size_t spacing, std::uint32_t seed);
Bytes fibonacciWord(std::size_t n);
Bytes tiledSprites(int width, int height, std::uint32_t seed);  // 16-bit, 16x16 tiles
// 16-bit, two colours in an 8x8 ordered (Bayer) dither of a gradient.
Bytes orderedDither(int width, int height);
// 16-bit, one colour with a random colour at one pixel in `oneIn` on average.
Bytes speckledColour(int width, int height, int oneIn, std::uint32_t seed);
// 2 bits per pixel, four to a byte: an error-diffusion dither of a gradient.
Bytes errorDiffusion2Bit(int width, int height);
// tiledSprites with one pixel in 256 (one a tile, on average) of another colour.
Bytes variedSprites(int width, int height, std::uint32_t seed);
// Longer than the largest distance: a random block repeats only beyond it.
Bytes beyondTheWindow(std::size_t n, std::uint32_t seed);
// 16-bit, what interface bitmaps are mostly made of: a flat colour over the
// top quarter, then 16 horizontal bands, each one step of a gradient.
Bytes bandedGradient(int width, int height);
// 16-bit, a rectangle and a disc on a white ground.
Bytes shapesOnFlatGround(int width, int height);
// 16-bit, an interface screen: a title bar shaded row by row, bevelled
// buttons with a border and a label of short strokes each, on a flat ground.
Bytes interfacePanel(int width, int height, std::uint32_t seed);

// The skins (.prc files) in a folder, sorted by name; none when it is no folder.
std::vector<std::filesystem::path> skinsIn(const std::filesystem::path& folder);

}  // namespace inputclasses
