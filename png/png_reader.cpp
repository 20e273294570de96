#include "png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include "byte_order.h"

namespace png {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kIhdrLength = 13;
// A chunk: its length, type, data and checksum.
constexpr std::size_t kChunkFrame = 12;
constexpr char kDamaged[] = "the PNG file is damaged or cut short";

// Rounded, as image editors scale 16-bit channels down; both platforms then
// give the same bytes.
std::uint8_t toEightBits(std::uint16_t value) {
    return static_cast<std::uint8_t>((std::uint32_t{value} * 255 + 32767) / 65535);
}

struct Chunk {
    std::string_view type;
    std::size_t start = 0;  // of its length field
    std::size_t size = 0;   // the whole chunk, frame included
};

// The chunk at `at`, when the file holds all of it.
std::optional<Chunk> chunkAt(std::span<const std::uint8_t> file, std::size_t at) {
    if (file.size() - at < kChunkFrame) {
        return std::nullopt;
    }
    const std::uint32_t length = byteorder::loadBigEndian32(file, at);
    // Lengths stop at 2^31 - 1.
    if (length > 0x7FFFFFFF || file.size() - at - kChunkFrame < length) {
        return std::nullopt;
    }
    return Chunk{std::string_view(reinterpret_cast<const char*>(file.data() + at + 4), 4), at,
                 kChunkFrame + length};
}

bool checksumHolds(std::span<const std::uint8_t> file, const Chunk& chunk) {
    // The checksum covers the type and the data, not the length.
    const std::size_t covered = chunk.size - 8;
    uLong crc = crc32(0, nullptr, 0);
    crc = crc32(crc, file.data() + chunk.start + 4, static_cast<uInt>(covered));
    return crc == byteorder::loadBigEndian32(file, chunk.start + 4 + covered);
}

// A chunk whose type begins with a capital letter is one no reader may skip.
bool isCritical(const Chunk& chunk) {
    return (chunk.type[0] & 0x20) == 0;
}

bool isKept(const Chunk& chunk) {
    return chunk.type == "IHDR" || chunk.type == "PLTE" || chunk.type == "tRNS" ||
           chunk.type == "IDAT" || chunk.type == "IEND";
}

struct KeptChunks {
    bool intact = false;
    bool allKept = true;             // the file as it is can go to the decoder
    std::vector<std::uint8_t> file;  // otherwise, the signature and the kept chunks
};

// Every chunk whole up to IEND, the critical ones known and with their
// checksums, IHDR once, the palette and tRNS before the data, at least one
// IDAT. Ancillary chunks other than tRNS are skipped unread, their checksums
// too, as readers skip what they do not use; so is a tRNS whose checksum is
// wrong, as libpng skips it.
KeptChunks keptChunks(std::span<const std::uint8_t> file) {
    KeptChunks kept;
    std::vector<Chunk> chunks;
    bool anyData = false;
    std::size_t at = kSignature.size();
    for (;;) {
        const std::optional<Chunk> chunk = chunkAt(file, at);
        if (!chunk || (isCritical(*chunk) && (!isKept(*chunk) || !checksumHolds(file, *chunk))) ||
            (chunk->type == "IHDR" && at != kSignature.size()) ||
            ((chunk->type == "PLTE" || chunk->type == "tRNS") && anyData)) {
            return kept;
        }
        anyData = anyData || chunk->type == "IDAT";
        if (isKept(*chunk) && checksumHolds(file, *chunk)) {
            chunks.push_back(*chunk);
        } else {
            kept.allKept = false;
        }
        at += chunk->size;
        if (chunk->type == "IEND") {
            break;
        }
    }
    if (!anyData) {
        return kept;
    }
    kept.allKept = kept.allKept && at == file.size();
    if (!kept.allKept) {
        kept.file.assign(kSignature.begin(), kSignature.end());
        for (const Chunk& chunk : chunks) {
            const auto from = file.begin() + static_cast<std::ptrdiff_t>(chunk.start);
            kept.file.insert(kept.file.end(), from, from + static_cast<std::ptrdiff_t>(chunk.size));
        }
    }
    kept.intact = true;
    return kept;
}

}  // namespace

PngSize readPngSize(std::span<const std::uint8_t> start) {
    PngSize size;
    if (start.size() < kSignature.size() ||
        !std::equal(kSignature.begin(), kSignature.end(), start.begin())) {
        size.error = "not a PNG file";
        return size;
    }
    const std::optional<Chunk> header = chunkAt(start, kSignature.size());
    if (!header || header->type != "IHDR" || header->size != kChunkFrame + kIhdrLength ||
        !checksumHolds(start, *header)) {
        size.error = kDamaged;
        return size;
    }
    const std::uint32_t width = byteorder::loadBigEndian32(start, 16);
    const std::uint32_t height = byteorder::loadBigEndian32(start, 20);
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide) {
        size.error = "the image is " + std::to_string(width) + "x" + std::to_string(height) +
                     " pixels; the limit is " + std::to_string(kMaxImageSide) + "x" +
                     std::to_string(kMaxImageSide);
        return size;
    }
    size.width = width;
    size.height = height;
    size.sixteenBits = start[24] == 16;
    return size;
}

DecodedPng decodePng(std::span<const std::uint8_t> file) {
    DecodedPng png;
    const PngSize size = readPngSize(file);
    if (!size.error.empty()) {
        png.error = size.error;
        return png;
    }
    const KeptChunks kept = keptChunks(file);
    if (!kept.intact) {
        png.error = kDamaged;
        return png;
    }
    const std::uint32_t width = size.width;
    const std::uint32_t height = size.height;
    LibraryPixels pixels = decodeWithLibrary(kept.allKept ? file : std::span(kept.file), width,
                                             height, size.sixteenBits);
    const std::size_t count = std::size_t{width} * height * 4;
    if (!pixels.ok || pixels.rgba.size() != count * (pixels.sixteenBits ? 2 : 1)) {
        png.error = kDamaged;
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
