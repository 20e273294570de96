#include "png_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace png {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// Signature, the IHDR chunk's length and type, width, height, bit depth.
constexpr std::size_t kHeaderEnd = 8 + 8 + 9;

std::uint32_t load32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

// Rounded, as image editors scale 16-bit channels down; both platforms then
// give the same bytes.
std::uint8_t toEightBits(std::uint16_t value) {
    return static_cast<std::uint8_t>((std::uint32_t{value} * 255 + 32767) / 65535);
}

}  // namespace

DecodedPng decodePng(std::span<const std::uint8_t> file) {
    DecodedPng png;
    if (file.size() < kSignature.size() ||
        !std::equal(kSignature.begin(), kSignature.end(), file.begin())) {
        png.error = "not a PNG file";
        return png;
    }
    if (file.size() < kHeaderEnd || std::memcmp(file.data() + 12, "IHDR", 4) != 0) {
        png.error = "the PNG file is damaged or cut short";
        return png;
    }
    const std::uint32_t width = load32(file, 16);
    const std::uint32_t height = load32(file, 20);
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) {
        png.error = "the image is " + std::to_string(width) + "x" + std::to_string(height) +
                    " pixels; the limit is " + std::to_string(kMaxImageSide) + "x" +
                    std::to_string(kMaxImageSide);
        return png;
    }
    const bool sixteenBits = file[24] == 16;
    LibraryPixels pixels = decodeWithLibrary(file, width, height, sixteenBits);
    const std::size_t count = std::size_t{width} * height * 4;
    if (!pixels.ok || pixels.rgba.size() != count * (pixels.sixteenBits ? 2 : 1)) {
        png.error = "the PNG file is damaged or cut short";
        return png;
    }
    png.width = width;
    png.height = height;
    if (!pixels.sixteenBits) {
        png.rgba = std::move(pixels.rgba);
        return png;
    }
    png.rgba.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        std::uint16_t value = 0;
        std::memcpy(&value, &pixels.rgba[2 * k], 2);
        png.rgba[k] = toEightBits(value);
    }
    return png;
}

}  // namespace png
