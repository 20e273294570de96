#include "marker_lz.h"
#include "varint.h"

namespace bitmapcodec {
namespace {

Decoded failure(const char* error) {
    Decoded result;
    result.error = error;
    return result;
}

}  // namespace

Decoded markerLzDecode(std::span<const std::uint8_t> stream, std::uint32_t decodedSize) {
    if (decodedSize == 0) {
        return stream.empty() ? Decoded{} : failure("stream holds bytes for an empty bitmap");
    }
    if (stream.size() < 2) {
        return failure("stream ends before its first byte");
    }
    const std::uint8_t marker = stream[0] ^ 0x9C;
    Decoded result;
    // Grow with the output rather than trusting the declared size up front, so
    // a damaged header cannot ask for gigabytes before the stream is checked.
    std::vector<std::uint8_t>& out = result.bytes;
    out.push_back(stream[1]);

    std::size_t pos = 2;
    while (out.size() < decodedSize) {
        if (pos >= stream.size()) {
            return failure("stream ends early");
        }
        const std::uint8_t byte = stream[pos++];
        if (byte != marker) {
            out.push_back(byte);
            continue;
        }
        if (pos >= stream.size()) {
            return failure("stream ends inside a token");
        }
        if (stream[pos] == 0x00) {
            out.push_back(marker);
            ++pos;
            continue;
        }
        const auto length = readVarint(stream.subspan(pos));
        if (!length) {
            return failure("bad match length");
        }
        pos += length->size;
        const auto distance = readVarint(stream.subspan(pos));
        if (!distance) {
            return failure("bad match distance");
        }
        pos += distance->size;
        if (distance->value == 0 || distance->value > out.size()) {
            return failure("match reaches before the start");
        }
        if (length->value > decodedSize - out.size()) {
            return failure("match runs past the end");
        }
        // Byte by byte: a match may copy bytes that it has just produced.
        std::size_t from = out.size() - distance->value;
        for (std::uint32_t k = 0; k < length->value; ++k) {
            out.push_back(out[from++]);
        }
    }
    if (pos != stream.size()) {
        return failure("stream holds bytes past the end of the bitmap");
    }
    return result;
}

}  // namespace bitmapcodec
