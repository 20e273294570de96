// CompressedBitmap: the stored form of a compressed bitmap resource. A 12-byte
// header ('cBMP', the bitmap's size and the stream's size, both little-endian)
// followed by the marker-byte LZ stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "marker_lz.h"

namespace bitmapcodec {

inline constexpr std::size_t kContainerHeaderSize = 12;
inline constexpr std::array<std::uint8_t, 4> kContainerMagic = {'c', 'B', 'M', 'P'};

// The room that encodeBitmapResource needs: the largest container, which is
// also enough for a plain copy.
constexpr std::size_t compressedBitmapBound(std::size_t size) {
    return kContainerHeaderSize + 1 + size + size / 256;
}

struct ContainerInfo {
    bool isContainer = false;                   // the bytes begin with the magic
    std::optional<std::uint32_t> declaredSize;  // the bitmap's size, once the header is whole
};

// What the bytes of a resource say about themselves, without decoding them.
ContainerInfo inspectContainer(std::span<const std::uint8_t> data);

// Turns the bytes of one bitmap resource into what the compressor stores and
// places them at the start of out; returns their count. That is a container
// strictly smaller than data, or else a plain copy of data (the count then
// equals data.size()). Data that already are a container are copied as they
// are. When an id-0 'PlRC' resource was removed (plrcRemoved), a byte 2 at
// offset 27 becomes 1 in data itself, whatever is stored. keepRaw forces the
// plain copy, without running the encoder. out must hold compressedBitmapBound(data.size()) bytes,
// else nothing is placed and the result is 0.
std::uint32_t encodeBitmapResource(std::span<std::uint8_t> data, std::span<std::uint8_t> out,
                                   bool plrcRemoved, bool keepRaw);

// The same, with the encoder's working memory kept in workspace for the next
// bitmap of the pass.
std::uint32_t encodeBitmapResource(std::span<std::uint8_t> data, std::span<std::uint8_t> out,
                                   bool plrcRemoved, bool keepRaw, EncoderWorkspace& workspace);

// Gives back the bitmap that a container holds, or an error for a damaged one.
Decoded decodeCompressedBitmap(std::span<const std::uint8_t> container);

}  // namespace bitmapcodec
