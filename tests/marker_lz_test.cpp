#include "marker_lz.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "varint.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using bitmapcodec::kBitmapMaxDistance;

Bytes ascii(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return ascii(all);
}

Bytes encode(const Bytes& source, std::uint32_t maximumDistance = kBitmapMaxDistance) {
    Bytes stream(bitmapcodec::markerLzStreamBound(source.size()) + 16, 0xEE);
    const std::uint32_t size = bitmapcodec::markerLzEncode(source, stream, maximumDistance);
    stream.resize(size);
    return stream;
}

struct StreamVector {
    const char* name;
    Bytes input;
    std::uint32_t maximumDistance;
    Bytes stream;
};

TEST(MarkerLzEncode, ProducesTheKnownStreams) {
    const std::vector<StreamVector> vectors = {
        {"empty", {}, kBitmapMaxDistance, {}},
        {"one byte", {0x41}, kBitmapMaxDistance, {0x9C, 0x41}},
        {"one zero byte takes marker 1", {0x00}, kBitmapMaxDistance, {0x9D, 0x00}},
        {"run of ten",
         Bytes(10, 0x41),
         kBitmapMaxDistance,
         {0x9C, 0x41, 0x41, 0x41, 0x00, 0x04, 0x03, 0x41, 0x41, 0x41}},
        {"abc twenty times",
         repeat("abc", 20),
         kBitmapMaxDistance,
         {0x9C, 0x61, 0x62, 0x63, 0x00, 0x04, 0x03, 0x00, 0x07, 0x06, 0x00, 0x0D, 0x0C, 0x00, 0x1C,
          0x1B, 0x00, 0x05, 0x06}},
        {"64 zero bytes",
         Bytes(64, 0x00),
         kBitmapMaxDistance,
         {0x9D, 0x00, 0x00, 0x00, 0x01, 0x04, 0x03, 0x01, 0x08, 0x07, 0x01, 0x10, 0x0F, 0x01, 0x20,
          0x1F, 0x00}},
        {"search ends at a match of exactly its distance",
         ascii("abCDEFGHIJxyzababCDEFGHIJ"),
         kBitmapMaxDistance,
         {0x9C, 0x61, 0x62, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
          0x4A, 0x78, 0x79, 0x7A, 0x61, 0x62, 0x61, 0x00, 0x09, 0x0F}},
        {"equal lengths keep the nearer",
         ascii("abcdXppabcdYqqabcdZrr"),
         kBitmapMaxDistance,
         {0x9C, 0x61, 0x62, 0x63, 0x64, 0x58, 0x70, 0x70, 0x00, 0x04,
          0x07, 0x59, 0x71, 0x71, 0x00, 0x04, 0x07, 0x5A, 0x72, 0x72}},
        {"a longer match farther away wins",
         ascii("abcdefgh--abcdXabcdefgh"),
         kBitmapMaxDistance,
         {0x9C, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x2D, 0x2D, 0x00, 0x04, 0x0A, 0x58,
          0x00, 0x08, 0x0F}},
        {"three bytes stay literal, four match",
         ascii("abcZabcYabcdWabcd"),
         kBitmapMaxDistance,
         {0x9C, 0x61, 0x62, 0x63, 0x5A, 0x61, 0x62, 0x63, 0x59, 0x61, 0x62, 0x63, 0x64, 0x57, 0x00,
          0x04, 0x05}},
        {"last match ends with the input",
         Bytes(12, 0x33),
         kBitmapMaxDistance,
         {0x9C, 0x33, 0x33, 0x33, 0x00, 0x04, 0x03, 0x00, 0x05, 0x04}},
    };
    for (const StreamVector& v : vectors) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(encode(v.input, v.maximumDistance), v.stream);
    }
}

TEST(MarkerLzEncode, SmallMaximumDistanceForbidsEveryMatch) {
    const Bytes input = repeat("abcdefgh", 6);
    Bytes expected = {0x9C};
    expected.insert(expected.end(), input.begin(), input.end());
    EXPECT_EQ(encode(input, 5), expected);
}

TEST(MarkerLzEncode, EscapesTheMarkerWhenEveryValueOccurs) {
    Bytes input;
    for (int value = 0; value < 256; ++value) {
        input.push_back(static_cast<std::uint8_t>(value));
    }
    input.insert(input.end(), {0x00, 0x05, 0x06, 0x07, 0x08});
    const Bytes stream = encode(input);
    ASSERT_EQ(stream.size(), 263u);
    EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 4), (Bytes{0x9D, 0x00, 0x01, 0x00}));
}

TEST(MarkerLzEncode, RefusesADestinationBelowTheBound) {
    const Bytes input(100, 0x41);
    Bytes tooSmall(bitmapcodec::markerLzStreamBound(input.size()) - 1, 0xEE);
    EXPECT_EQ(bitmapcodec::markerLzEncode(input, tooSmall, kBitmapMaxDistance), 0u);
    EXPECT_EQ(tooSmall, Bytes(tooSmall.size(), 0xEE));
}

// Walks the tokens of a stream and checks what the handheld relies on: every
// match is at least four bytes, within the maximum distance and the bytes
// produced so far.
void expectWellFormedTokens(const Bytes& stream, std::size_t n, std::uint32_t maximumDistance) {
    if (n == 0) {
        EXPECT_TRUE(stream.empty());
        return;
    }
    const std::uint8_t marker = stream[0] ^ 0x9C;
    std::size_t produced = 1;
    std::size_t pos = 2;
    while (pos < stream.size()) {
        if (stream[pos++] != marker) {
            ++produced;
            continue;
        }
        if (stream[pos] == 0x00) {
            ++pos;
            ++produced;
            continue;
        }
        const auto length = bitmapcodec::readVarint(std::span(stream).subspan(pos));
        ASSERT_TRUE(length);
        pos += length->size;
        const auto distance = bitmapcodec::readVarint(std::span(stream).subspan(pos));
        ASSERT_TRUE(distance);
        pos += distance->size;
        EXPECT_GE(length->value, 4u);
        EXPECT_LE(length->value, distance->value + 1);
        EXPECT_GE(distance->value, 1u);
        EXPECT_LE(distance->value, std::min<std::size_t>(maximumDistance, produced));
        produced += length->value;
    }
    EXPECT_EQ(produced, n);
}

Bytes randomBytes(std::mt19937& random, std::size_t n, int alphabet) {
    std::uniform_int_distribution<int> pick(0, alphabet - 1);
    Bytes out(n);
    for (auto& byte : out) {
        byte = static_cast<std::uint8_t>(pick(random));
    }
    return out;
}

Bytes nearPeriodic(std::mt19937& random, std::size_t n, std::size_t period) {
    Bytes unit = randomBytes(random, period, 256);
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = unit[i % period];
    }
    std::uniform_int_distribution<std::size_t> where(0, n - 1);
    for (std::size_t k = 0; k < n / 50; ++k) {
        out[where(random)] ^= 0x5A;
    }
    return out;
}

TEST(MarkerLzRoundTrip, RandomInputsDecodeToThemselves) {
    std::mt19937 random(20261208);
    const std::uint32_t distances[] = {1, 2, 3, 7, 16, 300, kBitmapMaxDistance};
    for (int trial = 0; trial < 300; ++trial) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 3000)(random);
        Bytes input;
        switch (trial % 4) {
            case 0:
                input = randomBytes(random, n, 256);
                break;
            case 1:
                input = randomBytes(random, n, 1 + trial % 5);
                break;
            case 2:
                input = n == 0 ? Bytes{} : nearPeriodic(random, n, 1 + trial % 37);
                break;
            default:
                input = Bytes(n, static_cast<std::uint8_t>(trial));
                break;
        }
        const std::uint32_t maximumDistance = distances[trial % std::size(distances)];
        SCOPED_TRACE(testing::Message()
                     << "trial " << trial << " n " << n << " M " << maximumDistance);
        const Bytes stream = encode(input, maximumDistance);
        EXPECT_LE(stream.size(), bitmapcodec::markerLzStreamBound(n));
        expectWellFormedTokens(stream, n, maximumDistance);
        const bitmapcodec::Decoded decoded =
            bitmapcodec::markerLzDecode(stream, static_cast<std::uint32_t>(n));
        ASSERT_EQ(decoded.error, nullptr) << decoded.error;
        EXPECT_EQ(decoded.bytes, input);
    }
}

struct MalformedStream {
    const char* name;
    Bytes stream;
    std::uint32_t size;
};

TEST(MarkerLzDecode, RefusesMalformedStreams) {
    // Marker 0x00 throughout (first byte 0x9C).
    const std::vector<MalformedStream> cases = {
        {"bytes for an empty bitmap", {0x9C, 0x41}, 0},
        {"no first byte", {0x9C}, 1},
        {"empty stream for one byte", {}, 1},
        {"ends early", {0x9C, 0x41, 0x42}, 4},
        {"ends after the marker", {0x9C, 0x41, 0x00}, 3},
        {"ends inside the length", {0x9C, 0x41, 0x00, 0x84}, 10},
        {"ends before the distance", {0x9C, 0x41, 0x00, 0x04}, 10},
        {"distance zero", {0x9C, 0x41, 0x00, 0x04, 0x00}, 5},
        {"distance before the start", {0x9C, 0x41, 0x00, 0x04, 0x02}, 5},
        {"length past the end", {0x9C, 0x41, 0x00, 0x05, 0x01}, 5},
        {"huge length", {0x9C, 0x41, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x01}, 5},
        {"overlong varint", {0x9C, 0x41, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x01}, 5},
        {"trailing bytes", {0x9C, 0x41, 0x42, 0x43}, 2},
    };
    for (const MalformedStream& c : cases) {
        SCOPED_TRACE(c.name);
        const bitmapcodec::Decoded decoded = bitmapcodec::markerLzDecode(c.stream, c.size);
        EXPECT_NE(decoded.error, nullptr);
        EXPECT_TRUE(decoded.bytes.empty());
    }
}

}  // namespace
