// How often each byte value occurs in an input.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace bitmapcodec {

std::array<std::uint32_t, 256> countByteValues(std::span<const std::uint8_t> bytes);

}  // namespace bitmapcodec
