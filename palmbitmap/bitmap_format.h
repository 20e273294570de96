// The fixed numbers of the Palm bitmap format that the decoder and the
// writer both follow: where each header field lies, header flags, header
// sizes, pixel formats and the compression codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "palm_bitmap.h"

namespace palmbitmap::format {

// Where each field of a member's header lies. The 16-bit and 32-bit fields
// are big-endian; the rest are single bytes.
inline constexpr std::size_t kWidthOffset = 0;     // 16-bit
inline constexpr std::size_t kHeightOffset = 2;    // 16-bit
inline constexpr std::size_t kRowBytesOffset = 4;  // 16-bit
inline constexpr std::size_t kFlagsOffset = 6;     // 16-bit
inline constexpr std::size_t kDepthOffset = 8;
inline constexpr std::size_t kVersionOffset = 9;
// Versions 1 and 2, and the density marker: how far on the next member
// begins, in words (16-bit).
inline constexpr std::size_t kNextWordsOffset = 10;
inline constexpr std::size_t kNextWordSize = 4;
inline constexpr std::size_t kTransparentIndexOffset = 12;  // version 2
inline constexpr std::size_t kCompressionTypeOffset = 13;   // versions 2 and 3
// Version 3 alone.
inline constexpr std::size_t kHeaderSizeOffset = 10;
inline constexpr std::size_t kPixelFormatOffset = 11;
inline constexpr std::size_t kDensityOffset = 14;           // 16-bit
inline constexpr std::size_t kTransparentValueOffset = 16;  // 32-bit
inline constexpr std::size_t kNextBytesOffset = 20;         // 32-bit, in bytes

// The colour table after the header: a 16-bit count, then per entry the
// index and the red, green and blue bytes.
inline constexpr std::size_t kColorCountSize = 2;
inline constexpr std::size_t kColorEntrySize = 4;

// Compressed pixel data begin with their own size, the field included.
inline constexpr std::size_t compressedSizeFieldSize(int version) {
    return version >= 3 ? 4 : 2;
}

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
