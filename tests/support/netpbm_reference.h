// netpbm as an independent reference: palmtopnm decodes Palm bitmaps and
// pngtopam reads PNG files, both into RGBA for comparison.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "required_tool.h"

namespace testsupport {

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// True when the netpbm programs are installed.
bool netpbmAvailable();

#define REQUIRE_NETPBM()                                           \
    REQUIRE_TOOL(testsupport::netpbmAvailable(), "REQUIRE_NETPBM", \
                 "netpbm (palmtopnm, pngtopam) is missing")

// palmtopnm's reading of one rendition (1 is the first) of a bitmap, with
// alpha 0 wherever it reports the transparent colour; nothing if it refuses.
std::optional<RgbaImage> palmtopnmImage(const std::vector<std::uint8_t>& bitmap, int rendition = 1);

// An opaque image as netpbm makes it grey: ppmtopgm's luminance, rounded by
// pamdepth to `levels` greys, spelled again in 0..255.
std::optional<RgbaImage> ppmtopgmGreys(const RgbaImage& image, int levels);

// What a netpbm command writes given an opaque image as a PPM file on its
// standard input; nothing if it fails.
std::optional<std::vector<std::uint8_t>> netpbmOutput(const RgbaImage& image,
                                                      const std::string& command);

// A PNG file read by pngtopam, with its alpha channel.
std::optional<RgbaImage> pngImage(const std::string& path);

// Where two images differ, as a line for a test failure; empty when they
// agree within the tolerance per channel.
std::string imageDifference(const RgbaImage& expected, const RgbaImage& actual, int tolerance = 0);

}  // namespace testsupport
