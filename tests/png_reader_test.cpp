// The PNG reader against netpbm's pngtopam: every kind of PNG an editor
// writes, and the files it must refuse.
#include "png_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "files.h"
#include "netpbm_reference.h"
#include "png_writer.h"

namespace {

using testsupport::Bytes;
using testsupport::RunResult;
using testsupport::TempFolder;

constexpr int kWidth = 37;
constexpr int kHeight = 23;

// A colour image of 216 colours (a palette PNG unless forced) and a grey ramp, as PNM.
std::pair<std::string, std::string> pnmImages() {
    std::string ppm = "P6\n37 23\n255\n";
    std::string pgm = "P5\n37 23\n255\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            ppm += {static_cast<char>(0x33 * (x % 6)), static_cast<char>(0x33 * (y % 6)),
                    static_cast<char>(0x33 * ((x + y) % 6))};
            pgm += static_cast<char>((x * 7 + y * 3) % 256);
        }
    }
    return {ppm, pgm};
}

// What a shell command writes when run in a folder that holds colour.ppm and grey.pgm.
Bytes netpbmOutput(const TempFolder& folder, const std::string& command) {
    const auto [ppm, pgm] = pnmImages();
    testsupport::writeFile(folder / "colour.ppm", Bytes(ppm.begin(), ppm.end()));
    testsupport::writeFile(folder / "grey.pgm", Bytes(pgm.begin(), pgm.end()));
    const RunResult run = testsupport::runProgram(
        {"/bin/bash", "-c", "cd '" + folder.path.string() + "' && " + command});
    EXPECT_EQ(run.exitStatus, 0) << command << ": " << run.err;
    return Bytes(run.out.begin(), run.out.end());
}

// PNG files as editors write them, made by netpbm, read as pngtopam reads them.
TEST(PngReader, ReadsEveryKindOfPngAsPngtopamDoes) {
    REQUIRE_NETPBM();
    const std::vector<std::string> commands = {
        "pnmtopng colour.ppm",
        "pnmtopng -interlace colour.ppm",
        "pnmtopng grey.pgm",
        "pamdepth 1 grey.pgm | pnmtopng",
        "pnmtopng -transparent '#3399cc' colour.ppm",
        "pnmtopng -alpha grey.pgm colour.ppm",
        "pnmtopng -alpha grey.pgm -interlace grey.pgm",
        "pamdepth 65535 colour.ppm | pnmtopng",
        "pamdepth 65535 grey.pgm | pnmtopng -interlace",
        "pamdepth 65535 grey.pgm > a.pgm; pamdepth 65535 colour.ppm | pnmtopng -alpha a.pgm",
        "pnmtopng -force colour.ppm",
        "pnmtopng -force -transparent '#3399cc' colour.ppm",
        "pnmtopng -transparent '#808080' grey.pgm",
    };
    TempFolder folder;
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const Bytes file = netpbmOutput(folder, command);
        ASSERT_FALSE(file.empty());
        testsupport::writeFile(folder / "image.png", file);
        auto reference = testsupport::pngImage((folder / "image.png").string());
        ASSERT_TRUE(reference.has_value());
        // pngtopam leaves an RGB image's transparent colour (tRNS) opaque.
        if (command.find("-force -transparent") != std::string::npos) {
            for (std::size_t p = 0; p < reference->rgba.size(); p += 4) {
                if (reference->rgba[p] == 0x33 && reference->rgba[p + 1] == 0x99 &&
                    reference->rgba[p + 2] == 0xCC) {
                    reference->rgba[p + 3] = 0;
                }
            }
        }
        const png::DecodedPng decoded = png::decodePng(file);
        ASSERT_EQ(decoded.error, "");
        EXPECT_EQ(testsupport::imageDifference(*reference,
                                               {static_cast<int>(decoded.width),
                                                static_cast<int>(decoded.height), decoded.rgba}),
                  "");
    }
}

void put32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (std::size_t k = 0; k < 4; ++k) {
        out[at + k] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
    }
}

// A chunk as a PNG file holds it: length, type, data, checksum.
Bytes pngChunk(const std::string& type, const Bytes& data) {
    Bytes chunk(12 + data.size());
    put32(chunk, 0, static_cast<std::uint32_t>(data.size()));
    std::copy_n(type.begin(), 4, chunk.begin() + 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(data.size() + 4));
    put32(chunk, 8 + data.size(), static_cast<std::uint32_t>(crc));
    return chunk;
}

// The file with chunks put in after IHDR (which ends at byte 33).
Bytes withChunks(const Bytes& file, const Bytes& chunks) {
    Bytes out(file.size() + chunks.size());
    const auto at = std::copy_n(file.begin(), 33, out.begin());
    std::copy(file.begin() + 33, file.end(), std::copy(chunks.begin(), chunks.end(), at));
    return out;
}

// Width and height set in IHDR, its checksum made to match.
Bytes withSize(const Bytes& file, std::uint32_t width, std::uint32_t height) {
    Bytes out = file;
    put32(out, 16, width);
    put32(out, 20, height);
    put32(out, 29, static_cast<std::uint32_t>(crc32(0, out.data() + 12, 17)));
    return out;
}

// What editors add (text, however much; a damaged ancillary chunk, which
// readers skip) is read past; what is damaged is refused on both platforms
// alike (tests/windows_programs_test.cpp runs Lumen.exe on the same files).
TEST(PngReader, ReadsPastTextAndRefusesWhatIsNoImageOrTooLarge) {
    Bytes rgba;
    for (int p = 0; p < kWidth * kHeight; ++p) {
        rgba.insert(rgba.end(), {static_cast<std::uint8_t>(p), 7, static_cast<std::uint8_t>(p / 3),
                                 static_cast<std::uint8_t>(p % 5 == 0 ? 0 : 255)});
    }
    const Bytes good = png::encodeRgbaPng(kWidth, kHeight, rgba);
    ASSERT_EQ(png::decodePng(good).rgba, rgba);
    const auto changed = [&](const std::function<void(Bytes&)>& change) {
        Bytes file = good;
        change(file);
        return file;
    };
    struct Case {
        const char* name;
        Bytes file;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "not a PNG"},
        {"a Palm bitmap", Bytes(40, 0), "not a PNG"},
        {"signature only", Bytes(good.begin(), good.begin() + 8), "damaged or cut short"},
        {"cut short", Bytes(good.begin(), good.end() - 30), "damaged or cut short"},
        {"checksum wrong", changed([](Bytes& b) { b[40] ^= 1; }), "damaged or cut short"},
        {"IHDR checksum wrong", changed([](Bytes& b) { b[29] ^= 1; }), "damaged or cut short"},
        {"IDAT checksum wrong", changed([](Bytes& b) { b[b.size() - 13] ^= 1; }),
         "damaged or cut short"},
        {"IDAT data changed", changed([](Bytes& b) { b[45] ^= 1; }), "damaged or cut short"},
        {"an unknown critical chunk", withChunks(good, pngChunk("ZZZZ", {1})),
         "damaged or cut short"},
        {"no IDAT", changed([](Bytes& b) { b.erase(b.begin() + 33, b.end() - 12); }),
         "damaged or cut short"},
        {"a second IHDR", withChunks(good, Bytes(good.begin() + 8, good.begin() + 33)),
         "damaged or cut short"},
        {"tRNS after the data", changed([](Bytes& b) {
             const Bytes trns = pngChunk("tRNS", {0, 1, 0, 2, 0, 3});
             b.insert(b.end() - 12, trns.begin(), trns.end());
         }),
         "damaged or cut short"},
        {"too wide", withSize(good, 0x1001, kHeight), "limit is 4096x4096"},
        {"too tall", withSize(good, kWidth, 0x800000), "limit is 4096x4096"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const png::DecodedPng decoded = png::decodePng(c.file);
        EXPECT_TRUE(decoded.rgba.empty());
        EXPECT_NE(decoded.error.find(c.error), std::string::npos) << decoded.error;
        const png::PngSize size = png::readPngSize(
            std::span(c.file).first(std::min(c.file.size(), png::kPngHeaderBytes)));
        if (!size.error.empty()) {
            EXPECT_EQ(size.error, decoded.error);
        }
    }

    Bytes manyTexts;
    for (int k = 0; k < 10000; ++k) {
        const std::string text = "Comment" + std::string(1, '\0') + std::to_string(k);
        const Bytes chunk = pngChunk("tEXt", Bytes(text.begin(), text.end()));
        manyTexts.insert(manyTexts.end(), chunk.begin(), chunk.end());
    }
    Bytes longText(std::size_t{16} << 20, 'x');
    std::copy_n("Comment", 8, longText.begin());
    Bytes damagedText = pngChunk("tEXt", {'a', 0, 'b'});
    damagedText.back() ^= 1;
    const Bytes afterData = changed([&](Bytes& b) {
        const Bytes text = pngChunk("zTXt", {'a', 0, 0, 0x78, 0x9C});
        b.insert(b.end() - 12, text.begin(), text.end());
    });
    const std::vector<std::pair<const char*, Bytes>> readable = {
        {"10,000 text chunks", withChunks(good, manyTexts)},
        {"a text chunk of 16 MB", withChunks(good, pngChunk("tEXt", longText))},
        {"a text chunk with a wrong checksum", withChunks(good, damagedText)},
        {"a text chunk between IDAT and IEND", afterData},
    };
    for (const auto& [name, file] : readable) {
        SCOPED_TRACE(name);
        const png::DecodedPng decoded = png::decodePng(file);
        EXPECT_EQ(decoded.error, "");
        EXPECT_EQ(decoded.rgba, rgba);
        const png::PngSize size = png::readPngSize(std::span(file).first(png::kPngHeaderBytes));
        EXPECT_EQ(size.error, "");
        EXPECT_EQ(size.width, static_cast<std::uint32_t>(kWidth));
        EXPECT_EQ(size.height, static_cast<std::uint32_t>(kHeight));
    }
}

}  // namespace
