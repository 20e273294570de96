// The fixed numbers of the Palm bitmap format that the decoder and the
// writer both follow: header flags, header sizes, pixel formats and the
// compression codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "palm_bitmap.h"

namespace palmbitmap::format {

inline constexpr std::uint16_t kCompressedFlag = 0x8000;
inline constexpr std::uint16_t kHasColorTableFlag = 0x4000;
inline constexpr std::uint16_t kHasTransparencyFlag = 0x2000;
inline constexpr std::uint16_t kDirectColorFlag = 0x0400;

inline constexpr std::size_t kOldHeaderSize = 16;  // versions 0 to 2, and the density marker
inline constexpr std::size_t kVersion3HeaderSize = 24;
// Before version 3 a direct-colour bitmap carries bits per channel and the
// transparent colour after its header.
inline constexpr std::size_t kDirectInfoSize = 8;
inline constexpr std::uint8_t kDensityMarkerDepth = 0xFF;

// Version 3 pixel formats.
inline constexpr std::uint8_t kIndexed = 0;
inline constexpr std::uint8_t kRgb565 = 1;
inline constexpr std::uint8_t kRgb565LittleEndian = 2;

inline constexpr bool isValidDepth(int depth) {
    return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
}

// The compression type byte (version 2 and later).
inline constexpr std::uint8_t kUncompressedType = 0xFF;

inline std::uint8_t compressionCode(Compression compression) {
    switch (compression) {
        case Compression::scanLine:
            return 0;
        case Compression::rle:
            return 1;
        case Compression::packBits:
            return 2;
        case Compression::none:
            break;
    }
    return kUncompressedType;
}

inline std::optional<Compression> compressionOfCode(std::uint8_t code) {
    switch (code) {
        case 0:
            return Compression::scanLine;
        case 1:
            return Compression::rle;
        case 2:
            return Compression::packBits;
        case kUncompressedType:
            return Compression::none;
        default:
            return std::nullopt;
    }
}

}  // namespace palmbitmap::format
