#include "netpbm_reference.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "files.h"

namespace testsupport {
namespace {

// A PAM image (what pamtopam writes for every netpbm format), samples scaled to 0..255.
std::optional<RgbaImage> parsePam(const std::string& file) {
    std::istringstream in(file);
    std::string magic;
    std::getline(in, magic);
    if (magic != "P7") {
        return std::nullopt;
    }
    int depth = 0;
    int maxval = 0;
    RgbaImage image;
    for (std::string line; std::getline(in, line) && line != "ENDHDR";) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "WIDTH")
            fields >> image.width;
        if (key == "HEIGHT")
            fields >> image.height;
        if (key == "DEPTH")
            fields >> depth;
        if (key == "MAXVAL")
            fields >> maxval;
    }
    const auto start = static_cast<std::size_t>(in.tellg());
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    if (depth < 1 || depth > 4 || maxval < 1 || maxval > 255 ||
        file.size() - start < pixels * depth) {
        return std::nullopt;
    }
    for (std::size_t p = 0; p < pixels; ++p) {
        const auto sample = [&](int k) {
            const auto value = static_cast<unsigned char>(file[start + p * depth + k]);
            return static_cast<std::uint8_t>(value * 255 / maxval);
        };
        const bool grey = depth <= 2;
        image.rgba.push_back(sample(0));
        image.rgba.push_back(sample(grey ? 0 : 1));
        image.rgba.push_back(sample(grey ? 0 : 2));
        image.rgba.push_back(depth == 2 || depth == 4 ? sample(depth - 1) : 255);
    }
    return image;
}

std::string shellQuoted(const std::filesystem::path& path) {
    std::string text = "'";
    text.append(path.string()).push_back('\'');
    return text;
}

std::optional<RgbaImage> pamOf(const std::string& command) {
    const RunResult run = runProgram({"/bin/sh", "-c", command + " | pamtopam"});
    if (run.exitStatus != 0) {
        return std::nullopt;
    }
    return parsePam(run.out);
}

}  // namespace

bool netpbmAvailable() {
    return std::filesystem::exists("/usr/bin/palmtopnm") &&
           std::filesystem::exists("/usr/bin/pngtopam");
}

std::optional<RgbaImage> palmtopnmImage(const std::vector<std::uint8_t>& bitmap, int rendition) {
    TempFolder folder;
    writeFile(folder / "bitmap", bitmap);
    const std::string source = shellQuoted(folder / "bitmap");
    std::optional<RgbaImage> image =
        pamOf("palmtopnm -rendition " + std::to_string(rendition) + " " + source);
    const RunResult transparent = runProgram(
        {"/bin/sh", "-c",
         "palmtopnm -transparent -rendition " + std::to_string(rendition) + " " + source});
    unsigned red = 0, green = 0, blue = 0;
    if (image && std::sscanf(transparent.out.c_str(), "#%2x%2x%2x", &red, &green, &blue) == 3) {
        for (std::size_t p = 0; p < image->rgba.size(); p += 4) {
            if (image->rgba[p] == red && image->rgba[p + 1] == green &&
                image->rgba[p + 2] == blue) {
                image->rgba[p + 3] = 0;
            }
        }
    }
    return image;
}

namespace {

std::string ppmOf(const RgbaImage& image) {
    std::string ppm =
        "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    for (std::size_t p = 0; p + 3 < image.rgba.size(); p += 4) {
        ppm.append(reinterpret_cast<const char*>(&image.rgba[p]), 3);
    }
    return ppm;
}

}  // namespace

std::optional<RgbaImage> ppmtopgmGreys(const RgbaImage& image, int levels) {
    const RunResult run = runProgram(
        {"/bin/sh", "-c", "ppmtopgm | pamdepth " + std::to_string(levels - 1) + " | pamtopam"},
        ppmOf(image));
    return run.exitStatus == 0 ? parsePam(run.out) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> netpbmOutput(const RgbaImage& image,
                                                      const std::string& command) {
    const RunResult run = runProgram({"/bin/sh", "-c", command}, ppmOf(image));
    if (run.exitStatus != 0) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(run.out.begin(), run.out.end());
}

std::optional<RgbaImage> pngImage(const std::string& path) {
    // 16-bit files come down to 8 bits rounded, as editors show them.
    return pamOf("pngtopam -alphapam " + shellQuoted(path) + " | pamdepth 255");
}

std::string imageDifference(const RgbaImage& expected, const RgbaImage& actual, int tolerance) {
    if (expected.width != actual.width || expected.height != actual.height ||
        expected.rgba.size() != actual.rgba.size()) {
        return "size " + std::to_string(actual.width) + "x" + std::to_string(actual.height) +
               ", expected " + std::to_string(expected.width) + "x" +
               std::to_string(expected.height);
    }
    for (std::size_t k = 0; k < expected.rgba.size(); ++k) {
        if (std::abs(expected.rgba[k] - actual.rgba[k]) > tolerance) {
            const std::size_t pixel = k / 4;
            return "pixel (" + std::to_string(pixel % expected.width) + ", " +
                   std::to_string(pixel / expected.width) + ") channel " + std::to_string(k % 4) +
                   " is " + std::to_string(actual.rgba[k]) + ", expected " +
                   std::to_string(expected.rgba[k]);
        }
    }
    return {};
}

}  // namespace testsupport
