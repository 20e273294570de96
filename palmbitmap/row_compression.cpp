#include "row_compression.h"

#include <algorithm>
#include <deque>

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

// The compressions write each row by pointer into a buffer of twice its
// length, more than any of them can make of a row (compressedSizeBound), and
// append it whole: this runs over every byte of every member a build draws.
namespace {

std::vector<std::uint8_t> rowBuffer(std::size_t rowBytes) {
    return std::vector<std::uint8_t>(2 * rowBytes + 16);
}

std::vector<std::uint8_t> reserved(Compression compression, std::span<const std::uint8_t> rows,
                                   std::size_t rowBytes) {
    std::vector<std::uint8_t> out;
    out.reserve(
        compressedSizeBound(compression, rowBytes, rowBytes == 0 ? 0 : rows.size() / rowBytes));
    return out;
}

}  // namespace

std::vector<std::uint8_t> compressScanLine(std::span<const std::uint8_t> rows,
                                           std::size_t rowBytes) {
    std::vector<std::uint8_t> out = reserved(Compression::scanLine, rows, rowBytes);
    std::vector<std::uint8_t> buffer = rowBuffer(rowBytes);
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        const std::uint8_t* here = rows.data() + rowStart;
        // Every byte of the first row is stored: readers differ on what lies
        // above it.
        const std::uint8_t* above = rowStart == 0 ? nullptr : here - rowBytes;
        std::uint8_t* to = buffer.data();
        for (std::size_t group = 0; group < rowBytes; group += 8) {
            std::uint8_t* flags = to++;
            unsigned bits = 0;
            const std::size_t groupEnd = std::min(group + 8, rowBytes);
            for (std::size_t k = group; k < groupEnd; ++k) {
                if (above == nullptr || here[k] != above[k]) {
                    bits |= 0x80u >> (k - group);
                    *to++ = here[k];
                }
            }
            *flags = static_cast<std::uint8_t>(bits);
        }
        out.insert(out.end(), buffer.data(), to);
    }
    return out;
}

// Greedy runs are already the shortest RLE: a pair holds one value, so a
// stretch of n equal bytes needs at least ceil(n / 255) pairs, which is what
// taking 255 at a time gives.
std::vector<std::uint8_t> compressRle(std::span<const std::uint8_t> rows, std::size_t rowBytes) {
    std::vector<std::uint8_t> out = reserved(Compression::rle, rows, rowBytes);
    std::vector<std::uint8_t> buffer = rowBuffer(rowBytes);
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        const std::uint8_t* from = rows.data() + rowStart;
        const std::uint8_t* const rowEnd = from + rowBytes;
        std::uint8_t* to = buffer.data();
        while (from < rowEnd) {
            const std::uint8_t value = *from;
            std::size_t run = 1;
            while (run < 255 && from + run < rowEnd && from[run] == value) {
                ++run;
            }
            *to++ = static_cast<std::uint8_t>(run);
            *to++ = value;
            from += run;
        }
        out.insert(out.end(), buffer.data(), to);
    }
    return out;
}

namespace {

constexpr std::size_t kLongestPackBitsToken = 128;  // units in a literal or a repeat

// Where a row's tokens go, kept from row to row so that only the first row
// allocates: shortest[k] is the fewest bytes for units k to the end, token[k]
// the token that begins there (its length, kRepeatToken set for a repeat),
// runs[k] how many equal units begin at k.
struct PackBitsScratch {
    std::vector<std::size_t> shortest;
    std::vector<std::size_t> token;
    std::vector<std::size_t> runs;
    std::deque<std::size_t> window;
};

constexpr std::size_t kRepeatToken = std::size_t{1} << 16;

// The shortest PackBits of one row, by a dynamic programme over where each
// token begins, from the row's end back. A greedy choice misses repeats of
// two (two bytes where they begin a token, three inside a literal) and cuts
// long runs badly at 128.
std::uint8_t* packBitsRow(PackBitsScratch& s, const std::uint8_t* row, std::size_t units,
                          std::size_t unitSize, std::uint8_t* to) {
    s.shortest.assign(units + 1, 0);
    s.token.assign(units, 0);
    s.runs.assign(units + 1, 0);
    s.window.clear();
    // Units are one or two bytes: compared in place, not through memcmp.
    const auto same = [&](std::size_t a, std::size_t b) {
        const std::uint8_t* x = row + a * unitSize;
        const std::uint8_t* y = row + b * unitSize;
        return x[0] == y[0] && (unitSize == 1 || x[1] == y[1]);
    };
    // A literal from k to j costs 1 + (j - k) × unit + shortest[j]: the
    // window keeps the ends j within reach whose j × unit + shortest[j]
    // increase, so that its front is the best end.
    const auto viaEnd = [&](std::size_t j) { return j * unitSize + s.shortest[j]; };
    for (std::size_t k = units; k-- > 0;) {
        s.runs[k] = k + 1 < units && same(k, k + 1) ? s.runs[k + 1] + 1 : 1;
        const std::size_t end = k + 1;
        while (!s.window.empty() && viaEnd(s.window.back()) >= viaEnd(end)) {
            s.window.pop_back();
        }
        s.window.push_back(end);
        if (s.window.front() > k + kLongestPackBitsToken) {
            s.window.pop_front();
        }
        const std::size_t literalEnd = s.window.front();
        std::size_t best = 1 + viaEnd(literalEnd) - k * unitSize;
        std::size_t chosen = literalEnd - k;
        // The fewest bytes from k on never grow as k does, so a repeat is
        // best at its longest.
        const std::size_t run = std::min(s.runs[k], kLongestPackBitsToken);
        if (run >= 2 && 1 + unitSize + s.shortest[k + run] <= best) {
            best = 1 + unitSize + s.shortest[k + run];
            chosen = kRepeatToken | run;
        }
        s.shortest[k] = best;
        s.token[k] = chosen;
    }
    for (std::size_t k = 0; k < units;) {
        const std::size_t length = s.token[k] & ~kRepeatToken;
        if ((s.token[k] & kRepeatToken) != 0) {
            *to++ = static_cast<std::uint8_t>(1 - static_cast<int>(length));
            to = std::copy_n(row + k * unitSize, unitSize, to);
        } else {
            *to++ = static_cast<std::uint8_t>(length - 1);
            to = std::copy_n(row + k * unitSize, length * unitSize, to);
        }
        k += length;
    }
    return to;
}

}  // namespace

std::vector<std::uint8_t> compressPackBits(std::span<const std::uint8_t> rows, std::size_t unitSize,
                                           std::size_t rowBytes) {
    std::vector<std::uint8_t> out = reserved(Compression::packBits, rows, rowBytes);
    std::vector<std::uint8_t> buffer = rowBuffer(rowBytes);
    PackBitsScratch scratch;
    const std::size_t units = rowBytes / unitSize;
    for (std::size_t rowStart = 0; rowStart < rows.size(); rowStart += rowBytes) {
        std::uint8_t* to =
            packBitsRow(scratch, rows.data() + rowStart, units, unitSize, buffer.data());
        out.insert(out.end(), buffer.data(), to);
    }
    return out;
}

std::size_t compressedSizeBound(Compression compression, std::size_t rowBytes, std::size_t rows) {
    switch (compression) {
        case Compression::scanLine:
            // A flag byte for every 8 bytes, and each byte stored.
            return (rowBytes + (rowBytes + 7) / 8) * rows;
        case Compression::rle:
            // A byte unlike its neighbours costs a pair.
            return 2 * rowBytes * rows;
        case Compression::packBits:
            // A repeat saves at least its count byte and a literal costs one,
            // and literals follow each other only after 128 units: at most one
            // count byte more than repeats save, and one for every 128 bytes.
            return (rowBytes + rowBytes / 128 + 2) * rows;
        case Compression::none:
            break;
    }
    return rowBytes * rows;
}

}  // namespace palmbitmap
