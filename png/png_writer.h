// PNG files of 8-bit RGBA images, compressed with zlib.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace png {

// The file's bytes for width × height pixels of four bytes each (red, green,
// blue, alpha), rows top to bottom; empty when the sizes do not fit the
// pixels or a PNG (width and height 1 to 2^31 - 1).
std::vector<std::uint8_t> encodeRgbaPng(std::uint32_t width, std::uint32_t height,
                                        std::span<const std::uint8_t> rgba);

}  // namespace png
