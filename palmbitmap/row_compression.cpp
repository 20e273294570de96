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

std::vector<std::uint8_t> compressScanLine(std::span<const std::uint8_t> rows,
                                           std::size_t rowBytes) {
    std::vector<std::uint8_t> out;
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        for (std::size_t group = 0; group < rowBytes; group += 8) {
            const std::size_t flagAt = out.size();
            out.push_back(0);
            const std::size_t groupEnd = std::min(group + 8, rowBytes);
            for (std::size_t k = group; k < groupEnd; ++k) {
                const std::uint8_t byte = rows[rowStart + k];
                // Every byte of the first row is stored: readers differ on
                // what lies above it.
                if (rowStart == 0 || byte != rows[rowStart - rowBytes + k]) {
                    out[flagAt] = static_cast<std::uint8_t>(out[flagAt] | (0x80 >> (k - group)));
                    out.push_back(byte);
                }
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> compressRle(std::span<const std::uint8_t> rows, std::size_t rowBytes) {
    std::vector<std::uint8_t> out;
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        const std::size_t rowEnd = rowStart + rowBytes;
        for (std::size_t pos = rowStart; pos < rowEnd;) {
            std::size_t run = 1;
            while (run < 255 && pos + run < rowEnd && rows[pos + run] == rows[pos]) {
                ++run;
            }
            out.push_back(static_cast<std::uint8_t>(run));
            out.push_back(rows[pos]);
            pos += run;
        }
    }
    return out;
}

std::vector<std::uint8_t> compressPackBits(std::span<const std::uint8_t> rows, std::size_t unitSize,
                                           std::size_t rowBytes) {
    std::vector<std::uint8_t> out;
    // A repeat of two single bytes costs as much as a literal of them and
    // breaks the literal that surrounds it; two 16-bit units it does not.
    const std::size_t shortestRepeat = unitSize == 1 ? 3 : 2;
    const std::size_t units = rowBytes / unitSize;
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        const auto unit = [&](std::size_t k) {
            return rows.subspan(rowStart + k * unitSize, unitSize);
        };
        const auto same = [&](std::size_t a, std::size_t b) {
            return std::equal(unit(a).begin(), unit(a).end(), unit(b).begin());
        };
        const auto repeatAt = [&](std::size_t k) {
            std::size_t run = 1;
            while (run < 128 && k + run < units && same(k, k + run)) {
                ++run;
            }
            return run;
        };
        std::size_t k = 0;
        while (k < units) {
            const std::size_t run = repeatAt(k);
            if (run >= shortestRepeat) {
                out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(run)));
                out.insert(out.end(), unit(k).begin(), unit(k).end());
                k += run;
                continue;
            }
            std::size_t literal = 0;
            while (literal < 128 && k + literal < units &&
                   (literal == 0 || repeatAt(k + literal) < shortestRepeat)) {
                ++literal;
            }
            out.push_back(static_cast<std::uint8_t>(literal - 1));
            for (std::size_t j = 0; j < literal; ++j) {
                out.insert(out.end(), unit(k + j).begin(), unit(k + j).end());
            }
            k += literal;
        }
    }
    return out;
}

}  // namespace palmbitmap
