#include "varint.h"

namespace bitmapcodec {

std::uint32_t writeVarint(std::uint32_t value, std::uint8_t* destination) {
    std::uint32_t count = 0;
    do {
        std::uint8_t byte = value & 0x7F;
        value >>= 7;
        if (value != 0) {
            byte |= 0x80;
        }
        destination[count++] = byte;
    } while (value != 0);
    return count;
}

std::optional<VarintRead> readVarint(std::span<const std::uint8_t> bytes) {
    VarintRead result;
    for (std::uint32_t i = 0; i < kMaxVarintSize && i < bytes.size(); ++i) {
        const std::uint32_t group = bytes[i] & 0x7F;
        // The fifth byte carries only the top four bits of a 32-bit value.
        if (i == kMaxVarintSize - 1 && group > 0x0F) {
            return std::nullopt;
        }
        result.value |= group << (7 * i);
        if ((bytes[i] & 0x80) == 0) {
            result.size = i + 1;
            return result;
        }
    }
    return std::nullopt;
}

}  // namespace bitmapcodec
