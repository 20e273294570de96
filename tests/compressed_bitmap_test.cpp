#include "compressed_bitmap.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Stored {
    std::uint32_t size;
    Bytes bytes;  // what was placed at the start of out
};

Stored store(Bytes& data, bool plrcRemoved, bool keepRaw) {
    Bytes out(2 * data.size() + 64, 0xEE);  // the room that the compressor gives
    const std::uint32_t size = bitmapcodec::encodeBitmapResource(data, out, plrcRemoved, keepRaw);
    return {size, Bytes(out.begin(), out.begin() + size)};
}

TEST(EncodeBitmapResource, UsesTheContainerOnlyWhenStrictlySmaller) {
    Bytes equal(25, 0x07);
    const Stored plain = store(equal, false, false);
    EXPECT_EQ(plain.size, 25u);
    EXPECT_EQ(plain.bytes, Bytes(25, 0x07));

    Bytes smaller(26, 0x07);
    const Stored container = store(smaller, false, false);
    EXPECT_EQ(container.bytes,
              (Bytes{0x63, 0x42, 0x4D, 0x50, 0x1A, 0x00, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x9C,
                     0x07, 0x07, 0x07, 0x00, 0x04, 0x03, 0x00, 0x08, 0x07, 0x00, 0x0B, 0x0A}));
    const bitmapcodec::Decoded decoded = bitmapcodec::decodeCompressedBitmap(container.bytes);
    ASSERT_EQ(decoded.error, nullptr);
    EXPECT_EQ(decoded.bytes, Bytes(26, 0x07));
}

TEST(EncodeBitmapResource, ShortAndEmptyDataStayPlain) {
    // Offset 27 exists only from 28 bytes on: shorter data are never touched.
    // Below 15 bytes no container can be smaller than the data.
    for (std::size_t size : {0, 1, 3, 4, 14, 27}) {
        SCOPED_TRACE(size);
        Bytes data(size, 0x02);
        const Stored stored = store(data, true, false);
        EXPECT_EQ(data, Bytes(size, 0x02));
        if (size < 15) {
            EXPECT_EQ(stored.size, size);
            EXPECT_EQ(stored.bytes, Bytes(size, 0x02));
        }
    }
}

struct RewriteCase {
    bool plrcRemoved;
    std::uint8_t before;
    std::uint8_t after;
};

TEST(EncodeBitmapResource, RewritesByte27OnlyForTwoAfterARemoval) {
    const std::vector<RewriteCase> cases = {
        {true, 2, 1}, {true, 0, 0}, {true, 1, 1}, {true, 3, 3}, {false, 2, 2}, {false, 1, 1},
    };
    for (const RewriteCase& c : cases) {
        for (const bool keepRaw : {false, true}) {
            SCOPED_TRACE(testing::Message() << "flag " << c.plrcRemoved << " byte " << int(c.before)
                                            << " keepRaw " << keepRaw);
            Bytes data(400, 0x55);
            data[27] = c.before;
            const Stored stored = store(data, c.plrcRemoved, keepRaw);
            EXPECT_EQ(data[27], c.after);
            Bytes expected(400, 0x55);
            expected[27] = c.after;
            if (keepRaw) {
                EXPECT_EQ(stored.bytes, expected);
            } else {
                ASSERT_LT(stored.size, 400u);
                EXPECT_EQ(bitmapcodec::decodeCompressedBitmap(stored.bytes).bytes, expected);
            }
        }
    }
}

TEST(EncodeBitmapResource, KeepsContainersAsTheyAre) {
    Bytes data(300, 0x02);
    std::copy(bitmapcodec::kContainerMagic.begin(), bitmapcodec::kContainerMagic.end(),
              data.begin());
    const Bytes original = data;
    const Stored stored = store(data, true, false);
    EXPECT_EQ(stored.size, 300u);
    EXPECT_EQ(stored.bytes, original);
    EXPECT_EQ(data, original);
}

TEST(EncodeBitmapResource, IncompressibleDataStayPlainAndTheStreamKeepsItsBound) {
    std::mt19937 random(7);
    for (std::size_t size : {15, 200, 4096}) {
        Bytes data(size);
        for (auto& byte : data) {
            byte = static_cast<std::uint8_t>(random());
        }
        const Bytes original = data;
        Bytes out(bitmapcodec::compressedBitmapBound(size), 0xEE);
        EXPECT_EQ(bitmapcodec::encodeBitmapResource(data, out, false, false), size);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(size)), original);
    }
}

TEST(EncodeBitmapResource, RefusesAnOutputBelowTheBound) {
    Bytes data(1000, 0x41);
    Bytes out(bitmapcodec::compressedBitmapBound(data.size()) - 1, 0xEE);
    EXPECT_EQ(bitmapcodec::encodeBitmapResource(data, out, false, false), 0u);
}

TEST(DecodeCompressedBitmap, RefusesDamagedContainers) {
    Bytes data(300, 0x41);
    Bytes out(bitmapcodec::compressedBitmapBound(data.size()));
    out.resize(bitmapcodec::encodeBitmapResource(data, out, false, false));
    ASSERT_LT(out.size(), data.size());

    Bytes badMagic = out;
    badMagic[0] = 'C';
    Bytes longer = out;
    longer.push_back(0);
    Bytes shorter(out.begin(), out.end() - 1);
    Bytes wrongSize = out;
    wrongSize[4] ^= 1;
    for (const Bytes& damaged : {badMagic, longer, shorter, wrongSize, Bytes{'c', 'B', 'M', 'P'}}) {
        EXPECT_NE(bitmapcodec::decodeCompressedBitmap(damaged).error, nullptr);
    }
}

}  // namespace
