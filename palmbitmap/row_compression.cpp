#include "row_compression.h"

#include <algorithm>

namespace palmbitmap {

// The output grows with the data rather than being sized from the header up
// front, so a few damaged bytes cannot ask for the whole pixel limit.

PixelRows expandScanLine(std::span<const std::uint8_t> data, std::size_t rowBytes,
                         std::size_t rows) {
    std::vector<std::uint8_t> out;
    std::size_t pos = 0;
    for (std::size_t row = 0; row < rows; ++row) {
        const std::size_t rowStart = out.size();
        for (std::size_t group = 0; group < rowBytes; group += 8) {
            if (pos >= data.size()) {
                return std::nullopt;
            }
            const std::uint8_t flags = data[pos++];
            const std::size_t groupEnd = std::min(group + 8, rowBytes);
            for (std::size_t k = group; k < groupEnd; ++k) {
                if ((flags & (0x80 >> (k - group))) != 0) {
                    if (pos >= data.size()) {
                        return std::nullopt;
                    }
                    out.push_back(data[pos++]);
                } else {
                    // The first row has nothing above it: its unchanged bytes are zero.
                    out.push_back(row == 0 ? 0 : out[rowStart - rowBytes + k]);
                }
            }
        }
    }
    return out;
}

PixelRows expandRle(std::span<const std::uint8_t> data, std::size_t rowBytes, std::size_t rows) {
    const std::size_t total = rowBytes * rows;
    std::vector<std::uint8_t> out;
    for (std::size_t pos = 0; out.size() < total; pos += 2) {
        if (pos + 1 >= data.size()) {
            return std::nullopt;
        }
        const std::size_t count = std::min<std::size_t>(data[pos], total - out.size());
        out.insert(out.end(), count, data[pos + 1]);
    }
    return out;
}

PixelRows expandPackBits(std::span<const std::uint8_t> data, std::size_t unitSize,
                         std::size_t rowBytes, std::size_t rows) {
    const std::size_t total = rowBytes * rows;
    std::vector<std::uint8_t> out;
    std::size_t pos = 0;
    while (out.size() < total) {
        if (pos >= data.size()) {
            return std::nullopt;
        }
        const auto count = static_cast<std::int8_t>(data[pos++]);
        if (count == -128) {
            continue;
        }
        if (count >= 0) {
            const std::size_t bytes = (static_cast<std::size_t>(count) + 1) * unitSize;
            if (data.size() - pos < bytes) {
                return std::nullopt;
            }
            const std::size_t kept = std::min(bytes, total - out.size());
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(pos),
                       data.begin() + static_cast<std::ptrdiff_t>(pos + kept));
            pos += bytes;
            continue;
        }
        if (data.size() - pos < unitSize) {
            return std::nullopt;
        }
        const std::size_t repeats = static_cast<std::size_t>(1 - count);
        for (std::size_t r = 0; r < repeats && out.size() < total; ++r) {
            for (std::size_t k = 0; k < unitSize && out.size() < total; ++k) {
                out.push_back(data[pos + k]);
            }
        }
        pos += unitSize;
    }
    return out;
}

}  // namespace palmbitmap
