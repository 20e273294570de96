#include "varint.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using bitmapcodec::readVarint;
using bitmapcodec::varintSize;
using bitmapcodec::writeVarint;

struct VarintCase {
    std::uint32_t value;
    std::vector<std::uint8_t> bytes;
};

TEST(Varint, WritesReadsAndSizesTheKnownForms) {
    const std::vector<VarintCase> cases = {
        {0, {0x00}},
        {1, {0x01}},
        {127, {0x7F}},
        {128, {0x80, 0x01}},
        {300, {0xAC, 0x02}},
        {16383, {0xFF, 0x7F}},
        {16384, {0x80, 0x80, 0x01}},
        {409600, {0x80, 0x80, 0x19}},
        {(1u << 21) - 1, {0xFF, 0xFF, 0x7F}},
        {1u << 21, {0x80, 0x80, 0x80, 0x01}},
        {(1u << 28) - 1, {0xFF, 0xFF, 0xFF, 0x7F}},
        {1u << 28, {0x80, 0x80, 0x80, 0x80, 0x01}},
        {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF, 0x0F}},
    };
    for (const VarintCase& c : cases) {
        SCOPED_TRACE(c.value);
        std::uint8_t buffer[8] = {};
        const std::uint32_t count = writeVarint(c.value, buffer);
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + count), c.bytes);
        EXPECT_EQ(varintSize(c.value), c.bytes.size());
        const auto read = readVarint(c.bytes);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->value, c.value);
        EXPECT_EQ(read->size, c.bytes.size());
    }
}

TEST(Varint, RefusesTruncatedAndOverlongForms) {
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},
        {0x80},
        {0xFF, 0xFF},
        {0xFF, 0xFF, 0xFF, 0xFF, 0x10},        // 33 bits
        {0x80, 0x80, 0x80, 0x80, 0x80, 0x01},  // six bytes
    };
    for (const auto& bytes : bad) {
        EXPECT_FALSE(readVarint(bytes).has_value()) << bytes.size() << " bytes";
    }
}

}  // namespace
