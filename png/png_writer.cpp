#include "png_writer.h"

#include <zlib.h>

#include <array>
#include <string_view>

#include "byte_order.h"

namespace png {
namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    const std::size_t at = out.size();
    out.resize(at + 4);
    byteorder::storeBigEndian32(value, out, at);
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type,
              std::span<const std::uint8_t> data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeStart = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    // The checksum covers the type and the data, not the length.
    uLong crc = crc32(0, nullptr, 0);
    crc = crc32(crc, out.data() + typeStart, static_cast<uInt>(out.size() - typeStart));
    put32(out, static_cast<std::uint32_t>(crc));
}

constexpr std::uint32_t kLargestDimension = 0x7FFFFFFF;
constexpr std::uint8_t kFilterSub = 1;

// Each row starts with its filter byte. Sub (the difference to the pixel on
// the left) turns the flat areas and gradients of skins into runs of zeros.
std::vector<std::uint8_t> filteredRows(std::uint32_t width, std::uint32_t height,
                                       std::span<const std::uint8_t> rgba) {
    const std::size_t stride = std::size_t{width} * 4;
    std::vector<std::uint8_t> rows;
    rows.reserve((stride + 1) * height);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rgba.data() + y * stride;
        rows.push_back(kFilterSub);
        for (std::size_t k = 0; k < stride; ++k) {
            rows.push_back(static_cast<std::uint8_t>(row[k] - (k >= 4 ? row[k - 4] : 0)));
        }
    }
    return rows;
}

}  // namespace

std::vector<std::uint8_t> encodeRgbaPng(std::uint32_t width, std::uint32_t height,
                                        std::span<const std::uint8_t> rgba) {
    if (width == 0 || height == 0 || width > kLargestDimension || height > kLargestDimension ||
        rgba.size() / 4 / width != height || rgba.size() != std::size_t{width} * height * 4) {
        return {};
    }
    const std::vector<std::uint8_t> rows = filteredRows(width, height, rgba);
    uLongf compressedSize = compressBound(static_cast<uLong>(rows.size()));
    std::vector<std::uint8_t> compressed(compressedSize);
    if (rows.size() > UINT32_MAX ||
        compress2(compressed.data(), &compressedSize, rows.data(), static_cast<uLong>(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    compressed.resize(compressedSize);

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    put32(header, width);
    put32(header, height);
    // 8 bits per channel, colour type 6 (RGBA), deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 6, 0, 0, 0});
    putChunk(out, "IHDR", header);
    putChunk(out, "IDAT", compressed);
    putChunk(out, "IEND", {});
    return out;
}

}  // namespace png
