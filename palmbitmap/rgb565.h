// 16-bit direct colour: five bits of red, six of green, five of blue.
#pragma once

#include <cstdint>

#include "palm_bitmap.h"

namespace palmbitmap {

// The high bits repeat in the low ones, so that full intensity stays 255 and
// every 5-6-5 colour has exactly one 8-bit spelling.
constexpr Rgb expand565(std::uint16_t value) {
    const unsigned red = value >> 11;
    const unsigned green = (value >> 5) & 0x3F;
    const unsigned blue = value & 0x1F;
    return {static_cast<std::uint8_t>((red << 3) | (red >> 2)),
            static_cast<std::uint8_t>((green << 2) | (green >> 4)),
            static_cast<std::uint8_t>((blue << 3) | (blue >> 2))};
}

// The 5-6-5 colour nearest to an 8-bit one, channel by channel; a colour
// that expand565 made comes back to its own value.
std::uint16_t nearest565(Rgb color);

}  // namespace palmbitmap
