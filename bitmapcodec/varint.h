// Base-128 varints: 7-bit groups, least significant first, bit 0x80 set in
// every byte but the last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace bitmapcodec {

inline constexpr std::size_t kMaxVarintSize = 5;

// Writes the varint of value at destination (room for kMaxVarintSize bytes)
// and returns its byte count, 1 to 5.
std::uint32_t writeVarint(std::uint32_t value, std::uint8_t* destination);

constexpr std::uint32_t varintSize(std::uint32_t value) {
    std::uint32_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

struct VarintRead {
    std::uint32_t value = 0;
    std::uint32_t size = 0;  // bytes consumed
};

// Reads one varint from the start of the bytes; nothing when they end inside
// it or it does not fit 32 bits.
std::optional<VarintRead> readVarint(std::span<const std::uint8_t> bytes);

}  // namespace bitmapcodec
