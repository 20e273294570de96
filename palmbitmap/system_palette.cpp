#include "system_palette.h"

#include <array>

namespace palmbitmap {
namespace {

// After the colour cube: ten greys, light grey, and the four dark colours of
// the old 16-colour systems; every index beyond is black.
constexpr std::array<Rgb, 15> kPaletteTail = {{
    {0x11, 0x11, 0x11},
    {0x22, 0x22, 0x22},
    {0x44, 0x44, 0x44},
    {0x55, 0x55, 0x55},
    {0x77, 0x77, 0x77},
    {0x88, 0x88, 0x88},
    {0xAA, 0xAA, 0xAA},
    {0xBB, 0xBB, 0xBB},
    {0xDD, 0xDD, 0xDD},
    {0xEE, 0xEE, 0xEE},
    {0xC0, 0xC0, 0xC0},
    {0x80, 0x00, 0x00},
    {0x80, 0x00, 0x80},
    {0x00, 0x80, 0x00},
    {0x00, 0x80, 0x80},
}};

constexpr unsigned kCubeColors = 215;  // the 6×6×6 cube without black, which comes last

// The cube runs from white down: green changes fastest, then blue over the
// light half (FF, CC, 99) for every red, then the same over the dark half.
Rgb cubeColor(unsigned index) {
    const unsigned half = index / 108;
    const unsigned inHalf = index % 108;
    const auto level = [](unsigned step) { return static_cast<std::uint8_t>(0xFF - 0x33 * step); };
    return {level(inHalf / 18), level(inHalf % 6), level((inHalf / 6) % 3 + 3 * half)};
}

}  // namespace

Rgb defaultColor(int depth, unsigned index) {
    if (depth < 8) {
        const unsigned maximum = (1u << depth) - 1;
        const auto grey = static_cast<std::uint8_t>(255 - index * 255 / maximum);
        return {grey, grey, grey};
    }
    if (index < kCubeColors) {
        return cubeColor(index);
    }
    if (index - kCubeColors < kPaletteTail.size()) {
        return kPaletteTail[index - kCubeColors];
    }
    return {0, 0, 0};
}

}  // namespace palmbitmap
