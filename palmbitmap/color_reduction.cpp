#include "color_reduction.h"

#include <algorithm>
#include <array>
#include <limits>

#include "median_cut.h"
#include "rgb565.h"
#include "system_palette.h"

namespace palmbitmap {
namespace {

// The level of `bits` bits whose 8-bit spelling lies nearest to a channel.
constexpr unsigned nearestLevel(int channel, unsigned bits) {
    const unsigned maximum = (1u << bits) - 1;
    const auto spelled = [bits](unsigned level) {
        return static_cast<int>((level << (8 - bits)) | (level >> (2 * bits - 8)));
    };
    const auto distance = [&spelled, channel](unsigned level) {
        const int d = spelled(level) - channel;
        return d < 0 ? -d : d;
    };
    const unsigned guess = static_cast<unsigned>(channel) * maximum / 255;
    unsigned best = guess;
    for (unsigned level = guess == 0 ? 0 : guess - 1; level <= std::min(guess + 1, maximum);
         ++level) {
        if (distance(level) < distance(best)) {
            best = level;
        }
    }
    return best;
}

// Every pixel of a 16-bit member is looked up here.
constexpr std::array<std::uint8_t, 256> levelTable(unsigned bits) {
    std::array<std::uint8_t, 256> table{};
    for (int channel = 0; channel < 256; ++channel) {
        table[static_cast<std::size_t>(channel)] =
            static_cast<std::uint8_t>(nearestLevel(channel, bits));
    }
    return table;
}
constexpr std::array<std::uint8_t, 256> kFiveBitLevels = levelTable(5);
constexpr std::array<std::uint8_t, 256> kSixBitLevels = levelTable(6);

std::uint16_t nearest565Of(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return static_cast<std::uint16_t>((kFiveBitLevels[red] << 11) | (kSixBitLevels[green] << 5) |
                                      kFiveBitLevels[blue]);
}

struct Color {
    int red;
    int green;
    int blue;
};

int squaredDistance(const Color& a, Rgb b) {
    const int red = a.red - b.red;
    const int green = a.green - b.green;
    const int blue = a.blue - b.blue;
    return red * red + green * green + blue * blue;
}

std::uint16_t nearestIndex(std::span<const Rgb> palette, const Color& color) {
    std::size_t best = palette.size() - 1;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t k = palette.size(); k-- > 0;) {
        const int distance = squaredDistance(color, palette[k]);
        if (distance < bestDistance) {
            best = k;
            bestDistance = distance;
        }
    }
    return static_cast<std::uint16_t>(best);
}

std::uint8_t clamped(int channel) {
    return static_cast<std::uint8_t>(std::clamp(channel, 0, 255));
}

// A palette of greys alone (the default at 1, 2 and 4 bits) shows a colour as
// its luminance: by distance in RGB pure red, green and blue would all be the
// same grey. The weights are Rec. 601's in 256ths, rounded, exactly as
// netpbm's ppmtopgm computes them; they sum to 256, so a grey stays itself.
Color luminanceOf(int red, int green, int blue) {
    const int grey = (77 * red + 150 * green + 29 * blue + 128) >> 8;
    return {grey, grey, grey};
}

bool allGrey(std::span<const Rgb> palette) {
    return !palette.empty() && std::all_of(palette.begin(), palette.end(), [](Rgb c) {
        return c.red == c.green && c.green == c.blue;
    });
}

}  // namespace

std::uint16_t nearest565(Rgb color) {
    return nearest565Of(color.red, color.green, color.blue);
}

std::vector<Rgb> defaultPalette(int depth) {
    std::vector<Rgb> palette;
    for (unsigned index = 0; index < (1u << depth); ++index) {
        palette.push_back(defaultColor(depth, index));
    }
    return palette;
}

ReducedImage reduceColors(const Image& image, const ReductionChoice& choice) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const bool direct = choice.palette.empty();
    const bool greys = allGrey(choice.palette);
    ReducedImage reduced;
    reduced.values.resize(width * height);
    // The error still to be spread: this row's and the next one's, per channel.
    std::vector<Color> carried(choice.dither ? 2 * (width + 2) : 0, Color{0, 0, 0});
    bool anyTransparent = false;
    // Direct colour undithered, the form of most skins' bitmaps: pixel by
    // pixel, with nothing carried.
    const bool pixelByPixel = direct && !choice.dither;
    if (pixelByPixel) {
        for (std::size_t p = 0; p < width * height; ++p) {
            const std::uint8_t* pixel = &image.rgba[p * 4];
            if (pixel[3] < kTransparentBelowAlpha) {
                anyTransparent = true;
                continue;
            }
            reduced.values[p] = nearest565Of(pixel[0], pixel[1], pixel[2]);
        }
    }
    for (std::size_t y = 0; !pixelByPixel && y < height; ++y) {
        Color* here = choice.dither ? &carried[(y % 2) * (width + 2) + 1] : nullptr;
        Color* below = choice.dither ? &carried[((y + 1) % 2) * (width + 2) + 1] : nullptr;
        if (choice.dither) {
            std::fill_n(below - 1, width + 2, Color{0, 0, 0});
        }
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t p = y * width + x;
            const std::uint8_t* pixel = &image.rgba[p * 4];
            if (pixel[3] < kTransparentBelowAlpha) {
                anyTransparent = true;
                continue;
            }
            Color wanted = greys ? luminanceOf(pixel[0], pixel[1], pixel[2])
                                 : Color{pixel[0], pixel[1], pixel[2]};
            if (choice.dither) {
                // Sixteenths, rounded toward zero: no error, no change.
                wanted = {clamped(wanted.red + here[x].red / 16),
                          clamped(wanted.green + here[x].green / 16),
                          clamped(wanted.blue + here[x].blue / 16)};
            }
            const std::uint16_t value = direct
                                            ? nearest565({static_cast<std::uint8_t>(wanted.red),
                                                          static_cast<std::uint8_t>(wanted.green),
                                                          static_cast<std::uint8_t>(wanted.blue)})
                                            : nearestIndex(choice.palette, wanted);
            reduced.values[p] = value;
            if (choice.dither) {
                const Rgb got = direct ? expand565(value) : choice.palette[value];
                const Color error{wanted.red - got.red, wanted.green - got.green,
                                  wanted.blue - got.blue};
                const auto spread = [&error](Color& to, int weight) {
                    to.red += error.red * weight;
                    to.green += error.green * weight;
                    to.blue += error.blue * weight;
                };
                spread(here[x + 1], 7);
                spread((below - 1)[x], 3);  // at x = 0, the padding entry before the row
                spread(below[x], 5);
                spread(below[x + 1], 1);
            }
        }
    }
    reduced.transparentValue = choice.transparentValue;
    if (anyTransparent && !reduced.transparentValue) {
        // A value no opaque pixel takes.
        const std::size_t count = direct ? 0x10000 : choice.palette.size();
        std::vector<bool> used(count);
        for (std::size_t p = 0; p < reduced.values.size(); ++p) {
            if (image.rgba[p * 4 + 3] >= kTransparentBelowAlpha) {
                used[reduced.values[p]] = true;
            }
        }
        // Magenta first, the colour skins have always used for it (and an
        // index every reader knows: some stop at the system palette's 232nd).
        const std::uint16_t magenta =
            direct ? nearest565({255, 0, 255}) : nearestIndex(choice.palette, {255, 0, 255});
        if (!used[magenta]) {
            reduced.transparentValue = magenta;
        }
        for (std::size_t value = 0; !reduced.transparentValue && value < count; ++value) {
            if (!used[value]) {
                reduced.transparentValue = static_cast<std::uint16_t>(value);
            }
        }
        if (!reduced.transparentValue) {
            reduced.values.clear();
            reduced.error =
                "every colour is taken by an opaque pixel; none is left for the "
                "transparent ones";
            return reduced;
        }
    }
    for (std::size_t p = 0; p < reduced.values.size(); ++p) {
        if (image.rgba[p * 4 + 3] < kTransparentBelowAlpha) {
            reduced.values[p] = *reduced.transparentValue;
        }
    }
    return reduced;
}

namespace {

std::size_t keyOf(Rgb c) {
    return (std::size_t{c.red} << 16) | (std::size_t{c.green} << 8) | c.blue;
}

// An entry for transparent pixels in a colour that none of `seen` has, so
// that no opaque pixel is drawn through: magenta, or the next free one.
Rgb freeColor(const std::vector<bool>& seen) {
    std::size_t free = keyOf({255, 0, 255});
    while (seen[free]) {
        free = (free + 1) % seen.size();
    }
    return {static_cast<std::uint8_t>(free >> 16), static_cast<std::uint8_t>(free >> 8),
            static_cast<std::uint8_t>(free)};
}

bool hasTransparentPixels(const Image& image) {
    for (std::size_t p = 3; p < image.rgba.size(); p += 4) {
        if (image.rgba[p] < kTransparentBelowAlpha) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::vector<Rgb>> imageColors(const Image& image, std::size_t limit) {
    std::vector<Rgb> colors;
    std::vector<bool> seen(1u << 24);
    bool anyTransparent = false;
    for (std::size_t p = 0; p + 3 < image.rgba.size(); p += 4) {
        if (image.rgba[p + 3] < kTransparentBelowAlpha) {
            anyTransparent = true;
            continue;
        }
        const Rgb color{image.rgba[p], image.rgba[p + 1], image.rgba[p + 2]};
        if (!seen[keyOf(color)]) {
            seen[keyOf(color)] = true;
            colors.push_back(color);
        }
        if (colors.size() > limit) {
            return std::nullopt;
        }
    }
    if (anyTransparent) {
        colors.push_back(freeColor(seen));
    }
    if (colors.size() > limit) {
        return std::nullopt;
    }
    return colors;
}

ImagePalette imagePalette(const Image& image, std::size_t limit) {
    ImagePalette palette;
    const bool transparent = hasTransparentPixels(image);
    if (limit < (transparent ? 2u : 1u)) {
        return palette;
    }
    if (std::optional<std::vector<Rgb>> own = imageColors(image, limit)) {
        palette.colors = std::move(*own);
    } else {
        palette.colors = medianCutPalette(image, transparent ? limit - 1 : limit);
        if (transparent) {
            std::vector<bool> seen(1u << 24);
            for (const Rgb c : palette.colors) {
                seen[keyOf(c)] = true;
            }
            palette.colors.push_back(freeColor(seen));
        }
    }
    if (transparent) {
        palette.transparentIndex = static_cast<std::uint16_t>(palette.colors.size() - 1);
    }
    return palette;
}

}  // namespace palmbitmap
