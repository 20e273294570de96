#include "median_cut.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "color_reduction.h"

namespace palmbitmap {
namespace {

// One colour of the image and how many opaque pixels have it.
struct Counted {
    std::array<std::uint8_t, 3> channels;
    std::uint32_t pixels;
};

// A run of the colours that one palette entry stands for.
struct Box {
    std::size_t begin;
    std::size_t end;
    std::uint64_t pixels;
    int widestChannel;
    int width;  // of that channel: highest less lowest
};

Box boxOf(const std::vector<Counted>& colors, std::size_t begin, std::size_t end) {
    Box box{begin, end, 0, 0, 0};
    std::array<int, 3> low{255, 255, 255};
    std::array<int, 3> high{0, 0, 0};
    for (std::size_t k = begin; k < end; ++k) {
        box.pixels += colors[k].pixels;
        for (std::size_t c = 0; c < 3; ++c) {
            low[c] = std::min<int>(low[c], colors[k].channels[c]);
            high[c] = std::max<int>(high[c], colors[k].channels[c]);
        }
    }
    // Green first on a tie: the eye tells its shades apart best, then red.
    for (const int c : {1, 0, 2}) {
        if (high[c] - low[c] > box.width) {
            box.width = high[c] - low[c];
            box.widestChannel = c;
        }
    }
    return box;
}

}  // namespace

std::vector<Rgb> medianCutPalette(const Image& image, std::size_t count) {
    // The image's colours with their pixel counts, in the order of their
    // 24-bit values: the order decides nothing but ties, and it is fixed.
    std::vector<std::uint32_t> keys;
    keys.reserve(image.rgba.size() / 4);
    for (std::size_t p = 0; p + 3 < image.rgba.size(); p += 4) {
        if (image.rgba[p + 3] >= kTransparentBelowAlpha) {
            keys.push_back((std::uint32_t{image.rgba[p]} << 16) |
                           (std::uint32_t{image.rgba[p + 1]} << 8) | image.rgba[p + 2]);
        }
    }
    std::sort(keys.begin(), keys.end());
    std::vector<Counted> colors;
    for (std::size_t k = 0; k < keys.size();) {
        std::size_t same = k;
        while (same < keys.size() && keys[same] == keys[k]) {
            ++same;
        }
        colors.push_back(
            {{static_cast<std::uint8_t>(keys[k] >> 16), static_cast<std::uint8_t>(keys[k] >> 8),
              static_cast<std::uint8_t>(keys[k])},
             static_cast<std::uint32_t>(same - k)});
        k = same;
    }
    std::vector<Box> boxes;
    if (!colors.empty() && count > 0) {
        boxes.push_back(boxOf(colors, 0, colors.size()));
    }
    while (boxes.size() < count) {
        // The box whose pixels lie widest apart, weighed by how many they are:
        // a large smooth area and a small bright detail both get entries.
        std::size_t chosen = boxes.size();
        std::uint64_t chosenScore = 0;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            const std::uint64_t score =
                boxes[b].pixels * static_cast<std::uint64_t>(boxes[b].width);
            if (boxes[b].end - boxes[b].begin > 1 && score > chosenScore) {
                chosen = b;
                chosenScore = score;
            }
        }
        if (chosen == boxes.size()) {
            break;  // every box holds one colour
        }
        const Box box = boxes[chosen];
        const auto first = colors.begin() + static_cast<std::ptrdiff_t>(box.begin);
        const auto last = colors.begin() + static_cast<std::ptrdiff_t>(box.end);
        const auto c = static_cast<std::size_t>(box.widestChannel);
        std::sort(first, last, [c](const Counted& a, const Counted& b) {
            return a.channels[c] != b.channels[c] ? a.channels[c] < b.channels[c]
                                                  : a.channels < b.channels;
        });
        // Cut where half the box's pixels lie below: at the median pixel, not
        // the median colour; each side keeps at least one colour.
        std::size_t cut = box.begin + 1;
        std::uint64_t below = colors[box.begin].pixels;
        while (cut + 1 < box.end && 2 * (below + colors[cut].pixels) <= box.pixels) {
            below += colors[cut].pixels;
            ++cut;
        }
        boxes[chosen] = boxOf(colors, box.begin, cut);
        boxes.push_back(boxOf(colors, cut, box.end));
    }
    // Each entry is the mean of its pixels, rounded to the nearest.
    std::vector<Rgb> palette;
    for (const Box& box : boxes) {
        std::array<std::uint64_t, 3> sums{};
        for (std::size_t k = box.begin; k < box.end; ++k) {
            for (std::size_t c = 0; c < 3; ++c) {
                sums[c] += std::uint64_t{colors[k].channels[c]} * colors[k].pixels;
            }
        }
        const auto mean = [&](std::size_t c) {
            return static_cast<std::uint8_t>((sums[c] + box.pixels / 2) / box.pixels);
        };
        palette.push_back({mean(0), mean(1), mean(2)});
    }
    return palette;
}

}  // namespace palmbitmap
