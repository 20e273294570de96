#include "palm_bitmap.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "bitmap_format.h"
#include "byte_order.h"
#include "rgb565.h"
#include "row_compression.h"
#include "system_palette.h"

namespace palmbitmap {
namespace {

using byteorder::loadBigEndian16;
using byteorder::loadBigEndian32;
using namespace format;

std::string describe(const char* what, std::size_t need, std::size_t have) {
    return std::string(what) + " needs " + std::to_string(need) + " bytes, " +
           std::to_string(have) + " left";
}

// A member's layout once its header has been read: where its parts lie
// within the member's bytes, and where the next member begins (0: none).
struct Layout {
    std::size_t headerSize = kOldHeaderSize;
    std::size_t nextOffset = 0;
    std::uint8_t pixelFormat = kIndexed;
};

// Fills in the header fields and returns the layout, or sets member.error.
// A member whose pixels pass the budget sets budgetSpent too.
std::optional<Layout> readHeader(std::span<const std::uint8_t> bytes, std::size_t imageBudget,
                                 BitmapMember& member, bool& budgetSpent) {
    Layout layout;
    member.width = loadBigEndian16(bytes, kWidthOffset);
    member.height = loadBigEndian16(bytes, kHeightOffset);
    member.rowBytes = loadBigEndian16(bytes, kRowBytesOffset);
    member.flags = loadBigEndian16(bytes, kFlagsOffset);
    member.version = bytes[kVersionOffset];
    member.depth = member.version == 0 ? 1 : bytes[kDepthOffset];
    const bool compressed = (member.flags & kCompressedFlag) != 0;
    std::uint8_t compressionType = 0;  // before version 2 a compressed bitmap is scan line
    switch (member.version) {
        case 0:
            break;
        case 1:
            layout.nextOffset =
                std::size_t{loadBigEndian16(bytes, kNextWordsOffset)} * kNextWordSize;
            break;
        case 2:
            layout.nextOffset =
                std::size_t{loadBigEndian16(bytes, kNextWordsOffset)} * kNextWordSize;
            member.transparentIndex = bytes[kTransparentIndexOffset];
            compressionType = bytes[kCompressionTypeOffset];
            break;
        case 3: {
            if (bytes.size() < kVersion3HeaderSize) {
                member.error = describe("version 3 header", kVersion3HeaderSize, bytes.size());
                return std::nullopt;
            }
            layout.headerSize = bytes[kHeaderSizeOffset];
            layout.pixelFormat = bytes[kPixelFormatOffset];
            compressionType = bytes[kCompressionTypeOffset];
            member.density = loadBigEndian16(bytes, kDensityOffset);
            const std::uint32_t transparentValue = loadBigEndian32(bytes, kTransparentValueOffset);
            member.transparentIndex = static_cast<std::uint8_t>(transparentValue);
            // Palm OS reads a 16-bit member's value as 5-6-5; netpbm's
            // pnmtopalm writes 0x00RRGGBB, which no 5-6-5 value reaches above 0xFFFF.
            member.transparentColor = transparentValue <= 0xFFFF
                                          ? expand565(static_cast<std::uint16_t>(transparentValue))
                                          : Rgb{static_cast<std::uint8_t>(transparentValue >> 16),
                                                static_cast<std::uint8_t>(transparentValue >> 8),
                                                static_cast<std::uint8_t>(transparentValue)};
            layout.nextOffset = loadBigEndian32(bytes, kNextBytesOffset);
            if (layout.headerSize < kVersion3HeaderSize || layout.headerSize > bytes.size()) {
                member.error = "header size " + std::to_string(layout.headerSize) + " is wrong";
                return std::nullopt;
            }
            break;
        }
        default:
            member.error = "unknown bitmap version " + std::to_string(member.version);
            return std::nullopt;
    }
    if (!isValidDepth(member.depth)) {
        member.error = "unknown depth " + std::to_string(member.depth);
        return std::nullopt;
    }
    if (member.version < 3) {
        member.directColor = member.depth == 16;
    } else if (member.depth == 16) {
        if (layout.pixelFormat != kRgb565 && layout.pixelFormat != kRgb565LittleEndian) {
            member.error = "pixel format " + std::to_string(layout.pixelFormat) + " at 16 bits";
            return std::nullopt;
        }
        member.directColor = true;
    } else if (layout.pixelFormat != kIndexed) {
        member.error = "pixel format " + std::to_string(layout.pixelFormat) + " is not supported";
        return std::nullopt;
    }
    member.transparent = member.version >= 2 && (member.flags & kHasTransparencyFlag) != 0;
    if (compressed) {
        const auto compression = compressionOfCode(compressionType);
        if (!compression) {
            member.error = "unknown compression " + std::to_string(compressionType);
            return std::nullopt;
        }
        member.compression = *compression;
    }
    if (member.width == 0 || member.height == 0) {
        member.error = "bitmap has no pixels";
        return std::nullopt;
    }
    if (std::size_t{static_cast<unsigned>(member.rowBytes)} * 8 <
        std::size_t{static_cast<unsigned>(member.width)} * static_cast<unsigned>(member.depth)) {
        member.error = "rows of " + std::to_string(member.rowBytes) + " bytes cannot hold " +
                       std::to_string(member.width) + " pixels";
        return std::nullopt;
    }
    const std::size_t imageBytes =
        std::size_t{static_cast<unsigned>(member.width)} * static_cast<unsigned>(member.height) * 4;
    const std::size_t pixelBytes =
        std::size_t{static_cast<unsigned>(member.rowBytes)} * static_cast<unsigned>(member.height);
    if (imageBytes > kMaxImageBytes || pixelBytes > kMaxImageBytes) {
        member.error = "dimensions " + std::to_string(member.width) + "x" +
                       std::to_string(member.height) + " exceed the limit";
        return std::nullopt;
    }
    if (imageBytes > imageBudget) {
        member.error = "not decoded: its pixels pass the budget";
        budgetSpent = true;
        return std::nullopt;
    }
    return layout;
}

// Reads the colour table and the direct-colour block that may follow the
// header; returns where the pixel data begin, or sets member.error.
std::optional<std::size_t> readColorInfo(std::span<const std::uint8_t> bytes, BitmapMember& member,
                                         Layout& layout) {
    std::size_t pos = layout.headerSize;
    if ((member.flags & kHasColorTableFlag) != 0 && member.version >= 1) {
        if (bytes.size() - pos < kColorCountSize) {
            member.error = describe("colour table", kColorCountSize, bytes.size() - pos);
            return std::nullopt;
        }
        const std::size_t entries = loadBigEndian16(bytes, pos);
        pos += kColorCountSize;
        if (entries > 256) {
            member.error = "colour table of " + std::to_string(entries) + " entries";
            return std::nullopt;
        }
        if (bytes.size() - pos < entries * kColorEntrySize) {
            member.error = describe("colour table", entries * kColorEntrySize, bytes.size() - pos);
            return std::nullopt;
        }
        // Entry k is colour k; its first byte repeats the index and is not trusted.
        for (std::size_t k = 0; k < entries; ++k, pos += kColorEntrySize) {
            member.colorTable.push_back({bytes[pos + 1], bytes[pos + 2], bytes[pos + 3]});
        }
        member.colorTableEntries = static_cast<int>(entries);
    }
    if (member.directColor && member.version < 3) {
        if (bytes.size() - pos < kDirectInfoSize) {
            member.error =
                describe("direct colour information", kDirectInfoSize, bytes.size() - pos);
            return std::nullopt;
        }
        if (bytes[pos] != 5 || bytes[pos + 1] != 6 || bytes[pos + 2] != 5) {
            member.error = "direct colour that is not 5-6-5";
            return std::nullopt;
        }
        member.transparentColor = {bytes[pos + 5], bytes[pos + 6], bytes[pos + 7]};
        pos += kDirectInfoSize;
    }
    return pos;
}

// The plain pixel rows, from the member's bytes at pos; sets storedSize.
PixelRows readPixelRows(std::span<const std::uint8_t> bytes, std::size_t pos,
                        BitmapMember& member) {
    const auto rowBytes = static_cast<std::size_t>(member.rowBytes);
    const auto rows = static_cast<std::size_t>(member.height);
    const std::size_t left = bytes.size() - pos;
    if (member.compression == Compression::none) {
        if (left < rowBytes * rows) {
            member.error = describe("pixel data", rowBytes * rows, left);
            return std::nullopt;
        }
        member.storedSize = pos + rowBytes * rows;
        return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(pos) +
                                             static_cast<std::ptrdiff_t>(rowBytes * rows));
    }
    // The compressed data begin with their own size, the size field included.
    const std::size_t fieldSize = compressedSizeFieldSize(member.version);
    if (left < fieldSize) {
        member.error = describe("compressed size", fieldSize, left);
        return std::nullopt;
    }
    const std::size_t dataSize =
        fieldSize == 4 ? loadBigEndian32(bytes, pos) : loadBigEndian16(bytes, pos);
    if (dataSize < fieldSize || dataSize > left) {
        member.error = "compressed data of " + std::to_string(dataSize) + " bytes, " +
                       std::to_string(left) + " left";
        return std::nullopt;
    }
    member.storedSize = pos + dataSize;
    const auto data = bytes.subspan(pos + fieldSize, dataSize - fieldSize);
    PixelRows pixels;
    switch (member.compression) {
        case Compression::scanLine:
            pixels = expandScanLine(data, rowBytes, rows);
            break;
        case Compression::rle:
            pixels = expandRle(data, rowBytes, rows);
            break;
        case Compression::packBits:
            pixels = expandPackBits(data, member.depth == 16 ? 2 : 1, rowBytes, rows);
            break;
        case Compression::none:
            break;
    }
    if (!pixels) {
        member.error = "compressed data end before the last row";
    }
    return pixels;
}

std::uint16_t pack565(Rgb color) {
    return static_cast<std::uint16_t>(((color.red >> 3) << 11) | ((color.green >> 2) << 5) |
                                      (color.blue >> 3));
}

void putPixel(std::vector<std::uint8_t>& rgba, Rgb color, bool clear) {
    rgba.insert(rgba.end(),
                {color.red, color.green, color.blue, static_cast<std::uint8_t>(clear ? 0 : 255)});
}

bool convertPixels(const std::vector<std::uint8_t>& rows, const Layout& layout,
                   BitmapMember& member) {
    Image& image = member.image;
    image.width = member.width;
    image.height = member.height;
    image.rgba.reserve(static_cast<std::size_t>(member.width) *
                       static_cast<std::size_t>(member.height) * 4);
    const auto rowBytes = static_cast<std::size_t>(member.rowBytes);
    const bool littleEndian = layout.pixelFormat == kRgb565LittleEndian;
    const std::uint16_t transparent565 = pack565(member.transparentColor);
    for (std::size_t y = 0; y < static_cast<std::size_t>(member.height); ++y) {
        const std::uint8_t* row = rows.data() + y * rowBytes;
        for (std::size_t x = 0; x < static_cast<std::size_t>(member.width); ++x) {
            if (member.directColor) {
                const std::uint16_t value = littleEndian
                                                ? byteorder::loadLittleEndian16(row + 2 * x)
                                                : loadBigEndian16(row + 2 * x);
                putPixel(image.rgba, expand565(value),
                         member.transparent && value == transparent565);
                continue;
            }
            // The leftmost pixel sits in the highest bits of its byte.
            const std::size_t bit = x * static_cast<std::size_t>(member.depth);
            const unsigned shift = 8 - static_cast<unsigned>(member.depth) - bit % 8;
            const unsigned index = (row[bit / 8] >> shift) & ((1u << member.depth) - 1);
            Rgb color;
            if (member.colorTable.empty()) {
                color = defaultColor(member.depth, index);
            } else if (index < member.colorTable.size()) {
                color = member.colorTable[index];
            } else {
                member.error = "pixel index " + std::to_string(index) +
                               " beyond a colour table of " +
                               std::to_string(member.colorTable.size());
                image = {};
                return false;
            }
            putPixel(image.rgba, color, member.transparent && index == member.transparentIndex);
        }
    }
    return true;
}

// Decodes the member whose bytes begin the span; returns the layout when its
// header could be read (the chain may go on even if its pixels are damaged).
std::optional<Layout> decodeMember(std::span<const std::uint8_t> bytes, std::size_t imageBudget,
                                   BitmapMember& member, bool& budgetSpent) {
    std::optional<Layout> layout = readHeader(bytes, imageBudget, member, budgetSpent);
    if (!layout) {
        return std::nullopt;
    }
    const std::optional<std::size_t> pixelStart = readColorInfo(bytes, member, *layout);
    if (!pixelStart) {
        return layout;
    }
    const PixelRows rows = readPixelRows(bytes, *pixelStart, member);
    if (rows) {
        convertPixels(*rows, *layout, member);
    }
    return layout;
}

}  // namespace

BitmapFamily decodePalmBitmap(std::span<const std::uint8_t> resource, std::size_t imageBudget) {
    BitmapFamily family;
    std::size_t offset = 0;
    while (true) {
        const auto bytes = resource.subspan(offset);
        if (bytes.size() < kOldHeaderSize) {
            family.error = describe(offset == 0 ? "bitmap header" : "next bitmap header",
                                    kOldHeaderSize, bytes.size());
            return family;
        }
        std::size_t next = 0;
        std::size_t end = kOldHeaderSize;  // where what begins here ends, as far as known
        if (bytes[kVersionOffset] == 1 && bytes[kDepthOffset] == kDensityMarkerDepth) {
            // Not a bitmap: it tells older systems to stop, and the
            // high-density members follow it.
            next = loadBigEndian16(bytes, kNextWordsOffset) != 0
                       ? std::size_t{loadBigEndian16(bytes, kNextWordsOffset)} * kNextWordSize
                       : kOldHeaderSize;
        } else {
            BitmapMember& member = family.members.emplace_back();
            member.offset = offset;
            const std::optional<Layout> layout =
                decodeMember(bytes, imageBudget, member, family.budgetSpent);
            if (!layout) {
                return family;
            }
            next = layout->nextOffset;
            end = std::max(member.storedSize, layout->headerSize);
            imageBudget -= member.image.rgba.size();
        }
        if (next == 0) {
            return family;
        }
        // Members that shared their bytes would let a small resource stand
        // for any number of large images.
        if (next < end) {
            family.error = "next bitmap at " + std::to_string(offset + next) +
                           " begins inside the one before, which ends at " +
                           std::to_string(offset + end);
            return family;
        }
        // Offsets only point forward, so the chain cannot loop.
        if (next >= bytes.size()) {
            family.error = "next bitmap at " + std::to_string(offset + next) +
                           " lies beyond the resource of " + std::to_string(resource.size()) +
                           " bytes";
            return family;
        }
        offset += next;
    }
}

std::size_t decodedImageBytes(const BitmapFamily& family) {
    std::size_t total = 0;
    for (const BitmapMember& member : family.members) {
        if (member.error.empty()) {
            total += static_cast<std::size_t>(member.width) *
                     static_cast<std::size_t>(member.height) * 4;
        }
    }
    return total;
}

bool isIntact(const BitmapFamily& family) {
    return family.error.empty() && !family.members.empty() &&
           std::all_of(family.members.begin(), family.members.end(),
                       [](const BitmapMember& m) { return m.error.empty(); });
}

}  // namespace palmbitmap
