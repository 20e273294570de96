#include "byte_counts.h"

namespace bitmapcodec {

std::array<std::uint32_t, 256> countByteValues(std::span<const std::uint8_t> bytes) {
    // Eight tables, so that a run of one value does not wait on one counter:
    // bitmaps use few byte values.
    constexpr std::size_t kTables = 8;
    std::array<std::array<std::uint32_t, 256>, kTables> partial{};
    std::size_t i = 0;
    for (; i + kTables <= bytes.size(); i += kTables) {
        for (std::size_t t = 0; t < kTables; ++t) {
            ++partial[t][bytes[i + t]];
        }
    }
    for (; i < bytes.size(); ++i) {
        ++partial[0][bytes[i]];
    }
    std::array<std::uint32_t, 256> counts{};
    for (const auto& table : partial) {
        for (int value = 0; value < 256; ++value) {
            counts[value] += table[value];
        }
    }
    return counts;
}

}  // namespace bitmapcodec
