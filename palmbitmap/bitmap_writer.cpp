#include "bitmap_writer.h"

#include <algorithm>
#include <array>

#include "bitmap_format.h"
#include "byte_order.h"
#include "rgb565.h"
#include "row_compression.h"

namespace palmbitmap {
namespace {

using byteorder::storeBigEndian16;
using byteorder::storeBigEndian32;
using namespace format;

constexpr std::size_t kLargestWordOffset = std::size_t{0xFFFF} * kNextWordSize;

bool versionAllows(int version, Compression compression) {
    if (version == 1) {
        // Before version 2 the compressed flag means scan line.
        return compression == Compression::none || compression == Compression::scanLine;
    }
    return true;
}

// Rows are padded to whole 16-bit words.
std::size_t rowBytesOf(int width, int depth) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(depth) + 15) / 16 * 2;
}

// The plain rows: the leftmost pixel in the highest bits, rows padded to
// whole 16-bit words.
std::vector<std::uint8_t> packRows(int width, int height, int depth, std::size_t rowBytes,
                                   std::span<const std::uint16_t> values) {
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(height));
    const auto w = static_cast<std::size_t>(width);
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        std::uint8_t* row = rows.data() + y * rowBytes;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint16_t value = values[y * w + x];
            if (depth == 16) {
                byteorder::storeBigEndian16(value, row + 2 * x);
                continue;
            }
            const std::size_t bit = x * static_cast<std::size_t>(depth);
            const unsigned shift = 8 - static_cast<unsigned>(depth) - bit % 8;
            row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | (value << shift));
        }
    }
    return rows;
}

std::vector<std::uint8_t> compressedRows(Compression compression,
                                         std::span<const std::uint8_t> rows, std::size_t rowBytes,
                                         int depth) {
    switch (compression) {
        case Compression::scanLine:
            return compressScanLine(rows, rowBytes);
        case Compression::rle:
            return compressRle(rows, rowBytes);
        case Compression::packBits:
            return compressPackBits(rows, depth == 16 ? 2 : 1, rowBytes);
        case Compression::none:
            break;
    }
    return {rows.begin(), rows.end()};
}

// The header, colour table and direct-colour block of a member.
std::vector<std::uint8_t> memberHead(const MemberFormat& format, int width, int height,
                                     std::size_t rowBytes, Compression compression) {
    const bool v3 = format.version == 3;
    std::vector<std::uint8_t> out(v3 ? kVersion3HeaderSize : kOldHeaderSize);
    storeBigEndian16(static_cast<std::uint16_t>(width), out, kWidthOffset);
    storeBigEndian16(static_cast<std::uint16_t>(height), out, kHeightOffset);
    storeBigEndian16(static_cast<std::uint16_t>(rowBytes), out, kRowBytesOffset);
    std::uint16_t flags = 0;
    if (compression != Compression::none) {
        flags |= kCompressedFlag;
    }
    if (!format.colorTable.empty()) {
        flags |= kHasColorTableFlag;
    }
    if (format.transparentValue) {
        flags |= kHasTransparencyFlag;
    }
    if (format.depth == 16) {
        flags |= kDirectColorFlag;
    }
    storeBigEndian16(flags, out, kFlagsOffset);
    out[kDepthOffset] = static_cast<std::uint8_t>(format.depth);
    out[kVersionOffset] = static_cast<std::uint8_t>(format.version);
    const std::uint16_t transparent = format.transparentValue.value_or(0);
    if (v3) {
        out[kHeaderSizeOffset] = kVersion3HeaderSize;
        out[kPixelFormatOffset] = format.depth == 16 ? kRgb565 : 0;
        out[kCompressionTypeOffset] = compressionCode(compression);
        storeBigEndian16(static_cast<std::uint16_t>(format.density), out, kDensityOffset);
        // Palm OS reads a 16-bit member's transparent value as 5-6-5.
        storeBigEndian32(transparent, out, kTransparentValueOffset);
    } else if (format.version == 2) {
        out[kTransparentIndexOffset] =
            format.depth == 16 ? 0 : static_cast<std::uint8_t>(transparent);
        out[kCompressionTypeOffset] =
            compression == Compression::none ? 0 : compressionCode(compression);
    }
    if (!format.colorTable.empty()) {
        const std::size_t at = out.size();
        out.resize(at + kColorCountSize + kColorEntrySize * format.colorTable.size());
        storeBigEndian16(static_cast<std::uint16_t>(format.colorTable.size()), out, at);
        for (std::size_t k = 0; k < format.colorTable.size(); ++k) {
            const Rgb c = format.colorTable[k];
            const std::array<std::uint8_t, 4> entry = {static_cast<std::uint8_t>(k), c.red, c.green,
                                                       c.blue};
            std::copy(entry.begin(), entry.end(),
                      out.begin() +
                          static_cast<std::ptrdiff_t>(at + kColorCountSize + kColorEntrySize * k));
        }
    }
    if (format.depth == 16 && !v3) {
        // Bits per channel, then the transparent colour as 8-bit RGB.
        const Rgb key = expand565(transparent);
        out.insert(out.end(), {5, 6, 5, 0, 0, key.red, key.green, key.blue});
    }
    return out;
}

}  // namespace

bool isKnownDensity(int density) {
    return density == 72 || density == 108 || density == 144 || density == 216 || density == 288;
}

FormatProblem formatProblem(const MemberFormat& format) {
    using S = FormatSetting;
    if (format.version < 1 || format.version > 3) {
        return {S::version,
                "version " + std::to_string(format.version) + " cannot be written (1 to 3)"};
    }
    const int depth = format.depth;
    if (!isValidDepth(depth)) {
        return {S::depth, "depth " + std::to_string(depth) + " is not 1, 2, 4, 8 or 16"};
    }
    if (!isKnownDensity(format.density)) {
        return {S::density,
                "density " + std::to_string(format.density) + " is not 72, 108, 144, 216 or 288"};
    }
    if (format.density != kLowDensity && format.version != 3) {
        return {S::density, "density " + std::to_string(format.density) + " needs version 3"};
    }
    if (format.version == 1 && format.transparentValue) {
        return {S::transparency, "version 1 has no transparency"};
    }
    if (format.compression && !versionAllows(format.version, *format.compression)) {
        return {S::compression, "version 1 compresses by scan line only"};
    }
    if (depth == 16 && !format.colorTable.empty()) {
        return {S::colorTable, "a colour table at depth 16"};
    }
    const std::size_t colors = depth == 16 ? 0x10000 : std::size_t{1} << depth;
    if (format.colorTable.size() > colors) {
        return {S::colorTable, "a colour table of " + std::to_string(format.colorTable.size()) +
                                   " at depth " + std::to_string(depth)};
    }
    if (format.transparentValue && *format.transparentValue >= colors) {
        return {S::transparency, "transparent index " + std::to_string(*format.transparentValue) +
                                     " at depth " + std::to_string(depth)};
    }
    return {};
}

EncodedMember encodeBitmapMember(const MemberFormat& format, int width, int height,
                                 std::span<const std::uint16_t> values) {
    EncodedMember encoded;
    encoded.error = formatProblem(format).what;
    if (!encoded.error.empty()) {
        return encoded;
    }
    if (width < 1 || height < 1 || width > 0x7FFF || height > 0x7FFF ||
        values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        encoded.error = "an image of " + std::to_string(width) + "x" + std::to_string(height) +
                        " pixels cannot be a bitmap";
        return encoded;
    }
    const std::size_t colors = format.depth == 16          ? 0x10000
                               : format.colorTable.empty() ? std::size_t{1} << format.depth
                                                           : format.colorTable.size();
    if (std::any_of(values.begin(), values.end(), [&](std::uint16_t v) { return v >= colors; })) {
        encoded.error = "a pixel lies beyond the colours of the member";
        return encoded;
    }
    const std::size_t rowBytes = rowBytesOf(width, format.depth);
    if (rowBytes > 0xFFFF) {
        encoded.error = "rows of " + std::to_string(rowBytes) + " bytes are too long";
        return encoded;
    }
    const std::vector<std::uint8_t> rows = packRows(width, height, format.depth, rowBytes, values);

    std::vector<Compression> candidates;
    if (format.compression) {
        candidates = {*format.compression};
    } else {
        candidates = {Compression::none, Compression::scanLine};
        if (format.version >= 2) {
            candidates.push_back(Compression::rle);
            // Palm OS 4 draws 16-bit PackBits of version 2 in wrong colours.
            if (format.version == 3 || format.depth != 16) {
                candidates.push_back(Compression::packBits);
            }
        }
    }
    const std::size_t sizeField = compressedSizeFieldSize(format.version);
    const std::size_t largestSize = format.version == 3 ? 0xFFFFFFFF : 0xFFFF;
    // The head is the same size in every form: the smallest data win, and
    // only the winner is put together.
    std::optional<Compression> best;
    std::vector<std::uint8_t> bestData;
    std::size_t bestSize = 0;
    for (const Compression compression : candidates) {
        const bool plain = compression == Compression::none;
        std::vector<std::uint8_t> data =
            plain ? std::vector<std::uint8_t>{}
                  : compressedRows(compression, rows, rowBytes, format.depth);
        // The compressed data begin with their size, the field included.
        const std::size_t size = plain ? rows.size() : data.size() + sizeField;
        if (!plain && size > largestSize) {
            continue;
        }
        if (!best || size < bestSize) {
            best = compression;
            bestData = std::move(data);
            bestSize = size;
        }
    }
    if (!best) {
        encoded.error = "the compressed data do not fit the size field of version " +
                        std::to_string(format.version);
        return encoded;
    }
    encoded.bytes = memberHead(format, width, height, rowBytes, *best);
    encoded.bytes.reserve(encoded.bytes.size() + bestSize);
    if (*best == Compression::none) {
        encoded.bytes.insert(encoded.bytes.end(), rows.begin(), rows.end());
        return encoded;
    }
    const std::size_t at = encoded.bytes.size();
    encoded.bytes.resize(at + sizeField);
    if (sizeField == 4) {
        storeBigEndian32(static_cast<std::uint32_t>(bestSize), encoded.bytes, at);
    } else {
        storeBigEndian16(static_cast<std::uint16_t>(bestSize), encoded.bytes, at);
    }
    encoded.bytes.insert(encoded.bytes.end(), bestData.begin(), bestData.end());
    return encoded;
}

std::size_t largestMemberSize(int version, int depth, int width, int height,
                              std::optional<Compression> compression) {
    if (version < 1 || version > 3 || !isValidDepth(depth) || width < 1 || height < 1 ||
        width > 0x7FFF || height > 0x7FFF) {
        return 0;
    }
    const std::size_t rowBytes = rowBytesOf(width, depth);
    const auto rows = static_cast<std::size_t>(height);
    std::size_t data = 0;
    if (compression) {
        data = compressedSizeBound(*compression, rowBytes, rows);
    } else {
        for (const Compression c :
             {Compression::none, Compression::scanLine, Compression::rle, Compression::packBits}) {
            if (versionAllows(version, c)) {
                data = std::max(data, compressedSizeBound(c, rowBytes, rows));
            }
        }
    }
    const std::size_t head = version == 3 ? kVersion3HeaderSize : kOldHeaderSize;
    const std::size_t colorTable =
        depth == 16 ? 0 : kColorCountSize + kColorEntrySize * (std::size_t{1} << depth);
    const std::size_t directColor = depth == 16 && version != 3 ? kDirectInfoSize : 0;
    const std::size_t sizeField = compressedSizeFieldSize(3);  // the larger
    return head + colorTable + directColor + sizeField + data;
}

std::size_t familyOverheadBound(std::size_t memberCount) {
    return (kNextWordSize - 1) * memberCount + kOldHeaderSize;
}

EncodedFamily chainBitmapFamily(std::span<const std::vector<std::uint8_t>> members) {
    EncodedFamily family;
    bool behindMarker = false;
    // Where the field that must point to the next member lies, and whether it
    // counts in words (versions 1 and 2, and the marker) or bytes (version 3).
    std::optional<std::size_t> pendingField;
    bool pendingInWords = false;
    const auto link = [&]() {
        if (!pendingField) {
            return true;
        }
        const std::size_t distance = family.bytes.size() - *pendingField;
        if (pendingInWords) {
            if (distance > kLargestWordOffset) {
                return false;
            }
            storeBigEndian16(static_cast<std::uint16_t>(distance / kNextWordSize), family.bytes,
                             *pendingField + kNextWordsOffset);
        } else {
            storeBigEndian32(static_cast<std::uint32_t>(distance), family.bytes,
                             *pendingField + kNextBytesOffset);
        }
        return true;
    };
    const auto tooFar = [&family]() {
        family.bytes.clear();
        family.error = "a member lies too far behind the one before it for a version 1 or 2 link";
        return family;
    };
    if (members.empty()) {
        family.error = "a family without members";
        return family;
    }
    std::size_t total = familyOverheadBound(members.size());
    for (const std::vector<std::uint8_t>& member : members) {
        total += member.size();
    }
    family.bytes.reserve(total);
    for (const std::vector<std::uint8_t>& member : members) {
        if (member.size() < kOldHeaderSize ||
            (member[kVersionOffset] == 3 && member.size() < kVersion3HeaderSize)) {
            family.bytes.clear();
            family.error = "a member without a whole header";
            return family;
        }
        family.bytes.resize((family.bytes.size() + kNextWordSize - 1) / kNextWordSize *
                            kNextWordSize);
        const bool v3 = member[kVersionOffset] == 3;
        const int density = v3 ? byteorder::loadBigEndian16(member, kDensityOffset) : kLowDensity;
        if (v3 && density != kLowDensity && !behindMarker) {
            // Older systems stop at this marker; the members behind it need Palm OS 5.
            if (!link()) {
                return tooFar();
            }
            pendingField = family.bytes.size();
            pendingInWords = true;
            family.bytes.resize(family.bytes.size() + kOldHeaderSize);
            family.bytes[*pendingField + kDepthOffset] = kDensityMarkerDepth;
            family.bytes[*pendingField + kVersionOffset] = 1;
            behindMarker = true;
        }
        if (!link()) {
            return tooFar();
        }
        pendingField = family.bytes.size();
        pendingInWords = !v3;
        family.bytes.insert(family.bytes.end(), member.begin(), member.end());
        // Clear what the member held as its link before: it may be the last.
        if (v3) {
            storeBigEndian32(0, family.bytes, *pendingField + kNextBytesOffset);
        } else {
            storeBigEndian16(0, family.bytes, *pendingField + kNextWordsOffset);
        }
    }
    return family;
}

}  // namespace palmbitmap
