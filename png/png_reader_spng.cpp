// PNG decoding through libspng.
#include <spng.h>

#include <memory>

#include "png_reader.h"

namespace png {

LibraryPixels decodeWithLibrary(std::span<const std::uint8_t> file, std::uint32_t width,
                                std::uint32_t height, bool sixteenBits) {
    LibraryPixels pixels;
    const std::unique_ptr<spng_ctx, decltype(&spng_ctx_free)> context(spng_ctx_new(0),
                                                                      &spng_ctx_free);
    spng_ctx* ctx = context.get();
    // decodePng has checked every checksum already.
    if (ctx == nullptr || spng_set_image_limits(ctx, width, height) != 0 ||
        spng_set_crc_action(ctx, SPNG_CRC_USE, SPNG_CRC_USE) != 0 ||
        spng_set_png_buffer(ctx, file.data(), file.size()) != 0) {
        return pixels;
    }
    spng_ihdr header{};
    if (spng_get_ihdr(ctx, &header) != 0 || header.width != width || header.height != height) {
        return pixels;
    }
    const int format = sixteenBits ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    std::size_t size = 0;
    if (spng_decoded_image_size(ctx, format, &size) != 0) {
        return pixels;
    }
    pixels.rgba.resize(size);
    // No gamma: the pixels are the numbers in the file, as editors show them.
    if (spng_decode_image(ctx, pixels.rgba.data(), size, format, SPNG_DECODE_TRNS) != 0) {
        pixels.rgba.clear();
        return pixels;
    }
    pixels.sixteenBits = sixteenBits;
    pixels.ok = true;
    return pixels;
}

}  // namespace png
