// The bitmap decoder against netpbm's palmtopnm, an independent reader of the
// same format: bitmaps that pnmtopalm writes at every depth, version and
// compression it knows, and bitmaps of our own for what it does not write
// (16-bit PackBits, families). Then the damage that must be refused. The
// writer against both readers, and its colour reduction.
#include "palm_bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "bitmap_writer.h"
#include "color_reduction.h"
#include "files.h"
#include "netpbm_reference.h"
#include "rgb565.h"
#include "row_compression.h"

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
        const char* message;  // the whole text, as Lumen prints it
        std::size_t imageBudget = SIZE_MAX;
    };
    const auto version3 = [&](std::uint8_t depth, std::uint8_t pixelFormat) {
        Bytes bitmap = plain;
        bitmap[8] = depth;
        bitmap[9] = 3;
        bitmap[10] = 24;
        bitmap[11] = pixelFormat;
        bitmap.insert(bitmap.begin() + 16, 8, 0);
        return bitmap;
    };
    const auto direct = [&](std::size_t size) {
        Bytes bitmap = plain;
        bitmap[5] = 6;
        bitmap[8] = 16;
        bitmap.resize(size);
        return bitmap;
    };
    const std::vector<Case> cases = {
        {"shorter than a header", Bytes(plain.begin(), plain.begin() + 15), "bitmap header",
         "bitmap header needs 16 bytes, 15 left"},
        {"pixel rows cut short", Bytes(plain.begin(), plain.end() - 1), "pixel data",
         "pixel data needs 12 bytes, 11 left"},
        {"rows too narrow", changed([](Bytes& b) { b[5] = 2; }), "cannot hold",
         "rows of 2 bytes cannot hold 3 pixels"},
        {"no pixels", changed([](Bytes& b) { b[1] = 0; }), "no pixels", "bitmap has no pixels"},
        {"unknown depth", changed([](Bytes& b) { b[8] = 3; }), "depth", "unknown depth 3"},
        {"unknown version", changed([](Bytes& b) { b[9] = 4; }), "version",
         "unknown bitmap version 4"},
        {"over the pixel limit",
         changed([](Bytes& b) { b = {0x20, 0, 0x20, 0, 0x40, 0, 0, 0, 8, 2, 0, 0, 0, 0, 0, 0}; }),
         "limit", "dimensions 8192x8192 exceed the limit"},
        {"colour table cut short", changed([](Bytes& b) {
             b[6] = 0x40;
             b[16] = 1;
         }),
         "colour table", "colour table of 346 entries"},
        {"colour table's entries cut short", changed([](Bytes& b) {
             b[6] = 0x40;
             b[16] = 0;
             b[17] = 4;
         }),
         "colour table", "colour table needs 16 bytes, 10 left"},
        {"colour table's count cut short", changed([](Bytes& b) {
             b[6] = 0x40;
             b.resize(17);
         }),
         "colour table", "colour table needs 2 bytes, 1 left"},
        {"pixel beyond the colour table", changed([](Bytes& b) {
             b[6] = 0x40;
             b.insert(b.begin() + 16, {0, 1, 0, 0, 0, 0});
         }),
         "beyond", "pixel index 90 beyond a colour table of 1"},
        {"version 3 header cut short", changed([](Bytes& b) {
             b[9] = 3;
             b.resize(20);
         }),
         "version 3 header", "version 3 header needs 24 bytes, 20 left"},
        {"version 3 header size too small", changed([&](Bytes& b) {
             b = version3(8, 0);
             b[10] = 16;
         }),
         "header size", "header size 16 is wrong"},
        {"16 bits in an indexed pixel format", version3(16, 0), "pixel format",
         "pixel format 0 at 16 bits"},
        {"unknown pixel format", version3(8, 3), "pixel format", "pixel format 3 is not supported"},
        {"direct colour information cut short", direct(20), "direct colour",
         "direct colour information needs 8 bytes, 4 left"},
        {"direct colour other than 5-6-5", direct(plain.size()), "direct colour",
         "direct colour that is not 5-6-5"},
        {"next member beyond the end", changed([](Bytes& b) { b[11] = 8; }), "beyond",
         "next bitmap at 32 lies beyond the resource of 28 bytes"},
        // Members sharing bytes let a small resource stand for any number of images.
        {"next member inside this one", changed([](Bytes& b) { b[11] = 1; }), "begins inside",
         "next bitmap at 4 begins inside the one before, which ends at 28"},
        {"density marker pointing inside itself", changed([](Bytes& b) {
             b.insert(b.begin(), {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1, 0, 2, 0, 0, 0, 0});
         }),
         "begins inside", "next bitmap at 8 begins inside the one before, which ends at 16"},
        {"pixels beyond the budget", plain, "budget", "not decoded: its pixels pass the budget",
         3 * 3 * 4 - 1},
        {"RLE runs short", compressed(1, {9, 1}), "end before",
         "compressed data end before the last row"},
        {"scan line runs short", compressed(0, {0xFF, 1, 2, 3, 4}), "end before",
         "compressed data end before the last row"},
        {"PackBits runs short", compressed(2, {0xF8, 7}), "end before",
         "compressed data end before the last row"},
        {"compressed size beyond the end", changed([&](Bytes& b) {
             b = compressed(1, {9, 1, 0});
             b[17] = 40;
         }),
         "compressed data", "compressed data of 40 bytes, 5 left"},
        {"compressed size cut short", changed([&](Bytes& b) {
             b = compressed(1, {});
             b.resize(17);
         }),
         "compressed size", "compressed size needs 2 bytes, 1 left"},
        {"unknown compression", compressed(5, {9, 1}), "compression", "unknown compression 5"},
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
        EXPECT_EQ(errors, c.message);
    }
    EXPECT_TRUE(palmbitmap::isIntact(palmbitmap::decodePalmBitmap(plain)));
    EXPECT_TRUE(palmbitmap::isIntact(palmbitmap::decodePalmBitmap(plain, 3 * 3 * 4)));
    EXPECT_TRUE(palmbitmap::isIntact(palmbitmap::decodePalmBitmap(compressed(1, {9, 1, 3, 0}))));
}

// An RGBA test image: the colour image's pixels (all in the system palette's
// cube), a few colours off every palette, and a transparent corner.
palmbitmap::Image testImage(bool offColours, bool clearCorner) {
    palmbitmap::Image image{kWidth, kHeight, {}};
    const std::string ppm = colourImage();
    const std::size_t start = ppm.size() - static_cast<std::size_t>(kWidth * kHeight * 3);
    for (int p = 0; p < kWidth * kHeight; ++p) {
        const int x = p % kWidth;
        const int y = p / kWidth;
        for (int c = 0; c < 3; ++c) {
            image.rgba.push_back(static_cast<std::uint8_t>(ppm[start + 3 * p + c]));
        }
        image.rgba.push_back(clearCorner && x < 5 && y < 4 ? (x == 0 ? 0 : 100) : 255);
        if (offColours && y == 5) {
            image.rgba[4 * p] = static_cast<std::uint8_t>(x * 7);
            image.rgba[4 * p + 1] = 0x21;
        }
    }
    return image;
}

// The test image with rows of pure red, green, blue and #2080ff on top:
// colours that an average of the channels makes wrong at 1, 2 and 4 bits.
palmbitmap::Image primariesImage() {
    palmbitmap::Image image = testImage(true, false);
    const std::uint8_t rows[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0x20, 0x80, 0xFF}};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::copy_n(rows[y], 3, &image.rgba[4 * static_cast<std::size_t>(y * kWidth + x)]);
        }
    }
    return image;
}

// What a member should show: each value's colour, alpha 0 where transparent.
palmbitmap::Image expectedImage(const palmbitmap::ReducedImage& reduced,
                                const std::vector<palmbitmap::Rgb>& palette) {
    palmbitmap::Image image{kWidth, kHeight, {}};
    for (const std::uint16_t value : reduced.values) {
        const palmbitmap::Rgb c = palette.empty() ? palmbitmap::expand565(value) : palette[value];
        image.rgba.insert(image.rgba.end(),
                          {c.red, c.green, c.blue,
                           static_cast<std::uint8_t>(reduced.transparentValue == value ? 0 : 255)});
    }
    return image;
}

struct Written {
    const char* name;
    palmbitmap::MemberFormat format;
    bool colourTableOfImage;
    bool dither;
    bool transparent;
    bool palmtopnmReads;  // no 16-bit PackBits, 5-6-5 transparent values or clear greys
    // The primaries image, whose greys must be netpbm's (ppmtopgm, pamdepth).
    bool greysOfNetpbm = false;
    // Named rather than found: the image may leave no value free.
    std::optional<std::uint16_t> transparentValue = {};
    // A colour table of at most this many entries by imagePalette, which
    // must cut the image's colours down: close to them, never drawn through.
    std::size_t imagePaletteOf = 0;
};

TEST(PalmBitmapWriter, WritesWhatBothReadersReadAsTheReducedImage) {
    using C = palmbitmap::Compression;
    const auto f = [](int version, int depth, std::optional<C> compression, int density = 72) {
        palmbitmap::MemberFormat format;
        format.version = version;
        format.depth = depth;
        format.compression = compression;
        format.density = density;
        return format;
    };
    const std::vector<Written> cases = {
        {"1 bit, version 1", f(1, 1, C::none), false, false, false, true},
        {"1 bit, version 1, scan line", f(1, 1, C::scanLine), false, true, false, true},
        {"2 bits, RLE", f(2, 2, C::rle), false, false, false, true},
        // Its opaque pixels take all sixteen greys.
        {"4 bits, RLE, transparent", f(2, 4, C::rle), false, false, true, false, false, 15},
        {"4 bits, PackBits, dithered", f(2, 4, C::packBits), false, true, false, true},
        {"1 bit, colours by luminance", f(2, 1, C::none), false, false, false, true, true},
        {"2 bits, colours by luminance, RLE", f(2, 2, C::rle), false, false, false, true, true},
        {"4 bits, colours by luminance, PackBits", f(3, 4, C::packBits), false, false, false, true,
         true},
        {"8 bits, system palette, scan line", f(2, 8, C::scanLine), false, false, true, true},
        {"8 bits, system palette, PackBits", f(2, 8, C::packBits), false, false, false, true},
        {"8 bits, system palette, RLE, dithered", f(2, 8, C::rle), false, true, false, true},
        {"8 bits, own colour table, RLE", f(2, 8, C::rle), true, false, true, true},
        {"8 bits, own colour table, PackBits", f(2, 8, C::packBits), true, false, false, true},
        {"8 bits, smallest form", f(2, 8, std::nullopt), false, false, false, true},
        {"8 bits, 16 colours by median cut, PackBits",
         f(2, 8, C::packBits),
         false,
         false,
         false,
         true,
         false,
         {},
         16},
        {"8 bits, 6 by median cut, dithered, transparent",
         f(2, 8, C::rle),
         false,
         true,
         true,
         true,
         false,
         {},
         6},
        {"4 bits, 16 colours by median cut",
         f(3, 4, C::none),
         false,
         false,
         false,
         true,
         false,
         {},
         16},
        {"2 bits, 3 by median cut and a transparent entry",
         f(2, 2, C::scanLine),
         false,
         false,
         true,
         true,
         false,
         {},
         4},
        {"8 bits, version 3, density 144", f(3, 8, C::rle, 144), false, false, true, true},
        {"16 bits, plain", f(2, 16, C::none), false, false, false, true},
        {"16 bits, transparent, scan line", f(2, 16, C::scanLine), false, false, true, true},
        {"16 bits, PackBits", f(2, 16, C::packBits), false, false, false, false},
        {"16 bits, version 3, PackBits", f(3, 16, C::packBits, 108), false, true, false, false},
        {"16 bits, version 3, transparent", f(3, 16, C::none, 144), false, false, true, false},
        {"16 bits, version 3, smallest", f(3, 16, std::nullopt, 288), false, false, false, false},
    };
    for (const Written& c : cases) {
        SCOPED_TRACE(c.name);
        palmbitmap::MemberFormat format = c.format;
        const palmbitmap::Image image =
            c.greysOfNetpbm ? primariesImage() : testImage(true, c.transparent);
        std::vector<palmbitmap::Rgb> palette;
        if (c.colourTableOfImage) {
            palette = palmbitmap::imageColors(testImage(false, c.transparent), 256).value();
            format.colorTable = palette;
        } else if (format.depth < 16) {
            palette = palmbitmap::defaultPalette(format.depth);
        }
        std::span<const palmbitmap::Rgb> opaque = palette;
        std::optional<std::uint16_t> transparentValue = c.transparentValue;
        if (c.imagePaletteOf != 0) {
            ASSERT_FALSE(palmbitmap::imageColors(image, c.imagePaletteOf).has_value());
            const palmbitmap::ImagePalette own = palmbitmap::imagePalette(image, c.imagePaletteOf);
            EXPECT_EQ(own.colors.size(), c.imagePaletteOf);
            EXPECT_EQ(own.transparentIndex.has_value(), c.transparent);
            palette = own.colors;
            format.colorTable = palette;
            // Only transparent pixels take the transparent entry.
            opaque = std::span<const palmbitmap::Rgb>(palette).first(
                own.transparentIndex.value_or(palette.size()));
            transparentValue = own.transparentIndex;
        }
        const palmbitmap::ReducedImage reduced =
            palmbitmap::reduceColors(c.colourTableOfImage ? testImage(false, c.transparent) : image,
                                     {opaque, c.dither, transparentValue});
        ASSERT_EQ(reduced.error, "");
        EXPECT_EQ(reduced.transparentValue.has_value(), c.transparent);
        format.transparentValue = reduced.transparentValue;
        const palmbitmap::EncodedMember member =
            palmbitmap::encodeBitmapMember(format, kWidth, kHeight, reduced.values);
        ASSERT_EQ(member.error, "");
        const palmbitmap::Image expected = expectedImage(reduced, palette);

        if (c.imagePaletteOf != 0) {
            // Close on average: each of n entries spans about a cube root of
            // n-th of each channel (what an index mixed up or a wrong mean
            // would be far beyond).
            double difference = 0;
            for (std::size_t k = 0; k < image.rgba.size(); ++k) {
                difference += std::abs(image.rgba[k] - expected.rgba[k]);
            }
            EXPECT_LT(difference / static_cast<double>(image.rgba.size()),
                      96 / std::cbrt(static_cast<double>(opaque.size())));
        }
        const palmbitmap::BitmapFamily family = palmbitmap::decodePalmBitmap(member.bytes);
        ASSERT_TRUE(palmbitmap::isIntact(family)) << family.error;
        const palmbitmap::BitmapMember& read = family.members.at(0);
        EXPECT_EQ(read.version, format.version);
        EXPECT_EQ(read.depth, format.depth);
        EXPECT_EQ(read.density, format.density);
        EXPECT_EQ(read.transparent, c.transparent);
        if (format.compression) {
            EXPECT_EQ(read.compression, *format.compression);
        }
        EXPECT_EQ(read.storedSize, member.bytes.size());
        EXPECT_EQ(testsupport::imageDifference(asRgba(expected), asRgba(read.image)), "");
        if (c.palmtopnmReads && testsupport::netpbmAvailable()) {
            const auto reference = testsupport::palmtopnmImage(member.bytes);
            ASSERT_TRUE(reference.has_value());
            EXPECT_EQ(
                testsupport::imageDifference(*reference, asRgba(expected), toleranceFor(read)), "");
        }
        // No longer than pnmtopalm's rows of the same pixels, in the same form.
        const bool netpbmWrites =
            !c.transparent && !c.colourTableOfImage && c.imagePaletteOf == 0 &&
            format.version == 2 && format.depth <= 8 &&
            (format.compression == C::packBits || format.compression == C::rle);
        if (netpbmWrites && testsupport::netpbmAvailable()) {
            const std::string levels = std::to_string((1 << format.depth) - 1);
            const std::string greys =
                format.depth < 8 ? "ppmtopgm | pamdepth " + levels + " | " : "";
            const auto theirs = testsupport::netpbmOutput(
                asRgba(expected), greys + "pnmtopalm -depth " + std::to_string(format.depth) +
                                      (format.compression == C::rle ? " -rle_compression"
                                                                    : " -packbits_compression"));
            ASSERT_TRUE(theirs.has_value());
            EXPECT_EQ(testsupport::palmtopnmImage(*theirs)->rgba, asRgba(expected).rgba);
            EXPECT_LE(member.bytes.size(), theirs->size());
        }
        if (c.greysOfNetpbm && testsupport::netpbmAvailable()) {
            const auto greys = testsupport::ppmtopgmGreys(asRgba(image), 1 << format.depth);
            ASSERT_TRUE(greys.has_value());
            EXPECT_EQ(testsupport::imageDifference(*greys, asRgba(read.image)), "");
        }
    }
}

// And no form is larger than largestMemberSize, which a build judges itself
// by before it encodes: on an image, and on values that no compression
// shortens (every pixel unlike its neighbours and the one above it), with the
// largest colour table.
TEST(PalmBitmapWriter, SmallestFormIsNoLargerThanAnyTheVersionAllows) {
    using C = palmbitmap::Compression;
    const palmbitmap::Image image = testImage(false, false);
    for (const int version : {1, 2, 3}) {
        for (const int depth : {2, 8, 16}) {
            const std::vector<palmbitmap::Rgb> palette =
                depth == 16 ? std::vector<palmbitmap::Rgb>{} : palmbitmap::defaultPalette(depth);
            const std::size_t colors = std::size_t{1} << depth;
            std::vector<std::uint16_t> unlike(std::size_t{kWidth} * kHeight);
            for (std::size_t p = 0; p < unlike.size(); ++p) {
                const std::size_t x = p % kWidth;
                const std::size_t y = p / kWidth;
                unlike[p] = static_cast<std::uint16_t>((x * 40503 + y * 2 + 1) % colors);
            }
            const std::vector<std::vector<std::uint16_t>> valueSets = {
                palmbitmap::reduceColors(image, {palette, false, {}}).values, unlike};
            for (const auto& values : valueSets) {
                SCOPED_TRACE(std::to_string(version) + "/" + std::to_string(depth) +
                             (&values == &valueSets[1] ? " unlike" : ""));
                palmbitmap::MemberFormat format{version, depth, 72, std::nullopt, palette, {}};
                const std::size_t best =
                    palmbitmap::encodeBitmapMember(format, kWidth, kHeight, values).bytes.size();
                EXPECT_LE(best, palmbitmap::largestMemberSize(version, depth, kWidth, kHeight,
                                                              std::nullopt));
                for (const C c : {C::none, C::scanLine, C::rle, C::packBits}) {
                    format.compression = c;
                    const auto one =
                        palmbitmap::encodeBitmapMember(format, kWidth, kHeight, values);
                    const bool allowed = version > 1 || c == C::none || c == C::scanLine;
                    EXPECT_EQ(one.error.empty(), allowed);
                    const bool inBest =
                        allowed && !(version == 2 && depth == 16 && c == C::packBits);
                    if (inBest) {
                        EXPECT_LE(best, one.bytes.size());
                    }
                    EXPECT_LE(one.bytes.size(),
                              palmbitmap::largestMemberSize(version, depth, kWidth, kHeight, c));
                }
            }
        }
    }
}

// Rows whose shortest form a greedy choice misses, and their exact lengths;
// each expands back to itself.
TEST(RowCompression, PacksEachRowAsShortAsTheFormatAllows) {
    using C = palmbitmap::Compression;
    const auto repeated = [](std::initializer_list<std::pair<std::uint8_t, std::size_t>> runs) {
        Bytes row;
        for (const auto& [value, count] : runs) {
            row.insert(row.end(), count, value);
        }
        return row;
    };
    Bytes distinct(130);
    for (std::size_t k = 0; k < distinct.size(); ++k) {
        distinct[k] = static_cast<std::uint8_t>(k);
    }
    Bytes distinctThenPair(distinct.begin(), distinct.begin() + 128);
    distinctThenPair.insert(distinctThenPair.end(), {7, 7});
    struct Case {
        const char* name;
        C compression;
        std::size_t unitSize;
        Bytes row;
        std::size_t shortest;
    };
    const std::vector<Case> cases = {
        {"a pair before a run: two repeats", C::packBits, 1, repeated({{1, 2}, {2, 3}}), 4},
        {"runs of 130: two repeats each", C::packBits, 1, repeated({{1, 130}, {2, 130}}), 8},
        {"a pair after a full literal", C::packBits, 1, distinctThenPair, 129 + 2},
        {"130 unlike bytes: two literals", C::packBits, 1, distinct, 130 + 2},
        {"a lone byte between runs", C::packBits, 1, repeated({{1, 5}, {2, 1}, {1, 5}}), 6},
        {"16-bit pairs of units", C::packBits, 2, repeated({{1, 4}, {2, 2}, {3, 4}}), 9},
        {"16-bit run of 129 units", C::packBits, 2, repeated({{9, 258}}), 6},
        {"a run longer than a pair holds", C::rle, 1, repeated({{4, 300}, {5, 1}}), 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Twice, as two rows: no token crosses from one row to the next.
        Bytes rows = c.row;
        rows.insert(rows.end(), c.row.begin(), c.row.end());
        const Bytes packed = c.compression == C::rle
                                 ? palmbitmap::compressRle(rows, c.row.size())
                                 : palmbitmap::compressPackBits(rows, c.unitSize, c.row.size());
        EXPECT_EQ(packed.size(), 2 * c.shortest);
        const auto back = c.compression == C::rle
                              ? palmbitmap::expandRle(packed, c.row.size(), 2)
                              : palmbitmap::expandPackBits(packed, c.unitSize, c.row.size(), 2);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, rows);
    }
}

TEST(PalmBitmapWriter, ChainsFamiliesWithCorrectOffsetsAndTheDensityMarker) {
    const palmbitmap::Image image = testImage(false, false);
    const auto encoded = [&](int version, int depth, int density, palmbitmap::Compression c) {
        const std::vector<palmbitmap::Rgb> palette =
            depth == 16 ? std::vector<palmbitmap::Rgb>{} : palmbitmap::defaultPalette(depth);
        const auto values = palmbitmap::reduceColors(image, {palette, false, {}}).values;
        return palmbitmap::encodeBitmapMember({version, depth, density, c, {}, {}}, kWidth, kHeight,
                                              values)
            .bytes;
    };
    using C = palmbitmap::Compression;
    // Odd sizes: an uncompressed 1-bit member of 37×23 is 16 + 23 × 6 bytes.
    const std::vector<std::vector<std::uint8_t>> members = {
        encoded(1, 1, 72, C::none), encoded(2, 8, 72, C::rle), encoded(2, 16, 72, C::none),
        encoded(3, 8, 144, C::packBits), encoded(3, 16, 144, C::none)};
    const palmbitmap::EncodedFamily family = palmbitmap::chainBitmapFamily(members);
    ASSERT_EQ(family.error, "");
    const palmbitmap::BitmapFamily decoded = palmbitmap::decodePalmBitmap(family.bytes);
    ASSERT_TRUE(palmbitmap::isIntact(decoded)) << decoded.error;
    ASSERT_EQ(decoded.members.size(), members.size());
    std::size_t expectedOffset = 0;
    for (std::size_t k = 0; k < members.size(); ++k) {
        SCOPED_TRACE(k);
        if (k == 3) {
            // The marker: a version-1 header of depth 0xFF pointing 16 bytes on.
            const Bytes marker(family.bytes.begin() + expectedOffset,
                               family.bytes.begin() + expectedOffset + 16);
            EXPECT_EQ(marker, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1, 0, 4, 0, 0, 0, 0}));
            expectedOffset += 16;
        }
        EXPECT_EQ(decoded.members[k].offset, expectedOffset);
        // The member as written, but for its link to the next.
        Bytes linked(family.bytes.begin() + expectedOffset,
                     family.bytes.begin() + expectedOffset + members[k].size());
        std::fill_n(linked.begin() + (linked[9] == 3 ? 20 : 10), linked[9] == 3 ? 4 : 2, 0);
        EXPECT_EQ(linked, members[k]);
        expectedOffset += (members[k].size() + 3) / 4 * 4;
        // Each member alone, as palmtopnm reads it, matches its reading in the family.
        if (members[k][8] != 16 || members[k][9] != 3) {
            const palmbitmap::BitmapMember alone =
                palmbitmap::decodePalmBitmap(members[k]).members.at(0);
            EXPECT_EQ(alone.image.rgba, decoded.members[k].image.rgba);
        }
    }
    EXPECT_NE(palmbitmap::chainBitmapFamily({}).error, "");
}

TEST(ColorReduction, KeepsExactColoursAndFindsTheNearestOthers) {
    using palmbitmap::Rgb;
    const std::vector<Rgb> system = palmbitmap::defaultPalette(8);
    const std::vector<Rgb> greys = palmbitmap::defaultPalette(2);
    constexpr std::uint16_t kLookUp = 0xFFFF;  // the colour's own index in the palette
    struct Case {
        const char* name;
        std::vector<Rgb> palette;
        Rgb color;
        std::uint16_t value;
    };
    const std::vector<Case> cases = {
        {"white is the system palette's first entry", system, {255, 255, 255}, 0},
        {"black is 255, not an unused entry before it", system, {0, 0, 0}, 255},
        {"a cube colour", system, {0x33, 0x99, 0xCC}, kLookUp},
        {"a grey of the tail", system, {0x44, 0x44, 0x44}, kLookUp},
        {"near white", system, {250, 252, 251}, 0},
        {"light grey among four greys", greys, {0xA0, 0xA0, 0xA0}, 1},
        {"dark grey among four greys", greys, {0x60, 0x60, 0x60}, 2},
        {"5-6-5 colour", {}, palmbitmap::expand565(0x1234), 0x1234},
        {"full red", {}, {255, 0, 0}, 0xF800},
        {"rounds to the nearest level", {}, {6, 3, 5}, (1 << 11) | (1 << 5) | 1},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        if (c.value == kLookUp) {
            const auto at = std::find(c.palette.rbegin(), c.palette.rend(), c.color);
            ASSERT_NE(at, c.palette.rend());
            c.value = static_cast<std::uint16_t>(c.palette.rend() - at - 1);
        }
        const palmbitmap::Image pixel{1, 1, {c.color.red, c.color.green, c.color.blue, 255}};
        const auto reduced = palmbitmap::reduceColors(pixel, {c.palette, false, {}});
        ASSERT_EQ(reduced.values.size(), 1u);
        EXPECT_EQ(reduced.values[0], c.value);
    }
    // Every 5-6-5 colour comes back exactly.
    for (unsigned value = 0; value < 0x10000; value += 37) {
        EXPECT_EQ(palmbitmap::nearest565(palmbitmap::expand565(static_cast<std::uint16_t>(value))),
                  value);
    }
}

TEST(ColorReduction, DithersOnlyWhenAskedAndKeepsTransparencyApart) {
    // A flat colour between black and white: plain reduction gives the
    // nearer to its luminance (ppmtopgm's), dithering a mix of both whose
    // average is close to that luminance, not to the channels' average.
    const std::vector<palmbitmap::Rgb> twoGreys = palmbitmap::defaultPalette(1);
    struct Flat {
        palmbitmap::Rgb color;
        int luminance;  // as `ppmtopgm` gives it
    };
    for (const Flat& f : std::vector<Flat>{{{0x60, 0x60, 0x60}, 0x60},
                                           {{255, 0, 0}, 77},
                                           {{0, 255, 0}, 149},
                                           {{0, 0, 255}, 29},
                                           {{0x20, 0x80, 0xFF}, 114},
                                           {{0x30, 0xA0, 0x20}, 112}}) {
        SCOPED_TRACE(f.luminance);
        constexpr int kSide = 64;
        palmbitmap::Image flat{kSide, kSide, {}};
        for (int p = 0; p < kSide * kSide; ++p) {
            flat.rgba.insert(flat.rgba.end(), {f.color.red, f.color.green, f.color.blue, 255});
        }
        const auto plain = palmbitmap::reduceColors(flat, {twoGreys, false, {}});
        EXPECT_EQ(std::count(plain.values.begin(), plain.values.end(), 1),
                  f.luminance < 128 ? kSide * kSide : 0);
        const auto dithered = palmbitmap::reduceColors(flat, {twoGreys, true, {}});
        const auto dark = std::count(dithered.values.begin(), dithered.values.end(), 1);
        EXPECT_NEAR(static_cast<double>(dark) / (kSide * kSide), 1 - f.luminance / 255.0, 0.01);
    }

    // Both colours of one bit taken by opaque pixels: nothing left for a
    // transparent one, unless the manifest names it.
    palmbitmap::Image three{3, 1, {255, 255, 255, 255, 0, 0, 0, 255, 9, 9, 9, 0}};
    EXPECT_NE(palmbitmap::reduceColors(three, {twoGreys, false, {}}).error, "");
    const auto named = palmbitmap::reduceColors(three, {twoGreys, false, std::uint16_t{0}});
    EXPECT_EQ(named.values, (std::vector<std::uint16_t>{0, 1, 0}));
    // At 16 bits the key is magenta unless an opaque pixel has it.
    three.rgba[0] = 255;
    three.rgba[1] = 0;
    three.rgba[2] = 255;
    const auto direct = palmbitmap::reduceColors(three, {{}, false, {}});
    ASSERT_TRUE(direct.transparentValue.has_value());
    EXPECT_NE(*direct.transparentValue, 0xF81F);
    EXPECT_EQ(direct.values[2], *direct.transparentValue);
    EXPECT_NE(direct.values[0], *direct.transparentValue);
    // An image's own colours, and a free entry for its transparent pixels.
    const auto own = palmbitmap::imageColors(three, 256).value();
    EXPECT_EQ(own.size(), 3u);
    EXPECT_EQ(own[1], (palmbitmap::Rgb{0, 0, 0}));
    EXPECT_FALSE(palmbitmap::imageColors(three, 2).has_value());
}

}  // namespace
