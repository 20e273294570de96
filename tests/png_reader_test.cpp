// The PNG reader against netpbm's pngtopam: every kind of PNG an editor
// writes, and the files it must refuse.
#include "png_reader.h"

#include <gtest/gtest.h>

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

TEST(PngReader, RefusesWhatIsNoImageOrTooLarge) {
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
        {"too wide", changed([](Bytes& b) { b[18] = 0x10; }), "limit is 4096x4096"},
        {"too tall", changed([](Bytes& b) { b[21] = 0x80; }), "limit is 4096x4096"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const png::DecodedPng decoded = png::decodePng(c.file);
        EXPECT_TRUE(decoded.rgba.empty());
        EXPECT_NE(decoded.error.find(c.error), std::string::npos) << decoded.error;
    }
}

}  // namespace
