// The bitmap decoder against netpbm's palmtopnm, an independent reader of the
// same format: bitmaps that pnmtopalm writes at every depth, version and
// compression it knows, and bitmaps of our own for what it does not write
// (16-bit PackBits, families). Then the damage that must be refused.
#include "palm_bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "netpbm_reference.h"

namespace {

using testsupport::Bytes;
using testsupport::RgbaImage;
using testsupport::RunResult;
using testsupport::TempFolder;

constexpr int kWidth = 37;  // odd, so that rows end in padding at every depth
constexpr int kHeight = 23;

// Colours of the Palm 8-bit palette's cube only, so that the same image
// suits the system palette, a colour table and direct colour.
std::string colourImage() {
    std::string ppm = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool band = y > 15;  // rows of one colour: runs for the compressions
            ppm += static_cast<char>(0x33 * (band ? 2 : x % 6));
            ppm += static_cast<char>(0x33 * (band ? 4 : y % 6));
            ppm += static_cast<char>(0x33 * (band ? 1 : (x / 4 + y) % 6));
        }
    }
    return ppm;
}

std::string greyImage() {
    std::string pgm = "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            pgm += static_cast<char>(y > 15 ? 0x80 : (x * 7 + y * 3) % 256);
        }
    }
    return pgm;
}

// What pnmtopalm writes for a command run in a folder that holds colour.ppm
// and grey.pgm.
Bytes pnmtopalm(const std::string& command) {
    TempFolder folder;
    const std::string colour = colourImage();
    const std::string grey = greyImage();
    testsupport::writeFile(folder / "colour.ppm", Bytes(colour.begin(), colour.end()));
    testsupport::writeFile(folder / "grey.pgm", Bytes(grey.begin(), grey.end()));
    const RunResult run = testsupport::runProgram(
        {"/bin/sh", "-c", "cd '" + folder.path.string() + "' && " + command});
    EXPECT_EQ(run.exitStatus, 0) << command << ": " << run.err;
    return Bytes(run.out.begin(), run.out.end());
}

RgbaImage asRgba(const palmbitmap::Image& image) {
    return {image.width, image.height, image.rgba};
}

// palmtopnm scales 5- and 6-bit channels by truncating v × 255 / 31 (or 63);
// the decoder repeats the high bits. They differ by at most one.
int toleranceFor(const palmbitmap::BitmapMember& member) {
    return member.directColor ? 1 : 0;
}

void expectMatchesPalmtopnm(const Bytes& bitmap, int members = 1) {
    const palmbitmap::BitmapFamily family = palmbitmap::decodePalmBitmap(bitmap);
    ASSERT_TRUE(palmbitmap::isIntact(family)) << family.error;
    ASSERT_EQ(family.members.size(), static_cast<std::size_t>(members));
    for (int k = 0; k < members; ++k) {
        const palmbitmap::BitmapMember& member = family.members[k];
        SCOPED_TRACE("member " + std::to_string(k + 1));
        ASSERT_TRUE(member.error.empty()) << member.error;
        const auto reference = testsupport::palmtopnmImage(bitmap, k + 1);
        ASSERT_TRUE(reference.has_value());
        EXPECT_EQ(
            testsupport::imageDifference(*reference, asRgba(member.image), toleranceFor(member)),
            "");
    }
}

struct Generated {
    const char* command;
    int version;
    int depth;
    palmbitmap::Compression compression;
    bool transparent;
};

TEST(PalmBitmap, DecodesWhatPnmtopalmWritesAsPalmtopnmDoes) {
    REQUIRE_NETPBM();
    using C = palmbitmap::Compression;
    const std::vector<Generated> cases = {
        {"pamdepth 1 grey.pgm | pnmtopalm -depth 1", 0, 1, C::none, false},
        {"pamdepth 1 grey.pgm | pnmtopalm -depth 1 -scanline_compression", 2, 1, C::scanLine,
         false},
        {"pamdepth 3 grey.pgm | pnmtopalm -depth 2", 1, 2, C::none, false},
        {"pamdepth 3 grey.pgm | pnmtopalm -depth 2 -rle_compression", 2, 2, C::rle, false},
        {"pamdepth 15 grey.pgm | pnmtopalm -depth 4 -packbits_compression", 2, 4, C::packBits,
         false},
        {"pamdepth 15 grey.pgm | pnmtopalm -depth 4 -rle_compression", 2, 4, C::rle, false},
        {"pnmtopalm -depth 8 colour.ppm", 1, 8, C::none, false},
        {"pnmtopalm -depth 8 -scanline_compression colour.ppm", 2, 8, C::scanLine, false},
        {"pnmtopalm -depth 8 -rle_compression colour.ppm", 2, 8, C::rle, false},
        {"pnmtopalm -depth 8 -colormap -packbits_compression colour.ppm", 2, 8, C::packBits, false},
        {"pnmtopalm -depth 8 -colormap -transparent '#3399cc' colour.ppm", 2, 8, C::none, true},
        {"pnmtopalm -depth 8 -colormap -density 144 -rle_compression colour.ppm", 3, 8, C::rle,
         false},
        {"pnmtopalm -depth 8 -density 108 -scanline_compression colour.ppm", 3, 8, C::scanLine,
         false},
        {"pnmtopalm -depth 16 colour.ppm", 1, 16, C::none, false},
        {"pnmtopalm -depth 16 -transparent '#66cc33' colour.ppm", 2, 16, C::none, true},
        {"pnmtopalm -depth 16 -density 144 -transparent '#66cc33' colour.ppm", 3, 16, C::none,
         true},
    };
    for (const Generated& c : cases) {
        SCOPED_TRACE(c.command);
        const Bytes bitmap = pnmtopalm(c.command);
        expectMatchesPalmtopnm(bitmap);
        const palmbitmap::BitmapFamily family = palmbitmap::decodePalmBitmap(bitmap);
        ASSERT_EQ(family.members.size(), 1u);
        const palmbitmap::BitmapMember& member = family.members[0];
        EXPECT_EQ(member.version, c.version);
        EXPECT_EQ(member.depth, c.depth);
        EXPECT_EQ(member.compression, c.compression);
        EXPECT_EQ(member.transparent, c.transparent);
        EXPECT_EQ(member.storedSize, bitmap.size());
    }
}

// Our own compressed forms of a plain bitmap's rows, for what pnmtopalm
// cannot write: literal runs of up to 128 units, repeats of equal units.
Bytes packBits(const Bytes& rows, std::size_t unit) {
    Bytes out;
    std::size_t pos = 0;
    const auto same = [&](std::size_t a, std::size_t b) {
        return std::equal(rows.begin() + a, rows.begin() + a + unit, rows.begin() + b);
    };
    while (pos < rows.size()) {
        std::size_t run = 1;
        while (run < 128 && pos + (run + 1) * unit <= rows.size() && same(pos, pos + run * unit)) {
            ++run;
        }
        if (run > 1) {
            out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(run)));
            out.insert(out.end(), rows.begin() + pos, rows.begin() + pos + unit);
        } else {
            out.push_back(0);
            out.insert(out.end(), rows.begin() + pos, rows.begin() + pos + unit);
        }
        pos += run * unit;
    }
    return out;
}

void put16(Bytes& bytes, std::size_t at, std::size_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

// A plain 16-bit bitmap whose pixels begin at pixelStart, its rows stored as
// PackBits one by one, as pnmtopalm stores them at 8 bits.
Bytes withPackBits(Bytes plain, std::size_t pixelStart, std::size_t sizeField) {
    const std::size_t rowBytes = (plain[4] << 8) | plain[5];
    Bytes packed;
    for (std::size_t row = pixelStart; row < plain.size(); row += rowBytes) {
        const Bytes packedRow =
            packBits(Bytes(plain.begin() + row, plain.begin() + row + rowBytes), 2);
        packed.insert(packed.end(), packedRow.begin(), packedRow.end());
    }
    plain.resize(pixelStart);
    put16(plain, 6, ((plain[6] << 8) | plain[7]) | 0x8000);
    plain[9] = std::max<std::uint8_t>(plain[9], 2);  // the compression type came with version 2
    plain[13] = 2;
    const std::size_t size = sizeField + packed.size();
    for (std::size_t k = 0; k < sizeField; ++k) {
        plain.push_back(static_cast<std::uint8_t>(size >> (8 * (sizeField - 1 - k))));
    }
    plain.insert(plain.end(), packed.begin(), packed.end());
    return plain;
}

// Members chained by their next offsets; a member's own next field is at
// byte 10 (version 2, in words) or 20 (version 3, in bytes).
Bytes family(std::vector<Bytes> members) {
    Bytes out;
    for (std::size_t k = 0; k < members.size(); ++k) {
        Bytes& member = members[k];
        while (member.size() % 4 != 0) {
            member.push_back(0);
        }
        const bool last = k + 1 == members.size();
        if (member[9] == 3) {
            const std::size_t next = last ? 0 : member.size();
            put16(member, 20, next >> 16);
            put16(member, 22, next & 0xFFFF);
        } else if (member[8] != 0xFF) {
            put16(member, 10, last ? 0 : member.size() / 4);
        }
        out.insert(out.end(), member.begin(), member.end());
    }
    return out;
}

TEST(PalmBitmap, DecodesOwnFormsAndFamiliesAsPalmtopnmDoes) {
    REQUIRE_NETPBM();
    const Bytes direct = pnmtopalm("pnmtopalm -depth 16 colour.ppm");
    const Bytes dense = pnmtopalm("pnmtopalm -depth 16 -density 144 colour.ppm");
    const Bytes indexed = pnmtopalm("pnmtopalm -depth 8 -colormap colour.ppm");
    const Bytes grey = pnmtopalm("pamdepth 3 grey.pgm | pnmtopalm -depth 2");
    const Bytes marker = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1, 0, 0, 0, 0, 0, 0};

    struct Case {
        const char* name;
        Bytes bitmap;
        std::vector<int> depths;
        Bytes reference;  // palmtopnm reads no 16-bit PackBits: the plain bitmap then
    };
    const std::vector<Case> cases = {
        {"16-bit PackBits", withPackBits(direct, 24, 2), {16}, direct},
        {"16-bit PackBits, version 3", withPackBits(dense, 24, 4), {16}, dense},
        {"family of depths", family({grey, indexed, direct}), {2, 8, 16}, {}},
        {"family with high-density members",
         family({indexed, direct, marker, dense}),
         {8, 16, 16},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const palmbitmap::BitmapFamily decoded = palmbitmap::decodePalmBitmap(c.bitmap);
        ASSERT_TRUE(palmbitmap::isIntact(decoded)) << decoded.error;
        std::vector<int> depths;
        for (const auto& member : decoded.members) {
            depths.push_back(member.depth);
        }
        EXPECT_EQ(depths, c.depths);
        // palmtopnm does not know the density marker: its members are
        // compared one by one, each cut out of the family.
        for (const auto& member : decoded.members) {
            Bytes alone(
                c.bitmap.begin() + static_cast<std::ptrdiff_t>(member.offset),
                c.bitmap.begin() + static_cast<std::ptrdiff_t>(member.offset + member.storedSize));
            std::fill_n(alone.begin() + (alone[9] == 3 ? 20 : 10), alone[9] == 3 ? 4 : 2, 0);
            const auto reference =
                testsupport::palmtopnmImage(c.reference.empty() ? alone : c.reference);
            ASSERT_TRUE(reference.has_value());
            EXPECT_EQ(testsupport::imageDifference(*reference, asRgba(member.image),
                                                   toleranceFor(member)),
                      "");
        }
    }
    EXPECT_EQ(palmbitmap::decodePalmBitmap(family({indexed, direct, marker, dense}))
                  .members.back()
                  .density,
              144);
}

TEST(PalmBitmap, RefusesWhatDoesNotFitItsBytes) {
    Bytes plain(16 + 4 * 3, 0x5A);  // version 2, 8 bits, 3×3 in rows of 4
    const Bytes header = {0, 3, 0, 3, 0, 4, 0, 0, 8, 2, 0, 0, 0, 0, 0, 0};
    std::copy(header.begin(), header.end(), plain.begin());
    const auto changed = [&](const std::function<void(Bytes&)>& change) {
        Bytes bitmap = plain;
        change(bitmap);
        return bitmap;
    };
    const auto compressed = [&](std::uint8_t type, const Bytes& data) {
        Bytes bitmap(plain.begin(), plain.begin() + 16);
        bitmap[6] = 0x80;
        bitmap[13] = type;
        bitmap.push_back(0);
        bitmap.push_back(static_cast<std::uint8_t>(data.size() + 2));
        bitmap.insert(bitmap.end(), data.begin(), data.end());
        return bitmap;
    };
    struct Case {
        const char* name;
        Bytes bitmap;
        const char* error;
        std::size_t imageBudget = SIZE_MAX;
    };
    const std::vector<Case> cases = {
        {"shorter than a header", Bytes(plain.begin(), plain.begin() + 15), "bitmap header"},
        {"pixel rows cut short", Bytes(plain.begin(), plain.end() - 1), "pixel data"},
        {"rows too narrow", changed([](Bytes& b) { b[5] = 2; }), "cannot hold"},
        {"no pixels", changed([](Bytes& b) { b[1] = 0; }), "no pixels"},
        {"unknown depth", changed([](Bytes& b) { b[8] = 3; }), "depth"},
        {"unknown version", changed([](Bytes& b) { b[9] = 4; }), "version"},
        {"over the pixel limit",
         changed([](Bytes& b) { b = {0x20, 0, 0x20, 0, 0x40, 0, 0, 0, 8, 2, 0, 0, 0, 0, 0, 0}; }),
         "limit"},
        {"colour table cut short", changed([](Bytes& b) {
             b[6] = 0x40;
             b[16] = 1;
         }),
         "colour table"},
        {"next member beyond the end", changed([](Bytes& b) { b[11] = 8; }), "beyond"},
        // Members sharing bytes let a small resource stand for any number of images.
        {"next member inside this one", changed([](Bytes& b) { b[11] = 1; }), "begins inside"},
        {"density marker pointing inside itself", changed([](Bytes& b) {
             b.insert(b.begin(), {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1, 0, 2, 0, 0, 0, 0});
         }),
         "begins inside"},
        {"pixels beyond the budget", plain, "budget", 3 * 3 * 4 - 1},
        {"RLE runs short", compressed(1, {9, 1}), "end before"},
        {"scan line runs short", compressed(0, {0xFF, 1, 2, 3, 4}), "end before"},
        {"PackBits runs short", compressed(2, {0xF8, 7}), "end before"},
        {"compressed size beyond the end", changed([&](Bytes& b) {
             b = compressed(1, {9, 1, 0});
             b[17] = 40;
         }),
         "compressed data"},
        {"unknown compression", compressed(5, {9, 1}), "compression"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const palmbitmap::BitmapFamily family =
            palmbitmap::decodePalmBitmap(c.bitmap, c.imageBudget);
        EXPECT_FALSE(palmbitmap::isIntact(family));
        EXPECT_EQ(family.budgetSpent, c.imageBudget != SIZE_MAX);
        std::string errors = family.error;
        for (const auto& member : family.members) {
            errors += member.error;
            EXPECT_TRUE(member.error.empty() || member.image.rgba.empty());
        }
        EXPECT_NE(errors.find(c.error), std::string::npos) << errors;
    }
    EXPECT_TRUE(palmbitmap::isIntact(palmbitmap::decodePalmBitmap(plain)));
    EXPECT_TRUE(palmbitmap::isIntact(palmbitmap::decodePalmBitmap(plain, 3 * 3 * 4)));
    EXPECT_TRUE(palmbitmap::isIntact(palmbitmap::decodePalmBitmap(compressed(1, {9, 1, 3, 0}))));
}

}  // namespace
